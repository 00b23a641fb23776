// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/CodePage.h"

#include <gtest/gtest.h>

namespace sealvane::platform {
namespace {

TEST(CodePage, Utf8Validation) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain ascii"));
  EXPECT_TRUE(IsValidUtf8("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x94\x92"));
  EXPECT_FALSE(IsValidUtf8("caf\xE9"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong slash
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\x80"));
}

TEST(CodePage, NamesThatAreNotUtf8AreReadAsWindows1252) {
  EXPECT_EQ(AnsiBytesToText("R\xE9sum\xE9.doc"), "R\xC3\xA9sum\xC3\xA9.doc");
  EXPECT_EQ(AnsiBytesToText("\x80 \x9F \x81"), "\xE2\x82\xAC \xC5\xB8 \xC2\x81");
  EXPECT_EQ(AnsiBytesToText("Gr\xC3\xBC\xC3\x9F" "e"), "Gr\xC3\xBC\xC3\x9F" "e");
  // A character cut by a byte limit at the very end is dropped, not misread.
  EXPECT_EQ(AnsiBytesToText("ab\xE2\x82"), "ab");
  EXPECT_EQ(AnsiBytesToText("ab\xE2"), "ab");
}

TEST(CodePage, PrefixesEndOnCharacterBoundaries) {
  const std::string text = "a\xE2\x82\xAC" "b";  // a, euro sign, b
  EXPECT_EQ(Utf8PrefixLength(text, 10), 5u);
  EXPECT_EQ(Utf8PrefixLength(text, 4), 4u);
  EXPECT_EQ(Utf8PrefixLength(text, 3), 1u);
  EXPECT_EQ(Utf8PrefixLength(text, 2), 1u);
  EXPECT_EQ(Utf8PrefixLength(text, 1), 1u);
  EXPECT_EQ(Utf8PrefixLength(text, 0), 0u);
  // Text that is not UTF-8 is cut at the limit itself.
  EXPECT_EQ(Utf8PrefixLength("\xE9\xE9\xE9\xE9\xE9", 3), 3u);
  EXPECT_EQ(Utf8PrefixLength("x\xA0\xA0\xA0\xA0\xA0", 4), 4u);
}

}  // namespace
}  // namespace sealvane::platform
