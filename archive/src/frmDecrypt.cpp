// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/frmDecrypt.h"

#include <zlib.h>

#include <cstdint>

#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/clsBinaryFile.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/FileInfo.h"
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

}  // namespace

bool frmDecrypt::Initialize(const clsParameters& i_oParameters) {
  try {
    m_oParameters = i_oParameters;
    const std::string& archive = m_oParameters.m_strEncFilePath;
    if (archive.empty()) {
      ShowWarning(m_ui, "Please specify an encrypted file.", 0);
      return false;
    }
    if (!FileExists(archive)) {
      ShowWarning(m_ui, "The encrypted file does not exist.  Please specify an existing file.", 0);
      return false;
    }
    if (platform::FileLength(archive) == 0) {
      ShowWarning(m_ui, "The encrypted file is empty.  Please specify a non-empty file.", 0);
      return false;
    }
    const std::string& path = m_oParameters.m_strFilePath;
    if (path.empty()) {
      ShowWarning(m_ui, "Please specify a file.", 0);
      return false;
    }
    // Replacing the plain file wipes it: it must not be the archive itself.
    if (path == archive) {
      ShowWarning(m_ui, "The file to decrypt to must not be the encrypted file.", 0);
      return false;
    }
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
    if (!ReplaceExistingFile(m_ui, path, m_library)) return false;
    SetOperation("");
    SetFile(GetFileNameOfPath(archive));
    SetProgress(0, 1);
    return true;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to initialize Decrypt form.");
    return false;
  }
}

void frmDecrypt::DoRun() {
  const bool compress = m_oParameters.m_bCompressFile;
  std::int32_t result = 0;
  try {
    m_strDataFile = compress ? GetTempFilePath() : m_oParameters.m_strFilePath;
    SetOperation("Decrypting:");
    DoEvents();
    result = DecryptFile();
    if (result != 0) {
      // Whatever was written of the plain file is destroyed.
      WipeFile(m_oParameters.m_strFilePath, m_library);
    } else {
      if (compress) {
        SetOperation("Decompressing:");
        DoEvents();
        result = DecompressFile();
      }
      if (!compress || result == 0) {
        result = SetFileProperties();
        if (m_oParameters.m_bOpenFile) OpenWithAssociatedApp(m_ui, m_oParameters.m_strFilePath);
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
  if (compress) WipeFile(m_strDataFile, m_library);
  Finish();
}

std::int32_t frmDecrypt::DecryptFile() {
  clsArchive archive(m_ui, m_library);
  clsBinaryFile data;
  std::int32_t result = 0;
  try {
    clsParameters stored;
    clsFileDesc desc;
    if ((result = archive.OpenArchive(m_oParameters.m_strEncFilePath, 0)) != 0) {
      ShowError(m_ui, "Failed to open encrypted file.", 0);
    } else if ((result = data.OpenFile(m_strDataFile, 1, 0600)) != 0) {
      // Owner-only until the stored attributes are applied.
      ShowError(m_ui, "Failed to open file.", 0);
    } else if ((result = archive.ReadParameters(stored, desc)) != 0 ||
               (result = (desc.m_nFileSize < 1 || desc.m_nCompFileSize < 0 ||
                          (m_oParameters.m_bCompressFile && desc.m_nCompFileSize < 1))
                             ? rt::kInvalidCall
                             : 0) != 0) {
      ShowError(m_ui, "Failed to read encrypted file parameters.", 0);
    } else if ((result = archive.DecryptInit(m_oParameters, desc)) == 0) {
      const std::int64_t total = m_oParameters.m_bCompressFile ? desc.m_nCompFileSize : desc.m_nFileSize;
      std::int64_t position = 0;
      bool final = false;
      std::int32_t piece = kPieceSize;
      ByteArray buffer(static_cast<std::size_t>(kPieceSize));
      for (;;) {
        if (position >= total || Cancelled()) {
          result = Cancelled() ? kCancelled : 0;
          break;
        }
        if (total - position < kPieceSize + 1) {
          final = true;
          piece = static_cast<std::int32_t>(total - position);
          buffer.resize(static_cast<std::size_t>(piece));
        }
        if ((result = archive.Decrypt(final, piece, buffer)) != 0) break;
        RaiseFileStatus(data.WriteData(buffer, static_cast<std::int32_t>(position)));
        position += piece;
        SetProgress(position, total);
        DoEvents();
      }
    }
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to decrypt file.", error);
    result = error.Number();
  }
  archive.DecryptDone();
  archive.CloseArchive();
  data.CloseFile();
  return result;
}

std::int32_t frmDecrypt::DecompressFile() {
  clsBinaryFile input;
  clsBinaryFile output;
  try {
    if (const std::int32_t status = input.OpenFile(m_strDataFile, 0); status != 0) {
      ShowError(m_ui, "Failed to open compressed file.", 0);
      return status;
    }
    if (const std::int32_t status = output.OpenFile(m_oParameters.m_strFilePath, 1, 0600); status != 0) {
      ShowError(m_ui, "Failed to open file.", 0);
      return status;
    }
    const std::int64_t total = input.FileSize();
    std::int64_t readPosition = 0;
    std::int64_t writePosition = 0;
    std::int32_t result = 0;
    std::uint8_t lengths[8];
    ByteArray in;
    ByteArray out;
    while (readPosition < total && !Cancelled()) {
      RaiseFileStatus(input.ReadSeqData(lengths));
      const std::int32_t c = ReadLongBE(lengths, 0);
      const std::int32_t u = ReadLongBE(lengths, 4);
      readPosition += 8;
      // A block never holds more than one 4096-byte piece, nor more than
      // what is left of the stream.
      if (c < 1 || c > total - readPosition || u < 1 || u > kPieceSize) throw RuntimeError(rt::kInvalidCall);
      in.resize(static_cast<std::size_t>(c));
      out.resize(static_cast<std::size_t>(u));
      RaiseFileStatus(input.ReadSeqData(in));
      readPosition += c;
      uLongf length = static_cast<uLongf>(u);
      const int z = uncompress(out.data(), &length, in.data(), static_cast<uLong>(c));
      if (z != Z_OK) {
        result = z;
        break;
      }
      RaiseFileStatus(output.WriteData(std::span<const std::uint8_t>(out.data(), length), static_cast<std::int32_t>(writePosition)));
      writePosition += static_cast<std::int64_t>(length);
      SetProgress(readPosition, total);
      DoEvents();
    }
    if (result == 0 && Cancelled()) result = kCancelled;
    return result;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to decompress file.", error);
    return error.Number();
  }
}

std::int32_t frmDecrypt::SetFileProperties() {
  try {
    clsArchive archive(m_ui, m_library);
    if (const std::int32_t status = archive.OpenArchive(m_oParameters.m_strEncFilePath, 0); status != 0) {
      ShowError(m_ui, "Failed to open encrypted file.", 0);
      return status;
    }
    clsParameters stored;
    clsFileDesc desc;
    if (const std::int32_t status = archive.ReadParameters(stored, desc); status != 0) {
      ShowError(m_ui, "Failed to read encrypted file parameters.", 0);
      archive.CloseArchive();
      return status;
    }
    archive.CloseArchive();
    const std::string& path = m_oParameters.m_strFilePath;
    SetFileTimes(path, BytesToFileTime(desc.m_varCreateTime), BytesToFileTime(desc.m_varModifyTime));
    // The file was created for its owner alone; now it gets the permissions
    // of a new file, then the stored attributes.
    platform::ApplyDefaultPermissions(path);
    platform::SetAttributes(path, static_cast<platform::DWORD>(desc.m_nAttributes) & 7);
    return 0;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to set file properties.");
    return platform::CurrentRuntimeError().Number();
  }
}

}  // namespace sealvane
