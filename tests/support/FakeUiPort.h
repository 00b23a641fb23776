// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted user: records every box and answers from a queue. A box that
// needs a choice when the queue is empty fails the test.
#pragma once

#include <gtest/gtest.h>

#include <deque>
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

  std::vector<MessageBoxRequest> boxes;

 private:
  std::deque<MsgResult> m_answers;
};

}  // namespace sealvane::test
