// SPDX-License-Identifier: GPL-3.0-or-later
// Help for every command, "--" before names that start with a dash, the man
// page from the same text, and the exit statuses.
#include <gtest/gtest.h>

#include <cctype>
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
  for (const char* command : {"encrypt", "decrypt", "shred", "info", "options", "reg", "certs", "register"}) {
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
  for (const char* command : {"encrypt", "decrypt", "shred", "info", "options", "reg", "certs", "register"}) {
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

namespace sealvane {
namespace {

// The lines the terminal showed: each redraw ("\r", the erase sequence) or
// new line starts one; escape sequences removed.
std::vector<std::string> ShownLines(const std::string& output) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < output.size(); ++i) {
    const char c = output[i];
    if (c == '\x1b' && i + 2 < output.size() && output[i + 1] == '[') {
      i += 2;
      while (i < output.size() && !std::isalpha(static_cast<unsigned char>(output[i]))) ++i;
    } else if (c == '\r' || c == '\n') {
      if (!lines.back().empty()) lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

class ProgressCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string data(48u << 20, '\0');
    std::uint32_t x = 7;
    for (char& c : data) {
      x = x * 1664525u + 1013904223u;
      c = static_cast<char>(x >> 24);
    }
    test::WriteFileBytes(Big(), data);
    test::WriteFileBytes(SandboxDir() + "/pw", "Correct Horse 9\n");
  }
  static std::string Big() { return SandboxDir() + "/a-rather-long-file-name-for-a-narrow-terminal-window.bin"; }
  std::vector<std::string> Encrypt(unsigned short columns, const std::string& interruptAfter, int expectedExit,
                                   std::vector<std::string> more = {}) {
    std::vector<std::string> argv = {SEALVANE_CLI, "encrypt", Big(), "--password-file", SandboxDir() + "/pw",
                                     "--no-compress", "--cipher", "5", "--yes"};
    argv.insert(argv.end(), more.begin(), more.end());
    const test::PtyResult r = test::RunInPty(argv, columns, interruptAfter);
    EXPECT_EQ(r.exitCode, expectedExit) << r.output;
    seconds = r.seconds;
    return ShownLines(r.output);
  }
  double seconds = 0;
};

TEST_F(ProgressCli, TheLineFitsRedrawsAtMostTenTimesASecondAndEndsDone) {
  const std::vector<std::string> lines = Encrypt(60, "", 0);
  std::size_t redraws = 0;
  bool sawBytes = false;
  for (const std::string& line : lines) {
    if (line.rfind("Encrypted ", 0) == 0) continue;  // the result, not the progress line
    EXPECT_LT(line.size(), 60u) << line;
    if (line.find('%') != std::string::npos) ++redraws;
    sawBytes = sawBytes || line.find(" of 48.0 MiB") != std::string::npos;
  }
  EXPECT_TRUE(sawBytes);
  // Ten a second, and once more for each new step (there are four).
  EXPECT_LE(static_cast<double>(redraws), seconds * 10 + 8) << redraws << " redraws in " << seconds << " s";
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Done 100%");
  EXPECT_EQ(lines.back().rfind("Encrypted ", 0), 0u);
}

TEST_F(ProgressCli, CtrlCSaysCancelledAndQuietSaysNothing) {
  const std::vector<std::string> lines = Encrypt(100, "Encrypting:", 130);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Cancelled");
  for (const std::string& line : lines) EXPECT_EQ(line.find("Done"), std::string::npos) << line;
  EXPECT_FALSE(std::filesystem::exists(SandboxDir() + "/a-rather-long-file-name-for-a-narrow-terminal-window.sva"));

  const std::vector<std::string> quiet = Encrypt(100, "", 0, {"--quiet"});
  ASSERT_EQ(quiet.size(), 1u);
  EXPECT_EQ(quiet[0].rfind("Encrypted ", 0), 0u);
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

class PromptCli : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFileBytes(Path("secret.txt"), "behind a password");
    test::WriteFileBytes(Path("pw"), "Correct Horse 9\n");
    ASSERT_EQ(Cli({"encrypt", Path("secret.txt"), "--password-file", Path("pw")}).exitCode, 0);
    std::filesystem::rename(Path("secret.txt"), Path("original.txt"));
  }
  static std::string Path(const std::string& name) { return SandboxDir() + "/" + name; }
};

TEST_F(PromptCli, PinentryIsToldWhichTerminalToUse) {
  ::setenv("FAKE_PINENTRY_PIN", "Correct Horse 9", 1);
  ::setenv("TERM", "xterm-256color", 1);
  const test::PtyResult r = test::RunInPty({SEALVANE_CLI, "decrypt", Path("secret.sva"), "--no-open-after"}, 80);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::string log = test::ReadFileBytes(Path("pinentry.log"));
  EXPECT_NE(log.find("OPTION ttyname=/dev/pts/"), std::string::npos) << log;
  EXPECT_NE(log.find("OPTION ttytype=xterm-256color"), std::string::npos) << log;
  EXPECT_EQ(test::ReadFileBytes(Path("secret.txt")), "behind a password");
}

TEST_F(PromptCli, WithoutPinentryTheTerminalAsksWithoutEcho) {
  ::setenv("SEALVANE_PINENTRY", "/nonexistent/pinentry", 1);
  test::PtyResult r = test::RunInPty({SEALVANE_CLI, "decrypt", Path("secret.sva"), "--no-open-after"}, 80, "",
                                     {{"Password for ", "Correct Horse 9\n"}});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output.find("Correct Horse 9"), std::string::npos) << "typed without echo: " << r.output;
  EXPECT_EQ(test::ReadFileBytes(Path("secret.txt")), "behind a password");

  // --password-stdin on a terminal: asked twice for a new archive.
  r = test::RunInPty({SEALVANE_CLI, "encrypt", Path("original.txt"), "-o", Path("again.sva"), "--password-stdin"}, 80,
                     "", {{"Password: ", "Another horse 1\n"}, {"Again: ", "Another horse 2\n"}});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("the two answers differ"), std::string::npos) << r.output;
  EXPECT_FALSE(std::filesystem::exists(Path("again.sva")));
  r = test::RunInPty({SEALVANE_CLI, "encrypt", Path("original.txt"), "-o", Path("again.sva"), "--password-stdin"}, 80,
                     "", {{"Password: ", "Another horse 1\n"}, {"Again: ", "Another horse 1\n"}});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(std::filesystem::exists(Path("again.sva")));

  // An unreadable password file is said to be one.
  const ProcessResult missing = Cli({"encrypt", Path("original.txt"), "--password-file", Path("nonexistent")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("the password file " + Path("nonexistent") + " cannot be read"), std::string::npos)
      << missing.err;
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(MessagesCli, SayWhatThePersonCanActOn) {
  const std::string dir = SandboxDir();
  test::WriteFileBytes(dir + "/pw", "Correct Horse 9\n");
  std::filesystem::create_directories(dir + "/a folder");
  test::WriteFileBytes(dir + "/a.txt", "content");
  ProcessResult r = Cli({"encrypt", dir + "/a.txt", "-o", dir + "/a folder", "--password-file", dir + "/pw"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("sealvane-cli: " + dir + "/a folder is a folder, not a file."), std::string::npos) << r.err;

  test::WriteFileBytes(dir + "/f.txt", "content");
  ASSERT_EQ(Cli({"encrypt", dir + "/f.txt", "--password-file", dir + "/pw"}).exitCode, 0);
  r = Cli({"encrypt", dir + "/f.txt", "--password-file", dir + "/pw"}, "n\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("sealvane-cli: nothing was done."), std::string::npos) << r.err;

  r = Cli({"encrypt", dir + "/f.txt", "-o", dir + "/g.sva", "--recipient", std::string(40, 'A')});
  EXPECT_NE(r.err.find("sealvane-cli: no certificate with thumbprint AAAA"), std::string::npos) << r.err;

  // The jobs need no temporary folder: one that is not there changes nothing.
  ::setenv("TMPDIR", (dir + "/no-such-tmp").c_str(), 1);
  r = Cli({"encrypt", dir + "/f.txt", "-o", dir + "/h.sva", "--password-file", dir + "/pw", "--compress"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  r = Cli({"decrypt", dir + "/h.sva", "-o", dir + "/h.txt", "--password-file", dir + "/pw"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(dir + "/h.txt"), "content");
}

}  // namespace
}  // namespace sealvane
