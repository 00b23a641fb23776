// SPDX-License-Identifier: GPL-3.0-or-later
// A self-signed certificate (P-256) with the names a test chooses, for
// texts an attacker controls.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace sealvane::test {

inline std::string SelfSignedDer(const std::string& commonName, const std::string& email = {}) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
  if (!key || !cert) return {};
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 7);
  ASN1_TIME_set_string(X509_getm_notBefore(cert.get()), "20240101000000Z");
  ASN1_TIME_set_string(X509_getm_notAfter(cert.get()), "20440101000000Z");
  X509_NAME* name = X509_get_subject_name(cert.get());
  const auto add = [&](const char* field, const std::string& value) {
    X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.data()),
                               static_cast<int>(value.size()), -1, 0);
  };
  add("CN", commonName);
  if (!email.empty()) add("emailAddress", email);
  X509_set_issuer_name(cert.get(), name);
  X509_set_pubkey(cert.get(), key.get());
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) return {};
  unsigned char* der = nullptr;
  const int size = i2d_X509(cert.get(), &der);
  if (size <= 0) return {};
  std::string out(reinterpret_cast<char*>(der), static_cast<std::size_t>(size));
  OPENSSL_free(der);
  return out;
}

}  // namespace sealvane::test
