// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/FileInfo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {
namespace {

constexpr const char* kDosAttrib = "user.DOSATTRIB";

struct DirCloser {
  void operator()(DIR* d) const noexcept { ::closedir(d); }
};

// True when the entry at `path` exists and is not a folder.
bool IsFileEntry(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    if (::stat(path.c_str(), &st) != 0) return true;  // dangling link
  }
  return !S_ISDIR(st.st_mode);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The DOS attribute bits kept in user.DOSATTRIB as text "0x%x"; 0 when absent
// or unreadable.
DWORD ReadDosAttrib(const std::string& path) {
  char buf[64] = {};
  const ssize_t n = ::getxattr(path.c_str(), kDosAttrib, buf, sizeof(buf) - 1);
  if (n <= 0) return 0;
  buf[n] = '\0';
  char* end = nullptr;
  const unsigned long v = std::strtoul(buf, &end, 0);
  if (end == buf) return 0;
  return static_cast<DWORD>(v);
}

}  // namespace

std::int64_t UnixToFileTime(std::int64_t seconds, std::int64_t nanoseconds) noexcept {
  return (seconds + kFileTimeUnixEpochSeconds) * 10'000'000LL + nanoseconds / 100;
}

bool FindFileEntry(const std::string& pattern) {
  if (pattern.empty()) return false;
  const std::size_t slash = pattern.rfind('/');
  const std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (name.find_first_of("*?") == std::string::npos) return IsFileEntry(pattern);

  const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0                ? std::string("/")
                                                         : pattern.substr(0, slash);
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string entryName = entry->d_name;
    if (entryName == "." || entryName == "..") continue;
    // Only * and ? are wildcards: escape what fnmatch would also treat so.
    std::string glob;
    for (const char c : name) {
      if (c == '[' || c == ']' || c == '\\') glob.push_back('\\');
      glob.push_back(c);
    }
    if (::fnmatch(glob.c_str(), entryName.c_str(), 0) == 0 &&
        IsFileEntry(folder + "/" + entryName)) {
      return true;
    }
  }
  return false;
}

std::int64_t FileLength(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw RuntimeErrorFromErrno(errno);
  return static_cast<std::int64_t>(st.st_size);
}

DWORD GetAttributes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw RuntimeErrorFromErrno(errno);
  DWORD attrs = 0;
  if (S_ISDIR(st.st_mode)) attrs |= FILE_ATTRIBUTE_DIRECTORY;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attrs |= FILE_ATTRIBUTE_READONLY;
  const std::string base = BaseName(path);
  if (!base.empty() && base.front() == '.' && base != "." && base != "..") {
    attrs |= FILE_ATTRIBUTE_HIDDEN;
  }
  attrs |= ReadDosAttrib(path) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE);
  if (attrs == 0) attrs = FILE_ATTRIBUTE_NORMAL;
  return attrs;
}

bool SetAttributes(const std::string& path, DWORD attributes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw RuntimeErrorFromErrno(errno);
  mode_t mode = st.st_mode & 07777;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  } else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    mode |= S_IWUSR;
  }
  if (mode != (st.st_mode & 07777) && ::chmod(path.c_str(), mode) != 0) {
    throw RuntimeErrorFromErrno(errno);
  }

  const DWORD dos = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (dos == 0) {
    if (::removexattr(path.c_str(), kDosAttrib) != 0 && errno != ENODATA) {
      return errno == ENOTSUP;
    }
    return true;
  }
  char text[16];
  const int len = std::snprintf(text, sizeof(text), "0x%x", static_cast<unsigned>(dos));
  return ::setxattr(path.c_str(), kDosAttrib, text, static_cast<std::size_t>(len), 0) == 0;
}

FileTimes GetTimes(const std::string& path) {
  FileTimes times;
  struct statx stx {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &stx) != 0) {
    throw RuntimeErrorFromErrno(errno);
  }
  if ((stx.stx_mask & STATX_BTIME) != 0) {
    times.creation = UnixToFileTime(stx.stx_btime.tv_sec, stx.stx_btime.tv_nsec);
  }
  times.lastAccess = UnixToFileTime(stx.stx_atime.tv_sec, stx.stx_atime.tv_nsec);
  times.lastWrite = UnixToFileTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
  return times;
}

void SetTimes(const std::string& path, const FileTimes& times) {
  const auto toTimespec = [](std::int64_t fileTime) {
    timespec ts {};
    if (fileTime == 0) {
      ts.tv_nsec = UTIME_OMIT;
      return ts;
    }
    const std::int64_t units = fileTime - kFileTimeUnixEpochSeconds * 10'000'000LL;
    std::int64_t sec = units / 10'000'000LL;
    std::int64_t rem = units % 10'000'000LL;
    if (rem < 0) {
      rem += 10'000'000LL;
      --sec;
    }
    ts.tv_sec = static_cast<time_t>(sec);
    ts.tv_nsec = static_cast<long>(rem * 100);
    return ts;
  };
  const timespec ts[2] = {toTimespec(times.lastAccess), toTimespec(times.lastWrite)};
  if (::utimensat(AT_FDCWD, path.c_str(), ts, 0) != 0) throw RuntimeErrorFromErrno(errno);
}

}  // namespace sealvane::platform

namespace sealvane::platform {

bool IsSymbolicLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int DeleteEntry(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

void ApplyDefaultPermissions(const std::string& path) {
  // The umask, read without changing it.
  mode_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[128];
    while (std::fgets(line, sizeof(line), status) != nullptr) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    }
    std::fclose(status);
  }
  if (::chmod(path.c_str(), 0666 & ~mask) != 0) throw RuntimeErrorFromErrno(errno);
}

}  // namespace sealvane::platform
