// SPDX-License-Identifier: GPL-3.0-or-later
#include "TerminalUi.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "sealvane/platform/Process.h"

namespace sealvane::cli {

TerminalUi::TerminalUi(std::istream& in, std::ostream& err, bool assumeYes, std::vector<std::string> answeredTopics)
    : m_in(in),
      m_err(err),
      m_bAssumeYes(assumeYes),
      m_answeredTopics(std::move(answeredTopics)),
      m_bProgressLine(platform::StderrIsTerminal()) {}

MsgResult TerminalUi::ShowMessageBox(const MessageBoxRequest& request) {
  EndProgress();
  ++m_nBoxes;
  std::string text = request.text;
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  m_err << request.title << " " << text << "\n";
  if (request.buttons == MsgButtons::OK) return MsgResult::OK;
  const bool yesNo = request.buttons == MsgButtons::YesNo || request.buttons == MsgButtons::YesNoCancel;
  if (!request.topic.empty()) {
    if (std::find(m_answeredTopics.begin(), m_answeredTopics.end(), request.topic) != m_answeredTopics.end()) {
      return yesNo ? MsgResult::Yes : MsgResult::OK;
    }
  } else if (m_bAssumeYes) {
    return yesNo ? MsgResult::Yes : MsgResult::OK;
  }
  const bool defaultYes = request.defaultButton == 1;
  m_err << (yesNo ? (defaultYes ? "[Y/n] " : "[y/N] ") : (defaultYes ? "[OK/cancel] " : "[ok/CANCEL] ")) << std::flush;
  std::string answer;
  if (!std::getline(m_in, answer)) {
    m_err << "\n";
    return DismissAnswer(request.buttons);
  }
  while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
  const bool yes = answer.empty() ? defaultYes
                                  : (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" ||
                                     answer == "ok" || answer == "OK");
  if (yesNo) return yes ? MsgResult::Yes : MsgResult::No;
  return yes ? MsgResult::OK : MsgResult::Cancel;
}

void TerminalUi::ShowOperation(const std::string& text) {
  m_strOperation = text;
  DrawProgress();
}

void TerminalUi::ShowFile(const std::string& text) {
  m_strFile = text;
  DrawProgress();
}

void TerminalUi::ShowProgress(int percent) {
  m_nPercent = percent;
  DrawProgress();
}

void TerminalUi::ProcessPendingMessages() {
  if (platform::TakeInterrupt() && onCancel) onCancel();
}

void TerminalUi::DrawProgress() {
  if (!m_bProgressLine || m_strOperation.empty()) return;
  m_err << "\r\x1b[K" << m_strOperation << " " << m_strFile << " " << m_nPercent << "%" << std::flush;
  m_bLineOpen = true;
}

void TerminalUi::EndProgress() {
  if (m_bLineOpen) m_err << "\n";
  m_bLineOpen = false;
}

}  // namespace sealvane::cli
