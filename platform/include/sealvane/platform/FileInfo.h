// SPDX-License-Identifier: GPL-3.0-or-later
// File metadata in the forms the system uses: attributes as a bit set,
// times as 64-bit file times (100 ns units since 1601-01-01 UTC), and what a
// directory entry is.
#pragma once

#include <cstdint>
#include <string>

#include "sealvane/platform/WinTypes.h"

namespace sealvane::platform {

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr std::int64_t kFileTimeUnixEpochSeconds = 11644473600LL;

// Saturates instead of overflowing for times beyond the file-time range.
std::int64_t UnixToFileTime(std::int64_t seconds, std::int64_t nanoseconds) noexcept;

// A file time as Unix seconds and nanoseconds (0 to 999999900); defined for
// every 64-bit value.
struct UnixTime {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
};
UnixTime FileTimeToUnix(std::int64_t fileTime) noexcept;

struct FileTimes {
  std::int64_t creation = 0;  // 0 when the file system does not report it
  std::int64_t lastAccess = 0;
  std::int64_t lastWrite = 0;
};

enum class FileKind { Missing, Regular, Folder, Link, Other };

// What one directory entry (or the file a descriptor holds) is.
struct FileStatus {
  FileKind kind = FileKind::Missing;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::uint32_t permissions = 0;  // the mode's 07777 bits
  std::uint64_t links = 0;        // names the file has
  std::uint32_t owner = 0;

  bool SameFileAs(const FileStatus& other) const noexcept {
    return kind != FileKind::Missing && other.kind != FileKind::Missing && device == other.device &&
           inode == other.inode;
  }
};

// What `path` names, a final symbolic link followed (kind Missing when
// nothing is there, or the link dangles). Throws RuntimeError when the
// path cannot be examined for another reason.
FileStatus StatusOf(const std::string& path);

// True when both paths name the same file: by device and inode when both
// exist (hard links, "./", symbolic links to the file or its folders), by
// canonical path when neither exists yet. A path that exists and one that
// does not are different files.
bool SameFile(const std::string& a, const std::string& b);

// True when an entry that is not a folder is at `path`, hidden files
// included. Names are literal: "*" and "?" are ordinary characters. A
// symbolic link counts by what it names; a dangling one counts as a file.
bool FindFileEntry(const std::string& path);

// Length of the file in bytes; throws RuntimeError when it cannot be read.
std::int64_t FileLength(const std::string& path);

// FILE_ATTRIBUTE_* bits of a file: read-only when no write permission bit is
// set; hidden for a leading dot or the hidden bit of user.DOSATTRIB; system
// from that attribute; directory; NORMAL when nothing else is set.
// Throws RuntimeError when the file cannot be examined.
DWORD GetAttributes(const std::string& path);

// Applies read-only (clears or restores write permission) and writes
// hidden/system into user.DOSATTRIB. Returns false when the extended
// attribute could not be written; permission changes that fail throw.
bool SetAttributes(const std::string& path, DWORD attributes);

FileTimes GetTimes(const std::string& path);

// Sets last-access and last-write times (0 leaves a time as it is). The
// creation time cannot be set on Linux and is ignored.
void SetTimes(const std::string& path, const FileTimes& times);

// The process's file-creation mask, read without changing it.
unsigned CurrentUmask();

}  // namespace sealvane::platform
