// SPDX-License-Identifier: GPL-3.0-or-later
// Session keys (RC2, DES, 3DES in CBC with a zero IV and PKCS #5 padding),
// RSA exchange keys, and the key blobs that move them.
#include <openssl/core_names.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <algorithm>

#include "Internal.h"

namespace sealvane::csp {

using namespace detail;

namespace {

constexpr DWORD kBlock = 8;
constexpr std::size_t kRc2SaltBytes = 11;
constexpr BYTE kBlobVersion = 2;
constexpr DWORD kRsaMinBits = 512;
constexpr DWORD kRsaMaxBits = 16384;

bool IsSymmetric(ALG_ID alg) { return alg == CALG_RC2 || alg == CALG_DES || alg == CALG_3DES; }

// Key length in bits for a request (the upper 16 bits of the flags, 0 for
// the provider's default), with each provider's limits.
DWORD ResolveKeyBits(ProviderKind kind, ALG_ID alg, DWORD requested) {
  switch (alg) {
    case CALG_RC2: {
      const DWORD max = kind == ProviderKind::Base ? 56 : 128;
      if (requested == 0) return kind == ProviderKind::Base ? 40 : 128;
      if (requested < 40 || requested > max || requested % 8 != 0) Fail(NTE_BAD_DATA);
      return requested;
    }
    case CALG_DES:
      if (requested != 0 && requested != 56 && requested != 64) Fail(NTE_BAD_FLAGS);
      return 56;
    case CALG_3DES:
      if (kind == ProviderKind::Base) Fail(NTE_BAD_ALGID);
      if (requested != 0 && requested != 168 && requested != 192) Fail(NTE_BAD_FLAGS);
      return 168;
    default:
      Fail(NTE_BAD_ALGID);
  }
}

std::size_t KeyBytes(ALG_ID alg, DWORD bits) {
  if (alg == CALG_DES) return 8;
  if (alg == CALG_3DES) return 24;
  return bits / 8;
}

// Sets the RC2 salt and effective length of a new key.
void FinishSymmetricKey(KeyObject& key) {
  if (key.alg == CALG_RC2) {
    key.effectiveBits = key.keyBits;
    // Only 40-bit RC2 keys carry a salt: eleven zero bytes by default.
    if (key.keyBits == 40 && key.salt.empty()) key.salt.assign(kRc2SaltBytes, 0);
  }
}

// Starts a message: the cipher keyed with key ‖ salt and a zero IV.
void StartMessage(KeyObject& key, int encrypt) {
  const char* name = key.alg == CALG_RC2 ? "RC2-CBC" : key.alg == CALG_DES ? "DES-CBC" : "DES-EDE3-CBC";
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  if (cipher == nullptr) Fail(NTE_BAD_ALGID);
  CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  SecretBytes material = key.key;
  material.insert(material.end(), key.salt.begin(), key.salt.end());
  const BYTE iv[kBlock] = {};
  bool ok = ctx && EVP_CipherInit_ex2(ctx.get(), cipher, nullptr, nullptr, encrypt, nullptr) == 1;
  if (ok && key.alg == CALG_RC2) {
    ok = EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(material.size())) == 1 &&
         EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_SET_RC2_KEY_BITS, static_cast<int>(key.effectiveBits), nullptr) == 1;
  }
  ok = ok && EVP_CipherInit_ex2(ctx.get(), nullptr, material.data(), iv, encrypt, nullptr) == 1 &&
       EVP_CIPHER_CTX_set_padding(ctx.get(), 0) == 1;
  EVP_CIPHER_free(cipher);
  if (!ok) Fail(NTE_BAD_KEY);
  key.ctx = std::move(ctx);
  key.direction = encrypt;
}

void Transform(KeyObject& key, BYTE* data, DWORD length) {
  int out = 0;
  if (length != 0 && EVP_CipherUpdate(key.ctx.get(), data, &out, data, static_cast<int>(length)) != 1) {
    Fail(NTE_FAIL);
  }
}

// Ends a message: the key returns to its initial IV.
void EndMessage(KeyObject& key) {
  key.ctx.reset();
  key.direction = -1;
}

std::shared_ptr<KeyObject> GetSymmetric(HCRYPTKEY hKey) {
  auto key = Get<KeyObject>(hKey, NTE_BAD_KEY);
  if (!IsSymmetric(key->alg)) Fail(NTE_BAD_KEY);
  return key;
}

// RSA PKCS #1 v1.5 with the key's public half.
std::vector<BYTE> RsaEncrypt(EVP_PKEY* pkey, const BYTE* data, std::size_t size) {
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr),
                                                                  EVP_PKEY_CTX_free);
  std::size_t outLen = 0;
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
      EVP_PKEY_encrypt(ctx.get(), nullptr, &outLen, data, size) != 1) {
    Fail(NTE_BAD_PUBLIC_KEY);
  }
  std::vector<BYTE> out(outLen);
  if (EVP_PKEY_encrypt(ctx.get(), out.data(), &outLen, data, size) != 1) Fail(NTE_BAD_LEN);
  out.resize(outLen);
  return out;
}

SecretBytes RsaDecrypt(EVP_PKEY* pkey, const BYTE* data, std::size_t size) {
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr),
                                                                  EVP_PKEY_CTX_free);
  std::size_t outLen = 0;
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
      EVP_PKEY_decrypt(ctx.get(), nullptr, &outLen, data, size) != 1) {
    Fail(NTE_BAD_DATA);
  }
  SecretBytes out(outLen);
  if (EVP_PKEY_decrypt(ctx.get(), out.data(), &outLen, data, size) != 1) Fail(NTE_BAD_DATA);
  out.resize(outLen);
  return out;
}

// RSA-OAEP, SHA-256 for the hash and the mask, no label.
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)>;
PkeyCtxPtr OaepContext(EVP_PKEY* pkey, bool encrypt) {
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr), EVP_PKEY_CTX_free);
  if (!ctx || (encrypt ? EVP_PKEY_encrypt_init(ctx.get()) : EVP_PKEY_decrypt_init(ctx.get())) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) != 1 ||
      EVP_PKEY_CTX_set_rsa_oaep_md_name(ctx.get(), "SHA256", nullptr) != 1 ||
      EVP_PKEY_CTX_set_rsa_mgf1_md_name(ctx.get(), "SHA256", nullptr) != 1) {
    Fail(encrypt ? NTE_BAD_PUBLIC_KEY : NTE_BAD_KEY);
  }
  return ctx;
}

void PutDword(std::vector<BYTE>& out, DWORD v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(v >> (8 * i)));
}

DWORD ReadDword(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
         (static_cast<DWORD>(p[3]) << 24);
}

// An RSA key's modulus and public exponent as little-endian byte strings.
void RsaPublicParts(EVP_PKEY* pkey, std::vector<BYTE>& modulusLE, DWORD& exponent) {
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  if (EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_RSA_N, &n) != 1 ||
      EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_RSA_E, &e) != 1) {
    BN_free(n);
    BN_free(e);
    Fail(NTE_BAD_KEY);
  }
  modulusLE.assign(static_cast<std::size_t>(EVP_PKEY_get_size(pkey)), 0);
  const int ok = BN_bn2lebinpad(n, modulusLE.data(), static_cast<int>(modulusLE.size()));
  exponent = static_cast<DWORD>(BN_get_word(e));
  BN_free(n);
  BN_free(e);
  if (ok < 0) Fail(NTE_BAD_KEY);
}

PkeyPtr RsaFromPublicParts(const BYTE* modulusLE, std::size_t size, DWORD exponent) {
  BIGNUM* n = BN_lebin2bn(modulusLE, static_cast<int>(size), nullptr);
  BIGNUM* e = BN_new();
  OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM* params = nullptr;
  EVP_PKEY* pkey = nullptr;
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
  const bool ok = n != nullptr && e != nullptr && bld != nullptr && ctx != nullptr && BN_set_word(e, exponent) == 1 &&
                  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n) == 1 &&
                  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e) == 1 &&
                  (params = OSSL_PARAM_BLD_to_param(bld)) != nullptr && EVP_PKEY_fromdata_init(ctx) == 1 &&
                  EVP_PKEY_fromdata(ctx, &pkey, EVP_PKEY_PUBLIC_KEY, params) == 1;
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  EVP_PKEY_CTX_free(ctx);
  BN_free(n);
  BN_free(e);
  if (!ok) Fail(NTE_BAD_DATA);
  return WrapPkey(pkey);
}

std::shared_ptr<KeyObject> NewRsaKey(const std::shared_ptr<ProvObject>& prov, PkeyPtr pkey, bool hasPrivate) {
  auto key = std::make_shared<KeyObject>();
  key->prov = prov;
  key->alg = CALG_RSA_KEYX;
  key->keyBits = static_cast<DWORD>(EVP_PKEY_get_bits(pkey.get()));
  key->pkey = std::move(pkey);
  key->hasPrivate = hasPrivate;
  return key;
}

// A session key imported from its bytes, with the provider's rules.
std::shared_ptr<KeyObject> ImportSessionKey(const std::shared_ptr<ProvObject>& prov, ALG_ID alg, const BYTE* bytes,
                                            std::size_t size, DWORD flags, bool wrapped) {
  auto key = std::make_shared<KeyObject>();
  key->prov = prov;
  key->alg = alg;
  switch (alg) {
    case CALG_RC2:
      if (size < 5 || size > 16) Fail(NTE_BAD_DATA);
      key->keyBits = static_cast<DWORD>(size * 8);
      if (prov->kind == ProviderKind::Base && key->keyBits > 56) {
        // The base provider takes a longer wrapped key at 40 effective bits;
        // a plain-text one it refuses.
        if (!wrapped) Fail(NTE_BAD_DATA);
      }
      break;
    case CALG_DES:
      if (size != 8) Fail(NTE_BAD_DATA);
      key->keyBits = 56;
      break;
    case CALG_3DES:
      if (prov->kind == ProviderKind::Base) Fail(NTE_BAD_ALGID);
      if (size != 24) Fail(NTE_BAD_DATA);
      key->keyBits = 168;
      break;
    default:
      Fail(NTE_BAD_ALGID);
  }
  key->key.assign(bytes, bytes + size);
  key->exportable = (flags & CRYPT_EXPORTABLE) != 0;
  FinishSymmetricKey(*key);
  if (alg == CALG_RC2 && prov->kind == ProviderKind::Base && key->keyBits > 56) key->effectiveBits = 40;
  return key;
}

}  // namespace

BOOL CryptDeriveKey(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTHASH hBaseData, DWORD dwFlags, HCRYPTKEY* phKey) {
  return Guard([&] {
    if (phKey == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    *phKey = 0;
    auto prov = Get<ProvObject>(hProv, NTE_BAD_UID);
    auto hash = Get<HashObject>(hBaseData, NTE_BAD_HASH);
    if ((dwFlags & 0xFFFF & ~(CRYPT_EXPORTABLE | CRYPT_CREATE_SALT | CRYPT_NO_SALT | CRYPT_USER_PROTECTED)) != 0) {
      Fail(NTE_BAD_FLAGS);
    }
    auto key = std::make_shared<KeyObject>();
    key->prov = prov;
    key->alg = Algid;
    key->keyBits = ResolveKeyBits(prov->kind, Algid, dwFlags >> 16);
    if (!hash->finished) {
      unsigned int length = 0;
      if (EVP_DigestFinal_ex(hash->ctx.get(), hash->value.data(), &length) != 1) Fail(NTE_FAIL);
      hash->finished = true;
    }
    const std::size_t n = KeyBytes(Algid, key->keyBits);
    if (n <= hash->value.size()) {
      key->key.assign(hash->value.begin(), hash->value.begin() + static_cast<std::ptrdiff_t>(n));
    } else {
      // Longer keys: SHA-1 of the digest XORed into 64 bytes of 0x36, then of
      // 0x5C, concatenated.
      SecretBytes inner(64, 0x36), outer(64, 0x5C);
      for (std::size_t i = 0; i < hash->value.size(); ++i) {
        inner[i] ^= hash->value[i];
        outer[i] ^= hash->value[i];
      }
      auto a = Sha1(inner.data(), inner.size());
      auto b = Sha1(outer.data(), outer.size());
      key->key.assign(a.begin(), a.end());
      key->key.insert(key->key.end(), b.begin(), b.end());
      key->key.resize(n);
      OPENSSL_cleanse(a.data(), a.size());
      OPENSSL_cleanse(b.data(), b.size());
    }
    key->exportable = (dwFlags & CRYPT_EXPORTABLE) != 0;
    if (Algid == CALG_RC2 && key->keyBits == 40) {
      if ((dwFlags & CRYPT_NO_SALT) != 0) {
        key->salt.clear();
        key->alg = CALG_RC2;
        key->effectiveBits = 40;
        *phKey = AddHandle(key);
        return;
      }
      if ((dwFlags & CRYPT_CREATE_SALT) != 0 && prov->kind == ProviderKind::Base) {
        key->salt.assign(hash->value.begin() + 5, hash->value.begin() + 16);
      } else if ((dwFlags & CRYPT_CREATE_SALT) != 0) {
        key->effectiveBits = 40;
        *phKey = AddHandle(key);  // the enhanced provider adds no salt here
        return;
      }
    }
    FinishSymmetricKey(*key);
    *phKey = AddHandle(key);
  });
}

BOOL CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey) {
  return Guard([&] {
    if (phKey == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    *phKey = 0;
    auto prov = Get<ProvObject>(hProv, NTE_BAD_UID);
    if (Algid == AT_KEYEXCHANGE || Algid == CALG_RSA_KEYX) {
      const DWORD bits = (dwFlags >> 16) == 0 ? 1024 : (dwFlags >> 16);
      if (bits < kRsaMinBits || bits > kRsaMaxBits || bits % 8 != 0) Fail(NTE_BAD_FLAGS);
      EVP_PKEY* raw = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(bits));
      if (raw == nullptr) Fail(NTE_FAIL);
      PkeyPtr pkey = WrapPkey(raw);
      if (!prov->verifyContext) StoreContainerKey(*prov, pkey, (dwFlags & CRYPT_USER_PROTECTED) != 0);
      *phKey = AddHandle(NewRsaKey(prov, pkey, true));
      return;
    }
    auto key = std::make_shared<KeyObject>();
    key->prov = prov;
    key->alg = Algid;
    key->keyBits = ResolveKeyBits(prov->kind, Algid, dwFlags >> 16);
    key->key.resize(KeyBytes(Algid, key->keyBits));
    if (RAND_bytes(key->key.data(), static_cast<int>(key->key.size())) != 1) Fail(NTE_FAIL);
    key->exportable = (dwFlags & CRYPT_EXPORTABLE) != 0;
    if (Algid == CALG_RC2 && key->keyBits == 40 && (dwFlags & CRYPT_CREATE_SALT) != 0) {
      key->salt.resize(kRc2SaltBytes);
      if (RAND_bytes(key->salt.data(), static_cast<int>(key->salt.size())) != 1) Fail(NTE_FAIL);
    }
    FinishSymmetricKey(*key);
    if (Algid == CALG_RC2 && key->keyBits == 40 && (dwFlags & CRYPT_NO_SALT) != 0) key->salt.clear();
    *phKey = AddHandle(key);
  });
}

BOOL CryptDestroyKey(HCRYPTKEY hKey) {
  return Guard([&] {
    Get<KeyObject>(hKey, NTE_BAD_KEY);
    RemoveHandle(hKey);
  });
}

BOOL CryptGetKeyParam(HCRYPTKEY hKey, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD) {
  return Guard([&] {
    auto key = Get<KeyObject>(hKey, NTE_BAD_KEY);
    DWORD value = 0;
    switch (dwParam) {
      case KP_ALGID: value = key->alg; break;
      case KP_KEYLEN: value = key->alg == CALG_DES ? 64 : key->alg == CALG_3DES ? 192 : key->keyBits; break;
      case KP_EFFECTIVE_KEYLEN:
        if (key->alg != CALG_RC2) Fail(NTE_BAD_TYPE);
        value = key->effectiveBits;
        break;
      case KP_SALT:
        if (key->alg == CALG_DES || key->alg == CALG_3DES) Fail(NTE_BAD_KEY);
        CopyOut(key->salt.data(), static_cast<DWORD>(key->salt.size()), pbData, pdwDataLen);
        return;
      default: Fail(NTE_BAD_TYPE);
    }
    CopyOut(reinterpret_cast<const BYTE*>(&value), sizeof(value), pbData, pdwDataLen);
  });
}

BOOL CryptEncrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen,
                  DWORD dwBufLen) {
  return Guard([&] {
    if (pdwDataLen == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    auto key = GetSymmetric(hKey);
    if (hHash != 0) Fail(NTE_BAD_HASH);
    if (dwFlags != 0) Fail(NTE_BAD_FLAGS);
    const DWORD length = *pdwDataLen;
    if (!Final) {
      if (length % kBlock != 0) Fail(NTE_BAD_DATA);
      if (pbData == nullptr) return;  // size query: unchanged
      if (dwBufLen < length) Fail(ERROR_MORE_DATA_CODE);
      if (key->direction != 1) StartMessage(*key, 1);
      Transform(*key, pbData, length);
      return;
    }
    if (length > 0xFFFFFFFFu - kBlock) Fail(NTE_BAD_LEN);
    const DWORD padded = length + (kBlock - length % kBlock);
    if (pbData == nullptr) {
      *pdwDataLen = padded;
      return;
    }
    if (dwBufLen < padded) {
      *pdwDataLen = padded;
      Fail(ERROR_MORE_DATA_CODE);
    }
    const BYTE pad = static_cast<BYTE>(padded - length);
    std::fill(pbData + length, pbData + padded, pad);
    if (key->direction != 1) StartMessage(*key, 1);
    try {
      Transform(*key, pbData, padded);
    } catch (...) {
      EndMessage(*key);
      throw;
    }
    EndMessage(*key);
    *pdwDataLen = padded;
  });
}

BOOL CryptDecrypt(HCRYPTKEY hKey, HCRYPTHASH hHash, BOOL Final, DWORD dwFlags, BYTE* pbData, DWORD* pdwDataLen) {
  return Guard([&] {
    if (pdwDataLen == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    auto key = GetSymmetric(hKey);
    if (hHash != 0) Fail(NTE_BAD_HASH);
    if (dwFlags != 0) Fail(NTE_BAD_FLAGS);
    const DWORD length = *pdwDataLen;
    if (length % kBlock != 0 || (Final && length == 0)) {
      if (Final) EndMessage(*key);
      Fail(NTE_BAD_DATA);
    }
    if (length != 0 && pbData == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    if (key->direction != 0) StartMessage(*key, 0);
    if (!Final) {
      Transform(*key, pbData, length);
      return;
    }
    try {
      Transform(*key, pbData, length);
    } catch (...) {
      EndMessage(*key);
      throw;
    }
    EndMessage(*key);
    // PKCS #5: the last byte p is 1..8 and the last p bytes all equal p.
    const BYTE p = pbData[length - 1];
    bool valid = p >= 1 && p <= kBlock;
    for (DWORD i = 0; valid && i < p; ++i) valid = pbData[length - 1 - i] == p;
    if (!valid) Fail(NTE_BAD_DATA);
    *pdwDataLen = length - p;
  });
}

BOOL CryptExportKey(HCRYPTKEY hKey, HCRYPTKEY hExpKey, DWORD dwBlobType, DWORD dwFlags, BYTE* pbData,
                    DWORD* pdwDataLen) {
  return Guard([&] {
    if (pdwDataLen == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    if (dwFlags != 0) Fail(NTE_BAD_FLAGS);
    auto key = Get<KeyObject>(hKey, NTE_BAD_KEY);
    std::vector<BYTE> blob;
    switch (dwBlobType) {
      case SIMPLEBLOB: {
        if (!IsSymmetric(key->alg)) Fail(NTE_BAD_KEY);
        if (!key->exportable) Fail(NTE_BAD_KEY_STATE);
        auto wrapper = Get<KeyObject>(hExpKey, NTE_BAD_PUBLIC_KEY);
        if (wrapper->alg != CALG_RSA_KEYX || !wrapper->pkey) Fail(NTE_BAD_PUBLIC_KEY);
        const DWORD size = 12 + static_cast<DWORD>(EVP_PKEY_get_size(wrapper->pkey.get()));
        if (pbData == nullptr) {
          *pdwDataLen = size;
          return;
        }
        if (*pdwDataLen < size) {
          *pdwDataLen = size;
          Fail(ERROR_MORE_DATA_CODE);
        }
        blob = {SIMPLEBLOB, kBlobVersion, 0, 0};
        PutDword(blob, key->alg);
        PutDword(blob, CALG_RSA_KEYX);
        std::vector<BYTE> wrapped = RsaEncrypt(wrapper->pkey.get(), key->key.data(), key->key.size());
        std::reverse(wrapped.begin(), wrapped.end());  // carried least significant byte first
        blob.insert(blob.end(), wrapped.begin(), wrapped.end());
        break;
      }
      case PLAINTEXTKEYBLOB: {
        if (!IsSymmetric(key->alg)) Fail(NTE_BAD_KEY);
        if (!key->exportable) Fail(NTE_BAD_KEY_STATE);
        blob = {PLAINTEXTKEYBLOB, kBlobVersion, 0, 0};
        PutDword(blob, key->alg);
        PutDword(blob, static_cast<DWORD>(key->key.size()));
        blob.insert(blob.end(), key->key.begin(), key->key.end());
        break;
      }
      case PUBLICKEYBLOB: {
        if (key->alg != CALG_RSA_KEYX) Fail(NTE_BAD_KEY);
        std::vector<BYTE> modulus;
        DWORD exponent = 0;
        RsaPublicParts(key->pkey.get(), modulus, exponent);
        blob = {PUBLICKEYBLOB, kBlobVersion, 0, 0};
        PutDword(blob, CALG_RSA_KEYX);
        blob.insert(blob.end(), {'R', 'S', 'A', '1'});
        PutDword(blob, static_cast<DWORD>(modulus.size() * 8));
        PutDword(blob, exponent);
        blob.insert(blob.end(), modulus.begin(), modulus.end());
        break;
      }
      default:
        Fail(NTE_BAD_TYPE);
    }
    try {
      CopyOut(blob.data(), static_cast<DWORD>(blob.size()), pbData, pdwDataLen);
    } catch (...) {
      OPENSSL_cleanse(blob.data(), blob.size());
      throw;
    }
    OPENSSL_cleanse(blob.data(), blob.size());
  });
}

BOOL CryptImportKey(HCRYPTPROV hProv, const BYTE* pbData, DWORD dwDataLen, HCRYPTKEY hPubKey, DWORD dwFlags,
                    HCRYPTKEY* phKey) {
  return Guard([&] {
    if (phKey == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    *phKey = 0;
    auto prov = Get<ProvObject>(hProv, NTE_BAD_UID);
    if (pbData == nullptr || dwDataLen < 8) Fail(NTE_BAD_DATA);
    if (pbData[1] != kBlobVersion) Fail(NTE_BAD_DATA);
    const ALG_ID alg = ReadDword(pbData + 4);
    switch (pbData[0]) {
      case SIMPLEBLOB: {
        if (dwDataLen < 12 || ReadDword(pbData + 8) != CALG_RSA_KEYX) Fail(NTE_BAD_DATA);
        if (!IsSymmetric(alg)) Fail(NTE_BAD_ALGID);
        PkeyPtr privateKey;
        if (hPubKey == 0) {
          privateKey = ContainerKey(*prov);  // the container's exchange key unwraps it
        } else {
          auto unwrapper = Get<KeyObject>(hPubKey, NTE_BAD_KEY);
          if (unwrapper->alg != CALG_RSA_KEYX || !unwrapper->hasPrivate) Fail(NTE_BAD_KEY);
          privateKey = unwrapper->pkey;
        }
        const std::size_t size = dwDataLen - 12;
        if (size != static_cast<std::size_t>(EVP_PKEY_get_size(privateKey.get()))) Fail(NTE_BAD_DATA);
        std::vector<BYTE> wrapped(pbData + 12, pbData + dwDataLen);
        std::reverse(wrapped.begin(), wrapped.end());
        const SecretBytes bytes = RsaDecrypt(privateKey.get(), wrapped.data(), wrapped.size());
        *phKey = AddHandle(ImportSessionKey(prov, alg, bytes.data(), bytes.size(), dwFlags, true));
        return;
      }
      case PLAINTEXTKEYBLOB: {
        if (dwDataLen < 12) Fail(NTE_BAD_DATA);
        const DWORD size = ReadDword(pbData + 8);
        if (size > dwDataLen - 12) Fail(NTE_BAD_DATA);
        *phKey = AddHandle(ImportSessionKey(prov, alg, pbData + 12, size, dwFlags, false));
        return;
      }
      case PUBLICKEYBLOB: {
        if (dwDataLen < 20 || std::memcmp(pbData + 8, "RSA1", 4) != 0) Fail(NTE_BAD_DATA);
        const DWORD bits = ReadDword(pbData + 12);
        if (bits < kRsaMinBits || bits > kRsaMaxBits || bits % 8 != 0 || dwDataLen - 20 < bits / 8) {
          Fail(NTE_BAD_DATA);
        }
        PkeyPtr pkey = RsaFromPublicParts(pbData + 20, bits / 8, ReadDword(pbData + 16));
        *phKey = AddHandle(NewRsaKey(prov, std::move(pkey), false));
        return;
      }
      default:
        Fail(NTE_BAD_TYPE);
    }
  });
}

BOOL CryptImportPublicKeyInfo(HCRYPTPROV hProv, DWORD, const CERT_PUBLIC_KEY_INFO* pInfo, HCRYPTKEY* phKey) {
  return Guard([&] {
    if (phKey == nullptr || pInfo == nullptr || pInfo->pbData == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    *phKey = 0;
    auto prov = Get<ProvObject>(hProv, NTE_BAD_UID);
    const unsigned char* p = pInfo->pbData;
    EVP_PKEY* raw = d2i_PUBKEY(nullptr, &p, static_cast<long>(pInfo->cbData));
    if (raw == nullptr) Fail(CRYPT_E_ASN1_BADTAG);
    PkeyPtr pkey = WrapPkey(raw);
    if (EVP_PKEY_get_base_id(pkey.get()) != EVP_PKEY_RSA) Fail(NTE_BAD_ALGID);
    *phKey = AddHandle(NewRsaKey(prov, std::move(pkey), false));
  });
}

BOOL CryptExportPublicKeyInfo(HCRYPTPROV hProv, DWORD dwKeySpec, DWORD, BYTE* pbInfo, DWORD* pcbInfo) {
  return Guard([&] {
    auto prov = Get<ProvObject>(hProv, NTE_BAD_UID);
    if (dwKeySpec != AT_KEYEXCHANGE) Fail(NTE_NO_KEY);
    PkeyPtr pkey = ContainerKey(*prov);
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(pkey.get(), &der);
    if (size <= 0) Fail(NTE_FAIL);
    std::vector<BYTE> info(der, der + size);
    OPENSSL_free(der);
    CopyOut(info.data(), static_cast<DWORD>(info.size()), pbInfo, pcbInfo);
  });
}

}  // namespace sealvane::csp

namespace sealvane::csp {

BOOL CryptEncryptOaepSha256(HCRYPTKEY hPubKey, const BYTE* pbData, DWORD cbData, std::vector<BYTE>& wrapped) {
  using namespace detail;
  return Guard([&] {
    auto key = Get<KeyObject>(hPubKey, NTE_BAD_KEY);
    if (key->alg != CALG_RSA_KEYX || !key->pkey || (pbData == nullptr && cbData != 0)) Fail(NTE_BAD_KEY);
    PkeyCtxPtr ctx = OaepContext(key->pkey.get(), true);
    std::size_t size = 0;
    if (EVP_PKEY_encrypt(ctx.get(), nullptr, &size, pbData, cbData) != 1) Fail(NTE_BAD_LEN);
    std::vector<BYTE> out(size);
    if (EVP_PKEY_encrypt(ctx.get(), out.data(), &size, pbData, cbData) != 1) Fail(NTE_BAD_LEN);
    out.resize(size);
    wrapped = std::move(out);
  });
}

BOOL CryptDecryptOaepSha256(HCRYPTPROV hProv, const BYTE* pbWrapped, DWORD cbWrapped, BYTE* pbData, DWORD* pcbData) {
  using namespace detail;
  return Guard([&] {
    if (pcbData == nullptr || pbWrapped == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    auto prov = Get<ProvObject>(hProv, NTE_BAD_UID);
    PkeyPtr privateKey = ContainerKey(*prov);
    if (cbWrapped != static_cast<DWORD>(EVP_PKEY_get_size(privateKey.get()))) Fail(NTE_BAD_DATA);
    PkeyCtxPtr ctx = OaepContext(privateKey.get(), false);
    SecretBytes out(cbWrapped);
    std::size_t size = out.size();
    if (EVP_PKEY_decrypt(ctx.get(), out.data(), &size, pbWrapped, cbWrapped) != 1) Fail(NTE_BAD_DATA);
    if (pbData == nullptr || *pcbData < size) {
      *pcbData = static_cast<DWORD>(size);
      Fail(NTE_BAD_LEN);
    }
    std::copy_n(out.begin(), size, pbData);
    *pcbData = static_cast<DWORD>(size);
  });
}

}  // namespace sealvane::csp
