// SPDX-License-Identifier: GPL-3.0-or-later
// The cipher library's exports: provider level, SHA-1 of a string, random
// bytes, password- and certificate-keyed session encryption, and certificate
// store queries. Each export catches everything: nothing crosses the C ABI
// but a result and, on failure, one message in the caller's buffer.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "sealvane/csp/WinCrypt.h"
#include "sealvane/sealvanelib.h"

#define SL_EXPORT extern "C" __attribute__((visibility("default")))

using namespace sealvane::csp;

namespace {

constexpr DWORD kBlobCapacity = 2060;
constexpr DWORD kOutOfMemory = 0xC0000017;

void WriteMessage(char* message, const char* format, ...) __attribute__((format(printf, 2, 3)));
void WriteMessage(char* message, const char* format, ...) {
  if (message == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, SL_MESSAGE_SIZE, format, args);
  va_end(args);
}

// Runs an export body; anything thrown becomes a failure with a message.
template <typename F>
int32_t Export(const char* name, char* message, F&& body) noexcept {
  try {
    return body() ? 1 : 0;
  } catch (const std::bad_alloc&) {
    WriteMessage(message, "%s - Out of memory: %x", name, kOutOfMemory);
  } catch (...) {
    WriteMessage(message, "%s - Internal error: %x", name, NTE_FAIL);
  }
  return 0;
}

bool BadArgument(const char* name, char* message) {
  WriteMessage(message, "%s - Invalid argument: %x", name, ERROR_INVALID_PARAMETER_CODE);
  return false;
}

const char* ProviderForLevel(int32_t level) { return level == 3 ? MS_ENHANCED_PROV_A : MS_DEF_PROV_A; }

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

// Released at the end of the scope unless handed on.
struct TempProv {
  HCRYPTPROV h = 0;
  ~TempProv() {
    if (h != 0) CryptReleaseContext(h, 0);
  }
};
struct HashHandle {
  HCRYPTHASH h = 0;
  ~HashHandle() {
    if (h != 0) CryptDestroyHash(h);
  }
};
struct KeyHandle {
  HCRYPTKEY h = 0;
  ~KeyHandle() {
    if (h != 0) CryptDestroyKey(h);
  }
};
struct StoreHandle {
  HCERTSTORE h = 0;
  ~StoreHandle() {
    if (h != 0) CertCloseStore(h, 0);
  }
};
struct CertHandle {
  PCCERT_CONTEXT h = 0;
  ~CertHandle() {
    if (h != 0) CertFreeCertificateContext(h);
  }
};

bool AcquireVerify(HCRYPTPROV* prov, const char* provider) {
  return CryptAcquireContextA(prov, nullptr, provider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) == TRUE;
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

// Opens a store and finds the certificate with `thumbprint` in it; failures
// are reported with `prefix` before the failing call's name.
bool FindCertificate(HCRYPTPROV prov, const char* storeName, const BYTE* thumbprint, const char* prefix,
                     StoreHandle& store, CertHandle& cert, char* message) {
  store.h = CertOpenSystemStoreA(prov, storeName);
  if (store.h == 0) {
    WriteMessage(message, "%sCertOpenSystemStore: %x", prefix, GetLastError());
    return false;
  }
  // Searched for before anything is written: the thumbprint may lie in the
  // caller's record.
  BYTE wanted[20];
  std::memcpy(wanted, thumbprint, sizeof(wanted));
  const CRYPT_HASH_BLOB blob {20, wanted};
  cert.h = CertFindCertificateInStore(store.h, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, 0);
  if (cert.h == 0) {
    WriteMessage(message, "%sCertFindCertificateInStore: %x", prefix, GetLastError());
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

void FillRecord(PCCERT_CONTEXT cert, CertRecord* record) {
  BYTE thumbprint[20] = {};
  DWORD size = sizeof(thumbprint);
  CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, thumbprint, &size);
  record->Selected = 0;
  CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, record->Name, sizeof(record->Name));
  record->Name[255] = '\0';
  CertGetNameStringA(cert, CERT_NAME_EMAIL_TYPE, 0, nullptr, record->EMailAddr, sizeof(record->EMailAddr));
  record->EMailAddr[255] = '\0';
  std::memcpy(record->Thumbprint, thumbprint, sizeof(thumbprint));
}

bool PassesFilter(PCCERT_CONTEXT cert, bool privateKeyOnly) {
  if (!privateKeyOnly) return true;
  DWORD keySpec = 0;
  DWORD size = sizeof(keySpec);
  return CertGetCertificateContextProperty(cert, CERT_KEY_SPEC_PROP_ID, &keySpec, &size) == TRUE;
}

// Opens the base provider and the named store for the three queries.
bool OpenQueryStore(const char* storeName, TempProv& prov, StoreHandle& store, char* message) {
  if (!AcquireVerify(&prov.h, MS_DEF_PROV_A)) {
    WriteMessage(message, "CryptAcquireContext: %x", GetLastError());
    return false;
  }
  store.h = CertOpenSystemStoreA(prov.h, storeName);
  if (store.h == 0) {
    WriteMessage(message, "CertOpenSystemStore: %x", GetLastError());
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

SL_EXPORT int32_t SLGetCertCount(const char* storeName, int32_t privateKeyOnly, int32_t* count, char* message) {
  return Export("SLGetCertCount", message, [&] {
    if (storeName == nullptr || count == nullptr) return BadArgument("SLGetCertCount", message);
    TempProv prov;
    StoreHandle store;
    if (!OpenQueryStore(storeName, prov, store, message)) return false;
    *count = 0;
    PCCERT_CONTEXT cert = 0;
    while ((cert = CertEnumCertificatesInStore(store.h, cert)) != 0) {
      if (PassesFilter(cert, privateKeyOnly != 0)) ++*count;
    }
    return true;
  });
}

SL_EXPORT int32_t SLGetCerts(const char* storeName, int32_t privateKeyOnly, CertRecord* records, int32_t capacity,
                             char* message) {
  return Export("SLGetCerts", message, [&] {
    if (storeName == nullptr || (capacity > 0 && records == nullptr)) return BadArgument("SLGetCerts", message);
    TempProv prov;
    StoreHandle store;
    if (!OpenQueryStore(storeName, prov, store, message)) return false;
    int32_t i = 0;
    PCCERT_CONTEXT cert = 0;
    while ((cert = CertEnumCertificatesInStore(store.h, cert)) != 0) {
      if (!PassesFilter(cert, privateKeyOnly != 0)) continue;
      if (i >= capacity) {
        // The store grew since it was counted: the caller's records are full.
        CertFreeCertificateContext(cert);
        break;
      }
      FillRecord(cert, &records[i]);
      ++i;
    }
    return true;
  });
}

SL_EXPORT int32_t SLFindCert(const char* storeName, const uint8_t* thumbprint, CertRecord* record, char* message) {
  return Export("SLFindCert", message, [&] {
    if (storeName == nullptr || thumbprint == nullptr || record == nullptr) return BadArgument("SLFindCert", message);
    TempProv prov;
    if (!AcquireVerify(&prov.h, MS_DEF_PROV_A)) {
      WriteMessage(message, "CryptAcquireContext: %x", GetLastError());
      return false;
    }
    StoreHandle store;
    CertHandle cert;
    if (!FindCertificate(prov.h, storeName, thumbprint, "", store, cert, message)) return false;
    FillRecord(cert.h, record);
    return true;
  });
}

namespace {

// Encodes one extension value: sized first, then produced into a zeroed
// buffer, each step with its own message.
bool EncodeExtension(const char* type, const void* info, const char* what, std::vector<BYTE>& out, char* message) {
  DWORD size = 0;
  if (!CryptEncodeObject(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, type, info, nullptr, &size)) {
    WriteMessage(message, "CryptEncodeObject - %s size: %x", what, GetLastError());
    return false;
  }
  out.assign(size, 0);
  if (!CryptEncodeObject(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, type, info, out.data(), &size)) {
    WriteMessage(message, "CryptEncodeObject - %s: %x", what, GetLastError());
    return false;
  }
  out.resize(size);
  return true;
}

// SHA-1 of bytes on a context, each step with its own message.
bool HashBytes(HCRYPTPROV prov, const std::vector<BYTE>& data, const char* what, BYTE* digest, char* message) {
  HashHandle hash;
  if (!CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash.h)) {
    WriteMessage(message, "CryptCreateHash - %s: %x", what, GetLastError());
    return false;
  }
  if (!CryptHashData(hash.h, data.data(), static_cast<DWORD>(data.size()), 0)) {
    WriteMessage(message, "CryptHashData - %s: %x", what, GetLastError());
    return false;
  }
  DWORD size = 0;
  if (!CryptGetHashParam(hash.h, HP_HASHVAL, nullptr, &size, 0)) {
    WriteMessage(message, "CryptGetHashParam - %s Hash size: %x", what, GetLastError());
    return false;
  }
  if (size != 20) {
    WriteMessage(message, "CryptGetHashParam - %s Hash size: %x", what, NTE_BAD_HASH);
    return false;
  }
  if (!CryptGetHashParam(hash.h, HP_HASHVAL, digest, &size, 0)) {
    WriteMessage(message, "CryptGetHashParam - %s Hash: %x", what, GetLastError());
    return false;
  }
  return true;
}

bool ToFileTime(const SLSystemTime& t, std::int64_t* out) {
  return SystemTimeToFileTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, out) == TRUE;
}

// Adds the certificate to one of the user's stores; "MY" also receives the
// key provider information that binds it to its container.
bool InstallCertificate(const char16_t* storeName, const std::vector<BYTE>& encoded, const std::string* container,
                        char* message) {
  StoreHandle store;
  store.h = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                          CERT_SYSTEM_STORE_CURRENT_USER, storeName);
  if (store.h == 0) {
    WriteMessage(message, "CertOpenStore - Certificate: %x", GetLastError());
    return false;
  }
  if (encoded.empty()) return true;  // only making sure the store exists
  CertHandle cert;
  if (!CertAddEncodedCertificateToStore(store.h, X509_ASN_ENCODING, encoded.data(), static_cast<DWORD>(encoded.size()),
                                        CERT_STORE_ADD_REPLACE_EXISTING, container != nullptr ? &cert.h : nullptr)) {
    WriteMessage(message, "CertAddEncodedCertificateToStore - Certificate: %x", GetLastError());
    return false;
  }
  if (container == nullptr) return true;
  const std::u16string wideContainer(container->begin(), container->end());  // a UUID: ASCII
  const std::u16string wideProvider = u"Microsoft Base Cryptographic Provider v1.0";
  const CRYPT_KEY_PROV_INFO info {wideContainer.c_str(), wideProvider.c_str(), PROV_RSA_FULL, 0, 0, nullptr,
                                  AT_KEYEXCHANGE};
  if (!CertSetCertificateContextProperty(cert.h, CERT_KEY_PROV_INFO_PROP_ID, 0, &info)) {
    WriteMessage(message, "CertSetCertificateContextProperty - Certificate: %x", GetLastError());
    return false;
  }
  return true;
}

}  // namespace

SL_EXPORT int32_t SLGenDigitalID(const char* subjectName, int32_t emailProtection, int32_t strongKeyProtection,
                                 int32_t serialNumber, const SLSystemTime* notBefore, const SLSystemTime* notAfter,
                                 uint8_t* thumbprint, char* message) {
  return Export("SLGenDigitalID", message, [&] {
    if (subjectName == nullptr || notBefore == nullptr || notAfter == nullptr || thumbprint == nullptr) {
      return BadArgument("SLGenDigitalID", message);
    }
    // 1. The subject (and issuer) name.
    DWORD nameSize = 0;
    if (!CertStrToNameA(X509_ASN_ENCODING, subjectName, CERT_X500_NAME_STR, nullptr, nullptr, &nameSize, nullptr)) {
      if (GetLastError() == CRYPT_E_INVALID_X500_STRING) {
        WriteMessage(message, "Invalid Name, E-Mail Address, or Organizational Name");
      } else {
        WriteMessage(message, "CertStrToName - DN Name Blob size: %x", GetLastError());
      }
      return false;
    }
    std::vector<BYTE> name(nameSize, 0);
    if (!CertStrToNameA(X509_ASN_ENCODING, subjectName, CERT_X500_NAME_STR, nullptr, name.data(), &nameSize, nullptr)) {
      WriteMessage(message, "CertStrToName - DN Name Blob: %x", GetLastError());
      return false;
    }
    name.resize(nameSize);
    std::int64_t validFrom = 0, validTo = 0;
    if (!ToFileTime(*notBefore, &validFrom) || !ToFileTime(*notAfter, &validTo)) {
      WriteMessage(message, "SystemTimeToFileTime - Validity: %x", ERROR_INVALID_PARAMETER_CODE);
      return false;
    }
    // 2. The e-mail protection usage, when asked for.
    const char* usages[] = {szOID_PKIX_KP_EMAIL_PROTECTION};
    const CERT_ENHKEY_USAGE usage {1, usages};

    // 3. A new container named by a random UUID.
    BYTE uuid[16];
    {
      TempProv random;
      if (!AcquireVerify(&random.h, MS_DEF_PROV_A)) {
        WriteMessage(message, "CryptAcquireContext - Random Data: %x", GetLastError());
        return false;
      }
      if (!CryptGenRandom(random.h, sizeof(uuid), uuid)) {
        WriteMessage(message, "CryptGenRandom - Create Container Name: %x", GetLastError());
        return false;
      }
    }
    const std::string container = UuidToString(uuid);

    // 4, 5. The container and its key pair.
    TempProv prov;
    if (!CryptAcquireContextA(&prov.h, container.c_str(), MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
      WriteMessage(message, "CryptAcquireContext - Create Container: %x", GetLastError());
      return false;
    }
    KeyHandle keyPair;
    const DWORD keyFlags = 0x04000000 | CRYPT_EXPORTABLE | (strongKeyProtection != 0 ? CRYPT_USER_PROTECTED : 0);
    if (!CryptGenKey(prov.h, AT_KEYEXCHANGE, keyFlags, &keyPair.h)) {
      WriteMessage(message, "CryptGenKey - Generate Key Pair: %x", GetLastError());
      return false;
    }

    // 6. The public key information.
    DWORD infoSize = 0;
    if (!CryptExportPublicKeyInfo(prov.h, AT_KEYEXCHANGE, X509_ASN_ENCODING, nullptr, &infoSize)) {
      WriteMessage(message, "CryptExportPublicKeyInfo - Public Key Info size: %x", GetLastError());
      return false;
    }
    std::vector<BYTE> publicKeyInfo(infoSize, 0);
    if (!CryptExportPublicKeyInfo(prov.h, AT_KEYEXCHANGE, X509_ASN_ENCODING, publicKeyInfo.data(), &infoSize)) {
      WriteMessage(message, "CryptExportPublicKeyInfo - Public Key Info: %x", GetLastError());
      return false;
    }
    publicKeyInfo.resize(infoSize);

    // 7. The key identifier.
    BYTE keyId[20];
    if (!HashBytes(prov.h, publicKeyInfo, "Public Key Info", keyId, message)) return false;

    // 8. The extensions, in their order.
    const BYTE serialLE[4] = {static_cast<BYTE>(serialNumber), static_cast<BYTE>(serialNumber >> 8),
                              static_cast<BYTE>(serialNumber >> 16), static_cast<BYTE>(serialNumber >> 24)};
    const CRYPT_DATA_BLOB keyIdBlob {20, keyId};
    const CERT_BASIC_CONSTRAINTS2_INFO constraints {TRUE, TRUE, 0};
    const CERT_AUTHORITY_KEY_ID_INFO authority {keyIdBlob, {static_cast<DWORD>(name.size()), name.data()},
                                                {4, serialLE}};
    std::vector<BYTE> ski, eku, bc, aki;
    if (!EncodeExtension(szOID_SUBJECT_KEY_IDENTIFIER, &keyIdBlob, "Subject Key Identifier", ski, message)) return false;
    if (emailProtection != 0 && !EncodeExtension(X509_ENHANCED_KEY_USAGE, &usage, "Enhanced Key Usage", eku, message)) {
      return false;
    }
    if (!EncodeExtension(X509_BASIC_CONSTRAINTS2, &constraints, "Basic Constraints", bc, message)) return false;
    if (!EncodeExtension(X509_AUTHORITY_KEY_ID, &authority, "Authority Key Identifier", aki, message)) return false;
    std::vector<CERT_EXTENSION> extensions;
    extensions.push_back({szOID_SUBJECT_KEY_IDENTIFIER, FALSE, {static_cast<DWORD>(ski.size()), ski.data()}});
    if (emailProtection != 0) {
      extensions.push_back({szOID_ENHANCED_KEY_USAGE, FALSE, {static_cast<DWORD>(eku.size()), eku.data()}});
    }
    extensions.push_back({szOID_BASIC_CONSTRAINTS2, FALSE, {static_cast<DWORD>(bc.size()), bc.data()}});
    extensions.push_back({szOID_AUTHORITY_KEY_IDENTIFIER, FALSE, {static_cast<DWORD>(aki.size()), aki.data()}});

    // 9. Sign and encode.
    const CERT_INFO info {CERT_V3,
                          {4, serialLE},
                          szOID_RSA_SHA1RSA,
                          {static_cast<DWORD>(name.size()), name.data()},
                          validFrom,
                          validTo,
                          {static_cast<DWORD>(name.size()), name.data()},
                          {publicKeyInfo.data(), static_cast<DWORD>(publicKeyInfo.size())},
                          static_cast<DWORD>(extensions.size()),
                          extensions.data()};
    DWORD certSize = 0;
    if (!CryptSignAndEncodeCertificate(prov.h, AT_KEYEXCHANGE, X509_ASN_ENCODING, &info, szOID_RSA_SHA1RSA, nullptr,
                                       &certSize)) {
      WriteMessage(message, "CryptSignAndEncodeCertificate - Certificate size: %x", GetLastError());
      return false;
    }
    std::vector<BYTE> certificate(certSize, 0);
    if (!CryptSignAndEncodeCertificate(prov.h, AT_KEYEXCHANGE, X509_ASN_ENCODING, &info, szOID_RSA_SHA1RSA,
                                       certificate.data(), &certSize)) {
      WriteMessage(message, "CryptSignAndEncodeCertificate - Certificate: %x", GetLastError());
      return false;
    }
    certificate.resize(certSize);

    // 10. The thumbprint, written before any store is touched.
    BYTE digest[20];
    if (!HashBytes(prov.h, certificate, "Certificate", digest, message)) return false;
    std::memcpy(thumbprint, digest, sizeof(digest));

    // 11 to 13. "MY" with the key binding, "Root", and an "AddressBook" that exists.
    if (!InstallCertificate(u"MY", certificate, &container, message)) return false;
    if (!InstallCertificate(u"Root", certificate, nullptr, message)) return false;
    if (!InstallCertificate(u"AddressBook", {}, nullptr, message)) return false;
    return true;
  });
}
