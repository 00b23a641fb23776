// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/modern/KeyWrap.h"

#include <cstdio>

#include "sealvane/csp/WinCrypt.h"

namespace sealvane::modern {

using namespace sealvane::csp;

namespace {

std::string Hex(DWORD code) {
  char text[16];
  std::snprintf(text, sizeof(text), "%x", code);
  return text;
}

std::string Thumbprint(std::span<const std::uint8_t> thumbprint) {
  std::string text;
  char hex[3];
  for (const std::uint8_t b : thumbprint) {
    std::snprintf(hex, sizeof(hex), "%02X", b);
    text += hex;
  }
  return text;
}

// The certificate with `thumbprint` in the user's store `store`.
void FindCertificate(HCRYPTPROV prov, const std::string& store, std::span<const std::uint8_t> thumbprint,
                     StoreHandle& storeHandle, CertHandle& cert) {
  if (thumbprint.size() != 20) throw KeyWrapError("A digital ID's thumbprint has 20 bytes.");
  storeHandle.h = CertOpenSystemStoreA(prov, store.c_str());
  if (storeHandle.h == 0) {
    throw KeyWrapError("The certificate store " + store + " cannot be opened (" + Hex(GetLastError()) + ").");
  }
  const CRYPT_HASH_BLOB blob {20, thumbprint.data()};
  cert.h = CertFindCertificateInStore(storeHandle.h, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH,
                                      &blob, 0);
  if (cert.h == 0) {
    throw KeyWrapError("The digital ID with thumbprint " + Thumbprint(thumbprint) + " is not in the store " + store +
                       ".");
  }
}

void AcquireVerify(ProvHandle& prov) {
  if (!CryptAcquireContextA(&prov.h, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
      !CryptAcquireContextA(&prov.h, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    throw KeyWrapError("No cryptographic provider can be used (" + Hex(GetLastError()) + ").");
  }
}

void ImportPublicKey(HCRYPTPROV prov, PCCERT_CONTEXT cert, KeyHandle& key) {
  std::vector<BYTE> spki;
  if (!CertGetPublicKeyInfo(cert, spki)) {
    throw KeyWrapError("The digital ID's public key cannot be read (" + Hex(GetLastError()) + ").");
  }
  const CERT_PUBLIC_KEY_INFO info {spki.data(), static_cast<DWORD>(spki.size())};
  if (!CryptImportPublicKeyInfo(prov, X509_ASN_ENCODING, &info, &key.h)) {
    throw KeyWrapError("The digital ID's public key is not an RSA key Sealvane can use (" + Hex(GetLastError()) + ").");
  }
}

// The public key of the certificate with `thumbprint` in `store`.
struct PublicKey {
  ProvHandle prov;
  StoreHandle store;
  CertHandle cert;
  KeyHandle key;
};
void OpenPublicKey(const std::string& store, std::span<const std::uint8_t> thumbprint, PublicKey& out) {
  AcquireVerify(out.prov);
  FindCertificate(out.prov.h, store, thumbprint, out.store, out.cert);
  ImportPublicKey(out.prov.h, out.cert.h, out.key);
}

}  // namespace

std::vector<std::uint8_t> WrapForCertificate(const std::string& store, std::span<const std::uint8_t> thumbprint,
                                             std::span<const std::uint8_t> fileKey) {
  PublicKey publicKey;
  OpenPublicKey(store, thumbprint, publicKey);
  std::vector<BYTE> wrapped;
  if (!CryptEncryptOaepSha256(publicKey.key.h, fileKey.data(), static_cast<DWORD>(fileKey.size()), wrapped)) {
    throw KeyWrapError("The file key cannot be wrapped for the digital ID " + Thumbprint(thumbprint) + " (" +
                       Hex(GetLastError()) + ").");
  }
  return wrapped;
}

Secret UnwrapWithOwnKey(std::span<const std::uint8_t> thumbprint, std::span<const std::uint8_t> wrapped) {
  ProvHandle verify;
  AcquireVerify(verify);
  StoreHandle storeHandle;
  CertHandle cert;
  FindCertificate(verify.h, "MY", thumbprint, storeHandle, cert);
  ProvHandle prov;
  DWORD keySpec = 0;
  BOOL callerFree = FALSE;
  if (!CryptAcquireCertificatePrivateKey(cert.h, 0, nullptr, &prov.h, &keySpec, &callerFree)) {
    const DWORD code = GetLastError();
    if (code == HRESULT_CANCELLED) throw KeyWrapError("");
    throw KeyWrapError("The private key of your digital ID cannot be opened (" + Hex(code) + ").");
  }
  Secret key(64);
  DWORD size = static_cast<DWORD>(key.size());
  if (!CryptDecryptOaepSha256(prov.h, wrapped.data(), static_cast<DWORD>(wrapped.size()), key.data(), &size)) {
    const DWORD code = GetLastError();
    if (code == HRESULT_CANCELLED) throw KeyWrapError("");
    throw KeyWrapError("Your private key does not open the file key stored for you: the encrypted file is damaged (" +
                       Hex(code) + ").");
  }
  key.resize(size);
  return key;
}

bool HasOwnCertificate(std::span<const std::uint8_t> thumbprint) {
  try {
    ProvHandle prov;
    AcquireVerify(prov);
    StoreHandle storeHandle;
    CertHandle cert;
    FindCertificate(prov.h, "MY", thumbprint, storeHandle, cert);
    return true;
  } catch (const KeyWrapError&) {
    return false;
  }
}

std::uint32_t CertificateKeyBits(const std::string& store, std::span<const std::uint8_t> thumbprint) {
  try {
    PublicKey publicKey;
    OpenPublicKey(store, thumbprint, publicKey);
    DWORD bits = 0;
    DWORD size = sizeof(bits);
    if (!CryptGetKeyParam(publicKey.key.h, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0)) return 0;
    return bits;
  } catch (const KeyWrapError&) {
    return 0;
  }
}

}  // namespace sealvane::modern
