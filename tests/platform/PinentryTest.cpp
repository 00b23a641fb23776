// SPDX-License-Identifier: GPL-3.0-or-later
// Questions through a pinentry: what it is shown, and a window program that
// keeps painting while the user answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "sealvane/platform/Pinentry.h"
#include "support/Sandbox.h"

namespace sealvane {
namespace {

std::size_t LongestLine(const std::string& text) {
  std::istringstream lines(text);
  std::size_t longest = 0;
  for (std::string line; std::getline(lines, line);) longest = std::max(longest, line.size());
  return longest;
}

TEST(PromptText, IsWrappedBetweenWordsKeepingItsOwnLines) {
  const std::string sentence =
      "Enter the passphrase of your digital ID to decrypt the quarterly report of the northern region.";
  const std::string wrapped = platform::WrapPromptText(sentence, 40);
  EXPECT_LE(LongestLine(wrapped), 40u) << wrapped;
  std::string joined = wrapped;
  for (std::size_t at; (at = joined.find("\n  ")) != std::string::npos;) joined.replace(at, 3, " ");
  EXPECT_EQ(joined, sentence) << "only spaces become line breaks, the lines that go on indented";
  // Its own line breaks stay; a word longer than a line is left whole;
  // characters, not bytes, are counted.
  EXPECT_EQ(platform::WrapPromptText("first\nsecond", 40), "first\nsecond");
  const std::string word(50, 'x');
  EXPECT_EQ(platform::WrapPromptText("a " + word + " b", 40), "a\n  " + word + "\n  b");
  const std::string accented = "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9 \xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9";  // 4 + 1 + 4 characters
  EXPECT_EQ(platform::WrapPromptText(accented, 9), accented);
}

TEST(PromptPurpose, NestsAndBelongsToItsThread) {
  EXPECT_EQ(platform::PromptPurpose::Current(), "");
  {
    const platform::PromptPurpose outer("to decrypt a.sva");
    {
      const platform::PromptPurpose inner("to check a.sva");
      EXPECT_EQ(platform::PromptPurpose::Current(), "to check a.sva");
      std::string elsewhere = "unset";
      std::thread([&] { elsewhere = platform::PromptPurpose::Current(); }).join();
      EXPECT_EQ(elsewhere, "");
    }
    EXPECT_EQ(platform::PromptPurpose::Current(), "to decrypt a.sva");
  }
  EXPECT_EQ(platform::PromptPurpose::Current(), "");
}

TEST(PinentryQuestions, KeepTheWindowsPaintingOnTheirThreadOnly) {
  ::setenv("FAKE_PINENTRY_PIN", "s3cret", 1);
  ::setenv("FAKE_PINENTRY_DELAY", "0.4", 1);
  int begun = 0, idled = 0, ended = 0;
  bool idleInside = true;
  platform::SetPromptWaitHooks({[&] { ++begun; }, [&] {
                                  ++idled;
                                  idleInside = idleInside && begun == 1 && ended == 0;
                                },
                                [&] { ++ended; }});
  const std::string description(200, 'w');
  auto pin = platform::PinentryGetPin("Sealvane", "Enter it for " + description + " now, please.", "Passphrase:", false);
  ASSERT_TRUE(pin);
  EXPECT_EQ(pin->Text(), "s3cret");
  EXPECT_EQ(begun, 1);
  EXPECT_EQ(ended, 1);
  EXPECT_GE(idled, 3) << "the windows were left unpainted while the user answered";
  EXPECT_TRUE(idleInside);
  // Asked from another thread, the window program is not called.
  ::setenv("FAKE_PINENTRY_DELAY", "0.1", 1);
  std::thread([] { EXPECT_EQ(platform::PinentryConfirm("Sealvane", "Sure?"), platform::PinentryOutcome::Yes); }).join();
  EXPECT_EQ(begun, 1);
  EXPECT_EQ(ended, 1);
  platform::SetPromptWaitHooks({});
  // The description went over in lines (its long word on one of its own).
  const std::string log = test::ReadFileBytes(test::SandboxDir() + "/pinentry.log");
  EXPECT_NE(log.find("SETDESC Enter it for%0A  " + description + "%0A  now, please."), std::string::npos) << log;
}

}  // namespace
}  // namespace sealvane
