// SPDX-License-Identifier: GPL-3.0-or-later
#include "TerminalUi.h"

#include <algorithm>
#include <utility>
#include <istream>
#include <ostream>

#include "Text.h"
#include "sealvane/platform/Process.h"
#include "sealvane/platform/VisibleText.h"

namespace sealvane::cli {

TerminalUi::TerminalUi(std::istream& in, std::ostream& err, bool assumeYes, std::vector<std::string> answeredTopics,
                       bool quiet)
    : m_in(in),
      m_err(err),
      m_bAssumeYes(assumeYes),
      m_answeredTopics(std::move(answeredTopics)),
      m_bProgressLine(!quiet && platform::StderrIsTerminal()) {}

MsgResult TerminalUi::ShowMessageBox(const MessageBoxRequest& request) {
  const MsgResult answer = Ask(request);
  m_bLastDeclined = request.buttons != MsgButtons::OK && (answer == MsgResult::No || answer == MsgResult::Cancel);
  return answer;
}

MsgResult TerminalUi::Ask(const MessageBoxRequest& request) {
  EndProgress();
  ++m_nBoxes;
  std::string text = request.text;
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  // Messages carry outside names: their line breaks stay, nothing else
  // that acts on the terminal.
  m_err << platform::VisibleText(request.title) << " " << platform::VisibleText(text, true) << "\n";
  // The desktop program's words ("On the Tools menu ...") get what to type
  // here instead.
  static const std::pair<const char*, const char*> kHints[] = {
      {"On the Tools menu choose either Generate Digital ID or Options.",
       "In a terminal: sealvane-cli certs genid --name NAME, or sealvane-cli options --default-id THUMBPRINT "
       "(see sealvane-cli certs list MY)."},
      {"You must generate a digital ID first.", "In a terminal: sealvane-cli certs genid --name NAME."},
      {"You must acquire digital IDs (certificates) from other people",
       "In a terminal: sealvane-cli certs import FILE."},
  };
  for (const auto& [words, hint] : kHints) {
    if (request.text.find(words) != std::string::npos) m_err << hint << "\n";
  }
  if (request.buttons == MsgButtons::OK) return MsgResult::OK;
  const bool yesNo = request.buttons == MsgButtons::YesNo || request.buttons == MsgButtons::YesNoCancel ||
                     request.buttons == MsgButtons::YesNoToAll;
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
  if (text != m_strOperation) {
    m_strOperation = text;
    m_stepStart = std::chrono::steady_clock::now();
    m_nDone = m_nTotal = 0;
  }
  DrawProgress(true);
}

void TerminalUi::ShowFile(const std::string& text) {
  m_strFile = text;
  DrawProgress(true);
}

void TerminalUi::ShowProgress(int percent) {
  m_nPercent = percent;
  DrawProgress(false);
}

void TerminalUi::ShowProgressBytes(std::int64_t done, std::int64_t total) {
  m_nDone = done;
  m_nTotal = total;
}

void TerminalUi::ProcessPendingMessages() {
  if (platform::TakeInterrupt()) {
    m_bInterrupted = true;
    if (onCancel) onCancel();
  }
}

void TerminalUi::DrawProgress(bool force) {
  if (!m_bProgressLine || m_strOperation.empty()) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - m_lastDraw < std::chrono::milliseconds(100)) return;
  m_lastDraw = now;
  ProgressLine line;
  line.operation = m_bInterrupted && m_strOperation == "Done" ? "Cancelled" : m_strOperation;
  line.file = m_strFile;
  line.percent = m_nPercent;
  line.done = m_nDone;
  line.total = m_nTotal;
  line.seconds = std::chrono::duration<double>(now - m_stepStart).count();
  line.final = m_strOperation == "Done" || m_strOperation == "Cancelled" || m_strOperation == "Failed";
  m_err << "\r\x1b[K" << FormatProgressLine(line, platform::TerminalColumns(2)) << std::flush;
  m_bLineOpen = true;
}

void TerminalUi::EndProgress() {
  if (m_bLineOpen) m_err << "\n";
  m_bLineOpen = false;
}

}  // namespace sealvane::cli
