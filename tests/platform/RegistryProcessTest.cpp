// SPDX-License-Identifier: GPL-3.0-or-later
// The hive shared by running copies of the program: concurrent writers, a
// writer killed half-way, and a hive the user may not write.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "sealvane/platform/Registry.h"
#include "support/Process.h"
#include "support/Sandbox.h"

namespace sealvane::platform {
namespace {

std::string IntegrityCheck(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return "cannot open";
  std::string result;
  sqlite3_exec(
      db, "PRAGMA integrity_check",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += values[0] ? values[0] : "";
        return 0;
      },
      &result, nullptr);
  sqlite3_close(db);
  return result;
}

DWORD CountValues(const char* path) {
  HKEY key = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD values = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(key);
  return values;
}

TEST(RegistryProcesses, TwoWritersAtOnceBothSucceedAndLastWriterWins) {
  const int a = test::StartProcess({HIVE_WRITER, "A", "150"});
  const int b = test::StartProcess({HIVE_WRITER, "B", "150"});
  EXPECT_EQ(test::WaitProcess(a), 0);
  EXPECT_EQ(test::WaitProcess(b), 0);
  EXPECT_EQ(CountValues("Software\\Stress\\A"), 150u);
  EXPECT_EQ(CountValues("Software\\Stress\\B"), 150u);
  char shared[32] = {};
  DWORD size = sizeof(shared);
  ASSERT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "Shared", nullptr, nullptr, reinterpret_cast<std::uint8_t*>(shared),
                             &size),
            ERROR_SUCCESS);
  EXPECT_TRUE(std::string(shared) == "A:149" || std::string(shared) == "B:149") << shared;
  EXPECT_EQ(IntegrityCheck(test::SandboxDir() + "/home/registry.db"), "ok");
}

TEST(RegistryProcesses, WriterKilledHalfWayLeavesAnIntactHive) {
  // Create the hive first so that the writer spends its time writing.
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Stress", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const int pid = test::StartProcess({HIVE_WRITER, "K", "100000"});
  // Killed while it writes: once some values are in, well before the end.
  for (int i = 0; i < 1000 && CountValues("Software\\Stress\\K") < 20; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  EXPECT_EQ(test::WaitProcess(pid), -1);
  // The next reader rolls back the half-written transaction from its journal.
  const DWORD written = CountValues("Software\\Stress\\K");
  EXPECT_GT(written, 0u);
  ASSERT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "After", 0, REG_DWORD,
                           reinterpret_cast<const std::uint8_t*>("\1\0\0\0"), 4),
            ERROR_SUCCESS);
  EXPECT_EQ(IntegrityCheck(test::SandboxDir() + "/home/registry.db"), "ok");
}

TEST(RegistryProcesses, HiveTheUserMayNotWriteGivesAccessDenied) {
  namespace fs = std::filesystem;
  // A hive in a folder that the unprivileged user can read but not write.
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Locked", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const std::uint8_t*>("x"), 2), ERROR_SUCCESS);
  RegCloseKey(key);
  const std::string home = test::SandboxDir() + "/home";
  fs::permissions(test::SandboxDir(), fs::perms(0755));
  test::GiveToUnprivilegedUser(home);  // the user's own folder, read-only
  fs::permissions(home, fs::perms(0555));
  fs::permissions(home + "/registry.db", fs::perms(0444));

  auto run = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = test::UnprivilegedPrefix();
    argv.push_back(test::UnprivilegedProgram(HIVE_WRITER));
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunProcess(argv);
  };
  const auto result = run({"Locked", "1"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("create: 5"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(home + "/registry.db"), std::string::npos) << result.err;
  fs::permissions(home, fs::perms(0700));
}

}  // namespace
}  // namespace sealvane::platform
