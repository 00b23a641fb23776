// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileInternal.h"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>

#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform::detail {

FileStatus StatusFromStat(const struct stat& st) noexcept {
  FileStatus status;
  if (S_ISREG(st.st_mode)) {
    status.kind = FileKind::Regular;
  } else if (S_ISDIR(st.st_mode)) {
    status.kind = FileKind::Folder;
  } else if (S_ISLNK(st.st_mode)) {
    status.kind = FileKind::Link;
  } else {
    status.kind = FileKind::Other;
  }
  status.device = static_cast<std::uint64_t>(st.st_dev);
  status.inode = static_cast<std::uint64_t>(st.st_ino);
  status.size = static_cast<std::int64_t>(st.st_size);
  status.permissions = static_cast<std::uint32_t>(st.st_mode & 07777);
  status.links = static_cast<std::uint64_t>(st.st_nlink);
  status.owner = static_cast<std::uint32_t>(st.st_uid);
  return status;
}

std::string DescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

bool DescriptorPathsWork() noexcept {
  static const bool works = ::access("/proc/self/fd", X_OK) == 0;
  return works;
}

std::pair<std::string, std::string> SplitFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  if (slash == 0) return {"/", path.substr(1)};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

RuntimeError FolderError(std::int32_t number, const std::string& folder) {
  switch (number) {
    case rt::kFileNotFound:
    case rt::kPathNotFound: return RuntimeError(rt::kPathNotFound, "The folder " + folder + " does not exist");
    case rt::kPermissionDenied:
    case rt::kPathFileAccess: return RuntimeError(number, "The folder " + folder + " cannot be written to");
    default: return RuntimeError(number);
  }
}

UniqueFd OpenFolder(const std::string& folder) {
  int fd = RetryOnInterrupt([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0 && errno == EACCES) {
    // A folder that may be searched but not listed still takes new files.
    fd = RetryOnInterrupt([&] { return ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); });
  }
  if (fd < 0) throw RuntimeErrorFromErrno(errno);
  return UniqueFd(fd);
}

void SyncFolder(int dirfd) noexcept { ::fsync(dirfd); }

int CreateUnnamedIn(int dirfd, unsigned mode) noexcept {
  return RetryOnInterrupt(
      [&] { return ::openat(dirfd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, static_cast<mode_t>(mode)); });
}

int CreateNamedIn(int dirfd, const std::string& prefix, unsigned mode, std::string& name) {
  constexpr int kAttempts = 100;
  int lastError = EEXIST;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::uint32_t unique = 0;
    if (::getrandom(&unique, sizeof(unique), 0) != static_cast<ssize_t>(sizeof(unique))) {
      unique = static_cast<std::uint32_t>(::getpid()) * 2654435761u + static_cast<std::uint32_t>(attempt);
    }
    char hex[9];
    std::snprintf(hex, sizeof(hex), "%X", unique);
    std::string candidate = prefix + hex + ".tmp";
    const int fd = RetryOnInterrupt([&] {
      return ::openat(dirfd, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      static_cast<mode_t>(mode));
    });
    if (fd >= 0) {
      name = std::move(candidate);
      return fd;
    }
    lastError = errno;
    if (lastError != EEXIST) break;
  }
  throw RuntimeErrorFromErrno(lastError);
}

}  // namespace sealvane::platform::detail
