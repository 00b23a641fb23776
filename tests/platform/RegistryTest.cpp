// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/Registry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace sealvane::platform {
namespace {

using test::SandboxDir;

// A key handle closed at the end of the scope.
struct Key {
  HKEY h = 0;
  ~Key() {
    if (h != 0) RegCloseKey(h);
  }
};

LONG Create(HKEY root, const char* path, Key& key, DWORD* disposition = nullptr, REGSAM sam = KEY_ALL_ACCESS) {
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &key.h, disposition);
}

LONG Set(HKEY key, const char* name, DWORD type, const std::string& data) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const std::uint8_t*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

std::string Get(HKEY key, const char* name, DWORD* type = nullptr) {
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, name, nullptr, type, nullptr, &size), ERROR_SUCCESS);
  std::string data(size, '\0');
  EXPECT_EQ(RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<std::uint8_t*>(data.data()), &size),
            ERROR_SUCCESS);
  return data;
}

std::vector<std::string> SubKeys(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD length = sizeof(name);
    const LONG rc = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, ERROR_SUCCESS);
    names.emplace_back(name, length);
  }
  return names;
}

TEST(Registry, CreateKeyMakesIntermediatesAndReportsDisposition) {
  Key a, b, c;
  DWORD disposition = 0;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Brennock\\Sealvane\\Deep", a, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "software\\BRENNOCK\\sealvane\\deep", b, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Brennock", 0, KEY_READ, &c.h), ERROR_SUCCESS);
  // Names keep the spelling they were created with.
  EXPECT_EQ(SubKeys(c.h), std::vector<std::string>{"Sealvane"});
  // A trailing backslash is ignored; empty components are a bad path.
  Key d, e;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Brennock\\", 0, KEY_READ, &d.h), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\\\Brennock", 0, KEY_READ, &e.h), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nothing", 0, KEY_READ, &e.h), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, QueryGivesTypeAndSizeFirstAndMoreDataWhenShort) {
  Key k;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Test", k), ERROR_SUCCESS);
  ASSERT_EQ(Set(k.h, "Text", REG_SZ, std::string("hello\0", 6)), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(k.h, "text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 6u);

  std::uint8_t small[3] = {0xAA, 0xAA, 0xAA};
  size = sizeof(small);
  EXPECT_EQ(RegQueryValueExA(k.h, "Text", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(small[0], 0xAA) << "a short buffer is left untouched";

  std::uint8_t big[16] = {};
  size = sizeof(big);
  ASSERT_EQ(RegQueryValueExA(k.h, "Text", nullptr, &type, big, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(big), 6), std::string("hello\0", 6));

  EXPECT_EQ(RegQueryValueExA(k.h, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(k.h, "Text", nullptr, &type, big, nullptr), ERROR_INVALID_PARAMETER);
}

TEST(Registry, ValuesOfEveryTypeRoundTripByteForByte) {
  Key k;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Test", k), ERROR_SUCCESS);
  const std::string notUtf8("caf\xE9\0tail\xFF\0", 11);
  const std::string binary("\x00\x01\xFE\xFF\x00", 5);
  ASSERT_EQ(Set(k.h, "Latin", REG_SZ, notUtf8), ERROR_SUCCESS);
  ASSERT_EQ(Set(k.h, "Expand", REG_EXPAND_SZ, std::string("%HOME%/x\0", 9)), ERROR_SUCCESS);
  ASSERT_EQ(Set(k.h, "Bin", REG_BINARY, binary), ERROR_SUCCESS);
  ASSERT_EQ(Set(k.h, "Num", REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4)), ERROR_SUCCESS);
  ASSERT_EQ(Set(k.h, "", REG_SZ, std::string("default\0", 8)), ERROR_SUCCESS);
  ASSERT_EQ(Set(k.h, "Empty", REG_BINARY, ""), ERROR_SUCCESS);

  DWORD type = 0;
  EXPECT_EQ(Get(k.h, "Latin", &type), notUtf8);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Get(k.h, "Expand", &type), std::string("%HOME%/x\0", 9));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(Get(k.h, "Bin", &type), binary);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(Get(k.h, "Num", &type), std::string("\xFF\xFF\xFF\xFF", 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(Get(k.h, nullptr), std::string("default\0", 8));
  EXPECT_EQ(Get(k.h, "Empty"), "");

  // Overwriting changes type and data and keeps the first spelling.
  ASSERT_EQ(Set(k.h, "NUM", REG_BINARY, "ab"), ERROR_SUCCESS);
  EXPECT_EQ(Get(k.h, "Num", &type), "ab");
  EXPECT_EQ(type, REG_BINARY);
  char name[32];
  DWORD nameLength = sizeof(name);
  DWORD size = 0;
  ASSERT_EQ(RegEnumValueA(k.h, 3, name, &nameLength, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, nameLength), "Num");

  ASSERT_EQ(RegDeleteValueA(k.h, "num"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(k.h, "num"), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, EnumerationInfoAndLimits) {
  Key k;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Enum", k), ERROR_SUCCESS);
  for (const char* name : {"beta", "Alpha", "gamma", "A-very-long-subkey-name"}) {
    Key sub;
    ASSERT_EQ(Create(k.h, name, sub), ERROR_SUCCESS);
  }
  ASSERT_EQ(Set(k.h, "v1", REG_DWORD, "abcd"), ERROR_SUCCESS);
  ASSERT_EQ(Set(k.h, "value2", REG_BINARY, "0123456789"), ERROR_SUCCESS);

  EXPECT_EQ(SubKeys(k.h), (std::vector<std::string>{"A-very-long-subkey-name", "Alpha", "beta", "gamma"}));

  DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
  ASSERT_EQ(RegQueryInfoKeyA(k.h, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values, &maxValueName,
                             &maxValue, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 4u);
  EXPECT_EQ(maxSubKey, 23u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxValueName, 6u);
  EXPECT_EQ(maxValue, 10u);

  char tiny[5];
  DWORD length = sizeof(tiny);
  EXPECT_EQ(RegEnumKeyExA(k.h, 1, tiny, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  length = sizeof(tiny);
  EXPECT_EQ(RegEnumKeyExA(k.h, 4, tiny, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  Key tooLong;
  EXPECT_EQ(Create(k.h, std::string(256, 'x').c_str(), tooLong), ERROR_INVALID_PARAMETER);
}

TEST(Registry, DeleteKeyRefusesSubkeysAndStaleHandlesAreRefused) {
  Key parent, child, grandchild;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Del", parent), ERROR_SUCCESS);
  ASSERT_EQ(Create(parent.h, "Child", child), ERROR_SUCCESS);
  ASSERT_EQ(Create(child.h, "Grandchild", grandchild), ERROR_SUCCESS);
  ASSERT_EQ(Set(grandchild.h, "v", REG_SZ, "x"), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyA(parent.h, "Child"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(parent.h, "child\\GRANDCHILD"), ERROR_SUCCESS);
  EXPECT_EQ(Set(grandchild.h, "v", REG_SZ, "y"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(parent.h, "Child\\Grandchild"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(parent.h, ""), ERROR_INVALID_PARAMETER);

  ASSERT_EQ(Create(child.h, "Again\\And\\Again", grandchild), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Del\\Child"), ERROR_SUCCESS);
  EXPECT_TRUE(SubKeys(parent.h).empty());
}

TEST(Registry, HandlesAreCheckedAndAccessRightsHonoured) {
  Key k;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\H", k), ERROR_SUCCESS);
  const HKEY stale = k.h;
  ASSERT_EQ(RegCloseKey(k.h), ERROR_SUCCESS);
  k.h = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(stale, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(stale), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(0x12345678, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);

  Key readOnly;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\H", 0, KEY_QUERY_VALUE, &readOnly.h), ERROR_SUCCESS);
  EXPECT_EQ(Set(readOnly.h, "x", REG_SZ, "y"), ERROR_ACCESS_DENIED);
  char name[8];
  DWORD length = sizeof(name);
  EXPECT_EQ(RegEnumKeyExA(readOnly.h, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
}

TEST(Registry, ClassesRootIsTheUsersSoftwareClasses) {
  Key cr;
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, ".sva", cr), ERROR_SUCCESS);
  ASSERT_EQ(Set(cr.h, nullptr, REG_SZ, std::string("Sealvane.Archive\0", 17)), ERROR_SUCCESS);
  Key cu;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Classes\\.SVA", 0, KEY_READ, &cu.h), ERROR_SUCCESS);
  EXPECT_EQ(Get(cu.h, ""), std::string("Sealvane.Archive\0", 17));
}

TEST(Registry, MachineHiveReadsEmptyUntilWrittenAndLivesInItsOwnFile) {
  const std::string machine = SandboxDir() + "/machine/sub/machine.db";
  ::setenv("SEALVANE_MACHINE_HIVE", machine.c_str(), 1);
  Key k;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &k.h), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(std::filesystem::exists(machine));
  DWORD subKeys = 99;
  EXPECT_EQ(RegQueryInfoKeyA(HKEY_LOCAL_MACHINE, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 0u);

  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\Sealvane", k), ERROR_SUCCESS);
  ASSERT_EQ(Set(k.h, "Providers", REG_DWORD, "\x03\0\0\0"), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::exists(machine));
  Key user;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Sealvane", 0, KEY_READ, &user.h), ERROR_FILE_NOT_FOUND);
}

TEST(Registry, NewUserHiveKnowsTheDocumentsFolder) {
  Key k;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0, KEY_READ,
                          &k.h),
            ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Get(k.h, "Personal", &type), std::string("%HOME%/Documents\0", 17));
  EXPECT_EQ(type, REG_EXPAND_SZ);
}

TEST(Registry, NewUserHiveTakesTheXdgDocumentsFolder) {
  test::WriteFileBytes(SandboxDir() + "/config/user-dirs.dirs",
                       "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                       "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  Key k;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0, KEY_READ,
                          &k.h),
            ERROR_SUCCESS);
  EXPECT_EQ(Get(k.h, "Personal"), std::string("%HOME%/Dokumente\0", 17));
}

TEST(Registry, ExpandEnvironmentStrings) {
  ::setenv("SV_A", "alpha", 1);
  ::unsetenv("SV_UNSET");
  const auto expand = [](const char* text) {
    const DWORD needed = ExpandEnvironmentStringsA(text, nullptr, 0);
    std::string buf(needed, '\x7F');
    EXPECT_EQ(ExpandEnvironmentStringsA(text, buf.data(), needed), needed);
    EXPECT_EQ(buf.back(), '\0');
    buf.pop_back();
    return buf;
  };
  EXPECT_EQ(expand("%SV_A%/x"), "alpha/x");
  EXPECT_EQ(expand("%sv_unset%/x"), "%sv_unset%/x");
  EXPECT_EQ(expand("%SV_UNSET%%SV_A%"), "%SV_UNSET%alpha");
  EXPECT_EQ(expand("100% sure"), "100% sure");
  EXPECT_EQ(expand("%%"), "%%");
  EXPECT_EQ(expand(""), "");

  char small[4] = {'z', 'z', 'z', 'z'};
  EXPECT_EQ(ExpandEnvironmentStringsA("%SV_A%", small, sizeof(small)), 6u);
  EXPECT_EQ(small[0], 'z');
  EXPECT_EQ(ExpandEnvironmentStringsA(nullptr, small, sizeof(small)), 0u);
}

TEST(Registry, DamagedHiveIsReportedWithItsPathAndLeftAlone) {
  const std::string hive = SandboxDir() + "/home/registry.db";
  const std::string garbage(8192, '\x5A');
  test::WriteFileBytes(hive, garbage);
  Key k;
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "Software\\X", k), ERROR_BADDB);
  EXPECT_NE(RegLastErrorDetail().find(hive), std::string::npos) << RegLastErrorDetail();
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "x", nullptr, nullptr, nullptr, &size), ERROR_BADDB);
  EXPECT_EQ(test::ReadFileBytes(hive), garbage);
}

TEST(Registry, ForeignDatabaseIsNotTakenForAHive) {
  const std::string hive = SandboxDir() + "/home/registry.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(hive.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const std::string before = test::ReadFileBytes(hive);
  Key k;
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "Software\\X", k), ERROR_BADDB);
  EXPECT_NE(RegLastErrorDetail().find("not a registry hive"), std::string::npos) << RegLastErrorDetail();
  EXPECT_EQ(test::ReadFileBytes(hive), before);
}

TEST(Registry, UncreatableDataFolderIsAClearError) {
  const std::string file = SandboxDir() + "/plainfile";
  test::WriteFileBytes(file, "x");
  ::setenv("SEALVANE_HOME", (file + "/home").c_str(), 1);
  Key k;
  EXPECT_EQ(Create(HKEY_CURRENT_USER, "Software", k), ERROR_PATH_NOT_FOUND);
  EXPECT_NE(RegLastErrorDetail().find(file + "/home"), std::string::npos) << RegLastErrorDetail();
}

}  // namespace
}  // namespace sealvane::platform
