// SPDX-License-Identifier: GPL-3.0-or-later
// sealvane-cli never loses a file: killed and terminated jobs, failing
// system calls, folders the user may not change, files with several names,
// files opened afterwards, and archives whose stored texts attack the
// terminal.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "archive/JobFixtures.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"
#include "support/FakeUiPort.h"
#include "support/Process.h"
#include "support/Sandbox.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using test::ProcessResult;
using test::SandboxDir;

std::string Path(const std::string& name) { return SandboxDir() + "/" + name; }

ProcessResult Cli(std::vector<std::string> args, const std::string& input = {}) {
  args.insert(args.begin(), SEALVANE_CLI);
  return test::RunProcess(args, input);
}

std::string PasswordFile() {
  test::WriteFileBytes(Path("pw.txt"), "Correct Horse 9\n");
  fs::permissions(Path("pw.txt"), fs::perms(0644));
  return Path("pw.txt");
}

// Bytes that do not compress much, so that jobs take a while.
std::string Noise(std::size_t size) {
  std::string s(size, '\0');
  std::uint32_t x = 2463534242u;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0x3F);  // six bits a byte: zlib still has work
  }
  return s;
}

TEST(KilledJobs, LeaveTheOldFileAndNothingElse) {
  const std::string plain = Noise(24u << 20);
  test::WriteFileBytes(Path("big.bin"), plain);
  ASSERT_EQ(Cli({"encrypt", Path("big.bin"), "-o", Path("big.sva"), "--password-file", PasswordFile(), "--compress"}).exitCode, 0);
  fs::create_directories(Path("dest"));
  for (const bool decrypt : {false, true}) {
    for (const int signal : {SIGKILL, SIGTERM}) {
      SCOPED_TRACE(std::string(decrypt ? "decrypt" : "encrypt") + " / " + (signal == SIGKILL ? "SIGKILL" : "SIGTERM"));
      const std::string target = Path(decrypt ? "dest/big.bin" : "dest/big.sva");
      test::WriteFileBytes(target, "the old file");
      const std::vector<std::string> before = test::FolderEntries(Path("dest"));
      std::vector<std::string> argv = {SEALVANE_CLI};
      if (decrypt) {
        argv.insert(argv.end(), {"decrypt", Path("big.sva"), "-o", target, "--no-open-after"});
      } else {
        argv.insert(argv.end(), {"encrypt", Path("big.bin"), "-o", target, "--compress"});
      }
      argv.insert(argv.end(), {"--password-file", PasswordFile(), "--yes"});
      const int pid = test::StartProcess(argv);
      if (!test::WaitForUnnamedFile(pid, 1 << 20)) {
        ::kill(pid, SIGKILL);
        test::WaitProcess(pid);
        FAIL() << "the job never got under way";
      }
      // A job holds the password: it can leave no core file.
      std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
      const std::string limitsText((std::istreambuf_iterator<char>(limits)), std::istreambuf_iterator<char>());
      EXPECT_TRUE(std::regex_search(limitsText, std::regex("Max core file size +0 +0 ")))  << limitsText;
      ::kill(pid, signal);
      const int exitCode = test::WaitProcess(pid);
      if (signal == SIGTERM) {
        EXPECT_EQ(exitCode, 130) << "SIGTERM cancels the job, which cleans up";
      }
      EXPECT_EQ(test::ReadFileBytes(target), "the old file");
      EXPECT_EQ(test::FolderEntries(Path("dest")), before) << "no new file beside it";
      EXPECT_TRUE(test::FolderEntries(Path("tmp")).empty()) << "no scratch file in the temporary folder";
    }
  }
}

TEST(FailingCalls, PropertiesAndPublishingFailuresAreReported) {
  test::WriteFileBytes(Path("f.txt"), Noise(10000));
  ASSERT_EQ(Cli({"encrypt", Path("f.txt"), "--password-file", PasswordFile()}).exitCode, 0);
  const char* asanOptions = std::getenv("ASAN_OPTIONS");
  const std::string asan = asanOptions != nullptr ? asanOptions : "";
  ::setenv("ASAN_OPTIONS", (asan + ":verify_asan_link_order=0").c_str(), 1);
  ::setenv("LD_PRELOAD", FAILING_CALLS_LIB, 1);

  ::setenv("SEALVANE_FAIL_CALLS", "fchmod", 1);
  ProcessResult r = Cli({"decrypt", Path("f.sva"), "-o", Path("g.txt"), "--password-file", PasswordFile(), "--no-open-after"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Failed to set file properties.\nDevice I/O error. Error Number: 57"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("g.txt")), Noise(10000)) << "the file itself is kept";

  test::WriteFileBytes(Path("h.txt"), "old");
  for (const char* call : {"renameat", "fsync"}) {
    ::setenv("SEALVANE_FAIL_CALLS", call, 1);
    r = Cli({"decrypt", Path("f.sva"), "-o", Path("h.txt"), "--password-file", PasswordFile(), "--yes", "--no-open-after"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Failed to save decrypted file.\nDevice I/O error."), std::string::npos) << call << r.err;
    EXPECT_EQ(test::ReadFileBytes(Path("h.txt")), "old");
  }
  ::unsetenv("LD_PRELOAD");
  EXPECT_EQ(test::FolderEntries(SandboxDir()), (std::vector<std::string> {"config", "f.sva", "f.txt", "g.txt", "h.txt", "home",
                                                               "machine", "pw.txt", "tmp", "userhome"}));
}

// Shreds `path` with every flush to the device failing, as a failing disk
// would make them.
ProcessResult ShredWithFailingFlushes(const std::string& path) {
  const char* asanOptions = std::getenv("ASAN_OPTIONS");
  const std::string asan = asanOptions != nullptr ? asanOptions : "";
  ::setenv("ASAN_OPTIONS", (asan + ":verify_asan_link_order=0").c_str(), 1);
  ::setenv("LD_PRELOAD", FAILING_CALLS_LIB, 1);
  ::setenv("SEALVANE_FAIL_CALLS", "fdatasync,fsync", 1);
  ProcessResult r = Cli({"shred", path, "--yes"});
  ::unsetenv("LD_PRELOAD");
  ::unsetenv("SEALVANE_FAIL_CALLS");
  ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
  return r;
}

TEST(FailingCalls, SecureDeleteKeepsTheFileWhenItsOverwriteCannotBeFlushed) {
  // The name goes only once the overwrite has reached the device.
  test::WriteFileBytes(Path("secret.txt"), Noise(70000));
  const ProcessResult r = ShredWithFailingFlushes(Path("secret.txt"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Failed to Secure Delete file.\nDevice I/O error. Error Number: 57"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Failed to delete file.  Ensure it is not locked by another application."), std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::exists(Path("secret.txt")));
}

TEST(FailingCalls, AFolderWhoseOverwriteCannotBeFlushedSaysWhatIsLeft) {
  fs::create_directories(Path("box"));
  test::WriteFileBytes(Path("box/a.txt"), Noise(5000));
  test::WriteFileBytes(Path("box/b.txt"), Noise(6000));
  const ProcessResult r = ShredWithFailingFlushes(Path("box"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Failed to delete folder.\nDevice I/O error.\n0 of 2 files in " + Path("box") +
                       " were overwritten and deleted; a.txt was partly overwritten; the rest is as it was."),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::exists(Path("box/a.txt")));
  EXPECT_EQ(test::ReadFileBytes(Path("box/b.txt")), Noise(6000));
}

TEST(WriteFailures, AFullDiskWhileReplacingKeepsTheOldFile) {
  test::WriteFileBytes(Path("d.bin"), Noise(300000));
  ASSERT_EQ(Cli({"encrypt", Path("d.bin"), "--password-file", PasswordFile()}).exitCode, 0);
  test::WriteFileBytes(Path("old.bin"), "old content");
  const ProcessResult r = test::RunProcess({"/bin/sh", "-c", "ulimit -f 64; trap '' XFSZ; exec \"$@\"", "sh", SEALVANE_CLI,
                                            "decrypt", Path("d.sva"), "-o", Path("old.bin"), "--password-file",
                                            PasswordFile(), "--yes"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Disk full. Error Number: 61"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("old.bin")), "old content");
}

TEST(WriteFailures, AFullDiskKeepsTheOriginalThatWasToBeShredded) {
  test::WriteFileBytes(Path("e.bin"), Noise(300000));
  const ProcessResult r =
      test::RunProcess({"/bin/sh", "-c", "ulimit -f 64; trap '' XFSZ; exec \"$@\"", "sh", SEALVANE_CLI, "encrypt",
                        Path("e.bin"), "--password-file", PasswordFile(), "--shred-original", "--json"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Disk full."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("The original file " + Path("e.bin") + " was not deleted; it is as it was."), std::string::npos)
      << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
  EXPECT_EQ(test::ReadFileBytes(Path("e.bin")), Noise(300000));
  EXPECT_FALSE(fs::exists(Path("e.sva")));
}

TEST(SameFileCli, AHardLinkOrADotNameIsTheSameFile) {
  fs::create_directories(Path("d"));
  test::WriteFileBytes(Path("d/g.bin"), "precious");
  ProcessResult r = Cli({"encrypt", Path("d/g.bin"), "-o", Path("d/./g.bin"), "--password-file", PasswordFile(), "--yes"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("The file and the encrypted file are the same."), std::string::npos) << r.err;
  fs::create_hard_link(Path("d/g.bin"), Path("d/g.sva"));
  r = Cli({"encrypt", Path("d/g.bin"), "--password-file", PasswordFile(), "--yes"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "") << "never reported as done";
  EXPECT_EQ(test::ReadFileBytes(Path("d/g.bin")), "precious");
}

TEST(ShredCli, OtherNamesNeedAnExplicitAnswer) {
  test::WriteFileBytes(Path("s.txt"), "shared data");
  fs::create_hard_link(Path("s.txt"), Path("t.txt"));
  ProcessResult r = Cli({"shred", Path("s.txt"), "--yes"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("has 1 other name (hard links) that show the same data."), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("t.txt")), "shared data") << "--yes alone does not answer it";
  r = Cli({"shred", Path("s.txt"), "--yes"}, "y\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(test::ReadFileBytes(Path("t.txt")), "shared data");
  test::WriteFileBytes(Path("u.txt"), "more");
  fs::create_hard_link(Path("u.txt"), Path("v.txt"));
  r = Cli({"shred", Path("u.txt"), "--yes", "--shred-hard-links"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(Path("u.txt")));
}

TEST(ShredCli, AFolderWithEverythingInIt) {
  fs::create_directories(Path("drafts/old"));
  test::WriteFileBytes(Path("drafts/a.txt"), Noise(5000));
  test::WriteFileBytes(Path("drafts/old/b.txt"), Noise(7000));
  test::WriteFileBytes(Path("elsewhere.txt"), "elsewhere");
  fs::create_hard_link(Path("elsewhere.txt"), Path("drafts/old/also elsewhere.txt"));
  // A name outside the folder shows one of its files: asked even with --yes.
  ProcessResult r = Cli({"shred", Path("drafts"), "--yes", "--json"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("1 file in " + Path("drafts") + " has other names (hard links) outside it"), std::string::npos)
      << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("drafts/a.txt")), Noise(5000));
  r = Cli({"shred", Path("drafts"), "--yes", "--json", "--shred-hard-links"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Are you sure you want to delete the folder " + Path("drafts") +
                       " and everything in it (3 files, 12 KB)?"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(Path("drafts")));
  EXPECT_NE(test::ReadFileBytes(Path("elsewhere.txt")), "elsewhere");
  const auto report = nlohmann::json::parse(r.out, nullptr, false);
  EXPECT_EQ(report["file"], Path("drafts")) << r.out;
  EXPECT_EQ(report["other_names"], 1) << r.out;
}

// Runs the CLI as an unprivileged user with a profile of its own.
ProcessResult AsUser(const std::vector<std::string>& args) {
  fs::permissions(SandboxDir(), fs::perms(0755));
  const std::string profile = Path("profile");
  fs::create_directories(profile);
  test::GiveToUnprivilegedUser(profile);
  ::setenv("SEALVANE_HOME", profile.c_str(), 1);
  fs::permissions(Path("tmp"), fs::perms(0777));
  std::vector<std::string> argv = test::UnprivilegedPrefix();
  argv.push_back(test::UnprivilegedProgram(SEALVANE_CLI));
  argv.insert(argv.end(), args.begin(), args.end());
  return test::RunProcess(argv);
}

TEST(FoldersAsUser, ShredRefusesWhatItCouldNotRemoveAndLeavesItWhole) {
  fs::create_directories(Path("locked"));
  fs::create_directories(Path("sticky"));
  test::WriteFileBytes(Path("locked/f.txt"), "intact");
  test::WriteFileBytes(Path("sticky/g.txt"), "intact");
  fs::permissions(Path("locked/f.txt"), fs::perms(0666));
  fs::permissions(Path("sticky/g.txt"), fs::perms(0666));
  test::GiveToUnprivilegedUser(Path("locked/f.txt"));
  fs::permissions(Path("locked"), fs::perms(0555));
  // Sticky: anyone may create, only the owner may remove (as in /tmp).
  fs::permissions(Path("sticky"), fs::perms(01777));
  for (const char* file : {"locked/f.txt", "sticky/g.txt"}) {
    SCOPED_TRACE(file);
    const ProcessResult r = AsUser({"shred", Path(file), "--yes"});
    if (::geteuid() != 0 && std::string(file) == "sticky/g.txt") continue;  // the owner may remove it
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot be deleted: its folder does not let you remove it.\nThe file was not changed."),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadFileBytes(Path(file)), "intact");
  }
  fs::permissions(Path("locked"), fs::perms(0755));
}

TEST(FoldersAsUser, ShredClearsReadOnlyFirst) {
  fs::create_directories(Path("own"));
  test::WriteFileBytes(Path("own/ro.txt"), Noise(9000));
  fs::permissions(Path("own/ro.txt"), fs::perms(0444));
  test::GiveToUnprivilegedUser(Path("own"));
  const int before = ::open(Path("own/ro.txt").c_str(), O_RDONLY);
  ASSERT_GE(before, 0);
  const ProcessResult r = AsUser({"shred", Path("own/ro.txt"), "--yes"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(Path("own/ro.txt")));
  std::string after(9000, '\0');
  EXPECT_EQ(::pread(before, after.data(), after.size(), 0), 9000);
  ::close(before);
  EXPECT_NE(after, Noise(9000)) << "overwritten before it went";
}

TEST(FoldersAsUser, AnArchiveThatCannotBeWrittenKeepsTheOriginal) {
  fs::create_directories(Path("work"));
  fs::create_directories(Path("shut"));
  test::WriteFileBytes(Path("work/plan.txt"), Noise(5000));
  test::WriteFileBytes(Path("pw.txt"), "Correct Horse 9\n");
  fs::permissions(Path("pw.txt"), fs::perms(0644));
  test::GiveToUnprivilegedUser(Path("work"));
  fs::permissions(Path("shut"), fs::perms(0555));
  const ProcessResult r = AsUser({"encrypt", Path("work/plan.txt"), "-o", Path("shut/plan.sva"), "--password-file",
                                  Path("pw.txt"), "--shred-original"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Failed to open encrypted file."), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("work/plan.txt")), Noise(5000));
  EXPECT_FALSE(fs::exists(Path("shut/plan.sva")));
}

TEST(FoldersAsUser, AFolderIsDeletedAfterEncryptingOnlyWhenAllOfItCanGo) {
  fs::create_directories(Path("home/album/shut"));
  test::WriteFileBytes(Path("home/album/a.txt"), Noise(7000));
  test::WriteFileBytes(Path("home/album/shut/b.txt"), Noise(3000));
  fs::permissions(Path("home/album/a.txt"), fs::perms(0444));
  test::WriteFileBytes(Path("pw.txt"), "Correct Horse 9\n");
  fs::permissions(Path("pw.txt"), fs::perms(0644));
  test::GiveToUnprivilegedUser(Path("home"));
  fs::permissions(Path("home/album/shut"), fs::perms(0555));
  // b.txt may not be removed from its folder: nothing is written or deleted.
  ProcessResult r = AsUser({"encrypt", Path("home/album"), "--password-file", Path("pw.txt"), "--shred-original"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("The folder " + Path("home/album") + " cannot be deleted: " + Path("home/album/shut/b.txt") +
                       " cannot be removed from its folder"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("home/album/shut/b.txt")), Noise(3000));
  EXPECT_FALSE(fs::exists(Path("home/album.sva")));
  // Once it may: read-only files and all go, after the archive checked out.
  fs::permissions(Path("home/album/shut"), fs::perms(0755));
  r = AsUser({"encrypt", Path("home/album"), "--password-file", Path("pw.txt"), "--shred-original"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(Path("home/album")));
  EXPECT_TRUE(fs::exists(Path("home/album.sva")));
}

TEST(FoldersAsUser, AReadOnlyOldFileIsOverwrittenBeforeItIsReplaced) {
  test::WriteFileBytes(Path("src.txt"), Noise(20000));
  ASSERT_EQ(Cli({"encrypt", Path("src.txt"), "--password-file", PasswordFile()}).exitCode, 0);
  fs::permissions(Path("src.sva"), fs::perms(0644));
  fs::create_directories(Path("mine"));
  test::WriteFileBytes(Path("mine/old.txt"), Noise(5000));
  fs::permissions(Path("mine/old.txt"), fs::perms(0444));
  test::GiveToUnprivilegedUser(Path("mine"));
  const int before = ::open(Path("mine/old.txt").c_str(), O_RDONLY);  // still sees the old blocks
  ASSERT_GE(before, 0);
  const ProcessResult r = AsUser({"decrypt", Path("src.sva"), "-o", Path("mine/old.txt"), "--password-file",
                                  PasswordFile(), "--yes", "--no-open-after"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("mine/old.txt")), Noise(20000));
  std::string old(5000, '\0');
  EXPECT_EQ(::pread(before, old.data(), old.size(), 0), 5000);
  ::close(before);
  EXPECT_NE(old, Noise(5000)) << "the read-only old file was overwritten, as its owner, before it went";
}

TEST(OpenAfterCli, TheOptionDecidesOverTheArchive) {
  test::FakeDesktop("editor.desktop");
  const std::string archive = std::string(SEALVANE_FIXTURES) + "/sva/good/pw_l3_c5_rand4097_z_open.sva";
  const std::string log = Path("opened.log");
  ProcessResult r = Cli({"decrypt", archive, "-o", Path("first.bin"), "--password-file", PasswordFile(), "--no-open-after"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = Cli({"decrypt", archive, "-o", Path("second.bin"), "--password-file", PasswordFile()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // The opener runs on its own: its line is waited for whole.
  for (int i = 0; i < 500 && !(fs::exists(log) && test::ReadFileBytes(log).ends_with('\n')); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(test::ReadFileBytes(log), Path("second.bin") + "\n") << "only the archive that may be opened was";

  // A file that can run code is not opened on --yes alone.
  test::WriteFileBytes(Path("run.desktop"), "[Desktop Entry]\nExec=true\n");
  ASSERT_EQ(Cli({"encrypt", Path("run.desktop"), "--password-file", PasswordFile(), "--open-after"}).exitCode, 0);
  fs::remove(Path("run.desktop"));
  r = Cli({"decrypt", Path("run.sva"), "--password-file", PasswordFile(), "--yes"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Open File? " + Path("run.desktop") + " can run programs on this computer"), std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::exists(Path("run.desktop")));
}

TEST(InfoCli, StoredTextsCannotControlTheTerminalAndAnyDateIsShown) {
  clsParameters params = test::EncryptParameters(false);
  clsFileDesc desc;
  desc.m_strFileName = "evil\x1b]0;owned\x07\x1b[2J\xc2\x9b" "31m\\name";
  desc.m_nFileSize = 1;
  FileTimeToBytes(desc.m_varCreateTime, std::numeric_limits<std::int64_t>::min());
  FileTimeToBytes(desc.m_varModifyTime, std::numeric_limits<std::int64_t>::max());
  {
    test::FakeUiPort ui;
    clsArchive archive(ui);
    ASSERT_EQ(archive.OpenArchive(Path("e.sva"), 1), 0);
    ASSERT_EQ(archive.EncryptInit(params, desc), 0);
    const std::uint8_t one[1] = {'x'};
    ASSERT_EQ(archive.Encrypt(true, 1, one), 0);
    ASSERT_EQ(archive.EncryptDone(), 0);
  }
  const ProcessResult r = Cli({"info", Path("e.sva")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(r.out.find('\x07'), std::string::npos);
  EXPECT_NE(r.out.find("File:           evil\\x1B]0;owned\\x07\\x1B[2J\\xC2\\x9B31m\\\\name\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Created:        invalid (-9223372036854775808)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Modified:       30828-09-14T02:48:05.4775807Z\n"), std::string::npos) << r.out;

  // The closing line of a decrypt escapes the names it gives.
  const std::string named = Path("csi\xc2\x9b" "1m.sva");
  fs::copy_file(Path("e.sva"), named);
  const ProcessResult d =
      Cli({"decrypt", named, "-o", Path("plain.txt"), "--password-file", PasswordFile(), "--no-open-after"});
  ASSERT_EQ(d.exitCode, 0) << d.err;
  EXPECT_EQ(d.out.find("\xc2\x9b"), std::string::npos) << d.out;
  EXPECT_NE(d.out.find("csi\\xC2\\x9B1m.sva into "), std::string::npos) << d.out;
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(OutputCli, ARelativeOutputIsRelativeToTheCurrentFolder) {
  fs::create_directories(Path("sub"));
  test::WriteFileBytes(Path("sub/a.txt"), "relative");
  const auto in = [](const std::string& folder, std::vector<std::string> args) {
    args.insert(args.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder, SEALVANE_CLI});
    return test::RunProcess(args);
  };
  ProcessResult r = in(Path(""), {"encrypt", "sub/a.txt", "-o", "a.sva", "--password-file", PasswordFile()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("a.sva")));
  EXPECT_FALSE(fs::exists(Path("sub/a.sva")));
  r = in(Path("sub"), {"decrypt", "../a.sva", "-o", "out.txt", "--password-file", PasswordFile(), "--no-open-after"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("sub/out.txt")), "relative");
  EXPECT_FALSE(fs::exists(Path("out.txt")));
}

}  // namespace
}  // namespace sealvane
