// SPDX-License-Identifier: GPL-3.0-or-later
// An independent reader and writer of format version 2 in password mode,
// written from docs/archive-format.md with OpenSSL's EVP calls, libargon2
// and libzstd directly: it shares no code with the engine.
#pragma once

#include <argon2.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <zstd.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/Vectors.h"

namespace sealvane::test::v2ref {

inline void PutU32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
inline void PutU64(Bytes& out, std::uint64_t v) {
  PutU32(out, static_cast<std::uint32_t>(v >> 32));
  PutU32(out, static_cast<std::uint32_t>(v));
}
inline std::uint32_t U32(const Bytes& b, std::size_t at) {
  return (std::uint32_t {b.at(at)} << 24) | (std::uint32_t {b.at(at + 1)} << 16) | (std::uint32_t {b.at(at + 2)} << 8) |
         b.at(at + 3);
}
inline std::uint64_t U64(const Bytes& b, std::size_t at) { return (std::uint64_t {U32(b, at)} << 32) | U32(b, at + 4); }
inline Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes Hkdf(const Bytes& ikm, const Bytes& salt, const std::string& info) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  EVP_KDF_free(kdf);
  char digest[] = "SHA256";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
                         OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<std::uint8_t*>(ikm.data()), ikm.size()),
                         OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<std::uint8_t*>(salt.data()), salt.size()),
                         OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<char*>(info.data()), info.size()),
                         OSSL_PARAM_construct_end()};
  Bytes out(32);
  EXPECT_EQ(EVP_KDF_derive(ctx, out.data(), out.size(), params), 1);
  EVP_KDF_CTX_free(ctx);
  return out;
}

inline Bytes Hmac(const Bytes& key, const Bytes& data) {
  Bytes mac(32);
  std::size_t n = 0;
  EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key.data(), key.size(), data.data(), data.size(), mac.data(),
            mac.size(), &n);
  return mac;
}

inline Bytes GcmSeal(const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& plain) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(plain.size() + 16);
  int n = 0;
  EVP_EncryptInit_ex2(ctx, EVP_aes_256_gcm(), key.data(), nonce.data(), nullptr);
  EVP_EncryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size()));
  EVP_EncryptUpdate(ctx, out.data(), &n, plain.data(), static_cast<int>(plain.size()));
  EVP_EncryptFinal_ex(ctx, out.data() + n, &n);
  EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, out.data() + plain.size());
  EVP_CIPHER_CTX_free(ctx);
  return out;
}

inline std::optional<Bytes> GcmOpen(const Bytes& key, const Bytes& nonce, const Bytes& aad, const Bytes& sealed) {
  if (sealed.size() < 16) return std::nullopt;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(sealed.size() - 16);
  int n = 0;
  EVP_DecryptInit_ex2(ctx, EVP_aes_256_gcm(), key.data(), nonce.data(), nullptr);
  EVP_DecryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size()));
  EVP_DecryptUpdate(ctx, out.data(), &n, sealed.data(), static_cast<int>(out.size()));
  EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16, const_cast<std::uint8_t*>(sealed.data() + out.size()));
  const bool ok = EVP_DecryptFinal_ex(ctx, out.data() + n, &n) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) return std::nullopt;
  return out;
}

inline Bytes Argon2(const std::string& password, const Bytes& salt, std::uint32_t t, std::uint32_t m, std::uint32_t p) {
  Bytes out(32);
  EXPECT_EQ(argon2id_hash_raw(t, m, p, password.data(), password.size(), salt.data(), salt.size(), out.data(), 32),
            ARGON2_OK);
  return out;
}

inline Bytes Nonce(std::uint64_t index, bool last) {
  Bytes n(12, 0);
  for (int i = 0; i < 8; ++i) n[static_cast<std::size_t>(3 + i)] = static_cast<std::uint8_t>(index >> (56 - 8 * i));
  n[11] = last ? 1 : 0;
  return n;
}

// What a reader found, step by step.
struct Opened {
  Bytes salt, kek, fileKey, kh, kd, kp, mac, description;
  std::uint32_t flags = 0, chunkSize = 0, t = 0, m = 0, p = 0;
  std::string name;
  std::uint64_t size = 0;
  std::int64_t created = 0, modified = 0;
  std::uint32_t attributes = 0;
  Bytes plain;
  std::vector<Bytes> chunkPlaintexts;  // kind byte and body
  std::string failure;                 // empty when it read the whole archive
};

// RSA-OAEP with SHA-256 and MGF1-SHA-256, no label.
inline std::optional<Bytes> OaepDecrypt(const std::string& privateKeyPem, const Bytes& wrapped) {
  BIO* bio = BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  if (key == nullptr) return std::nullopt;
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  Bytes out(EVP_PKEY_get_size(key));
  std::size_t n = out.size();
  const bool ok = EVP_PKEY_decrypt_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) == 1 &&
                  EVP_PKEY_CTX_set_rsa_oaep_md(ctx, EVP_sha256()) == 1 &&
                  EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha256()) == 1 &&
                  EVP_PKEY_decrypt(ctx, out.data(), &n, wrapped.data(), wrapped.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(key);
  if (!ok) return std::nullopt;
  out.resize(n);
  return out;
}

// Reads an archive as the document describes it: with the password, or
// (when `privateKeyPem` is given) with the private key of the entry whose
// thumbprint is `thumbprint`.
inline Opened Read(const Bytes& a, const std::string& password, const std::string& privateKeyPem = {},
                   const Bytes& thumbprint = {}) {
  Opened o;
  const auto fail = [&](const std::string& why) {
    o.failure = why;
    return o;
  };
  if (a.size() < 64 || std::memcmp(a.data(), "SealvaneArchive\0", 16) != 0 || U32(a, 16) != 2) return fail("identifier");
  const std::uint32_t h = U32(a, 20);
  if (h > a.size() || h < 64 + 32) return fail("header length");
  o.flags = U32(a, 24);
  o.chunkSize = U32(a, 28);
  o.salt = Slice(a, 32, 32);
  if ((o.flags & 1) != 0) {
    if (U32(a, 64) != 1 || h != 64 + 16 + 16 + 12 + 48 + 32) return fail("password block");
    o.t = U32(a, 68);
    o.m = U32(a, 72);
    o.p = U32(a, 76);
    o.kek = Argon2(password, Slice(a, 80, 16), o.t, o.m, o.p);
    const auto fk = GcmOpen(o.kek, Slice(a, 96, 12), Text("Sealvane v2 password slot"), Slice(a, 108, 48));
    if (!fk) return fail("password");
    o.fileKey = *fk;
  } else {
    std::size_t at = 68;
    const std::uint32_t n = U32(a, 64);
    for (std::uint32_t i = 0; i < n && o.fileKey.empty(); ++i) {
      at += 4 + U32(a, at);  // name
      at += 4 + U32(a, at);  // e-mail address
      const Bytes tp = Slice(a, at, 20);
      at += 20;
      if (U32(a, at) != 1) return fail("key wrapping");
      const std::uint32_t k = U32(a, at + 4);
      const Bytes wrapped = Slice(a, at + 8, k);
      at += 8 + k;
      if (tp == thumbprint) {
        const auto fk = OaepDecrypt(privateKeyPem, wrapped);
        if (!fk) return fail("private key");
        o.fileKey = *fk;
      }
    }
    if (o.fileKey.empty()) return fail("no entry for this key");
  }
  o.kh = Hkdf(o.fileKey, o.salt, "Sealvane v2 header MAC");
  o.kd = Hkdf(o.fileKey, o.salt, "Sealvane v2 description");
  o.kp = Hkdf(o.fileKey, o.salt, "Sealvane v2 payload");
  o.mac = Slice(a, h - 32, 32);
  if (Hmac(o.kh, Slice(a, 0, h - 32)) != o.mac) return fail("header MAC");
  const std::uint32_t d = U32(a, h);
  if (h + 4 + std::size_t {d} > a.size()) return fail("description length");
  const auto desc = GcmOpen(o.kd, Bytes(12, 0), o.mac, Slice(a, h + 4, d));
  if (!desc) return fail("description");
  o.description = *desc;
  o.size = U64(o.description, 0);
  o.created = static_cast<std::int64_t>(U64(o.description, 8));
  o.modified = static_cast<std::int64_t>(U64(o.description, 16));
  o.attributes = U32(o.description, 24);
  const std::uint32_t n = U32(o.description, 32);
  o.name.assign(o.description.begin() + 36, o.description.begin() + 36 + n);
  std::size_t at = h + 4 + d;
  for (std::uint64_t i = 0; at < a.size(); ++i) {
    if (a.size() - at < 4) return fail("chunk length");
    const std::uint32_t l = U32(a, at);
    if (a.size() - at - 4 < l) return fail("chunk cut");
    const bool last = at + 4 + l == a.size();
    const auto chunk = GcmOpen(o.kp, Nonce(i, last), o.mac, Slice(a, at + 4, l));
    if (!chunk || chunk->empty()) return fail("chunk " + std::to_string(i));
    o.chunkPlaintexts.push_back(*chunk);
    if ((*chunk)[0] == 0) {
      o.plain.insert(o.plain.end(), chunk->begin() + 1, chunk->end());
    } else {
      Bytes body(chunk->begin() + 1, chunk->end());
      Bytes piece(ZSTD_getFrameContentSize(body.data(), body.size()));
      if (ZSTD_decompress(piece.data(), piece.size(), body.data(), body.size()) != piece.size()) return fail("zstd");
      o.plain.insert(o.plain.end(), piece.begin(), piece.end());
    }
    at += 4 + l;
  }
  if (o.plain.size() != o.size) return fail("size");
  return o;
}

// Writes a password archive as the document describes it, with the given
// random parts; `lastFlag` false leaves the last chunk without its flag.
struct WriteOptions {
  std::uint32_t t = 1, m = 64 * 1024, p = 1;
  std::uint32_t chunkSize = 65536;
  bool compress = true;
  bool lastFlag = true;
  std::string name = "independent.txt";
  std::uint64_t created = 0x01D9000000000000ULL, modified = 0x01D9100000000000ULL;
  std::uint32_t attributes = 0;
  std::uint32_t descriptionFlags = 0;  // 1: the plain stream is a folder's tar stream
  std::optional<std::uint64_t> recordedSize;  // a size the description claims instead of the real one
  Bytes salt = Bytes(32, 0x11), kdfSalt = Bytes(16, 0x22), slotNonce = Bytes(12, 0x33), fileKey = Bytes(32, 0x44);
};

inline Bytes Write(const Bytes& plain, const std::string& password, const WriteOptions& w = {}) {
  Bytes a(16);
  std::memcpy(a.data(), "SealvaneArchive\0", 16);
  PutU32(a, 2);
  PutU32(a, 64 + 16 + 16 + 12 + 48 + 32);
  PutU32(a, 1u | (w.compress ? 2u : 0u));
  PutU32(a, w.chunkSize);
  a.insert(a.end(), w.salt.begin(), w.salt.end());
  PutU32(a, 1);
  PutU32(a, w.t);
  PutU32(a, w.m);
  PutU32(a, w.p);
  a.insert(a.end(), w.kdfSalt.begin(), w.kdfSalt.end());
  a.insert(a.end(), w.slotNonce.begin(), w.slotNonce.end());
  const Bytes kek = Argon2(password, w.kdfSalt, w.t, w.m, w.p);
  const Bytes slot = GcmSeal(kek, w.slotNonce, Text("Sealvane v2 password slot"), w.fileKey);
  a.insert(a.end(), slot.begin(), slot.end());
  const Bytes mac = Hmac(Hkdf(w.fileKey, w.salt, "Sealvane v2 header MAC"), a);
  a.insert(a.end(), mac.begin(), mac.end());
  Bytes desc;
  PutU64(desc, w.recordedSize.value_or(plain.size()));
  PutU64(desc, w.created);
  PutU64(desc, w.modified);
  PutU32(desc, w.attributes);
  PutU32(desc, w.descriptionFlags);
  PutU32(desc, static_cast<std::uint32_t>(w.name.size()));
  desc.insert(desc.end(), w.name.begin(), w.name.end());
  const Bytes sealedDesc = GcmSeal(Hkdf(w.fileKey, w.salt, "Sealvane v2 description"), Bytes(12, 0), mac, desc);
  PutU32(a, static_cast<std::uint32_t>(sealedDesc.size()));
  a.insert(a.end(), sealedDesc.begin(), sealedDesc.end());
  const Bytes kp = Hkdf(w.fileKey, w.salt, "Sealvane v2 payload");
  std::size_t at = 0;
  std::uint64_t i = 0;
  do {
    const std::size_t n = std::min<std::size_t>(w.chunkSize, plain.size() - at);
    const bool last = at + n == plain.size();
    Bytes body = {0};
    body.insert(body.end(), plain.begin() + static_cast<std::ptrdiff_t>(at), plain.begin() + static_cast<std::ptrdiff_t>(at + n));
    if (w.compress && n > 0) {
      Bytes frame(ZSTD_compressBound(n));
      const std::size_t c = ZSTD_compress(frame.data(), frame.size(), plain.data() + at, n, 3);
      if (c < n) {
        body = {1};
        body.insert(body.end(), frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(c));
      }
    }
    const Bytes sealed = GcmSeal(kp, Nonce(i, last && w.lastFlag), mac, body);
    PutU32(a, static_cast<std::uint32_t>(sealed.size()));
    a.insert(a.end(), sealed.begin(), sealed.end());
    at += n;
    ++i;
  } while (at < plain.size());
  return a;
}

}  // namespace sealvane::test::v2ref
