// SPDX-License-Identifier: GPL-3.0-or-later
// File helpers shared by the encrypt, decrypt and secure-delete jobs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/archive/UiPort.h"
#include "sealvane/platform/File.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

// The cipher library's random generator for one job, released on every path.
class RandomSource {
 public:
  // Starts the generator; Ok() tells whether it did. Throws RuntimeError
  // when the library or its export is missing.
  explicit RandomSource(CipherLibrary& library);
  ~RandomSource();
  RandomSource(const RandomSource&) = delete;
  RandomSource& operator=(const RandomSource&) = delete;

  bool Ok() const noexcept { return m_bOk; }
  // Fills `buffer`; false when the generator fails.
  bool Fill(std::span<std::uint8_t> buffer);
  // The library's message for the last failure.
  std::string Message() const;

 private:
  CipherLibrary& m_library;
  std::uint32_t m_nContext = 0;
  bool m_bOk = false;
  std::array<char, SL_MESSAGE_SIZE> m_message {};
};

// Overwrites the whole open file once with random bytes, 4096 at a time, and
// flushes the overwrite to the device. 0; kRandomUnavailable; kRandomFailed
// (the file is overwritten up to the failed piece); or a run-time error
// number.
std::int32_t OverwriteWithRandom(const platform::File& i_oFile, CipherLibrary& library);

// Overwrites a file once with random bytes, flushes the overwrite and
// deletes the file. The file is resolved once: a link swapped in meanwhile is
// never followed, and a symbolic link is removed itself, leaving what it
// names alone. A file that other names share is only removed, so that the
// data those names show survives. 0 when done or when no such file exists;
// kRandomUnavailable; kRandomFailed; or a run-time error number.
std::int32_t WipeFile(const std::string& i_strPath, CipherLibrary& library = CipherLibrary::Default());

// A file the job made and gives up (a partial plain file, a scratch file):
// its content is overwritten with random bytes before it is closed.
void WipeAndClose(platform::File& io_oFile, CipherLibrary& library) noexcept;

// Creation and last-write times as file times; 0 or a run-time error number.
std::int32_t GetFileTimes(const std::string& i_strPath, std::int64_t& o_nCreateTime, std::int64_t& o_nModifyTime);
// Sets the last-write time as last-access and last-write time (creation
// times cannot be set here); 0 or a run-time error number.
std::int32_t SetFileTimes(const std::string& i_strPath, std::int64_t i_nCreateTime, std::int64_t i_nModifyTime);

// The name a decrypted file may be given from the name stored in an archive:
// its last path component (either slash), without control characters;
// empty when nothing usable remains ("", ".", "..").
std::optional<std::string> SafeStoredFileName(const std::string& i_strStoredName);

// Why a file's application could run code from it (a desktop entry, a
// script, a program, an executable file): a short reason, or nothing.
std::optional<std::string> WhyFileCanRunCode(const std::string& i_strPath);

// A job's failure with a file it was to create: the job's sentence, then the
// reason (a sentence of the platform layer) on a line of its own.
void ReportFileFailure(UiPort& ui, const std::string& i_strSentence, const platform::RuntimeError& i_oError);

// A job's failure to read a file it was given: the job's sentence, then
// the file and the reason ("The file X cannot be read: Permission denied.").
void ReportUnreadable(UiPort& ui, const std::string& i_strSentence, const std::string& i_strPath,
                      const platform::RuntimeError& i_oError);

}  // namespace sealvane
