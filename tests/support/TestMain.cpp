// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "support/Sandbox.h"

namespace {

class SandboxListener : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { sealvane::test::EnterSandbox(); }
  void OnTestEnd(const testing::TestInfo&) override { sealvane::test::LeaveSandbox(); }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new SandboxListener);
  return RUN_ALL_TESTS();
}
