// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/frmEncrypt.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdint>
#include <limits>
#include <optional>

#include "JobWorkers.h"
#include "WorkPool.h"
#include "RunIo.h"
#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/FolderTar.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/clsBinaryFile.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/Environment.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::RuntimeError;
namespace rt = platform::rt;

namespace {

constexpr const char* kCompressedTooLarge =
    "The file is too large to be compressed.  The encrypted file would be larger than 2 GB.\r"
    "Please turn compression off or specify a smaller file.";

}  // namespace

// The plain bytes in order: a file's (its size known beforehand) or a
// folder's tar stream (its size known at its end).
class PlainStream {
 public:
  PlainStream(clsBinaryFile& file, std::int64_t total) : m_reader(std::in_place, file, total), m_nTotal(total) {}
  explicit PlainStream(FolderPacker& folder)
      : m_pFolder(&folder), m_nTotal(static_cast<std::int64_t>(folder.Estimate())) {}

  // Fills `out`, fewer bytes only at the end. Throws RuntimeError.
  std::size_t Read(std::span<std::uint8_t> out) {
    std::size_t n = 0;
    if (m_pFolder) {
      n = m_pFolder->Read(out);
    } else {
      n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(out.size()), m_nTotal - m_nPosition));
      m_reader->Read(out.first(n));
    }
    m_nPosition += static_cast<std::int64_t>(n);
    return n;
  }
  bool End() const noexcept { return m_pFolder ? m_pFolder->End() : m_nPosition == m_nTotal; }
  std::int64_t Position() const noexcept { return m_nPosition; }
  // For progress: a folder's is an estimate.
  std::int64_t Total() const noexcept { return std::max(m_nTotal, m_nPosition); }
  bool Folder() const noexcept { return m_pFolder != nullptr; }

 private:
  std::optional<RunReader> m_reader;
  FolderPacker* m_pFolder = nullptr;
  std::int64_t m_nTotal;
  std::int64_t m_nPosition = 0;
};

bool frmEncrypt::Initialize(const clsParameters& i_oParameters) {
  try {
    m_oParameters = i_oParameters;
    m_oArchive.reset();
    m_pDeleteOriginal.reset();
    m_bOriginalDeleted = false;
    m_bReplace = false;
    const std::string& path = m_oParameters.m_strFilePath;
    if (path.empty()) {
      ShowWarning(m_ui, "Please specify a file.", 0);
      return false;
    }
    m_pFolder.reset();
    if (platform::StatusOf(path).kind == platform::FileKind::Folder) return InitializeFolder();
    if (!FileExists(path)) {
      ShowWarning(m_ui, "The file does not exist.  Please specify an existing file.", 0);
      return false;
    }
    // The plain file is resolved once: every later check and read uses this
    // descriptor, whatever happens to the name meanwhile.
    try {
      m_oPlainFile = platform::File::Open(path, platform::File::Access::Read);
    } catch (const RuntimeError& e) {
      ReportUnreadable(m_ui, "Failed to open file.", path, e);
      return false;
    }
    const std::int64_t size = m_oPlainFile.Size();
    if (size == 0) {
      ShowWarning(m_ui, "The file is empty.  Please specify a non-empty file.", 0);
      return false;
    }
    // Sizes in a version 1 archive are 32-bit: a larger file is refused
    // before anything is written, never stored with a wrapped size.
    const bool modern = m_oParameters.m_eAlg == kCipherAes256;
    if (!modern && size > std::numeric_limits<std::int32_t>::max()) {
      ShowWarning(m_ui, kFileTooLarge, 0);
      return false;
    }
    const std::string& archive = m_oParameters.m_strEncFilePath;
    if (archive.empty()) {
      ShowWarning(m_ui, "Please specify an encrypted file.", 0);
      return false;
    }
    // The same file under another name (a hard link, "./", a linked folder)
    // is the same file: replacing the archive would destroy the plain file.
    if (platform::StatusOf(archive).SameFileAs(m_oPlainFile.Status())) {
      ShowWarning(m_ui, "The encrypted file must not be the file to encrypt.", 0);
      return false;
    }
    m_strFileName = GetFileNameOfPath(path);
    // Without compression the archive's size is known now, header and
    // padding included.
    if (!modern && !m_oParameters.m_bCompressFile &&
        HeaderEstimate() + clsArchive::StreamSize(size) > m_nMaxArchiveSize) {
      ShowWarning(m_ui, kFileTooLarge, 0);
      return false;
    }
    // The original's deletion is checked now, before anything is written.
    if (m_oParameters.m_bDeleteOriginal) {
      m_pDeleteOriginal = std::make_unique<frmSecureDelete>(m_ui, m_library);
      if (!m_pDeleteOriginal->InitializeOriginal(path, m_oPlainFile.Status())) {
        m_pDeleteOriginal.reset();
        return false;
      }
    }
    return CreateArchive();
  } catch (...) {
    m_oArchive.reset();
    ShowRuntimeError(m_ui, "Failed to initialize Encrypt form.");
    return false;
  }
}

bool frmEncrypt::InitializeFolder() {
  const std::string& path = m_oParameters.m_strFilePath;
  const std::string& archive = m_oParameters.m_strEncFilePath;
  if (archive.empty()) {
    ShowWarning(m_ui, "Please specify an encrypted file.", 0);
    return false;
  }
  // An archive inside the folder would be packed into itself.
  std::error_code ec;
  const auto folder = std::filesystem::weakly_canonical(path, ec);
  const auto into = std::filesystem::weakly_canonical(std::filesystem::absolute(archive, ec).parent_path(), ec);
  if (!ec && std::mismatch(folder.begin(), folder.end(), into.begin(), into.end()).first == folder.end()) {
    ShowWarning(m_ui, "The encrypted file must not be inside the folder to encrypt.  Please specify another file.", 0);
    return false;
  }
  try {
    m_pFolder = std::make_shared<FolderPacker>(path);
  } catch (const RuntimeError& e) {
    ShowRuntimeError(m_ui, "Failed to open folder.", e);
    return false;
  }
  // The original's deletion is checked now, before anything is written.
  if (m_oParameters.m_bDeleteOriginal) {
    m_pDeleteOriginal = std::make_unique<frmSecureDelete>(m_ui, m_library);
    if (!m_pDeleteOriginal->InitializeOriginalFolder(path, platform::StatusOf(path))) {
      m_pDeleteOriginal.reset();
      m_pFolder.reset();
      return false;
    }
  }
  if (GetFileTimes(path, m_nFolderCreated, m_nFolderModified) != 0) m_nFolderCreated = m_nFolderModified = 0;
  // Stored under the name it was given (a link's, as for a file).
  m_strFileName = GetFileNameOfPath(WithoutTrailingSlash(path));
  if (m_oParameters.m_eAlg != kCipherAes256) {
    // Version 1 knows files only: the archive holds the folder's tar
    // stream as NAME.tar, within its 2 GB.
    m_strFileName += ".tar";
    if (m_pFolder->Estimate() > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
      ShowWarning(m_ui, kFileTooLarge, 0);
      m_pFolder.reset();
      return false;
    }
  }
  return CreateArchive();
}

bool frmEncrypt::CreateArchive() {
  const std::string& archive = m_oParameters.m_strEncFilePath;
  try {
    // The new archive is made beside the target and replaces it only when it
    // is complete: a folder that cannot take it fails here, before anything.
    try {
      m_oArchive = platform::ReplacementFile::Create(archive);
    } catch (const RuntimeError& e) {
      ReportFileFailure(m_ui, "Failed to open encrypted file.", e);
      return false;
    }
    if (FileExists(archive)) {
      if (ConfirmReplace(m_ui, archive) != MsgResult::Yes) {
        m_oArchive.reset();
        return false;
      }
      m_bReplace = true;
    }
    SetOperation("");
    SetFile(m_strFileName);
    SetProgress(0, 1);
    return true;
  } catch (...) {
    m_oArchive.reset();
    ShowRuntimeError(m_ui, "Failed to initialize Encrypt form.");
    return false;
  }
}

std::int64_t frmEncrypt::HeaderEstimate() const {
  clsFileDesc desc;
  desc.m_strFileName = m_strFileName;
  // The wrapped keys are not known before EncryptInit, which checks again.
  return clsArchive::HeaderSize(m_oParameters, desc, {});
}

unsigned frmEncrypt::DefaultWorkers() noexcept { return WorkPool::DefaultThreads(); }

void frmEncrypt::DoRun() {
  const bool compress = m_oParameters.m_bCompressFile;
  std::int32_t result = kOk;
  try {
    if (!m_oArchive) throw RuntimeError(rt::kBadFileName);
    // One pass: with compression it is named by its first stage, and
    // "Encrypting:" follows once the whole file has been read.
    SetOperation(compress ? "Compressing:" : "Encrypting:");
    DoEvents();
    // With the check and the deletion, the bar goes over all three: each
    // reads or writes about as much as the others.
    if (m_pDeleteOriginal) SetStepShare(0, 40);
    result = m_oParameters.m_eAlg == kCipherAes256 ? EncryptModern() : EncryptFile();
    if (result == kOk && m_pDeleteOriginal) result = VerifyArchive();
    if (result == kOk) result = PublishArchive();
    if (result == kOk && m_pFolder && !m_pFolder->LeftOut().empty()) {
      // Nothing is left out unsaid.
      const auto& leftOut = m_pFolder->LeftOut();
      ShowWarning(m_ui,
                  std::to_string(leftOut.size()) +
                      (leftOut.size() == 1 ? " special file (a device, pipe or socket) was" :
                                             " special files (devices, pipes or sockets) were") +
                      " not encrypted:" + NameLines(leftOut),
                  0);
    }
    if (result == kOk && m_pDeleteOriginal) {
      result = DeleteOriginal();
    } else if (m_pDeleteOriginal) {
      // The archive failed, or was cancelled, or did not give the file back.
      ShowWarning(m_ui,
                  std::string(m_pFolder ? "The original folder " : "The original file ") + m_oParameters.m_strFilePath +
                      " was not deleted; it is as it was.",
                  0);
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, m_pFolder ? "Failed to encrypt folder." : "Failed to encrypt file.", error);
    result = error.Number();
  }
  m_pFolder.reset();
  m_nResult = result;
  SetOperation("Cleaning up");
  SetFile("");
  DoEvents();
  // A half-written archive never stays behind, and the old one is untouched.
  if (m_oArchive && !m_oArchive->Published()) {
    WipeAndClose(m_oArchive->Data(), m_library);
    m_oArchive->Discard();
  }
  m_oArchive.reset();
  m_oPlainFile.Close();
  Finish(result);
}

std::int32_t frmEncrypt::EncryptFile() {
  clsBinaryFile plain;
  clsArchive archive(m_ui, m_library);
  std::int32_t result = kOk;
  try {
    const bool compress = m_oParameters.m_bCompressFile;
    clsFileDesc desc;
    desc.m_strFileName = m_strFileName;
    platform::FileTimes times;
    try {
      times = m_oPlainFile.Times();
    } catch (const RuntimeError&) {
      // Times that cannot be read are stored as zero.
    }
    if (m_pFolder) {
      times.creation = m_nFolderCreated;
      times.lastWrite = m_nFolderModified;
    }
    FileTimeToBytes(desc.m_varCreateTime, times.creation);
    FileTimeToBytes(desc.m_varModifyTime, times.lastWrite);
    if (!m_pFolder) desc.m_nAttributes = static_cast<std::int32_t>(m_oPlainFile.Attributes(m_strFileName) & 7);
    // The size recorded now is what is encrypted, even if the file grows
    // meanwhile; a folder's stream is as long as it turns out to be (a
    // placeholder, written over in place at the end).
    const std::int64_t plainSize = m_pFolder ? 0 : m_oPlainFile.Size();
    if (plainSize > std::numeric_limits<std::int32_t>::max()) {
      ShowWarning(m_ui, kFileTooLarge, 0);
      result = rt::kOverflow;
    } else {
      desc.m_nFileSize = static_cast<std::int32_t>(plainSize);
      // The compressed size is not known before the stream is complete: a
      // placeholder, written over in place at the end.
      desc.m_nCompFileSize = 0;
      archive.AttachArchive(m_oArchive->Data().Duplicate(), kModeWrite, m_oParameters.m_strEncFilePath);
      std::optional<PlainStream> stream;
      if (m_pFolder) {
        stream.emplace(*m_pFolder);
      } else {
        plain.AttachFile(m_oPlainFile.Duplicate(), kModeRead, m_oParameters.m_strFilePath);
        stream.emplace(plain, plainSize);
      }
      if ((result = archive.EncryptInit(m_oParameters, desc)) == kOk) {
        result = compress ? CompressAndEncrypt(*stream, archive) : EncryptPieces(*stream, archive);
      }
      if (result == kOk && m_pFolder) result = archive.SetFileSize(static_cast<std::int32_t>(stream->Position()));
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to encrypt file.", error);
    result = error.Number();
  }
  archive.EncryptDone();
  plain.CloseFile();
  archive.CloseArchive();
  return result;
}

std::int32_t frmEncrypt::EncryptPieces(PlainStream& i_oPlain, clsArchive& io_oArchive) {
  std::int32_t result = kOk;
  ByteArray buffer(static_cast<std::size_t>(kPieceSize));
  const std::int64_t header = io_oArchive.StreamOffset();
  // The last piece is the one that ends the stream (1 to 4096 bytes).
  while (!i_oPlain.End() && !Cancelled()) {
    buffer.resize(static_cast<std::size_t>(kPieceSize));
    buffer.resize(i_oPlain.Read(buffer));
    // A folder's stream must fit the archive: refused as soon as it cannot.
    if (i_oPlain.Folder() && (i_oPlain.Position() > std::numeric_limits<std::int32_t>::max() ||
                              header + clsArchive::StreamSize(i_oPlain.Position()) > m_nMaxArchiveSize)) {
      ShowWarning(m_ui, kFileTooLarge, 0);
      result = rt::kOverflow;
      break;
    }
    if ((result = io_oArchive.Encrypt(i_oPlain.End(), static_cast<std::int32_t>(buffer.size()), buffer)) != kOk) break;
    SetProgress(i_oPlain.Position(), i_oPlain.Total());
    DoEvents();
  }
  WipeBytes(buffer);
  if (result == kOk && Cancelled()) result = kCancelled;
  return result;
}

std::int32_t frmEncrypt::CompressAndEncrypt(PlainStream& i_oPlain, clsArchive& io_oArchive) {
  // How long the job thread waits for a run before it lets the window
  // handle its messages (and hears Cancel).
  constexpr std::chrono::milliseconds kPoll(20);
  constexpr std::int64_t kRunBytes = std::int64_t {16} * kPieceSize;
  std::int32_t result = kOk;
  ByteArray stream;       // compressed bytes not yet encrypted
  std::size_t used = 0;   // ... of which the first `used` are encrypted
  try {
    WorkPool pool([this] { return std::make_unique<ZlibBlockWorker>(m_zlib); }, m_nWorkers);
    const std::int64_t header = io_oArchive.StreamOffset();
    std::int64_t compressed = 0;  // plain bytes whose blocks are in the stream
    std::int64_t streamSize = 0;
    bool allRead = false;
    while (result == kOk) {
      while (!i_oPlain.End() && !pool.Full()) {
        auto run = pool.NewRun();
        run->input.resize(static_cast<std::size_t>(kRunBytes));
        run->input.resize(i_oPlain.Read(run->input));
        pool.Submit(std::move(run));
      }
      // A folder's stream must fit a version 1 archive's sizes.
      if (i_oPlain.Position() > std::numeric_limits<std::int32_t>::max()) {
        ShowWarning(m_ui, kFileTooLarge, 0);
        result = rt::kOverflow;
        break;
      }
      if (i_oPlain.End() && !allRead) {
        allRead = true;
        SetOperation("Encrypting:");
      }
      if (pool.Empty()) break;
      WorkRun* run = pool.Next(kPoll);
      if (run != nullptr) {
        if (run->error) throw *run->error;
        if (run->status != Z_OK) {
          ShowError(m_ui, std::string("Failed to compress file.") + kCR + "The compression library reports error " +
                              std::to_string(run->status) + ".",
                    0);
          result = run->status;
          break;
        }
        // The compressed stream must fit the archive: refused as soon as it
        // cannot, not after compressing the rest.
        streamSize += static_cast<std::int64_t>(run->output.size());
        if (header + clsArchive::StreamSize(streamSize) > m_nMaxArchiveSize) {
          ShowWarning(m_ui, kCompressedTooLarge, 0);
          result = rt::kOverflow;
          break;
        }
        stream.insert(stream.end(), run->output.begin(), run->output.end());
        compressed += static_cast<std::int64_t>(run->input.size());
        pool.Release();
        SetProgress(compressed, i_oPlain.Total());
        // Every piece but the last: which piece is final is known only when
        // the whole file is compressed. The cancel flag is tested before
        // each piece.
        while (stream.size() - used > static_cast<std::size_t>(kPieceSize) && !Cancelled()) {
          result = io_oArchive.Encrypt(false, kPieceSize, std::span<const std::uint8_t>(stream.data() + used, kPieceSize));
          if (result != kOk) break;
          used += kPieceSize;
          DoEvents();
        }
        stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(used));
        used = 0;
      }
      DoEvents();
      if (result == kOk && Cancelled()) result = kCancelled;
    }
    pool.Stop();
    if (result == kOk) {
      result = io_oArchive.Encrypt(true, static_cast<std::int32_t>(stream.size()), stream);
      if (result == kOk) result = io_oArchive.SetCompFileSize(static_cast<std::int32_t>(streamSize));
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to compress file.", error);
    result = error.Number();
  }
  WipeBytes(stream);
  return result;
}

std::int32_t frmEncrypt::VerifyArchive() {
  SetOperation("Verifying:");
  SetFile(GetFileNameOfPath(m_oParameters.m_strEncFilePath));
  SetStepShare(40, 70);
  SetProgress(0, 1);
  DoEvents();
  const platform::File& archive = m_oArchive->Data();
  // What is read back is what the device holds, not what the cache kept.
  try {
    archive.SyncData();
  } catch (const RuntimeError& e) {
    ReportFileFailure(m_ui, "Failed to save encrypted file.", e);
    return e.Number();
  }
  archive.DropCache();
  frmDecrypt check(m_ui, m_library, m_zlib);
  check.SetWorkers(m_nWorkers);
  const std::int32_t result = m_pFolder ? check.VerifyFolder(m_oParameters, archive, m_oParameters.m_strFilePath, *this)
                                        : check.Verify(m_oParameters, archive, m_oPlainFile, *this);
  if (result == kNotTheOriginal) {
    ShowError(m_ui,
              std::string("The encrypted file does not give back the original exactly (did the ") +
                  (m_pFolder ? "folder" : "file") + " change while it was encrypted?)." + kCR +
                  "The encrypted file was not saved.",
              0);
  }
  return result;
}

std::int32_t frmEncrypt::DeleteOriginal() {
  m_pDeleteOriginal->SetOutcomePreface(m_oParameters.m_strEncFilePath +
                                       " was read back and gives the original back exactly." + kCR);
  SetStepShare(70, 100);
  m_pDeleteOriginal->RunAsStepOf(*this);
  m_bOriginalDeleted = m_pDeleteOriginal->Result() == kOk;
  return m_pDeleteOriginal->Result();
}

std::int32_t frmEncrypt::PublishArchive() {
  try {
    // The archive holds no secret: it gets the permissions of a new file.
    m_oArchive->Data().ApplyDefaultPermissions();
    m_oArchive->Publish(m_bReplace, [this](platform::File& old) { OverwriteWithRandom(old, m_library); });
    return kOk;
  } catch (const RuntimeError& e) {
    ReportFileFailure(m_ui, "Failed to save encrypted file.", e);
    return e.Number();
  }
}

}  // namespace sealvane
