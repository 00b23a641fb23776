// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/settings/clsConfig.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "sealvane/platform/Registry.h"

namespace sealvane {
namespace {

using namespace platform;

// The raw type and bytes of a setting, read past the classes under test.
std::string RawValue(const char* name, DWORD* type) {
  HKEY key = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  std::uint8_t data[64] = {};
  DWORD size = sizeof(data);
  const LONG rc = RegQueryValueExA(key, name, nullptr, type, data, &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? std::string(reinterpret_cast<char*>(data), size) : "<no value>";
}

TEST(Config, EveryGetterYieldsItsDefaultOnAFreshProfile) {
  clsConfig config;
  std::int32_t serial = 77;
  EXPECT_EQ(config.GetCertSerialNum(serial), 2);
  EXPECT_EQ(serial, 0);

  std::int32_t algorithm = 77;
  EXPECT_EQ(config.GetAlgorithm(algorithm), 2);
  EXPECT_EQ(algorithm, 6) << "AES (256-bit) unless the user chose a cipher";

  bool compress = false, open = false;
  EXPECT_EQ(config.GetAlwaysCompress(compress), 2);
  EXPECT_TRUE(compress);
  EXPECT_EQ(config.GetAlwaysOpen(open), 2);
  EXPECT_TRUE(open);

  std::string lastDir = "x";
  EXPECT_EQ(config.GetLastDir(lastDir), 2);
  EXPECT_EQ(lastDir, "");

  std::int32_t major = 77, minor = 77;
  EXPECT_EQ(config.GetVersion(major, minor), 2);
  EXPECT_EQ(major, 0);
  EXPECT_EQ(minor, 77) << "the minor number is read only after the major one";

  ByteArray thumbprint = {1, 2, 3};
  EXPECT_EQ(config.GetDefaultCertTP(thumbprint), 2);
  EXPECT_EQ(thumbprint, (ByteArray {1, 2, 3}));
}

TEST(Config, SettersStoreTheDocumentedEncodings) {
  clsConfig config;
  ASSERT_EQ(config.SetAlwaysCompress(true), 0);
  ASSERT_EQ(config.SetAlwaysOpen(false), 0);
  ASSERT_EQ(config.SetAlgorithm(5), 0);
  ASSERT_EQ(config.SetCertSerialNum(41), 0);
  ASSERT_EQ(config.SetLastDir("/home/u/My Files"), 0);
  ASSERT_EQ(config.SetVersion(1, 7), 0);

  DWORD type = 0;
  EXPECT_EQ(RawValue("AlwaysCompress", &type), std::string("\xFF\xFF\xFF\xFF", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(RawValue("AlwaysOpen", &type), std::string("\0\0\0\0", 4));
  EXPECT_EQ(RawValue("AlgorithmNumber", &type), std::string("\x05\0\0\0", 4));
  EXPECT_EQ(RawValue("LastDirectory", &type), std::string("/home/u/My Files\0", 17));
  EXPECT_EQ(type, REG_SZ);

  bool compress = false, open = true;
  std::int32_t algorithm = 0, serial = 0, major = 0, minor = 0;
  std::string lastDir;
  EXPECT_EQ(config.GetAlwaysCompress(compress), 0);
  EXPECT_TRUE(compress);
  EXPECT_EQ(config.GetAlwaysOpen(open), 0);
  EXPECT_FALSE(open);
  EXPECT_EQ(config.GetAlgorithm(algorithm), 0);
  EXPECT_EQ(algorithm, 5);
  EXPECT_EQ(config.GetCertSerialNum(serial), 0);
  EXPECT_EQ(serial, 41);
  EXPECT_EQ(config.GetLastDir(lastDir), 0);
  EXPECT_EQ(lastDir, "/home/u/My Files");
  EXPECT_EQ(config.GetVersion(major, minor), 0);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 7);

  const ByteArray tp = {0xDE, 0xAD, 0xBE, 0xEF, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  ASSERT_EQ(config.SetDefaultCertTP(tp), 0);
  ByteArray read;
  EXPECT_EQ(config.GetDefaultCertTP(read), 0);
  EXPECT_EQ(read, tp);
  EXPECT_EQ(RawValue("DefaultCertTP", &type).size(), 20u);
  EXPECT_EQ(type, REG_BINARY);
}

TEST(Config, AnyNonZeroBooleanReadsTrue) {
  clsRegistry registry;
  ASSERT_EQ(registry.CreateKey(kSettingsKey), 0);
  ASSERT_EQ(registry.SetIntegerValue(kSettingsKey, "AlwaysCompress", 1), 0);
  ASSERT_EQ(registry.SetIntegerValue(kSettingsKey, "AlwaysOpen", 0), 0);
  clsConfig config;
  bool compress = false, open = true;
  EXPECT_EQ(config.GetAlwaysCompress(compress), 0);
  EXPECT_TRUE(compress);
  EXPECT_EQ(config.GetAlwaysOpen(open), 0);
  EXPECT_FALSE(open);
}

TEST(Config, WrongTypeReadsAsMissing) {
  clsRegistry registry;
  ASSERT_EQ(registry.CreateKey(kSettingsKey), 0);
  ASSERT_EQ(registry.SetStringValue(kSettingsKey, "AlgorithmNumber", "4"), 0);
  ASSERT_EQ(registry.SetStringValue(kSettingsKey, "AlwaysOpen", "0"), 0);
  clsConfig config;
  std::int32_t algorithm = 0;
  EXPECT_EQ(config.GetAlgorithm(algorithm), -2);
  EXPECT_EQ(algorithm, 6);
  bool open = false;
  EXPECT_EQ(config.GetAlwaysOpen(open), -2);
  EXPECT_TRUE(open);
}

TEST(Config, EmptyLastDirectoryWritesNothing) {
  clsConfig config;
  ASSERT_EQ(config.SetLastDir("/kept"), 0);
  EXPECT_EQ(config.SetLastDir(""), 0);
  std::string lastDir;
  EXPECT_EQ(config.GetLastDir(lastDir), 0);
  EXPECT_EQ(lastDir, "/kept");
}

TEST(Config, DocumentsFolderExpandsOnlyExpandableStrings) {
  ::setenv("SV_DOCS", "/data/docs", 1);
  clsRegistry registry;
  ASSERT_EQ(registry.CreateKey(kShellFoldersKey), 0);
  clsConfig config;
  std::string folder;

  // A new profile is seeded with the user's documents folder.
  EXPECT_EQ(config.GetMyDocumentsDir(folder), 0);
  EXPECT_EQ(folder, std::string(std::getenv("HOME")) + "/Documents");

  HKEY key = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  const std::string text = "%SV_DOCS%/mine";
  ASSERT_EQ(RegSetValueExA(key, "Personal", 0, REG_EXPAND_SZ, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
  EXPECT_EQ(config.GetMyDocumentsDir(folder), 0);
  EXPECT_EQ(folder, "/data/docs/mine");

  ASSERT_EQ(registry.SetStringValue(kShellFoldersKey, "Personal", text), 0);
  EXPECT_EQ(config.GetMyDocumentsDir(folder), 0);
  EXPECT_EQ(folder, "%SV_DOCS%/mine");
  RegCloseKey(key);

  ASSERT_EQ(registry.SetIntegerValue(kShellFoldersKey, "Personal", 3), 0);
  EXPECT_EQ(config.GetMyDocumentsDir(folder), -2);
  EXPECT_EQ(folder, "");
}

}  // namespace
}  // namespace sealvane
