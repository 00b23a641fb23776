// SPDX-License-Identifier: GPL-3.0-or-later
// sealvane-cli reg, run as a separate program against the sandboxed hives.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/Sandbox.h"

namespace sealvane {
namespace {

using test::ProcessResult;

ProcessResult Cli(std::vector<std::string> args) {
  args.insert(args.begin(), SEALVANE_CLI);
  return test::RunProcess(args);
}

constexpr const char* kKey = "HKCU\\Software\\Brennock\\Sealvane";

TEST(RegCli, SetQueryAndDeleteEveryType) {
  EXPECT_EQ(Cli({"reg", "set", kKey, "AlgorithmNumber", "REG_DWORD", "3"}).exitCode, 0);
  EXPECT_EQ(Cli({"reg", "set", kKey, "AlwaysOpen", "REG_DWORD", "-1"}).exitCode, 0);
  EXPECT_EQ(Cli({"reg", "set", kKey, "CertSerialNumber", "REG_DWORD", "0x1F"}).exitCode, 0);
  EXPECT_EQ(Cli({"reg", "set", kKey, "DefaultCertTP", "REG_BINARY", "00ff10Ab"}).exitCode, 0);
  EXPECT_EQ(Cli({"reg", "set", kKey, "LastDirectory", "REG_SZ", "/home/u/My Files"}).exitCode, 0);
  EXPECT_EQ(Cli({"reg", "set", kKey, "Docs", "REG_EXPAND_SZ", "%HOME%/Docs"}).exitCode, 0);
  EXPECT_EQ(Cli({"reg", "set", "HKCU\\Software\\Brennock\\Sealvane\\Sub", "", "REG_SZ", "x"}).exitCode, 0);

  const ProcessResult all = Cli({"reg", "query", "hkcu\\SOFTWARE\\brennock\\sealvane"});
  ASSERT_EQ(all.exitCode, 0) << all.err;
  EXPECT_EQ(all.out,
            "HKEY_CURRENT_USER\\SOFTWARE\\brennock\\sealvane\n"
            "    AlgorithmNumber    REG_DWORD    0x00000003\n"
            "    AlwaysOpen    REG_DWORD    0xffffffff\n"
            "    CertSerialNumber    REG_DWORD    0x0000001f\n"
            "    DefaultCertTP    REG_BINARY    00FF10AB\n"
            "    LastDirectory    REG_SZ    /home/u/My Files\n"
            "    Docs    REG_EXPAND_SZ    %HOME%/Docs\n"
            "\n"
            "HKEY_CURRENT_USER\\SOFTWARE\\brennock\\sealvane\\Sub\n");

  const ProcessResult one = Cli({"reg", "query", kKey, "LastDirectory"});
  EXPECT_EQ(one.out, "HKEY_CURRENT_USER\\Software\\Brennock\\Sealvane\n    LastDirectory    REG_SZ    /home/u/My Files\n");
  const ProcessResult def = Cli({"reg", "query", "HKCU\\Software\\Brennock\\Sealvane\\Sub", ""});
  EXPECT_NE(def.out.find("(Default)    REG_SZ    x"), std::string::npos) << def.out;

  EXPECT_EQ(Cli({"reg", "delete", kKey, "Docs"}).exitCode, 0);
  const ProcessResult gone = Cli({"reg", "query", kKey, "Docs"});
  EXPECT_EQ(gone.exitCode, 1);
  EXPECT_NE(gone.err.find("[error 2]"), std::string::npos) << gone.err;

  EXPECT_EQ(Cli({"reg", "delete", "HKCU\\Software\\Brennock"}).exitCode, 0);
  EXPECT_EQ(Cli({"reg", "query", kKey}).exitCode, 1);
}

TEST(RegCli, BadArgumentsAreUsageErrors) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>> {
           {"reg"},
           {"reg", "query"},
           {"reg", "query", "HKXX\\Software"},
           {"reg", "set", kKey, "v", "REG_QWORD", "1"},
           {"reg", "set", kKey, "v", "REG_BINARY", "abc"},
           {"reg", "set", kKey, "v", "REG_BINARY", "zz"},
           {"reg", "set", kKey, "v", "REG_DWORD", "4294967296"},
           {"reg", "set", kKey, "v", "REG_DWORD", "12x"},
           {"reg", "delete", "HKCU"},
           {"reg", "frobnicate", kKey},
           {"nonsense"}}) {
    const ProcessResult r = Cli(args);
    EXPECT_EQ(r.exitCode, 2) << args.back();
    EXPECT_FALSE(r.err.empty());
  }
  EXPECT_EQ(Cli({"--help"}).exitCode, 0);
}

TEST(RegCli, StringsThatAreNotPrintableAreEscaped) {
  EXPECT_EQ(Cli({"reg", "set", kKey, "Odd", "REG_SZ", "tab\there caf\xE9"}).exitCode, 0);
  const ProcessResult r = Cli({"reg", "query", kKey, "Odd"});
  EXPECT_NE(r.out.find("tab\\x09here caf\\xE9"), std::string::npos) << r.out;
}

TEST(RegCli, DamagedHiveIsNamedAndKept) {
  const std::string hive = test::SandboxDir() + "/home/registry.db";
  test::WriteFileBytes(hive, std::string(4096, '#'));
  const ProcessResult r = Cli({"reg", "set", kKey, "v", "REG_DWORD", "1"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find(hive), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("[error 1009]"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFileBytes(hive), std::string(4096, '#'));
}

TEST(RegCli, ReadOnlyHiveCanBeReadButNotWritten) {
  namespace fs = std::filesystem;
  ASSERT_EQ(Cli({"reg", "set", kKey, "AlgorithmNumber", "REG_DWORD", "4"}).exitCode, 0);
  const std::string home = test::SandboxDir() + "/home";
  fs::permissions(test::SandboxDir(), fs::perms(0755));
  test::GiveToUnprivilegedUser(home);  // the user's own folder, read-only
  fs::permissions(home, fs::perms(0555));
  fs::permissions(home + "/registry.db", fs::perms(0444));
  const auto asUser = [](std::vector<std::string> args) {
    std::vector<std::string> argv = test::UnprivilegedPrefix();
    argv.push_back(test::UnprivilegedProgram(SEALVANE_CLI));
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunProcess(argv);
  };
  const ProcessResult read = asUser({"reg", "query", kKey, "AlgorithmNumber"});
  EXPECT_EQ(read.exitCode, 0) << read.err;
  EXPECT_NE(read.out.find("0x00000004"), std::string::npos);
  const ProcessResult write = asUser({"reg", "set", kKey, "AlgorithmNumber", "REG_DWORD", "5"});
  EXPECT_EQ(write.exitCode, 1);
  EXPECT_NE(write.err.find("[error 5]"), std::string::npos) << write.err;
  fs::permissions(home, fs::perms(0700));
}

TEST(RegCli, UncreatableDataFolderIsReported) {
  test::WriteFileBytes(test::SandboxDir() + "/blocker", "x");
  ::setenv("SEALVANE_HOME", (test::SandboxDir() + "/blocker/home").c_str(), 1);
  const ProcessResult r = Cli({"reg", "query", kKey});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Cannot create the Sealvane data folder"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace sealvane
