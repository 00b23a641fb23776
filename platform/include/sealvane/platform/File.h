// SPDX-License-Identifier: GPL-3.0-or-later
// Open files for raw, unbuffered positioned transfers, and the file tasks
// that go with them. Every method that fails throws RuntimeError with the
// run-time number of the failure. Metadata is read and changed through the
// open descriptor, so what was checked is what is changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/Storage.h"

namespace sealvane::platform {

namespace detail {
struct FileHandleAccess;
}

class File {
 public:
  enum class Access { Read, Write, ReadWrite };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Read: the file must exist. Write: created when missing (with
  // `createMode` before the umask), never truncated. A final symbolic link
  // is followed; only regular files are accepted.
  static File Open(const std::string& path, Access access, unsigned createMode = 0666);

  bool IsOpen() const noexcept { return m_fd >= 0; }
  void Close() noexcept;

  std::int64_t Size() const;
  FileStatus Status() const;

  // One positioned read filling all of `data`; a read that reaches the end of
  // the file first throws "Input past end of file" (62).
  void ReadAt(std::int64_t pos, std::span<std::uint8_t> data) const;
  // Reads what there is, up to data.size() bytes; returns the count.
  std::size_t ReadSomeAt(std::int64_t pos, std::span<std::uint8_t> data) const;

  // One positioned write of all of `data`.
  void WriteAt(std::int64_t pos, std::span<const std::uint8_t> data) const;

  // Flushes the file's data to the device.
  void SyncData() const;
  // Starts writing `length` bytes from `offset` to the device without
  // waiting for them, so that a later SyncData has less to wait for. A hint:
  // what cannot be started is left to SyncData.
  void StartWriteback(std::int64_t offset, std::int64_t length) const noexcept;
  // Flushes data and metadata (size, times, permissions).
  void Sync() const;
  // Drops the file's clean cached pages, so that the next reads come from
  // the device. A hint.
  void DropCache() const noexcept;
  // The bytes this process may still write on the file's file system;
  // nothing when that cannot be told.
  std::optional<std::int64_t> FreeSpace() const noexcept;

  FileTimes Times() const;
  // Last-access and last-write times (0 leaves one as it is).
  void SetTimes(const FileTimes& times) const;
  // The attribute bits as GetAttributes gives them; `name` is the file's
  // name, whose leading dot makes it hidden.
  DWORD Attributes(std::string_view name) const;
  // As SetAttributes: read-only through the permissions, hidden and system
  // in user.DOSATTRIB; false when the extended attribute was refused.
  bool SetAttributes(DWORD attributes) const;
  // The permissions a new file gets: `mode` (0666 by default) less the
  // umask.
  void ApplyDefaultPermissions(unsigned mode = 0666) const;
  // Exactly these permission bits.
  void SetPermissions(unsigned mode) const;

  // Another descriptor for the same open file.
  File Duplicate() const;

 private:
  friend struct detail::FileHandleAccess;
  explicit File(int fd) noexcept : m_fd(fd) {}
  int m_fd = -1;
};

// A directory entry resolved once, without following a final symbolic link:
// what was checked about it is what is later opened, overwritten or removed,
// whatever is done to its name meanwhile.
class FileEntry {
 public:
  FileEntry(FileEntry&& other) noexcept;
  FileEntry& operator=(FileEntry&& other) noexcept;
  FileEntry(const FileEntry&) = delete;
  FileEntry& operator=(const FileEntry&) = delete;
  ~FileEntry();

  // Nothing when no entry is there. Throws RuntimeError when the path
  // cannot be examined (a folder on the way that may not be searched, say).
  static std::optional<FileEntry> Resolve(const std::string& path);
  // The entry `name` inside this folder entry, found through the folder
  // itself (never through its path, which may have changed meanwhile).
  std::optional<FileEntry> Child(const std::string& name) const;
  // The names in this folder entry, in byte order, without "." and "..".
  // Throws RuntimeError.
  std::vector<std::string> Names() const;

  const std::string& Path() const noexcept { return m_path; }
  const std::string& Folder() const noexcept { return m_folder; }
  // The entry itself: a symbolic link is a link.
  const FileStatus& Status() const noexcept { return m_status; }
  // What the entry names, a link followed (Missing when it dangles).
  FileStatus TargetStatus() const;

  // True when this user may remove the entry from its folder: write and
  // search permission on the folder and, in a sticky folder, ownership of
  // the entry or of the folder.
  bool CanRemove() const;

  // Opens the regular file for writing in place, through the entry, never
  // by its name; a missing write permission of the owner is given back
  // first. Throws RuntimeError (75 for anything but a regular file).
  File OpenForOverwrite() const;

  // Where the entry's bytes are kept (see Storage.h). Never throws.
  StorageFacts Storage() const;
  // The same for a file of the device that `sameDevice` was examined for:
  // only what belongs to this file is read (see ExamineFileFacts).
  StorageFacts StorageLike(const StorageFacts& sameDevice) const;

  // Removes the entry, provided its name still names what was resolved
  // (75 when it names something else now). Throws RuntimeError.
  void Remove() const;

 private:
  FileEntry() = default;
  friend class ReplacementFile;
  static std::optional<FileEntry> ResolveIn(int dirfd, const std::string& folder, const std::string& name,
                                            const std::string& path);
  // The regular file opened for reading through the entry, or -1.
  int OpenToExamine() const;

  int m_dirfd = -1;
  int m_fd = -1;  // O_PATH, the entry itself
  std::string m_path;
  std::string m_folder;
  std::string m_name;
  FileStatus m_status;
};

// Writes `data` as the whole content of `path` (created or truncated) and
// gives it `mode`. Throws RuntimeError.
void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> data, unsigned mode);

// Replaces `path` with a file holding `data` and `mode` so that either the
// old or the complete new content is there at every moment: written beside
// it, flushed, renamed over it, the folder flushed. Throws RuntimeError.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> data, unsigned mode);

// Creates an empty file that must not exist yet (58 when it does), never
// through a symbolic link. Throws RuntimeError.
void CreateExclusive(const std::string& path, unsigned mode);

// Reads a whole file of at most `maxBytes` bytes and hands it to `sink` in
// pieces; the reading buffer is wiped afterwards. 53 when it is missing, 9
// when it is larger. Throws RuntimeError.
void ReadSmallFile(const std::string& path, std::size_t maxBytes,
                   const std::function<void(std::span<const char>)>& sink);

// Removes a file's name (a symbolic link itself). Throws RuntimeError.
void RemoveFile(const std::string& path);

// A folder that only its owner may use: created with mode 0700 (with its
// missing parents) when absent, narrowed to the owner when others could use
// it, and refused (70) when it belongs to another user. The descriptions of
// its failures name the folder as `what` and its path. Throws RuntimeError.
void EnsurePrivateFolder(const std::string& path, const std::string& what = "the folder");

}  // namespace sealvane::platform
