// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/frmEncrypt.h"

#include <cstdint>
#include <limits>

#include "RunIo.h"
#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/clsBinaryFile.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/Environment.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/RuntimeError.h"
#include "sealvane/platform/TempFile.h"

namespace sealvane {

using platform::RuntimeError;
namespace rt = platform::rt;

namespace {

constexpr const char* kCompressedTooLarge =
    "The file is too large to be compressed.  The encrypted file would be larger than 2 GB.\r"
    "Please turn compression off or specify a smaller file.";

}  // namespace

bool frmEncrypt::Initialize(const clsParameters& i_oParameters) {
  try {
    m_oParameters = i_oParameters;
    m_oArchive.reset();
    m_bReplace = false;
    const std::string& path = m_oParameters.m_strFilePath;
    if (path.empty()) {
      ShowWarning(m_ui, "Please specify a file.", 0);
      return false;
    }
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
    // Sizes in an archive are 32-bit: a larger file is refused before
    // anything is written, never stored with a wrapped size.
    if (size > std::numeric_limits<std::int32_t>::max()) {
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
    if (!m_oParameters.m_bCompressFile && HeaderEstimate() + clsArchive::StreamSize(size) > kMaxArchiveSize) {
      ShowWarning(m_ui, kFileTooLarge, 0);
      return false;
    }
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

void frmEncrypt::DoRun() {
  const bool compress = m_oParameters.m_bCompressFile;
  std::int32_t result = kOk;
  try {
    if (!m_oArchive) throw RuntimeError(rt::kBadFileName);
    if (compress) {
      SetOperation("Compressing:");
      DoEvents();
      result = CompressFile();
    }
    if (!compress || result == kOk) {
      SetOperation("Encrypting:");
      DoEvents();
      result = EncryptFile();
    }
    if (result == kOk) result = PublishArchive();
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to encrypt file.", error);
    result = error.Number();
  }
  // A half-written archive never stays behind, and the old one is untouched.
  if (m_oArchive && !m_oArchive->Published()) {
    WipeAndClose(m_oArchive->Data(), m_library);
    m_oArchive->Discard();
  }
  m_oArchive.reset();
  m_nResult = result;
  SetOperation("Cleaning up");
  SetFile("");
  DoEvents();
  if (compress) WipeAndClose(m_oCompressedFile, m_library);
  m_oPlainFile.Close();
  Finish();
}

std::int32_t frmEncrypt::CompressFile() {
  clsBinaryFile input;
  clsBinaryFile output;
  try {
    input.AttachFile(m_oPlainFile.Duplicate(), kModeRead, m_oParameters.m_strFilePath);
    try {
      m_oCompressedFile = platform::CreateScratchFile(platform::TempDirectory(), "SVA");
    } catch (const RuntimeError& e) {
      // Which folder, and why (the temporary folder may be full or locked).
      ReportFileFailure(m_ui, "Failed to open compressed file.", e);
      return e.Number();
    }
    output.AttachFile(m_oCompressedFile.Duplicate(), kModeWrite);
    const std::int64_t header = HeaderEstimate();
    const std::int64_t total = input.FileSize();
    RunReader reader(input, total);
    RunWriter writer(output);
    std::int64_t readPosition = 0;
    std::int32_t piece = kPieceSize;
    ByteArray in(static_cast<std::size_t>(kPieceSize));
    // A block: C and U, then the compressed piece, written as one.
    ByteArray block(8 + 2 * kPieceSize + 12);
    std::int32_t result = kOk;
    PieceCompressor compressor(m_zlib);
    while (readPosition < total && !Cancelled()) {
      if (total - readPosition < kPieceSize) {
        piece = static_cast<std::int32_t>(total - readPosition);
        in.resize(static_cast<std::size_t>(piece));
      }
      reader.Read(in);
      readPosition += piece;
      std::size_t length = 0;
      const int z = compressor.Compress(
          in, std::span<std::uint8_t>(block.data() + 8, static_cast<std::size_t>(2 * piece + 12)), length);
      if (z != Z_OK) {
        ShowError(m_ui, std::string("Failed to compress file.") + kCR + "The compression library reports error " +
                            std::to_string(z) + ".",
                  0);
        result = z;
        break;
      }
      // The compressed stream must fit the archive: stop as soon as it
      // cannot, not after compressing the rest.
      const std::int64_t streamSoFar = writer.Position() + 8 + static_cast<std::int64_t>(length);
      if (header + clsArchive::StreamSize(streamSoFar) > kMaxArchiveSize) {
        ShowWarning(m_ui, kCompressedTooLarge, 0);
        result = rt::kOverflow;
        break;
      }
      WriteLongBE(block, 0, static_cast<std::int32_t>(length));
      WriteLongBE(block, 4, piece);
      writer.Write(std::span<const std::uint8_t>(block.data(), 8 + length));
      SetProgress(readPosition, total);
      DoEvents();
    }
    if (result == kOk && !Cancelled()) writer.Flush();
    if (result == kOk && Cancelled()) result = kCancelled;
    return result;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to compress file.", error);
    return error.Number();
  }
}

std::int32_t frmEncrypt::EncryptFile() {
  clsBinaryFile data;
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
    FileTimeToBytes(desc.m_varCreateTime, times.creation);
    FileTimeToBytes(desc.m_varModifyTime, times.lastWrite);
    desc.m_nAttributes = static_cast<std::int32_t>(m_oPlainFile.Attributes(m_strFileName) & 7);
    const std::int64_t plainSize = m_oPlainFile.Size();
    const std::int64_t compSize = compress ? m_oCompressedFile.Size() : 0;
    if (plainSize > std::numeric_limits<std::int32_t>::max() || compSize > std::numeric_limits<std::int32_t>::max()) {
      ShowWarning(m_ui, kFileTooLarge, 0);
      result = rt::kOverflow;
    } else {
      desc.m_nFileSize = static_cast<std::int32_t>(plainSize);
      desc.m_nCompFileSize = static_cast<std::int32_t>(compSize);
      data.AttachFile(compress ? m_oCompressedFile.Duplicate() : m_oPlainFile.Duplicate(), kModeRead);
      archive.AttachArchive(m_oArchive->Data().Duplicate(), kModeWrite, m_oParameters.m_strEncFilePath);
      if ((result = archive.EncryptInit(m_oParameters, desc)) == kOk) {
        // The sizes just recorded are what is encrypted, even if the file
        // grows meanwhile.
        const std::int64_t total = compress ? compSize : plainSize;
        std::int64_t position = 0;
        bool final = false;
        std::int32_t piece = kPieceSize;
        ByteArray buffer(static_cast<std::size_t>(kPieceSize));
        RunReader reader(data, total);
        while (total > position && !Cancelled()) {
          if (total - position < kPieceSize + 1) {
            final = true;
            piece = static_cast<std::int32_t>(total - position);
            buffer.resize(static_cast<std::size_t>(piece));
          }
          reader.Read(buffer);
          if ((result = archive.Encrypt(final, piece, buffer)) != kOk) break;
          position += piece;
          SetProgress(position, total);
          DoEvents();
        }
        if (result == kOk && Cancelled()) result = kCancelled;
      }
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to encrypt file.", error);
    result = error.Number();
  }
  archive.EncryptDone();
  data.CloseFile();
  archive.CloseArchive();
  return result;
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
