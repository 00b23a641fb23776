// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/FileInfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "sealvane/platform/File.h"
#include "sealvane/platform/RuntimeError.h"
#include "support/Sandbox.h"

namespace sealvane::platform {
namespace {

namespace fs = std::filesystem;
using test::SandboxDir;

bool UserXattrsWork(const std::string& path) {
  if (::setxattr(path.c_str(), "user.sealvane-probe", "1", 1, 0) != 0) return false;
  ::removexattr(path.c_str(), "user.sealvane-probe");
  return true;
}

TEST(FileInfo, FindFileEntryMatchesFilesNotFolders) {
  const std::string dir = SandboxDir() + "/find";
  fs::create_directories(dir + "/folder");
  test::WriteFileBytes(dir + "/report.doc", "x");
  test::WriteFileBytes(dir + "/.hidden", "x");
  fs::create_symlink(dir + "/nowhere", dir + "/dangling");
  fs::create_symlink(dir + "/folder", dir + "/folderlink");

  EXPECT_TRUE(FindFileEntry(dir + "/report.doc"));
  EXPECT_TRUE(FindFileEntry(dir + "/.hidden"));
  EXPECT_FALSE(FindFileEntry(dir + "/folder"));
  EXPECT_FALSE(FindFileEntry(dir + "/folderlink"));
  EXPECT_TRUE(FindFileEntry(dir + "/dangling"));
  EXPECT_FALSE(FindFileEntry(dir + "/missing"));
  EXPECT_FALSE(FindFileEntry(""));

  // Names are literal: * and ? match only themselves.
  EXPECT_FALSE(FindFileEntry(dir + "/*.doc"));
  EXPECT_FALSE(FindFileEntry(dir + "/report.?oc"));
  EXPECT_FALSE(FindFileEntry(dir + "/*"));
  test::WriteFileBytes(dir + "/*", "x");
  EXPECT_TRUE(FindFileEntry(dir + "/*"));
}

TEST(FileInfo, AttributesFromPermissionsDotsAndDosAttrib) {
  const std::string dir = SandboxDir() + "/attr";
  fs::create_directories(dir);
  const std::string plain = dir + "/plain.txt";
  const std::string dotted = dir + "/.dotted";
  test::WriteFileBytes(plain, "x");
  test::WriteFileBytes(dotted, "x");
  EXPECT_EQ(GetAttributes(plain), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetAttributes(dotted), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(GetAttributes(dir) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);

  EXPECT_TRUE(SetAttributes(plain, FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetAttributes(plain), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(SetAttributes(plain, FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetAttributes(plain), FILE_ATTRIBUTE_NORMAL);
  struct stat st {};
  ASSERT_EQ(::stat(plain.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);

  if (!UserXattrsWork(plain)) GTEST_SKIP() << "the file system keeps no user attributes";
  EXPECT_TRUE(SetAttributes(plain, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetAttributes(plain), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
  char text[16] = {};
  ASSERT_GT(::getxattr(plain.c_str(), "user.DOSATTRIB", text, sizeof(text) - 1), 0);
  EXPECT_STREQ(text, "0x6");
  EXPECT_TRUE(SetAttributes(plain, FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetAttributes(plain), FILE_ATTRIBUTE_NORMAL);

  EXPECT_THROW(GetAttributes(dir + "/missing"), RuntimeError);
}

TEST(FileInfo, TimesAreFileTimesAndLastWriteAndAccessCanBeSet) {
  EXPECT_EQ(UnixToFileTime(0, 0), 116444736000000000LL);
  EXPECT_EQ(UnixToFileTime(1, 150), 116444736010000001LL);

  const std::string path = SandboxDir() + "/times.txt";
  test::WriteFileBytes(path, "x");
  FileTimes set;
  set.lastWrite = UnixToFileTime(1'000'000'000, 123'456'700);  // 2001-09-09
  set.lastAccess = UnixToFileTime(900'000'000, 0);
  SetTimes(path, set);
  const FileTimes got = GetTimes(path);
  EXPECT_EQ(got.lastWrite, set.lastWrite);
  EXPECT_EQ(got.lastAccess, set.lastAccess);
  EXPECT_GE(got.creation, 0);

  // 0 leaves a time unchanged; times before 1970 survive the conversion.
  FileTimes early;
  early.lastWrite = UnixToFileTime(-86'400, 500);
  SetTimes(path, early);
  const FileTimes after = GetTimes(path);
  EXPECT_EQ(after.lastWrite, early.lastWrite);
  EXPECT_EQ(after.lastAccess, set.lastAccess);
}

TEST(FileInfo, FilesRefuseFoldersAndSpecialFilesAndReportPastEnd) {
  const std::string dir = SandboxDir() + "/files";
  fs::create_directories(dir);
  try {
    File::Open(dir, File::Access::Read);
    FAIL() << "a folder was opened as a file";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), rt::kPathFileAccess);
  }
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  EXPECT_THROW(File::Open(dir + "/fifo", File::Access::Read), RuntimeError);  // and does not block
  try {
    File::Open(dir + "/missing", File::Access::Read);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), rt::kFileNotFound);
  }
  test::WriteFileBytes(dir + "/short", "abc");
  File f = File::Open(dir + "/short", File::Access::Read);
  std::uint8_t buf[4];
  try {
    f.ReadAt(0, buf);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), rt::kInputPastEnd);
  }
}

TEST(RuntimeErrors, ErrnoMapsOntoTheRunTimeTable) {
  EXPECT_EQ(ErrnoToRuntimeNumber(ENOENT), 53);
  EXPECT_EQ(ErrnoToRuntimeNumber(ENOTDIR), 76);
  EXPECT_EQ(ErrnoToRuntimeNumber(EACCES), 70);
  EXPECT_EQ(ErrnoToRuntimeNumber(ENOSPC), 61);
  EXPECT_EQ(ErrnoToRuntimeNumber(EIO), 57);
  EXPECT_EQ(ErrnoToRuntimeNumber(ENAMETOOLONG), 52);
  EXPECT_EQ(RuntimeError(53).Description(), "File not found");
  EXPECT_EQ(RuntimeError(61).Description(), "Disk full");
  try {
    throw std::bad_alloc();
  } catch (...) {
    EXPECT_EQ(CurrentRuntimeError().Number(), 7);
  }
}

}  // namespace
}  // namespace sealvane::platform

namespace sealvane {
namespace {

TEST(SameFile, TakesTheDeviceAndTheInodeTogether) {
  platform::FileStatus a;
  a.kind = platform::FileKind::Regular;
  a.device = 2049;
  a.inode = 131;
  platform::FileStatus b = a;
  EXPECT_TRUE(a.SameFileAs(b));
  // The same inode number on another file system is another file.
  b.device = 2050;
  EXPECT_FALSE(a.SameFileAs(b));
  b = a;
  b.inode = 132;
  EXPECT_FALSE(a.SameFileAs(b));
  // Nothing is the same file as a missing one, not even another missing one.
  platform::FileStatus missing;
  EXPECT_FALSE(missing.SameFileAs(missing));
  b = a;
  b.kind = platform::FileKind::Missing;
  EXPECT_FALSE(a.SameFileAs(b));
}

}  // namespace
}  // namespace sealvane
