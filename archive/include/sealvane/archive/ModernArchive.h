// SPDX-License-Identifier: GPL-3.0-or-later
// Format version 2, the modern archive: a random file key; Argon2id
// (password) or RSA-OAEP-SHA256 per digital ID to wrap it; HKDF-SHA256 for
// the header-MAC, description and payload keys; an HMAC over every header
// byte; the file's description sealed; the payload in chunks sealed with
// AES-256-GCM in the STREAM construction (chunk counter and last-chunk flag
// in the nonce), each chunk compressed with zstd when that makes it smaller.
// docs/archive-format.md gives the layout byte for byte.
//
// This file holds the layout: building and parsing the header, the keys,
// the sealed description and the sealing of one chunk. Every length read
// from a file is bounded before anything is allocated; what does not parse
// throws FormatError with a sentence for the user.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "sealvane/archive/clsDigitalID.h"
#include "sealvane/modern/Crypto.h"

typedef struct ZSTD_CCtx_s ZSTD_CCtx;
typedef struct ZSTD_DCtx_s ZSTD_DCtx;

namespace sealvane::v2 {

inline constexpr std::int32_t kVersion = 2;
inline constexpr std::uint32_t kChunkSize = 64 * 1024;
inline constexpr std::uint32_t kMinChunkSize = 4 * 1024;
inline constexpr std::uint32_t kMaxChunkSize = 1024 * 1024;
inline constexpr std::size_t kSaltSize = 32;
inline constexpr std::size_t kKdfSaltSize = 16;
inline constexpr std::size_t kMacSize = 32;
// A header never needs more than this (10,000 recipients with long names
// and 16384-bit keys stay below it).
inline constexpr std::uint32_t kMaxHeaderSize = 64 * 1024 * 1024;
inline constexpr std::uint32_t kMaxRecipients = 10000;
inline constexpr std::uint32_t kMaxText = 65535;
inline constexpr std::uint32_t kMaxWrappedKey = 2048;
inline constexpr std::uint32_t kMaxDescription = 1024 * 1024;

// Header flags.
inline constexpr std::uint32_t kFlagPassword = 1;
inline constexpr std::uint32_t kFlagCompressed = 2;
inline constexpr std::uint32_t kFlagOpenAfter = 4;
inline constexpr std::uint32_t kKnownFlags = kFlagPassword | kFlagCompressed | kFlagOpenAfter;

// Description flags.
inline constexpr std::uint32_t kDescFolder = 1;

// Key derivation and wrapping identifiers.
inline constexpr std::uint32_t kKdfArgon2id = 1;
inline constexpr std::uint32_t kWrapRsaOaepSha256 = 1;

// Chunk kinds, the first byte of a chunk's plaintext.
inline constexpr std::uint8_t kChunkStored = 0;
inline constexpr std::uint8_t kChunkZstd = 1;

// HKDF labels.
inline constexpr const char* kLabelHeader = "Sealvane v2 header MAC";
inline constexpr const char* kLabelDescription = "Sealvane v2 description";
inline constexpr const char* kLabelPayload = "Sealvane v2 payload";
inline constexpr const char* kLabelPasswordSlot = "Sealvane v2 password slot";

class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Recipient {
  std::string name;
  std::string email;
  ByteArray thumbprint;  // 20 bytes
  ByteArray wrapped;     // the file key, RSA-OAEP-SHA256
};

// Everything before the sealed description.
struct Header {
  std::uint32_t flags = 0;
  std::uint32_t chunkSize = kChunkSize;
  std::array<std::uint8_t, kSaltSize> salt {};
  // Password mode.
  modern::Argon2Params kdf;
  std::array<std::uint8_t, kKdfSaltSize> kdfSalt {};
  std::array<std::uint8_t, modern::kGcmNonceSize> slotNonce {};
  std::array<std::uint8_t, modern::kKeySize + modern::kGcmTagSize> slot {};
  // Digital-ID mode; entry 0 is the encrypting user's own.
  std::vector<Recipient> recipients;
  std::array<std::uint8_t, kMacSize> mac {};

  bool Password() const noexcept { return (flags & kFlagPassword) != 0; }
  bool Compressed() const noexcept { return (flags & kFlagCompressed) != 0; }
};

// The sealed description of the archived file.
struct Description {
  std::uint64_t size = 0;
  std::int64_t created = 0;   // file times, 100 ns since 1601
  std::int64_t modified = 0;
  std::uint32_t attributes = 0;  // 1 read-only, 2 hidden, 4 system
  std::uint32_t flags = 0;       // kDescFolder
  std::string name;
};

// The keys a file key gives, for one archive (its salt).
struct Keys {
  Keys(std::span<const std::uint8_t> fileKey, std::span<const std::uint8_t> salt);
  modern::Secret header;
  modern::Secret description;
  modern::Secret payload;
};

// The header's bytes, the MAC last, computed with `keys`.
ByteArray WriteHeader(Header& header, const Keys& keys);

// Reads a header from its start. `read` fills exactly the bytes asked for
// or throws (a cut file). `fileSize` bounds every length. Returns the
// header and its bytes (what the MAC covers, then the MAC).
template <typename Read>
Header ReadHeader(Read&& read, std::uint64_t fileSize, ByteArray& o_bytes);

// Checks the MAC over `bytes` (as ReadHeader gave them).
bool HeaderIntact(std::span<const std::uint8_t> bytes, const Keys& keys);

// Password mode: seals the file key under the password's key; opens it
// (nothing when the password is wrong).
void SealFileKey(Header& header, std::span<const std::uint8_t> passwordKey, std::span<const std::uint8_t> fileKey);
std::optional<modern::Secret> OpenFileKey(const Header& header, std::span<const std::uint8_t> passwordKey);
// The password's key (Argon2id over its UTF-8 bytes).
modern::Secret PasswordKey(const Header& header, std::span<const std::uint8_t> password);

// The sealed description (its length first); opened, or nothing when it
// does not check out.
ByteArray SealDescription(const Description& description, const Keys& keys, std::span<const std::uint8_t> headerMac);
// The length of what SealDescription gives, known before the size is.
std::size_t SealedDescriptionSize(const Description& description) noexcept;
std::optional<Description> OpenDescription(std::span<const std::uint8_t> sealed, const Keys& keys,
                                           std::span<const std::uint8_t> headerMac);

// The nonce of chunk `index`: its number in 11 bytes, most significant
// first, then 1 for the last chunk and 0 for any other.
std::array<std::uint8_t, modern::kGcmNonceSize> ChunkNonce(std::uint64_t index, bool last);

// The most a chunk's sealed form can take: kind byte, a stored chunk, tag.
constexpr std::uint32_t MaxSealedChunk(std::uint32_t chunkSize) {
  return 1 + chunkSize + static_cast<std::uint32_t>(modern::kGcmTagSize);
}

// Seals and opens chunks; one object per thread.
class ChunkSealer {
 public:
  ChunkSealer(std::span<const std::uint8_t> payloadKey, std::span<const std::uint8_t> headerMac, bool compress,
              std::uint32_t chunkSize);
  ~ChunkSealer();
  ChunkSealer(const ChunkSealer&) = delete;
  ChunkSealer& operator=(const ChunkSealer&) = delete;

  // Appends the chunk as it is stored: its sealed length (4 bytes), then
  // the sealed chunk. Compressed when compressing makes it smaller.
  void Seal(std::uint64_t index, bool last, std::span<const std::uint8_t> plain, ByteArray& out);
  // Opens one sealed chunk (without its length) into `out` (replaced).
  // False when it does not check out or does not expand to a chunk.
  bool Open(std::uint64_t index, bool last, std::span<const std::uint8_t> sealed, ByteArray& out);

 private:
  modern::Gcm m_gcm;
  ByteArray m_aad;
  bool m_bCompress;
  std::uint32_t m_nChunkSize;
  ZSTD_CCtx* m_cctx = nullptr;
  ZSTD_DCtx* m_dctx = nullptr;
  ByteArray m_work;  // a chunk's plaintext, wiped when done
};

// --- implementation of the template ---------------------------------------------

namespace detail {
std::uint32_t Be32(const std::uint8_t* p) noexcept;
Header ParseHeader(std::span<const std::uint8_t> bytes);
}  // namespace detail

template <typename Read>
Header ReadHeader(Read&& read, std::uint64_t fileSize, ByteArray& o_bytes) {
  // The fixed start: identifier, version, header length.
  o_bytes.assign(24, 0);
  read(std::span<std::uint8_t>(o_bytes));
  const std::uint32_t length = detail::Be32(o_bytes.data() + 20);
  if (length < 24 + 12 + kSaltSize + kMacSize || length > kMaxHeaderSize || length > fileSize) {
    throw FormatError("Its header length is not valid.");
  }
  o_bytes.resize(length);
  read(std::span<std::uint8_t>(o_bytes).subspan(24));
  return detail::ParseHeader(o_bytes);
}

}  // namespace sealvane::v2
