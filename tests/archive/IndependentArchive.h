// SPDX-License-Identifier: GPL-3.0-or-later
// An independent reader and writer of password archives: OpenSSL over the
// raw bytes, following the reference providers' rules, sharing no code with
// the engine.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/sha.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/Vectors.h"

namespace sealvane::test {

struct RawArchive {
  std::int32_t level = 0, cipher = 0, n = 0;
  std::vector<Bytes> slots;
  std::size_t streamOffset = 0;
  Bytes bytes;
};

inline std::int32_t BE(const Bytes& b, std::size_t at) {
  return static_cast<std::int32_t>((std::uint32_t {b[at]} << 24) | (std::uint32_t {b[at + 1]} << 16) |
                                   (std::uint32_t {b[at + 2]} << 8) | b[at + 3]);
}

inline RawArchive Parse(const Bytes& bytes) {
  RawArchive a;
  a.bytes = bytes;
  a.level = BE(bytes, 20);
  a.cipher = BE(bytes, 24);
  a.n = BE(bytes, 44);
  std::size_t at = 48;
  for (std::int32_t i = 0; i < a.n; ++i) {
    at += 4 + static_cast<std::size_t>(BE(bytes, at));  // name
    at += 4 + static_cast<std::size_t>(BE(bytes, at));  // e-mail
    at += 20;
    const auto k = static_cast<std::size_t>(BE(bytes, at));
    a.slots.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                         bytes.begin() + static_cast<std::ptrdiff_t>(at + 4 + k));
    at += 4 + k;
  }
  at += 4;                                            // the value 1
  at += 4 + static_cast<std::size_t>(BE(bytes, at));  // file name
  at += 8 + 8 + 12;
  a.streamOffset = at;
  return a;
}

// The reference providers' rules: CBC, zero IV, PKCS #5; RC2-40 keyed with
// its 5 bytes and 11 zero bytes at 40 effective bits.
inline Bytes RawCipher(bool encrypt, std::int32_t cipher, const Bytes& key, const std::uint8_t* data, std::size_t size) {
  OSSL_PROVIDER_load(nullptr, "legacy");
  OSSL_PROVIDER_load(nullptr, "default");
  const char* name = cipher == 2 ? "DES-CBC" : cipher == 5 ? "DES-EDE3-CBC" : "RC2-CBC";
  EVP_CIPHER* c = EVP_CIPHER_fetch(nullptr, name, nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes material = key;
  const int bits = static_cast<int>(key.size() * 8);
  if (cipher != 2 && cipher != 5 && key.size() == 5) material.resize(16, 0);
  const std::uint8_t iv[8] = {};
  EVP_CipherInit_ex2(ctx, c, nullptr, nullptr, encrypt ? 1 : 0, nullptr);
  if (cipher != 2 && cipher != 5) {
    EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(material.size()));
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_RC2_KEY_BITS, bits, nullptr);
  }
  EVP_CipherInit_ex2(ctx, nullptr, material.data(), iv, encrypt ? 1 : 0, nullptr);
  Bytes out(size + 16);
  int n1 = 0, n2 = 0;
  EVP_CipherUpdate(ctx, out.data(), &n1, data, static_cast<int>(size));
  const int ok = EVP_CipherFinal_ex(ctx, out.data() + n1, &n2);
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(c);
  EXPECT_EQ(ok, 1);
  out.resize(static_cast<std::size_t>(n1 + n2));
  return out;
}

inline Bytes RawDecrypt(std::int32_t cipher, const Bytes& key, const std::uint8_t* data, std::size_t size) {
  return RawCipher(false, cipher, key, data, size);
}

inline Bytes RawEncrypt(std::int32_t cipher, const Bytes& key, const Bytes& plain) {
  return RawCipher(true, cipher, key, plain.data(), plain.size());
}

// The session key the reference providers derive from a password's bytes.
inline Bytes PasswordKey(std::int32_t cipher, const std::string& passwordBytes) {
  std::uint8_t digest[20];
  SHA1(reinterpret_cast<const std::uint8_t*>(passwordBytes.data()), passwordBytes.size(), digest);
  const std::size_t n = cipher == 1 ? 5 : cipher == 4 ? 16 : cipher == 5 ? 24 : 8;
  if (n <= 20) return Bytes(digest, digest + n);
  std::uint8_t inner[64], outer[64], a[20], b[20];
  std::memset(inner, 0x36, 64);
  std::memset(outer, 0x5C, 64);
  for (int i = 0; i < 20; ++i) {
    inner[i] ^= digest[i];
    outer[i] ^= digest[i];
  }
  SHA1(inner, 64, a);
  SHA1(outer, 64, b);
  Bytes key(24);
  std::copy_n(a, 20, key.begin());
  std::copy_n(b, 4, key.begin() + 20);
  return key;
}

// A whole password archive for `plain`, written from the format's layout:
// with `compress`, each 4096-byte piece goes through zlib's compress() and
// is framed by its compressed and plain lengths (big-endian).
inline Bytes RawPasswordArchive(std::int32_t cipher, const std::string& passwordBytes, const Bytes& plain,
                                bool compress, const std::string& fileName = "typed.txt") {
  const std::string identifier("SealvaneArchive\0", 16);
  Bytes out(identifier.begin(), identifier.end());
  const auto put = [&out](std::int32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> shift));
  };
  for (const std::int32_t v : {1, cipher > 2 ? 3 : 1, cipher, compress ? -1 : 0, 0, 0, -1, 0, 1}) put(v);
  put(static_cast<std::int32_t>(fileName.size() + 1));
  out.insert(out.end(), fileName.begin(), fileName.end());
  out.push_back(0);
  const std::uint8_t time[8] = {0x87, 0xa4, 0xc8, 0x96, 0x39, 0xfb, 0xc2, 0x01};
  out.insert(out.end(), time, time + 8);
  out.insert(out.end(), time, time + 8);
  Bytes payload = plain;
  if (compress) {
    payload.clear();
    for (std::size_t at = 0; at < plain.size(); at += 4096) {
      const std::size_t u = std::min<std::size_t>(4096, plain.size() - at);
      uLongf c = compressBound(static_cast<uLong>(u));
      Bytes block(c);
      compress2(block.data(), &c, plain.data() + at, static_cast<uLong>(u), Z_DEFAULT_COMPRESSION);
      for (const std::size_t v : {static_cast<std::size_t>(c), u}) {
        for (int shift = 24; shift >= 0; shift -= 8) payload.push_back(static_cast<std::uint8_t>(v >> shift));
      }
      payload.insert(payload.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(c));
    }
  }
  put(0);  // attributes
  put(static_cast<std::int32_t>(plain.size()));
  put(compress ? static_cast<std::int32_t>(payload.size()) : 0);
  const Bytes stream = RawEncrypt(cipher, PasswordKey(cipher, passwordBytes), payload);
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

}  // namespace sealvane::test
