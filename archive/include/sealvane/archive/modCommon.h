// SPDX-License-Identifier: GPL-3.0-or-later
// Small stateless helpers shared by the windows, the archive engine and the
// settings: message boxes, path arithmetic, file helpers, size texts and the
// conversions between byte arrays, text and integers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sealvane/archive/UiPort.h"
#include "sealvane/archive/clsDigitalID.h"
#include "sealvane/platform/RuntimeError.h"
#include "sealvane/sealvanelib.h"

namespace sealvane {

inline constexpr char kCR = '\r';

// Sizes in an archive are signed 32-bit numbers.
inline constexpr const char* kFileTooLarge = "The file is too large.  Please specify a file smaller than 2 GB.";

// --- messages ---------------------------------------------------------------

// The message, and " Error Number: n" when n is not 0. Title "Warning!".
void ShowWarning(UiPort& ui, const std::string& i_strMessage, std::int32_t i_nErrorNumber);
// As ShowWarning with the title "Error!" and the stop icon.
void ShowError(UiPort& ui, const std::string& i_strMessage, std::int32_t i_nErrorNumber);
// The message, a carriage return, the error's description, ". Error Number: "
// and its number.
void ShowRuntimeError(UiPort& ui, const std::string& i_strMessage, const platform::RuntimeError& i_oError);
// Inside a catch block: reports the exception being handled.
void ShowRuntimeError(UiPort& ui, const std::string& i_strMessage);

// Asks whether the existing file may be replaced: Yes (6) or No (7).
MsgResult ConfirmReplace(UiPort& ui, const std::string& i_strPath);

// --- paths and files --------------------------------------------------------

// True when a file (not a folder) is at the path, hidden ones included; the
// name is taken literally.
bool FileExists(const std::string& i_strPath);
// Opens a file with the application associated with its type (xdg-open);
// 0 success, -1 failure, already reported.
std::int32_t OpenWithAssociatedApp(UiPort& ui, const std::string& i_strPath);
// Whether the desktop has an application for the file's type.
bool HasAssociatedApp(const std::string& i_strPath);
// Opens the folder that holds the file in the file manager; 0 when started.
std::int32_t ShowInFolder(const std::string& i_strPath);
// Opens "http://" + address in the default browser; always 0. Throws
// RuntimeError when no browser can be started.
std::int32_t OpenWebPage(const std::string& i_strAddress);
// Starts a new message to the address in the default mail program; always 0.
// Throws RuntimeError when no mail program can be started.
std::int32_t OpenMailMessage(const std::string& i_strAddress);
std::string GetFolderOfPath(const std::string& i_strPath, bool i_bRootSlash);
// The part of a path after its last "/": the file's name.
std::string GetFileNameOfPath(const std::string& i_strPath);
std::string ReplaceExtension(const std::string& i_strPath, const std::string& i_strExt);
// The archive a file or folder is encrypted into by default: a file's name
// with its extension replaced by ".sva"; a folder's whole name (dots are
// part of it) with ".sva" added.
std::string DefaultArchivePath(const std::string& i_strPath);
// A folder's path without the slashes that may end it ("/" stays).
std::string WithoutTrailingSlash(std::string i_strPath);
std::string GetDocumentsDir();
// A name in the folder of `path`; a bare name when the path has no folder.
std::string BesideFile(const std::string& i_strPath, const std::string& i_strName);
std::string FormatFileSize(const std::string& i_strPath);
// The size text for n bytes with the given decimal separator.
std::string FormatByteCount(std::int64_t i_nBytes, std::string_view i_strDecimalSep);
// Names for a message, each on a line of its own after a CR: the first
// ten, then "and N more." for the rest.
std::string NameLines(const std::vector<std::string>& i_colNames);
// A name as a message may show it: no control characters, not endless.
std::string ShownName(const std::string& i_strName);

// --- conversions ------------------------------------------------------------

std::string CutAtNull(const std::string& i_str);
// The text without leading and trailing blanks.
std::string Trim(const std::string& i_str);
// Bytes from i_nStart up to the first NUL or i_nCount bytes, read in the
// system code page. Throws RuntimeError 9 for indices outside the array.
std::string BytesToString(std::span<const std::uint8_t> i_achBytes, std::int32_t i_nStart, std::int32_t i_nCount);
// The text's bytes, cut at a character boundary to at most i_nCount, the
// rest NUL. Throws RuntimeError 9 for indices outside the array.
void StringToBytes(std::span<std::uint8_t> o_achBytes, std::int32_t i_nStart, std::int32_t i_nCount,
                   const std::string& i_str);
std::int32_t ReadLongBE(std::span<const std::uint8_t> i_achBytes, std::int32_t i_nIndex);
void WriteLongBE(std::span<std::uint8_t> o_achBytes, std::int32_t i_nIndex, std::int32_t i_nValue);
// Equal length and equal elements.
bool SameBytes(std::span<const std::uint8_t> i_varA, std::span<const std::uint8_t> i_varB) noexcept;
// Copies when both have the same length; returns false and copies nothing
// otherwise.
bool CopyByteArray(std::span<const std::uint8_t> i_varSource, std::span<std::uint8_t> o_varDest) noexcept;
// Overwrites bytes that held a secret or the user's data with zeros, in a
// way the compiler does not drop.
void WipeBytes(std::span<std::uint8_t> io_achBytes) noexcept;
void WipeBytes(std::string& io_str) noexcept;
// A file time as its 8 bytes in memory order (least significant first).
void FileTimeToBytes(ByteArray& o_varBytes, std::int64_t i_nFileTime);
// The file time in the first 8 bytes; RuntimeError 9 when there are fewer.
std::int64_t BytesToFileTime(std::span<const std::uint8_t> i_varBytes);
// The size of a final encrypted piece of n plain bytes: the next multiple of
// 8 strictly above n; 0 for n below 1.
constexpr std::int32_t PaddedSize(std::int32_t n) noexcept { return n < 1 ? 0 : n + 8 - (n % 8); }
inline std::int32_t BoolToCheck(bool i_b) noexcept { return i_b ? 1 : 0; }
inline bool CheckToBool(std::int32_t i_n) noexcept { return i_n == 1; }

void CopyRecordToDigitalID(const CertRecord& i_oRecord, clsDigitalID& o_oDigitalID);
// Throws RuntimeError 9 when the thumbprint has fewer than 20 bytes.
void CopyDigitalIDToRecord(const clsDigitalID& i_oDigitalID, CertRecord& o_oRecord);

}  // namespace sealvane
