// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/FileHelpers.h"

#include <algorithm>
#include <cctype>

#include "sealvane/archive/Status.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/Process.h"

namespace sealvane {

using platform::RuntimeError;

// --- random bytes --------------------------------------------------------------

RandomSource::RandomSource(CipherLibrary& library) : m_library(library) {
  m_bOk = m_library.SLGenRandomInit(&m_nContext, m_message.data()) != 0;
}

RandomSource::~RandomSource() {
  try {
    char message[SL_MESSAGE_SIZE] = {};
    m_library.SLGenRandomDone(&m_nContext, message);
  } catch (...) {
  }
}

bool RandomSource::Fill(std::span<std::uint8_t> buffer) {
  if (!m_bOk) return false;
  m_message.fill(0);
  return m_library.SLGenRandom(m_nContext, static_cast<std::uint32_t>(buffer.size()), buffer.data(),
                               m_message.data()) != 0;
}

std::string RandomSource::Message() const { return CutAtNull(std::string(m_message.data(), m_message.size())); }

// --- wiping --------------------------------------------------------------------------

std::int32_t OverwriteWithRandom(const platform::File& i_oFile, CipherLibrary& library) {
  try {
    RandomSource random(library);
    if (!random.Ok()) return kRandomUnavailable;
    const std::int64_t size = i_oFile.Size();
    ByteArray buffer(static_cast<std::size_t>(kPieceSize));
    for (std::int64_t position = 0; position < size;) {
      const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(kPieceSize, size - position));
      const std::span<std::uint8_t> bytes(buffer.data(), piece);
      if (!random.Fill(bytes)) return kRandomFailed;
      i_oFile.WriteAt(position, bytes);
      position += static_cast<std::int64_t>(piece);
    }
    // The overwrite reaches the device before the file goes.
    i_oFile.SyncData();
    return kOk;
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

std::int32_t WipeFile(const std::string& i_strPath, CipherLibrary& library) {
  try {
    const auto entry = platform::FileEntry::Resolve(i_strPath);
    if (!entry || entry->Status().kind == platform::FileKind::Folder) return kOk;
    // Devices and FIFOs are never overwritten, nor removed.
    if (entry->Status().kind == platform::FileKind::Other) return platform::rt::kPathFileAccess;
    if (entry->Status().kind == platform::FileKind::Regular && entry->Status().links == 1) {
      const platform::File file = entry->OpenForOverwrite();
      if (const std::int32_t status = OverwriteWithRandom(file, library); status != kOk) return status;
    }
    entry->Remove();
    return kOk;
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

void WipeAndClose(platform::File& io_oFile, CipherLibrary& library) noexcept {
  if (io_oFile.IsOpen()) OverwriteWithRandom(io_oFile, library);
  io_oFile.Close();
}

// --- times ---------------------------------------------------------------------------

std::int32_t GetFileTimes(const std::string& i_strPath, std::int64_t& o_nCreateTime, std::int64_t& o_nModifyTime) {
  try {
    const platform::FileTimes times = platform::GetTimes(i_strPath);
    o_nCreateTime = times.creation;
    o_nModifyTime = times.lastWrite;
    return kOk;
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

std::int32_t SetFileTimes(const std::string& i_strPath, std::int64_t i_nCreateTime, std::int64_t i_nModifyTime) {
  try {
    platform::FileTimes times;
    times.creation = i_nCreateTime;
    times.lastAccess = i_nModifyTime;
    times.lastWrite = i_nModifyTime;
    platform::SetTimes(i_strPath, times);
    return kOk;
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

// --- names and types -----------------------------------------------------------------

std::optional<std::string> SafeStoredFileName(const std::string& i_strStoredName) {
  const std::size_t slash = i_strStoredName.find_last_of("/\\");
  std::string name = slash == std::string::npos ? i_strStoredName : i_strStoredName.substr(slash + 1);
  name.erase(std::remove_if(name.begin(), name.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }),
             name.end());
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  return name;
}

namespace {

// Names whose usual applications run what the file says.
constexpr const char* kCodeExtensions[] = {
    "desktop", "kdelnk", "sh",   "bash", "zsh",  "csh",      "ksh",       "fish",       "command", "py",
    "pyw",     "pyc",    "pl",   "pm",   "rb",   "php",      "lua",       "tcl",        "js",      "mjs",
    "jar",     "jnlp",   "exe",  "com",  "bat",  "cmd",      "msi",       "scr",        "ps1",     "vbs",
    "wsf",     "lnk",    "run",  "elf",  "so",   "appimage", "deb",       "rpm",
    "snap",    "flatpak", "flatpakref", "flatpakrepo", "apk", "x86_64", "service", "action"};

// Parts of MIME types of files whose applications run code.
constexpr const char* kCodeTypes[] = {"executable", "script",   "x-desktop", "sharedlib", "x-msdownload", "x-msi",
                                      "java-archive", "jnlp",   "appimage",  "x-deb",     "debian.binary",
                                      "x-rpm",      "flatpak",  "x-bat",     "ms-shortcut", "x-python",
                                      "x-perl",     "x-ruby",   "x-php",     "x-lua",     "x-tcl",
                                      "x-ms-dos",   "x-elf",    "x-object"};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::optional<std::string> WhyFileCanRunCode(const std::string& i_strPath) {
  const std::string name = GetFileNameOfPath(i_strPath);
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot + 1 < name.size()) {
    const std::string extension = Lower(name.substr(dot + 1));
    for (const char* known : kCodeExtensions) {
      if (extension == known) return "its name ends in ." + extension;
    }
  }
  try {
    const platform::File file = platform::File::Open(i_strPath, platform::File::Access::Read);
    if ((file.Status().permissions & 0111) != 0) return std::string("it is marked as a program");
    // Scripts, programs (ELF, and Windows ones that a compatibility layer
    // runs) and desktop entries, by their first bytes.
    std::uint8_t head[16] = {};
    const std::string start(reinterpret_cast<const char*>(head), file.ReadSomeAt(0, head));
    for (const std::string_view magic : {"#!", "\x7F" "ELF", "MZ", "[Desktop Entry]"}) {
      if (start.starts_with(magic)) return std::string("it starts as a program or script does");
    }
  } catch (...) {
    return std::string("it cannot be examined");
  }
  if (const auto type = platform::RunAndCapture({"xdg-mime", "query", "filetype", i_strPath})) {
    std::string mime = Lower(*type);
    while (!mime.empty() && std::isspace(static_cast<unsigned char>(mime.back()))) mime.pop_back();
    for (const char* part : kCodeTypes) {
      if (mime.find(part) != std::string::npos) return "its type is " + mime;
    }
  }
  return std::nullopt;
}

void ReportFileFailure(UiPort& ui, const std::string& i_strSentence, const RuntimeError& i_oError) {
  std::string reason = i_oError.Description();
  if (!reason.empty() && reason.back() != '.') reason.push_back('.');
  ShowError(ui, i_strSentence + kCR + reason, 0);
}

void ReportUnreadable(UiPort& ui, const std::string& i_strSentence, const std::string& i_strPath,
                      const RuntimeError& i_oError) {
  std::string reason = i_oError.Description();
  if (!reason.empty() && reason.back() == '.') reason.pop_back();
  ShowError(ui, i_strSentence + kCR + "The file " + i_strPath + " cannot be read: " + reason + ".", 0);
}

}  // namespace sealvane
