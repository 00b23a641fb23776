// SPDX-License-Identifier: GPL-3.0-or-later
// Help for every command, "--" before names that start with a dash, the man
// page from the same text, and the exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

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

// The help's words without its line breaks and indentation.
std::string Flat(const std::string& text) {
  std::string flat;
  for (const char c : text) {
    const bool blank = c == ' ' || c == '\n';
    if (blank && (flat.empty() || flat.back() == ' ')) continue;
    flat.push_back(blank ? ' ' : c);
  }
  return flat;
}

TEST(HelpCli, EveryCommandHasItsHelp) {
  for (const char* command : {"encrypt", "decrypt", "shred", "info", "reg", "certs", "register"}) {
    SCOPED_TRACE(command);
    for (const char* flag : {"--help", "-h"}) {
      const ProcessResult r = Cli({command, flag});
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_EQ(r.out.rfind(std::string("Usage: sealvane-cli ") + command, 0), 0u) << r.out;
      EXPECT_NE(r.out.find("Exit status: 0 when"), std::string::npos);
    }
    EXPECT_EQ(Cli({"help", command}).out, Cli({command, "--help"}).out);
  }
  const std::string encrypt = Flat(Cli({"encrypt", "x", "--help"}).out);
  EXPECT_NE(encrypt.find("5 \"3DES (168-bit)\""), std::string::npos);
  EXPECT_NE(encrypt.find("AlgorithmNumber"), std::string::npos);
  const std::string decrypt = Flat(Cli({"decrypt", "--help"}).out);
  EXPECT_NE(decrypt.find("When the archive asks for it, the file is then opened"), std::string::npos);
  EXPECT_NE(decrypt.find("--password-codepage"), std::string::npos);
  // A usage error names the command's usage and where its help is.
  const ProcessResult bad = Cli({"decrypt", "--frobnicate"});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("See: sealvane-cli decrypt --help"), std::string::npos) << bad.err;
}

TEST(HelpCli, TheManPageSaysWhatTheHelpSays) {
  const std::string man = test::ReadFileBytes(SEALVANE_MAN_PAGE);
  EXPECT_EQ(man.rfind(".TH SEALVANE-CLI 1", 0), 0u);
  for (const char* command : {"encrypt", "decrypt", "shred", "info", "reg", "certs", "register"}) {
    EXPECT_NE(man.find(std::string(".SS \"") + command + "\""), std::string::npos) << command;
  }
  EXPECT_NE(man.find("\\-\\-password\\-codepage CP"), std::string::npos);
  EXPECT_NE(man.find(".SH \"EXIT STATUS\""), std::string::npos);
}

TEST(HelpCli, DoubleDashEndsTheOptions) {
  const std::string dir = SandboxDir() + "/dash";
  std::filesystem::create_directories(dir);
  test::WriteFileBytes(dir + "/-x", "a file whose name looks like an option");
  test::WriteFileBytes(dir + "/pw", "Correct Horse 9\n");
  ProcessResult r = test::RunProcess({"/bin/sh", "-c", "cd \"$0\" && exec \"$1\" encrypt --password-file pw --yes -- -x",
                                      dir, SEALVANE_CLI});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir + "/-x.sva"));
  std::filesystem::rename(dir + "/-x", dir + "/original");
  r = test::RunProcess({"/bin/sh", "-c",
                        "cd \"$0\" && exec \"$1\" decrypt --password-file pw --no-open-after --yes -- -x.sva", dir,
                        SEALVANE_CLI});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(dir + "/-x"), "a file whose name looks like an option");
}

}  // namespace
}  // namespace sealvane
