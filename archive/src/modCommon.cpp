// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/modCommon.h"

#include <string.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "sealvane/platform/CodePage.h"
#include "sealvane/platform/Environment.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/Process.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane {

using platform::RuntimeError;
namespace rt = platform::rt;

namespace {

void ShowBox(UiPort& ui, std::string text, const char* title, MsgIcon icon) {
  ui.ShowMessageBox(MessageBoxRequest {std::move(text), title, icon, MsgButtons::OK, 1, {}});
}

std::string WithErrorNumber(const std::string& message, std::int32_t number) {
  if (number == 0) return message;
  return message + " Error Number: " + std::to_string(number);
}

// Checks that [start, start + count) lies within an array of `size`.
void CheckIndices(std::size_t size, std::int64_t start, std::int64_t count) {
  if (start < 0 || count < 0 || start + count > static_cast<std::int64_t>(size)) {
    throw RuntimeError(rt::kSubscriptOutOfRange);
  }
}

// n / 2^shift rounded to the nearest whole number, ties to even.
std::int64_t DivideRoundHalfEven(std::int64_t n, int shift) {
  const std::int64_t divisor = std::int64_t {1} << shift;
  std::int64_t q = n >> shift;
  const std::int64_t r = n & (divisor - 1);
  const std::int64_t half = divisor / 2;
  if (r > half || (r == half && (q & 1) != 0)) ++q;
  return q;
}

}  // namespace

// --- messages ---------------------------------------------------------------

MsgResult DismissAnswer(MsgButtons buttons) noexcept {
  switch (buttons) {
    case MsgButtons::OK: return MsgResult::OK;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoToAll: return MsgResult::No;
    case MsgButtons::AbortRetryIgnore: return MsgResult::Abort;
    default: return MsgResult::Cancel;
  }
}

void ShowWarning(UiPort& ui, const std::string& i_strMessage, std::int32_t i_nErrorNumber) {
  ShowBox(ui, WithErrorNumber(i_strMessage, i_nErrorNumber), "Warning!", MsgIcon::Exclamation);
}

void ShowError(UiPort& ui, const std::string& i_strMessage, std::int32_t i_nErrorNumber) {
  ShowBox(ui, WithErrorNumber(i_strMessage, i_nErrorNumber), "Error!", MsgIcon::Stop);
}

void ShowRuntimeError(UiPort& ui, const std::string& i_strMessage, const RuntimeError& i_oError) {
  ShowBox(ui,
          i_strMessage + kCR + i_oError.Description() + ". Error Number: " + std::to_string(i_oError.Number()),
          "Error!", MsgIcon::Stop);
}

void ShowRuntimeError(UiPort& ui, const std::string& i_strMessage) {
  ShowRuntimeError(ui, i_strMessage, platform::CurrentRuntimeError());
}

MsgResult ConfirmReplace(UiPort& ui, const std::string& i_strPath) {
  MessageBoxRequest question {i_strPath + " already exists." + kCR + "Do you want to replace it?",
                             "Replace File?", MsgIcon::Question, MsgButtons::YesNo, 2, {}};
  question.perFile = kPerFileReplace;
  return ui.ShowMessageBox(question);
}

// --- paths and files --------------------------------------------------------

bool FileExists(const std::string& i_strPath) {
  if (i_strPath.empty()) return false;
  return platform::FindFileEntry(i_strPath);
}

bool HasAssociatedApp(const std::string& i_strPath) {
  const auto trim = [](std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
  };
  // No application is associated when the file's type has no default
  // application: decided beforehand, as opening cannot tell.
  const auto type = platform::RunAndCapture({"xdg-mime", "query", "filetype", i_strPath});
  const auto application =
      type ? platform::RunAndCapture({"xdg-mime", "query", "default", trim(*type)}) : std::nullopt;
  return type && application && !trim(*application).empty();
}

std::int32_t ShowInFolder(const std::string& i_strPath) {
  const std::string folder = GetFolderOfPath(i_strPath, true);
  return platform::LaunchDetached({"xdg-open", folder.empty() ? std::string(".") : folder});
}

std::int32_t OpenWithAssociatedApp(UiPort& ui, const std::string& i_strPath) {
  if (!HasAssociatedApp(i_strPath)) {
    ShowError(ui, std::string("Failed to open file because there is no application") + kCR + "associated with it.", 0);
    return -1;
  }
  if (const std::int32_t number = platform::LaunchDetached({"xdg-open", i_strPath}); number != 0) {
    ShowError(ui, "Failed to open file.", number);
    return -1;
  }
  return 0;
}

std::int32_t OpenWebPage(const std::string& i_strAddress) {
  if (const std::int32_t number = platform::LaunchDetached({"xdg-open", "http://" + i_strAddress}); number != 0) {
    throw RuntimeError(number);
  }
  return 0;
}

std::int32_t OpenMailMessage(const std::string& i_strAddress) {
  if (const std::int32_t number = platform::LaunchDetached({"xdg-open", "mailto:" + i_strAddress}); number != 0) {
    throw RuntimeError(number);
  }
  return 0;
}

std::string GetFolderOfPath(const std::string& i_strPath, bool i_bRootSlash) {
  const std::size_t last = i_strPath.rfind('/');
  if (last == std::string::npos) return {};
  std::string folder = i_strPath.substr(0, last);
  if (folder.find('/') == std::string::npos && i_bRootSlash) folder.push_back('/');
  return folder;
}

std::string GetFileNameOfPath(const std::string& i_strPath) {
  const std::size_t last = i_strPath.rfind('/');
  return last == std::string::npos ? i_strPath : i_strPath.substr(last + 1);
}

std::string ReplaceExtension(const std::string& i_strPath, const std::string& i_strExt) {
  // 1-based positions of the last slash and the last dot, 0 when absent.
  const std::size_t slashAt = i_strPath.rfind('/');
  const std::size_t dotAt = i_strPath.rfind('.');
  const std::size_t s = slashAt == std::string::npos ? 0 : slashAt + 1;
  const std::size_t d = dotAt == std::string::npos ? 0 : dotAt + 1;
  if (d > s) return i_strPath.substr(0, d - 1) + i_strExt;
  if (i_strPath.size() > s) return i_strPath + i_strExt;
  return {};
}

std::string WithoutTrailingSlash(std::string i_strPath) {
  while (i_strPath.size() > 1 && i_strPath.back() == '/') i_strPath.pop_back();
  return i_strPath;
}

std::string NameLines(const std::vector<std::string>& i_colNames) {
  constexpr std::size_t kShown = 10;
  std::string text;
  for (std::size_t i = 0; i < i_colNames.size() && i < kShown; ++i) text += kCR + i_colNames[i];
  if (i_colNames.size() > kShown) text += kCR + ("and " + std::to_string(i_colNames.size() - kShown) + " more.");
  return text;
}

std::string ShownName(const std::string& i_strName) {
  std::string shown;
  for (const char c : i_strName) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) shown.push_back(c);
  }
  if (shown.size() > 120) shown = shown.substr(0, 100) + "...";
  return shown.empty() ? std::string("(no name)") : shown;
}

std::string DefaultArchivePath(const std::string& i_strPath) {
  if (i_strPath.empty()) return {};
  if (platform::StatusOf(i_strPath).kind == platform::FileKind::Folder) {
    const std::string folder = WithoutTrailingSlash(i_strPath);
    return folder == "/" ? std::string() : folder + ".sva";
  }
  return ReplaceExtension(i_strPath, ".sva");
}

std::string BesideFile(const std::string& i_strPath, const std::string& i_strName) {
  const std::size_t slash = i_strPath.rfind('/');
  return slash == std::string::npos ? i_strName : i_strPath.substr(0, slash + 1) + i_strName;
}

std::string GetDocumentsDir() {
  std::string folder;
  clsConfig config;
  if (config.GetMyDocumentsDir(folder) != 0) folder = platform::CurrentDirectory();
  return folder;
}

std::string FormatByteCount(std::int64_t i_nBytes, std::string_view i_strDecimalSep) {
  if (i_nBytes < 1024) return std::to_string(i_nBytes) + " bytes";
  if (i_nBytes < 1048576) return std::to_string(DivideRoundHalfEven(i_nBytes, 10)) + " KB";
  // Hundredths of a megabyte: n * 100 / 2^20, exact up to far beyond any file.
  const std::int64_t hundredths = DivideRoundHalfEven(i_nBytes * 100, 20);
  std::string text = std::to_string(hundredths / 100);
  const std::int64_t fraction = hundredths % 100;
  if (fraction != 0) {
    text.append(i_strDecimalSep);
    text.push_back(static_cast<char>('0' + fraction / 10));
    if (fraction % 10 != 0) text.push_back(static_cast<char>('0' + fraction % 10));
  }
  return text + " MB";
}

std::string FormatFileSize(const std::string& i_strPath) {
  return FormatByteCount(platform::FileLength(i_strPath), platform::LocaleDecimalSeparator());
}

// --- conversions ------------------------------------------------------------

std::string Trim(const std::string& i_str) {
  const std::size_t a = i_str.find_first_not_of(' ');
  if (a == std::string::npos) return {};
  return i_str.substr(a, i_str.find_last_not_of(' ') - a + 1);
}

std::string CutAtNull(const std::string& i_str) { return i_str.substr(0, i_str.find('\0')); }

std::string BytesToString(std::span<const std::uint8_t> i_achBytes, std::int32_t i_nStart, std::int32_t i_nCount) {
  if (i_nCount <= 0) return {};
  if (i_nStart < 0) throw RuntimeError(rt::kSubscriptOutOfRange);
  const auto start = static_cast<std::size_t>(i_nStart);
  const auto count = static_cast<std::size_t>(i_nCount);
  std::size_t length = 0;
  while (length < count) {
    if (start + length >= i_achBytes.size()) throw RuntimeError(rt::kSubscriptOutOfRange);
    if (i_achBytes[start + length] == 0) break;
    ++length;
  }
  return platform::AnsiBytesToText(
      std::string_view(reinterpret_cast<const char*>(i_achBytes.data()) + start, length));
}

void StringToBytes(std::span<std::uint8_t> o_achBytes, std::int32_t i_nStart, std::int32_t i_nCount,
                   const std::string& i_str) {
  if (i_nCount <= 0) return;
  CheckIndices(o_achBytes.size(), i_nStart, i_nCount);
  const auto count = static_cast<std::size_t>(i_nCount);
  const std::size_t length = platform::Utf8PrefixLength(i_str, count);
  std::uint8_t* out = o_achBytes.data() + i_nStart;
  std::memcpy(out, i_str.data(), length);
  std::memset(out + length, 0, count - length);
}

std::int32_t ReadLongBE(std::span<const std::uint8_t> i_achBytes, std::int32_t i_nIndex) {
  CheckIndices(i_achBytes.size(), i_nIndex, 4);
  const std::uint8_t* p = i_achBytes.data() + i_nIndex;
  const std::uint32_t v = (std::uint32_t {p[0]} << 24) | (std::uint32_t {p[1]} << 16) |
                          (std::uint32_t {p[2]} << 8) | std::uint32_t {p[3]};
  return static_cast<std::int32_t>(v);
}

void WriteLongBE(std::span<std::uint8_t> o_achBytes, std::int32_t i_nIndex, std::int32_t i_nValue) {
  CheckIndices(o_achBytes.size(), i_nIndex, 4);
  const auto v = static_cast<std::uint32_t>(i_nValue);
  std::uint8_t* p = o_achBytes.data() + i_nIndex;
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

bool SameBytes(std::span<const std::uint8_t> i_varA, std::span<const std::uint8_t> i_varB) noexcept {
  return std::ranges::equal(i_varA, i_varB);
}

bool CopyByteArray(std::span<const std::uint8_t> i_varSource, std::span<std::uint8_t> o_varDest) noexcept {
  if (i_varSource.size() != o_varDest.size()) return false;
  std::ranges::copy(i_varSource, o_varDest.begin());
  return true;
}

void WipeBytes(std::span<std::uint8_t> io_achBytes) noexcept {
  if (!io_achBytes.empty()) ::explicit_bzero(io_achBytes.data(), io_achBytes.size());
}

void WipeBytes(std::string& io_str) noexcept {
  if (!io_str.empty()) ::explicit_bzero(io_str.data(), io_str.size());
}

void FileTimeToBytes(ByteArray& o_varBytes, std::int64_t i_nFileTime) {
  o_varBytes.resize(8);
  const auto v = static_cast<std::uint64_t>(i_nFileTime);
  for (int i = 0; i < 8; ++i) o_varBytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::int64_t BytesToFileTime(std::span<const std::uint8_t> i_varBytes) {
  if (i_varBytes.size() < 8) throw RuntimeError(rt::kSubscriptOutOfRange);
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | i_varBytes[static_cast<std::size_t>(i)];
  return static_cast<std::int64_t>(v);
}

void CopyRecordToDigitalID(const CertRecord& i_oRecord, clsDigitalID& o_oDigitalID) {
  const auto bytes = [](const char (&field)[256]) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(field), sizeof(field));
  };
  o_oDigitalID.m_bSelected = i_oRecord.Selected != 0;
  o_oDigitalID.m_strName = BytesToString(bytes(i_oRecord.Name), 0, 256);
  o_oDigitalID.m_strEMailAddr = BytesToString(bytes(i_oRecord.EMailAddr), 0, 256);
  o_oDigitalID.m_varThumbprint.assign(std::begin(i_oRecord.Thumbprint), std::end(i_oRecord.Thumbprint));
}

void CopyDigitalIDToRecord(const clsDigitalID& i_oDigitalID, CertRecord& o_oRecord) {
  if (i_oDigitalID.m_varThumbprint.size() < sizeof(o_oRecord.Thumbprint)) {
    throw RuntimeError(rt::kSubscriptOutOfRange);
  }
  const auto bytes = [](char (&field)[256]) {
    return std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(field), sizeof(field));
  };
  o_oRecord.Selected = i_oDigitalID.m_bSelected ? -1 : 0;
  StringToBytes(bytes(o_oRecord.Name), 0, 256, i_oDigitalID.m_strName);
  StringToBytes(bytes(o_oRecord.EMailAddr), 0, 256, i_oDigitalID.m_strEMailAddr);
  std::copy_n(i_oDigitalID.m_varThumbprint.begin(), sizeof(o_oRecord.Thumbprint), o_oRecord.Thumbprint);
}

}  // namespace sealvane
