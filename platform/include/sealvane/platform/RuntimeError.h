// SPDX-License-Identifier: GPL-3.0-or-later
// The one run-time failure type: an error number from the classic BASIC
// run-time table and a description. Operations catch it and turn it into
// their status or their "Failed to ..." box.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace sealvane::platform {

namespace rt {
inline constexpr std::int32_t kInvalidCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kLibraryLoad = 48;
inline constexpr std::int32_t kInternal = 51;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kFileExists = 58;
inline constexpr std::int32_t kDeviceIO = 57;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kInputPastEnd = 62;
inline constexpr std::int32_t kBadRecordNumber = 63;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccess = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kEntryPointNotFound = 453;
}  // namespace rt

class RuntimeError : public std::exception {
 public:
  // Uses the standard description of the number.
  explicit RuntimeError(std::int32_t number);
  RuntimeError(std::int32_t number, std::string description);

  std::int32_t Number() const noexcept { return m_nNumber; }
  const std::string& Description() const noexcept { return m_strDescription; }
  const char* what() const noexcept override { return m_strDescription.c_str(); }

 private:
  std::int32_t m_nNumber;
  std::string m_strDescription;
};

// The standard description of a run-time error number ("File not found").
std::string StandardDescription(std::int32_t number);

// The run-time error number for an errno value. The single errno mapping of
// the project.
std::int32_t ErrnoToRuntimeNumber(int err) noexcept;

// A RuntimeError for errno `err`, with the standard description.
RuntimeError RuntimeErrorFromErrno(int err);

// Inside a catch block: the exception being handled as a RuntimeError
// (bad_alloc is 7, any other exception 51 with its text).
RuntimeError CurrentRuntimeError() noexcept;

}  // namespace sealvane::platform
