// SPDX-License-Identifier: GPL-3.0-or-later
// The user-interface port drawn with Qt: message boxes as QMessageBox, and
// the job window's labels and progress bar on the job dialog that is open.
#pragma once

#include <QString>

#include <chrono>

#include "sealvane/archive/UiPort.h"

class QWidget;

namespace sealvane::qt {

class JobDialog;

class QtUiPort : public UiPort {
 public:
  // Also sets what the windows do while a platform question (a key's
  // passphrase) is open: they keep painting, their controls disabled.
  QtUiPort();
  MsgResult ShowMessageBox(const MessageBoxRequest& request) override;
  void ShowOperation(const std::string& text) override;
  void ShowFile(const std::string& text) override;
  void ShowProgress(int percent) override;
  void ProcessPendingMessages() override;
  void Wait(int milliseconds) override;

  // The job dialog that shows the running job, or none.
  void SetJobDialog(JobDialog* dialog) noexcept { m_job = dialog; }
  // The window that owns boxes when no modal window is open.
  void SetMainWindow(QWidget* window) noexcept { m_main = window; }

 private:
  JobDialog* m_job = nullptr;
  QWidget* m_main = nullptr;
  std::chrono::steady_clock::time_point m_lastEvents {};
};

// A message's text as a box draws it: single carriage returns become line
// breaks.
QString DrawnText(const std::string& text);

}  // namespace sealvane::qt
