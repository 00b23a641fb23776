// SPDX-License-Identifier: GPL-3.0-or-later
// Format version 2 through the jobs: round trips in both modes, an
// independent reader and writer made from the published format, every
// single-byte change, cut and extension refused with nothing written, the
// password function's ceilings, and cancel and failures mid-job.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "archive/IndependentModern.h"
#include "archive/JobFixtures.h"
#include "sealvane/archive/ModernArchive.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/csp/WinCrypt.h"
#include "sealvane/platform/FileInfo.h"
#include "support/FakeUiPort.h"
#include "support/FileSizeLimit.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using namespace test;

std::string Noise(std::size_t size, std::uint32_t seed = 5) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  return bytes;
}

std::string OutDir() { return SandboxDir() + "/out"; }

// Version 2 for a password, with the cheapest password function a reader
// accepts (64 MiB, one pass), so that the tests stay quick.
clsParameters ModernParameters(bool compress) {
  clsParameters p = EncryptParameters(compress, 1, kCipherAes256);
  p.m_nKdfMilliseconds = 1;
  return p;
}

std::int32_t EncryptWith(const clsParameters& p, FakeUiPort& ui) {
  frmEncrypt job(ui);
  if (!job.Initialize(p)) return 1000;
  job.Run();
  return job.Result();
}

// The record the main window builds for a modern archive: the file goes
// into OutDir() under the name the archive stores.
clsParameters ModernDecryptParameters(const std::string& archive, const std::string& password) {
  clsParameters p = DecryptParameters(archive, password, OutDir() + "/placeholder");
  p.m_bNameFromArchive = true;
  return p;
}

// Runs a decrypt job; 1000 when Initialize refused.
std::int32_t DecryptWith(const clsParameters& p, FakeUiPort& ui) {
  frmDecrypt job(ui);
  if (!job.Initialize(p)) return 1000;
  job.Run();
  return job.Result();
}

class ModernArchive : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(OutDir()); }
};

TEST_F(ModernArchive, RoundTripsWithNameTimesAndAttributes) {
  // Sizes around one chunk, and several runs of the workers.
  for (const bool compress : {false, true}) {
    for (const std::size_t size : {1u, 65535u, 65536u, 65537u, 1100000u}) {
      SCOPED_TRACE(std::to_string(compress) + "/" + std::to_string(size));
      const std::string plain = size > 100000 ? Noise(size / 2) + Content(size - size / 2) : Content(size);
      WriteFileBytes(Plain(), plain);
      platform::FileTimes times;
      times.lastWrite = platform::UnixToFileTime(1'000'000'000, 0);
      platform::SetTimes(Plain(), times);
      platform::SetAttributes(Plain(), platform::FILE_ATTRIBUTE_READONLY);
      fs::remove(Archive());
      FakeUiPort ui;
      ASSERT_EQ(EncryptWith(ModernParameters(compress), ui), 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);

      // What anybody can read: the format, the mode; nothing of the file.
      clsArchive reader(ui);
      ASSERT_EQ(reader.OpenArchive(Archive(), 0), 0);
      clsParameters stored;
      clsFileDesc desc;
      ASSERT_EQ(reader.ReadParameters(stored, desc), 0);
      EXPECT_EQ(reader.Version(), 2);
      EXPECT_EQ(stored.m_eAlg, kCipherAes256);
      EXPECT_TRUE(stored.m_bPwdRequired);
      EXPECT_EQ(stored.m_bCompressFile, compress);
      EXPECT_TRUE(desc.m_bSealed);
      EXPECT_EQ(desc.m_strFileName, "");
      reader.CloseArchive();
      EXPECT_EQ(ReadFileBytes(Archive()).find("report.doc"), std::string::npos) << "the name is sealed";

      FakeUiPort ui2;
      ASSERT_EQ(DecryptWith(ModernDecryptParameters(Archive(), kPassword), ui2), 0)
          << (ui2.boxes.empty() ? "" : ui2.boxes[0].text);
      const std::string restored = OutDir() + "/report.doc";
      const platform::FileTimes back = platform::GetTimes(restored);
      EXPECT_EQ(ReadFileBytes(restored), plain);
      EXPECT_EQ(back.lastWrite, times.lastWrite);
      EXPECT_EQ(platform::GetAttributes(restored) & platform::FILE_ATTRIBUTE_READONLY,
                platform::FILE_ATTRIBUTE_READONLY);
      EXPECT_EQ(ui2.operations, (std::vector<std::string> {"", "Decrypting:", "Cleaning up", "Done"}));
      platform::SetAttributes(restored, platform::FILE_ATTRIBUTE_NORMAL);
      platform::SetAttributes(Plain(), platform::FILE_ATTRIBUTE_NORMAL);
      fs::remove(restored);
    }
  }
  // Compression makes text smaller.
  WriteFileBytes(Plain(), Content(1 << 20));
  fs::remove(Archive());
  FakeUiPort ui;
  ASSERT_EQ(EncryptWith(ModernParameters(true), ui), 0);
  EXPECT_LT(fs::file_size(Archive()), 100000u);
}

TEST_F(ModernArchive, NoTwoArchivesAreAlike) {
  WriteFileBytes(Plain(), Content(5000));
  FakeUiPort ui;
  ASSERT_EQ(EncryptWith(ModernParameters(false), ui), 0);
  const Bytes first = ToBytes(ReadFileBytes(Archive()));
  fs::remove(Archive());
  ASSERT_EQ(EncryptWith(ModernParameters(false), ui), 0);
  const Bytes second = ToBytes(ReadFileBytes(Archive()));
  ASSERT_EQ(first.size(), second.size());
  EXPECT_NE(v2ref::Slice(first, 32, 32), v2ref::Slice(second, 32, 32)) << "salt";
  EXPECT_NE(v2ref::Slice(first, 80, 16), v2ref::Slice(second, 80, 16)) << "password salt";
  EXPECT_NE(v2ref::Slice(first, first.size() - 200, 200), v2ref::Slice(second, second.size() - 200, 200));
}

TEST_F(ModernArchive, AnIndependentReaderAndWriterAgreeWithTheEngine) {
  for (const bool compress : {false, true}) {
    SCOPED_TRACE(compress);
    const std::string plain = Content(70000) + Noise(70000);
    WriteFileBytes(Plain(), plain);
    fs::remove(Archive());
    FakeUiPort ui;
    ASSERT_EQ(EncryptWith(ModernParameters(compress), ui), 0);
    const v2ref::Opened opened = v2ref::Read(ToBytes(ReadFileBytes(Archive())), kPassword);
    ASSERT_EQ(opened.failure, "");
    EXPECT_EQ(opened.plain, ToBytes(plain));
    EXPECT_EQ(opened.name, "report.doc");
    EXPECT_EQ(opened.chunkSize, 65536u);
    EXPECT_GE(opened.m, 64u * 1024);
    ASSERT_EQ(opened.chunkPlaintexts.size(), 3u);
    // Text compresses, random bytes are stored as they are.
    EXPECT_EQ(opened.chunkPlaintexts[0][0], compress ? 1 : 0);
    EXPECT_EQ(opened.chunkPlaintexts[2][0], 0);
  }
  // An empty file is one empty last chunk (the desktop program refuses to
  // encrypt one, but the format holds it).
  {
    const Bytes empty = v2ref::Write(Bytes {}, kPassword);
    WriteFileBytes(Archive(), std::string(empty.begin(), empty.end()));
    FakeUiPort ui;
    ASSERT_EQ(DecryptWith(ModernDecryptParameters(Archive(), kPassword), ui), 0)
        << (ui.boxes.empty() ? "" : ui.boxes[0].text);
    EXPECT_EQ(ReadFileBytes(OutDir() + "/independent.txt"), "");
    fs::remove(OutDir() + "/independent.txt");
  }
  // The engine reads what the independent writer made, and refuses the
  // writer's archive whose last chunk lacks its flag (a cut-off file).
  for (const bool lastFlag : {true, false}) {
    SCOPED_TRACE(lastFlag);
    v2ref::WriteOptions w;
    w.lastFlag = lastFlag;
    const std::string plain = Content(150000);
    WriteFileBytes(Archive(), std::string(reinterpret_cast<const char*>(v2ref::Write(ToBytes(plain), kPassword, w).data()),
                                          v2ref::Write(ToBytes(plain), kPassword, w).size()));
    FakeUiPort ui;
    const std::int32_t result = DecryptWith(ModernDecryptParameters(Archive(), kPassword), ui);
    if (lastFlag) {
      ASSERT_EQ(result, 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
      EXPECT_EQ(ReadFileBytes(OutDir() + "/independent.txt"), plain);
      fs::remove(OutDir() + "/independent.txt");
    } else {
      EXPECT_EQ(result, kDamaged);
      EXPECT_EQ(ui.boxes.back().text,
                "The encrypted file is damaged.\rPart of its data has been changed, moved, cut off or added.");
      EXPECT_TRUE(FolderEntries(OutDir()).empty());
    }
  }
}

TEST_F(ModernArchive, AFileThatCannotFitIsRefusedBeforeAnythingIsWritten) {
  // A few bytes that claim a petabyte: a decompression bomb is refused
  // with both sizes, not written until the disk is full.
  v2ref::WriteOptions w;
  w.recordedSize = std::uint64_t {1} << 50;
  const Bytes bomb = v2ref::Write(ToBytes(Content(1000)), kPassword, w);
  WriteFileBytes(Archive(), std::string(bomb.begin(), bomb.end()));
  FakeUiPort ui;
  frmDecrypt job(ui);
  EXPECT_FALSE(job.Initialize(ModernDecryptParameters(Archive(), kPassword)));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("There is not enough free space to decrypt the file.\rindependent.txt needs 1024.0 TB, and ", 0),
            0u)
      << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[0].text.find(" is free where it goes."), std::string::npos);
  EXPECT_TRUE(FolderEntries(OutDir()).empty());
}

TEST_F(ModernArchive, AWrongPasswordIsSaidBeforeAnythingIsWritten) {
  WriteFileBytes(Plain(), Content(300000));
  FakeUiPort ui;
  ASSERT_EQ(EncryptWith(ModernParameters(true), ui), 0);
  FakeUiPort ui2;
  EXPECT_EQ(DecryptWith(ModernDecryptParameters(Archive(), "Correct Horse 8"), ui2), 1000);
  ASSERT_EQ(ui2.boxes.size(), 1u);
  EXPECT_EQ(ui2.boxes[0].text, "The password is incorrect.");
  EXPECT_TRUE(ui2.operations.empty() || ui2.operations.back() != "Decrypting:") << "no job window";
  EXPECT_TRUE(FolderEntries(OutDir()).empty());
}

// A change of one byte, every cut and an extension of `archive` are
// refused, and nothing is left in the destination folder. Every byte of the
// fixed header (identifier to the password function's parameters) and of
// the description's length is changed; elsewhere, where the bytes are sealed
// or under the header's MAC in runs, every third byte and the last 32.
void ExpectEveryChangeRefused(const Bytes& archive, const std::function<clsParameters()>& record) {
  const std::string path = SandboxDir() + "/changed.sva";
  const auto refused = [&](const Bytes& bytes, const std::string& what) {
    SCOPED_TRACE(what);
    WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
    FakeUiPort ui;
    frmDecrypt job(ui);
    clsParameters p;
    // A change may make the header unreadable already.
    {
      clsArchive reader(ui);
      clsFileDesc desc;
      if (reader.OpenArchive(path, 0) != 0 || reader.ReadParameters(p, desc) != 0) return;
    }
    p = record();
    p.m_strEncFilePath = path;
    if (job.Initialize(p)) {
      job.Run();
      EXPECT_NE(job.Result(), 0);
    }
    EXPECT_TRUE(FolderEntries(OutDir()).empty());
  };
  constexpr std::size_t kFixedHeader = 80;
  const std::size_t h = v2ref::U32(archive, 20);
  for (std::size_t i = 0; i < archive.size(); ++i) {
    const bool every = i < kFixedHeader || (i >= h && i < h + 4) || i + 32 >= archive.size();
    if (!every && i % 3 != 0) continue;
    Bytes changed = archive;
    changed[i] ^= 0x01;
    refused(changed, "byte " + std::to_string(i));
  }
  refused(Bytes(archive.begin(), archive.end() - 1), "last byte cut");
  Bytes extended = archive;
  extended.push_back(0);
  refused(extended, "a byte added");
  extended.insert(extended.end(), {0, 0, 0});
  refused(extended, "four bytes added");
}

TEST_F(ModernArchive, EveryChangeOfAPasswordArchiveIsRefused) {
  WriteFileBytes(Plain(), "a short secret");
  FakeUiPort ui;
  ASSERT_EQ(EncryptWith(ModernParameters(true), ui), 0);
  const Bytes archive = ToBytes(ReadFileBytes(Archive()));
  ExpectEveryChangeRefused(archive, [] { return ModernDecryptParameters(SandboxDir() + "/changed.sva", kPassword); });
}

TEST_F(ModernArchive, ChunksCutSwappedOrTakenFromAnotherArchiveAreRefused) {
  // Five chunks, stored as they are so that each has the same length.
  const std::string plain = Noise(4 * 65536 + 100);
  WriteFileBytes(Plain(), plain);
  FakeUiPort ui;
  ASSERT_EQ(EncryptWith(ModernParameters(false), ui), 0);
  const Bytes archive = ToBytes(ReadFileBytes(Archive()));
  const std::size_t h = v2ref::U32(archive, 20);
  const std::size_t first = h + 4 + v2ref::U32(archive, h);
  const std::size_t whole = 4 + 1 + 65536 + 16;
  ASSERT_EQ(archive.size(), first + 4 * whole + 4 + 1 + 100 + 16);
  const auto refused = [&](const Bytes& bytes, const std::string& what) {
    SCOPED_TRACE(what);
    WriteFileBytes(Archive(), std::string(bytes.begin(), bytes.end()));
    FakeUiPort ui2;
    EXPECT_NE(DecryptWith(ModernDecryptParameters(Archive(), kPassword), ui2), 0);
    EXPECT_TRUE(FolderEntries(OutDir()).empty());
  };
  for (std::size_t cut = 0; cut <= 4; ++cut) {
    refused(Bytes(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(first + cut * whole)),
            "cut after chunk " + std::to_string(cut));
  }
  Bytes swapped = archive;
  std::swap_ranges(swapped.begin() + static_cast<std::ptrdiff_t>(first),
                   swapped.begin() + static_cast<std::ptrdiff_t>(first + whole),
                   swapped.begin() + static_cast<std::ptrdiff_t>(first + whole));
  refused(swapped, "chunks 0 and 1 swapped");
  Bytes repeated = archive;
  std::copy_n(archive.begin() + static_cast<std::ptrdiff_t>(first), whole,
              repeated.begin() + static_cast<std::ptrdiff_t>(first + whole));
  refused(repeated, "chunk 0 twice");
  Bytes dropped = archive;
  dropped.erase(dropped.begin() + static_cast<std::ptrdiff_t>(first + whole),
                dropped.begin() + static_cast<std::ptrdiff_t>(first + 2 * whole));
  refused(dropped, "chunk 1 dropped");
  // The same file encrypted again: every chunk of the other archive is
  // sealed under other keys.
  fs::remove(Archive());
  ASSERT_EQ(EncryptWith(ModernParameters(false), ui), 0);
  const Bytes other = ToBytes(ReadFileBytes(Archive()));
  Bytes mixed = archive;
  std::copy_n(other.begin() + static_cast<std::ptrdiff_t>(first + whole), whole,
              mixed.begin() + static_cast<std::ptrdiff_t>(first + whole));
  refused(mixed, "chunk 1 from another archive");
}

TEST_F(ModernArchive, DigitalIdsOpenItAndEveryChangeIsRefused) {
  csp::BYTE own[20];
  ASSERT_TRUE(csp::ImportPfx(ReadFixture("capi/capi_fixture.pfx"), "fixture-pass", "MY", own));
  csp::BYTE colleague[20];
  ASSERT_TRUE(csp::ImportPfx(ReadFixture("sva/certs/recipient1.pfx"), "recipient-pass", "AddressBook", colleague));
  clsParameters p = ModernParameters(true);
  p.m_bPwdRequired = false;
  p.m_strPassword.clear();
  p.m_oDefaultDigitalID.m_strName = "Test User";
  p.m_oDefaultDigitalID.m_varThumbprint.assign(own, own + 20);
  clsDigitalID other;
  other.m_strName = "Colleague";
  other.m_strEMailAddr = "colleague@example.org";
  other.m_varThumbprint.assign(colleague, colleague + 20);
  p.m_colOtherDigitalIDs = {other};
  WriteFileBytes(Plain(), Content(70000));
  FakeUiPort ui;
  ASSERT_EQ(EncryptWith(p, ui), 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
  const auto record = [] { return ModernDecryptParameters(SandboxDir() + "/changed.sva", ""); };

  FakeUiPort ui2;
  ASSERT_EQ(DecryptWith(ModernDecryptParameters(Archive(), ""), ui2), 0) << (ui2.boxes.empty() ? "" : ui2.boxes[0].text);
  EXPECT_EQ(ReadFileBytes(OutDir() + "/report.doc"), Content(70000));
  fs::remove(OutDir() + "/report.doc");

  // The public header names both; the archive holds no certificate text
  // but theirs.
  clsArchive reader(ui);
  ASSERT_EQ(reader.OpenArchive(Archive(), 0), 0);
  clsParameters stored;
  clsFileDesc desc;
  ASSERT_EQ(reader.ReadParameters(stored, desc), 0);
  reader.CloseArchive();
  EXPECT_EQ(stored.m_oDefaultDigitalID.m_strName, "Test User");
  ASSERT_EQ(stored.m_colOtherDigitalIDs.size(), 1u);
  EXPECT_EQ(stored.m_colOtherDigitalIDs[0].m_strEMailAddr, "colleague@example.org");

  // A small archive for the user alone, every byte changed.
  WriteFileBytes(Plain(), "x");
  fs::remove(Archive());
  clsParameters alone = p;
  alone.m_colOtherDigitalIDs.clear();
  ASSERT_EQ(EncryptWith(alone, ui), 0);
  ExpectEveryChangeRefused(ToBytes(ReadFileBytes(Archive())), record);
  fs::remove(Archive());
  ASSERT_EQ(EncryptWith(p, ui), 0);

  // Somebody who is not in the list has no access.
  csp::HCERTSTORE store = csp::CertOpenSystemStoreA(0, "MY");
  const csp::CRYPT_HASH_BLOB blob {20, own};
  csp::PCCERT_CONTEXT cert =
      csp::CertFindCertificateInStore(store, csp::X509_ASN_ENCODING, 0, csp::CERT_FIND_SHA1_HASH, &blob, 0);
  ASSERT_TRUE(csp::CertDeleteCertificateFromStore(cert));
  csp::CertCloseStore(store, 0);
  FakeUiPort ui3;
  EXPECT_EQ(DecryptWith(ModernDecryptParameters(Archive(), ""), ui3), 1000);
  EXPECT_EQ(ui3.boxes.back().text, "You do not have access to this file.");

  // The colleague opens it with their own key.
  csp::BYTE again[20];
  ASSERT_TRUE(csp::ImportPfx(ReadFixture("sva/certs/recipient1.pfx"), "recipient-pass", "MY", again));
  FakeUiPort ui4;
  ASSERT_EQ(DecryptWith(ModernDecryptParameters(Archive(), ""), ui4), 0) << (ui4.boxes.empty() ? "" : ui4.boxes[0].text);
  EXPECT_EQ(ReadFileBytes(OutDir() + "/report.doc"), "x");
}

TEST_F(ModernArchive, PasswordFunctionCostsOutsideTheBoundsAreRefusedAtOnce) {
  WriteFileBytes(Plain(), Content(100));
  FakeUiPort ui;
  ASSERT_EQ(EncryptWith(ModernParameters(false), ui), 0);
  const Bytes archive = ToBytes(ReadFileBytes(Archive()));
  struct Case {
    std::size_t offset;
    std::uint32_t value;
    const char* says;
  };
  for (const Case c : {Case {72, 4u * 1024 * 1024, "4096 MB of memory"}, Case {68, 1000, "1000 passes"},
                       Case {72, 1024, "weaker than Sealvane allows"}, Case {76, 0, "not valid"}}) {
    SCOPED_TRACE(c.says);
    Bytes changed = archive;
    for (int i = 0; i < 4; ++i) changed[c.offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(c.value >> (24 - 8 * i));
    WriteFileBytes(Archive(), std::string(changed.begin(), changed.end()));
    FakeUiPort ui2;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DecryptWith(ModernDecryptParameters(Archive(), kPassword), ui2), 1000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "nothing was derived";
    ASSERT_EQ(ui2.boxes.size(), 1u);
    EXPECT_EQ(ui2.boxes[0].text.rfind("The encrypted file cannot be opened.\r", 0), 0u) << ui2.boxes[0].text;
    EXPECT_NE(ui2.boxes[0].text.find(c.says), std::string::npos) << ui2.boxes[0].text;
  }
}

TEST_F(ModernArchive, CancelAndFailuresMidJobLeaveNothing) {
  WriteFileBytes(Plain(), Noise(3 << 20));
  const std::string archive = OutDir() + "/report.sva";
  for (const bool cancel : {true, false}) {
    SCOPED_TRACE(cancel);
    clsParameters p = ModernParameters(true);
    p.m_strEncFilePath = archive;
    FakeUiPort ui;
    frmEncrypt job(ui);
    ASSERT_TRUE(job.Initialize(p));
    ui.onPendingMessages = [&](int) {
      if (cancel && !ui.progress.empty() && ui.progress.back() >= 30) job.Cancel();
    };
    if (cancel) {
      job.Run();
      EXPECT_EQ(job.Result(), kCancelled);
    } else {
      const FileSizeLimit limit(1 << 20);
      job.Run();
      EXPECT_EQ(job.Result(), platform::rt::kDiskFull);
      EXPECT_EQ(ui.boxes.back().text, "Failed to encrypt file.\rDisk full. Error Number: 61");
    }
    EXPECT_TRUE(FolderEntries(OutDir()).empty());
  }
  FakeUiPort maker;
  ASSERT_EQ(EncryptWith(ModernParameters(true), maker), 0);
  for (const bool cancel : {true, false}) {
    SCOPED_TRACE(cancel);
    FakeUiPort ui;
    frmDecrypt job(ui);
    ASSERT_TRUE(job.Initialize(ModernDecryptParameters(Archive(), kPassword)));
    ui.onPendingMessages = [&](int) {
      if (cancel && !ui.progress.empty() && ui.progress.back() >= 30) job.Cancel();
    };
    if (cancel) {
      job.Run();
      EXPECT_EQ(job.Result(), kCancelled);
    } else {
      const FileSizeLimit limit(1 << 20);
      job.Run();
      EXPECT_EQ(job.Result(), platform::rt::kDiskFull);
      EXPECT_EQ(ui.boxes.back().text, "Failed to decrypt file.\rDisk full. Error Number: 61");
    }
    EXPECT_TRUE(FolderEntries(OutDir()).empty());
  }
}

}  // namespace
}  // namespace sealvane
