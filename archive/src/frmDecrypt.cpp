// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/frmDecrypt.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <functional>
#include <optional>

#include "RunIo.h"
#include "StreamExpander.h"
#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/FolderTar.h"
#include "sealvane/archive/Password.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/clsBinaryFile.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/Environment.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/Pinentry.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::RuntimeError;
namespace rt = platform::rt;

namespace {

constexpr const char* kStrongerProvider =
    "The existing encryption capabilities do not permit decryption of this file.\r"
    "To decrypt this file install the appropriate Microsoft High Encryption Pack.\r"
    "For Internet Explorer 5, use the Internet Explorer High Encryption Pack.\r"
    "For Windows 2000, use the Windows 2000 High Encryption Pack.\r"
    "These can be downloaded from Microsoft's web site.";

constexpr const char* kTrailingData =
    "The encrypted file is damaged.\rIt holds more data than its file description says.";
constexpr const char* kTooMuchData =
    "The encrypted file is damaged.\rIts data expands to more than the file size it records.";
constexpr const char* kTooLittleData =
    "The encrypted file is damaged.\rIts data expands to less than the file size it records.";

// A size as a person reads it: "2.0 GB".
std::string SizeText(std::int64_t bytes) {
  static constexpr const char* kUnits[] = {"bytes", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof(text), "%lld bytes", static_cast<long long>(bytes));
  } else {
    std::snprintf(text, sizeof(text), "%.1f %s", value, kUnits[unit]);
  }
  return text;
}

}  // namespace

std::optional<std::int64_t> frmDecrypt::RecordedSize() const {
  if (m_oModern) return m_nStoredSize;
  clsArchive archive(m_ui, m_library);
  clsParameters stored;
  clsFileDesc desc;
  archive.AttachArchive(m_oArchiveFile.Duplicate(), kModeRead, m_oParameters.m_strEncFilePath);
  if (archive.ReadParameters(stored, desc) != kOk) return std::nullopt;
  return desc.m_nFileSize;
}

bool frmDecrypt::RoomForPlainFile(std::optional<std::int64_t> i_nFree) {
  // An archive may claim a file far larger than itself (a compressed one
  // expands a thousandfold): one that cannot fit is refused before anything
  // is written, rather than when the disk is full.
  const std::optional<std::int64_t> needed = RecordedSize();
  const std::optional<std::int64_t> free = i_nFree;
  if (!needed || !free || *needed <= *free) return true;
  ShowError(m_ui,
            "There is not enough free space to decrypt the file.\r" + GetFileNameOfPath(m_oParameters.m_strFilePath) +
                " needs " + SizeText(*needed) + ", and " + SizeText(*free) + " is free where it goes.",
            0);
  return false;
}

bool frmDecrypt::Initialize(const clsParameters& i_oParameters) {
  // A protected key's passphrase question says what it is for.
  const platform::PromptPurpose purpose("to decrypt " + GetFileNameOfPath(i_oParameters.m_strEncFilePath));
  try {
    m_oParameters = i_oParameters;
    m_oPlain.reset();
    RemoveFolderWork();
    m_bReplace = false;
    m_nStoredSize = 0;
    const std::string& archive = m_oParameters.m_strEncFilePath;
    if (archive.empty()) {
      ShowWarning(m_ui, "Please specify an encrypted file.", 0);
      return false;
    }
    if (!FileExists(archive)) {
      ShowWarning(m_ui, "The encrypted file does not exist.  Please specify an existing file.", 0);
      return false;
    }
    // The archive is resolved once; the job reads this descriptor.
    try {
      m_oArchiveFile = platform::File::Open(archive, platform::File::Access::Read);
    } catch (const RuntimeError& e) {
      ReportUnreadable(m_ui, "Failed to open encrypted file.", archive, e);
      return false;
    }
    if (m_oArchiveFile.Size() == 0) {
      ShowWarning(m_ui, "The encrypted file is empty.  Please specify a non-empty file.", 0);
      return false;
    }
    const std::string& path = m_oParameters.m_strFilePath;
    // (A stored name in the current folder has an empty folder.)
    if (path.empty() && !m_oParameters.m_bNameFromArchive) {
      ShowWarning(m_ui, "Please specify a file.", 0);
      return false;
    }
    m_oModern.reset();
    if (m_oParameters.m_eAlg == kCipherAes256) {
      // A modern archive is opened now: with its key the file's name is
      // known, and a wrong password is said before the window shows.
      if (!OpenModern()) return false;
    } else {
      std::int32_t level = 0;
      char message[SL_MESSAGE_SIZE] = {};
      m_library.SLGetCSP(&level, message);
      if (message[0] != '\0') {
        ShowError(m_ui, CutAtNull(std::string(message, sizeof(message))), 0);
        return false;
      }
      if (m_oParameters.m_eCSP > level) {
        ShowWarning(m_ui, kStrongerProvider, 0);
        return false;
      }
    }
    // The same file under another name is the same file: replacing the plain
    // file would destroy the archive.
    if (platform::StatusOf(path).SameFileAs(m_oArchiveFile.Status())) {
      ShowWarning(m_ui, "The file to decrypt to must not be the encrypted file.", 0);
      return false;
    }
    if (IsFolder()) return PrepareFolder();
    try {
      m_oPlain = platform::ReplacementFile::Create(path);
    } catch (const RuntimeError& e) {
      ReportFileFailure(m_ui, "Failed to open file.", e);
      return false;
    }
    if (!RoomForPlainFile(m_oPlain->Data().FreeSpace())) {
      m_oPlain.reset();
      return false;
    }
    if (FileExists(path)) {
      if (ConfirmReplace(m_ui, path) != MsgResult::Yes) {
        m_oPlain.reset();
        return false;
      }
      m_bReplace = true;
    }
    SetOperation("");
    SetFile(GetFileNameOfPath(archive));
    SetProgress(0, 1);
    return true;
  } catch (...) {
    m_oPlain.reset();
    ShowRuntimeError(m_ui, "Failed to initialize Decrypt form.");
    return false;
  }
}

void frmDecrypt::DoRun() {
  const platform::PromptPurpose purpose("to decrypt " + GetFileNameOfPath(m_oParameters.m_strEncFilePath));
  const bool compress = m_oParameters.m_bCompressFile;
  std::int32_t result = kOk;
  try {
    if (!m_oPlain && m_strFolderWork.empty()) throw RuntimeError(rt::kBadFileName);
    // One pass; for a compressed archive "Decompressing:" follows once the
    // whole stream is decrypted, and says what the expansion found.
    SetOperation("Decrypting:");
    DoEvents();
    if (m_oModern && IsFolder()) {
      result = DecryptModern();
      if (result == kOk) result = PublishFolder();
      // A folder is shown by whatever shows folders, when there is one: it
      // runs nothing.
      if (result == kOk && m_oParameters.m_bOpenFile && HasAssociatedApp(m_oParameters.m_strFilePath)) {
        OpenWithAssociatedApp(m_ui, m_oParameters.m_strFilePath);
      }
    } else if (m_oModern) {
      result = DecryptModern();
      if (result == kOk) {
        const std::int32_t properties = SetModernProperties();
        result = PublishFile();
        if (result == kOk) {
          result = properties;
          if (m_oParameters.m_bOpenFile) OpenDecryptedFile();
        }
      }
    } else {
      result = DecryptFile();
    }
    if (!m_oModern && result == kOk && compress) {
      SetOperation("Decompressing:");
      DoEvents();
      result = Cancelled() ? kCancelled : ReportDamage();
    }
    if (!m_oModern && result == kOk) {
      // Times and attributes that cannot be set do not cost the file.
      const std::int32_t properties = SetFileProperties();
      result = PublishFile();
      if (result == kOk) {
        result = properties;
        if (m_oParameters.m_bOpenFile) OpenDecryptedFile();
      }
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to decrypt file.", error);
    result = error.Number();
  }
  m_nResult = result;
  SetOperation("Cleaning up");
  SetFile("");
  DoEvents();
  // Whatever was written of a plain file that is not complete is destroyed;
  // the old file, if any, is untouched.
  if (m_oPlain && !m_oPlain->Published()) {
    WipeAndClose(m_oPlain->Data(), m_library);
    m_oPlain->Discard();
  }
  m_oPlain.reset();
  RemoveFolderWork();
  m_oArchiveFile.Close();
  Finish(result);
}

std::int32_t frmDecrypt::DecryptFile() {
  m_eDamage = StreamDamage::None;
  // A password is tried in each of its forms (PasswordForms) until one
  // opens the archive; every try writes into the same new file, from its
  // start, so nothing reaches the target's name before the right one.
  std::vector<std::string> forms = m_oParameters.m_bPwdRequired
                                       ? PasswordForms(m_oParameters.m_strPassword, m_oParameters.m_colPasswordCodePages)
                                       : std::vector<std::string> {m_oParameters.m_strPassword};
  std::int32_t result = kOk;
  for (std::size_t i = 0; i < forms.size(); ++i) {
    clsParameters attempt = m_oParameters;
    attempt.m_strPassword = forms[i];
    result = DecryptWith(attempt, i + 1 < forms.size());
    WipeBytes(attempt.m_strPassword);
    if (result != kWrongPassword) break;
  }
  WipeForms(forms);
  return result;
}

std::int32_t frmDecrypt::DecryptWith(const clsParameters& i_oAttempt, bool i_bTrial) {
  clsArchive archive(m_ui, m_library);
  archive.SetPasswordTrial(i_bTrial);
  clsBinaryFile data;
  std::int32_t result = kOk;
  ByteArray buffer(static_cast<std::size_t>(kPieceSize));
  try {
    const bool compress = m_oParameters.m_bCompressFile;
    clsParameters stored;
    clsFileDesc desc;
    archive.AttachArchive(m_oArchiveFile.Duplicate(), kModeRead, m_oParameters.m_strEncFilePath);
    if (!m_pCheck) data.AttachFile(m_oPlain->Data().Duplicate(), kModeWrite);
    if ((result = archive.ReadParameters(stored, desc)) != kOk ||
        // The sizes must make sense, and the archive must still be the one
        // the record was read from. (The record's provider level is the one
        // its cipher needs, which may be below the level the archive was
        // made with: both give the same keys.)
        (result = (desc.m_nFileSize < 1 || desc.m_nCompFileSize < 0 || (compress && desc.m_nCompFileSize < 1) ||
                   stored.m_bCompressFile != compress || stored.m_bPwdRequired != m_oParameters.m_bPwdRequired ||
                   stored.m_eAlg != m_oParameters.m_eAlg)
                      ? rt::kInvalidCall
                      : kOk) != kOk) {
      ShowError(m_ui, "Failed to read encrypted file parameters.", 0);
    } else if ((result = archive.DecryptInit(i_oAttempt, desc)) == kOk) {
      m_nStoredSize = desc.m_nFileSize;
      const std::int64_t total = compress ? desc.m_nCompFileSize : desc.m_nFileSize;
      std::int64_t position = 0;
      bool final = false;
      std::int32_t piece = kPieceSize;
      RunWriter writer = m_pCheck ? RunWriter(*m_pCheck) : RunWriter(data);
      std::optional<StreamExpander> expander;
      if (compress) expander.emplace(m_zlib, writer, total, m_nStoredSize);
      // The expanded blocks go out as they come; what goes wrong there is
      // the expansion's failure ("Failed to decompress file.").
      const auto expand = [&](const std::function<void()>& step) {
        try {
          step();
          return kOk;
        } catch (...) {
          const RuntimeError error = platform::CurrentRuntimeError();
          ShowRuntimeError(m_ui, "Failed to decompress file.", error);
          return error.Number();
        }
      };
      SetProgress(0, total);
      for (;;) {
        if (position >= total || Cancelled()) {
          result = Cancelled() ? kCancelled : kOk;
          break;
        }
        if (total - position < kPieceSize + 1) {
          final = true;
          piece = static_cast<std::int32_t>(total - position);
          buffer.resize(static_cast<std::size_t>(piece));
        }
        if ((result = archive.Decrypt(final, piece, buffer)) != kOk) break;
        // A compressed stream starts with a block's two lengths; under a
        // wrong key they are out of bounds long before the final piece.
        if (i_bTrial && compress && position == 0 && !final) {
          const std::int32_t c = ReadLongBE(buffer, 0);
          const std::int32_t u = ReadLongBE(buffer, 4);
          if (c < 1 || c > total - 8 || u < 1 || u > kPieceSize) {
            result = kWrongPassword;
            break;
          }
        }
        if (compress) {
          if ((result = expand([&] { expander->Feed(buffer); })) != kOk) break;
        } else {
          writer.Write(buffer);
        }
        position += piece;
        SetProgress(position, total);
        DoEvents();
      }
      if (result == kOk) {
        if (compress) {
          result = expand([&] {
            expander->Finish();
            writer.Flush();
          });
          m_eDamage = expander->Found();
          m_nDamageZ = expander->ZResult();
        } else {
          writer.Flush();
        }
      }
      // The encrypted stream ends the file: anything after it is damage.
      if (result == kOk && archive.Remaining() != 0) {
        ShowError(m_ui, kTrailingData, 0);
        result = kDamaged;
      }
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to decrypt file.", error);
    result = error.Number();
  }
  WipeBytes(buffer);
  archive.DecryptDone();
  archive.CloseArchive();
  if (!m_pCheck) data.CloseFile();
  return result;
}

// What a check compares the decrypted stream with.
class CheckSink : public ByteSink {
 public:
  // Every byte compared equal, and the original has no more.
  virtual bool Same() = 0;
};

namespace {

// The comparison of a decrypted stream with the file it was made from.
class CompareWithFile final : public CheckSink {
 public:
  explicit CompareWithFile(const platform::File& original) : m_file(original), m_size(original.Size()) {}
  ~CompareWithFile() override { WipeBytes(m_buffer); }
  CompareWithFile(const CompareWithFile&) = delete;
  CompareWithFile& operator=(const CompareWithFile&) = delete;

  void Put(std::int64_t offset, std::span<const std::uint8_t> data) override {
    if (m_differs) return;
    const auto length = static_cast<std::int64_t>(data.size());
    if (offset != m_next || length > m_size - offset) {
      m_differs = true;
      return;
    }
    m_buffer.resize(data.size());
    m_file.ReadAt(offset, m_buffer);
    m_differs = !std::equal(data.begin(), data.end(), m_buffer.begin());
    m_next = offset + length;
  }
  bool Same() override { return !m_differs && m_next == m_size; }

 private:
  const platform::File& m_file;
  std::int64_t m_size;
  std::int64_t m_next = 0;
  bool m_differs = false;
  ByteArray m_buffer;
};

// The comparison of a decrypted stream with the folder it was made from:
// the folder is packed again, and the same folder gives the same stream.
class CompareWithFolder final : public CheckSink {
 public:
  explicit CompareWithFolder(const std::string& folder) : m_packer(folder) {}
  ~CompareWithFolder() override { WipeBytes(m_buffer); }
  CompareWithFolder(const CompareWithFolder&) = delete;
  CompareWithFolder& operator=(const CompareWithFolder&) = delete;

  void Put(std::int64_t offset, std::span<const std::uint8_t> data) override {
    if (m_differs) return;
    if (offset != m_next) {
      m_differs = true;
      return;
    }
    m_buffer.resize(data.size());
    try {
      // A file that changed size since it was packed differs.
      m_differs = m_packer.Read(m_buffer) != data.size() || !std::equal(data.begin(), data.end(), m_buffer.begin());
    } catch (const RuntimeError&) {
      m_differs = true;
    }
    m_next = offset + static_cast<std::int64_t>(data.size());
  }
  bool Same() override {
    if (m_differs) return false;
    if (m_packer.End()) return true;
    std::array<std::uint8_t, 1> more {};
    try {
      return m_packer.Read(more) == 0;
    } catch (const RuntimeError&) {
      return false;
    }
  }

 private:
  FolderPacker m_packer;
  std::int64_t m_next = 0;
  bool m_differs = false;
  ByteArray m_buffer;
};

}  // namespace

std::int32_t frmDecrypt::Verify(const clsParameters& record, const platform::File& archive,
                                const platform::File& original, JobWindow& outer) {
  CompareWithFile compare(original);
  return VerifyWith(record, archive, compare, outer);
}

std::int32_t frmDecrypt::VerifyFolder(const clsParameters& record, const platform::File& archive,
                                      const std::string& folder, JobWindow& outer) {
  std::optional<CompareWithFolder> compare;
  try {
    compare.emplace(folder);
  } catch (const RuntimeError&) {
    // The folder can no longer be packed as it was: it changed.
    return kNotTheOriginal;
  }
  return VerifyWith(record, archive, *compare, outer);
}

std::int32_t frmDecrypt::VerifyWith(const clsParameters& record, const platform::File& archive, CheckSink& compare,
                                    JobWindow& outer) {
  const platform::PromptPurpose purpose("to check " + GetFileNameOfPath(record.m_strEncFilePath));
  std::int32_t result = kOk;
  try {
    BecomeStepOf(outer);
    m_oParameters = record;
    m_oArchiveFile = archive.Duplicate();
    m_oModern.reset();
    m_pCheck = &compare;
    if (m_oParameters.m_eAlg == kCipherAes256) {
      result = OpenModern() ? DecryptModern() : kDamaged;
    } else {
      result = DecryptFile();
      if (result == kOk && m_oParameters.m_bCompressFile) result = Cancelled() ? kCancelled : ReportDamage();
    }
    m_pCheck = nullptr;
    if (result == kOk && !compare.Same()) result = kNotTheOriginal;
  } catch (...) {
    m_pCheck = nullptr;
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to decrypt file.", error);
    result = error.Number();
  }
  m_oModern.reset();
  m_oArchiveFile.Close();
  return result;
}

std::int32_t frmDecrypt::ReportDamage() {
  const std::string failed = "Failed to decompress file.";
  switch (m_eDamage) {
    case StreamDamage::None:
      return kOk;
    case StreamDamage::BadLengths:
      // A block never holds more than one 4096-byte piece, nor more than
      // what is left of the stream.
      ShowRuntimeError(m_ui, failed, RuntimeError(rt::kInvalidCall));
      return rt::kInvalidCall;
    case StreamDamage::Cut:
      ShowRuntimeError(m_ui, failed, RuntimeError(rt::kInputPastEnd));
      return rt::kInputPastEnd;
    case StreamDamage::BadData:
      ShowError(m_ui,
                failed + kCR + (m_nDamageZ == Z_MEM_ERROR ? "There is not enough memory." : "The compressed data is damaged."),
                0);
      return m_nDamageZ;
    case StreamDamage::TooMuch:
      ShowError(m_ui, kTooMuchData, 0);
      return kDamaged;
    case StreamDamage::TooLittle:
      ShowError(m_ui, kTooLittleData, 0);
      return kDamaged;
  }
  return kDamaged;
}

std::int32_t frmDecrypt::SetFileProperties() {
  try {
    clsArchive archive(m_ui, m_library);
    archive.AttachArchive(m_oArchiveFile.Duplicate(), kModeRead, m_oParameters.m_strEncFilePath);
    clsParameters stored;
    clsFileDesc desc;
    if (const std::int32_t status = archive.ReadParameters(stored, desc); status != kOk) {
      ShowError(m_ui, "Failed to read encrypted file parameters.", 0);
      archive.CloseArchive();
      return status;
    }
    archive.CloseArchive();
    ApplyProperties(BytesToFileTime(desc.m_varCreateTime), BytesToFileTime(desc.m_varModifyTime),
                    static_cast<std::uint32_t>(desc.m_nAttributes));
    return kOk;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to set file properties.");
    return platform::CurrentRuntimeError().Number();
  }
}

void frmDecrypt::ApplyProperties(std::int64_t i_nCreated, std::int64_t i_nModified, std::uint32_t i_nAttributes) {
  const platform::File& file = m_oPlain->Data();
  // The stored last-write time is also the last-access time. Times that
  // cannot be set are not a failure.
  try {
    file.SetTimes(platform::FileTimes {i_nCreated, i_nModified, i_nModified});
  } catch (const RuntimeError&) {
  }
  // The file was made for its owner alone and stays so (the archive keeps
  // no permissions, and its content was private), unless other
  // permissions were asked for; then the stored attributes (read-only).
  if (m_oParameters.m_nFileMode >= 0) {
    file.SetPermissions(static_cast<unsigned>(m_oParameters.m_nFileMode));
  } else {
    file.ApplyDefaultPermissions(0600);
  }
  file.SetAttributes(static_cast<platform::DWORD>(i_nAttributes) & 7);
}

std::int32_t frmDecrypt::PublishFile() {
  try {
    m_oPlain->Publish(m_bReplace, [this](platform::File& old) { OverwriteWithRandom(old, m_library); });
    return kOk;
  } catch (const RuntimeError& e) {
    ReportFileFailure(m_ui, "Failed to save decrypted file.", e);
    return e.Number();
  }
}

void frmDecrypt::OpenDecryptedFile() {
  const std::string& path = m_oParameters.m_strFilePath;
  // Whoever made the archive chose the file's name and content: a file that
  // its application would run is opened only when the user says so.
  if (const auto why = WhyFileCanRunCode(path)) {
    const MessageBoxRequest question {path + " can run programs on this computer (" + *why + ")." + kCR +
                                          "Opening it runs what whoever made the encrypted file put into it." + kCR +
                                          "Do you want to open it?",
                                      "Open File?",
                                      MsgIcon::Question,
                                      MsgButtons::YesNo,
                                      2,
                                      kTopicRunsCode};
    if (m_ui.ShowMessageBox(question) != MsgResult::Yes) return;
  }
  // A file that was decrypted but that nothing here opens is no failure:
  // say where it is, and offer its folder.
  if (!HasAssociatedApp(path)) {
    const std::string folder = GetFolderOfPath(path, true);
    const MessageBoxRequest where {GetFileNameOfPath(path) + " was decrypted into " + (folder.empty() ? "." : folder) +
                                       "." + kCR + "No application on this computer opens files of its type, so it "
                                       "was not opened." + kCR + "Do you want to see it in its folder?",
                                   "Decrypt", MsgIcon::Information, MsgButtons::YesNo, 2, {}};
    if (m_ui.ShowMessageBox(where) == MsgResult::Yes) ShowInFolder(path);
    return;
  }
  OpenWithAssociatedApp(m_ui, path);
}

}  // namespace sealvane
