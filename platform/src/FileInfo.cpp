// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/FileInfo.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "FileInternal.h"
#include "sealvane/platform/File.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {
namespace {

constexpr std::int64_t kUnitsPerSecond = 10'000'000LL;

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file opened only to read or change its metadata: any kind of file,
// without reading or writing its content. A file that may not be read is
// reached through O_PATH, which shows its status but not its attributes.
File OpenForMetadata(const std::string& path) {
  int fd = detail::RetryOnInterrupt(
      [&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY); });
  if (fd < 0 && errno == EACCES) fd = detail::RetryOnInterrupt([&] { return ::open(path.c_str(), O_PATH | O_CLOEXEC); });
  if (fd < 0) throw RuntimeErrorFromErrno(errno);
  return detail::FileHandleAccess::Adopt(fd);
}

FileStatus Stat(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    // Nothing can be there: a name too long, or links that never end.
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) return FileStatus {};
    throw RuntimeErrorFromErrno(errno);
  }
  return detail::StatusFromStat(st);
}

}  // namespace

std::int64_t UnixToFileTime(std::int64_t seconds, std::int64_t nanoseconds) noexcept {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t units = 0;
  if (__builtin_add_overflow(seconds, kFileTimeUnixEpochSeconds, &units) ||
      __builtin_mul_overflow(units, kUnitsPerSecond, &units) ||
      __builtin_add_overflow(units, nanoseconds / 100, &units)) {
    return seconds < 0 ? kMin : kMax;
  }
  return units;
}

UnixTime FileTimeToUnix(std::int64_t fileTime) noexcept {
  // Divide first: subtracting the epoch in 100 ns units would overflow near
  // the 64-bit minimum.
  std::int64_t seconds = fileTime / kUnitsPerSecond;
  std::int64_t rest = fileTime % kUnitsPerSecond;
  if (rest < 0) {
    rest += kUnitsPerSecond;
    --seconds;
  }
  return UnixTime {seconds - kFileTimeUnixEpochSeconds, rest * 100};
}

FileStatus StatusOf(const std::string& path) { return Stat(path); }


bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  const FileStatus sa = StatusOf(a);
  const FileStatus sb = StatusOf(b);
  if (sa.kind != FileKind::Missing || sb.kind != FileKind::Missing) return sa.SameFileAs(sb);
  std::error_code ea, eb;
  const auto ca = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ea), ea);
  const auto cb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, eb), eb);
  return !ea && !eb && ca == cb;
}

bool FindFileEntry(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    if (::stat(path.c_str(), &st) != 0) return true;  // dangling link
  }
  return !S_ISDIR(st.st_mode);
}

std::int64_t FileLength(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw RuntimeErrorFromErrno(errno);
  return static_cast<std::int64_t>(st.st_size);
}

DWORD GetAttributes(const std::string& path) { return OpenForMetadata(path).Attributes(BaseName(path)); }

bool SetAttributes(const std::string& path, DWORD attributes) {
  return OpenForMetadata(path).SetAttributes(attributes);
}

FileTimes GetTimes(const std::string& path) { return OpenForMetadata(path).Times(); }

void SetTimes(const std::string& path, const FileTimes& times) { OpenForMetadata(path).SetTimes(times); }

unsigned CurrentUmask() {
  unsigned mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[128];
    while (std::fgets(line, sizeof(line), status) != nullptr) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = value;
        break;
      }
    }
    std::fclose(status);
  }
  return mask;
}

}  // namespace sealvane::platform
