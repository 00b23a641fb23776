// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/JobDialog.h"

#include "Widgets.h"

#include <algorithm>

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "sealvane/qt/QtUiPort.h"

namespace sealvane::qt {

JobDialog::JobDialog(JobWindow& job, QtUiPort& port, QWidget* parent)
    : QDialog(parent), m_job(job), m_port(port) {
  setObjectName(QString::fromStdString(job.Caption()).remove(QLatin1String("Sealvane - ")).remove(QLatin1Char(' ')).prepend("frm"));
  setWindowTitle(QString::fromStdString(job.Caption()));
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  m_operation = PlainLabel(QString::fromStdString(job.Operation()), this);
  m_operation->setObjectName("lblOperation");
  m_file = PlainLabel(QString(), this);
  m_file->setObjectName("lblFile");
  // Long paths are cut in the middle rather than widening the window.
  m_file->setMinimumWidth(1);
  m_file->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  m_progress = new QProgressBar(this);
  m_progress->setObjectName("pgbProgressBar");
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  // Initialize has already set the labels and the bar.
  SetFile(QString::fromStdString(job.FileLabel()));
  SetProgress(job.Progress());
  m_cancel = new QPushButton(tr("Cancel"), this);
  m_cancel->setObjectName("btnCancel");
  connect(m_cancel, &QPushButton::clicked, this, [this] { m_job.Cancel(); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_operation);
  layout->addWidget(m_file);
  layout->addWidget(m_progress);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_cancel);
  layout->addLayout(buttons);
  setMinimumWidth(440);
  resize(480, sizeHint().height());
  m_port.SetJobDialog(this);
}

JobDialog::~JobDialog() { m_port.SetJobDialog(nullptr); }

void JobDialog::SetOperation(const QString& text) { m_operation->setText(text); }

void JobDialog::SetFile(const QString& text) {
  m_file->setToolTip(PlainTip(text));
  m_file->setText(m_file->fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(m_file->width(), 400)));
}

void JobDialog::SetProgress(int percent) { m_progress->setValue(std::clamp(percent, 0, 100)); }

void JobDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_bStarted) return;
  m_bStarted = true;
  // After the window has been drawn once.
  QTimer::singleShot(0, this, &JobDialog::RunJob);
}

void JobDialog::RunJob() {
  m_bRunning = true;
  m_job.Run();
  m_bRunning = false;
  accept();
}

void JobDialog::closeEvent(QCloseEvent* event) {
  if (m_bRunning) {
    m_job.Cancel();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void JobDialog::reject() {
  if (m_bRunning) {
    m_job.Cancel();
    return;
  }
  QDialog::reject();
}

}  // namespace sealvane::qt
