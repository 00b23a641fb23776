// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/File.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <algorithm>
#include <utility>

#include "FileInternal.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {

using detail::DescriptorPath;
using detail::RetryOnInterrupt;
using detail::UniqueFd;

namespace {

constexpr const char* kDosAttrib = "user.DOSATTRIB";

[[noreturn]] void ThrowErrno(int err) { throw RuntimeErrorFromErrno(err); }

struct stat FdStat(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) ThrowErrno(errno);
  return st;
}

timespec ToTimespec(std::int64_t fileTime) {
  timespec ts {};
  if (fileTime == 0) {
    ts.tv_nsec = UTIME_OMIT;
    return ts;
  }
  const UnixTime unix = FileTimeToUnix(fileTime);
  ts.tv_sec = static_cast<time_t>(unix.seconds);
  ts.tv_nsec = static_cast<long>(unix.nanoseconds);
  return ts;
}

// The hidden and system bits kept in user.DOSATTRIB as text "0x%x"; 0 when
// absent or unreadable.
DWORD ParseDosAttrib(const char* text, ssize_t length) {
  if (length <= 0) return 0;
  char buf[64] = {};
  std::memcpy(buf, text, static_cast<std::size_t>(std::min<ssize_t>(length, sizeof(buf) - 1)));
  char* end = nullptr;
  const unsigned long v = std::strtoul(buf, &end, 0);
  if (end == buf) return 0;
  return static_cast<DWORD>(v);
}

// mkdir -p with the given mode for each folder it creates; 0 or an errno.
int MakeFolders(const std::string& path, mode_t mode) {
  if (path.empty()) return ENOENT;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    const std::size_t next = path.find('/', pos + 1);
    const std::string partial = path.substr(0, next);
    pos = next;
    if (partial.empty() || partial == "/") continue;
    if (::mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

}  // namespace

// --- File --------------------------------------------------------------------

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
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  switch (access) {
    case Access::Read: flags |= O_RDONLY; break;
    case Access::Write: flags |= O_WRONLY | O_CREAT; break;
    case Access::ReadWrite: flags |= O_RDWR | O_CREAT; break;
  }
  const int fd = RetryOnInterrupt([&] { return ::open(path.c_str(), flags, static_cast<mode_t>(createMode)); });
  if (fd < 0) ThrowErrno(errno);
  File file(fd);
  // Devices, FIFOs and sockets are never read or overwritten as files.
  if (!S_ISREG(FdStat(fd).st_mode)) throw RuntimeError(rt::kPathFileAccess);
  return file;
}

void File::Close() noexcept {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

std::int64_t File::Size() const { return static_cast<std::int64_t>(FdStat(m_fd).st_size); }

FileStatus File::Status() const { return detail::StatusFromStat(FdStat(m_fd)); }

void File::ReadAt(std::int64_t pos, std::span<std::uint8_t> data) const {
  if (ReadSomeAt(pos, data) != data.size()) throw RuntimeError(rt::kInputPastEnd);
}

std::size_t File::ReadSomeAt(std::int64_t pos, std::span<std::uint8_t> data) const {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pread(m_fd, data.data() + done, data.size() - done,
                              static_cast<off_t>(pos + static_cast<std::int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void File::WriteAt(std::int64_t pos, std::span<const std::uint8_t> data) const {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(m_fd, data.data() + done, data.size() - done,
                               static_cast<off_t>(pos + static_cast<std::int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno);
    }
    if (n == 0) throw RuntimeError(rt::kDiskFull);
    done += static_cast<std::size_t>(n);
  }
}

void File::SyncData() const {
  if (::fdatasync(m_fd) != 0 && errno != EINVAL) ThrowErrno(errno);
}

std::optional<std::int64_t> File::FreeSpace() const noexcept {
  struct statvfs fs {};
  if (m_fd < 0 || ::fstatvfs(m_fd, &fs) != 0) return std::nullopt;
  // Root may also use the blocks reserved for it.
  const auto blocks = ::geteuid() == 0 ? fs.f_bfree : fs.f_bavail;
  return static_cast<std::int64_t>(blocks) * static_cast<std::int64_t>(fs.f_frsize);
}

void File::StartWriteback(std::int64_t offset, std::int64_t length) const noexcept {
  if (m_fd >= 0 && length > 0) ::sync_file_range(m_fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

void File::DropCache() const noexcept {
  if (m_fd >= 0) ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_DONTNEED);
}

void File::Sync() const {
  if (::fsync(m_fd) != 0 && errno != EINVAL) ThrowErrno(errno);
}

FileTimes File::Times() const {
  FileTimes times;
  struct statx stx {};
  if (::statx(m_fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &stx) != 0) ThrowErrno(errno);
  if ((stx.stx_mask & STATX_BTIME) != 0) {
    times.creation = UnixToFileTime(stx.stx_btime.tv_sec, stx.stx_btime.tv_nsec);
  }
  times.lastAccess = UnixToFileTime(stx.stx_atime.tv_sec, stx.stx_atime.tv_nsec);
  times.lastWrite = UnixToFileTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
  return times;
}

void File::SetTimes(const FileTimes& times) const {
  const timespec ts[2] = {ToTimespec(times.lastAccess), ToTimespec(times.lastWrite)};
  if (::futimens(m_fd, ts) != 0) ThrowErrno(errno);
}

DWORD File::Attributes(std::string_view name) const {
  const struct stat st = FdStat(m_fd);
  DWORD attrs = 0;
  if (S_ISDIR(st.st_mode)) attrs |= FILE_ATTRIBUTE_DIRECTORY;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attrs |= FILE_ATTRIBUTE_READONLY;
  if (!name.empty() && name.front() == '.' && name != "." && name != "..") attrs |= FILE_ATTRIBUTE_HIDDEN;
  char text[64];
  const ssize_t n = ::fgetxattr(m_fd, kDosAttrib, text, sizeof(text));
  attrs |= ParseDosAttrib(text, n) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  if (attrs == 0) attrs = FILE_ATTRIBUTE_NORMAL;
  return attrs;
}

bool File::SetAttributes(DWORD attributes) const {
  const struct stat st = FdStat(m_fd);
  mode_t mode = st.st_mode & 07777;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  } else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    mode |= S_IWUSR;
  }
  if (mode != (st.st_mode & 07777) && ::fchmod(m_fd, mode) != 0) ThrowErrno(errno);

  const DWORD dos = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (dos == 0) {
    if (::fremovexattr(m_fd, kDosAttrib) != 0 && errno != ENODATA) return errno == ENOTSUP;
    return true;
  }
  char text[16];
  const int len = std::snprintf(text, sizeof(text), "0x%x", static_cast<unsigned>(dos));
  return ::fsetxattr(m_fd, kDosAttrib, text, static_cast<std::size_t>(len), 0) == 0;
}

void File::ApplyDefaultPermissions(unsigned mode) const { SetPermissions(mode & 07777 & ~CurrentUmask()); }

void File::SetPermissions(unsigned mode) const {
  if (::fchmod(m_fd, static_cast<mode_t>(mode & 07777)) != 0) ThrowErrno(errno);
}

File File::Duplicate() const {
  const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) ThrowErrno(errno);
  return File(fd);
}

// --- FileEntry -----------------------------------------------------------------

FileEntry::FileEntry(FileEntry&& other) noexcept
    : m_dirfd(std::exchange(other.m_dirfd, -1)),
      m_fd(std::exchange(other.m_fd, -1)),
      m_path(std::move(other.m_path)),
      m_folder(std::move(other.m_folder)),
      m_name(std::move(other.m_name)),
      m_status(other.m_status) {}

FileEntry& FileEntry::operator=(FileEntry&& other) noexcept {
  if (this != &other) {
    std::swap(m_dirfd, other.m_dirfd);
    std::swap(m_fd, other.m_fd);
    std::swap(m_path, other.m_path);
    std::swap(m_folder, other.m_folder);
    std::swap(m_name, other.m_name);
    std::swap(m_status, other.m_status);
  }
  return *this;
}

FileEntry::~FileEntry() {
  if (m_fd >= 0) ::close(m_fd);
  if (m_dirfd >= 0) ::close(m_dirfd);
  m_fd = m_dirfd = -1;
}

std::optional<FileEntry> FileEntry::Resolve(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const auto parts = detail::SplitFolder(trimmed);
  const std::string& folder = parts.first;
  const std::string& name = parts.second;
  const int dirfd =
      RetryOnInterrupt([&] { return ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); });
  if (dirfd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    ThrowErrno(errno);
  }
  UniqueFd dir(dirfd);
  auto entry = ResolveIn(dir.Get(), folder, name, path);
  if (entry) dir.Release();
  return entry;
}

std::optional<FileEntry> FileEntry::ResolveIn(int dirfd, const std::string& folder, const std::string& name,
                                              const std::string& path) {
  const int fd = RetryOnInterrupt([&] { return ::openat(dirfd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); });
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    ThrowErrno(errno);
  }
  UniqueFd own(fd);
  FileEntry entry;
  entry.m_status = detail::StatusFromStat(FdStat(fd));
  entry.m_fd = own.Release();
  entry.m_dirfd = dirfd;
  entry.m_path = path;
  entry.m_folder = folder;
  entry.m_name = name;
  return entry;
}

std::optional<FileEntry> FileEntry::Child(const std::string& name) const {
  if (m_status.kind != FileKind::Folder) throw RuntimeError(rt::kPathFileAccess);
  const int dirfd = RetryOnInterrupt([&] { return ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0); });
  if (dirfd < 0) ThrowErrno(errno);
  UniqueFd dir(dirfd);
  auto entry = ResolveIn(dir.Get(), m_path, name, m_path + (m_path.ends_with('/') ? "" : "/") + name);
  if (entry) dir.Release();
  return entry;
}

std::vector<std::string> FileEntry::Names() const {
  if (m_status.kind != FileKind::Folder) throw RuntimeError(rt::kPathFileAccess);
  const int fd = RetryOnInterrupt([&] { return ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) ThrowErrno(errno);
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    const int error = errno;
    ::close(fd);
    ThrowErrno(error);
  }
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* d = ::readdir(dir)) {
    const std::string_view name(d->d_name);
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  const int error = errno;
  ::closedir(dir);
  if (error != 0) ThrowErrno(error);
  std::sort(names.begin(), names.end());
  return names;
}

FileStatus FileEntry::TargetStatus() const {
  if (m_status.kind != FileKind::Link) return m_status;
  struct stat st {};
  if (::fstatat(m_dirfd, m_name.c_str(), &st, 0) != 0) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return FileStatus {};
    ThrowErrno(errno);
  }
  return detail::StatusFromStat(st);
}

bool FileEntry::CanRemove() const {
  if (::faccessat(m_dirfd, ".", W_OK | X_OK, AT_EACCESS) != 0) return false;
  const struct stat dir = FdStat(m_dirfd);
  if ((dir.st_mode & S_ISVTX) != 0) {
    const uid_t me = ::geteuid();
    if (me != 0 && me != m_status.owner && me != dir.st_uid) return false;
  }
  return true;
}

File FileEntry::OpenForOverwrite() const {
  if (m_status.kind != FileKind::Regular) throw RuntimeError(rt::kPathFileAccess);
  const bool viaProc = detail::DescriptorPathsWork();
  if ((m_status.permissions & S_IWUSR) == 0) {
    const auto mode = static_cast<mode_t>(m_status.permissions | S_IWUSR);
    // A failure shows when the file is opened for writing below.
    if (viaProc) {
      [[maybe_unused]] const int rc = ::chmod(DescriptorPath(m_fd).c_str(), mode);
    } else {
      struct stat now {};
      if (::fstatat(m_dirfd, m_name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
          detail::StatusFromStat(now).SameFileAs(m_status) && S_ISREG(now.st_mode)) {
        [[maybe_unused]] const int rc = ::fchmodat(m_dirfd, m_name.c_str(), mode, 0);
      }
    }
  }
  const int flags = O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  const int fd = viaProc ? RetryOnInterrupt([&] { return ::open(DescriptorPath(m_fd).c_str(), flags); })
                         : RetryOnInterrupt([&] { return ::openat(m_dirfd, m_name.c_str(), flags | O_NOFOLLOW); });
  if (fd < 0) ThrowErrno(errno);
  File file = detail::FileHandleAccess::Adopt(fd);
  const FileStatus opened = file.Status();
  if (!opened.SameFileAs(m_status) || opened.kind != FileKind::Regular) throw RuntimeError(rt::kPathFileAccess);
  return file;
}

int FileEntry::OpenToExamine() const {
  if (m_status.kind != FileKind::Regular) return -1;
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd = detail::DescriptorPathsWork() ? ::open(DescriptorPath(m_fd).c_str(), flags)
                                         : ::openat(m_dirfd, m_name.c_str(), flags | O_NOFOLLOW);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !detail::StatusFromStat(st).SameFileAs(m_status))) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

StorageFacts FileEntry::Storage() const {
  // The extent map needs an open file; without read permission the entry's
  // own descriptor still tells the file system and the device.
  const int fd = OpenToExamine();
  StorageFacts facts = ExamineStorage(fd >= 0 ? fd : m_fd, m_path);
  if (fd >= 0) ::close(fd);
  return facts;
}

StorageFacts FileEntry::StorageLike(const StorageFacts& sameDevice) const {
  StorageFacts facts = sameDevice;
  const int fd = OpenToExamine();
  ExamineFileFacts(fd >= 0 ? fd : m_fd, facts);
  if (fd >= 0) ::close(fd);
  return facts;
}

void FileEntry::Remove() const {
  struct stat now {};
  if (::fstatat(m_dirfd, m_name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) ThrowErrno(errno);
  if (!detail::StatusFromStat(now).SameFileAs(m_status)) throw RuntimeError(rt::kPathFileAccess);
  const int flags = m_status.kind == FileKind::Folder ? AT_REMOVEDIR : 0;
  if (::unlinkat(m_dirfd, m_name.c_str(), flags) != 0) ThrowErrno(errno);
}

// --- file tasks ------------------------------------------------------------------

void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> data, unsigned mode) {
  const int fd = RetryOnInterrupt(
      [&] { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, static_cast<mode_t>(mode)); });
  if (fd < 0) ThrowErrno(errno);
  File file = detail::FileHandleAccess::Adopt(fd);
  // An existing file keeps its permissions on open: narrow them first.
  if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) ThrowErrno(errno);
  file.WriteAt(0, data);
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> data, unsigned mode) {
  const auto [folder, name] = detail::SplitFolder(path);
  UniqueFd dir = detail::OpenFolder(folder);
  std::string temp;
  File file = detail::FileHandleAccess::Adopt(detail::CreateNamedIn(dir.Get(), "." + name + ".", mode, temp));
  try {
    if (::fchmod(detail::FileHandleAccess::Descriptor(file), static_cast<mode_t>(mode)) != 0) ThrowErrno(errno);
    file.WriteAt(0, data);
    file.Sync();
    file.Close();
    if (::renameat(dir.Get(), temp.c_str(), dir.Get(), name.c_str()) != 0) ThrowErrno(errno);
  } catch (...) {
    ::unlinkat(dir.Get(), temp.c_str(), 0);
    throw;
  }
  detail::SyncFolder(dir.Get());
}

void CreateExclusive(const std::string& path, unsigned mode) {
  const int fd = RetryOnInterrupt([&] {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, static_cast<mode_t>(mode));
  });
  if (fd < 0) ThrowErrno(errno);
  ::close(fd);
}

void ReadSmallFile(const std::string& path, std::size_t maxBytes,
                   const std::function<void(std::span<const char>)>& sink) {
  const int fd = RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
  if (fd < 0) ThrowErrno(errno);
  UniqueFd own(fd);
  if (!S_ISREG(FdStat(fd).st_mode)) throw RuntimeError(rt::kPathFileAccess);
  std::array<char, 4096> buffer {};
  struct Wipe {
    std::array<char, 4096>& b;
    ~Wipe() { ::explicit_bzero(b.data(), b.size()); }
  } wipe {buffer};
  std::size_t total = 0;
  for (;;) {
    const ssize_t n = RetryOnInterrupt([&] { return ::read(fd, buffer.data(), buffer.size()); });
    if (n < 0) ThrowErrno(errno);
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
    if (total > maxBytes) throw RuntimeError(rt::kSubscriptOutOfRange);
    sink(std::span<const char>(buffer.data(), static_cast<std::size_t>(n)));
  }
}

void RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) ThrowErrno(errno);
}

void EnsurePrivateFolder(const std::string& path, const std::string& what) {
  const auto fail = [&](int err) -> RuntimeError {
    return RuntimeError(ErrnoToRuntimeNumber(err), "Cannot create " + what + " \"" + path + "\": " + std::strerror(err));
  };
  if (const int err = MakeFolders(path, 0700); err != 0) throw fail(err);
  const int fd = RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) throw fail(errno);
  UniqueFd own(fd);
  const struct stat st = FdStat(fd);
  if (st.st_uid != ::geteuid()) {
    throw RuntimeError(rt::kPermissionDenied, "Cannot use " + what + " \"" + path + "\": it belongs to another user");
  }
  // Group and others lose every permission; the owner keeps what it had.
  if ((st.st_mode & 077) != 0 && ::fchmod(fd, st.st_mode & 0700) != 0) ThrowErrno(errno);
}

}  // namespace sealvane::platform
