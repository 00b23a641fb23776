// SPDX-License-Identifier: GPL-3.0-or-later
// The encrypt and decrypt jobs through the scripted user: steps, progress,
// cancel, clean-up on every path, and the restored file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/csp/WinCrypt.h"
#include "sealvane/platform/FileInfo.h"
#include "archive/JobFixtures.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using test::FakeUiPort;
using test::SandboxDir;

using namespace test;  // the job fixtures

TEST(EncryptJob, RoundTripsWithTimesAttributesAndAllStepsShown) {
  fs::create_directories(SandboxDir() + "/out");
  for (const bool compress : {false, true}) {
    for (const std::size_t size : {1u, 4096u, 4097u, 8192u, 100000u}) {
      SCOPED_TRACE(std::to_string(compress) + "/" + std::to_string(size));
      fs::remove(Archive());
      fs::remove(Restored());
      test::WriteFileBytes(Plain(), Content(size));
      platform::FileTimes times;
      times.lastWrite = platform::UnixToFileTime(1'000'000'000, 0);
      times.lastAccess = platform::UnixToFileTime(1'100'000'000, 0);
      platform::SetTimes(Plain(), times);
      platform::SetAttributes(Plain(), platform::FILE_ATTRIBUTE_READONLY);

      FakeUiPort ui;
      frmEncrypt job(ui);
      ASSERT_TRUE(job.Initialize(EncryptParameters(compress)));
      EXPECT_EQ(job.FileLabel(), "report.doc");
      job.Run();
      EXPECT_EQ(job.Result(), 0);
      EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
      const std::vector<std::string> steps = compress
                                                 ? std::vector<std::string> {"", "Compressing:", "Encrypting:", "Cleaning up", "Done"}
                                                 : std::vector<std::string> {"", "Encrypting:", "Cleaning up", "Done"};
      EXPECT_EQ(ui.operations, steps);
      EXPECT_EQ(ui.progress.back(), 100);
      EXPECT_EQ(ui.waits, std::vector<int> {1000});
      EXPECT_EQ(TempFiles(), 0u) << "the compressed temporary file is wiped";
      EXPECT_EQ(test::ReadFileBytes(Plain()), Content(size)) << "the plain file is never changed";

      FakeUiPort ui2;
      frmDecrypt decrypt(ui2);
      ASSERT_TRUE(decrypt.Initialize(DecryptParameters(Archive(), kPassword, Restored())));
      decrypt.Run();
      EXPECT_EQ(decrypt.Result(), 0);
      EXPECT_TRUE(ui2.boxes.empty()) << ui2.boxes[0].text;
      // Times first: reading the file would move its access time.
      const platform::FileTimes restored = platform::GetTimes(Restored());
      EXPECT_EQ(test::ReadFileBytes(Restored()), Content(size));
      EXPECT_EQ(restored.lastWrite, times.lastWrite);
      EXPECT_EQ(restored.lastAccess, times.lastWrite) << "last access is set to the stored last-write time";
      EXPECT_EQ(platform::GetAttributes(Restored()) & platform::FILE_ATTRIBUTE_READONLY,
                platform::FILE_ATTRIBUTE_READONLY);
      EXPECT_EQ(TempFiles(), 0u);
      platform::SetAttributes(Plain(), platform::FILE_ATTRIBUTE_NORMAL);
      platform::SetAttributes(Restored(), platform::FILE_ATTRIBUTE_NORMAL);
    }
  }
}

TEST(EncryptJob, InitializeRefusesWhatCannotBeEncrypted) {
  FakeUiPort ui;
  const auto refused = [&](clsParameters p, const std::string& text) {
    ui.boxes.clear();
    frmEncrypt job(ui);
    EXPECT_FALSE(job.Initialize(p));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, text);
    EXPECT_EQ(ui.boxes[0].title, "Warning!");
  };
  clsParameters p = EncryptParameters(false);
  p.m_strFilePath = "";
  refused(p, "Please specify a file.");
  refused(EncryptParameters(false), "The file does not exist.  Please specify an existing file.");
  test::WriteFileBytes(Plain(), "");
  refused(EncryptParameters(false), "The file is empty.  Please specify a non-empty file.");
  test::WriteFileBytes(Plain(), "x");
  p = EncryptParameters(false);
  p.m_strEncFilePath = "";
  refused(p, "Please specify an encrypted file.");
  p.m_strEncFilePath = Plain();
  refused(p, "The encrypted file must not be the file to encrypt.");
  EXPECT_EQ(test::ReadFileBytes(Plain()), "x");
  fs::resize_file(Plain(), 1ULL << 31);  // sparse: takes no space
  refused(EncryptParameters(false), "The file is too large.  Please specify a file smaller than 2 GB.");
}

TEST(EncryptJob, ReplacingAsksFirstAndKeepsTheOldArchiveUntilTheNewOneIsComplete) {
  test::WriteFileBytes(Plain(), Content(100));
  test::WriteFileBytes(Archive(), "old archive");
  FakeUiPort ui;
  ui.Answer(MsgResult::No);
  frmEncrypt declined(ui);
  EXPECT_FALSE(declined.Initialize(EncryptParameters(false)));
  EXPECT_EQ(test::ReadFileBytes(Archive()), "old archive");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Replace File?");
  EXPECT_EQ(ui.boxes[0].text, Archive() + " already exists.\rDo you want to replace it?");
  EXPECT_EQ(ui.boxes[0].defaultButton, 2);

  ui.Answer(MsgResult::Yes);
  frmEncrypt accepted(ui);
  ASSERT_TRUE(accepted.Initialize(EncryptParameters(false)));
  EXPECT_EQ(test::ReadFileBytes(Archive()), "old archive") << "untouched until the new archive is complete";
  accepted.Run();
  EXPECT_EQ(accepted.Result(), 0);
  EXPECT_EQ(test::ReadFileBytes(Archive()).rfind("SealvaneArchive", 0), 0u);
  for (const auto& entry : fs::directory_iterator(SandboxDir())) {
    EXPECT_NE(entry.path().filename().string().rfind(".SVA", 0), 0u) << "a temporary file was left beside it";
  }
}

TEST(EncryptJob, CancelLeavesNoArchiveAndNoTemporaryFile) {
  // Bytes that do not compress, so that the pass with compression has
  // pieces to encrypt while it still compresses.
  std::string noise(300000, '\0');
  std::uint32_t x = 99;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  test::WriteFileBytes(Plain(), noise);
  for (const bool compress : {true, false}) {
    // At the first chance, in the middle of the pass, and (with
    // compression) once the whole file is read and the rest is encrypted.
    for (const std::string when : {"start", "middle", "Encrypting:"}) {
      if (!compress && when == "Encrypting:") continue;
      SCOPED_TRACE(std::to_string(compress) + "/" + when);
      FakeUiPort ui;
      frmEncrypt job(ui);
      ASSERT_TRUE(job.Initialize(EncryptParameters(compress)));
      ui.onPendingMessages = [&](int call) {
        if ((when == "start" && call == 1) || (when == "middle" && call == 30) ||
            (ui.operations.back() == when)) {
          job.Cancel();
        }
      };
      job.Run();
      EXPECT_EQ(job.Result(), kCancelled);
      EXPECT_FALSE(fs::exists(Archive()));
      EXPECT_EQ(TempFiles(), 0u);
      EXPECT_TRUE(ui.boxes.empty()) << "a cancel shows nothing";
      // Nothing was done: the window's last caption says so.
      EXPECT_EQ(ui.operations.back(), "Cancelled");
    }
  }
}

TEST(EncryptJob, ArchiveThatCannotBeMadeIsReportedBeforeTheJob) {
  test::WriteFileBytes(Plain(), Content(10));
  clsParameters p = EncryptParameters(true);
  p.m_strEncFilePath = SandboxDir() + "/no/such/folder/x.sva";
  FakeUiPort ui;
  frmEncrypt job(ui);
  EXPECT_FALSE(job.Initialize(p));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to open encrypted file.\rThe folder " + SandboxDir() + "/no/such/folder does not exist.");
  p.m_strEncFilePath = SandboxDir();
  EXPECT_FALSE(job.Initialize(p));
  EXPECT_EQ(ui.boxes.back().text, "Failed to open encrypted file.\r" + SandboxDir() + " is a folder.");
  EXPECT_EQ(TempFiles(), 0u);
}

TEST(DecryptJob, WrongPasswordLeavesNoPlainFile) {
  test::WriteFileBytes(Plain(), Content(10000));
  FakeUiPort ui;
  frmEncrypt encrypt(ui);
  ASSERT_TRUE(encrypt.Initialize(EncryptParameters(false)));
  encrypt.Run();
  frmDecrypt job(ui);
  ASSERT_TRUE(job.Initialize(DecryptParameters(Archive(), "Correct Horse 8", SandboxDir() + "/x.doc")));
  job.Run();
  EXPECT_EQ(job.Result(), -1);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "The password is incorrect.");
  EXPECT_FALSE(fs::exists(SandboxDir() + "/x.doc")) << "the pieces written before the failure are wiped";
  EXPECT_EQ(ui.operations.back(), "Failed");
}

TEST(DecryptJob, CancelLeavesNoPlainFile) {
  test::WriteFileBytes(Plain(), Content(50000));
  FakeUiPort ui;
  frmEncrypt encrypt(ui);
  ASSERT_TRUE(encrypt.Initialize(EncryptParameters(false)));
  encrypt.Run();
  FakeUiPort ui2;
  frmDecrypt job(ui2);
  ASSERT_TRUE(job.Initialize(DecryptParameters(Archive(), kPassword, SandboxDir() + "/x.doc")));
  ui2.onPendingMessages = [&](int call) {
    if (call == 3) job.Cancel();
  };
  job.Run();
  EXPECT_EQ(job.Result(), kCancelled);
  EXPECT_FALSE(fs::exists(SandboxDir() + "/x.doc"));
  EXPECT_EQ(ui2.operations.back(), "Cancelled");
  EXPECT_EQ(ui2.waits, std::vector<int> {1000}) << "and closes as before";
}

TEST(DecryptJob, InitializeChecksAndTheProviderLevel) {
  FakeUiPort ui;
  clsParameters p;
  p.m_strFilePath = SandboxDir() + "/x";
  frmDecrypt a(ui);
  EXPECT_FALSE(a.Initialize(p));
  EXPECT_EQ(ui.boxes.back().text, "Please specify an encrypted file.");
  p.m_strEncFilePath = Archive();
  EXPECT_FALSE(a.Initialize(p));
  EXPECT_EQ(ui.boxes.back().text, "The encrypted file does not exist.  Please specify an existing file.");
  test::WriteFileBytes(Archive(), "");
  EXPECT_FALSE(a.Initialize(p));
  EXPECT_EQ(ui.boxes.back().text, "The encrypted file is empty.  Please specify a non-empty file.");

  test::WriteFileBytes(Plain(), Content(10));
  fs::remove(Archive());
  frmEncrypt encrypt(ui);
  ASSERT_TRUE(encrypt.Initialize(EncryptParameters(false, 3, 5)));
  encrypt.Run();
  ASSERT_TRUE(csp::SetProviderInstalled(csp::MS_ENHANCED_PROV_A, false));
  frmDecrypt b(ui);
  EXPECT_FALSE(b.Initialize(DecryptParameters(Archive(), kPassword, SandboxDir() + "/x")));
  EXPECT_EQ(ui.boxes.back().text,
            "The existing encryption capabilities do not permit decryption of this file.\r"
            "To decrypt this file install the appropriate Microsoft High Encryption Pack.\r"
            "For Internet Explorer 5, use the Internet Explorer High Encryption Pack.\r"
            "For Windows 2000, use the Windows 2000 High Encryption Pack.\r"
            "These can be downloaded from Microsoft's web site.");
  ASSERT_TRUE(csp::SetProviderInstalled(csp::MS_DEF_PROV_A, false));
  frmDecrypt c(ui);
  EXPECT_FALSE(c.Initialize(DecryptParameters(Archive(), kPassword, SandboxDir() + "/x")));
  EXPECT_EQ(ui.boxes.back().text, "CryptAcquireContext: 80090019");
  EXPECT_EQ(ui.boxes.back().title, "Error!");
}

TEST(DecryptJob, ReferenceArchiveWithOpenAfterDecrypting) {
  FakeDesktop("texteditor.desktop");
  const std::string archive = test::FixturePath("sva/good/pw_l3_c5_rand4097_z_open.sva");
  const std::string target = SandboxDir() + "/rand_4097.bin";
  FakeUiPort ui;
  frmDecrypt job(ui);
  clsParameters p = DecryptParameters(archive, kPassword, target);
  ASSERT_TRUE(p.m_bOpenFile);
  ASSERT_TRUE(job.Initialize(p));
  job.Run();
  EXPECT_EQ(job.Result(), 0);
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes[0].text;
  EXPECT_EQ(ui.operations, (std::vector<std::string> {"", "Decrypting:", "Decompressing:", "Cleaning up", "Done"}));
  EXPECT_EQ(test::ReadFileBytes(target), test::ReadFileBytes(test::FixturePath("sva/plain/rand_4097.bin")));
  EXPECT_EQ(platform::GetTimes(target).lastWrite, 0x01DA6B1131F5B931LL);
  // The opener runs detached: wait for what it writes, not just for its file.
  const std::string log = SandboxDir() + "/opened.log";
  for (int i = 0; i < 500 && !(fs::exists(log) && test::ReadFileBytes(log) == target + "\n"); ++i) usleep(20000);
  EXPECT_EQ(test::ReadFileBytes(log), target + "\n");
}

TEST(DecryptJob, AFileNothingOpensIsDecryptedAndShownInItsFolder) {
  FakeDesktop("");
  const std::string archive = test::FixturePath("sva/good/pw_l3_c5_rand4097_z_open.sva");
  const std::string target = SandboxDir() + "/rand_4097.bin";
  FakeUiPort ui;
  ui.Answer(MsgResult::Yes);
  frmDecrypt job(ui);
  ASSERT_TRUE(job.Initialize(DecryptParameters(archive, kPassword, target)));
  job.Run();
  EXPECT_EQ(job.Result(), 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Information) << "not an error: the file was decrypted";
  EXPECT_EQ(ui.boxes[0].defaultButton, 2);
  EXPECT_EQ(ui.boxes[0].text, "rand_4097.bin was decrypted into " + SandboxDir() +
                                  ".\rNo application on this computer opens files of its type, so it was not opened.\r"
                                  "Do you want to see it in its folder?");
  EXPECT_EQ(ui.operations.back(), "Done");
  // Yes opens the folder.
  const std::string log = SandboxDir() + "/opened.log";
  for (int i = 0; i < 500 && !(fs::exists(log) && test::ReadFileBytes(log) == SandboxDir() + "\n"); ++i) usleep(20000);
  EXPECT_EQ(test::ReadFileBytes(log), SandboxDir() + "\n");
}

TEST(DecryptJob, NoAssociatedApplicationIsReported) {
  FakeDesktop("");
  test::WriteFileBytes(Plain(), "x");
  FakeUiPort ui;
  EXPECT_EQ(OpenWithAssociatedApp(ui, Plain()), -1);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to open file because there is no application\rassociated with it.");
}

TEST(DecryptJob, OversizedCompressedBlockIsRefused) {
  const std::string target = SandboxDir() + "/text.txt";
  FakeUiPort ui;
  frmDecrypt job(ui);
  ASSERT_TRUE(job.Initialize(DecryptParameters(test::FixturePath("sva/hostile/hostile_z_u_100000.sva"), kPassword, target)));
  job.Run();
  EXPECT_NE(job.Result(), 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to decompress file.\rInvalid procedure call or argument. Error Number: 5");
  EXPECT_EQ(TempFiles(), 0u);
  EXPECT_FALSE(fs::exists(target)) << "a failed expansion leaves no partial plain file";
}

TEST(FileHelpers, WipeFileHandlesMissingReadOnlyAndLinks) {
  EXPECT_EQ(WipeFile(SandboxDir() + "/missing"), 0);
  const std::string ro = SandboxDir() + "/ro.txt";
  test::WriteFileBytes(ro, Content(9000));
  platform::SetAttributes(ro, platform::FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(WipeFile(ro), 0);
  EXPECT_FALSE(fs::exists(ro));

  const std::string target = SandboxDir() + "/target.txt";
  const std::string link = SandboxDir() + "/link.txt";
  test::WriteFileBytes(target, "keep me");
  fs::create_symlink(target, link);
  EXPECT_EQ(WipeFile(link), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  EXPECT_EQ(test::ReadFileBytes(target), "keep me") << "a link is never followed into its target";
}

TEST(FileHelpers, StoredNamesNeverLeaveTheFolder) {
  EXPECT_EQ(SafeStoredFileName("report.doc"), "report.doc");
  EXPECT_EQ(SafeStoredFileName("../../escape.txt"), "escape.txt");
  EXPECT_EQ(SafeStoredFileName("/etc/passwd"), "passwd");
  EXPECT_EQ(SafeStoredFileName("C:\\Users\\x\\a.txt"), "a.txt");
  EXPECT_EQ(SafeStoredFileName("bad\nname\x01.txt"), "badname.txt");
  EXPECT_EQ(SafeStoredFileName(".."), std::nullopt);
  EXPECT_EQ(SafeStoredFileName("dir/"), std::nullopt);
  EXPECT_EQ(SafeStoredFileName(""), std::nullopt);
}

}  // namespace
}  // namespace sealvane

#include "sealvane/archive/frmSecureDelete.h"

namespace sealvane {
namespace {

TEST(SecureDeleteJob, AsksThenOverwritesAndDeletes) {
  const std::string path = SandboxDir() + "/secret.txt";
  test::WriteFileBytes(path, Content(10000));
  platform::SetAttributes(path, platform::FILE_ATTRIBUTE_READONLY);
  FakeUiPort ui;
  ui.Answer(MsgResult::No);
  frmSecureDelete declined(ui);
  EXPECT_FALSE(declined.Initialize(path));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Secure Delete?");
  // The question, then what the overwrite achieves where the file is kept.
  const std::string question = "Are you sure you want to delete the file " + path + "?\r";
  EXPECT_EQ(ui.boxes[0].text.substr(0, question.size()), question);
  const DeletionReport expected = AssessDeletion(path, platform::FileEntry::Resolve(path)->Storage());
  EXPECT_EQ(ui.boxes[0].text, question + DeletionOutlook(expected));
  EXPECT_FALSE(expected.reasons.empty());
  EXPECT_EQ(ui.boxes[0].defaultButton, 2);
  EXPECT_TRUE(fs::exists(path));

  ui.Answer(MsgResult::Yes);
  frmSecureDelete job(ui);
  ASSERT_TRUE(job.Initialize(path));
  EXPECT_EQ(job.FileLabel(), "secret.txt");
  job.Run();
  EXPECT_EQ(job.Result(), 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(ui.operations.back(), "Done");
  EXPECT_EQ(ui.progress.back(), 100);
  // No failure box; the report of what was done.
  ASSERT_EQ(ui.boxes.size(), 3u);
  ASSERT_TRUE(job.Report());
  EXPECT_EQ(ui.boxes[2].text, DeletionOutcome(*job.Report()));
  EXPECT_EQ(ui.boxes[2].text.rfind(path + " was overwritten and deleted", 0), 0u) << ui.boxes[2].text;
}

TEST(SecureDeleteJob, CancelLeavesThePartlyOverwrittenFile) {
  const std::string path = SandboxDir() + "/big.txt";
  test::WriteFileBytes(path, Content(20000));
  FakeUiPort ui;
  ui.Answer(MsgResult::Yes);
  frmSecureDelete job(ui);
  ASSERT_TRUE(job.Initialize(path));
  ui.onPendingMessages = [&](int call) {
    if (call == 2) job.Cancel();
  };
  job.Run();
  EXPECT_EQ(job.Result(), kCancelled);
  ASSERT_TRUE(fs::exists(path));
  const std::string after = test::ReadFileBytes(path);
  EXPECT_EQ(after.size(), 20000u) << "never truncated";
  EXPECT_NE(after.substr(0, 4096), Content(20000).substr(0, 4096));
  EXPECT_EQ(after.substr(8192), Content(20000).substr(8192));
  EXPECT_EQ(ui.boxes.back().text, "Failed to delete file.  Ensure it is not locked by another application.");
  EXPECT_EQ(ui.operations.back(), "Cancelled");
}

TEST(SecureDeleteJob, LinksAreRemovedButNeverFollowed) {
  const std::string target = SandboxDir() + "/target.txt";
  const std::string link = SandboxDir() + "/link.txt";
  test::WriteFileBytes(target, "precious");
  fs::create_symlink(target, link);
  FakeUiPort ui;
  ui.Answer(MsgResult::Yes);
  frmSecureDelete job(ui);
  ASSERT_TRUE(job.Initialize(link));
  job.Run();
  EXPECT_EQ(job.Result(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  EXPECT_EQ(test::ReadFileBytes(target), "precious");
  EXPECT_NE(ui.boxes.back().text.find("is a symbolic link"), std::string::npos);
}

TEST(SecureDeleteJob, RefusesWhatIsNoFileAndAsksAboutLargeOnes) {
  FakeUiPort ui;
  frmSecureDelete job(ui);
  EXPECT_FALSE(job.Initialize(""));
  EXPECT_EQ(ui.boxes.back().text, "Please specify a file.");
  EXPECT_FALSE(job.Initialize(SandboxDir() + "/none"));
  EXPECT_EQ(ui.boxes.back().text, "The file does not exist.  Please specify an existing file.");
  ui.Answer(MsgResult::No);
  EXPECT_FALSE(job.Initialize(SandboxDir())) << "a folder is asked about first";
  EXPECT_EQ(ui.boxes.back().text.rfind("Are you sure you want to delete the folder " + SandboxDir(), 0), 0u);
  const std::string huge = SandboxDir() + "/huge.bin";
  test::WriteFileBytes(huge, "");
  fs::resize_file(huge, 1ULL << 31);
  // Positions are 64-bit: a file past 2 GB is asked about like any other
  // (and left alone when the answer is No).
  ui.Answer(MsgResult::No);
  EXPECT_FALSE(job.Initialize(huge));
  EXPECT_EQ(ui.boxes.back().title, "Secure Delete?");
  EXPECT_EQ(fs::file_size(huge), 1ULL << 31);
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

// Every cipher at the levels that allow it, for a password and for digital
// IDs with 0, 1 and 3 other recipients, through both jobs.
TEST(JobsRoundTrip, EveryCipherLevelAndAccessList) {
  csp::BYTE own[20];
  ASSERT_TRUE(csp::ImportPfx(test::ReadFixture("capi/capi_fixture.pfx"), "fixture-pass", "MY", own));
  std::vector<clsDigitalID> others;
  for (const char* name : {"sva/certs/recipient1.der", "sva/certs/recipient2.der", "capi/cert.der"}) {
    const test::Bytes der = test::ReadFixture(name);
    csp::HCERTSTORE store = csp::CertOpenSystemStoreA(0, "AddressBook");
    csp::PCCERT_CONTEXT cert = 0;
    ASSERT_TRUE(csp::CertAddEncodedCertificateToStore(store, csp::X509_ASN_ENCODING, der.data(),
                                                      static_cast<csp::DWORD>(der.size()),
                                                      csp::CERT_STORE_ADD_REPLACE_EXISTING, &cert));
    clsDigitalID id;
    id.m_varThumbprint.resize(20);
    csp::DWORD size = 20;
    csp::CertGetCertificateContextProperty(cert, csp::CERT_SHA1_HASH_PROP_ID, id.m_varThumbprint.data(), &size);
    id.m_strName = name;
    others.push_back(id);
    csp::CertFreeCertificateContext(cert);
    csp::CertCloseStore(store, 0);
  }
  fs::create_directories(SandboxDir() + "/out");
  int runs = 0;
  for (std::int32_t cipher = 1; cipher <= 5; ++cipher) {
    for (const std::size_t recipients : {static_cast<std::size_t>(-1), std::size_t {0}, std::size_t {1}, std::size_t {3}}) {
      const bool password = recipients == static_cast<std::size_t>(-1);
      const std::size_t size = std::vector<std::size_t> {8, 4095, 4097, 5u << 20}[static_cast<std::size_t>(runs) % 4];
      SCOPED_TRACE(std::to_string(cipher) + "/" + (password ? std::string("password") : std::to_string(recipients)) +
                   "/" + std::to_string(size));
      test::WriteFileBytes(Plain(), Content(size));
      fs::remove(Archive());
      fs::remove(Restored());
      clsParameters p = EncryptParameters(runs % 2 == 0, cipher > 2 ? 3 : 1, cipher);
      if (!password) {
        p.m_bPwdRequired = false;
        p.m_strPassword.clear();
        p.m_oDefaultDigitalID.m_strName = "Test User";
        p.m_oDefaultDigitalID.m_varThumbprint.assign(own, own + 20);
        p.m_colOtherDigitalIDs.assign(others.begin(), others.begin() + static_cast<std::ptrdiff_t>(recipients));
      }
      FakeUiPort ui;
      frmEncrypt encrypt(ui);
      ASSERT_TRUE(encrypt.Initialize(p));
      encrypt.Run();
      ASSERT_EQ(encrypt.Result(), 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
      frmDecrypt decrypt(ui);
      ASSERT_TRUE(decrypt.Initialize(DecryptParameters(Archive(), password ? kPassword : "", Restored())));
      decrypt.Run();
      ASSERT_EQ(decrypt.Result(), 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
      EXPECT_EQ(test::ReadFileBytes(Restored()), Content(size));
      ++runs;
    }
  }
  EXPECT_EQ(runs, 20);
}

TEST(FileHelpers, WebPagesAndMailGoToTheDesktop) {
  FakeDesktop("browser.desktop");
  EXPECT_EQ(OpenWebPage("www.example.org/help"), 0);
  EXPECT_EQ(OpenMailMessage("someone@example.org"), 0);
  const std::string logFile = SandboxDir() + "/opened.log";
  const auto both = [&] {
    if (!fs::exists(logFile)) return false;
    const std::string text = test::ReadFileBytes(logFile);
    return text.find("http://www.example.org/help\n") != std::string::npos &&
           text.find("mailto:someone@example.org\n") != std::string::npos;
  };
  for (int i = 0; i < 500 && !both(); ++i) usleep(20000);
  const std::string log = test::ReadFileBytes(logFile);
  EXPECT_NE(log.find("http://www.example.org/help\n"), std::string::npos) << log;
  EXPECT_NE(log.find("mailto:someone@example.org\n"), std::string::npos) << log;
  ::setenv("PATH", "/nonexistent", 1);
  EXPECT_THROW(OpenWebPage("x"), platform::RuntimeError);
}

}  // namespace
}  // namespace sealvane
