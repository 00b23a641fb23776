// SPDX-License-Identifier: GPL-3.0-or-later
// Files that are replaced only when complete, scratch files that no name
// shows, entries resolved once, and "the same file" by identity.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "sealvane/platform/Environment.h"
#include "sealvane/platform/File.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/ReplacementFile.h"
#include "sealvane/platform/RuntimeError.h"
#include "support/Process.h"
#include "support/Sandbox.h"

namespace sealvane::platform {
namespace {

namespace fs = std::filesystem;
using test::SandboxDir;

std::string Dir() {
  const std::string dir = SandboxDir() + "/d";
  fs::create_directories(dir);
  return dir;
}

void Write(File& file, const std::string& text) {
  file.WriteAt(0, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string ReadFd(int fd, std::size_t size) {
  std::string text(size, '\0');
  EXPECT_EQ(::pread(fd, text.data(), size, 0), static_cast<ssize_t>(size));
  return text;
}

TEST(ReplacementFile, NewFileAppearsOnlyWhenPublished) {
  const std::string dir = Dir();
  ReplacementFile file = ReplacementFile::Create(dir + "/new.txt");
  Write(file.Data(), "complete");
  EXPECT_TRUE(test::FolderEntries(dir).empty()) << "nothing shows while the file is written";
  file.Publish(false, nullptr);
  EXPECT_TRUE(file.Published());
  EXPECT_EQ(test::FolderEntries(dir), std::vector<std::string> {"new.txt"});
  EXPECT_EQ(test::ReadFileBytes(dir + "/new.txt"), "complete");
  EXPECT_EQ(fs::status(dir + "/new.txt").permissions() & fs::perms::all, fs::perms(0600));

  ReplacementFile dropped = ReplacementFile::Create(dir + "/dropped.txt");
  Write(dropped.Data(), "never");
  dropped.Discard();
  EXPECT_EQ(test::FolderEntries(dir), std::vector<std::string> {"new.txt"});
}

TEST(ReplacementFile, OldFileIsOverwrittenThenReplaced) {
  const std::string dir = Dir();
  test::WriteFileBytes(dir + "/t.txt", "old content");
  const int before = ::open((dir + "/t.txt").c_str(), O_RDONLY);  // sees the old file's blocks
  ASSERT_GE(before, 0);
  ReplacementFile file = ReplacementFile::Create(dir + "/t.txt");
  Write(file.Data(), "new");
  EXPECT_EQ(test::ReadFileBytes(dir + "/t.txt"), "old content");
  bool overwritten = false;
  file.Publish(true, [&](File& old) {
    EXPECT_EQ(old.Size(), 11);
    Write(old, "XXXXXXXXXXX");
    overwritten = true;
  });
  EXPECT_TRUE(overwritten);
  EXPECT_EQ(test::ReadFileBytes(dir + "/t.txt"), "new");
  EXPECT_EQ(ReadFd(before, 11), "XXXXXXXXXXX") << "the old data was overwritten, not merely unlinked";
  ::close(before);
  EXPECT_EQ(test::FolderEntries(dir), std::vector<std::string> {"t.txt"});
}

TEST(ReplacementFile, WhatAppearedMeanwhileIsNeverReplacedUnasked) {
  const std::string dir = Dir();
  ReplacementFile file = ReplacementFile::Create(dir + "/t.txt");
  Write(file.Data(), "new");
  test::WriteFileBytes(dir + "/t.txt", "someone else's");
  try {
    file.Publish(false, nullptr);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), rt::kFileExists);
  }
  EXPECT_FALSE(file.Published());
  file.Discard();
  EXPECT_EQ(test::ReadFileBytes(dir + "/t.txt"), "someone else's");
  EXPECT_EQ(test::FolderEntries(dir), std::vector<std::string> {"t.txt"});
}

TEST(ReplacementFile, LinksAndSharedFilesAreReplacedButNeverWrittenThrough) {
  const std::string dir = Dir();
  test::WriteFileBytes(SandboxDir() + "/outside.txt", "outside");
  fs::create_symlink(SandboxDir() + "/outside.txt", dir + "/link.txt");
  test::WriteFileBytes(dir + "/shared.txt", "shared");
  fs::create_hard_link(dir + "/shared.txt", dir + "/other-name.txt");
  for (const char* target : {"/link.txt", "/shared.txt"}) {
    ReplacementFile file = ReplacementFile::Create(dir + target);
    Write(file.Data(), "new");
    file.Publish(true, [](File&) { ADD_FAILURE() << "written through a link or a shared file"; });
    EXPECT_EQ(test::ReadFileBytes(dir + target), "new");
  }
  EXPECT_FALSE(fs::is_symlink(dir + "/link.txt"));
  EXPECT_EQ(test::ReadFileBytes(SandboxDir() + "/outside.txt"), "outside");
  EXPECT_EQ(test::ReadFileBytes(dir + "/other-name.txt"), "shared");
}

TEST(ReplacementFile, FoldersThatCannotTakeTheFileAreNamedInTheFailure) {
  const auto failure = [](const std::string& path) {
    try {
      ReplacementFile::Create(path);
    } catch (const RuntimeError& e) {
      return std::to_string(e.Number()) + " " + e.Description();
    }
    return std::string("created");
  };
  const std::string dir = Dir();
  EXPECT_EQ(failure(dir + "/none/x"), "76 The folder " + dir + "/none does not exist");
  EXPECT_EQ(failure(dir), "75 " + dir + " is a folder");
  EXPECT_EQ(failure(dir + "/"), "75 " + dir + "/ is a folder");
  EXPECT_EQ(failure(dir + "/" + std::string(300, 'n')), "52 The name " + std::string(300, 'n') + " is too long for its folder");
  test::WriteFileBytes(dir + "/file", "x");
  EXPECT_EQ(failure(dir + "/file/x").substr(0, 2), "76");
}

TEST(SameFile, DecidedByIdentityNotByText) {
  const std::string dir = Dir();
  test::WriteFileBytes(dir + "/g.bin", "g");
  fs::create_hard_link(dir + "/g.bin", dir + "/h.bin");
  fs::create_directory_symlink(dir, SandboxDir() + "/linked");
  EXPECT_TRUE(SameFile(dir + "/g.bin", dir + "/./g.bin"));
  EXPECT_TRUE(SameFile(dir + "/g.bin", dir + "/h.bin"));
  EXPECT_TRUE(SameFile(dir + "/g.bin", SandboxDir() + "/linked/g.bin"));
  EXPECT_TRUE(SameFile(dir + "/new.sva", SandboxDir() + "/linked/../d/new.sva")) << "neither exists: canonical paths";
  EXPECT_FALSE(SameFile(dir + "/g.bin", dir + "/new.sva"));
  EXPECT_FALSE(SameFile(dir + "/a.sva", dir + "/b.sva"));
  EXPECT_FALSE(SameFile("", ""));
}

TEST(FileEntry, WhatWasResolvedIsWhatIsOverwrittenAndRemoved) {
  const std::string dir = Dir();
  test::WriteFileBytes(dir + "/f.txt", "checked");
  test::WriteFileBytes(SandboxDir() + "/victim.txt", "victim");
  auto entry = FileEntry::Resolve(dir + "/f.txt");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->Status().kind, FileKind::Regular);
  // The name is swapped for a link to another file after the check.
  fs::rename(dir + "/f.txt", dir + "/moved.txt");
  fs::create_symlink(SandboxDir() + "/victim.txt", dir + "/f.txt");
  File file = entry->OpenForOverwrite();
  Write(file, "XXXXXXX");
  EXPECT_EQ(test::ReadFileBytes(dir + "/moved.txt"), "XXXXXXX");
  EXPECT_EQ(test::ReadFileBytes(SandboxDir() + "/victim.txt"), "victim");
  try {
    entry->Remove();
    FAIL() << "removed what the name names now";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), rt::kPathFileAccess);
  }
  EXPECT_TRUE(fs::is_symlink(dir + "/f.txt"));

  EXPECT_FALSE(FileEntry::Resolve(dir + "/missing"));
  EXPECT_FALSE(FileEntry::Resolve(dir + "/file/under/nothing"));
  auto link = FileEntry::Resolve(dir + "/f.txt");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->Status().kind, FileKind::Link);
  EXPECT_EQ(link->TargetStatus().kind, FileKind::Regular);
  EXPECT_THROW(link->OpenForOverwrite(), RuntimeError);
  link->Remove();
  EXPECT_EQ(test::ReadFileBytes(SandboxDir() + "/victim.txt"), "victim");
}

TEST(FileEntry, ReadOnlyFilesAreOpenedForOverwriteAsTheirOwner) {
  const std::string dir = Dir();
  test::WriteFileBytes(dir + "/ro.txt", "read only");
  fs::permissions(dir + "/ro.txt", fs::perms(0444));
  auto entry = FileEntry::Resolve(dir + "/ro.txt");
  ASSERT_TRUE(entry);
  EXPECT_TRUE(entry->CanRemove());
  File file = entry->OpenForOverwrite();
  EXPECT_NE(file.Status().permissions & 0200, 0u) << "write permission given back";
}

TEST(FileTimes, EveryStoredTimeConvertsWithoutOverflow) {
  for (const std::int64_t t : {std::numeric_limits<std::int64_t>::min(), std::int64_t {-1}, std::int64_t {0},
                               std::int64_t {116444736000000000LL}, std::numeric_limits<std::int64_t>::max()}) {
    const UnixTime unix = FileTimeToUnix(t);
    EXPECT_GE(unix.nanoseconds, 0);
    EXPECT_LT(unix.nanoseconds, 1'000'000'000);
  }
  EXPECT_EQ(FileTimeToUnix(116444736000000000LL).seconds, 0);
  EXPECT_EQ(FileTimeToUnix(-1).nanoseconds, 999'999'900);
  EXPECT_EQ(UnixToFileTime(std::numeric_limits<std::int64_t>::max(), 0), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(UnixToFileTime(std::numeric_limits<std::int64_t>::min(), 0), std::numeric_limits<std::int64_t>::min());
  // Set on a file, extreme times never crash; the file system clamps them.
  const std::string path = Dir() + "/t";
  test::WriteFileBytes(path, "x");
  File file = File::Open(path, File::Access::Write);
  for (const std::int64_t t : {std::numeric_limits<std::int64_t>::min() + 1, std::numeric_limits<std::int64_t>::max()}) {
    try {
      file.SetTimes(FileTimes {0, t, t});
    } catch (const RuntimeError&) {
    }
  }
}

TEST(PrivateFolder, OthersLoseAccessAndAnotherUsersFolderIsRefused) {
  const std::string dir = SandboxDir() + "/private/keys";
  EnsurePrivateFolder(dir);
  EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms(0700));
  fs::permissions(dir, fs::perms(0777));
  EnsurePrivateFolder(dir);
  EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms(0700));
  fs::permissions(dir, fs::perms(0555));
  EnsurePrivateFolder(dir);
  EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms(0500)) << "the owner keeps what it had";

  if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another user needs root";
  const std::string theirs = SandboxDir() + "/theirs";
  fs::create_directories(theirs);
  test::GiveToUnprivilegedUser(theirs);
  ::setenv("SEALVANE_HOME", theirs.c_str(), 1);
  try {
    SealvaneHome();
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), rt::kPermissionDenied);
    EXPECT_EQ(e.Description(), "Cannot use the Sealvane data folder \"" + theirs + "\": it belongs to another user");
  }
}

TEST(SmallFiles, AtomicWritesExclusiveCreationAndBoundedReads) {
  const std::string path = Dir() + "/key";
  const std::string secret = "secret key";
  const auto bytes = std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(secret.data()), secret.size());
  WriteFileAtomically(path, bytes, 0600);
  WriteFileAtomically(path, bytes.first(6), 0600);
  EXPECT_EQ(test::ReadFileBytes(path), "secret");
  EXPECT_EQ(test::FolderEntries(Dir()), std::vector<std::string> {"key"});
  std::string read;
  ReadSmallFile(path, 6, [&](std::span<const char> chunk) { read.append(chunk.data(), chunk.size()); });
  EXPECT_EQ(read, "secret");
  try {
    ReadSmallFile(path, 5, [](std::span<const char>) {});
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), rt::kSubscriptOutOfRange);
  }
  try {
    CreateExclusive(path, 0600);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), rt::kFileExists);
  }
  RemoveFile(path);
  try {
    RemoveFile(path);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), rt::kFileNotFound);
  }
}

}  // namespace
}  // namespace sealvane::platform
