// SPDX-License-Identifier: GPL-3.0-or-later
// Raw binary access to one file, opened for reading only (mode 0) or writing
// only (mode 1; other modes open for writing but allow no transfer). One
// current position is shared by reads and writes. Every call is one system
// call, unbuffered. Nothing throws: each operation returns 0, -1 (refused:
// no file open or wrong mode) or a run-time error number.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sealvane/platform/File.h"

namespace sealvane {

class clsBinaryFile {
 public:
  clsBinaryFile() = default;
  ~clsBinaryFile() { CloseFile(); }
  clsBinaryFile(const clsBinaryFile&) = delete;
  clsBinaryFile& operator=(const clsBinaryFile&) = delete;

  // Opening for writing creates a missing file (with `i_nCreateMode` before
  // the umask) and never truncates.
  std::int32_t OpenFile(const std::string& i_strPath, std::int32_t i_eMode, unsigned i_nCreateMode = 0666);
  // Takes a file the caller has already opened (read and write allowed as
  // `i_eMode` says); `i_strPath` is what Path() then reports. Always 0.
  std::int32_t AttachFile(platform::File i_oFile, std::int32_t i_eMode, const std::string& i_strPath = {});
  std::int32_t CloseFile() noexcept;

  // Length of the open file; 0 when none is open. 64 bits wide so that a
  // file of 2 GiB or more is seen as such and never as a wrapped length.
  std::int64_t FileSize() const noexcept;

  std::int32_t WriteData(std::span<const std::uint8_t> i_achData, std::int32_t i_nPos);
  std::int32_t WriteSeqData(std::span<const std::uint8_t> i_achData);
  // A read that reaches the end of the file returns 62 (input past end).
  std::int32_t ReadData(std::span<std::uint8_t> o_achData, std::int32_t i_nPos);
  std::int32_t ReadSeqData(std::span<std::uint8_t> o_achData);

  const std::string& Path() const noexcept { return m_strPath; }
  // The current position, shared by reads and writes.
  std::int64_t Position() const noexcept { return m_nPosition; }
  std::int32_t Mode() const noexcept { return m_eMode; }
  // Flushes written data to the device (before a wiped file is deleted).
  std::int32_t Flush();

 private:
  std::int32_t Write(std::span<const std::uint8_t> data, std::int64_t pos);
  std::int32_t Read(std::span<std::uint8_t> data, std::int64_t pos);

  platform::File m_file;
  std::string m_strPath;
  std::int32_t m_eMode = 0;
  std::int64_t m_nPosition = 0;
};

inline constexpr std::int32_t kModeRead = 0;
inline constexpr std::int32_t kModeWrite = 1;

// Raises a non-zero status of the class as a run-time failure: -1 (nothing
// open) as "Bad file name or number", a positive status as itself.
void RaiseFileStatus(std::int32_t status);

}  // namespace sealvane
