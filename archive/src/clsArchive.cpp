// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/clsArchive.h"

#include <algorithm>
#include <cstring>
#include <string.h>

#include "sealvane/archive/ModernArchive.h"
#include "sealvane/archive/Password.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::RuntimeError;
namespace rt = platform::rt;

namespace {

constexpr std::int32_t kFormatVersion = 1;
constexpr std::int32_t kIdentifierSize = 16;
constexpr std::int32_t kThumbprintSize = 20;
constexpr std::int32_t kMaxKeyBlob = 2060;
// A stored length counts the zero byte: longer than any name a certificate
// or file system gives; a longer stored text means a damaged archive.
constexpr std::int32_t kMaxText = kMaxStoredText + 1;
// Far more recipients than anyone encrypts for; bounds what a header can
// make the reader hold.
constexpr std::int32_t kMaxAccessEntries = 10000;


std::int32_t Flag(bool value) { return value ? -1 : 0; }

// A stored text: its length field, its bytes and the zero byte.
std::int64_t TextSize(const std::string& text) { return 4 + static_cast<std::int64_t>(text.size()) + 1; }

void CheckText(const std::string& text, const std::string& what) {
  if (text.size() > static_cast<std::size_t>(kMaxStoredText)) {
    throw RuntimeError(rt::kSubscriptOutOfRange, what + " is longer than " + std::to_string(kMaxStoredText) +
                                                     " bytes and cannot be stored");
  }
}

void CheckEntry(const clsDigitalID& entry, std::size_t index) {
  const std::string what = "digital ID \"" + entry.m_strName + "\" (entry " + std::to_string(index + 1) + ")";
  if (entry.m_varThumbprint.size() != static_cast<std::size_t>(kThumbprintSize)) {
    throw RuntimeError(rt::kSubscriptOutOfRange, "The " + what + " has a thumbprint of " +
                                                     std::to_string(entry.m_varThumbprint.size()) +
                                                     " bytes instead of 20");
  }
  CheckText(entry.m_strName, "The name of entry " + std::to_string(index + 1));
  CheckText(entry.m_strEMailAddr, "The e-mail address of " + what);
}

}  // namespace

clsArchive::clsArchive(UiPort& ui, CipherLibrary& library) : m_ui(ui), m_library(library) {}

clsArchive::~clsArchive() {
  EndSession();
  m_oFile.CloseFile();
  // The last plain piece is the caller's secret.
  if (!m_plain.empty()) ::explicit_bzero(m_plain.data(), m_plain.size());
}

void clsArchive::EndSession() noexcept {
  if (m_session.hProv == 0 && m_session.hKey == 0) return;
  try {
    char message[SL_MESSAGE_SIZE] = {};
    m_library.SLEncryptDone(&m_session, message);
  } catch (...) {
  }
  m_session = {};
}

std::string clsArchive::Message() const {
  return CutAtNull(std::string(m_message.data(), m_message.size()));
}

std::int64_t clsArchive::Remaining() const noexcept {
  const auto readAhead = static_cast<std::int64_t>(m_stream.size() - m_nStreamAt);
  return std::max<std::int64_t>(0, m_oFile.FileSize() - m_oFile.Position()) + readAhead;
}

// The encrypted stream moves in runs of up to 64 KiB: pieces are gathered
// before they are written and read ahead before they are decrypted.
void clsArchive::ReadStream(std::span<std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (m_nStreamAt == m_stream.size()) {
      const std::int64_t left = std::max<std::int64_t>(0, m_oFile.FileSize() - m_oFile.Position());
      if (left == 0) throw RuntimeError(rt::kInputPastEnd);
      m_stream.resize(static_cast<std::size_t>(std::min<std::int64_t>(kStreamRun, left)));
      ReadBytes(m_stream);
      m_nStreamAt = 0;
    }
    const std::size_t n = std::min(bytes.size() - done, m_stream.size() - m_nStreamAt);
    std::copy_n(m_stream.begin() + static_cast<std::ptrdiff_t>(m_nStreamAt), n, bytes.begin() + static_cast<std::ptrdiff_t>(done));
    m_nStreamAt += n;
    done += n;
  }
}



std::int32_t clsArchive::OpenArchive(const std::string& i_strPath, std::int32_t i_eMode) {
  m_stream.clear();
  m_nStreamAt = 0;
  return m_oFile.OpenFile(i_strPath, i_eMode);
}

std::int32_t clsArchive::AttachArchive(platform::File i_oFile, std::int32_t i_eMode, const std::string& i_strPath) {
  m_stream.clear();
  m_nStreamAt = 0;
  return m_oFile.AttachFile(std::move(i_oFile), i_eMode, i_strPath);
}

std::int64_t clsArchive::HeaderSize(const clsParameters& i_oParameters, const clsFileDesc& i_oFileDesc,
                                    std::span<const std::int64_t> i_anKeySizes) {
  std::int64_t size = kIdentifierSize + 8 * 4;  // identifier, version, level, cipher, four flags, N
  if (!i_oParameters.m_bPwdRequired) {
    const auto entry = [&](const clsDigitalID& id, std::size_t i) {
      size += TextSize(id.m_strName) + TextSize(id.m_strEMailAddr) + kThumbprintSize + 4;
      if (i < i_anKeySizes.size()) size += std::max<std::int64_t>(i_anKeySizes[i], 0);
    };
    entry(i_oParameters.m_oDefaultDigitalID, 0);
    for (std::size_t i = 0; i < i_oParameters.m_colOtherDigitalIDs.size(); ++i) {
      entry(i_oParameters.m_colOtherDigitalIDs[i], i + 1);
    }
  }
  size += 4;                                                 // the value 1
  size += TextSize(i_oFileDesc.m_strFileName) + 8 + 8 + 3 * 4;  // the file description
  return size;
}

void clsArchive::CheckStorable(const clsParameters& i_oParameters, const clsFileDesc& i_oFileDesc) {
  CheckText(i_oFileDesc.m_strFileName, "The file name");
  if (i_oParameters.m_bPwdRequired) return;
  if (i_oParameters.m_colOtherDigitalIDs.size() + 1 > static_cast<std::size_t>(kMaxAccessEntries)) {
    throw RuntimeError(rt::kSubscriptOutOfRange, "An encrypted file can be made for at most " +
                                                     std::to_string(kMaxAccessEntries) + " digital IDs");
  }
  CheckEntry(i_oParameters.m_oDefaultDigitalID, 0);
  for (std::size_t i = 0; i < i_oParameters.m_colOtherDigitalIDs.size(); ++i) {
    CheckEntry(i_oParameters.m_colOtherDigitalIDs[i], i + 1);
  }
}

std::int32_t clsArchive::CloseArchive() { return m_oFile.CloseFile(); }

// --- field transfers -------------------------------------------------------

void clsArchive::WriteBytes(std::span<const std::uint8_t> bytes) { RaiseFileStatus(m_oFile.WriteSeqData(bytes)); }

void clsArchive::WriteLong(std::int32_t value) {
  std::uint8_t bytes[4];
  WriteLongBE(bytes, 0, value);
  WriteBytes(bytes);
}

void clsArchive::WriteText(const std::string& text) {
  // The characters and one zero byte, after their count.
  const auto length = static_cast<std::int32_t>(std::min<std::size_t>(text.size(), kMaxText - 1)) + 1;
  ByteArray bytes(static_cast<std::size_t>(length));
  StringToBytes(bytes, 0, length - 1, text);
  bytes.back() = 0;
  WriteLong(length);
  WriteBytes(bytes);
}

void clsArchive::ReadBytes(std::span<std::uint8_t> bytes) { RaiseFileStatus(m_oFile.ReadSeqData(bytes)); }

std::int32_t clsArchive::ReadLong() {
  std::uint8_t bytes[4];
  ReadBytes(bytes);
  return ReadLongBE(bytes, 0);
}

std::string clsArchive::ReadText(std::int32_t length) {
  if (length <= 0) return {};
  if (length > Remaining()) throw RuntimeError(rt::kInputPastEnd);
  if (length > kMaxText) throw RuntimeError(rt::kSubscriptOutOfRange);
  ByteArray bytes(static_cast<std::size_t>(length));
  ReadBytes(bytes);
  return BytesToString(bytes, 0, length);
}

void clsArchive::WriteAccessRecord(const clsDigitalID& i_oEntry, const EncKeyBlob& i_oSlot) {
  if (i_oEntry.m_varThumbprint.size() != kThumbprintSize) throw RuntimeError(rt::kSubscriptOutOfRange);
  WriteText(i_oEntry.m_strName);
  WriteText(i_oEntry.m_strEMailAddr);
  WriteBytes(i_oEntry.m_varThumbprint);
  const auto size = static_cast<std::int32_t>(i_oSlot.Size);
  if (size > kMaxKeyBlob) throw RuntimeError(rt::kSubscriptOutOfRange);
  WriteLong(size);
  if (size > 0) WriteBytes(std::span<const std::uint8_t>(i_oSlot.Blob, static_cast<std::size_t>(size)));
}

void clsArchive::ReadAccessRecord(clsDigitalID& o_oEntry, ByteArray& o_oSlot) {
  o_oEntry.m_bSelected = true;
  o_oEntry.m_strName = ReadText(ReadLong());
  o_oEntry.m_strEMailAddr = ReadText(ReadLong());
  o_oEntry.m_varThumbprint.assign(kThumbprintSize, 0);
  ReadBytes(o_oEntry.m_varThumbprint);
  const std::int32_t k = ReadLong();
  o_oSlot.clear();
  if (k <= 0) return;
  // A wrapped key never exceeds its 2060-byte slot.
  if (k > kMaxKeyBlob) throw RuntimeError(rt::kSubscriptOutOfRange);
  if (k > Remaining()) throw RuntimeError(rt::kInputPastEnd);
  o_oSlot.resize(static_cast<std::size_t>(k));
  ReadBytes(o_oSlot);
}

void clsArchive::WriteFileDesc(const clsFileDesc& i_oFileDesc) {
  WriteText(i_oFileDesc.m_strFileName);
  if (i_oFileDesc.m_varCreateTime.size() != 8 || i_oFileDesc.m_varModifyTime.size() != 8) {
    throw RuntimeError(rt::kSubscriptOutOfRange);
  }
  WriteBytes(i_oFileDesc.m_varCreateTime);
  WriteBytes(i_oFileDesc.m_varModifyTime);
  WriteLong(i_oFileDesc.m_nAttributes);
  WriteLong(i_oFileDesc.m_nFileSize);
  WriteLong(i_oFileDesc.m_nCompFileSize);
}

void clsArchive::ReadFileDesc(clsFileDesc& o_oFileDesc) {
  o_oFileDesc.m_strFileName = ReadText(ReadLong());
  o_oFileDesc.m_varCreateTime.assign(8, 0);
  o_oFileDesc.m_varModifyTime.assign(8, 0);
  ReadBytes(o_oFileDesc.m_varCreateTime);
  ReadBytes(o_oFileDesc.m_varModifyTime);
  o_oFileDesc.m_nAttributes = ReadLong();
  o_oFileDesc.m_nFileSize = ReadLong();
  o_oFileDesc.m_nCompFileSize = ReadLong();
}

// --- writing ---------------------------------------------------------------

std::int32_t clsArchive::EncryptInit(const clsParameters& i_oParameters, const clsFileDesc& i_oFileDesc) {
  try {
    m_nStreamOffset = 0;
    CheckStorable(i_oParameters, i_oFileDesc);
    CertRecord own {};
    std::vector<CertRecord> others(1, CertRecord {});
    std::size_t n = 0;
    if (!i_oParameters.m_bPwdRequired) {
      CopyDigitalIDToRecord(i_oParameters.m_oDefaultDigitalID, own);
      n = i_oParameters.m_colOtherDigitalIDs.size();
      others.assign(std::max<std::size_t>(n, 1), CertRecord {});
      for (std::size_t i = 0; i < n; ++i) CopyDigitalIDToRecord(i_oParameters.m_colOtherDigitalIDs[i], others[i]);
    }
    std::vector<EncKeyBlob> slots(n + 1, EncKeyBlob {});
    m_message.fill(0);
    // The password goes in as the other platform would hash it wherever it
    // can (PasswordForms).
    std::vector<std::string> forms = PasswordForms(i_oParameters.m_strPassword, {});
    const int32_t initialised =
        m_library.SLEncryptInit(i_oParameters.m_eCSP, i_oParameters.m_eAlg, forms.front().c_str(), &own,
                                static_cast<std::int32_t>(n), others.data(), &m_session, slots.data(), m_message.data());
    WipeForms(forms);
    if (initialised == 0) {
      ShowError(m_ui, Message(), 0);
      return kLibraryFailed;
    }
    // The wrapped keys are known now: the whole archive must stay within
    // 32-bit offsets, or nothing is written.
    std::vector<std::int64_t> keySizes;
    if (!i_oParameters.m_bPwdRequired) {
      for (const EncKeyBlob& slot : slots) keySizes.push_back(slot.Size);
    }
    const std::int64_t payload = i_oParameters.m_bCompressFile ? i_oFileDesc.m_nCompFileSize : i_oFileDesc.m_nFileSize;
    if (HeaderSize(i_oParameters, i_oFileDesc, keySizes) + StreamSize(payload) > kMaxArchiveSize) {
      ShowWarning(m_ui, kFileTooLarge, 0);
      return rt::kOverflow;
    }
    ByteArray identifier(kIdentifierSize);
    StringToBytes(identifier, 0, kIdentifierSize, kArchiveIdentifier);
    WriteBytes(identifier);
    WriteLong(kFormatVersion);
    WriteLong(i_oParameters.m_eCSP);
    WriteLong(i_oParameters.m_eAlg);
    WriteLong(Flag(i_oParameters.m_bCompressFile));
    WriteLong(Flag(i_oParameters.m_bOpenFile));
    WriteLong(Flag(i_oParameters.m_bSigned));
    WriteLong(Flag(i_oParameters.m_bPwdRequired));
    WriteLong(i_oParameters.m_bPwdRequired ? 0 : static_cast<std::int32_t>(n + 1));
    if (!i_oParameters.m_bPwdRequired) {
      WriteAccessRecord(i_oParameters.m_oDefaultDigitalID, slots[0]);
      for (std::size_t i = 0; i < n; ++i) WriteAccessRecord(i_oParameters.m_colOtherDigitalIDs[i], slots[i + 1]);
    }
    WriteLong(1);
    WriteFileDesc(i_oFileDesc);
    m_nStreamOffset = m_oFile.Position();
    return 0;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to initialize for encrypting.", error);
    return error.Number();
  }
}

std::int32_t clsArchive::Encrypt(bool i_bLastData, std::int32_t i_nDataSize, std::span<const std::uint8_t> i_achData) {
  try {
    if (i_nDataSize < 0 || static_cast<std::size_t>(i_nDataSize) > i_achData.size()) {
      throw RuntimeError(rt::kSubscriptOutOfRange);
    }
    const std::int32_t outSize = i_bLastData ? PaddedSize(i_nDataSize) : i_nDataSize;
    // Encrypted straight into the run of the stream that is being gathered.
    const std::size_t at = m_stream.size();
    m_stream.resize(at + static_cast<std::size_t>(outSize));
    auto size = static_cast<std::uint32_t>(outSize);
    m_message.fill(0);
    if (m_library.SLEncrypt(&m_session, i_bLastData ? -1 : 0, static_cast<std::uint32_t>(i_nDataSize), i_achData.data(),
                            &size, m_stream.data() + at, m_message.data()) == 0) {
      m_stream.resize(at);
      ShowError(m_ui, Message(), 0);
      return kLibraryFailed;
    }
    if (i_bLastData || static_cast<std::int64_t>(m_stream.size()) >= kStreamRun) {
      WriteBytes(m_stream);
      m_stream.clear();
    }
    return 0;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to encrypt.", error);
    return error.Number();
  }
}

// The description's last two fields, just before the stream: the plain
// size, then the compressed size.
std::int32_t clsArchive::SetCompFileSize(std::int32_t i_nCompFileSize) { return WriteSizeField(4, i_nCompFileSize); }
std::int32_t clsArchive::SetFileSize(std::int32_t i_nFileSize) { return WriteSizeField(8, i_nFileSize); }

std::int32_t clsArchive::WriteSizeField(std::int64_t i_nBeforeStream, std::int32_t i_nValue) {
  try {
    if (m_nStreamOffset < i_nBeforeStream) throw RuntimeError(rt::kBadFileName);
    std::uint8_t bytes[4];
    WriteLongBE(bytes, 0, i_nValue);
    RaiseFileStatus(m_oFile.WriteData(bytes, static_cast<std::int32_t>(m_nStreamOffset - i_nBeforeStream)));
    return 0;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to encrypt.", error);
    return error.Number();
  }
}

std::int32_t clsArchive::EncryptDone() {
  try {
    m_message.fill(0);
    if (m_library.SLEncryptDone(&m_session, m_message.data()) == 0) {
      ShowError(m_ui, Message(), 0);
      return kLibraryFailed;
    }
    return 0;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to cleanup for encrypting.", error);
    return error.Number();
  }
}

// --- reading ---------------------------------------------------------------

std::int32_t clsArchive::ReadParameters(clsParameters& o_oParameters, clsFileDesc& o_oFileDesc) {
  try {
    m_nStreamOffset = 0;
    ByteArray identifier(kIdentifierSize);
    ReadBytes(identifier);
    if (BytesToString(identifier, 0, kIdentifierSize) != kArchiveIdentifier) return kNotAnArchive;
    m_nVersion = ReadLong();
    if (m_nVersion == v2::kVersion) return ReadModernParameters(o_oParameters, o_oFileDesc);
    if (m_nVersion != kFormatVersion) return kUnknownVersion;
    o_oParameters.m_eCSP = ReadLong();
    if (o_oParameters.m_eCSP <= 0 || o_oParameters.m_eCSP >= 4) return kBadProviderLevel;
    o_oParameters.m_eAlg = ReadLong();
    if (o_oParameters.m_eAlg <= 0 || o_oParameters.m_eAlg >= 6) return kBadCipherNumber;
    o_oParameters.m_bCompressFile = ReadLong() != 0;
    o_oParameters.m_bOpenFile = ReadLong() != 0;
    o_oParameters.m_bSigned = ReadLong() != 0;
    o_oParameters.m_bPwdRequired = ReadLong() != 0;
    const std::int32_t n = ReadLong();
    o_oParameters.m_oDefaultDigitalID = clsDigitalID {};
    o_oParameters.m_colOtherDigitalIDs.clear();
    m_keySlots.clear();
    if (!o_oParameters.m_bPwdRequired) {
      // At least the own entry, and no more entries than the file can hold.
      if (n < 1 || n > kMaxAccessEntries) throw RuntimeError(rt::kSubscriptOutOfRange);
      m_keySlots.resize(1);
      ReadAccessRecord(o_oParameters.m_oDefaultDigitalID, m_keySlots[0]);
      for (std::int32_t i = 1; i < n; ++i) {
        clsDigitalID entry;
        ByteArray slot;
        ReadAccessRecord(entry, slot);
        o_oParameters.m_colOtherDigitalIDs.push_back(std::move(entry));
        m_keySlots.push_back(std::move(slot));
      }
    } else {
      m_keySlots.resize(1);
    }
    ReadLong();  // the value 1, not checked
    ReadFileDesc(o_oFileDesc);
    o_oParameters.m_strFilePath = o_oFileDesc.m_strFileName;
    m_nStreamOffset = m_oFile.Position();
    return 0;
  } catch (...) {
    return platform::CurrentRuntimeError().Number();
  }
}

std::int32_t clsArchive::ReadModernParameters(clsParameters& o_oParameters, clsFileDesc& o_oFileDesc) {
  // The public header only: who may open the archive, and how. The file's
  // description is sealed; the decrypt job opens it.
  std::int32_t at = 0;
  const auto read = [&](std::span<std::uint8_t> out) {
    RaiseFileStatus(m_oFile.ReadData(out, at));
    at += static_cast<std::int32_t>(out.size());
  };
  ByteArray bytes;
  v2::Header header;
  try {
    header = v2::ReadHeader(read, static_cast<std::uint64_t>(m_oFile.FileSize()), bytes);
  } catch (const v2::FormatError&) {
    // Version 2 in name only: refused as a version this reader cannot read.
    return kUnknownVersion;
  }
  o_oParameters.m_eCSP = 1;  // no provider of the other platform is needed
  o_oParameters.m_eAlg = kCipherAes256;
  o_oParameters.m_bCompressFile = header.Compressed();
  o_oParameters.m_bOpenFile = (header.flags & v2::kFlagOpenAfter) != 0;
  o_oParameters.m_bSigned = false;
  o_oParameters.m_bPwdRequired = header.Password();
  o_oParameters.m_oDefaultDigitalID = clsDigitalID {};
  o_oParameters.m_colOtherDigitalIDs.clear();
  m_keySlots.clear();
  for (std::size_t i = 0; i < header.recipients.size(); ++i) {
    clsDigitalID id;
    id.m_bSelected = true;
    id.m_strName = header.recipients[i].name;
    id.m_strEMailAddr = header.recipients[i].email;
    id.m_varThumbprint = header.recipients[i].thumbprint;
    m_keySlots.push_back(header.recipients[i].wrapped);
    if (i == 0) {
      o_oParameters.m_oDefaultDigitalID = std::move(id);
    } else {
      o_oParameters.m_colOtherDigitalIDs.push_back(std::move(id));
    }
  }
  o_oFileDesc = clsFileDesc {};
  o_oFileDesc.m_bSealed = true;
  o_oParameters.m_strFilePath.clear();
  m_nStreamOffset = static_cast<std::int64_t>(bytes.size());
  return 0;
}

bool clsArchive::FindThisUserInCertStore(const clsParameters& i_oParameters, std::int32_t& o_nThisUserIndex,
                                         ByteArray& o_achThisUserTP) {
  try {
    const auto tryEntry = [&](const clsDigitalID& entry, std::int32_t index) {
      CertRecord record {};
      CopyDigitalIDToRecord(entry, record);
      char message[SL_MESSAGE_SIZE] = {};
      if (m_library.SLFindCert("MY", record.Thumbprint, &record, message) == 0) return false;
      o_achThisUserTP.assign(std::begin(record.Thumbprint), std::end(record.Thumbprint));
      o_nThisUserIndex = index;
      return true;
    };
    if (tryEntry(i_oParameters.m_oDefaultDigitalID, 0)) return true;
    std::int32_t index = 1;
    for (const clsDigitalID& entry : i_oParameters.m_colOtherDigitalIDs) {
      if (tryEntry(entry, index++)) return true;
    }
  } catch (...) {
  }
  o_nThisUserIndex = -1;
  return false;
}

std::int32_t clsArchive::DecryptInit(const clsParameters& i_oParameters, const clsFileDesc&) {
  try {
    std::int32_t index = 0;
    ByteArray thumbprint(kThumbprintSize, 0);
    if (!i_oParameters.m_bPwdRequired) {
      if (!FindThisUserInCertStore(i_oParameters, index, thumbprint)) {
        ShowWarning(m_ui, "You do not have access to this file.", 0);
        return kNoAccess;
      }
    }
    if (index < 0 || static_cast<std::size_t>(index) >= std::max<std::size_t>(m_keySlots.size(), 1)) {
      throw RuntimeError(rt::kSubscriptOutOfRange);
    }
    EncKeyBlob slot {};
    if (static_cast<std::size_t>(index) < m_keySlots.size()) {
      const ByteArray& bytes = m_keySlots[static_cast<std::size_t>(index)];
      slot.Size = static_cast<std::uint32_t>(bytes.size());
      std::copy(bytes.begin(), bytes.end(), slot.Blob);
    }
    m_message.fill(0);
    if (m_library.SLDecryptInit(i_oParameters.m_eCSP, i_oParameters.m_eAlg, i_oParameters.m_strPassword.c_str(),
                                thumbprint.data(), &slot, &m_session, m_message.data()) == 0) {
      // The user cancelled the question for the key's passphrase (the
      // library's code for a cancelled operation): nothing went wrong.
      if (Message().ends_with(": 800704c7")) return kCancelled;
      ShowError(m_ui, Message(), 0);
      return kLibraryRefusedKey;
    }
    return 0;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to initialize for decrypting.", error);
    return error.Number();
  }
}

std::int32_t clsArchive::Decrypt(bool i_bLastData, std::int32_t i_nDataSize, std::span<std::uint8_t> o_achData) {
  try {
    if (i_nDataSize < 1 || i_nDataSize > kPieceSize || static_cast<std::size_t>(i_nDataSize) > o_achData.size()) {
      throw RuntimeError(rt::kSubscriptOutOfRange);
    }
    const auto encSize = static_cast<std::size_t>(i_bLastData ? PaddedSize(i_nDataSize) : i_nDataSize);
    // Decrypted from the run read ahead where the piece lies within it, and
    // straight into the caller's buffer but for the padded final piece.
    const std::uint8_t* source = nullptr;
    if (m_nStreamAt + encSize <= m_stream.size()) {
      source = m_stream.data() + m_nStreamAt;
      m_nStreamAt += encSize;
    } else {
      m_piece.resize(encSize);
      ReadStream(m_piece);
      source = m_piece.data();
    }
    if (i_bLastData) m_plain.resize(encSize);
    std::uint8_t* destination = i_bLastData ? m_plain.data() : o_achData.data();
    auto size = static_cast<std::uint32_t>(encSize);
    m_message.fill(0);
    const bool ok = m_library.SLDecrypt(&m_session, i_bLastData ? -1 : 0, static_cast<std::uint32_t>(encSize), source,
                                        &size, destination, m_message.data()) != 0;
    // A final piece must come out exactly as long as the file description
    // says: padding that checks out by chance under a wrong key is caught
    // here instead of yielding a garbled file.
    if (!ok || (i_bLastData && size != static_cast<std::uint32_t>(i_nDataSize))) {
      if (i_bLastData && m_bPasswordTrial) return kWrongPassword;
      if (i_bLastData) {
        ShowWarning(m_ui, "The password is incorrect.", 0);
      } else {
        ShowError(m_ui, Message(), 0);
      }
      return kLibraryFailed;
    }
    if (i_bLastData) std::copy_n(m_plain.begin(), i_nDataSize, o_achData.begin());
    return 0;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to decrypt.", error);
    return error.Number();
  }
}

std::int32_t clsArchive::DecryptDone() {
  try {
    m_message.fill(0);
    if (m_library.SLDecryptDone(&m_session, m_message.data()) == 0) {
      ShowError(m_ui, Message(), 0);
      return kLibraryFailed;
    }
    return 0;
  } catch (...) {
    const RuntimeError error = platform::CurrentRuntimeError();
    ShowRuntimeError(m_ui, "Failed to cleanup for decrypting.", error);
    return error.Number();
  }
}

}  // namespace sealvane
