// SPDX-License-Identifier: GPL-3.0-or-later
// The current user's certificate stores, kept in the user hive under
// HKCU\Software\Microsoft\SystemCertificates\<store>\Certificates\<SHA-1>,
// each certificate as its DER "Blob" with its key provider information
// beside it. Enumeration follows the thumbprints' order, which is stable.
#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <cstdio>
#include <optional>
#include <strings.h>

#include "Internal.h"
#include "sealvane/platform/Pinentry.h"
#include "sealvane/platform/Registry.h"
#include "sealvane/platform/VisibleText.h"

namespace sealvane::csp {

using namespace detail;
namespace reg = sealvane::platform;

namespace {

constexpr const char* kStoresKey = "Software\\Microsoft\\SystemCertificates";

[[noreturn]] void FailRegistry(reg::LONG rc) { Fail(HResultFromWin32(static_cast<DWORD>(rc))); }

std::string Hex(const BYTE* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

std::string CertificatesKey(const std::string& store) { return std::string(kStoresKey) + "\\" + store + "\\Certificates"; }

std::string EntryKey(const std::string& store, const std::array<BYTE, 20>& sha1) {
  return CertificatesKey(store) + "\\" + Hex(sha1.data(), sha1.size());
}

// A registry key closed at the end of the scope.
struct RegKey {
  reg::HKEY h = 0;
  ~RegKey() {
    if (h != 0) reg::RegCloseKey(h);
  }
};

std::optional<std::vector<BYTE>> ReadBinary(reg::HKEY key, const char* name, reg::DWORD* typeOut = nullptr) {
  reg::DWORD type = 0, size = 0;
  if (reg::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != 0) return std::nullopt;
  std::vector<BYTE> data(size);
  if (reg::RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) != 0) return std::nullopt;
  data.resize(size);
  if (typeOut != nullptr) *typeOut = type;
  return data;
}

std::optional<DWORD> ReadDword(reg::HKEY key, const char* name) {
  reg::DWORD type = 0;
  auto data = ReadBinary(key, name, &type);
  if (!data || type != reg::REG_DWORD || data->size() != 4) return std::nullopt;
  return static_cast<DWORD>((*data)[0]) | (static_cast<DWORD>((*data)[1]) << 8) |
         (static_cast<DWORD>((*data)[2]) << 16) | (static_cast<DWORD>((*data)[3]) << 24);
}

std::string ReadText(reg::HKEY key, const char* name) {
  auto data = ReadBinary(key, name);
  if (!data) return {};
  std::string text(data->begin(), data->end());
  return text.substr(0, text.find('\0'));
}

void WriteValue(reg::HKEY key, const char* name, reg::DWORD type, const void* data, std::size_t size) {
  const auto rc = reg::RegSetValueExA(key, name, 0, type, static_cast<const std::uint8_t*>(data),
                                      static_cast<reg::DWORD>(size));
  if (rc != 0) FailRegistry(rc);
}

void WriteDword(reg::HKEY key, const char* name, DWORD v) {
  const BYTE raw[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                       static_cast<BYTE>(v >> 24)};
  WriteValue(key, name, reg::REG_DWORD, raw, 4);
}

void WriteText(reg::HKEY key, const char* name, const std::string& text) {
  WriteValue(key, name, reg::REG_SZ, text.c_str(), text.size() + 1);
}

std::vector<std::string> ListThumbprints(const std::string& store) {
  std::vector<std::string> names;
  RegKey key;
  const auto rc = reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, CertificatesKey(store).c_str(), 0, reg::KEY_READ, &key.h);
  if (rc == reg::ERROR_FILE_NOT_FOUND) return names;
  if (rc != 0) FailRegistry(rc);
  for (reg::DWORD i = 0;; ++i) {
    char name[256];
    reg::DWORD length = sizeof(name);
    const auto e = reg::RegEnumKeyExA(key.h, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (e == reg::ERROR_NO_MORE_ITEMS) break;
    if (e != 0) FailRegistry(e);
    names.emplace_back(name, length);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return ::strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  return names;
}

// Loads one stored certificate; empty when the entry is missing or damaged
// (a damaged entry is passed over, never fatal to the whole store).
std::shared_ptr<CertObject> LoadEntry(const std::string& store, const std::string& thumbHex) {
  RegKey key;
  const std::string path = CertificatesKey(store) + "\\" + thumbHex;
  if (reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, path.c_str(), 0, reg::KEY_READ, &key.h) != 0) return nullptr;
  auto blob = ReadBinary(key.h, "Blob");
  if (!blob || blob->empty()) return nullptr;
  auto cert = std::make_shared<CertObject>();
  const unsigned char* p = blob->data();
  cert->x509.reset(d2i_X509(nullptr, &p, static_cast<long>(blob->size())));
  if (!cert->x509) return nullptr;
  cert->store = store;
  cert->der = std::move(*blob);
  cert->sha1 = Sha1(cert->der.data(), cert->der.size());
  if (::strcasecmp(Hex(cert->sha1.data(), 20).c_str(), thumbHex.c_str()) != 0) return nullptr;
  return cert;
}

bool ValidStoreName(const char* name) {
  if (name == nullptr || *name == '\0' || std::strlen(name) > 255) return false;
  for (const char* p = name; *p != 0; ++p) {
    if (*p == '\\' || static_cast<unsigned char>(*p) < 0x20) return false;
  }
  return true;
}

HCERTSTORE OpenStoreByName(const std::string& name) {
  HCERTSTORE handle = 0;
  const BOOL ok = Guard([&] {
    if (!ValidStoreName(name.c_str())) Fail(ERROR_INVALID_PARAMETER_CODE);
    // Opening a system store creates it when it does not exist yet.
    RegKey key;
    const auto rc = reg::RegCreateKeyExA(reg::HKEY_CURRENT_USER, CertificatesKey(name).c_str(), 0, nullptr, 0,
                                         reg::KEY_READ, nullptr, &key.h, nullptr);
    if (rc != 0) FailRegistry(rc);
    auto store = std::make_shared<StoreObject>();
    store->name = name;
    handle = AddHandle(store);
  });
  return ok ? handle : 0;
}

// Text of an ASN.1 string as UTF-8.
std::string Utf8(const ASN1_STRING* value) {
  unsigned char* out = nullptr;
  const int n = ASN1_STRING_to_UTF8(&out, value);
  if (n < 0) return {};
  std::string text(reinterpret_cast<char*>(out), static_cast<std::size_t>(n));
  OPENSSL_free(out);
  return text;
}

std::string NameAttribute(const X509_NAME* name, int nid) {
  const int index = X509_NAME_get_index_by_NID(name, nid, -1);
  if (index < 0) return {};
  return Utf8(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)));
}

std::string SubjectAttribute(X509* cert, int nid) { return NameAttribute(X509_get_subject_name(cert), nid); }

std::string EmailName(X509* cert) {
  auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
  std::string email;
  if (names != nullptr) {
    for (int i = 0; i < sk_GENERAL_NAME_num(names) && email.empty(); ++i) {
      const GENERAL_NAME* gn = sk_GENERAL_NAME_value(names, i);
      if (gn->type == GEN_EMAIL) email = Utf8(gn->d.rfc822Name);
    }
    GENERAL_NAMES_free(names);
  }
  if (email.empty()) email = SubjectAttribute(cert, NID_pkcs9_emailAddress);
  return email;
}

std::string SimpleDisplayName(X509* cert) {
  for (const int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName}) {
    std::string value = SubjectAttribute(cert, nid);
    if (!value.empty()) return value;
  }
  return EmailName(cert);
}

// The issuer's simple display name: its first common, unit or organisation
// name, else its e-mail attribute.
std::string IssuerDisplayName(X509* cert) {
  const X509_NAME* issuer = X509_get_issuer_name(cert);
  for (const int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
    std::string value = NameAttribute(issuer, nid);
    if (!value.empty()) return value;
  }
  return {};
}

std::string DayText(const ASN1_TIME* time) {
  std::tm tm {};
  if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1) return "?";
  char text[16];
  std::strftime(text, sizeof(text), "%Y-%m-%d", &tm);
  return text;
}

// The question asked before a certificate joins Root. What the program
// computed comes first; the certificate's own texts follow, escaped onto one
// line each, so that a subject cannot draw a thumbprint of its own.
std::string RootTrustQuestion(X509* cert, const std::array<BYTE, 20>& sha1) {
  return "You are about to install a certificate from a certification authority.\n\nThumbprint (sha1): " +
         Hex(sha1.data(), 20) + "\nValid: " + DayText(X509_get0_notBefore(cert)) + " to " +
         DayText(X509_get0_notAfter(cert)) + "\nClaiming to represent: " +
         platform::VisibleText(SimpleDisplayName(cert)) + "\nIssued by: " + platform::VisibleText(IssuerDisplayName(cert)) +
         "\n\nDo you want to install this certificate?";
}

}  // namespace

HCERTSTORE CertOpenSystemStoreA(HCRYPTPROV, const char* szSubsystemProtocol) {
  if (szSubsystemProtocol == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER_CODE);
    return 0;
  }
  return OpenStoreByName(szSubsystemProtocol);
}

HCERTSTORE CertOpenStore(DWORD lpszStoreProvider, DWORD, HCRYPTPROV, DWORD dwFlags, const void* pvPara) {
  if (lpszStoreProvider != CERT_STORE_PROV_SYSTEM_W || pvPara == nullptr ||
      (dwFlags & 0xFFFF0000u) != CERT_SYSTEM_STORE_CURRENT_USER) {
    SetLastError(ERROR_INVALID_PARAMETER_CODE);
    return 0;
  }
  return OpenStoreByName(FromUtf16(static_cast<const char16_t*>(pvPara)));
}

BOOL CertCloseStore(HCERTSTORE hCertStore, DWORD) {
  return Guard([&] {
    Get<StoreObject>(hCertStore);
    RemoveHandle(hCertStore);
  });
}

PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pPrevCertContext) {
  PCCERT_CONTEXT result = 0;
  Guard([&] {
    auto store = Get<StoreObject>(hCertStore);
    std::string after;
    if (pPrevCertContext != 0) {
      auto prev = Get<CertObject>(pPrevCertContext);
      after = Hex(prev->sha1.data(), 20);
      RemoveHandle(pPrevCertContext);
    }
    for (const std::string& thumb : ListThumbprints(store->name)) {
      if (!after.empty() && ::strcasecmp(thumb.c_str(), after.c_str()) <= 0) continue;
      if (auto cert = LoadEntry(store->name, thumb)) {
        result = AddHandle(cert);
        return;
      }
    }
    Fail(CRYPT_E_NOT_FOUND);
  });
  return result;
}

PCCERT_CONTEXT CertFindCertificateInStore(HCERTSTORE hCertStore, DWORD, DWORD, DWORD dwFindType,
                                          const void* pvFindPara, PCCERT_CONTEXT pPrevCertContext) {
  PCCERT_CONTEXT result = 0;
  Guard([&] {
    auto store = Get<StoreObject>(hCertStore);
    if (dwFindType != CERT_FIND_SHA1_HASH || pvFindPara == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    const auto* blob = static_cast<const CRYPT_HASH_BLOB*>(pvFindPara);
    if (blob->cbData != 20 || blob->pbData == nullptr) Fail(CRYPT_E_NOT_FOUND);
    if (pPrevCertContext != 0) {
      // A thumbprint names one certificate: there is none after it.
      Get<CertObject>(pPrevCertContext);
      RemoveHandle(pPrevCertContext);
      Fail(CRYPT_E_NOT_FOUND);
    }
    auto cert = LoadEntry(store->name, Hex(blob->pbData, 20));
    if (!cert) Fail(CRYPT_E_NOT_FOUND);
    result = AddHandle(cert);
  });
  return result;
}

BOOL CertFreeCertificateContext(PCCERT_CONTEXT pCertContext) {
  if (pCertContext == 0) return TRUE;
  return Guard([&] {
    Get<CertObject>(pCertContext);
    RemoveHandle(pCertContext);
  });
}

BOOL CertGetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, void* pvData, DWORD* pcbData) {
  return Guard([&] {
    auto cert = Get<CertObject>(pCertContext);
    BYTE* out = static_cast<BYTE*>(pvData);
    if (dwPropId == CERT_SHA1_HASH_PROP_ID) {
      CopyOut(cert->sha1.data(), 20, out, pcbData);
      return;
    }
    RegKey key;
    if (reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, EntryKey(cert->store, cert->sha1).c_str(), 0, reg::KEY_READ,
                           &key.h) != 0) {
      Fail(CRYPT_E_NOT_FOUND);
    }
    const auto keySpec = ReadDword(key.h, "KeySpec");
    if (!keySpec) Fail(CRYPT_E_NOT_FOUND);
    if (dwPropId == CERT_KEY_SPEC_PROP_ID) {
      const DWORD value = *keySpec;
      CopyOut(reinterpret_cast<const BYTE*>(&value), sizeof(value), out, pcbData);
      return;
    }
    if (dwPropId != CERT_KEY_PROV_INFO_PROP_ID) Fail(CRYPT_E_NOT_FOUND);
    // The record, then its two strings, with the pointers into this buffer.
    const std::u16string container = ToUtf16(ReadText(key.h, "KeyContainer"));
    const std::u16string provider = ToUtf16(ReadText(key.h, "KeyProvider"));
    const std::size_t head = sizeof(CRYPT_KEY_PROV_INFO);
    const std::size_t size = head + (container.size() + 1 + provider.size() + 1) * sizeof(char16_t);
    if (pcbData == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    if (out == nullptr || *pcbData < size) {
      const bool query = out == nullptr;
      *pcbData = static_cast<DWORD>(size);
      if (query) return;
      Fail(ERROR_MORE_DATA_CODE);
    }
    auto* strings = reinterpret_cast<char16_t*>(out + head);
    std::copy(container.begin(), container.end(), strings);
    strings[container.size()] = 0;
    char16_t* providerAt = strings + container.size() + 1;
    std::copy(provider.begin(), provider.end(), providerAt);
    providerAt[provider.size()] = 0;
    CRYPT_KEY_PROV_INFO info {strings, providerAt, ReadDword(key.h, "KeyProvType").value_or(PROV_RSA_FULL),
                              ReadDword(key.h, "KeyProvFlags").value_or(0), 0, nullptr, *keySpec};
    std::memcpy(out, &info, sizeof(info));
    *pcbData = static_cast<DWORD>(size);
  });
}

BOOL CertSetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, DWORD, const void* pvData) {
  return Guard([&] {
    auto cert = Get<CertObject>(pCertContext);
    if (dwPropId != CERT_KEY_PROV_INFO_PROP_ID) Fail(ERROR_INVALID_PARAMETER_CODE);
    RegKey key;
    const auto rc = reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, EntryKey(cert->store, cert->sha1).c_str(), 0,
                                       reg::KEY_ALL_ACCESS, &key.h);
    if (rc != 0) FailRegistry(rc);
    if (pvData == nullptr) {
      for (const char* name : {"KeyContainer", "KeyProvider", "KeyProvType", "KeyProvFlags", "KeySpec"}) {
        reg::RegDeleteValueA(key.h, name);
      }
      return;
    }
    const auto* info = static_cast<const CRYPT_KEY_PROV_INFO*>(pvData);
    const std::string container = FromUtf16(info->pwszContainerName);
    if (!ValidContainerName(container)) Fail(ERROR_INVALID_PARAMETER_CODE);
    WriteText(key.h, "KeyContainer", container);
    WriteText(key.h, "KeyProvider", FromUtf16(info->pwszProvName));
    WriteDword(key.h, "KeyProvType", info->dwProvType);
    WriteDword(key.h, "KeyProvFlags", info->dwFlags);
    WriteDword(key.h, "KeySpec", info->dwKeySpec);
  });
}

DWORD CertGetNameStringA(PCCERT_CONTEXT pCertContext, DWORD dwType, DWORD dwFlags, const void*, char* pszNameString,
                         DWORD cchNameString) {
  std::string name;
  const BOOL ok = Guard([&] {
    auto cert = Get<CertObject>(pCertContext);
    if (dwType == CERT_NAME_SIMPLE_DISPLAY_TYPE && (dwFlags & CERT_NAME_ISSUER_FLAG) != 0) {
      name = IssuerDisplayName(cert->x509.get());
    } else if (dwType == CERT_NAME_SIMPLE_DISPLAY_TYPE) {
      name = SimpleDisplayName(cert->x509.get());
    } else if (dwType == CERT_NAME_EMAIL_TYPE) {
      name = EmailName(cert->x509.get());
    }
  });
  if (!ok) name.clear();
  if (pszNameString == nullptr || cchNameString == 0) return static_cast<DWORD>(name.size() + 1);
  std::size_t length = std::min<std::size_t>(name.size(), cchNameString - 1);
  // Never end inside a UTF-8 character.
  while (length > 0 && length < name.size() && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
  std::memcpy(pszNameString, name.data(), length);
  pszNameString[length] = '\0';
  return static_cast<DWORD>(length + 1);
}

BOOL CertAddEncodedCertificateToStore(HCERTSTORE hCertStore, DWORD, const BYTE* pbCertEncoded, DWORD cbCertEncoded,
                                      DWORD dwAddDisposition, PCCERT_CONTEXT* ppCertContext) {
  return Guard([&] {
    if (ppCertContext != nullptr) *ppCertContext = 0;
    auto store = Get<StoreObject>(hCertStore);
    if (pbCertEncoded == nullptr || cbCertEncoded == 0) Fail(CRYPT_E_ASN1_BADTAG);
    if (dwAddDisposition != CERT_STORE_ADD_NEW && dwAddDisposition != CERT_STORE_ADD_REPLACE_EXISTING) {
      Fail(ERROR_INVALID_PARAMETER_CODE);
    }
    auto cert = std::make_shared<CertObject>();
    cert->x509 = ParseCertificate(pbCertEncoded, cbCertEncoded);
    cert->der.assign(pbCertEncoded, pbCertEncoded + cbCertEncoded);
    cert->sha1 = Sha1(cert->der.data(), cert->der.size());
    cert->store = store->name;
    const std::string path = EntryKey(store->name, cert->sha1);
    if (::strcasecmp(store->name.c_str(), "Root") == 0) {
      // Trusting a root certificate is the user's decision.
      if (platform::PinentryConfirm("Security Warning", RootTrustQuestion(cert->x509.get(), cert->sha1)) !=
          platform::PinentryOutcome::Yes) {
        Fail(HRESULT_CANCELLED);
      }
    }
    RegKey existing;
    const bool exists =
        reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, path.c_str(), 0, reg::KEY_READ, &existing.h) == 0;
    if (exists) {
      if (dwAddDisposition == CERT_STORE_ADD_NEW) Fail(CRYPT_E_EXISTS);
      // Replacing deletes the old context with its properties first.
      const auto rc = reg::RegDeleteTreeA(reg::HKEY_CURRENT_USER, path.c_str());
      if (rc != 0) FailRegistry(rc);
    }
    RegKey key;
    const auto rc = reg::RegCreateKeyExA(reg::HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, reg::KEY_ALL_ACCESS,
                                         nullptr, &key.h, nullptr);
    if (rc != 0) FailRegistry(rc);
    WriteValue(key.h, "Blob", reg::REG_BINARY, cert->der.data(), cert->der.size());
    if (ppCertContext != nullptr) *ppCertContext = AddHandle(cert);
  });
}

BOOL CertDeleteCertificateFromStore(PCCERT_CONTEXT pCertContext) {
  return Guard([&] {
    auto cert = Get<CertObject>(pCertContext);
    RemoveHandle(pCertContext);
    const auto rc = reg::RegDeleteTreeA(reg::HKEY_CURRENT_USER, EntryKey(cert->store, cert->sha1).c_str());
    if (rc != 0) FailRegistry(rc);
  });
}

namespace detail {

std::string ContainerOwner(const std::string& container) {
  try {
    for (const std::string& thumbHex : ListThumbprints("MY")) {
      RegKey key;
      if (reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, (CertificatesKey("MY") + "\\" + thumbHex).c_str(), 0, reg::KEY_READ,
                             &key.h) != 0 ||
          ReadText(key.h, "KeyContainer") != container) {
        continue;
      }
      const auto cert = LoadEntry("MY", thumbHex);
      if (!cert) continue;
      const std::string name = SimpleDisplayName(cert->x509.get());
      const std::string email = EmailName(cert->x509.get());
      return email.empty() || email == name ? name : name.empty() ? email : name + " <" + email + ">";
    }
  } catch (...) {
    // A store that cannot be read names nobody; the question still comes.
  }
  return {};
}

}  // namespace detail

BOOL CryptAcquireCertificatePrivateKey(PCCERT_CONTEXT pCert, DWORD, void*, HCRYPTPROV* phCryptProv,
                                       DWORD* pdwKeySpec, BOOL* pfCallerFreeProv) {
  return Guard([&] {
    if (phCryptProv == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
    *phCryptProv = 0;
    auto cert = Get<CertObject>(pCert);
    RegKey key;
    if (reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, EntryKey(cert->store, cert->sha1).c_str(), 0, reg::KEY_READ,
                           &key.h) != 0) {
      Fail(CRYPT_E_NO_KEY_PROPERTY);
    }
    const auto keySpec = ReadDword(key.h, "KeySpec");
    const std::string container = ReadText(key.h, "KeyContainer");
    const std::string provider = ReadText(key.h, "KeyProvider");
    if (!keySpec || container.empty()) Fail(CRYPT_E_NO_KEY_PROPERTY);
    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextA(&prov, container.c_str(), provider.empty() ? nullptr : provider.c_str(),
                              ReadDword(key.h, "KeyProvType").value_or(PROV_RSA_FULL), 0)) {
      Fail(GetLastError());
    }
    *phCryptProv = prov;
    if (pdwKeySpec != nullptr) *pdwKeySpec = *keySpec;
    if (pfCallerFreeProv != nullptr) *pfCallerFreeProv = TRUE;
  });
}

BOOL CertGetEncoded(PCCERT_CONTEXT pCertContext, std::vector<BYTE>& encoded) {
  return Guard([&] { encoded = Get<CertObject>(pCertContext)->der; });
}

BOOL CertGetPublicKeyInfo(PCCERT_CONTEXT pCertContext, std::vector<BYTE>& spki) {
  return Guard([&] {
    auto cert = Get<CertObject>(pCertContext);
    unsigned char* der = nullptr;
    const int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert->x509.get()), &der);
    if (size <= 0) Fail(CRYPT_E_BAD_ENCODE);
    spki.assign(der, der + size);
    OPENSSL_free(der);
  });
}

}  // namespace sealvane::csp
