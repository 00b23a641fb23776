// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {

File::~File() { Close(); }

File::File(File&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

File File::Open(const std::string& path, Access access, unsigned createMode) {
  if (path.empty()) throw RuntimeError(rt::kBadFileName);
  // O_NONBLOCK keeps a FIFO from blocking the open; it changes nothing for
  // regular files, the only kind accepted.
  const int flags = access == Access::Read ? (O_RDONLY | O_CLOEXEC | O_NONBLOCK)
                                           : (O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK);
  int fd;
  do {
    fd = ::open(path.c_str(), flags, static_cast<mode_t>(createMode));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw RuntimeErrorFromErrno(errno);
  File file(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw RuntimeErrorFromErrno(errno);
  // Devices, FIFOs and sockets are never read or overwritten as files.
  if (!S_ISREG(st.st_mode)) throw RuntimeError(rt::kPathFileAccess);
  return file;
}

void File::Close() noexcept {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

std::int64_t File::Size() const {
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) throw RuntimeErrorFromErrno(errno);
  return static_cast<std::int64_t>(st.st_size);
}

void File::ReadAt(std::int64_t pos, std::span<std::uint8_t> data) const {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pread(m_fd, data.data() + done, data.size() - done,
                              static_cast<off_t>(pos + static_cast<std::int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw RuntimeErrorFromErrno(errno);
    }
    if (n == 0) throw RuntimeError(rt::kInputPastEnd);
    done += static_cast<std::size_t>(n);
  }
}

void File::WriteAt(std::int64_t pos, std::span<const std::uint8_t> data) const {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(m_fd, data.data() + done, data.size() - done,
                               static_cast<off_t>(pos + static_cast<std::int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw RuntimeErrorFromErrno(errno);
    }
    if (n == 0) throw RuntimeError(rt::kDiskFull);
    done += static_cast<std::size_t>(n);
  }
}

void File::SyncData() const {
  if (::fdatasync(m_fd) != 0 && errno != EINVAL) throw RuntimeErrorFromErrno(errno);
}

void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> data, unsigned mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, static_cast<mode_t>(mode));
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw RuntimeErrorFromErrno(errno);
  File file(fd);
  // An existing file keeps its permissions on open: narrow them first.
  if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) throw RuntimeErrorFromErrno(errno);
  file.WriteAt(0, data);
}

}  // namespace sealvane::platform
