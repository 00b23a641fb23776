// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/TempFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {

std::string CreateTempFile(const std::string& folder, std::string_view prefix) {
  constexpr int kAttempts = 100;
  int lastError = EEXIST;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::uint32_t unique = 0;
    if (::getrandom(&unique, sizeof(unique), 0) != static_cast<ssize_t>(sizeof(unique))) {
      unique = static_cast<std::uint32_t>(::getpid()) * 2654435761u + static_cast<std::uint32_t>(attempt);
    }
    char hex[9];
    std::snprintf(hex, sizeof(hex), "%X", unique);
    std::string path = folder;
    if (path.empty() || path.back() != '/') path.push_back('/');
    path.append(prefix).append(hex).append(".tmp");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    lastError = errno;
    if (lastError != EEXIST && lastError != EINTR) break;
  }
  throw RuntimeErrorFromErrno(lastError);
}

}  // namespace sealvane::platform
