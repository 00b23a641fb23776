// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's one way to reach the user. The desktop program draws these
// requests as windows, the terminal front-end as prompts, and tests answer
// them from a script. Texts keep their single carriage returns.
#pragma once

#include <cstdint>
#include <string>

namespace sealvane {

enum class MsgIcon { None, Stop, Question, Exclamation, Information };

// YesNoToAll: Yes, Yes to All, No, No to All, for a question asked of each
// file of several.
enum class MsgButtons { OK, OKCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel, YesNoToAll };

// The button pressed, with the platform's numbers (the "to all" answers have
// none there).
enum class MsgResult : std::int32_t {
  OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7, YesToAll = 10, NoToAll = 11
};

// A question asked of each file when several are done together, which the
// user may answer once for all of them (MessageBoxRequest::perFile).
inline constexpr const char* kPerFileReplace = "replace";

// Questions whose Yes costs more than the job itself: the terminal's blanket
// --yes does not answer them.
inline constexpr const char* kTopicSharedData = "shared-data";  // destroy data that other names show
inline constexpr const char* kTopicRunsCode = "runs-code";      // open a file that can run programs

struct MessageBoxRequest {
  std::string text;
  std::string title;
  MsgIcon icon = MsgIcon::None;
  MsgButtons buttons = MsgButtons::OK;
  int defaultButton = 1;  // 1-based position among the buttons
  std::string topic {};   // empty, or one of the kTopic names above
  // A check box under the text ("Do not ask again"), when not empty; where
  // it is drawn, its state on closing is written to `checked`.
  std::string checkBox {};
  bool* checked = nullptr;
  // Empty, or a kPerFile name: the same question comes for each file.
  std::string perFile {};
};

class UiPort {
 public:
  virtual ~UiPort() = default;
  // Shows a modal message box and returns the button pressed.
  virtual MsgResult ShowMessageBox(const MessageBoxRequest& request) = 0;

  // The job window: its step label, file label and progress (0 to 100).
  virtual void ShowOperation(const std::string& /*text*/) {}
  virtual void ShowFile(const std::string& /*text*/) {}
  virtual void ShowProgress(int /*percent*/) {}
  // What the percentage stands for: bytes of the step done and in all.
  virtual void ShowProgressBytes(std::int64_t /*done*/, std::int64_t /*total*/) {}
  // Lets the window repaint and hears the Cancel button.
  virtual void ProcessPendingMessages() {}
  // The pause before a finished job window closes.
  virtual void Wait(int /*milliseconds*/) {}
};

// The answer a box gives when it is closed without a choice: Cancel where
// there is one, else OK or No.
MsgResult DismissAnswer(MsgButtons buttons) noexcept;

}  // namespace sealvane
