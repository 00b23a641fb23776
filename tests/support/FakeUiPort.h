// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted user: records every box and answers from a queue. A box that
// needs a choice when the queue is empty fails the test.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sealvane/archive/UiPort.h"

namespace sealvane::test {

class FakeUiPort : public UiPort {
 public:
  void Answer(MsgResult answer) { m_answers.push_back(answer); }

  MsgResult ShowMessageBox(const MessageBoxRequest& request) override {
    boxes.push_back(request);
    if (request.buttons == MsgButtons::OK) return MsgResult::OK;
    if (m_answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << request.title << " / " << request.text;
      return DismissAnswer(request.buttons);
    }
    const MsgResult answer = m_answers.front();
    m_answers.pop_front();
    return answer;
  }

  void ShowOperation(const std::string& text) override { operations.push_back(text); }
  void ShowFile(const std::string& text) override { files.push_back(text); }
  void ShowProgress(int percent) override { progress.push_back(percent); }
  void ProcessPendingMessages() override {
    ++pendingCalls;
    if (onPendingMessages) onPendingMessages(pendingCalls);
  }
  void Wait(int milliseconds) override { waits.push_back(milliseconds); }

  std::vector<MessageBoxRequest> boxes;
  std::vector<std::string> operations;
  std::vector<std::string> files;
  std::vector<int> progress;
  std::vector<int> waits;
  int pendingCalls = 0;
  // Called each time the job lets the window handle its messages: where a
  // test presses Cancel.
  std::function<void(int)> onPendingMessages;

 private:
  std::deque<MsgResult> m_answers;
};

}  // namespace sealvane::test
