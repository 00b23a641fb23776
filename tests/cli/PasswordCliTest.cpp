// SPDX-License-Identifier: GPL-3.0-or-later
// Passwords with letters outside ASCII on the terminal: typed as UTF-8,
// they open archives made with the other platform's code pages.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/IndependentArchive.h"
#include "support/Process.h"
#include "support/Sandbox.h"

namespace sealvane {
namespace {

using test::ProcessResult;
using test::SandboxDir;

ProcessResult Cli(std::vector<std::string> args, const std::string& input = {}) {
  args.insert(args.begin(), SEALVANE_CLI);
  return test::RunProcess(args, input);
}

TEST(PasswordCli, ACyrillicArchiveOpensWithItsCodePage) {
  const test::Bytes plain = test::Pattern(5000);
  // "Пароль-2024" as a Cyrillic system of the other platform hashes it.
  const test::Bytes raw =
      test::RawPasswordArchive(2, "\xcf\xe0\xf0\xee\xeb\xfc-2024", plain, true, "report.txt");
  const std::string archive = SandboxDir() + "/report.sva";
  test::WriteFileBytes(archive, std::string(raw.begin(), raw.end()));
  const std::string typed = "\xd0\x9f\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c-2024\n";

  ProcessResult r = Cli({"decrypt", archive, "--password-stdin", "--no-open-after", "--yes"}, typed);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("The password is incorrect."), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("The password is incorrect.", r.err.find("incorrect") + 1), std::string::npos) << "said once";

  r = Cli({"decrypt", archive, "--password-stdin", "--password-codepage", "1251", "--no-open-after", "--yes"}, typed);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(SandboxDir() + "/report.txt"), std::string(plain.begin(), plain.end()));

  // The same from the setting.
  std::remove((SandboxDir() + "/report.txt").c_str());
  r = Cli({"reg", "set", "HKCU\\Software\\Brennock\\Sealvane", "PasswordCodePages", "REG_SZ", "1250 1251"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = Cli({"decrypt", archive, "--password-stdin", "--no-open-after", "--yes"}, typed);
  EXPECT_EQ(r.exitCode, 0) << r.err;

  r = Cli({"decrypt", archive, "--password-codepage", "latin"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--password-codepage takes a Windows code page number"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(DecryptedFilesCli, ArePrivateUnlessAModeIsGiven) {
  namespace fs = std::filesystem;
  const std::string dir = test::SandboxDir();
  test::WriteFileBytes(dir + "/pw", "Correct Horse 9\n");
  test::WriteFileBytes(dir + "/open.txt", "readable by all");
  fs::permissions(dir + "/open.txt", fs::perms(0644));
  test::WriteFileBytes(dir + "/frozen.txt", "read-only");
  fs::permissions(dir + "/frozen.txt", fs::perms(0444));
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const auto mode = [](const std::string& path) { return fs::status(path).permissions() & fs::perms::all; };
  const auto roundTrip = [&](const std::string& name, std::vector<std::string> extra) {
    ASSERT_EQ(Cli({"encrypt", dir + "/" + name + ".txt", "--password-file", dir + "/pw", "--yes"}).exitCode, 0);
    fs::remove(dir + "/" + name + ".txt");
    std::vector<std::string> args = {"decrypt", dir + "/" + name + ".sva", "--password-file", dir + "/pw",
                                     "--no-open-after", "--yes"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ProcessResult r = Cli(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
  };
  roundTrip("open", {});
  EXPECT_EQ(mode(dir + "/open.txt"), fs::perms(0600 & ~mask));
  roundTrip("frozen", {});
  EXPECT_EQ(mode(dir + "/frozen.txt"), fs::perms(0400 & ~mask));
  roundTrip("open", {"--mode", "640"});
  EXPECT_EQ(mode(dir + "/open.txt"), fs::perms(0640));
  EXPECT_EQ(Cli({"decrypt", dir + "/open.sva", "--mode", "9"}).exitCode, 2);
}

}  // namespace
}  // namespace sealvane
