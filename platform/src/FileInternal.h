// SPDX-License-Identifier: GPL-3.0-or-later
// What the file sources of the platform layer share: an owned descriptor,
// the bridge between File and its descriptor, and the status of an entry.
#pragma once

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "sealvane/platform/File.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform::detail {

// An owned descriptor, closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const noexcept { return m_fd; }
  bool Valid() const noexcept { return m_fd >= 0; }
  int Release() noexcept { return std::exchange(m_fd, -1); }
  void Reset() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd = -1;
};

struct FileHandleAccess {
  static File Adopt(int fd) noexcept { return File(fd); }
  static int Descriptor(const File& file) noexcept { return file.m_fd; }
};

// Calls `f` again while it fails with EINTR.
template <typename F>
auto RetryOnInterrupt(F&& f) {
  for (;;) {
    auto rc = f();
    if (rc >= 0 || errno != EINTR) return rc;
  }
}

FileStatus StatusFromStat(const struct stat& st) noexcept;

// The path through which the kernel reaches an open descriptor's file
// (/proc/self/fd/N): opening or changing it never follows a name again.
std::string DescriptorPath(int fd);

// True when descriptors can be reached through /proc/self/fd.
bool DescriptorPathsWork() noexcept;

// Splits a path into its folder ("." for a bare name, "/" at the root) and
// its last component.
std::pair<std::string, std::string> SplitFolder(const std::string& path);

// Opens a folder for *at calls and for flushing; O_PATH when it may be
// searched but not read. Throws RuntimeError.
UniqueFd OpenFolder(const std::string& folder);

// A failure to create a file in `folder`, as a sentence for the user ("The
// folder X does not exist", "... cannot be written to"); other failures as
// they are.
RuntimeError FolderError(std::int32_t number, const std::string& folder);

// Flushes a folder's entries to the device; errors are ignored (some file
// systems cannot flush a folder).
void SyncFolder(int dirfd) noexcept;

// Creates a file in an open folder that no name shows (O_TMPFILE), for
// reading and writing; -1 with errno when the file system cannot.
int CreateUnnamedIn(int dirfd, unsigned mode) noexcept;

// Creates "prefix" + hex digits + ".tmp" exclusively in an open folder;
// returns the descriptor and fills `name`. Throws RuntimeError.
int CreateNamedIn(int dirfd, const std::string& prefix, unsigned mode, std::string& name);

}  // namespace sealvane::platform::detail
