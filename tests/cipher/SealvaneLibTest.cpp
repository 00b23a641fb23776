// SPDX-License-Identifier: GPL-3.0-or-later
// The cipher library as the program uses it: loaded with dlopen, called
// through its exports only.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

#include "sealvane/csp/WinCrypt.h"
#include "sealvane/sealvanelib.h"
#include "support/Process.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace {

using sealvane::test::Bytes;
using sealvane::test::FromHex;
using sealvane::test::Json;
using sealvane::test::Pattern;
using sealvane::test::ToHex;

constexpr const char* kBase = "Microsoft Base Cryptographic Provider v1.0";
constexpr const char* kEnhanced = "Microsoft Enhanced Cryptographic Provider v1.0";

struct Lib {
  void* handle = nullptr;
  PFN_SLGetCSP GetCSP = nullptr;
  PFN_SLHashString HashString = nullptr;
  PFN_SLGenRandomInit GenRandomInit = nullptr;
  PFN_SLGenRandom GenRandom = nullptr;
  PFN_SLGenRandomDone GenRandomDone = nullptr;
  PFN_SLEncryptInit EncryptInit = nullptr;
  PFN_SLEncrypt Encrypt = nullptr;
  PFN_SLEncryptDone EncryptDone = nullptr;
  PFN_SLDecryptInit DecryptInit = nullptr;
  PFN_SLDecrypt Decrypt = nullptr;
  PFN_SLDecryptDone DecryptDone = nullptr;
  PFN_SLGetCertCount GetCertCount = nullptr;
  PFN_SLGetCerts GetCerts = nullptr;
  PFN_SLFindCert FindCert = nullptr;

  Lib() {
    handle = dlopen(SEALVANELIB_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    Bind(GetCSP, "SLGetCSP");
    Bind(HashString, "SLHashString");
    Bind(GenRandomInit, "SLGenRandomInit");
    Bind(GenRandom, "SLGenRandom");
    Bind(GenRandomDone, "SLGenRandomDone");
    Bind(EncryptInit, "SLEncryptInit");
    Bind(Encrypt, "SLEncrypt");
    Bind(EncryptDone, "SLEncryptDone");
    Bind(DecryptInit, "SLDecryptInit");
    Bind(Decrypt, "SLDecrypt");
    Bind(DecryptDone, "SLDecryptDone");
    Bind(GetCertCount, "SLGetCertCount");
    Bind(GetCerts, "SLGetCerts");
    Bind(FindCert, "SLFindCert");
  }
  // Stays loaded until the process ends, as in the program.
  template <typename F>
  void Bind(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(handle, name));
  }
};

Lib& L() {
  static Lib lib;
  return lib;
}

// A message buffer that shows whether it was touched.
struct Message {
  char text[SL_MESSAGE_SIZE];
  Message() { std::memset(text, 0x7E, sizeof(text)); }
  bool Untouched() const {
    return std::all_of(std::begin(text), std::end(text), [](char c) { return c == 0x7E; });
  }
  std::string Str() const { return Untouched() ? "<untouched>" : std::string(text); }
};

class SealvaneLib : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(L().handle, nullptr) << dlerror(); }
};

// Encrypts the pattern in the given pieces through the exports.
Bytes EncryptStream(SessionContext& ctx, const Bytes& plain, const std::vector<std::size_t>& pieces) {
  Bytes out;
  std::size_t at = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const bool last = i + 1 == pieces.size();
    Bytes dest(pieces[i] + 8);
    uint32_t size = static_cast<uint32_t>(last ? dest.size() : pieces[i]);
    Message m;
    EXPECT_EQ(L().Encrypt(&ctx, last ? -1 : 0, static_cast<uint32_t>(pieces[i]), plain.data() + at, &size, dest.data(),
                          m.text),
              1)
        << m.Str();
    out.insert(out.end(), dest.begin(), dest.begin() + size);
    at += pieces[i];
  }
  return out;
}

// Decrypts in pieces of the given ciphertext lengths; the message of a
// failure goes to `error`.
bool DecryptStream(SessionContext& ctx, const Bytes& cipher, std::size_t piece, Bytes& plain, std::string* error = nullptr) {
  plain.clear();
  for (std::size_t at = 0; at < cipher.size();) {
    const std::size_t n = std::min(piece, cipher.size() - at);
    const bool last = at + n == cipher.size();
    Bytes dest(n);
    uint32_t size = static_cast<uint32_t>(n);
    Message m;
    if (L().Decrypt(&ctx, last ? -1 : 0, static_cast<uint32_t>(n), cipher.data() + at, &size, dest.data(), m.text) != 1) {
      if (error != nullptr) *error = m.Str();
      return false;
    }
    plain.insert(plain.end(), dest.begin(), dest.begin() + size);
    at += n;
  }
  return true;
}

int LevelOf(const std::string& provider) { return provider == "enhanced" ? 3 : 1; }

TEST_F(SealvaneLib, ExportsExactlyTheFifteenNames) {
  const auto result = sealvane::test::RunProcess({"nm", "-D", "--defined-only", SEALVANELIB_PATH});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::set<std::string> names;
  std::istringstream lines(result.out);
  std::string address, type, name;
  while (lines >> address >> type >> name) names.insert(name);
  const std::set<std::string> expected = {"SLGetCSP",      "SLHashString",   "SLGenRandomInit", "SLGenRandom",
                                          "SLGenRandomDone", "SLEncryptInit", "SLEncrypt",       "SLEncryptDone",
                                          "SLDecryptInit", "SLDecrypt",      "SLDecryptDone",   "SLGetCertCount",
                                          "SLGetCerts",    "SLFindCert",     "SLGenDigitalID"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(dlsym(L().handle, "SLEncryptDone"), dlsym(L().handle, "SLDecryptDone")) << "one function, two names";
}

TEST_F(SealvaneLib, ProviderLevelsThreeOneAndZero) {
  int32_t level = -5;
  Message m;
  EXPECT_EQ(L().GetCSP(&level, m.text), 1);
  EXPECT_EQ(level, 3);
  EXPECT_TRUE(m.Untouched());

  ASSERT_TRUE(sealvane::csp::SetProviderInstalled(kEnhanced, false));
  EXPECT_EQ(L().GetCSP(&level, m.text), 1);
  EXPECT_EQ(level, 1);
  ASSERT_TRUE(sealvane::csp::SetProviderInstalled(kBase, false));
  EXPECT_EQ(L().GetCSP(&level, m.text), 0);
  EXPECT_EQ(level, 0);
  EXPECT_STREQ(m.text, "CryptAcquireContext: 80090019");

  // Without the enhanced provider, an archive that names it cannot be read.
  ASSERT_TRUE(sealvane::csp::SetProviderInstalled(kBase, true));
  SessionContext ctx {7, 7};
  Message d;
  EXPECT_EQ(L().DecryptInit(3, 2, "Correct Horse 9", nullptr, nullptr, &ctx, d.text), 0);
  EXPECT_STREQ(d.text, "An invalid CSP was specified.");
  EXPECT_EQ(ctx.hProv, 0u);
  EXPECT_EQ(ctx.hKey, 0u);
  Message e;
  EXPECT_EQ(L().EncryptInit(3, 2, "Correct Horse 9", nullptr, 0, nullptr, &ctx, nullptr, e.text), 0);
  EXPECT_STREQ(e.text, "CryptAcquireContext - Temporary 80090019");
  EXPECT_EQ(L().EncryptDone(&ctx, e.text), 1);
}

TEST_F(SealvaneLib, HashStringAndRandomBytes) {
  uint8_t digest[20];
  Message m;
  ASSERT_EQ(L().HashString("abc", digest, m.text), 1);
  EXPECT_EQ(ToHex(digest, 20), "a9993e364706816aba3e25717850c26c9cd0d89d");
  ASSERT_EQ(L().HashString("", digest, m.text), 1);
  EXPECT_EQ(ToHex(digest, 20), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_TRUE(m.Untouched());
  EXPECT_EQ(L().HashString(nullptr, digest, m.text), 0);
  EXPECT_FALSE(m.Untouched());

  uint32_t rng = 0;
  Message r;
  ASSERT_EQ(L().GenRandomInit(&rng, r.text), 1);
  ASSERT_NE(rng, 0u);
  uint8_t a[64] = {}, b[64] = {};
  EXPECT_EQ(L().GenRandom(rng, sizeof(a), a, r.text), 1);
  EXPECT_EQ(L().GenRandom(rng, sizeof(b), b, r.text), 1);
  EXPECT_NE(std::memcmp(a, b, sizeof(a)), 0);
  uint8_t untouched = 0x55;
  EXPECT_EQ(L().GenRandom(rng, 0, &untouched, r.text), 1);
  EXPECT_EQ(untouched, 0x55);
  EXPECT_TRUE(r.Untouched());
  EXPECT_EQ(L().GenRandomDone(&rng, r.text), 1);
  EXPECT_EQ(rng, 0u);
  EXPECT_EQ(L().GenRandomDone(&rng, r.text), 1);
  EXPECT_EQ(L().GenRandom(12345, 4, a, r.text), 0) << "a released or forged context is refused";
  EXPECT_EQ(std::string(r.text).rfind("CryptGenRandomData: ", 0), 0u) << r.Str();
}

TEST_F(SealvaneLib, PasswordModeMatchesTheReferenceStreams) {
  int checked = 0;
  for (const Json& v : sealvane::test::VectorsOfKind("password_encrypt")) {
    if (!v["ok"].get<bool>()) continue;
    const int cipherNumber = v["cipher_id"];
    const int level = LevelOf(v["provider"]);
    const std::size_t n = v["plaintext_len"];
    std::vector<std::size_t> pieces = {n};
    if (v["chunks"].is_array()) pieces = v["chunks"].get<std::vector<std::size_t>>();
    SCOPED_TRACE(std::to_string(level) + "/" + std::to_string(cipherNumber) + "/" + std::to_string(n));
    SessionContext ctx {};
    Message m;
    ASSERT_EQ(L().EncryptInit(level, cipherNumber, "Correct Horse 9", nullptr, 0, nullptr, &ctx, nullptr, m.text), 1)
        << m.Str();
    EXPECT_EQ(ToHex(EncryptStream(ctx, Pattern(n), pieces)), v["ciphertext"].get<std::string>());
    L().EncryptDone(&ctx, m.text);
    EXPECT_EQ(ctx.hProv, 0u);

    ASSERT_EQ(L().DecryptInit(level, cipherNumber, "Correct Horse 9", nullptr, nullptr, &ctx, m.text), 1) << m.Str();
    Bytes plain;
    EXPECT_TRUE(DecryptStream(ctx, FromHex(v["ciphertext"]), 4096, plain));
    EXPECT_EQ(plain, Pattern(n));
    L().DecryptDone(&ctx, m.text);
    EXPECT_TRUE(m.Untouched());
    ++checked;
  }
  EXPECT_GE(checked, 20);
}

TEST_F(SealvaneLib, CipherNumbersOutsideTheTableAreFortyBitRc2) {
  Bytes reference;
  for (const int number : {1, 0, 6, -1}) {
    SessionContext ctx {};
    Message m;
    ASSERT_EQ(L().EncryptInit(1, number, "pw", nullptr, 0, nullptr, &ctx, nullptr, m.text), 1);
    const Bytes cipher = EncryptStream(ctx, Pattern(13), {13});
    L().EncryptDone(&ctx, m.text);
    if (reference.empty()) reference = cipher;
    EXPECT_EQ(cipher, reference) << number;
  }
}

TEST_F(SealvaneLib, BaseProviderRefusesTheStrongCiphers) {
  SessionContext ctx {};
  Message m;
  EXPECT_EQ(L().EncryptInit(1, 5, "Correct Horse 9", nullptr, 0, nullptr, &ctx, nullptr, m.text), 0);
  EXPECT_STREQ(m.text, "CryptDeriveKey - Password: 80090008");
  EXPECT_NE(ctx.hProv, 0u) << "the context holds what was acquired";
  EXPECT_EQ(L().EncryptDone(&ctx, m.text), 1);
  EXPECT_EQ(ctx.hProv, 0u);
}

TEST_F(SealvaneLib, WrongPasswordFailsOnlyOnTheFinalPiece) {
  for (const Json& v : sealvane::test::VectorsOfKind("wrong_password_decrypt")) {
    SessionContext ctx {};
    Message m;
    ASSERT_EQ(L().DecryptInit(LevelOf(v["provider"]), v["cipher_id"], v["decrypt_password"].get<std::string>().c_str(),
                              nullptr, nullptr, &ctx, m.text),
              1);
    Bytes plain;
    std::string error;
    EXPECT_FALSE(DecryptStream(ctx, FromHex(v["ciphertext"]), 4096, plain, &error));
    EXPECT_EQ(error, "CryptDecrypt: 80090005");
    EXPECT_EQ(plain.size(), v["chunks"].is_array() ? 4096u : 0u) << "earlier pieces decrypt without error";
    L().DecryptDone(&ctx, m.text);
  }
}

TEST_F(SealvaneLib, BlockArgumentsThatWouldOverrunAreRefused) {
  SessionContext ctx {};
  Message m;
  ASSERT_EQ(L().EncryptInit(3, 5, "pw", nullptr, 0, nullptr, &ctx, nullptr, m.text), 1);
  uint8_t source[16] = {};
  uint8_t dest[8] = {};
  uint32_t size = sizeof(dest);
  EXPECT_EQ(L().Encrypt(&ctx, 0, sizeof(source), source, &size, dest, m.text), 0);
  EXPECT_STREQ(m.text, "CryptEncrypt: ea");
  size = 8;
  EXPECT_EQ(L().Encrypt(&ctx, -1, 8, source, &size, dest, m.text), 0) << "a final block needs room for padding";
  EXPECT_STREQ(m.text, "CryptEncrypt: ea");
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(L().Encrypt(&ctx, 0, 8, source, nullptr, dest, m.text), 0);
  uint32_t wrongLength = 4;
  EXPECT_EQ(L().Decrypt(&ctx, -1, 8, source, &wrongLength, dest, m.text), 0);
  EXPECT_STREQ(m.text, "CryptDecrypt: 57");
  L().EncryptDone(&ctx, m.text);
  EXPECT_EQ(L().EncryptInit(3, 5, "pw", nullptr, 0, nullptr, nullptr, nullptr, m.text), 0);
  EXPECT_EQ(L().EncryptDone(nullptr, m.text), 1);
}

// Certificate mode: the fixture digital ID in "MY", recipients in "AddressBook".
class SealvaneLibCerts : public SealvaneLib {
 protected:
  void SetUp() override {
    SealvaneLib::SetUp();
    ASSERT_TRUE(sealvane::csp::ImportPfx(sealvane::test::ReadFixture("capi/capi_fixture.pfx"), "fixture-pass", "MY",
                                         m_own.Thumbprint));
    AddToAddressBook("sva/certs/recipient1.der", m_recipients[0]);
    AddToAddressBook("sva/certs/recipient2.der", m_recipients[1]);
    AddToAddressBook("capi/cert.der", m_recipients[2]);
  }

  void AddToAddressBook(const std::string& fixture, CertRecord& record) {
    const Bytes der = sealvane::test::ReadFixture(fixture);
    using namespace sealvane::csp;
    HCERTSTORE store = CertOpenSystemStoreA(0, "AddressBook");
    PCCERT_CONTEXT cert = 0;
    ASSERT_TRUE(CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                 CERT_STORE_ADD_REPLACE_EXISTING, &cert));
    DWORD size = 20;
    CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, record.Thumbprint, &size);
    CertFreeCertificateContext(cert);
    CertCloseStore(store, 0);
  }

  CertRecord m_own {};
  CertRecord m_recipients[3] {};
};

TEST_F(SealvaneLibCerts, RoundTripForTheSenderAndEveryRecipientSlot) {
  for (const int level : {1, 3}) {
    for (const int cipherNumber : {1, 2, 3, 4, 5}) {
      if (level == 1 && cipherNumber >= 3) continue;
      for (const int32_t recipients : {0, 3}) {
        SCOPED_TRACE(std::to_string(level) + "/" + std::to_string(cipherNumber) + "/" + std::to_string(recipients));
        std::vector<EncKeyBlob> slots(4);
        for (auto& s : slots) s.Size = 0xDEADBEEF;
        SessionContext ctx {};
        Message m;
        ASSERT_EQ(L().EncryptInit(level, cipherNumber, "", &m_own, recipients, m_recipients, &ctx, slots.data(), m.text), 1)
            << m.Str();
        EXPECT_TRUE(m.Untouched());
        const Bytes cipher = EncryptStream(ctx, Pattern(5000), {4096, 904});
        L().EncryptDone(&ctx, m.text);
        EXPECT_EQ(slots[0].Size, 140u);
        EXPECT_EQ(slots[1].Size, recipients > 0 ? 268u : 0xDEADBEEF);
        EXPECT_EQ(slots[2].Size, recipients > 0 ? 140u : 0xDEADBEEF);
        EXPECT_EQ(slots[3].Size, recipients > 0 ? 140u : 0xDEADBEEF);

        ASSERT_EQ(L().DecryptInit(level, 0, "", m_own.Thumbprint, &slots[0], &ctx, m.text), 1) << m.Str();
        Bytes plain;
        EXPECT_TRUE(DecryptStream(ctx, cipher, 4096, plain));
        EXPECT_EQ(plain, Pattern(5000));
        L().DecryptDone(&ctx, m.text);
      }
    }
  }
}

TEST_F(SealvaneLibCerts, MissingRecipientFailsAndTheContextIsHandedBack) {
  CertRecord stranger {};
  std::memset(stranger.Thumbprint, 0xAB, 20);
  std::vector<EncKeyBlob> slots(2);
  SessionContext ctx {};
  Message m;
  EXPECT_EQ(L().EncryptInit(3, 2, "", &m_own, 1, &stranger, &ctx, slots.data(), m.text), 0);
  EXPECT_STREQ(m.text, "ExportEncKeyBlob - CertFindCertificateInStore: 80092004");
  EXPECT_NE(ctx.hProv, 0u);
  EXPECT_NE(ctx.hKey, 0u);
  EXPECT_EQ(slots[0].Size, 140u) << "slots written before the failure keep their content";
  EXPECT_EQ(L().EncryptDone(&ctx, m.text), 1);
  EXPECT_EQ(ctx.hProv, 0u);
  EXPECT_EQ(ctx.hKey, 0u);
}

TEST_F(SealvaneLibCerts, ReferenceSlotsUnwrapWithTheUsersKey) {
  for (const Json& v : sealvane::test::VectorsOfKind("wrap_known_key")) {
    if (!v["import_ok"].get<bool>()) continue;
    SCOPED_TRACE(v["provider"].get<std::string>() + " " + v["cipher"].get<std::string>());
    const Bytes blob = FromHex(v["simpleblob"]);
    EncKeyBlob slot {};
    slot.Size = static_cast<uint32_t>(blob.size());
    std::memcpy(slot.Blob, blob.data(), blob.size());
    SessionContext ctx {};
    Message m;
    ASSERT_EQ(L().DecryptInit(LevelOf(v["provider"]), 0, "", m_own.Thumbprint, &slot, &ctx, m.text), 1) << m.Str();
    Bytes plain;
    EXPECT_TRUE(DecryptStream(ctx, FromHex(v["ciphertext_stream"]), 4096, plain));
    EXPECT_EQ(plain, Pattern(4196));
    L().DecryptDone(&ctx, m.text);
  }
}

TEST_F(SealvaneLibCerts, BaseContainerIsReopenedUnderTheEnhancedProvider) {
  // Point the digital ID's key provider information at the base provider,
  // as a digital ID generated there has it.
  using namespace sealvane::csp;
  HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
  const CRYPT_HASH_BLOB hash {20, m_own.Thumbprint};
  PCCERT_CONTEXT cert = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &hash, 0);
  ASSERT_NE(cert, 0u);
  DWORD size = 0;
  ASSERT_TRUE(CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
  std::vector<BYTE> buffer(size);
  ASSERT_TRUE(CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size));
  CRYPT_KEY_PROV_INFO info;
  std::memcpy(&info, buffer.data(), sizeof(info));
  const std::u16string base = u"Microsoft Base Cryptographic Provider v1.0";
  info.pwszProvName = base.c_str();
  ASSERT_TRUE(CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, &info));
  CertFreeCertificateContext(cert);
  CertCloseStore(store, 0);

  std::vector<EncKeyBlob> slots(1);
  SessionContext ctx {};
  Message m;
  ASSERT_EQ(L().EncryptInit(3, 5, "", &m_own, 0, nullptr, &ctx, slots.data(), m.text), 1) << m.Str();
  const Bytes cipher = EncryptStream(ctx, Pattern(100), {100});
  L().EncryptDone(&ctx, m.text);
  // A 3DES slot imports only under the enhanced provider: success shows the
  // container was reopened there.
  ASSERT_EQ(L().DecryptInit(3, 0, "", m_own.Thumbprint, &slots[0], &ctx, m.text), 1) << m.Str();
  Bytes plain;
  EXPECT_TRUE(DecryptStream(ctx, cipher, 4096, plain));
  EXPECT_EQ(plain, Pattern(100));
  L().DecryptDone(&ctx, m.text);

  // Under the base provider the 3DES slot cannot be imported.
  ASSERT_EQ(L().DecryptInit(1, 0, "", m_own.Thumbprint, &slots[0], &ctx, m.text), 0);
  EXPECT_STREQ(m.text, "ImportEncKeyBlob - CryptImportKey: 80090008");
  L().DecryptDone(&ctx, m.text);
}

TEST_F(SealvaneLibCerts, DamagedOrOversizedSlotsAreRefused) {
  EncKeyBlob slot {};
  SessionContext ctx {};
  Message m;
  slot.Size = 2061;
  EXPECT_EQ(L().DecryptInit(3, 0, "", m_own.Thumbprint, &slot, &ctx, m.text), 0);
  EXPECT_STREQ(m.text, "ImportEncKeyBlob - CryptImportKey: 80090005");
  L().DecryptDone(&ctx, m.text);
  slot.Size = 3;
  EXPECT_EQ(L().DecryptInit(3, 0, "", m_own.Thumbprint, &slot, &ctx, m.text), 0);
  EXPECT_STREQ(m.text, "ImportEncKeyBlob - CryptImportKey: 80090005");
  L().DecryptDone(&ctx, m.text);
  uint8_t unknown[20];
  std::memset(unknown, 1, 20);
  EXPECT_EQ(L().DecryptInit(3, 0, "", unknown, &slot, &ctx, m.text), 0);
  EXPECT_STREQ(m.text, "GetPrivateKeyContext - CertFindCertificateInStore: 80092004");
  EXPECT_EQ(L().DecryptInit(3, 0, "", m_recipients[0].Thumbprint, &slot, &ctx, m.text), 0) << "not in MY";
  EXPECT_EQ(L().DecryptInit(3, 0, "", nullptr, &slot, &ctx, m.text), 0);
  EXPECT_EQ(std::string(m.text), "SLDecryptInit - Invalid argument: 57");
}

TEST_F(SealvaneLibCerts, CountListAndFind) {
  int32_t count = -1;
  Message m;
  ASSERT_EQ(L().GetCertCount("AddressBook", 0, &count, m.text), 1);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(L().GetCertCount("AddressBook", -1, &count, m.text), 1);
  EXPECT_EQ(count, 0) << "no private keys in the address book";
  ASSERT_EQ(L().GetCertCount("MY", -1, &count, m.text), 1);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(L().GetCertCount("NewStore", 0, &count, m.text), 1);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(m.Untouched());

  // Three records and a guard: nothing is written past the capacity.
  std::vector<uint8_t> area(sizeof(CertRecord) * 4, 0xCC);
  auto* records = reinterpret_cast<CertRecord*>(area.data());
  ASSERT_EQ(L().GetCerts("AddressBook", 0, records, 3, m.text), 1);
  EXPECT_TRUE(std::all_of(area.begin() + 3 * 536, area.end(), [](uint8_t b) { return b == 0xCC; }));
  EXPECT_EQ(reinterpret_cast<uint8_t*>(&records[2]) - area.data(), 1072);
  EXPECT_EQ(records[2].Thumbprint - area.data(), 1588);
  std::set<std::string> names;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(records[i].Selected, 0);
    EXPECT_EQ(records[i].Name[255], 0);
    names.insert(std::string(records[i].Name) + "|" + records[i].EMailAddr);
  }
  EXPECT_EQ(names, (std::set<std::string> {"Recipient One|one@example.org", "Recipient Two|",
                                          "Test User|test@example.com"}));
  std::fill(area.begin(), area.end(), 0xCC);
  ASSERT_EQ(L().GetCerts("AddressBook", 0, records, 1, m.text), 1);
  EXPECT_EQ(area[536], 0xCC) << "a smaller capacity is respected";

  // Find with the thumbprint inside the record it fills.
  CertRecord record {};
  std::memcpy(record.Thumbprint, m_own.Thumbprint, 20);
  record.Selected = -1;
  std::strcpy(record.Name, "stale");
  ASSERT_EQ(L().FindCert("MY", record.Thumbprint, &record, m.text), 1);
  EXPECT_EQ(record.Selected, 0);
  EXPECT_STREQ(record.Name, "Test User");
  EXPECT_STREQ(record.EMailAddr, "test@example.com");
  EXPECT_EQ(std::memcmp(record.Thumbprint, m_own.Thumbprint, 20), 0);
  EXPECT_TRUE(m.Untouched());

  CertRecord untouched {};
  std::strcpy(untouched.Name, "keep");
  EXPECT_EQ(L().FindCert("MY", m_recipients[0].Thumbprint, &untouched, m.text), 0);
  EXPECT_STREQ(m.text, "CertFindCertificateInStore: 80092004");
  EXPECT_STREQ(untouched.Name, "keep");
}

}  // namespace

namespace {

TEST_F(SealvaneLib, WithoutTheBaseProviderEveryTemporaryContextFails) {
  ASSERT_TRUE(sealvane::csp::SetProviderInstalled(kBase, false));
  uint8_t digest[20];
  Message m;
  EXPECT_EQ(L().HashString("abc", digest, m.text), 0);
  EXPECT_STREQ(m.text, "CryptAcquireContext - Hash: 80090019");
  uint32_t rng = 5;
  EXPECT_EQ(L().GenRandomInit(&rng, m.text), 0);
  EXPECT_STREQ(m.text, "CryptAcquireContext - Temporary 80090019");
  EXPECT_EQ(rng, 0u);
  EXPECT_EQ(L().GenRandomDone(&rng, m.text), 1) << "harmless after a failed Init";
  int32_t count = 7;
  EXPECT_EQ(L().GetCertCount("MY", 0, &count, m.text), 0);
  EXPECT_STREQ(m.text, "CryptAcquireContext: 80090019");
  EXPECT_EQ(count, 7) << "a failure before the store opened leaves the count alone";
  auto gen = reinterpret_cast<PFN_SLGenDigitalID>(dlsym(L().handle, "SLGenDigitalID"));
  const SLSystemTime from {2026, 1, 0, 1, 0, 0, 0, 0};
  uint8_t thumbprint[20];
  EXPECT_EQ(gen("CN=x", 0, 0, 1, &from, &from, thumbprint, m.text), 0);
  EXPECT_STREQ(m.text, "CryptAcquireContext - Random Data: 80090019");
}

TEST_F(SealvaneLib, DamagedStoreIsAFailureWithItsCode) {
  sealvane::test::WriteFileBytes(std::string(std::getenv("SEALVANE_HOME")) + "/registry.db", std::string(4096, 'x'));
  int32_t count = 0;
  Message m;
  EXPECT_EQ(L().GetCertCount("MY", 0, &count, m.text), 0);
  EXPECT_STREQ(m.text, "CertOpenSystemStore: 800703f1") << "the damaged-registry code";
  CertRecord record {};
  EXPECT_EQ(L().FindCert("AddressBook", record.Thumbprint, &record, m.text), 0);
  EXPECT_STREQ(m.text, "CertOpenSystemStore: 800703f1");
  std::vector<EncKeyBlob> slots(1);
  SessionContext ctx {};
  EXPECT_EQ(L().EncryptInit(1, 1, "", &record, 0, nullptr, &ctx, slots.data(), m.text), 0);
  EXPECT_STREQ(m.text, "ExportEncKeyBlob - CertOpenSystemStore: 800703f1");
  L().EncryptDone(&ctx, m.text);
}

TEST_F(SealvaneLibCerts, StrongSessionKeysNeedTheEnhancedProvider) {
  std::vector<EncKeyBlob> slots(1);
  SessionContext ctx {};
  Message m;
  EXPECT_EQ(L().EncryptInit(1, 5, "", &m_own, 0, nullptr, &ctx, slots.data(), m.text), 0);
  EXPECT_STREQ(m.text, "CryptGenKey - Generate Session Key: 80090008");
  EXPECT_NE(ctx.hProv, 0u);
  L().EncryptDone(&ctx, m.text);

  ASSERT_TRUE(sealvane::csp::SetProviderInstalled(kEnhanced, false));
  EXPECT_EQ(L().DecryptInit(3, 0, "", m_own.Thumbprint, &slots[0], &ctx, m.text), 0);
  EXPECT_STREQ(m.text, "An invalid CSP was specified.");
  L().DecryptDone(&ctx, m.text);
}

TEST_F(SealvaneLibCerts, CertificateWithoutItsKeyBindingCannotDecrypt) {
  // The address-book copy of the own certificate, put into MY without the
  // key provider information.
  using namespace sealvane::csp;
  const Bytes der = sealvane::test::ReadFixture("sva/certs/recipient1.der");
  HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
  ASSERT_TRUE(CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                               CERT_STORE_ADD_NEW, nullptr));
  CertCloseStore(store, 0);
  EncKeyBlob slot {};
  SessionContext ctx {};
  Message m;
  EXPECT_EQ(L().DecryptInit(3, 0, "", m_recipients[0].Thumbprint, &slot, &ctx, m.text), 0);
  EXPECT_STREQ(m.text, "GetPrivateKeyContext - CryptAcquireCertificatePrivateKey: 8009200b");
  L().DecryptDone(&ctx, m.text);
}

}  // namespace
