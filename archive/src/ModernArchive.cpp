// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/ModernArchive.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"

namespace sealvane::v2 {

namespace {

// Appends big-endian integers, bytes and texts.
class Writer {
 public:
  explicit Writer(ByteArray& out) : m_out(out) {}
  void U32(std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) m_out.push_back(static_cast<std::uint8_t>(v >> shift));
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v >> 32));
    U32(static_cast<std::uint32_t>(v));
  }
  void Bytes(std::span<const std::uint8_t> b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
  void Text(const std::string& text, std::uint32_t max) {
    if (text.size() > max) throw FormatError("A text is longer than " + std::to_string(max) + " bytes.");
    U32(static_cast<std::uint32_t>(text.size()));
    Bytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }

 private:
  ByteArray& m_out;
};

// Reads what Writer wrote, never past the end.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> in) : m_in(in) {}
  std::uint32_t U32() { return detail::Be32(Take(4).data()); }
  std::uint64_t U64() {
    const std::uint64_t high = U32();
    return (high << 32) | U32();
  }
  std::span<const std::uint8_t> Take(std::size_t n) {
    if (n > m_in.size() - m_at) throw FormatError("It is cut short or its lengths are not valid.");
    const auto part = m_in.subspan(m_at, n);
    m_at += n;
    return part;
  }
  template <std::size_t N>
  void Fill(std::array<std::uint8_t, N>& out) {
    const auto part = Take(N);
    std::copy(part.begin(), part.end(), out.begin());
  }
  std::string Text(std::uint32_t max) {
    const std::uint32_t n = U32();
    if (n > max) throw FormatError("A stored text is longer than allowed.");
    const auto part = Take(n);
    return std::string(part.begin(), part.end());
  }
  std::size_t Left() const noexcept { return m_in.size() - m_at; }

 private:
  std::span<const std::uint8_t> m_in;
  std::size_t m_at = 0;
};

constexpr std::size_t kIdentifierSize = 16;

// zstd's fastest regular level: most of level 3's gain on text at a quarter
// more speed; the compression is what limits a job on text.
constexpr int kZstdLevel = 1;

}  // namespace

namespace detail {

std::uint32_t Be32(const std::uint8_t* p) noexcept {
  return (std::uint32_t {p[0]} << 24) | (std::uint32_t {p[1]} << 16) | (std::uint32_t {p[2]} << 8) | p[3];
}

Header ParseHeader(std::span<const std::uint8_t> bytes) {
  Reader in(bytes);
  const auto identifier = in.Take(kIdentifierSize);
  if (std::memcmp(identifier.data(), "SealvaneArchive\0", kIdentifierSize) != 0) {
    throw FormatError("It is not a Sealvane encrypted file.");
  }
  if (in.U32() != static_cast<std::uint32_t>(kVersion)) throw FormatError("It is not of format version 2.");
  in.U32();  // the header length, already checked against the bytes given
  Header header;
  header.flags = in.U32();
  if ((header.flags & ~kKnownFlags) != 0) throw FormatError("It uses features this version of Sealvane does not know.");
  header.chunkSize = in.U32();
  if (header.chunkSize < kMinChunkSize || header.chunkSize > kMaxChunkSize) {
    throw FormatError("Its chunk size is not valid.");
  }
  in.Fill(header.salt);
  if (header.Password()) {
    if (in.U32() != kKdfArgon2id) throw FormatError("It uses a password function this version of Sealvane does not know.");
    header.kdf.passes = in.U32();
    header.kdf.memoryKiB = in.U32();
    header.kdf.lanes = in.U32();
    in.Fill(header.kdfSalt);
    in.Fill(header.slotNonce);
    in.Fill(header.slot);
  } else {
    const std::uint32_t n = in.U32();
    if (n < 1 || n > kMaxRecipients) throw FormatError("Its list of digital IDs is not valid.");
    for (std::uint32_t i = 0; i < n; ++i) {
      Recipient r;
      r.name = in.Text(kMaxText);
      r.email = in.Text(kMaxText);
      const auto thumbprint = in.Take(20);
      r.thumbprint.assign(thumbprint.begin(), thumbprint.end());
      if (in.U32() != kWrapRsaOaepSha256) throw FormatError("It wraps its key in a way this version of Sealvane does not know.");
      const std::uint32_t k = in.U32();
      if (k < 1 || k > kMaxWrappedKey) throw FormatError("A wrapped key in it is not valid.");
      const auto wrapped = in.Take(k);
      r.wrapped.assign(wrapped.begin(), wrapped.end());
      header.recipients.push_back(std::move(r));
    }
  }
  if (in.Left() != kMacSize) throw FormatError("Its header length is not valid.");
  in.Fill(header.mac);
  return header;
}

}  // namespace detail

Keys::Keys(std::span<const std::uint8_t> fileKey, std::span<const std::uint8_t> salt)
    : header(modern::Hkdf(fileKey, salt, kLabelHeader, modern::kKeySize)),
      description(modern::Hkdf(fileKey, salt, kLabelDescription, modern::kKeySize)),
      payload(modern::Hkdf(fileKey, salt, kLabelPayload, modern::kKeySize)) {}

ByteArray WriteHeader(Header& header, const Keys& keys) {
  ByteArray bytes;
  Writer out(bytes);
  out.Bytes(std::span(reinterpret_cast<const std::uint8_t*>("SealvaneArchive\0"), kIdentifierSize));
  out.U32(static_cast<std::uint32_t>(kVersion));
  out.U32(0);  // the header length, set below
  out.U32(header.flags);
  out.U32(header.chunkSize);
  out.Bytes(header.salt);
  if (header.Password()) {
    out.U32(kKdfArgon2id);
    out.U32(header.kdf.passes);
    out.U32(header.kdf.memoryKiB);
    out.U32(header.kdf.lanes);
    out.Bytes(header.kdfSalt);
    out.Bytes(header.slotNonce);
    out.Bytes(header.slot);
  } else {
    if (header.recipients.empty() || header.recipients.size() > kMaxRecipients) {
      throw FormatError("An encrypted file is made for 1 to " + std::to_string(kMaxRecipients) + " digital IDs.");
    }
    out.U32(static_cast<std::uint32_t>(header.recipients.size()));
    for (const Recipient& r : header.recipients) {
      if (r.thumbprint.size() != 20 || r.wrapped.empty() || r.wrapped.size() > kMaxWrappedKey) {
        throw FormatError("A digital ID cannot be stored.");
      }
      out.Text(r.name, kMaxText);
      out.Text(r.email, kMaxText);
      out.Bytes(r.thumbprint);
      out.U32(kWrapRsaOaepSha256);
      out.U32(static_cast<std::uint32_t>(r.wrapped.size()));
      out.Bytes(r.wrapped);
    }
  }
  const std::size_t length = bytes.size() + kMacSize;
  if (length > kMaxHeaderSize) throw FormatError("The header would be too large.");
  for (int i = 0; i < 4; ++i) bytes[20 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
  header.mac = modern::HmacSha256(keys.header, bytes);
  out.Bytes(header.mac);
  return bytes;
}

bool HeaderIntact(std::span<const std::uint8_t> bytes, const Keys& keys) {
  if (bytes.size() < kMacSize) return false;
  const auto covered = bytes.first(bytes.size() - kMacSize);
  const auto mac = modern::HmacSha256(keys.header, covered);
  return modern::SameSecret(mac, bytes.last(kMacSize));
}

modern::Secret PasswordKey(const Header& header, std::span<const std::uint8_t> password) {
  return modern::Argon2id(password, header.kdfSalt, header.kdf, modern::kKeySize);
}

namespace {

std::span<const std::uint8_t> SlotLabel() {
  return std::span(reinterpret_cast<const std::uint8_t*>(kLabelPasswordSlot), std::strlen(kLabelPasswordSlot));
}

}  // namespace

void SealFileKey(Header& header, std::span<const std::uint8_t> passwordKey, std::span<const std::uint8_t> fileKey) {
  modern::Gcm gcm(passwordKey);
  gcm.Seal(header.slotNonce, SlotLabel(), fileKey, header.slot);
}

std::optional<modern::Secret> OpenFileKey(const Header& header, std::span<const std::uint8_t> passwordKey) {
  modern::Gcm gcm(passwordKey);
  modern::Secret fileKey(modern::kKeySize);
  if (!gcm.Open(header.slotNonce, SlotLabel(), header.slot, fileKey)) return std::nullopt;
  return fileKey;
}

ByteArray SealDescription(const Description& description, const Keys& keys, std::span<const std::uint8_t> headerMac) {
  modern::Secret plain;
  {
    ByteArray fields;
    Writer out(fields);
    out.U64(description.size);
    out.U64(static_cast<std::uint64_t>(description.created));
    out.U64(static_cast<std::uint64_t>(description.modified));
    out.U32(description.attributes);
    out.U32(description.flags);
    out.Text(description.name, kMaxText);
    plain.assign(fields.begin(), fields.end());
    WipeBytes(fields);
  }
  ByteArray sealed(4 + plain.size() + modern::kGcmTagSize);
  const auto length = static_cast<std::uint32_t>(plain.size() + modern::kGcmTagSize);
  for (int i = 0; i < 4; ++i) sealed[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
  modern::Gcm gcm(keys.description);
  const std::array<std::uint8_t, modern::kGcmNonceSize> nonce {};
  gcm.Seal(nonce, headerMac, plain, std::span(sealed).subspan(4));
  return sealed;
}

std::size_t SealedDescriptionSize(const Description& description) noexcept {
  // Length, size, two times, attributes, flags, the name with its length, tag.
  return 4 + 8 + 8 + 8 + 4 + 4 + 4 + description.name.size() + modern::kGcmTagSize;
}

std::optional<Description> OpenDescription(std::span<const std::uint8_t> sealed, const Keys& keys,
                                           std::span<const std::uint8_t> headerMac) {
  if (sealed.size() < modern::kGcmTagSize) return std::nullopt;
  modern::Secret plain(sealed.size() - modern::kGcmTagSize);
  modern::Gcm gcm(keys.description);
  const std::array<std::uint8_t, modern::kGcmNonceSize> nonce {};
  if (!gcm.Open(nonce, headerMac, sealed, plain)) return std::nullopt;
  try {
    Reader in(plain);
    Description d;
    d.size = in.U64();
    d.created = static_cast<std::int64_t>(in.U64());
    d.modified = static_cast<std::int64_t>(in.U64());
    d.attributes = in.U32();
    d.flags = in.U32();
    d.name = in.Text(kMaxText);
    if (in.Left() != 0) return std::nullopt;
    return d;
  } catch (const FormatError&) {
    return std::nullopt;
  }
}

std::array<std::uint8_t, modern::kGcmNonceSize> ChunkNonce(std::uint64_t index, bool last) {
  std::array<std::uint8_t, modern::kGcmNonceSize> nonce {};
  for (int i = 0; i < 8; ++i) nonce[static_cast<std::size_t>(3 + i)] = static_cast<std::uint8_t>(index >> (56 - 8 * i));
  nonce[11] = last ? 1 : 0;
  return nonce;
}

// --- chunks ---------------------------------------------------------------------

ChunkSealer::ChunkSealer(std::span<const std::uint8_t> payloadKey, std::span<const std::uint8_t> headerMac,
                         bool compress, std::uint32_t chunkSize)
    : m_gcm(payloadKey), m_aad(headerMac.begin(), headerMac.end()), m_bCompress(compress), m_nChunkSize(chunkSize) {}

ChunkSealer::~ChunkSealer() {
  WipeBytes(m_work);
  ZSTD_freeCCtx(m_cctx);
  ZSTD_freeDCtx(m_dctx);
}

void ChunkSealer::Seal(std::uint64_t index, bool last, std::span<const std::uint8_t> plain, ByteArray& out) {
  if (plain.size() > m_nChunkSize) throw FormatError("A chunk is larger than the chunk size.");
  // The chunk's plaintext: its kind, then the stored or compressed bytes.
  m_work.resize(1 + plain.size());
  std::size_t size = 0;
  if (m_bCompress && !plain.empty()) {
    if (m_cctx == nullptr && (m_cctx = ZSTD_createCCtx()) == nullptr) throw std::bad_alloc();
    // Room for no more than the stored chunk: a frame that does not fit
    // would not make it smaller.
    const std::size_t packed =
        ZSTD_compressCCtx(m_cctx, m_work.data() + 1, plain.size(), plain.data(), plain.size(), kZstdLevel);
    if (!ZSTD_isError(packed) && packed < plain.size()) {
      m_work[0] = kChunkZstd;
      size = 1 + packed;
    }
  }
  if (size == 0) {
    m_work[0] = kChunkStored;
    std::copy(plain.begin(), plain.end(), m_work.begin() + 1);
    size = 1 + plain.size();
  }
  const std::size_t sealed = size + modern::kGcmTagSize;
  const std::size_t at = out.size();
  out.resize(at + 4 + sealed);
  for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sealed >> (24 - 8 * i));
  m_gcm.Seal(ChunkNonce(index, last), m_aad, std::span(m_work.data(), size), std::span(out).subspan(at + 4, sealed));
}

bool ChunkSealer::Open(std::uint64_t index, bool last, std::span<const std::uint8_t> sealed, ByteArray& out) {
  if (sealed.size() < 1 + modern::kGcmTagSize || sealed.size() > MaxSealedChunk(m_nChunkSize)) return false;
  m_work.resize(sealed.size() - modern::kGcmTagSize);
  if (!m_gcm.Open(ChunkNonce(index, last), m_aad, sealed, m_work)) return false;
  const auto body = std::span<const std::uint8_t>(m_work).subspan(1);
  if (m_work[0] == kChunkStored) {
    out.assign(body.begin(), body.end());
    return true;
  }
  if (m_work[0] != kChunkZstd) return false;
  // A frame must say how large it is, and be no larger than a chunk.
  const unsigned long long size = ZSTD_getFrameContentSize(body.data(), body.size());
  if (size == ZSTD_CONTENTSIZE_UNKNOWN || size == ZSTD_CONTENTSIZE_ERROR || size > m_nChunkSize) return false;
  if (m_dctx == nullptr && (m_dctx = ZSTD_createDCtx()) == nullptr) throw std::bad_alloc();
  out.resize(static_cast<std::size_t>(size));
  const std::size_t got = ZSTD_decompressDCtx(m_dctx, out.data(), out.size(), body.data(), body.size());
  return !ZSTD_isError(got) && got == size;
}

}  // namespace sealvane::v2
