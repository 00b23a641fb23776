// SPDX-License-Identifier: GPL-3.0-or-later
// PKCS #12 import, and the UUID strings that name new key containers.
#include <openssl/pkcs12.h>
#include <openssl/rand.h>

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "Internal.h"

namespace sealvane::csp {

using namespace detail;

std::string UuidToString(const BYTE uuid[16]) {
  const DWORD data1 = static_cast<DWORD>(uuid[0]) | (static_cast<DWORD>(uuid[1]) << 8) |
                      (static_cast<DWORD>(uuid[2]) << 16) | (static_cast<DWORD>(uuid[3]) << 24);
  const unsigned data2 = uuid[4] | (uuid[5] << 8);
  const unsigned data3 = uuid[6] | (uuid[7] << 8);
  char text[37];
  std::snprintf(text, sizeof(text), "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", static_cast<unsigned>(data1),
                data2, data3, uuid[8], uuid[9], uuid[10], uuid[11], uuid[12], uuid[13], uuid[14], uuid[15]);
  return text;
}

BOOL ImportPfx(const std::vector<BYTE>& pfx, const char* szPassword, const char* szStore, BYTE thumbprint[20]) {
  return Guard([&] {
    if (!EnsureOpenSsl()) Fail(NTE_FAIL);
    const unsigned char* p = pfx.data();
    std::unique_ptr<PKCS12, decltype(&PKCS12_free)> p12(d2i_PKCS12(nullptr, &p, static_cast<long>(pfx.size())),
                                                        PKCS12_free);
    if (!p12) Fail(CRYPT_E_BAD_ENCODE);
    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    if (PKCS12_parse(p12.get(), szPassword == nullptr ? "" : szPassword, &rawKey, &rawCert, nullptr) != 1) {
      EVP_PKEY_free(rawKey);
      X509_free(rawCert);
      Fail(NTE_BAD_DATA);  // wrong password or damaged file
    }
    PkeyPtr key = WrapPkey(rawKey);
    X509Ptr cert(rawCert);
    if (!key || !cert || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA || X509_check_private_key(cert.get(), key.get()) != 1) {
      Fail(NTE_BAD_KEY);
    }
    unsigned char* der = nullptr;
    const int derSize = i2d_X509(cert.get(), &der);
    if (derSize <= 0) Fail(CRYPT_E_BAD_ENCODE);
    std::vector<BYTE> encoded(der, der + derSize);
    OPENSSL_free(der);

    // The key goes into a new container of the strongest provider present.
    HCRYPTPROV prov = 0;
    BYTE uuid[16];
    if (RAND_bytes(uuid, sizeof(uuid)) != 1) Fail(NTE_FAIL);
    const std::string container = UuidToString(uuid);
    const char* providerName = MS_ENHANCED_PROV_A;
    if (!CryptAcquireContextA(&prov, container.c_str(), providerName, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
      providerName = MS_DEF_PROV_A;
      if (!CryptAcquireContextA(&prov, container.c_str(), providerName, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
        Fail(GetLastError());
      }
    }
    {
      auto provObject = Get<ProvObject>(prov);
      try {
        StoreContainerKey(*provObject, key, false);
      } catch (...) {
        CryptReleaseContext(prov, 0);
        throw;
      }
    }
    CryptReleaseContext(prov, 0);

    const HCERTSTORE store = CertOpenSystemStoreA(0, szStore);
    if (store == 0) Fail(GetLastError());
    PCCERT_CONTEXT context = 0;
    const bool added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, encoded.data(),
                                                        static_cast<DWORD>(encoded.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, &context) == TRUE;
    DWORD error = GetLastError();
    bool attached = false;
    if (added) {
      const std::u16string wideContainer = ToUtf16(container);
      const std::u16string wideProvider = ToUtf16(providerName);
      const CRYPT_KEY_PROV_INFO info {wideContainer.c_str(), wideProvider.c_str(), PROV_RSA_FULL, 0, 0, nullptr,
                                      AT_KEYEXCHANGE};
      attached = CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &info) == TRUE;
      if (!attached) error = GetLastError();
      CertFreeCertificateContext(context);
    }
    CertCloseStore(store, 0);
    if (!added || !attached) Fail(error);
    const auto sha1 = Sha1(encoded.data(), encoded.size());
    if (thumbprint != nullptr) std::memcpy(thumbprint, sha1.data(), sha1.size());
  });
}

}  // namespace sealvane::csp

namespace sealvane::csp {

using namespace detail;

namespace {

std::int64_t AsnTimeToFileTime(const ASN1_TIME* t) {
  struct tm parts {};
  if (ASN1_TIME_to_tm(t, &parts) != 1) Fail(CRYPT_E_BAD_ENCODE);
  const time_t seconds = timegm(&parts);
  return (static_cast<std::int64_t>(seconds) + kFileTimeEpochSeconds) * 10'000'000LL;
}

}  // namespace

BOOL CertGetValidity(PCCERT_CONTEXT pCertContext, std::int64_t* pNotBefore, std::int64_t* pNotAfter) {
  return Guard([&] {
    auto cert = Get<CertObject>(pCertContext);
    if (pNotBefore != nullptr) *pNotBefore = AsnTimeToFileTime(X509_get0_notBefore(cert->x509.get()));
    if (pNotAfter != nullptr) *pNotAfter = AsnTimeToFileTime(X509_get0_notAfter(cert->x509.get()));
  });
}

BOOL CertDecodeFile(const std::vector<BYTE>& file, std::vector<BYTE>& der) {
  return Guard([&] {
    static constexpr char kPem[] = "-----BEGIN";
    const bool pem = file.size() > sizeof(kPem) &&
                     std::search(file.begin(), file.end(), kPem, kPem + sizeof(kPem) - 1) != file.end();
    X509Ptr cert;
    if (pem) {
      std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(file.data(), static_cast<int>(file.size())), BIO_free);
      cert.reset(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
      if (!cert) Fail(CRYPT_E_ASN1_BADTAG);
    } else {
      cert = ParseCertificate(file.data(), file.size());
    }
    unsigned char* out = nullptr;
    const int size = i2d_X509(cert.get(), &out);
    if (size <= 0) Fail(CRYPT_E_BAD_ENCODE);
    der.assign(out, out + size);
    OPENSSL_free(out);
  });
}

BOOL CertEncodePem(const std::vector<BYTE>& der, std::string& pem) {
  return Guard([&] {
    X509Ptr cert = ParseCertificate(der.data(), der.size());
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || PEM_write_bio_X509(bio.get(), cert.get()) != 1) Fail(CRYPT_E_BAD_ENCODE);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    pem.assign(data, static_cast<std::size_t>(size));
  });
}

BOOL ExportPfx(PCCERT_CONTEXT pCertContext, const char* szPassword, std::vector<BYTE>& pfx) {
  return Guard([&] {
    auto cert = Get<CertObject>(pCertContext);
    HCRYPTPROV prov = 0;
    DWORD spec = 0;
    if (!CryptAcquireCertificatePrivateKey(pCertContext, 0, nullptr, &prov, &spec, nullptr)) Fail(GetLastError());
    PkeyPtr key;
    try {
      key = ContainerKey(*Get<ProvObject>(prov));
    } catch (...) {
      CryptReleaseContext(prov, 0);
      throw;
    }
    CryptReleaseContext(prov, 0);
    std::unique_ptr<PKCS12, decltype(&PKCS12_free)> p12(
        PKCS12_create(szPassword == nullptr ? "" : szPassword, nullptr, key.get(), cert->x509.get(), nullptr,
                      NID_pbe_WithSHA1And3_Key_TripleDES_CBC, NID_pbe_WithSHA1And3_Key_TripleDES_CBC, 2048, 2048, 0),
        PKCS12_free);
    if (!p12) Fail(NTE_FAIL);
    unsigned char* out = nullptr;
    const int size = i2d_PKCS12(p12.get(), &out);
    if (size <= 0) Fail(CRYPT_E_BAD_ENCODE);
    pfx.assign(out, out + size);
    OPENSSL_clear_free(out, static_cast<std::size_t>(size));
  });
}

namespace {

std::string NameText(const X509_NAME* name) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
  if (!bio) Fail(NTE_NO_MEMORY);
  // One line, UTF-8 kept as it is, most significant part first.
  X509_NAME_print_ex(bio.get(), name, 0, (XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) | ASN1_STRFLGS_UTF8_CONVERT);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

}  // namespace

BOOL CertDescribe(PCCERT_CONTEXT pCertContext, CERT_DESCRIPTION& description) {
  return Guard([&] {
    auto cert = Get<CertObject>(pCertContext);
    X509* x = cert->x509.get();
    CERT_DESCRIPTION d;
    d.subject = NameText(X509_get_subject_name(x));
    d.issuer = NameText(X509_get_issuer_name(x));
    d.version = static_cast<std::uint32_t>(X509_get_version(x) + 1);
    if (const ASN1_INTEGER* serial = X509_get0_serialNumber(x); serial != nullptr) {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      for (int i = 0; i < serial->length; ++i) {
        d.serialNumber.push_back(kDigits[serial->data[i] >> 4]);
        d.serialNumber.push_back(kDigits[serial->data[i] & 15]);
      }
    }
    d.signatureAlgorithm = OBJ_nid2ln(X509_get_signature_nid(x));
    if (EVP_PKEY* key = X509_get0_pubkey(x); key != nullptr) {
      const int id = EVP_PKEY_get_base_id(key);
      const char* type = id == EVP_PKEY_RSA ? "RSA" : OBJ_nid2sn(id);
      d.publicKey = std::string(type != nullptr ? type : "unknown") + " (" + std::to_string(EVP_PKEY_get_bits(key)) + " bits)";
    }
    if (auto* usages = static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(x, NID_ext_key_usage, nullptr, nullptr));
        usages != nullptr) {
      for (int i = 0; i < sk_ASN1_OBJECT_num(usages); ++i) {
        const int nid = OBJ_obj2nid(sk_ASN1_OBJECT_value(usages, i));
        if (!d.keyUsage.empty()) d.keyUsage += ", ";
        d.keyUsage += nid != NID_undef ? OBJ_nid2ln(nid) : "unknown usage";
      }
      EXTENDED_KEY_USAGE_free(usages);
    }
    d.selfSigned = X509_check_issued(x, x) == X509_V_OK;
    description = std::move(d);
  });
}

}  // namespace sealvane::csp
