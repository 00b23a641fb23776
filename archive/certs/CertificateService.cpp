// SPDX-License-Identifier: GPL-3.0-or-later
// The certificate service over the provider layer's stores.
#include "sealvane/archive/CertificateService.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <span>
#include <strings.h>

#include "sealvane/csp/WinCrypt.h"
#include "sealvane/platform/File.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using namespace sealvane::csp;

namespace {

[[noreturn]] void Throw(const std::string& what, DWORD code) { throw CertificateError(what, code); }

void OpenStore(const std::string& name, StoreHandle& store) {
  store.h = CertOpenSystemStoreA(0, name.c_str());
  if (store.h == 0) Throw("cannot open the store " + name, GetLastError());
}

bool EndsWith(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && ::strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

std::string Narrow(const char16_t* text) {
  std::string ascii;
  for (; text != nullptr && *text != 0; ++text) ascii.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return ascii;
}

std::string NameOf(PCCERT_CONTEXT cert, DWORD type, DWORD flags = 0) {
  const DWORD size = CertGetNameStringA(cert, type, flags, nullptr, nullptr, 0);
  std::string text(size, '\0');
  CertGetNameStringA(cert, type, flags, nullptr, text.data(), size);
  text.resize(std::strlen(text.c_str()));
  return text;
}

std::string HexText(const std::uint8_t* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[data[i] >> 4]);
    text.push_back(kDigits[data[i] & 15]);
  }
  return text;
}

CertificateEntry Describe(const std::string& store, PCCERT_CONTEXT cert) {
  CertificateEntry entry;
  entry.store = store;
  DWORD size = 20;
  CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, entry.thumbprint.data(), &size);
  entry.name = NameOf(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE);
  entry.email = NameOf(cert, CERT_NAME_EMAIL_TYPE);
  entry.issuer = NameOf(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG);
  CertGetValidity(cert, &entry.notBefore, &entry.notAfter);
  size = 0;
  if (CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) && size > 0) {
    std::vector<std::uint64_t> buffer((size + 7) / 8);
    if (CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size)) {
      const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
      entry.keyContainer = Narrow(info->pwszContainerName);
      entry.keyProvider = Narrow(info->pwszProvName);
      entry.keyProviderType = info->dwProvType;
    }
  }
  // The private key is here when the container it names exists.
  if (!entry.keyContainer.empty()) {
    HCRYPTPROV prov = 0;
    if (CryptAcquireContextA(&prov, entry.keyContainer.c_str(), entry.keyProvider.empty() ? nullptr : entry.keyProvider.c_str(),
                             entry.keyProviderType != 0 ? entry.keyProviderType : PROV_RSA_FULL, CRYPT_SILENT)) {
      CryptReleaseContext(prov, 0);
      entry.privateKey = true;
    }
  }
  return entry;
}

void FindContext(const CertificateEntry& entry, StoreHandle& store, CertHandle& cert) {
  OpenStore(entry.store, store);
  const CRYPT_HASH_BLOB blob {20, entry.thumbprint.data()};
  cert.h = CertFindCertificateInStore(store.h, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, 0);
  if (cert.h == 0) Throw("no certificate " + entry.ThumbprintText() + " in " + entry.store, GetLastError());
}

std::vector<BYTE> ReadCertificateFile(const std::string& path) {
  std::vector<BYTE> data;
  try {
    platform::ReadSmallFile(path, CertificateService::kMaxFileSize,
                            [&](std::span<const char> piece) { data.insert(data.end(), piece.begin(), piece.end()); });
  } catch (const platform::RuntimeError& e) {
    if (e.Number() == platform::rt::kSubscriptOutOfRange) {
      Throw(path + " is too large to be a certificate file", static_cast<DWORD>(e.Number()));
    }
    Throw("cannot read " + path + " (" + e.Description() + ")", static_cast<DWORD>(e.Number()));
  }
  return data;
}

}  // namespace

std::string CertificateEntry::ThumbprintText() const { return HexText(thumbprint.data(), thumbprint.size()); }

std::string CertificateTimeText(std::int64_t fileTime) {
  const time_t seconds = static_cast<time_t>(fileTime / 10'000'000LL - 11644473600LL);
  struct tm parts {};
  gmtime_r(&seconds, &parts);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

const std::vector<std::string>& CertificateService::Stores() {
  static const std::vector<std::string> stores = {"MY", "AddressBook", "Root"};
  return stores;
}

bool CertificateService::IsPkcs12Path(const std::string& path) { return EndsWith(path, ".p12") || EndsWith(path, ".pfx"); }

CertificateFormat CertificateService::FormatOf(const std::string& path) {
  if (IsPkcs12Path(path)) return CertificateFormat::Pkcs12;
  if (EndsWith(path, ".pem")) return CertificateFormat::Pem;
  return CertificateFormat::Der;
}

std::string CertificateService::DefaultImportStore(const std::string& path) {
  return IsPkcs12Path(path) ? "MY" : "AddressBook";
}

std::vector<CertificateEntry> CertificateService::List(const std::string& store) const {
  StoreHandle handle;
  OpenStore(store, handle);
  std::vector<CertificateEntry> entries;
  PCCERT_CONTEXT cert = 0;
  while ((cert = CertEnumCertificatesInStore(handle.h, cert)) != 0) entries.push_back(Describe(store, cert));
  return entries;
}

std::optional<CertificateEntry> CertificateService::Find(const std::string& store,
                                                         const std::array<std::uint8_t, 20>& thumbprint) const {
  StoreHandle handle;
  OpenStore(store, handle);
  const CRYPT_HASH_BLOB blob {20, thumbprint.data()};
  CertHandle cert;
  cert.h = CertFindCertificateInStore(handle.h, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, 0);
  if (cert.h == 0) return std::nullopt;
  return Describe(store, cert.h);
}

CertificateEntry CertificateService::Import(const std::string& path, const std::string& store,
                                            const PasswordSource& password) const {
  const std::vector<BYTE> file = ReadCertificateFile(path);
  std::array<std::uint8_t, 20> thumbprint {};
  if (IsPkcs12Path(path)) {
    std::optional<platform::Passphrase> secret = password ? password() : std::nullopt;
    if (!secret) Throw("no password was given for " + path, HRESULT_CANCELLED);
    if (!ImportPfx(file, secret->Text().c_str(), store.c_str(), thumbprint.data())) {
      const DWORD code = GetLastError();
      Throw(code == NTE_BAD_DATA ? "the password is wrong or " + path + " is damaged" : "cannot import " + path, code);
    }
  } else {
    std::vector<BYTE> der;
    if (!CertDecodeFile(file, der)) Throw(path + " holds no certificate", GetLastError());
    StoreHandle handle;
    OpenStore(store, handle);
    CertHandle cert;
    if (!CertAddEncodedCertificateToStore(handle.h, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, &cert.h)) {
      Throw("cannot add the certificate to " + store, GetLastError());
    }
    DWORD size = 20;
    CertGetCertificateContextProperty(cert.h, CERT_SHA1_HASH_PROP_ID, thumbprint.data(), &size);
  }
  auto added = Find(store, thumbprint);
  if (!added) Throw("the certificate imported from " + path + " is not in " + store, CRYPT_E_NOT_FOUND);
  return *added;
}

void CertificateService::Export(const CertificateEntry& entry, const std::string& path, CertificateFormat format,
                                const platform::Passphrase* password) const {
  StoreHandle store;
  CertHandle cert;
  FindContext(entry, store, cert);
  std::vector<BYTE> bytes;
  if (format == CertificateFormat::Pkcs12) {
    if (password == nullptr) Throw("a digital ID is exported with its private key only under a password", HRESULT_CANCELLED);
    if (!ExportPfx(cert.h, password->Text().c_str(), bytes)) {
      Throw("cannot export the digital ID with its private key", GetLastError());
    }
  } else {
    CertGetEncoded(cert.h, bytes);
    if (format == CertificateFormat::Pem) {
      std::string pem;
      CertEncodePem(bytes, pem);
      bytes.assign(pem.begin(), pem.end());
    }
  }
  try {
    // A file holding a private key is the owner's alone; either the old
    // file or the whole new one is there at every moment.
    platform::WriteFileAtomically(path, bytes, format == CertificateFormat::Pkcs12 ? 0600 : 0644);
  } catch (const platform::RuntimeError& e) {
    if (format == CertificateFormat::Pkcs12) std::fill(bytes.begin(), bytes.end(), BYTE {0});
    Throw("cannot write " + path + " (" + e.Description() + ")", static_cast<DWORD>(e.Number()));
  }
  if (format == CertificateFormat::Pkcs12) std::fill(bytes.begin(), bytes.end(), BYTE {0});
}

void CertificateService::Delete(const CertificateEntry& entry) const {
  StoreHandle store;
  CertHandle cert;
  FindContext(entry, store, cert);
  const PCCERT_CONTEXT doomed = cert.h;
  cert.h = 0;  // deleting frees the context
  if (!CertDeleteCertificateFromStore(doomed)) Throw("cannot delete the certificate", GetLastError());
}

void CertificateService::DeleteKeyContainer(const CertificateEntry& entry) const {
  if (entry.keyContainer.empty()) Throw("the certificate names no key container", NTE_BAD_KEYSET);
  HCRYPTPROV gone = 0;
  if (!CryptAcquireContextA(&gone, entry.keyContainer.c_str(), entry.keyProvider.empty() ? nullptr : entry.keyProvider.c_str(),
                            entry.keyProviderType != 0 ? entry.keyProviderType : PROV_RSA_FULL, CRYPT_DELETEKEYSET)) {
    Throw("cannot delete the key container " + entry.keyContainer, GetLastError());
  }
}

std::vector<std::pair<std::string, std::string>> CertificateService::Details(const CertificateEntry& entry) const {
  StoreHandle store;
  CertHandle cert;
  FindContext(entry, store, cert);
  CERT_DESCRIPTION d;
  if (!CertDescribe(cert.h, d)) Throw("cannot read the certificate", GetLastError());
  std::vector<std::pair<std::string, std::string>> fields = {
      {"Issued to", entry.name},
      {"E-mail address", entry.email},
      {"Issued by", entry.issuer + (d.selfSigned ? " (self-signed)" : "")},
      {"Valid from", CertificateTimeText(entry.notBefore)},
      {"Valid to", CertificateTimeText(entry.notAfter)},
      {"Subject", d.subject},
      {"Issuer", d.issuer},
      {"Serial number", d.serialNumber},
      {"Version", "V" + std::to_string(d.version)},
      {"Signature algorithm", d.signatureAlgorithm},
      {"Public key", d.publicKey},
      {"Intended purposes", d.keyUsage.empty() ? "All" : d.keyUsage},
      {"Thumbprint (SHA-1)", entry.ThumbprintText()},
      {"Private key", entry.privateKey ? "You have a private key that corresponds to this certificate."
                      : entry.keyContainer.empty() ? "None"
                                                   : "The key container " + entry.keyContainer + " is not on this computer."},
      {"Store", entry.store},
  };
  if (!entry.keyContainer.empty()) fields.emplace_back("Key container", entry.keyContainer);
  return fields;
}

}  // namespace sealvane
