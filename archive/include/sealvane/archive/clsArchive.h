// SPDX-License-Identifier: GPL-3.0-or-later
// Writes and reads one archive: the header, the access list with a wrapped
// session key per digital ID, the file description and the encrypted stream
// in 4096-byte pieces. Every length read from the file is bounded before
// anything is allocated: a hostile or cut archive gives a positive result,
// never an overrun.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/archive/UiPort.h"
#include "sealvane/archive/clsBinaryFile.h"
#include "sealvane/archive/clsParameters.h"

namespace sealvane {

inline constexpr std::int32_t kPieceSize = 4096;
// "AES (256-bit)": the cipher number of format version 2, the modern archive
// (ModernArchive.h). Numbers 1 to 5 write format version 1.
inline constexpr std::int32_t kCipherAes256 = 6;
inline constexpr const char* kArchiveIdentifier = "SealvaneArchive";
// Every offset in an archive, its end included, is a signed 32-bit number.
inline constexpr std::int64_t kMaxArchiveSize = 2147483647;
// The longest text (name, e-mail address, file name) an archive stores, in
// bytes, without its zero byte.
inline constexpr std::int32_t kMaxStoredText = 65535;

class clsArchive {
 public:
  explicit clsArchive(UiPort& ui, CipherLibrary& library = CipherLibrary::Default());
  ~clsArchive();
  clsArchive(const clsArchive&) = delete;
  clsArchive& operator=(const clsArchive&) = delete;

  std::int32_t Version() const noexcept { return m_nVersion; }

  std::int32_t OpenArchive(const std::string& i_strPath, std::int32_t i_eMode);
  // Uses an archive file the caller has already opened; always 0.
  std::int32_t AttachArchive(platform::File i_oFile, std::int32_t i_eMode, const std::string& i_strPath = {});
  std::int32_t CloseArchive();

  std::int32_t EncryptInit(const clsParameters& i_oParameters, const clsFileDesc& i_oFileDesc);
  std::int32_t Encrypt(bool i_bLastData, std::int32_t i_nDataSize, std::span<const std::uint8_t> i_achData);
  std::int32_t EncryptDone();
  // Writes the size of the compressed stream into the file description, in
  // place, once the final piece is written: EncryptInit stored a placeholder
  // because the stream is compressed while it is encrypted.
  std::int32_t SetCompFileSize(std::int32_t i_nCompFileSize);
  // The plain size, written over its placeholder once the stream is
  // complete (a folder's stream, whose length is known only then).
  std::int32_t SetFileSize(std::int32_t i_nFileSize);

  // Reads format version 1 and the public header of version 2 (cipher 6,
  // whose file description is sealed: m_bSealed, no name).
  std::int32_t ReadParameters(clsParameters& o_oParameters, clsFileDesc& o_oFileDesc);
  std::int32_t DecryptInit(const clsParameters& i_oParameters, const clsFileDesc& i_oFileDesc);
  std::int32_t Decrypt(bool i_bLastData, std::int32_t i_nDataSize, std::span<std::uint8_t> o_achData);
  std::int32_t DecryptDone();
  // While one of several forms of a password is tried, a final piece that
  // does not check out returns kWrongPassword instead of saying so.
  void SetPasswordTrial(bool i_bTrial) noexcept { m_bPasswordTrial = i_bTrial; }

  bool FindThisUserInCertStore(const clsParameters& i_oParameters, std::int32_t& o_nThisUserIndex,
                               ByteArray& o_achThisUserTP);

  // Bytes before the encrypted stream: header, access list with wrapped keys
  // of the given sizes (none in password mode), the value 1 and the file
  // description.
  static std::int64_t HeaderSize(const clsParameters& i_oParameters, const clsFileDesc& i_oFileDesc,
                                 std::span<const std::int64_t> i_anKeySizes);
  // The encrypted stream of a payload of n bytes: 4096-byte pieces and a
  // padded final piece.
  static constexpr std::int64_t StreamSize(std::int64_t n) noexcept { return n < 1 ? 0 : n - n % 8 + 8; }

  // Where the encrypted stream starts, once EncryptInit or ReadParameters has
  // succeeded.
  std::int64_t StreamOffset() const noexcept { return m_nStreamOffset; }
  // Bytes of the open archive from the current position to its end.
  std::int64_t Remaining() const noexcept;

 private:
  bool m_bPasswordTrial = false;
  // Writes a size field `i_nBeforeStream` bytes before the stream, in place.
  std::int32_t WriteSizeField(std::int64_t i_nBeforeStream, std::int32_t i_nValue);
  void WriteBytes(std::span<const std::uint8_t> bytes);
  void WriteLong(std::int32_t value);
  void WriteText(const std::string& text);
  void ReadBytes(std::span<std::uint8_t> bytes);
  // The encrypted stream moves in runs of kStreamRun bytes: Encrypt gathers
  // pieces in m_stream (the final piece writes them), Decrypt reads ahead.
  void ReadStream(std::span<std::uint8_t> bytes);
  static constexpr std::int64_t kStreamRun = 64 * 1024;
  std::int32_t ReadLong();
  // A stored text of `length` bytes, bounded by what remains of the file.
  std::string ReadText(std::int32_t length);

  std::int32_t ReadModernParameters(clsParameters& o_oParameters, clsFileDesc& o_oFileDesc);
  void WriteAccessRecord(const clsDigitalID& i_oEntry, const EncKeyBlob& i_oSlot);
  void ReadAccessRecord(clsDigitalID& o_oEntry, ByteArray& o_oSlot);
  void WriteFileDesc(const clsFileDesc& i_oFileDesc);
  void ReadFileDesc(clsFileDesc& o_oFileDesc);

  // Refuses, before anything is written, what the layout cannot hold.
  static void CheckStorable(const clsParameters& i_oParameters, const clsFileDesc& i_oFileDesc);
  void EndSession() noexcept;
  std::string Message() const;

  UiPort& m_ui;
  CipherLibrary& m_library;
  clsBinaryFile m_oFile;
  std::int32_t m_nVersion = 1;
  SessionContext m_session {};
  std::vector<ByteArray> m_keySlots;  // the wrapped keys read from the access list
  std::int64_t m_nStreamOffset = 0;
  ByteArray m_stream;  // gathered or read-ahead bytes of the encrypted stream
  std::size_t m_nStreamAt = 0;
  ByteArray m_piece;  // a piece that straddles two runs
  ByteArray m_plain;  // the padded final piece
  std::array<char, SL_MESSAGE_SIZE> m_message {};
};

}  // namespace sealvane
