// SPDX-License-Identifier: GPL-3.0-or-later
// The user-interface port on a terminal: boxes go to standard error with
// their titles, questions are answered at a prompt (or by --yes), progress
// is one line that rewrites itself, and Ctrl-C presses Cancel. Questions
// with a topic (UiPort.h) are not answered by --yes: only at the prompt, or
// by the option given for their topic.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "sealvane/archive/UiPort.h"

namespace sealvane::cli {

class TerminalUi : public UiPort {
 public:
  // `answeredTopics`: the topics whose questions are answered Yes (each
  // from an explicit option of its own).
  TerminalUi(std::istream& in, std::ostream& err, bool assumeYes, std::vector<std::string> answeredTopics = {});

  MsgResult ShowMessageBox(const MessageBoxRequest& request) override;
  void ShowOperation(const std::string& text) override;
  void ShowFile(const std::string& text) override;
  void ShowProgress(int percent) override;
  void ProcessPendingMessages() override;

  // What Ctrl-C does: the job window's Cancel button.
  std::function<void()> onCancel;
  // Ends the progress line, if one is shown.
  void EndProgress();
  // How many boxes were shown so far.
  int BoxesShown() const noexcept { return m_nBoxes; }

 private:
  void DrawProgress();

  std::istream& m_in;
  std::ostream& m_err;
  bool m_bAssumeYes;
  std::vector<std::string> m_answeredTopics;
  bool m_bProgressLine;
  bool m_bLineOpen = false;
  std::string m_strOperation;
  std::string m_strFile;
  int m_nPercent = 0;
  int m_nBoxes = 0;
};

}  // namespace sealvane::cli
