// SPDX-License-Identifier: GPL-3.0-or-later
// The user-interface port on a terminal: boxes go to standard error with
// their titles, questions are answered at a prompt (or by --yes), progress
// is one line that rewrites itself, and Ctrl-C presses Cancel.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "sealvane/archive/UiPort.h"

namespace sealvane::cli {

class TerminalUi : public UiPort {
 public:
  TerminalUi(std::istream& in, std::ostream& err, bool assumeYes);

  MsgResult ShowMessageBox(const MessageBoxRequest& request) override;
  void ShowOperation(const std::string& text) override;
  void ShowFile(const std::string& text) override;
  void ShowProgress(int percent) override;
  void ProcessPendingMessages() override;

  // What Ctrl-C does: the job window's Cancel button.
  std::function<void()> onCancel;
  // Ends the progress line, if one is shown.
  void EndProgress();

 private:
  void DrawProgress();

  std::istream& m_in;
  std::ostream& m_err;
  bool m_bAssumeYes;
  bool m_bProgressLine;
  bool m_bLineOpen = false;
  std::string m_strOperation;
  std::string m_strFile;
  int m_nPercent = 0;
};

}  // namespace sealvane::cli
