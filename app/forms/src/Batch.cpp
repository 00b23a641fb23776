// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/Batch.h"

#include <algorithm>
#include <optional>

#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/FileInfo.h"

namespace sealvane::forms {

// The window as one input's job sees it: its file line numbered, its
// messages kept, its replace question answerable for all.
class BatchJob::ItemUi : public UiPort {
 public:
  ItemUi(UiPort& ui, std::size_t count) : m_ui(ui), m_nCount(count) {}

  void Begin(std::size_t index, Item& item) {
    m_nIndex = index;
    m_pItem = &item;
  }

  MsgResult ShowMessageBox(const MessageBoxRequest& request) override {
    if (request.buttons == MsgButtons::OK) {
      // Said in the summary, not in a box that stops the others.
      std::string line = request.text;
      std::replace(line.begin(), line.end(), kCR, ' ');
      if (m_pItem) m_pItem->messages.push_back(line);
      return MsgResult::OK;
    }
    if (request.perFile.empty() || request.buttons != MsgButtons::YesNo) return m_ui.ShowMessageBox(request);
    if (const auto standing = std::find_if(m_standing.begin(), m_standing.end(),
                                           [&](const auto& s) { return s.first == request.perFile; });
        standing != m_standing.end()) {
      return standing->second;
    }
    MessageBoxRequest question = request;
    question.buttons = MsgButtons::YesNoToAll;
    question.defaultButton = 3;  // No
    const MsgResult answer = m_ui.ShowMessageBox(question);
    if (answer == MsgResult::YesToAll || answer == MsgResult::NoToAll) {
      const MsgResult each = answer == MsgResult::YesToAll ? MsgResult::Yes : MsgResult::No;
      m_standing.emplace_back(request.perFile, each);
      return each;
    }
    return answer == MsgResult::Yes ? MsgResult::Yes : MsgResult::No;
  }

  void ShowOperation(const std::string& text) override { m_ui.ShowOperation(text); }
  void ShowFile(const std::string& text) override {
    const std::string number = "File " + std::to_string(m_nIndex + 1) + " of " + std::to_string(m_nCount);
    m_ui.ShowFile(text.empty() ? number : number + ": " + text);
  }
  // The bar is the batch's: a job run as its step reports through it, and
  // what a job sets before it runs (an empty bar) is not shown.
  void ShowProgress(int) override {}
  void ShowProgressBytes(std::int64_t, std::int64_t) override {}
  void ProcessPendingMessages() override { m_ui.ProcessPendingMessages(); }
  void Wait(int milliseconds) override { m_ui.Wait(milliseconds); }

 private:
  UiPort& m_ui;
  std::size_t m_nCount;
  std::size_t m_nIndex = 0;
  Item* m_pItem = nullptr;
  std::vector<std::pair<std::string, MsgResult>> m_standing;
};

BatchJob::BatchJob(UiPort& ui, CipherLibrary& library, std::string caption, const std::vector<std::string>& inputs,
                   RunOne run)
    : JobWindow(ui, library, std::move(caption)), m_run(std::move(run)) {
  std::size_t folders = 0;
  for (const std::string& input : inputs) {
    m_colItems.push_back(Item {input, {}, kNotStarted, {}});
    if (platform::StatusOf(input).kind == platform::FileKind::Folder) ++folders;
  }
  m_strNoun = folders == 0 ? "files" : folders == inputs.size() ? "folders" : "files and folders";
  SetOperation("");
  SetFile("");
  SetProgress(0, 1);
}

void BatchJob::DoRun() {
  ItemUi itemUi(m_ui, m_colItems.size());
  const auto count = static_cast<int>(m_colItems.size());
  m_nResult = kOk;
  for (int i = 0; i < count; ++i) {
    if (Cancelled()) break;
    Item& item = m_colItems[static_cast<std::size_t>(i)];
    itemUi.Begin(static_cast<std::size_t>(i), item);
    // Each file fills its share of the bar.
    SetStepShare(i * 100 / count, (i + 1) * 100 / count);
    try {
      item.result = m_run(itemUi, *this, item);
    } catch (...) {
      const platform::RuntimeError error = platform::CurrentRuntimeError();
      item.messages.push_back(error.Description());
      item.result = error.Number() == 0 ? kRefused : error.Number();
    }
    if (item.result != kOk && m_nResult == kOk) m_nResult = item.result;
    if (item.result == kCancelled) break;
  }
  if (Cancelled()) m_nResult = kCancelled;
  SetStepShare(0, 100);
  SetFile("");
  Finish(m_nResult);
}

std::size_t BatchJob::Done() const noexcept {
  return static_cast<std::size_t>(
      std::count_if(m_colItems.begin(), m_colItems.end(), [](const Item& item) { return item.result == kOk; }));
}

std::string BatchJob::Summary(const std::string& i_strDone, const std::string& i_strNotDone) const {
  std::string text = i_strDone + " " + std::to_string(Done()) + " of " + std::to_string(m_colItems.size()) + " " + m_strNoun + ".";
  bool header = false;
  for (const Item& item : m_colItems) {
    if (item.result == kOk) continue;
    if (!header) {
      text += std::string(1, kCR) + kCR + i_strNotDone;
      header = true;
    }
    std::string why;
    if (item.result == kNotStarted) {
      why = "not started (cancelled before it)";
    } else if (item.result == kCancelled) {
      why = "cancelled; nothing of it was kept";
    } else if (!item.messages.empty()) {
      why = item.messages.front();
    } else {
      why = "failed";
    }
    text += kCR + GetFileNameOfPath(item.input) + ": " + why;
  }
  header = false;
  for (const Item& item : m_colItems) {
    if (item.result != kOk || item.messages.empty()) continue;
    if (!header) {
      text += std::string(1, kCR) + kCR + "Notes:";
      header = true;
    }
    for (const std::string& message : item.messages) text += kCR + GetFileNameOfPath(item.input) + ": " + message;
  }
  return text;
}

bool BatchJob::HasNotes() const noexcept {
  return std::any_of(m_colItems.begin(), m_colItems.end(),
                     [](const Item& item) { return item.result == kOk && !item.messages.empty(); });
}

}  // namespace sealvane::forms
