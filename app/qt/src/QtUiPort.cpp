// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/QtUiPort.h"

#include <QApplication>
#include <QEventLoop>
#include <QCheckBox>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include "sealvane/platform/Pinentry.h"
#include "sealvane/qt/JobDialog.h"

namespace sealvane::qt {
namespace {

// How often a running job lets the windows repaint and hears Cancel: often
// enough to look smooth, rarely enough to cost nothing against the cipher.
constexpr auto kEventInterval = std::chrono::milliseconds(15);

std::vector<QMessageBox::StandardButton> ButtonsOf(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::OK: return {QMessageBox::Ok};
    case MsgButtons::OKCancel: return {QMessageBox::Ok, QMessageBox::Cancel};
    case MsgButtons::AbortRetryIgnore: return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case MsgButtons::YesNoCancel: return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case MsgButtons::YesNo: return {QMessageBox::Yes, QMessageBox::No};
    case MsgButtons::RetryCancel: return {QMessageBox::Retry, QMessageBox::Cancel};
    case MsgButtons::YesNoToAll:
      return {QMessageBox::Yes, QMessageBox::YesToAll, QMessageBox::No, QMessageBox::NoToAll};
  }
  return {QMessageBox::Ok};
}

MsgResult ResultOf(int button) {
  switch (button) {
    case QMessageBox::Ok: return MsgResult::OK;
    case QMessageBox::Cancel: return MsgResult::Cancel;
    case QMessageBox::Abort: return MsgResult::Abort;
    case QMessageBox::Retry: return MsgResult::Retry;
    case QMessageBox::Ignore: return MsgResult::Ignore;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    case QMessageBox::YesToAll: return MsgResult::YesToAll;
    case QMessageBox::NoToAll: return MsgResult::NoToAll;
    default: return MsgResult::Cancel;
  }
}

QMessageBox::Icon IconOf(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Stop: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QString DrawnText(const std::string& text) {
  QString drawn = QString::fromStdString(text);
  drawn.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  drawn.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return drawn;
}

MsgResult QtUiPort::ShowMessageBox(const MessageBoxRequest& request) {
  QWidget* parent = QApplication::activeModalWidget();
  if (parent == nullptr) parent = m_main;
  // A box is centred on its window; before the window is on the screen (the
  // welcome at the first start) it is centred on the screen instead of
  // sitting at the hidden window's corner.
  if (parent != nullptr && !parent->isVisible()) parent = nullptr;
  QMessageBox box(IconOf(request.icon), QString::fromStdString(request.title), DrawnText(request.text),
                  QMessageBox::NoButton, parent);
  box.setObjectName("MessageBox");
  // Texts can carry names from outside (a stored file name, a certificate's
  // subject): never drawn as markup.
  box.setTextFormat(Qt::PlainText);
  QCheckBox* check = nullptr;
  if (!request.checkBox.empty()) {
    check = new QCheckBox(QString::fromStdString(request.checkBox), &box);
    check->setObjectName("chkDoNotAskAgain");
    box.setCheckBox(check);
  }
  const auto buttons = ButtonsOf(request.buttons);
  for (const auto button : buttons) box.addButton(button);
  const std::size_t defaultAt = static_cast<std::size_t>(std::max(request.defaultButton, 1)) - 1;
  box.setDefaultButton(buttons[std::min(defaultAt, buttons.size() - 1)]);
  // Escape and the close box give the answer of a box closed without a
  // choice.
  const MsgResult dismiss = DismissAnswer(request.buttons);
  for (const auto button : buttons) {
    if (ResultOf(button) == dismiss) box.setEscapeButton(button);
  }
  const int pressed = box.exec();
  if (check != nullptr && request.checked != nullptr) *request.checked = check->isChecked();
  return pressed == 0 ? dismiss : ResultOf(pressed);
}

QtUiPort::QtUiPort() {
  // The windows disabled for the question (nothing typed or clicked reaches
  // them), given back afterwards unless they went meanwhile.
  static QList<QPointer<QWidget>> disabled;
  platform::SetPromptWaitHooks(platform::PromptWaitHooks {
      [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
          if (window->isVisible() && window->isEnabled()) {
            window->setEnabled(false);
            disabled << window;
          }
        }
      },
      [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); },
      [] {
        for (const QPointer<QWidget>& window : std::as_const(disabled)) {
          if (window) window->setEnabled(true);
        }
        disabled.clear();
      }});
}

void QtUiPort::ShowOperation(const std::string& text) {
  if (m_job) m_job->SetOperation(QString::fromStdString(text));
}

void QtUiPort::ShowFile(const std::string& text) {
  if (m_job) m_job->SetFile(QString::fromStdString(text));
}

void QtUiPort::ShowProgress(int percent) {
  if (m_job) m_job->SetProgress(percent);
}

void QtUiPort::ProcessPendingMessages() {
  const auto now = std::chrono::steady_clock::now();
  if (now - m_lastEvents < kEventInterval) return;
  m_lastEvents = now;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtUiPort::Wait(int milliseconds) {
  m_lastEvents = {};
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace sealvane::qt
