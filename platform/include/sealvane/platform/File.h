// SPDX-License-Identifier: GPL-3.0-or-later
// An open file for raw, unbuffered positioned transfers. Every method that
// fails throws RuntimeError with the run-time number of the failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace sealvane::platform {

class File {
 public:
  enum class Access { Read, Write };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Read: the file must exist. Write: created when missing (with
  // `createMode` before the umask), never truncated.
  static File Open(const std::string& path, Access access, unsigned createMode = 0666);

  bool IsOpen() const noexcept { return m_fd >= 0; }
  void Close() noexcept;

  std::int64_t Size() const;

  // One positioned read filling all of `data`; a read that reaches the end of
  // the file first throws "Input past end of file" (62).
  void ReadAt(std::int64_t pos, std::span<std::uint8_t> data) const;

  // One positioned write of all of `data`.
  void WriteAt(std::int64_t pos, std::span<const std::uint8_t> data) const;

  // Flushes the file's data to the device.
  void SyncData() const;

 private:
  friend void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> data, unsigned mode);
  explicit File(int fd) noexcept : m_fd(fd) {}
  int m_fd = -1;
};

// Writes `data` as the whole content of `path` (created or truncated) and
// gives it `mode`. Throws RuntimeError.
void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> data, unsigned mode);

}  // namespace sealvane::platform
