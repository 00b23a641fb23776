// SPDX-License-Identifier: GPL-3.0-or-later
// The user-interface port on a terminal: boxes go to standard error with
// their titles, questions are answered at a prompt (or by --yes), progress
// is one line that rewrites itself, and Ctrl-C presses Cancel. Questions
// with a topic (UiPort.h) are not answered by --yes: only at the prompt, or
// by the option given for their topic.
#pragma once

#include <chrono>
#include <cstdint>
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
  // `quiet`: no progress line. Without a terminal on standard error there
  // is none either.
  TerminalUi(std::istream& in, std::ostream& err, bool assumeYes, std::vector<std::string> answeredTopics = {},
             bool quiet = false);

  MsgResult ShowMessageBox(const MessageBoxRequest& request) override;
  void ShowOperation(const std::string& text) override;
  void ShowFile(const std::string& text) override;
  void ShowProgress(int percent) override;
  void ShowProgressBytes(std::int64_t done, std::int64_t total) override;
  void ProcessPendingMessages() override;

  // What Ctrl-C does: the job window's Cancel button.
  std::function<void()> onCancel;
  // Ends the progress line, if one is shown.
  void EndProgress();
  // How many boxes were shown so far.
  int BoxesShown() const noexcept { return m_nBoxes; }
  // True when the last box was a question answered No or Cancel.
  bool LastDeclined() const noexcept { return m_bLastDeclined; }
  // True once Ctrl-C (or SIGTERM, SIGHUP) pressed Cancel.
  bool Interrupted() const noexcept { return m_bInterrupted; }

 private:
  // Redraws the line at most ten times a second, and at once for a new step.
  void DrawProgress(bool force);
  MsgResult Ask(const MessageBoxRequest& request);

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
  std::int64_t m_nDone = 0;
  std::int64_t m_nTotal = 0;
  bool m_bInterrupted = false;
  bool m_bLastDeclined = false;
  std::chrono::steady_clock::time_point m_stepStart {};
  std::chrono::steady_clock::time_point m_lastDraw {};
};

}  // namespace sealvane::cli
