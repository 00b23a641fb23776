// SPDX-License-Identifier: GPL-3.0-or-later
// The modal window that hosts one job (encrypt, decrypt, secure delete):
// its first activation runs the job on the user-interface thread; Cancel
// (the button, Escape or the close box) sets the job's cancel flag; after
// "Done" and the pause the window closes itself.
#pragma once

#include <QDialog>

#include "sealvane/archive/JobWindow.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace sealvane::qt {

class QtUiPort;

class JobDialog : public QDialog {
 public:
  JobDialog(JobWindow& job, QtUiPort& port, QWidget* parent);
  ~JobDialog() override;

  void SetOperation(const QString& text);
  void SetFile(const QString& text);
  void SetProgress(int percent);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void RunJob();

  JobWindow& m_job;
  QtUiPort& m_port;
  QLabel* m_operation;
  QLabel* m_file;
  QProgressBar* m_progress;
  QPushButton* m_cancel;
  bool m_bStarted = false;
  bool m_bRunning = false;
};

}  // namespace sealvane::qt
