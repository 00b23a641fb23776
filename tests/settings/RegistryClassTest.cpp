// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/settings/clsRegistry.h"

#include <gtest/gtest.h>

#include "sealvane/platform/Registry.h"

namespace sealvane {
namespace {

using namespace platform;

TEST(RegistryClass, SettersNeverCreateTheKey) {
  clsRegistry registry;
  EXPECT_EQ(registry.SetStringValue("Software\\Missing", "v", "x"), 2);
  EXPECT_EQ(registry.SetIntegerValue("Software\\Missing", "v", 1), 2);
  EXPECT_EQ(registry.SetBinaryValue("Software\\Missing", "v", {1}), 2);
  EXPECT_EQ(registry.CreateKey("Software\\Missing"), 0);
  EXPECT_EQ(registry.SetStringValue("Software\\Missing", "v", "x"), 0);
}

TEST(RegistryClass, StringsRoundTripIncludingOddBytes) {
  clsRegistry registry;
  ASSERT_EQ(registry.CreateKey("Software\\S"), 0);
  for (const std::string& text : {std::string(""), std::string("plain"), std::string("caf\xE9"),
                                  std::string("emb\0edded", 9), std::string(300, 'x')}) {
    ASSERT_EQ(registry.SetStringValue("Software\\S", "v", text), 0);
    std::string back = "junk";
    EXPECT_EQ(registry.GetStringValue("Software\\S", "v", back), 0);
    EXPECT_EQ(back, text);
  }
}

TEST(RegistryClass, TypeChecksAndUnhandledTypes) {
  clsRegistry registry;
  ASSERT_EQ(registry.CreateKey("Software\\T"), 0);
  ASSERT_EQ(registry.SetIntegerValue("Software\\T", "n", -5), 0);
  std::string text = "junk";
  EXPECT_EQ(registry.GetStringValue("Software\\T", "n", text), -2);
  EXPECT_EQ(text, "");
  std::optional<ByteArray> bytes = ByteArray {9};
  EXPECT_EQ(registry.GetBinaryValue("Software\\T", "n", bytes), -2);
  EXPECT_FALSE(bytes.has_value());
  std::int32_t n = 0;
  EXPECT_EQ(registry.GetIntegerValue("Software\\T", "n", n), 0);
  EXPECT_EQ(n, -5);
  EXPECT_EQ(registry.GetIntegerValue("Software\\T", "missing", n), 2);
  EXPECT_EQ(n, 0);

  // A value of a type the class does not read (REG_MULTI_SZ) is -2.
  HKEY key = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\T", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "multi", 0, 7, reinterpret_cast<const std::uint8_t*>("a\0\0"), 3), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(registry.GetStringValue("Software\\T", "multi", text), -2);

  // Empty binary values read back as empty arrays, not as missing.
  ASSERT_EQ(registry.SetBinaryValue("Software\\T", "empty", {}), 0);
  EXPECT_EQ(registry.GetBinaryValue("Software\\T", "empty", bytes), 0);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_TRUE(bytes->empty());
}

TEST(RegistryClass, SubKeysListedOrLeftUntouched) {
  clsRegistry registry;
  std::vector<std::string> names = {"untouched"};
  EXPECT_EQ(registry.GetSubKeys("Software\\Accounts", names), 2);
  EXPECT_EQ(names, std::vector<std::string> {"untouched"});

  ASSERT_EQ(registry.CreateKey("Software\\Accounts"), 0);
  EXPECT_EQ(registry.GetSubKeys("Software\\Accounts", names), 0);
  EXPECT_EQ(names, std::vector<std::string> {"untouched"});

  ASSERT_EQ(registry.CreateKey("Software\\Accounts\\00000002"), 0);
  ASSERT_EQ(registry.CreateKey("Software\\Accounts\\00000001"), 0);
  EXPECT_EQ(registry.GetSubKeys("Software\\Accounts", names), 0);
  EXPECT_EQ(names, (std::vector<std::string> {"00000001", "00000002"}));

  EXPECT_EQ(registry.DeleteKey("Software\\Accounts"), 5);
  EXPECT_EQ(registry.DeleteKey("Software\\Accounts\\00000001"), 0);
}

TEST(RegistryClass, RootKeyCanBeChanged) {
  clsRegistry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_EQ(registry.CreateKey("Software\\Machine"), 0);
  ASSERT_EQ(registry.SetIntegerValue("Software\\Machine", "n", 1), 0);
  clsRegistry user;
  std::int32_t n = 0;
  EXPECT_EQ(user.GetIntegerValue("Software\\Machine", "n", n), 2);
  registry.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_EQ(registry.CreateKey(".sva"), 0);
  std::vector<std::string> names;
  EXPECT_EQ(user.GetSubKeys("Software\\Classes", names), 0);
  EXPECT_EQ(names, std::vector<std::string> {".sva"});
}

}  // namespace
}  // namespace sealvane
