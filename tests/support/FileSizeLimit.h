// SPDX-License-Identifier: GPL-3.0-or-later
// Writes to regular files are limited to a number of bytes while it lives:
// a write past the limit fails as on a full disk (SIGXFSZ ignored, so the
// write returns EFBIG).
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace sealvane::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit m_old {};
};

}  // namespace sealvane::test
