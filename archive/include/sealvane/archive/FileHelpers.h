// SPDX-License-Identifier: GPL-3.0-or-later
// File helpers shared by the encrypt, decrypt and secure-delete jobs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sealvane/archive/CipherLibrary.h"

namespace sealvane {

// Overwrites a file once with random bytes from the cipher library, flushes
// the overwrite to the device and deletes the file. 0 when done or when no
// such file exists; -1 the random source could not start; -2 random bytes
// failed; positive: a file status, an errno of the delete, or a run-time
// error number. A symbolic link is removed itself; what it names is left
// alone.
std::int32_t WipeFile(const std::string& i_strPath, CipherLibrary& library = CipherLibrary::Default());

class UiPort;

// Before a job writes to `i_strPath`: when a file is there, asks to replace
// it and wipes it. False when the user declines, or when the file could not
// be removed (files are written without truncation, so writing into it would
// keep its old tail), which is reported.
bool ReplaceExistingFile(UiPort& ui, const std::string& i_strPath, CipherLibrary& library);

// Creation and last-write times as file times; 0 or an errno.
std::int32_t GetFileTimes(const std::string& i_strPath, std::int64_t& o_nCreateTime, std::int64_t& o_nModifyTime);
// Sets the last-write time as last-access and last-write time (creation
// times cannot be set here); 0 or an errno.
std::int32_t SetFileTimes(const std::string& i_strPath, std::int64_t i_nCreateTime, std::int64_t i_nModifyTime);

// The name a decrypted file may be given from the name stored in an archive:
// its last path component (either slash), without control characters;
// empty when nothing usable remains ("", ".", "..").
std::optional<std::string> SafeStoredFileName(const std::string& i_strStoredName);

}  // namespace sealvane
