// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/frmEncrypt.h"

#include <zlib.h>

#include <cstdint>
#include <limits>

#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/clsBinaryFile.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::RuntimeError;

bool frmEncrypt::Initialize(const clsParameters& i_oParameters) {
  try {
    m_oParameters = i_oParameters;
    const std::string& path = m_oParameters.m_strFilePath;
    if (path.empty()) {
      ShowWarning(m_ui, "Please specify a file.", 0);
      return false;
    }
    if (!FileExists(path)) {
      ShowWarning(m_ui, "The file does not exist.  Please specify an existing file.", 0);
      return false;
    }
    const std::int64_t size = platform::FileLength(path);
    if (size == 0) {
      ShowWarning(m_ui, "The file is empty.  Please specify a non-empty file.", 0);
      return false;
    }
    // Sizes in an archive are 32-bit: a larger file is refused before
    // anything is written, never stored with a wrapped size.
    if (size > std::numeric_limits<std::int32_t>::max()) {
      ShowWarning(m_ui, "The file is too large.  Please specify a file smaller than 2 GB.", 0);
      return false;
    }
    const std::string& archive = m_oParameters.m_strEncFilePath;
    if (archive.empty()) {
      ShowWarning(m_ui, "Please specify an encrypted file.", 0);
      return false;
    }
    // Replacing the archive wipes it: it must not be the file to encrypt.
    if (archive == path) {
      ShowWarning(m_ui, "The encrypted file must not be the file to encrypt.", 0);
      return false;
    }
    if (!ReplaceExistingFile(m_ui, archive, m_library)) return false;
    m_strFileName = GetFileNameOfPath(path);
    SetOperation("");
    SetFile(m_strFileName);
    SetProgress(0, 1);
    return true;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to initialize Encrypt form.");
    return false;
  }
}

void frmEncrypt::DoRun() {
  const bool compress = m_oParameters.m_bCompressFile;
  std::int32_t result = 0;
  try {
    m_strDataFile = compress ? GetTempFilePath() : m_oParameters.m_strFilePath;
    if (compress) {
      SetOperation("Compressing:");
      DoEvents();
      result = CompressFile();
    }
    if (!compress || result == 0) {
      SetOperation("Encrypting:");
      DoEvents();
      result = EncryptFile();
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to encrypt file.", error);
    result = error.Number();
  }
  // A half-written archive never stays behind.
  if (result != 0) WipeFile(m_oParameters.m_strEncFilePath, m_library);
  m_nResult = result;
  SetOperation("Cleaning up");
  SetFile("");
  DoEvents();
  if (compress) WipeFile(m_strDataFile, m_library);
  Finish();
}

std::int32_t frmEncrypt::CompressFile() {
  clsBinaryFile input;
  clsBinaryFile output;
  try {
    if (const std::int32_t status = input.OpenFile(m_oParameters.m_strFilePath, 0); status != 0) {
      ShowError(m_ui, "Failed to open file.", 0);
      return status;
    }
    if (const std::int32_t status = output.OpenFile(m_strDataFile, 1, 0600); status != 0) {
      ShowError(m_ui, "Failed to open compressed file.", 0);
      return status;
    }
    const std::int64_t total = input.FileSize();
    std::int64_t readPosition = 0;
    std::int32_t piece = kPieceSize;
    ByteArray in(static_cast<std::size_t>(kPieceSize));
    ByteArray out;
    std::uint8_t lengths[8];
    std::int32_t result = 0;
    while (readPosition < total && !Cancelled()) {
      if (total - readPosition < kPieceSize) {
        piece = static_cast<std::int32_t>(total - readPosition);
        in.resize(static_cast<std::size_t>(piece));
      }
      RaiseFileStatus(input.ReadData(in, static_cast<std::int32_t>(readPosition)));
      readPosition += piece;
      uLongf length = static_cast<uLongf>(2 * piece + 12);
      out.resize(length);
      const int z = compress(out.data(), &length, in.data(), static_cast<uLong>(piece));
      if (z != Z_OK) {
        result = z;
        break;
      }
      WriteLongBE(lengths, 0, static_cast<std::int32_t>(length));
      WriteLongBE(lengths, 4, piece);
      RaiseFileStatus(output.WriteSeqData(lengths));
      RaiseFileStatus(output.WriteSeqData(std::span<const std::uint8_t>(out.data(), length)));
      SetProgress(readPosition, total);
      DoEvents();
    }
    if (result == 0 && Cancelled()) result = kCancelled;
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
  std::int32_t result = 0;
  try {
    clsFileDesc desc;
    desc.m_strFileName = m_strFileName;
    std::int64_t created = 0, modified = 0;
    GetFileTimes(m_oParameters.m_strFilePath, created, modified);
    FileTimeToBytes(desc.m_varCreateTime, created);
    FileTimeToBytes(desc.m_varModifyTime, modified);
    desc.m_nAttributes = static_cast<std::int32_t>(platform::GetAttributes(m_oParameters.m_strFilePath) & 7);
    const std::int64_t plainSize = platform::FileLength(m_oParameters.m_strFilePath);
    const std::int64_t compSize = m_oParameters.m_bCompressFile ? platform::FileLength(m_strDataFile) : 0;
    if (plainSize > std::numeric_limits<std::int32_t>::max() || compSize > std::numeric_limits<std::int32_t>::max()) {
      throw RuntimeError(platform::rt::kOverflow);
    }
    desc.m_nFileSize = static_cast<std::int32_t>(plainSize);
    desc.m_nCompFileSize = static_cast<std::int32_t>(compSize);

    if (const std::int32_t status = data.OpenFile(m_strDataFile, 0); status != 0) {
      ShowError(m_ui, "Failed to open file.", 0);
      result = status;
    } else if (const std::int32_t opened = archive.OpenArchive(m_oParameters.m_strEncFilePath, 1); opened != 0) {
      ShowError(m_ui, "Failed to open encrypted file.", 0);
      result = opened;
    } else if ((result = archive.EncryptInit(m_oParameters, desc)) == 0) {
      const std::int64_t total = data.FileSize();
      std::int64_t position = 0;
      bool final = false;
      std::int32_t piece = kPieceSize;
      ByteArray buffer(static_cast<std::size_t>(kPieceSize));
      while (total > position && !Cancelled()) {
        if (total - position < kPieceSize + 1) {
          final = true;
          piece = static_cast<std::int32_t>(total - position);
          buffer.resize(static_cast<std::size_t>(piece));
        }
        RaiseFileStatus(data.ReadData(buffer, static_cast<std::int32_t>(position)));
        if ((result = archive.Encrypt(final, piece, buffer)) != 0) break;
        position += piece;
        SetProgress(position, total);
        DoEvents();
      }
      if (result == 0 && Cancelled()) result = kCancelled;
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

}  // namespace sealvane
