// SPDX-License-Identifier: GPL-3.0-or-later
// Archives written here: their layout byte for byte, a round trip through
// the engine, and an independent reader (OpenSSL over the raw bytes).
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdlib>

#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/csp/WinCrypt.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"
#include "archive/IndependentArchive.h"

namespace sealvane {
namespace {

using test::Bytes;
using test::FakeUiPort;
using test::Pattern;
using test::BE;
using test::Parse;
using test::RawArchive;
using test::RawDecrypt;

constexpr const char* kPassword = "Correct Horse 9";

std::string ArchivePath() { return test::SandboxDir() + "/out.sva"; }

clsFileDesc Description(std::int32_t size) {
  clsFileDesc desc;
  desc.m_strFileName = "report.doc";
  FileTimeToBytes(desc.m_varCreateTime, 0x01C2FB3996C8A487LL);
  FileTimeToBytes(desc.m_varModifyTime, 0x01DA6B1131F5B931LL);
  desc.m_nAttributes = 1;
  desc.m_nFileSize = size;
  return desc;
}

// Writes `plain` as the payload in 4096-byte pieces.
void Write(const clsParameters& params, const Bytes& plain, FakeUiPort& ui) {
  // Opening for writing never truncates: the jobs remove a target first.
  std::remove(ArchivePath().c_str());
  clsArchive archive(ui);
  ASSERT_EQ(archive.OpenArchive(ArchivePath(), 1), 0);
  ASSERT_EQ(archive.EncryptInit(params, Description(static_cast<std::int32_t>(plain.size()))), 0);
  for (std::size_t at = 0; at < plain.size();) {
    const std::size_t n = std::min<std::size_t>(4096, plain.size() - at);
    ASSERT_EQ(archive.Encrypt(at + n == plain.size(), static_cast<std::int32_t>(n),
                              std::span<const std::uint8_t>(plain.data() + at, n)),
              0);
    at += n;
  }
  ASSERT_EQ(archive.EncryptDone(), 0);
  archive.CloseArchive();
}

// Reads the archive back through the engine.
Bytes Read(const std::string& password, FakeUiPort& ui, std::int32_t* initResult = nullptr) {
  clsArchive archive(ui);
  EXPECT_EQ(archive.OpenArchive(ArchivePath(), 0), 0);
  clsParameters params;
  clsFileDesc desc;
  EXPECT_EQ(archive.ReadParameters(params, desc), 0);
  params.m_strPassword = password;
  const std::int32_t init = archive.DecryptInit(params, desc);
  if (initResult != nullptr) *initResult = init;
  Bytes plain;
  if (init != 0) {
    archive.DecryptDone();
    return plain;
  }
  for (std::int32_t done = 0; done < desc.m_nFileSize;) {
    const std::int32_t n = std::min(4096, desc.m_nFileSize - done);
    Bytes piece(static_cast<std::size_t>(n));
    if (archive.Decrypt(done + n == desc.m_nFileSize, n, piece) != 0) break;
    plain.insert(plain.end(), piece.begin(), piece.end());
    done += n;
  }
  EXPECT_EQ(archive.DecryptDone(), 0);
  return plain;
}

clsParameters PasswordParameters(std::int32_t level, std::int32_t cipher) {
  clsParameters params;
  params.m_eCSP = level;
  params.m_eAlg = cipher;
  params.m_bPwdRequired = true;
  params.m_strPassword = kPassword;
  return params;
}

// The stream is full 4096-byte pieces and a padded final piece; CBC chains
// across the pieces, so the whole stream decrypts in one pass.
Bytes RawStream(const RawArchive& a, const Bytes& key, std::size_t plainSize) {
  const std::size_t pieces = (plainSize + 4095) / 4096;
  const std::size_t last = plainSize - 4096 * (pieces - 1);
  const std::size_t streamSize = a.bytes.size() - a.streamOffset;
  EXPECT_EQ(streamSize, 4096 * (pieces - 1) + static_cast<std::size_t>(PaddedSize(static_cast<std::int32_t>(last))));
  return RawDecrypt(a.cipher, key, a.bytes.data() + a.streamOffset, streamSize);
}

TEST(ArchiveWriter, PasswordHeaderBytesAreTheDocumentedOnes) {
  clsParameters params = PasswordParameters(3, 5);
  params.m_bCompressFile = true;
  params.m_bOpenFile = true;
  FakeUiPort ui;
  Write(params, Pattern(13), ui);
  const Bytes archive = test::ToBytes(test::ReadFileBytes(ArchivePath()));
  EXPECT_EQ(std::string(archive.begin(), archive.begin() + 16), std::string("SealvaneArchive\0", 16));
  EXPECT_EQ(test::ToHex(Bytes(archive.begin() + 16, archive.begin() + 48)),
            "000000010000000300000005ffffffffffffffff00000000ffffffff00000000");
  // The value 1, the description, the stream: nothing else, no password.
  EXPECT_EQ(test::ToHex(Bytes(archive.begin() + 48, archive.begin() + 52)), "00000001");
  EXPECT_EQ(BE(archive, 52), 11);
  EXPECT_EQ(std::string(archive.begin() + 56, archive.begin() + 67), std::string("report.doc\0", 11));
  EXPECT_EQ(test::ToHex(Bytes(archive.begin() + 67, archive.begin() + 75)), "87a4c89639fbc201");
  EXPECT_EQ(BE(archive, 83), 1);
  EXPECT_EQ(BE(archive, 87), 13);
  EXPECT_EQ(BE(archive, 91), 0);
  EXPECT_EQ(archive.size(), 95u + 16u);
  const std::string text(archive.begin(), archive.end());
  EXPECT_EQ(text.find(kPassword), std::string::npos);
}

TEST(ArchiveWriter, PasswordRoundTripsAndTheIndependentReaderAgrees) {
  for (const std::int32_t level : {1, 3}) {
    for (std::int32_t cipher = 1; cipher <= 5; ++cipher) {
      if (level == 1 && cipher >= 3) continue;
      for (const std::size_t size : {1u, 8u, 4095u, 4096u, 4097u, 8192u, 20000u}) {
        SCOPED_TRACE(std::to_string(level) + "/" + std::to_string(cipher) + "/" + std::to_string(size));
        FakeUiPort ui;
        const Bytes plain = Pattern(size);
        Write(PasswordParameters(level, cipher), plain, ui);
        EXPECT_EQ(Read(kPassword, ui), plain);
        const RawArchive raw = Parse(test::ToBytes(test::ReadFileBytes(ArchivePath())));
        EXPECT_EQ(raw.n, 0);
        EXPECT_EQ(RawStream(raw, test::PasswordKey(cipher, kPassword), size), plain);
        EXPECT_TRUE(ui.boxes.empty());
      }
    }
  }
}

TEST(ArchiveWriter, WrongPasswordIsReportedOnTheFinalPiece) {
  FakeUiPort ui;
  Write(PasswordParameters(3, 4), Pattern(5000), ui);
  const Bytes plain = Read("Correct Horse 8", ui);
  EXPECT_EQ(plain.size(), 4096u);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "The password is incorrect.");
  EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Exclamation);
}

class ArchiveWriterCerts : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(csp::ImportPfx(test::ReadFixture("capi/capi_fixture.pfx"), "fixture-pass", "MY", m_own));
    for (const char* name : {"sva/certs/recipient1.der", "sva/certs/recipient2.der"}) {
      const Bytes der = test::ReadFixture(name);
      csp::HCERTSTORE store = csp::CertOpenSystemStoreA(0, "AddressBook");
      csp::PCCERT_CONTEXT cert = 0;
      ASSERT_TRUE(csp::CertAddEncodedCertificateToStore(store, csp::X509_ASN_ENCODING, der.data(),
                                                        static_cast<csp::DWORD>(der.size()),
                                                        csp::CERT_STORE_ADD_NEW, &cert));
      csp::BYTE tp[20];
      csp::DWORD size = 20;
      csp::CertGetCertificateContextProperty(cert, csp::CERT_SHA1_HASH_PROP_ID, tp, &size);
      m_recipients.emplace_back(tp, tp + 20);
      csp::CertFreeCertificateContext(cert);
      csp::CertCloseStore(store, 0);
    }
  }

  clsParameters CertParameters(std::int32_t level, std::int32_t cipher, std::size_t recipients) {
    clsParameters params;
    params.m_eCSP = level;
    params.m_eAlg = cipher;
    params.m_oDefaultDigitalID.m_strName = "Test User";
    params.m_oDefaultDigitalID.m_strEMailAddr = "test@example.com";
    params.m_oDefaultDigitalID.m_varThumbprint.assign(m_own, m_own + 20);
    for (std::size_t i = 0; i < recipients; ++i) {
      clsDigitalID other;
      other.m_strName = "Recipient " + std::to_string(i + 1);
      other.m_varThumbprint = m_recipients[i];
      params.m_colOtherDigitalIDs.push_back(other);
    }
    return params;
  }

  csp::BYTE m_own[20] {};
  std::vector<Bytes> m_recipients;
};

TEST_F(ArchiveWriterCerts, AccessListAndTheOwnersIndependentUnwrap) {
  FILE* pem = std::fopen(test::FixturePath("capi/rsa_private_pkcs8.pem").c_str(), "r");
  ASSERT_NE(pem, nullptr);
  EVP_PKEY* key = PEM_read_PrivateKey(pem, nullptr, nullptr, nullptr);
  std::fclose(pem);
  for (const std::size_t recipients : {0u, 2u}) {
    for (const std::int32_t cipher : {1, 2, 4, 5}) {
      SCOPED_TRACE(std::to_string(recipients) + "/" + std::to_string(cipher));
      FakeUiPort ui;
      const Bytes plain = Pattern(6000);
      Write(CertParameters(3, cipher, recipients), plain, ui);
      EXPECT_EQ(Read("", ui), plain);
      const RawArchive raw = Parse(test::ToBytes(test::ReadFileBytes(ArchivePath())));
      ASSERT_EQ(raw.n, static_cast<std::int32_t>(recipients + 1));
      EXPECT_EQ(raw.slots[0].size(), 140u);
      if (recipients == 2) {
        EXPECT_EQ(raw.slots[1].size(), 268u) << "2048-bit recipient";
        EXPECT_EQ(raw.slots[2].size(), 140u);
      }
      // Unwrap slot 0 by hand: header, reversed PKCS #1 v1.5 ciphertext.
      ASSERT_EQ(test::ToHex(Bytes(raw.slots[0].begin(), raw.slots[0].begin() + 4)), "01020000");
      Bytes wrapped(raw.slots[0].begin() + 12, raw.slots[0].end());
      std::reverse(wrapped.begin(), wrapped.end());
      EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
      EVP_PKEY_decrypt_init(ctx);
      EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
      std::uint8_t sessionKey[128];
      std::size_t length = sizeof(sessionKey);
      ASSERT_EQ(EVP_PKEY_decrypt(ctx, sessionKey, &length, wrapped.data(), wrapped.size()), 1);
      EVP_PKEY_CTX_free(ctx);
      EXPECT_EQ(RawStream(raw, Bytes(sessionKey, sessionKey + length), plain.size()), plain);
    }
  }
  EVP_PKEY_free(key);
}

TEST_F(ArchiveWriterCerts, UsersOutsideTheListHaveNoAccess) {
  FakeUiPort ui;
  Write(CertParameters(1, 2, 1), Pattern(100), ui);
  ::setenv("SEALVANE_HOME", (test::SandboxDir() + "/stranger").c_str(), 1);
  std::int32_t init = 0;
  EXPECT_TRUE(Read("", ui, &init).empty());
  EXPECT_EQ(init, -1);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "You do not have access to this file.");
}

TEST_F(ArchiveWriterCerts, TheFirstMatchingEntryIsTheUsers) {
  clsParameters params = CertParameters(3, 2, 1);
  params.m_colOtherDigitalIDs.push_back(params.m_oDefaultDigitalID);  // the user twice
  params.m_oDefaultDigitalID.m_varThumbprint = m_recipients[0];       // not the user's own
  FakeUiPort ui;
  clsArchive archive(ui);
  std::int32_t index = 99;
  ByteArray thumbprint;
  ASSERT_TRUE(archive.FindThisUserInCertStore(params, index, thumbprint));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(thumbprint, ByteArray(m_own, m_own + 20));
}

TEST_F(ArchiveWriterCerts, WhatTheLayoutCannotHoldIsRefusedBeforeWriting) {
  const auto refused = [&](const clsParameters& params, const clsFileDesc& desc, const std::string& reason) {
    std::remove(ArchivePath().c_str());
    FakeUiPort ui;
    clsArchive archive(ui);
    ASSERT_EQ(archive.OpenArchive(ArchivePath(), 1), 0);
    EXPECT_EQ(archive.EncryptInit(params, desc), 9);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Failed to initialize for encrypting.\r" + reason + ". Error Number: 9");
    archive.EncryptDone();
    archive.CloseArchive();
    EXPECT_EQ(test::ReadFileBytes(ArchivePath()), "") << "nothing was written";
  };
  for (const std::size_t size : {19u, 21u}) {
    clsParameters params = CertParameters(3, 2, 1);
    params.m_colOtherDigitalIDs[0].m_varThumbprint.resize(size);
    refused(params, Description(1),
            "The digital ID \"Recipient 1\" (entry 2) has a thumbprint of " + std::to_string(size) +
                " bytes instead of 20");
  }
  clsParameters params = CertParameters(3, 2, 1);
  params.m_colOtherDigitalIDs[0].m_strEMailAddr.assign(65536, 'e');
  refused(params, Description(1),
          "The e-mail address of digital ID \"Recipient 1\" (entry 2) is longer than 65535 bytes and cannot be "
          "stored");
  clsFileDesc desc = Description(1);
  desc.m_strFileName.assign(65536, 'n');
  refused(CertParameters(3, 2, 1), desc, "The file name is longer than 65535 bytes and cannot be stored");

  // 65535 bytes still fit, and read back whole.
  params = CertParameters(3, 2, 1);
  params.m_colOtherDigitalIDs[0].m_strName.assign(65535, 'n');
  FakeUiPort ui;
  Write(params, Pattern(10), ui);
  clsArchive reader(ui);
  ASSERT_EQ(reader.OpenArchive(ArchivePath(), 0), 0);
  clsParameters read;
  clsFileDesc readDesc;
  ASSERT_EQ(reader.ReadParameters(read, readDesc), 0);
  EXPECT_EQ(read.m_colOtherDigitalIDs[0].m_strName, std::string(65535, 'n'));
}

TEST(ArchiveEngine, MissingLibraryIsARunTimeFailureOfTheOperation) {
  CipherLibrary missing("/nonexistent/libsealvanelib.so");
  FakeUiPort ui;
  clsArchive archive(ui, missing);
  ASSERT_EQ(archive.OpenArchive(ArchivePath(), 1), 0);
  EXPECT_EQ(archive.EncryptInit(PasswordParameters(1, 1), Description(1)), 48);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("Failed to initialize for encrypting.\rError in loading DLL /nonexistent/", 0), 0u)
      << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[0].text.find(". Error Number: 48"), std::string::npos);
}

TEST(ArchiveEngine, PieceSizesOutsideTheFormatAreRefused) {
  FakeUiPort ui;
  Write(PasswordParameters(1, 2), Pattern(10), ui);
  clsArchive archive(ui);
  ASSERT_EQ(archive.OpenArchive(ArchivePath(), 0), 0);
  clsParameters params;
  clsFileDesc desc;
  ASSERT_EQ(archive.ReadParameters(params, desc), 0);
  params.m_strPassword = kPassword;
  ASSERT_EQ(archive.DecryptInit(params, desc), 0);
  Bytes small(4);
  EXPECT_EQ(archive.Decrypt(true, 10, small), 9) << "the output must hold the piece";
  Bytes big(8192);
  EXPECT_EQ(archive.Decrypt(true, 5000, big), 9);
  EXPECT_EQ(archive.Decrypt(true, 0, big), 9);
  archive.DecryptDone();
}

}  // namespace
}  // namespace sealvane
