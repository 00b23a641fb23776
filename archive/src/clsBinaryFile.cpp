// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/clsBinaryFile.h"

#include <algorithm>
#include <limits>

#include "sealvane/archive/Status.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::RuntimeError;
namespace rt = platform::rt;

namespace {

// Every byte moved must lie at an offset whose value plus one fits in a
// signed 32-bit integer.
std::int32_t CheckRange(std::int64_t pos, std::size_t length) {
  if (pos < 0) return rt::kBadRecordNumber;
  const auto span = static_cast<std::int64_t>(std::max<std::size_t>(length, 1));
  if (pos + span > std::numeric_limits<std::int32_t>::max()) return rt::kOverflow;
  return 0;
}

}  // namespace

void RaiseFileStatus(std::int32_t status) {
  if (status == kRefused) throw RuntimeError(rt::kBadFileName);
  if (status != 0) throw RuntimeError(status);
}

std::int32_t clsBinaryFile::OpenFile(const std::string& i_strPath, std::int32_t i_eMode, unsigned i_nCreateMode) {
  CloseFile();
  m_strPath = i_strPath;
  m_eMode = i_eMode;
  m_nPosition = 0;
  try {
    const auto access = i_eMode == kModeRead ? platform::File::Access::Read : platform::File::Access::Write;
    m_file = platform::File::Open(i_strPath, access, i_nCreateMode);
    return 0;
  } catch (const RuntimeError& e) {
    return e.Number();
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

std::int32_t clsBinaryFile::AttachFile(platform::File i_oFile, std::int32_t i_eMode, const std::string& i_strPath) {
  CloseFile();
  m_file = std::move(i_oFile);
  m_strPath = i_strPath;
  m_eMode = i_eMode;
  m_nPosition = 0;
  return 0;
}

std::int32_t clsBinaryFile::CloseFile() noexcept {
  if (m_file.IsOpen()) {
    m_file.Close();
    m_strPath.clear();
  }
  return 0;
}

std::int64_t clsBinaryFile::FileSize() const noexcept {
  if (!m_file.IsOpen()) return 0;
  try {
    return m_file.Size();
  } catch (...) {
    return 0;
  }
}

std::int32_t clsBinaryFile::WriteData(std::span<const std::uint8_t> i_achData, std::int32_t i_nPos) {
  return Write(i_achData, i_nPos);
}

std::int32_t clsBinaryFile::WriteSeqData(std::span<const std::uint8_t> i_achData) {
  return Write(i_achData, m_nPosition);
}

std::int32_t clsBinaryFile::ReadData(std::span<std::uint8_t> o_achData, std::int32_t i_nPos) {
  return Read(o_achData, i_nPos);
}

std::int32_t clsBinaryFile::ReadSeqData(std::span<std::uint8_t> o_achData) { return Read(o_achData, m_nPosition); }

std::int32_t clsBinaryFile::Flush() {
  if (!m_file.IsOpen() || m_eMode != kModeWrite) return kRefused;
  try {
    m_file.SyncData();
    return 0;
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

std::int32_t clsBinaryFile::Write(std::span<const std::uint8_t> data, std::int64_t pos) {
  if (!m_file.IsOpen() || m_eMode != kModeWrite) return kRefused;
  if (const std::int32_t rc = CheckRange(pos, data.size()); rc != 0) return rc;
  try {
    m_file.WriteAt(pos, data);
    m_nPosition = pos + static_cast<std::int64_t>(data.size());
    return 0;
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

std::int32_t clsBinaryFile::Read(std::span<std::uint8_t> data, std::int64_t pos) {
  if (!m_file.IsOpen() || m_eMode != kModeRead) return kRefused;
  if (const std::int32_t rc = CheckRange(pos, data.size()); rc != 0) return rc;
  try {
    m_file.ReadAt(pos, data);
    m_nPosition = pos + static_cast<std::int64_t>(data.size());
    return 0;
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

}  // namespace sealvane
