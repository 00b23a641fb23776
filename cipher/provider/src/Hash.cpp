// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-1 hash objects.
#include "Internal.h"

namespace sealvane::csp {

using namespace detail;

BOOL CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash) {
  return Guard([&] {
    if (phHash == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    *phHash = 0;
    auto prov = Get<ProvObject>(hProv, NTE_BAD_UID);
    if (Algid != CALG_SHA1) Fail(NTE_BAD_ALGID);
    if (hKey != 0) Fail(NTE_BAD_KEY);
    if (dwFlags != 0) Fail(NTE_BAD_FLAGS);
    auto hash = std::make_shared<HashObject>();
    hash->prov = prov;
    hash->ctx.reset(EVP_MD_CTX_new());
    if (!hash->ctx || EVP_DigestInit_ex(hash->ctx.get(), EVP_sha1(), nullptr) != 1) Fail(NTE_NO_MEMORY);
    *phHash = AddHandle(hash);
  });
}

BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags) {
  return Guard([&] {
    auto hash = Get<HashObject>(hHash, NTE_BAD_HASH);
    if (dwFlags != 0) Fail(NTE_BAD_FLAGS);
    if (hash->finished) Fail(NTE_BAD_HASH_STATE);
    if (dwDataLen == 0) return;
    if (pbData == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    if (EVP_DigestUpdate(hash->ctx.get(), pbData, dwDataLen) != 1) Fail(NTE_FAIL);
  });
}

BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags) {
  return Guard([&] {
    auto hash = Get<HashObject>(hHash, NTE_BAD_HASH);
    if (dwFlags != 0) Fail(NTE_BAD_FLAGS);
    switch (dwParam) {
      case HP_ALGID: {
        const DWORD alg = CALG_SHA1;
        CopyOut(reinterpret_cast<const BYTE*>(&alg), sizeof(alg), pbData, pdwDataLen);
        return;
      }
      case HP_HASHSIZE: {
        const DWORD size = 20;
        CopyOut(reinterpret_cast<const BYTE*>(&size), sizeof(size), pbData, pdwDataLen);
        return;
      }
      case HP_HASHVAL: {
        if (pbData != nullptr && !hash->finished) {
          if (pdwDataLen == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
          if (*pdwDataLen < 20) {
            *pdwDataLen = 20;
            Fail(ERROR_MORE_DATA_CODE);
          }
          unsigned int length = 0;
          if (EVP_DigestFinal_ex(hash->ctx.get(), hash->value.data(), &length) != 1) Fail(NTE_FAIL);
          hash->finished = true;
        }
        CopyOut(hash->value.data(), 20, pbData, pdwDataLen);
        return;
      }
      default:
        Fail(NTE_BAD_TYPE);
    }
  });
}

BOOL CryptDestroyHash(HCRYPTHASH hHash) {
  return Guard([&] {
    Get<HashObject>(hHash, NTE_BAD_HASH);
    RemoveHandle(hHash);
  });
}

}  // namespace sealvane::csp
