// SPDX-License-Identifier: GPL-3.0-or-later
// The statuses that operations of the engine return: 0 for success, the
// small negative codes below for the failures an operation recognises, and
// otherwise a positive run-time error number (platform/RuntimeError.h).
#pragma once

#include <cstdint>

namespace sealvane {

inline constexpr std::int32_t kOk = 0;

// clsBinaryFile: no file is open, or it is not open in the mode needed.
inline constexpr std::int32_t kRefused = -1;

// A job step that the user cancelled.
inline constexpr std::int32_t kCancelled = -9;
// A job step that found the archive damaged: sizes that do not add up, data
// after the last piece.
inline constexpr std::int32_t kDamaged = -8;
// A new archive checked against its file does not give it back.
inline constexpr std::int32_t kNotTheOriginal = -21;

// WipeFile and the secure-delete job.
inline constexpr std::int32_t kRandomUnavailable = -1;  // the random source could not start
inline constexpr std::int32_t kRandomFailed = -2;       // random bytes could not be made

// clsArchive::ReadParameters, in the order its checks are made.
inline constexpr std::int32_t kNotAnArchive = -1;
inline constexpr std::int32_t kUnknownVersion = -2;
inline constexpr std::int32_t kBadProviderLevel = -3;
inline constexpr std::int32_t kBadCipherNumber = -4;

// clsArchive: the cipher library refused (EncryptInit, Encrypt, Decrypt and
// the Done operations), and DecryptInit's two failures.
inline constexpr std::int32_t kLibraryFailed = -1;
inline constexpr std::int32_t kNoAccess = -1;
inline constexpr std::int32_t kLibraryRefusedKey = -2;
// clsArchive::Decrypt while a form of the password is tried: the final piece
// (or, for a compressed stream, the first) does not check out under this key.
inline constexpr std::int32_t kWrongPassword = -7;

// What is wrong with a compressed stream, found while it is expanded.
enum class StreamDamage {
  None,
  BadLengths,  // a block's lengths are out of bounds
  Cut,         // the stream ends inside a block
  BadData,     // the compression library refused a block
  TooMuch,     // the blocks expand past the recorded file size
  TooLittle,   // ... or fall short of it
};

}  // namespace sealvane
