// SPDX-License-Identifier: GPL-3.0-or-later
// sealvane-cli encrypt, decrypt, shred and info, as a user runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/Process.h"
#include "support/Sandbox.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using test::ProcessResult;
using test::SandboxDir;

ProcessResult Cli(std::vector<std::string> args, const std::string& input = {}) {
  args.insert(args.begin(), SEALVANE_CLI);
  return test::RunProcess(args, input);
}

std::string Path(const char* name) { return SandboxDir() + "/" + name; }

std::string PasswordFile(const char* password) {
  test::WriteFileBytes(Path("pw.txt"), std::string(password) + "\n");
  return Path("pw.txt");
}

std::string Data(std::size_t size) {
  std::string s;
  for (std::size_t i = 0; i < size; ++i) s.push_back(static_cast<char>((i * 7919 + i / 13) & 0xFF));
  return s;
}

TEST(JobsCli, PasswordRoundTripNextToTheArchive) {
  test::WriteFileBytes(Path("notes.txt"), Data(70000));
  ProcessResult r = Cli({"encrypt", Path("notes.txt"), "--password-file", PasswordFile("Correct Horse 9"), "--cipher",
                         "4", "--no-open-after"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("notes.sva")));

  r = Cli({"info", Path("notes.sva"), "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"provider_level\": 3, \"cipher\": 4, \"compressed\": true, \"open_after\": false"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"name\": \"notes.txt\""), std::string::npos);
  EXPECT_NE(r.out.find("\"size\": 70000"), std::string::npos);

  fs::rename(Path("notes.txt"), Path("original.txt"));
  r = Cli({"decrypt", Path("notes.sva"), "--password-stdin"}, "Correct Horse 9\n");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("notes.txt")), test::ReadFileBytes(Path("original.txt")));
}

TEST(JobsCli, RefusalsUseTheProgramsOwnMessages) {
  test::WriteFileBytes(Path("a.txt"), "abc");
  ProcessResult r = Cli({"encrypt", Path("a.txt"), "--password-file", PasswordFile("1234567")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Warning! A password must be at least 8 characters long."), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("a.sva")));
  r = Cli({"encrypt", Path("a.txt")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("There is no default digital ID."), std::string::npos) << r.err;
  r = Cli({"encrypt", Path("missing.txt"), "--password-file", PasswordFile("long enough")});
  EXPECT_NE(r.err.find("The file does not exist.  Please specify an existing file."), std::string::npos);
  test::WriteFileBytes(Path("junk.sva"), "not an archive at all");
  r = Cli({"decrypt", Path("junk.sva")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Failed to open encrypted file - invalid format."), std::string::npos) << r.err;
  EXPECT_EQ(Cli({"encrypt"}).exitCode, 2);
  EXPECT_EQ(Cli({"encrypt", Path("a.txt"), "--cipher", "9"}).exitCode, 2);
}

TEST(JobsCli, WrongPasswordLeavesNoFile) {
  test::WriteFileBytes(Path("b.txt"), Data(9000));
  ASSERT_EQ(Cli({"encrypt", Path("b.txt"), "--password-file", PasswordFile("Correct Horse 9")}).exitCode, 0);
  const ProcessResult r = Cli({"decrypt", Path("b.sva"), "-o", Path("b2.txt"), "--password-file", PasswordFile("Correct Horse 8")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("The password is incorrect."), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("b2.txt")));
}

TEST(JobsCli, DigitalIdsForTheUserAndARecipient) {
  ASSERT_EQ(Cli({"certs", "genid", "--name", "Me", "--email", "me@example.org"}).exitCode, 0);
  ASSERT_EQ(Cli({"certs", "import", std::string(SEALVANE_FIXTURES) + "/sva/certs/recipient2.der"}).exitCode, 0);
  test::WriteFileBytes(Path("c.txt"), Data(5000));
  ProcessResult r = Cli({"encrypt", Path("c.txt"), "--recipient", "ADED47BC7BE97758C522CCFC2DD702BDA5CC9C67",
                         "--cipher", "5", "--no-compress"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = Cli({"info", Path("c.sva")});
  EXPECT_NE(r.out.find("Access:         digital IDs\n  Me <me@example.org>"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Recipient Two  ADED47BC7BE97758C522CCFC2DD702BDA5CC9C67"), std::string::npos) << r.out;
  r = Cli({"decrypt", Path("c.sva"), "-o", Path("c2.txt")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadFileBytes(Path("c2.txt")), Data(5000));

  // Someone else's profile is not in the access list.
  ::setenv("SEALVANE_HOME", Path("other").c_str(), 1);
  r = Cli({"decrypt", Path("c.sva"), "-o", Path("c3.txt")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Your digital ID is not in the access list.\nThis file cannot be decrypted."), std::string::npos)
      << r.err;
}

TEST(JobsCli, StoredNamesCannotEscapeTheArchivesFolder) {
  fs::copy_file(std::string(SEALVANE_FIXTURES) + "/sva/hostile/hostile_name_dotdot.sva", Path("h.sva"));
  const ProcessResult r = Cli({"decrypt", Path("h.sva"), "--password-file", PasswordFile("Correct Horse 9")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("escape.txt")));
  EXPECT_FALSE(fs::exists(fs::path(SandboxDir()).parent_path().parent_path() / "escape.txt"));
}

TEST(JobsCli, ShredAsksUnlessTold) {
  test::WriteFileBytes(Path("s.txt"), Data(100));
  ProcessResult r = Cli({"shred", Path("s.txt")}, "n\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Secure Delete? Are you sure you want to delete the file"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(Path("s.txt")));
  r = Cli({"shred", Path("s.txt")}, "y\n");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(Path("s.txt")));
}

TEST(JobsCli, CtrlCCancelsAndCleansUp) {
  // A file large enough that the job is still running when Ctrl-C comes.
  test::WriteFileBytes(Path("big.bin"), Data(64u << 20));
  const int pid = test::StartProcess({SEALVANE_CLI, "encrypt", Path("big.bin"), "--password-file",
                                      PasswordFile("Correct Horse 9"), "--no-compress"});
  // The new archive, which no name shows yet, grows once the job runs, with
  // Ctrl-C already caught.
  if (!test::WaitForUnnamedFile(pid, 1 << 20)) {
    test::WaitProcess(pid);
    GTEST_SKIP() << "the job never started writing";
  }
  ::kill(pid, SIGINT);
  const int exitCode = test::WaitProcess(pid);
  if (exitCode == 0) GTEST_SKIP() << "the job finished before the interrupt";
  EXPECT_EQ(exitCode, 130) << "as a shell reports Ctrl-C";
  EXPECT_FALSE(fs::exists(Path("big.sva"))) << "a cancelled archive is wiped";
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("tmp")), {}), 0);
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

// Runs the CLI with writes limited to `kilobytes` per file: a write past the
// limit fails as on a full disk (SIGXFSZ ignored, so the write returns EFBIG).
ProcessResult CliWithFileLimit(int kilobytes, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/bin/sh", "-c", "ulimit -f " + std::to_string(kilobytes) + "; trap '' XFSZ; exec \"$@\"",
                                   "sh", SEALVANE_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  return test::RunProcess(argv);
}

TEST(JobsCliFailures, FullDiskWhileEncryptingLeavesNoArchive) {
  test::WriteFileBytes(Path("d.bin"), Data(300000));
  // The legacy format's message, and the modern format's.
  for (const auto& [cipher, message] : {std::pair<std::string, std::string> {"5", "Failed to encrypt.\nDisk full."},
                                        {"6", "Failed to encrypt file.\nDisk full."}}) {
    SCOPED_TRACE(cipher);
    const ProcessResult r = CliWithFileLimit(64, {"encrypt", Path("d.bin"), "--password-file",
                                                  PasswordFile("Correct Horse 9"), "--no-compress", "--cipher", cipher});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(message + " Error Number: 61"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Path("d.sva")));
    EXPECT_EQ(test::ReadFileBytes(Path("d.bin")), Data(300000));
  }
}

TEST(JobsCliFailures, FullDiskWhileCompressingOrDecryptingLeavesNothingBehind) {
  test::WriteFileBytes(Path("e.bin"), Data(300000));
  ProcessResult r =
      CliWithFileLimit(64, {"encrypt", Path("e.bin"), "--password-file", PasswordFile("Correct Horse 9"), "--compress",
                            "--cipher", "5"});
  EXPECT_EQ(r.exitCode, 1);
  // Compressed while it is encrypted: the archive is what fills the disk.
  EXPECT_NE(r.err.find("Failed to encrypt.\nDisk full. Error Number: 61"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("e.sva")));
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("tmp")), {}), 0) << "nothing in the temporary folder";

  ASSERT_EQ(Cli({"encrypt", Path("e.bin"), "--password-file", PasswordFile("Correct Horse 9"), "--no-compress"}).exitCode, 0);
  r = CliWithFileLimit(64, {"decrypt", Path("e.sva"), "-o", Path("e2.bin"), "--password-file", PasswordFile("Correct Horse 9")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Failed to decrypt file.\nDisk full. Error Number: 61"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("e2.bin"))) << "a partial plain file is wiped";
}

TEST(JobsCliFailures, ReadOnlyDestinationFolder) {
  // Run as an unprivileged user: root would write into the folder anyway.
  fs::permissions(SandboxDir(), fs::perms(0755));
  const std::string profile = Path("profile");
  fs::create_directories(profile);
  fs::create_directories(Path("locked"));
  fs::create_directories(Path("tmp2"));
  test::WriteFileBytes(Path("locked/f.txt"), Data(1000));
  test::GiveToUnprivilegedUser(profile);
  for (const std::string& dir : {profile, Path("tmp2")}) fs::permissions(dir, fs::perms(0777));
  fs::permissions(Path("locked"), fs::perms(0555));
  ::setenv("SEALVANE_HOME", profile.c_str(), 1);
  ::setenv("TMPDIR", Path("tmp2").c_str(), 1);
  fs::permissions(PasswordFile("Correct Horse 9"), fs::perms(0644));
  std::vector<std::string> argv = test::UnprivilegedPrefix();
  argv.insert(argv.end(), {test::UnprivilegedProgram(SEALVANE_CLI), "encrypt", Path("locked/f.txt"), "--password-file", Path("pw.txt")});
  const ProcessResult r = test::RunProcess(argv);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Failed to open encrypted file.\nThe folder " + Path("locked") + " cannot be written to."),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(Path("locked/f.sva")));
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("tmp2")), {}), 0);
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(JobsCliFailures, AFileThatCannotBeReplacedIsLeftAloneAndReported) {
  // The existing target is writable but its folder is not: it cannot be
  // removed, so it must not be written over either.
  test::WriteFileBytes(Path("src.txt"), Data(100));
  ASSERT_EQ(Cli({"encrypt", Path("src.txt"), "--password-file", PasswordFile("Correct Horse 9")}).exitCode, 0);
  fs::permissions(SandboxDir(), fs::perms(0755));
  const std::string profile = Path("profile");
  const std::string locked = Path("locked");
  fs::create_directories(profile);
  fs::create_directories(locked);
  test::GiveToUnprivilegedUser(profile);
  fs::permissions(profile, fs::perms(0777));
  test::WriteFileBytes(locked + "/existing.txt", Data(50000));
  fs::permissions(locked + "/existing.txt", fs::perms(0666));
  fs::permissions(locked, fs::perms(0555));
  for (const char* f : {"src.sva", "pw.txt"}) fs::permissions(Path(f), fs::perms(0644));
  ::setenv("SEALVANE_HOME", profile.c_str(), 1);
  std::vector<std::string> argv = test::UnprivilegedPrefix();
  argv.insert(argv.end(), {test::UnprivilegedProgram(SEALVANE_CLI), "decrypt", Path("src.sva"), "-o",
                           locked + "/existing.txt", "--password-file", Path("pw.txt"), "--yes"});
  const ProcessResult r = test::RunProcess(argv);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Failed to open file.\nThe folder " + locked + " cannot be written to."), std::string::npos)
      << r.err;
  EXPECT_EQ(test::ReadFileBytes(locked + "/existing.txt"), Data(50000)) << "untouched, byte for byte";
  fs::permissions(locked, fs::perms(0755));
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(Binding, TheProgramStartsWithoutTheCompressionLibrary) {
  // zlib is loaded when a job first compresses, never at start-up.
  const test::ProcessResult r = test::RunProcess({"ldd", SEALVANE_CLI});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.find("libz.so"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(JobsCli, AnUnreadableFileIsNamedWithTheReason) {
  // Run as an unprivileged user: root would read the file anyway.
  fs::permissions(SandboxDir(), fs::perms(0755));
  const std::string profile = Path("profile");
  fs::create_directories(profile);
  fs::create_directories(Path("out"));
  test::GiveToUnprivilegedUser(profile);
  for (const std::string& dir : {profile, Path("out")}) fs::permissions(dir, fs::perms(0777));
  ::setenv("SEALVANE_HOME", profile.c_str(), 1);
  ::setenv("TMPDIR", Path("out").c_str(), 1);
  test::WriteFileBytes(Path("secret.txt"), "nobody may read this");
  fs::permissions(Path("secret.txt"), fs::perms::none);
  fs::permissions(PasswordFile("Correct Horse 9"), fs::perms(0644));
  std::vector<std::string> argv = test::UnprivilegedPrefix();
  argv.insert(argv.end(), {test::UnprivilegedProgram(SEALVANE_CLI), "encrypt", Path("secret.txt"), "-o",
                           Path("out/secret.sva"), "--password-file", Path("pw.txt")});
  const ProcessResult r = test::RunProcess(argv);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Failed to open file.\nThe file " + Path("secret.txt") + " cannot be read: "), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("ermission denied."), std::string::npos) << r.err;
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

// Several inputs: each done on its own with the same settings.
TEST(ManyFilesCli, ThreeFilesEachWayWithTheResultsInAFolder) {
  const std::vector<std::string> names = {"a.txt", "b with space.doc", "\xc3\xa9t\xc3\xa9.txt"};
  for (std::size_t i = 0; i < names.size(); ++i) test::WriteFileBytes(Path(names[i].c_str()), Data(1000 + i * 5000));
  std::vector<std::string> args = {"encrypt"};
  for (const auto& name : names) args.push_back(Path(name.c_str()));
  for (const char* extra : {"-o", "sealed", "--password-file", "", "--json"}) args.push_back(extra);
  args[args.size() - 2] = PasswordFile("Correct Horse 9");
  // -o is relative to the current folder.
  args[args.size() - 4] = Path("sealed");
  ProcessResult r = Cli(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << "one record per file: " << r.out;
  std::vector<std::string> archives;
  for (const auto& name : names) {
    const std::string archive = Path("sealed/") + name.substr(0, name.rfind('.')) + ".sva";
    EXPECT_TRUE(fs::exists(archive)) << archive;
    archives.push_back(archive);
  }
  args = {"decrypt"};
  args.insert(args.end(), archives.begin(), archives.end());
  for (const std::string& extra : {std::string("-o"), Path("opened"), std::string("--password-file"), Path("pw.txt"),
                                   std::string("--no-open-after")}) {
    args.push_back(extra);
  }
  r = Cli(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(test::ReadFileBytes(Path("opened/") + names[i]), Data(1000 + i * 5000)) << names[i];
  }
  // Shredded together; -o has no use there.
  EXPECT_EQ(Cli({"shred", archives[0], archives[1], "-o", Path("x"), "--yes"}).exitCode, 2);
  r = Cli({"shred", archives[0], archives[1], "--yes"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(archives[0]));
  EXPECT_FALSE(fs::exists(archives[1]));
}

TEST(ManyFilesCli, AFolderAndAFileEachIntoItsArchiveAndBack) {
  fs::create_directories(Path("Project 2024/src/empty"));
  test::WriteFileBytes(Path("Project 2024/src/main.c"), Data(7000));
  test::WriteFileBytes(Path("Project 2024/read me"), Data(100));
  fs::create_symlink("src/main.c", Path("Project 2024/main"));
  test::WriteFileBytes(Path("loose.txt"), Data(300));
  ProcessResult r = Cli({"encrypt", Path("Project 2024/"), Path("loose.txt"), "-o", Path("sealed"), "--password-file",
                         PasswordFile("Correct Horse 9"), "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(Path("sealed/Project 2024.sva"))) << r.out;
  EXPECT_TRUE(fs::exists(Path("sealed/loose.sva"))) << r.out;
  r = Cli({"decrypt", Path("sealed/Project 2024.sva"), Path("sealed/loose.sva"), "-o", Path("back"), "--password-file",
           Path("pw.txt"), "--no-open-after", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"file\": \"" + Path("back/Project 2024") + "\", \"size\": 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"folder\": true"), std::string::npos) << r.out;
  EXPECT_EQ(test::ReadFileBytes(Path("back/Project 2024/src/main.c")), Data(7000));
  EXPECT_EQ(test::ReadFileBytes(Path("back/Project 2024/read me")), Data(100));
  EXPECT_TRUE(fs::is_directory(Path("back/Project 2024/src/empty")));
  EXPECT_EQ(fs::read_symlink(Path("back/Project 2024/main")), "src/main.c");
  EXPECT_EQ(test::ReadFileBytes(Path("back/loose.txt")), Data(300));
}

TEST(ManyFilesCli, CtrlCInTheThirdOfFiveKeepsTheFirstTwoAndBeginsNoOther) {
  const std::vector<std::string> names = {"f1.txt", "f2.txt", "f3.bin", "f4.txt", "f5.txt"};
  for (const auto& name : names) test::WriteFileBytes(Path(name.c_str()), Data(name == "f3.bin" ? (64u << 20) : 2000));
  std::vector<std::string> argv = {SEALVANE_CLI, "encrypt"};
  for (const auto& name : names) argv.push_back(Path(name.c_str()));
  for (const std::string& extra : {std::string("--password-file"), PasswordFile("Correct Horse 9"), std::string("--no-compress")}) {
    argv.push_back(extra);
  }
  const int pid = test::StartProcess(argv);
  // The third archive, still unnamed, grows: the first two are done by then.
  if (!test::WaitForUnnamedFile(pid, 1 << 20)) {
    test::WaitProcess(pid);
    GTEST_SKIP() << "the third job never started writing";
  }
  ::kill(pid, SIGINT);
  const int exitCode = test::WaitProcess(pid);
  if (exitCode == 0) GTEST_SKIP() << "the jobs finished before the interrupt";
  EXPECT_EQ(exitCode, 130);
  EXPECT_TRUE(fs::exists(Path("f1.sva")));
  EXPECT_TRUE(fs::exists(Path("f2.sva")));
  for (const char* name : {"f3.sva", "f4.sva", "f5.sva"}) EXPECT_FALSE(fs::exists(Path(name))) << name;
  for (const auto& name : names) EXPECT_TRUE(fs::exists(Path(name.c_str()))) << "the originals stay: " << name;
}

TEST(ManyFilesCli, OneUnreadableFileAmongThreeIsNamedAndTheOthersAreDone) {
  // As an unprivileged user: root reads any file.
  fs::permissions(SandboxDir(), fs::perms(0755));
  const std::string profile = Path("profile");
  fs::create_directories(profile);
  fs::create_directories(Path("in"));
  for (const char* name : {"in/one.txt", "in/two.txt", "in/three.txt"}) test::WriteFileBytes(Path(name), Data(3000));
  test::GiveToUnprivilegedUser(profile);
  fs::permissions(profile, fs::perms(0777));
  fs::permissions(Path("in"), fs::perms(0777));
  for (const char* name : {"in/one.txt", "in/three.txt"}) fs::permissions(Path(name), fs::perms(0644));
  fs::permissions(Path("in/two.txt"), fs::perms(0200));  // not readable
  ::setenv("SEALVANE_HOME", profile.c_str(), 1);
  fs::permissions(PasswordFile("Correct Horse 9"), fs::perms(0644));
  std::vector<std::string> argv = test::UnprivilegedPrefix();
  argv.insert(argv.end(), {test::UnprivilegedProgram(SEALVANE_CLI), "encrypt", Path("in/one.txt"), Path("in/two.txt"),
                           Path("in/three.txt"), "--password-file", Path("pw.txt"), "--json"});
  const ProcessResult r = test::RunProcess(argv);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("sealvane-cli: 1 of 3 failed: " + Path("in/two.txt") + "\n"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("{\"file\": \"" + Path("in/two.txt") + "\", \"failed\": true}"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(Path("in/one.sva")));
  EXPECT_TRUE(fs::exists(Path("in/three.sva")));
  EXPECT_FALSE(fs::exists(Path("in/two.sva")));
}

}  // namespace
}  // namespace sealvane
