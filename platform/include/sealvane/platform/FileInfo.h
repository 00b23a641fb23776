// SPDX-License-Identifier: GPL-3.0-or-later
// File metadata in the forms the system uses: attributes as a bit set,
// times as 64-bit file times (100 ns units since 1601-01-01 UTC).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sealvane/platform/WinTypes.h"

namespace sealvane::platform {

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr std::int64_t kFileTimeUnixEpochSeconds = 11644473600LL;

std::int64_t UnixToFileTime(std::int64_t seconds, std::int64_t nanoseconds) noexcept;

struct FileTimes {
  std::int64_t creation = 0;  // 0 when the file system does not report it
  std::int64_t lastAccess = 0;
  std::int64_t lastWrite = 0;
};

// True when a directory entry that is not a folder matches `pattern`, hidden
// files included. The last path component may hold the wildcards * and ?.
// A symbolic link counts by what it names; a dangling one counts as a file.
bool FindFileEntry(const std::string& pattern);

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

}  // namespace sealvane::platform

namespace sealvane::platform {

// True when the entry itself is a symbolic link (it is never followed).
bool IsSymbolicLink(const std::string& path);
// Removes a directory entry (a link itself, not what it names); 0 or errno.
int DeleteEntry(const std::string& path);
// Gives a file the permissions a new file gets (0666 less the umask).
void ApplyDefaultPermissions(const std::string& path);

}  // namespace sealvane::platform
