// SPDX-License-Identifier: GPL-3.0-or-later
// The exports for the provider level, hashing, random bytes and session
// encryption: keys derived from a password or wrapped for digital IDs.
#include <cstring>
#include <type_traits>
#include <vector>

#include "LibInternal.h"

using namespace sealvane::lib;

namespace {

struct CipherChoice {
  ALG_ID alg;
  DWORD flags;
};

CipherChoice CipherForNumber(int32_t number) {
  switch (number) {
    case 2: return {CALG_DES, 0};
    case 3: return {CALG_RC2, 0x00400000};
    case 4: return {CALG_RC2, 0x00800000};
    case 5: return {CALG_3DES, 0};
    default: return {CALG_RC2, 0x00280000};
  }
}

// Hashes the password and derives the session key from it.
bool DerivePasswordKey(HCRYPTPROV prov, const char* password, CipherChoice cipher, HCRYPTKEY* key, char* message) {
  HashHandle hash;
  if (!CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash.h)) {
    WriteMessage(message, "CryptCreateHash - Password: %x", GetLastError());
    return false;
  }
  if (!CryptHashData(hash.h, reinterpret_cast<const BYTE*>(password), static_cast<DWORD>(std::strlen(password)), 0)) {
    WriteMessage(message, "CryptHashData - Password: %x", GetLastError());
    return false;
  }
  if (!CryptDeriveKey(prov, cipher.alg, hash.h, cipher.flags, key)) {
    WriteMessage(message, "CryptDeriveKey - Password: %x", GetLastError());
    return false;
  }
  return true;
}

// Wraps the session key for the certificate with `thumbprint` in `store`.
bool ExportEncKeyBlob(HCRYPTPROV prov, HCRYPTKEY sessionKey, const char* storeName, const BYTE* thumbprint,
                      EncKeyBlob* slot, char* message) {
  StoreHandle store;
  CertHandle cert;
  if (!FindCertificate(prov, storeName, thumbprint, "ExportEncKeyBlob - ", store, cert, message)) return false;
  std::vector<BYTE> spki;
  KeyHandle publicKey;
  if (!CertGetPublicKeyInfo(cert.h, spki)) {
    WriteMessage(message, "ExportEncKeyBlob - CryptImportPublicKeyInfo: %x", GetLastError());
    return false;
  }
  const CERT_PUBLIC_KEY_INFO info {spki.data(), static_cast<DWORD>(spki.size())};
  if (!CryptImportPublicKeyInfo(prov, X509_ASN_ENCODING, &info, &publicKey.h)) {
    WriteMessage(message, "ExportEncKeyBlob - CryptImportPublicKeyInfo: %x", GetLastError());
    return false;
  }
  DWORD size = kBlobCapacity;
  slot->Size = kBlobCapacity;
  if (!CryptExportKey(sessionKey, publicKey.h, SIMPLEBLOB, 0, slot->Blob, &size)) {
    WriteMessage(message, "ExportEncKeyBlob - CryptExportKey: %x", GetLastError());
    return false;
  }
  slot->Size = size;
  return true;
}

// Opens the private key of the user's digital ID under the chosen provider.
bool GetPrivateKeyContext(const char* provider, const BYTE* thumbprint, HCRYPTPROV* out, char* message) {
  TempProv temp;
  if (!AcquireVerify(&temp.h, provider)) {
    if (GetLastError() == NTE_KEYSET_NOT_DEF) {
      WriteMessage(message, "An invalid CSP was specified.");
    } else {
      WriteMessage(message, "GetPrivateKeyContext - CryptAcquireContext - Temporary: %x", GetLastError());
    }
    return false;
  }
  StoreHandle store;
  CertHandle cert;
  if (!FindCertificate(temp.h, "MY", thumbprint, "GetPrivateKeyContext - ", store, cert, message)) return false;
  DWORD keySpec = 0;
  BOOL callerFree = FALSE;
  if (!CryptAcquireCertificatePrivateKey(cert.h, 0, nullptr, out, &keySpec, &callerFree)) {
    WriteMessage(message, "GetPrivateKeyContext - CryptAcquireCertificatePrivateKey: %x", GetLastError());
    return false;
  }
  char name[260] = {};
  DWORD size = sizeof(name);
  if (!CryptGetProvParam(*out, PP_NAME, reinterpret_cast<BYTE*>(name), &size, 0)) {
    WriteMessage(message, "GetPrivateKeyContext - CryptGetProvParam - CSP Name: %x", GetLastError());
    return false;
  }
  if (std::strncmp(name, provider, sizeof(name)) == 0) return true;
  // A container made under the other provider is reopened under the one the
  // archive asks for.
  char container[260] = {};
  size = sizeof(container);
  if (!CryptGetProvParam(*out, PP_CONTAINER, reinterpret_cast<BYTE*>(container), &size, 0)) {
    WriteMessage(message, "GetPrivateKeyContext - CryptGetProvParam - Container Name: %x", GetLastError());
    return false;
  }
  CryptReleaseContext(*out, 0);
  *out = 0;
  if (!CryptAcquireContextA(out, container, provider, PROV_RSA_FULL, 0)) {
    *out = 0;
    WriteMessage(message, "GetPrivateKeyContext - CryptAcquireContext - Specified: %x", GetLastError());
    return false;
  }
  return true;
}

}  // namespace

SL_EXPORT int32_t SLGetCSP(int32_t* providerLevel, char* message) {
  return Export("SLGetCSP", message, [&] {
    if (providerLevel == nullptr) return BadArgument("SLGetCSP", message);
    TempProv prov;
    if (AcquireVerify(&prov.h, MS_ENHANCED_PROV_A)) {
      *providerLevel = 3;
      return true;
    }
    if (AcquireVerify(&prov.h, MS_DEF_PROV_A)) {
      *providerLevel = 1;
      return true;
    }
    *providerLevel = 0;
    WriteMessage(message, "CryptAcquireContext: %x", GetLastError());
    return false;
  });
}

SL_EXPORT int32_t SLHashString(const char* text, uint8_t* digest, char* message) {
  return Export("SLHashString", message, [&] {
    if (text == nullptr || digest == nullptr) return BadArgument("SLHashString", message);
    TempProv prov;
    if (!AcquireVerify(&prov.h, MS_DEF_PROV_A)) {
      WriteMessage(message, "CryptAcquireContext - Hash: %x", GetLastError());
      return false;
    }
    HashHandle hash;
    if (!CryptCreateHash(prov.h, CALG_SHA1, 0, 0, &hash.h)) {
      WriteMessage(message, "CryptCreateHash - String: %x", GetLastError());
      return false;
    }
    if (!CryptHashData(hash.h, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text)), 0)) {
      WriteMessage(message, "CryptHashData - String: %x", GetLastError());
      return false;
    }
    DWORD size = 20;
    if (!CryptGetHashParam(hash.h, HP_HASHVAL, digest, &size, 0)) {
      WriteMessage(message, "CryptGetHashParam - String: %x", GetLastError());
      return false;
    }
    return true;
  });
}

SL_EXPORT int32_t SLGenRandomInit(uint32_t* randomContext, char* message) {
  return Export("SLGenRandomInit", message, [&] {
    if (randomContext == nullptr) return BadArgument("SLGenRandomInit", message);
    *randomContext = 0;
    HCRYPTPROV prov = 0;
    if (!AcquireVerify(&prov, MS_DEF_PROV_A)) {
      WriteMessage(message, "CryptAcquireContext - Temporary %x", GetLastError());
      return false;
    }
    *randomContext = prov;
    return true;
  });
}

SL_EXPORT int32_t SLGenRandom(uint32_t randomContext, uint32_t length, uint8_t* buffer, char* message) {
  return Export("SLGenRandom", message, [&] {
    if (length != 0 && buffer == nullptr) return BadArgument("SLGenRandom", message);
    if (!CryptGenRandom(randomContext, length, buffer)) {
      WriteMessage(message, "CryptGenRandomData: %x", GetLastError());
      return false;
    }
    return true;
  });
}

SL_EXPORT int32_t SLGenRandomDone(uint32_t* randomContext, char* /*message*/) {
  if (randomContext != nullptr && *randomContext != 0) {
    CryptReleaseContext(*randomContext, 0);
    *randomContext = 0;
  }
  return 1;
}

SL_EXPORT int32_t SLEncryptInit(int32_t providerLevel, int32_t cipherNumber, const char* password,
                                const CertRecord* sender, int32_t recipientCount, const CertRecord* recipients,
                                SessionContext* context, EncKeyBlob* keyBlobs, char* message) {
  return Export("SLEncryptInit", message, [&] {
    if (context == nullptr) return BadArgument("SLEncryptInit", message);
    context->hProv = 0;
    context->hKey = 0;
    const CipherChoice cipher = CipherForNumber(cipherNumber);
    const bool passwordMode = password != nullptr && password[0] != '\0';
    if (!passwordMode &&
        (sender == nullptr || keyBlobs == nullptr || recipientCount < 0 || (recipientCount > 0 && recipients == nullptr))) {
      return BadArgument("SLEncryptInit", message);
    }
    HCRYPTPROV prov = 0;
    if (!AcquireVerify(&prov, ProviderForLevel(providerLevel))) {
      WriteMessage(message, "CryptAcquireContext - Temporary %x", GetLastError());
      return false;
    }
    context->hProv = prov;
    HCRYPTKEY key = 0;
    if (passwordMode) {
      const bool ok = DerivePasswordKey(prov, password, cipher, &key, message);
      context->hKey = key;
      return ok;
    }
    if (!CryptGenKey(prov, cipher.alg, cipher.flags | CRYPT_EXPORTABLE, &key)) {
      WriteMessage(message, "CryptGenKey - Generate Session Key: %x", GetLastError());
      return false;
    }
    context->hKey = key;
    if (!ExportEncKeyBlob(prov, key, "MY", sender->Thumbprint, &keyBlobs[0], message)) return false;
    for (int32_t k = 1; k <= recipientCount; ++k) {
      if (!ExportEncKeyBlob(prov, key, "AddressBook", recipients[k - 1].Thumbprint, &keyBlobs[k], message)) {
        return false;
      }
    }
    return true;
  });
}

SL_EXPORT int32_t SLEncrypt(SessionContext* context, int32_t final, uint32_t length, const uint8_t* source,
                            uint32_t* bufferLength, uint8_t* destination, char* message) {
  return Export("SLEncrypt", message, [&] {
    if (context == nullptr || bufferLength == nullptr || (length != 0 && (source == nullptr || destination == nullptr))) {
      WriteMessage(message, "CryptEncrypt: %x", ERROR_INVALID_PARAMETER_CODE);
      return false;
    }
    // The destination holds *bufferLength bytes: never copy more than that.
    if (length > *bufferLength) {
      WriteMessage(message, "CryptEncrypt: %x", ERROR_MORE_DATA_CODE);
      return false;
    }
    if (length != 0 && destination != source) std::memmove(destination, source, length);
    DWORD dataLength = length;
    const BOOL ok = CryptEncrypt(context->hKey, 0, final != 0, 0, destination, &dataLength, *bufferLength);
    const DWORD error = GetLastError();
    *bufferLength = dataLength;
    if (!ok) {
      WriteMessage(message, "CryptEncrypt: %x", error);
      return false;
    }
    return true;
  });
}

SL_EXPORT int32_t SLEncryptDone(SessionContext* context, char* /*message*/) {
  if (context != nullptr) {
    if (context->hKey != 0) CryptDestroyKey(context->hKey);
    if (context->hProv != 0) CryptReleaseContext(context->hProv, 0);
    context->hKey = 0;
    context->hProv = 0;
  }
  return 1;
}

// One function under both names.
SL_EXPORT int32_t SLDecryptDone(SessionContext* context, char* message) __attribute__((alias("SLEncryptDone")));

SL_EXPORT int32_t SLDecryptInit(int32_t providerLevel, int32_t cipherNumber, const char* password,
                                const uint8_t* thumbprint, const EncKeyBlob* keyBlob, SessionContext* context,
                                char* message) {
  return Export("SLDecryptInit", message, [&] {
    if (context == nullptr) return BadArgument("SLDecryptInit", message);
    context->hProv = 0;
    context->hKey = 0;
    const char* provider = ProviderForLevel(providerLevel);
    const bool passwordMode = password != nullptr && password[0] != '\0';
    if (passwordMode) {
      HCRYPTPROV prov = 0;
      if (!AcquireVerify(&prov, provider)) {
        if (GetLastError() == NTE_KEYSET_NOT_DEF) {
          WriteMessage(message, "An invalid CSP was specified.");
        } else {
          WriteMessage(message, "CryptAcquireContext - Temporary %x", GetLastError());
        }
        return false;
      }
      context->hProv = prov;
      HCRYPTKEY key = 0;
      const bool ok = DerivePasswordKey(prov, password, CipherForNumber(cipherNumber), &key, message);
      context->hKey = key;
      return ok;
    }
    if (thumbprint == nullptr || keyBlob == nullptr) return BadArgument("SLDecryptInit", message);
    HCRYPTPROV prov = 0;
    const bool opened = GetPrivateKeyContext(provider, thumbprint, &prov, message);
    context->hProv = prov;
    if (!opened) return false;
    // A slot never holds more than its 2060 bytes, whatever its Size says.
    if (keyBlob->Size > kBlobCapacity) {
      WriteMessage(message, "ImportEncKeyBlob - CryptImportKey: %x", NTE_BAD_DATA);
      return false;
    }
    HCRYPTKEY key = 0;
    if (!CryptImportKey(prov, keyBlob->Blob, keyBlob->Size, 0, 0, &key)) {
      WriteMessage(message, "ImportEncKeyBlob - CryptImportKey: %x", GetLastError());
      return false;
    }
    context->hKey = key;
    return true;
  });
}

SL_EXPORT int32_t SLDecrypt(SessionContext* context, int32_t final, uint32_t length, const uint8_t* source,
                            uint32_t* dataLength, uint8_t* destination, char* message) {
  return Export("SLDecrypt", message, [&] {
    if (context == nullptr || dataLength == nullptr || (length != 0 && (source == nullptr || destination == nullptr))) {
      WriteMessage(message, "CryptDecrypt: %x", ERROR_INVALID_PARAMETER_CODE);
      return false;
    }
    // dataLength carries the destination's size in: it must cover the data.
    if (*dataLength != length) {
      WriteMessage(message, "CryptDecrypt: %x", ERROR_INVALID_PARAMETER_CODE);
      return false;
    }
    if (length != 0 && destination != source) std::memmove(destination, source, length);
    DWORD size = length;
    if (!CryptDecrypt(context->hKey, 0, final != 0, 0, destination, &size)) {
      WriteMessage(message, "CryptDecrypt: %x", GetLastError());
      return false;
    }
    *dataLength = size;
    return true;
  });
}

// Every export has exactly the type its caller binds.
static_assert(std::is_same_v<decltype(&SLGetCSP), PFN_SLGetCSP>);
static_assert(std::is_same_v<decltype(&SLHashString), PFN_SLHashString>);
static_assert(std::is_same_v<decltype(&SLGenRandomInit), PFN_SLGenRandomInit>);
static_assert(std::is_same_v<decltype(&SLGenRandom), PFN_SLGenRandom>);
static_assert(std::is_same_v<decltype(&SLGenRandomDone), PFN_SLGenRandomDone>);
static_assert(std::is_same_v<decltype(&SLEncryptInit), PFN_SLEncryptInit>);
static_assert(std::is_same_v<decltype(&SLEncrypt), PFN_SLEncrypt>);
static_assert(std::is_same_v<decltype(&SLEncryptDone), PFN_SLEncryptDone>);
static_assert(std::is_same_v<decltype(&SLDecryptInit), PFN_SLDecryptInit>);
static_assert(std::is_same_v<decltype(&SLDecrypt), PFN_SLDecrypt>);
static_assert(std::is_same_v<decltype(&SLDecryptDone), PFN_SLDecryptDone>);
