// SPDX-License-Identifier: GPL-3.0-or-later
// X.500 name strings, and digital IDs generated through the library and
// inspected with OpenSSL.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "sealvane/csp/WinCrypt.h"
#include "sealvane/sealvanelib.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace {

using namespace sealvane::csp;
using sealvane::test::Bytes;
using sealvane::test::FromHex;
using sealvane::test::ToHex;

// --- X.500 name strings ---------------------------------------------------

struct NameResult {
  bool ok;
  std::string hex;
  long errorOffset;
};

NameResult Name(const char* text) {
  DWORD size = 0;
  const char* error = nullptr;
  if (!CertStrToNameA(X509_ASN_ENCODING, text, CERT_X500_NAME_STR, nullptr, nullptr, &size, &error)) {
    EXPECT_EQ(GetLastError(), CRYPT_E_INVALID_X500_STRING);
    return {false, "", error == nullptr ? -1 : error - text};
  }
  Bytes out(size);
  EXPECT_TRUE(CertStrToNameA(X509_ASN_ENCODING, text, CERT_X500_NAME_STR, nullptr, out.data(), &size, nullptr));
  return {true, ToHex(out.data(), size), -1};
}

TEST(X500Names, ReferenceEncodingsAreReproduced) {
  int matched = 0;
  for (const auto& v : sealvane::test::VectorsOfKind("cert_str_to_name")) {
    if (!v["ok"].get<bool>() || v["input"] == "CN=a+O=b") continue;  // '+' is multi-valued here
    EXPECT_EQ(Name(v["input"].get<std::string>().c_str()).hex, v["encoded_name"].get<std::string>()) << v["input"];
    ++matched;
  }
  EXPECT_GE(matched, 4);
  const auto certificate = sealvane::test::VectorsOfKind("certificate").at(0);
  EXPECT_EQ(Name("cn=Test User, e=test@example.com, ou=Sealvane, o=Example").hex,
            certificate["subject_encoded"].get<std::string>())
      << "keys are read without regard to case";
}

TEST(X500Names, QuotingOidKeysAndMultiValuedRdns) {
  EXPECT_EQ(Name("2.5.4.3=a").hex, Name("CN=a").hex);
  EXPECT_EQ(Name("OID.2.5.4.3=a").hex, Name("cn=a").hex);
  EXPECT_EQ(Name("CN=\"Doe, John\", O=Example").hex, Name("CN=\"Doe, John\";O=Example").hex);
  EXPECT_NE(Name("CN=\"Doe, John\"").hex.find(ToHex(reinterpret_cast<const uint8_t*>("Doe, John"), 9)), std::string::npos);
  EXPECT_NE(Name("CN=\"say \"\"hi\"\"\"").hex.find(ToHex(reinterpret_cast<const uint8_t*>("say \"hi\""), 8)),
            std::string::npos);
  // Two attributes in one RDN: one SET holding both, sorted.
  EXPECT_EQ(Name("CN=a+O=b").hex, "30163114300806035504031301613008060355040a130162");
  EXPECT_EQ(Name("O=b+CN=a").hex, Name("CN=a+O=b").hex);
  EXPECT_EQ(Name("").hex, "3000");
  // Text that is not printable goes as UTF-8.
  EXPECT_NE(Name("CN=Ana L\xC3\xB3pez").hex.find("0c0a"), std::string::npos);
}

TEST(X500Names, MalformedStringsNameTheirPlace) {
  EXPECT_EQ(Name("XX=1").errorOffset, 0);
  EXPECT_EQ(Name("CN=Test User, XX=1").errorOffset, 14);
  EXPECT_EQ(Name("cn=Test User, xx=1").errorOffset, 14);
  EXPECT_EQ(Name("CN=a;b").errorOffset, 5);
  EXPECT_EQ(Name("CN=\"Test User, E=test@example.com").errorOffset, 33);
  EXPECT_EQ(Name("CN=a,").errorOffset, 5);
  EXPECT_EQ(Name("CN=\"a\"b").errorOffset, 6);
  EXPECT_FALSE(Name("1=x").ok);
  EXPECT_FALSE(Name("3.1=x").ok);
  EXPECT_FALSE(Name("=x").ok);
}

// --- SLGenDigitalID -------------------------------------------------------

struct Lib {
  void* handle = dlopen(SEALVANELIB_PATH, RTLD_NOW | RTLD_LOCAL);
  template <typename F>
  F Fn(const char* name) {
    return reinterpret_cast<F>(dlsym(handle, name));
  }
};

Lib& L() {
  static Lib lib;
  return lib;
}

struct Generated {
  int32_t result = 0;
  std::string message;
  uint8_t thumbprint[20] = {};
};

Generated Generate(const char* subject, int32_t emailProtection = 0, int32_t strong = 0, int32_t serial = 1) {
  const SLSystemTime from {2026, 12, 1, 7, 9, 30, 0, 0};
  const SLSystemTime to {2046, 12, 5, 7, 9, 30, 0, 0};
  Generated g;
  char message[SL_MESSAGE_SIZE] = {};
  g.result = L().Fn<PFN_SLGenDigitalID>("SLGenDigitalID")(subject, emailProtection, strong, serial, &from, &to,
                                                          g.thumbprint, message);
  g.message = message;
  return g;
}

// The DER of the certificate with this thumbprint in `store`.
Bytes Certificate(const char* store, const uint8_t* thumbprint) {
  HCERTSTORE h = CertOpenSystemStoreA(0, store);
  const CRYPT_HASH_BLOB blob {20, thumbprint};
  PCCERT_CONTEXT cert = CertFindCertificateInStore(h, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, 0);
  std::vector<BYTE> der;
  if (cert != 0) CertGetEncoded(cert, der);
  CertFreeCertificateContext(cert);
  CertCloseStore(h, 0);
  return der;
}

std::size_t KeyFiles() {
  const std::string dir = std::string(std::getenv("SEALVANE_HOME")) + "/keys";
  if (!std::filesystem::exists(dir)) return 0;
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

class DigitalId : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(L().handle, nullptr) << dlerror(); }
};

TEST_F(DigitalId, CertificateHasTheDocumentedShape) {
  const Generated g = Generate("cn=Ana L\xC3\xB3pez, e=ana@example.org, ou=Sealvane, o=Example");
  ASSERT_EQ(g.result, 1) << g.message;
  const Bytes der = Certificate("MY", g.thumbprint);
  ASSERT_FALSE(der.empty());
  const unsigned char* p = der.data();
  X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  ASSERT_NE(cert, nullptr);

  EXPECT_EQ(X509_get_version(cert), 2) << "version 3";
  EXPECT_EQ(X509_NAME_cmp(X509_get_subject_name(cert), X509_get_issuer_name(cert)), 0);
  EXPECT_EQ(OBJ_obj2nid(X509_get0_tbs_sigalg(cert)->algorithm), NID_sha256WithRSAEncryption);
  EXPECT_EQ(EVP_PKEY_get_bits(X509_get0_pubkey(cert)), 3072);
  EXPECT_EQ(X509_verify(cert, X509_get0_pubkey(cert)), 1) << "self-signed with its own key";

  const ASN1_INTEGER* serial = X509_get0_serialNumber(cert);
  EXPECT_EQ(serial->length, 1) << "serial 1 is a one-byte integer";
  EXPECT_EQ(ASN1_INTEGER_get(serial), 1);
  EXPECT_EQ(ASN1_STRING_type(X509_get0_notBefore(cert)), V_ASN1_UTCTIME);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(X509_get0_notBefore(cert)))), "261207093000Z");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(X509_get0_notAfter(cert)))), "461207093000Z");

  ASSERT_EQ(X509_get_ext_count(cert), 3);
  std::vector<std::string> oids;
  for (int i = 0; i < 3; ++i) {
    X509_EXTENSION* ext = X509_get_ext(cert, i);
    char oid[64];
    OBJ_obj2txt(oid, sizeof(oid), X509_EXTENSION_get_object(ext), 1);
    oids.push_back(oid);
    EXPECT_EQ(X509_EXTENSION_get_critical(ext), 0);
  }
  EXPECT_EQ(oids, (std::vector<std::string> {"2.5.29.14", "2.5.29.19", "2.5.29.1"}));

  // Subject key identifier: OCTET STRING of 20 bytes.
  const ASN1_OCTET_STRING* skiValue = X509_EXTENSION_get_data(X509_get_ext(cert, 0));
  ASSERT_EQ(skiValue->length, 22);
  const Bytes keyId(skiValue->data + 2, skiValue->data + 22);
  // Basic constraints: CA true, path length 0.
  const ASN1_OCTET_STRING* bc = X509_EXTENSION_get_data(X509_get_ext(cert, 1));
  EXPECT_EQ(ToHex(bc->data, static_cast<std::size_t>(bc->length)), "30060101ff020100");
  // Authority key identifier (old form): [0] key id, [1] issuer name, [2] serial.
  const ASN1_OCTET_STRING* aki = X509_EXTENSION_get_data(X509_get_ext(cert, 2));
  const Bytes akiBytes(aki->data, aki->data + aki->length);
  ASSERT_GE(akiBytes.size(), 26u);
  EXPECT_EQ(akiBytes[2], 0x80);
  EXPECT_EQ(akiBytes[3], 20);
  EXPECT_EQ(Bytes(akiBytes.begin() + 4, akiBytes.begin() + 24), keyId) << "the same key identifier";
  unsigned char* subjectDer = nullptr;
  const int subjectSize = i2d_X509_NAME(X509_get_subject_name(cert), &subjectDer);
  const std::string akiHex = ToHex(akiBytes);
  EXPECT_NE(akiHex.find("a1" + ToHex(std::vector<uint8_t>{static_cast<uint8_t>(subjectSize)}) + ToHex(subjectDer, static_cast<std::size_t>(subjectSize))),
            std::string::npos);
  OPENSSL_free(subjectDer);
  EXPECT_EQ(akiHex.substr(akiHex.size() - 6), "820101");

  // Found again with the same thumbprint, named as given.
  CertRecord record {};
  char message[SL_MESSAGE_SIZE];
  ASSERT_EQ(L().Fn<PFN_SLFindCert>("SLFindCert")("MY", g.thumbprint, &record, message), 1);
  EXPECT_STREQ(record.Name, "Ana L\xC3\xB3pez");
  EXPECT_STREQ(record.EMailAddr, "ana@example.org");
  EXPECT_EQ(std::memcmp(record.Thumbprint, g.thumbprint, 20), 0);
  int32_t count = 0;
  ASSERT_EQ(L().Fn<PFN_SLGetCertCount>("SLGetCertCount")("MY", -1, &count, message), 1);
  EXPECT_EQ(count, 1) << "bound to its private key";
  EXPECT_FALSE(Certificate("Root", g.thumbprint).empty());
  EXPECT_EQ(KeyFiles(), 1u);
  X509_free(cert);

  // The ID encrypts and decrypts for its owner.
  SessionContext ctx {};
  EncKeyBlob slot {};
  ASSERT_EQ(L().Fn<PFN_SLEncryptInit>("SLEncryptInit")(3, 4, "", &record, 0, nullptr, &ctx, &slot, message), 1) << message;
  uint8_t data[16] = "fifteen bytes!!";
  uint32_t size = sizeof(data);
  ASSERT_EQ(L().Fn<PFN_SLEncrypt>("SLEncrypt")(&ctx, -1, 8, data, &size, data, message), 1);
  L().Fn<PFN_SLEncryptDone>("SLEncryptDone")(&ctx, message);
  ASSERT_EQ(L().Fn<PFN_SLDecryptInit>("SLDecryptInit")(3, 0, "", g.thumbprint, &slot, &ctx, message), 1) << message;
  ASSERT_EQ(L().Fn<PFN_SLDecrypt>("SLDecrypt")(&ctx, -1, 16, data, &size, data, message), 1) << message;
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 8), "fifteen ");
  L().Fn<PFN_SLDecryptDone>("SLDecryptDone")(&ctx, message);
}

TEST_F(DigitalId, EmailProtectionAddsTheFourthExtensionAndIdsDiffer) {
  const Generated a = Generate("CN=Bo, E=bo@example.org", -1, 0, 300);
  const Generated b = Generate("CN=Bo, E=bo@example.org", -1, 0, 300);
  ASSERT_EQ(a.result, 1) << a.message;
  ASSERT_EQ(b.result, 1) << b.message;
  EXPECT_NE(ToHex(a.thumbprint, 20), ToHex(b.thumbprint, 20));
  EXPECT_EQ(KeyFiles(), 2u);
  const Bytes der = Certificate("MY", a.thumbprint);
  const unsigned char* p = der.data();
  X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  ASSERT_NE(cert, nullptr);
  ASSERT_EQ(X509_get_ext_count(cert), 4);
  char oid[64];
  OBJ_obj2txt(oid, sizeof(oid), X509_EXTENSION_get_object(X509_get_ext(cert, 1)), 1);
  EXPECT_STREQ(oid, "2.5.29.37");
  EXPECT_EQ(X509_get_extended_key_usage(cert) & XKU_SMIME, static_cast<uint32_t>(XKU_SMIME));
  EXPECT_EQ(ASN1_INTEGER_get(X509_get0_serialNumber(cert)), 300);
  X509_free(cert);
}

TEST_F(DigitalId, InvalidNameCreatesNothing) {
  for (const char* bad : {"CN=\"unbalanced", "XX=1", "CN=a;b"}) {
    const Generated g = Generate(bad);
    EXPECT_EQ(g.result, 0);
    EXPECT_EQ(g.message, "Invalid Name, E-Mail Address, or Organizational Name");
  }
  EXPECT_EQ(KeyFiles(), 0u);
}

TEST_F(DigitalId, RefusingTheRootQuestionLeavesNothingOfTheId) {
  ::setenv("FAKE_PINENTRY_CONFIRM", "no", 1);
  const Generated g = Generate("CN=Careful User");
  EXPECT_EQ(g.result, 0);
  EXPECT_EQ(g.message, "CertAddEncodedCertificateToStore - Certificate: 800704c7");
  EXPECT_TRUE(Certificate("MY", g.thumbprint).empty()) << "no half-made digital ID in MY";
  EXPECT_TRUE(Certificate("Root", g.thumbprint).empty());
  const std::string keys = std::string(std::getenv("SEALVANE_HOME")) + "/keys";
  EXPECT_TRUE(!std::filesystem::exists(keys) || std::filesystem::is_empty(keys)) << "no key container";
  const std::string log = sealvane::test::ReadFileBytes(sealvane::test::SandboxDir() + "/pinentry.log");
  EXPECT_NE(log.find("CONFIRM"), std::string::npos);
  EXPECT_NE(log.find("Careful User"), std::string::npos) << "the question names the certificate";
}

TEST_F(DigitalId, ProtectedKeyAsksForItsPassphrase) {
  ::setenv("FAKE_PINENTRY_PIN", "cancel", 1);
  Generated g = Generate("CN=Protected", 0, -1);
  EXPECT_EQ(g.result, 0);
  EXPECT_EQ(g.message, "CryptGenKey - Generate Key Pair: 800704c7");

  ::setenv("FAKE_PINENTRY_PIN", "s3cret", 1);
  ::setenv("FAKE_PINENTRY_PIN2", "different", 1);
  g = Generate("CN=Protected", 0, -1);
  EXPECT_EQ(g.message, "CryptGenKey - Generate Key Pair: 800704c7") << "the two answers must agree";

  ::unsetenv("FAKE_PINENTRY_PIN2");
  g = Generate("CN=Protected", 0, -1);
  ASSERT_EQ(g.result, 1) << g.message;
  // The key is stored encrypted.
  bool encrypted = false;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(std::getenv("SEALVANE_HOME")) + "/keys")) {
    const std::string text = sealvane::test::ReadFileBytes(entry.path());
    if (text.find("BEGIN ENCRYPTED PRIVATE KEY") != std::string::npos) encrypted = true;
    EXPECT_EQ(text.find("BEGIN PRIVATE KEY"), std::string::npos);
  }
  EXPECT_TRUE(encrypted);

  CertRecord own {};
  std::memcpy(own.Thumbprint, g.thumbprint, 20);
  SessionContext ctx {};
  EncKeyBlob slot {};
  char message[SL_MESSAGE_SIZE];
  ASSERT_EQ(L().Fn<PFN_SLEncryptInit>("SLEncryptInit")(1, 2, "", &own, 0, nullptr, &ctx, &slot, message), 1) << message;
  L().Fn<PFN_SLEncryptDone>("SLEncryptDone")(&ctx, message);
  // Using the key asks for the passphrase: a wrong one three times fails.
  ::setenv("FAKE_PINENTRY_PIN", "wrong", 1);
  EXPECT_EQ(L().Fn<PFN_SLDecryptInit>("SLDecryptInit")(1, 0, "", own.Thumbprint, &slot, &ctx, message), 0);
  EXPECT_STREQ(message, "ImportEncKeyBlob - CryptImportKey: 80090010");
  L().Fn<PFN_SLDecryptDone>("SLDecryptDone")(&ctx, message);
  ::setenv("FAKE_PINENTRY_PIN", "s3cret", 1);
  EXPECT_EQ(L().Fn<PFN_SLDecryptInit>("SLDecryptInit")(1, 0, "", own.Thumbprint, &slot, &ctx, message), 1) << message;
  L().Fn<PFN_SLDecryptDone>("SLDecryptDone")(&ctx, message);
}

TEST_F(DigitalId, ImpossibleDatesAndMissingArgumentsAreRefused) {
  const SLSystemTime bad {2026, 2, 0, 30, 0, 0, 0, 0};
  const SLSystemTime good {2026, 1, 0, 1, 0, 0, 0, 0};
  uint8_t thumbprint[20];
  char message[SL_MESSAGE_SIZE];
  auto gen = L().Fn<PFN_SLGenDigitalID>("SLGenDigitalID");
  EXPECT_EQ(gen("CN=x", 0, 0, 1, &bad, &good, thumbprint, message), 0);
  EXPECT_STREQ(message, "SystemTimeToFileTime - Validity: 57");
  EXPECT_EQ(gen("CN=x", 0, 0, 1, &good, nullptr, thumbprint, message), 0);
  EXPECT_STREQ(message, "SLGenDigitalID - Invalid argument: 57");
  EXPECT_EQ(KeyFiles(), 0u);
}

}  // namespace
