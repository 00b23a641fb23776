// SPDX-License-Identifier: GPL-3.0-or-later
// The export that generates a self-signed digital ID.
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "LibInternal.h"

using namespace sealvane::lib;

namespace {

// New digital IDs: RSA keys of 3072 bits, certificates signed with SHA-256
// (where the other platform's program made 1024-bit keys signed with SHA-1).
constexpr DWORD kKeyBits = 3072;
constexpr const char* kSignature = szOID_RSA_SHA256RSA;

}  // namespace

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

// Adds the certificate to one of the user's stores (`added` receives it);
// "MY" also receives the key provider information that binds it to its
// container.
bool InstallCertificate(const char16_t* storeName, const std::vector<BYTE>& encoded, const std::string* container,
                        CertHandle& added, char* message) {
  StoreHandle store;
  store.h = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                          CERT_SYSTEM_STORE_CURRENT_USER, storeName);
  if (store.h == 0) {
    WriteMessage(message, "CertOpenStore - Certificate: %x", GetLastError());
    return false;
  }
  if (encoded.empty()) return true;  // only making sure the store exists
  CertHandle& cert = added;
  if (!CertAddEncodedCertificateToStore(store.h, X509_ASN_ENCODING, encoded.data(), static_cast<DWORD>(encoded.size()),
                                        CERT_STORE_ADD_REPLACE_EXISTING, &cert.h)) {
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

// A generation that does not complete (a failure, or the user declining the
// Root question) leaves nothing of the digital ID behind: neither its
// certificate in a store nor its key container.
class Rollback {
 public:
  explicit Rollback(std::string container) : m_container(std::move(container)) {}
  ~Rollback() {
    if (m_kept) return;
    for (CertHandle* added : {&m_mine, &m_root}) {
      if (added->h == 0) continue;
      CertDeleteCertificateFromStore(added->h);  // lets go of the context too
      added->h = 0;
    }
    HCRYPTPROV none = 0;
    CryptAcquireContextA(&none, m_container.c_str(), MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
  }
  Rollback(const Rollback&) = delete;
  Rollback& operator=(const Rollback&) = delete;
  CertHandle& Mine() { return m_mine; }
  CertHandle& Root() { return m_root; }
  void Keep() { m_kept = true; }

 private:
  std::string m_container;
  CertHandle m_mine, m_root;
  bool m_kept = false;
};

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
    Rollback rollback(container);
    KeyHandle keyPair;
    // 3072-bit RSA keys (the key length in the upper 16 bits).
    const DWORD keyFlags = (kKeyBits << 16) | CRYPT_EXPORTABLE | (strongKeyProtection != 0 ? CRYPT_USER_PROTECTED : 0);
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
                          kSignature,
                          {static_cast<DWORD>(name.size()), name.data()},
                          validFrom,
                          validTo,
                          {static_cast<DWORD>(name.size()), name.data()},
                          {publicKeyInfo.data(), static_cast<DWORD>(publicKeyInfo.size())},
                          static_cast<DWORD>(extensions.size()),
                          extensions.data()};
    DWORD certSize = 0;
    if (!CryptSignAndEncodeCertificate(prov.h, AT_KEYEXCHANGE, X509_ASN_ENCODING, &info, kSignature, nullptr,
                                       &certSize)) {
      WriteMessage(message, "CryptSignAndEncodeCertificate - Certificate size: %x", GetLastError());
      return false;
    }
    std::vector<BYTE> certificate(certSize, 0);
    if (!CryptSignAndEncodeCertificate(prov.h, AT_KEYEXCHANGE, X509_ASN_ENCODING, &info, kSignature,
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
    if (!InstallCertificate(u"MY", certificate, &container, rollback.Mine(), message)) return false;
    if (!InstallCertificate(u"Root", certificate, nullptr, rollback.Root(), message)) return false;
    CertHandle none;
    if (!InstallCertificate(u"AddressBook", {}, nullptr, none, message)) return false;
    rollback.Keep();
    return true;
  });
}

// Every export has exactly the type its caller binds.
static_assert(std::is_same_v<decltype(&SLGenDigitalID), PFN_SLGenDigitalID>);
