// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/RuntimeError.h"

#include <cerrno>
#include <new>
#include <utility>

namespace sealvane::platform {

RuntimeError::RuntimeError(std::int32_t number)
    : m_nNumber(number), m_strDescription(StandardDescription(number)) {}

RuntimeError::RuntimeError(std::int32_t number, std::string description)
    : m_nNumber(number), m_strDescription(std::move(description)) {}

std::string StandardDescription(std::int32_t number) {
  switch (number) {
    case rt::kInvalidCall: return "Invalid procedure call or argument";
    case rt::kOverflow: return "Overflow";
    case rt::kOutOfMemory: return "Out of memory";
    case rt::kSubscriptOutOfRange: return "Subscript out of range";
    case rt::kTypeMismatch: return "Type mismatch";
    case rt::kLibraryLoad: return "Error in loading DLL";
    case rt::kInternal: return "Internal error";
    case rt::kBadFileName: return "Bad file name or number";
    case rt::kFileNotFound: return "File not found";
    case rt::kDeviceIO: return "Device I/O error";
    case rt::kFileExists: return "File already exists";
    case rt::kDiskFull: return "Disk full";
    case rt::kInputPastEnd: return "Input past end of file";
    case rt::kBadRecordNumber: return "Bad record number";
    case rt::kPermissionDenied: return "Permission denied";
    case rt::kPathFileAccess: return "Path/File access error";
    case rt::kPathNotFound: return "Path not found";
    case rt::kEntryPointNotFound: return "Specified DLL function not found";
    default: return "Application-defined or object-defined error";
  }
}

std::int32_t ErrnoToRuntimeNumber(int err) noexcept {
  switch (err) {
    case ENOENT: return rt::kFileNotFound;
    case ENOTDIR: return rt::kPathNotFound;
    case EACCES:
    case EPERM: return rt::kPermissionDenied;
    case EROFS:
    case EISDIR:
    case ETXTBSY:
    case EBUSY:
    case ELOOP: return rt::kPathFileAccess;
    case EEXIST: return rt::kFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return rt::kDiskFull;
    case ENOMEM: return rt::kOutOfMemory;
    case ENAMETOOLONG:
    case EBADF: return rt::kBadFileName;
    case EINVAL: return rt::kInvalidCall;
    case EOVERFLOW: return rt::kOverflow;
    case EIO:
    default: return rt::kDeviceIO;
  }
}

RuntimeError RuntimeErrorFromErrno(int err) { return RuntimeError(ErrnoToRuntimeNumber(err)); }

RuntimeError CurrentRuntimeError() noexcept {
  try {
    throw;
  } catch (const RuntimeError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return RuntimeError(rt::kOutOfMemory);
  } catch (const std::exception& e) {
    return RuntimeError(rt::kInternal, e.what());
  } catch (...) {
    return RuntimeError(rt::kInternal);
  }
}

}  // namespace sealvane::platform
