// SPDX-License-Identifier: GPL-3.0-or-later
// Encrypt, read the archive back and compare, then securely delete the
// original: the original goes only when the archive gives it back exactly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "archive/JobFixtures.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/csp/WinCrypt.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using test::Archive;
using test::Content;
using test::EncryptParameters;
using test::FakeUiPort;
using test::kPassword;
using test::Plain;
using test::Restored;
using test::SandboxDir;

bool Saw(const FakeUiPort& ui, const std::string& operation) {
  return std::find(ui.operations.begin(), ui.operations.end(), operation) != ui.operations.end();
}

std::string Restore(const std::string& password) {
  fs::create_directories(SandboxDir() + "/out");
  fs::remove(Restored());
  FakeUiPort ui;
  frmDecrypt decrypt(ui);
  EXPECT_TRUE(decrypt.Initialize(test::DecryptParameters(Archive(), password, Restored())));
  decrypt.Run();
  EXPECT_EQ(decrypt.Result(), 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
  return test::ReadFileBytes(Restored());
}

TEST(DeleteOriginal, TheArchiveIsCheckedThenTheOriginalGoes) {
  // The modern format and the exchange format, compressed and not.
  struct Case {
    std::int32_t cipher;
    bool compress;
    std::size_t size;
  };
  for (const Case c : {Case {kCipherAes256, true, 300000}, Case {2, true, 70001}, Case {5, false, 4096}}) {
    SCOPED_TRACE(std::to_string(c.cipher) + (c.compress ? " compressed" : ""));
    test::WriteFileBytes(Plain(), Content(c.size));
    fs::remove(Archive());
    clsParameters p = EncryptParameters(c.compress, c.cipher > 2 && c.cipher < kCipherAes256 ? 3 : 1, c.cipher);
    p.m_bDeleteOriginal = true;
    p.m_nKdfMilliseconds = 50;
    FakeUiPort ui;
    frmEncrypt job(ui);
    ASSERT_TRUE(job.Initialize(p));
    EXPECT_TRUE(ui.boxes.empty()) << "the check box was the question";
    job.Run();
    ASSERT_EQ(job.Result(), 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
    EXPECT_FALSE(fs::exists(Plain()));
    EXPECT_TRUE(Saw(ui, "Verifying:"));
    EXPECT_TRUE(Saw(ui, "Deleting:"));
    EXPECT_EQ(ui.operations.back(), "Done");
    // One bar over the three steps: it never goes back, and each step has its part.
    EXPECT_TRUE(std::is_sorted(ui.progress.begin(), ui.progress.end()));
    EXPECT_EQ(ui.progress.back(), 100);
    for (const auto& share : {std::pair {0, 40}, std::pair {40, 70}, std::pair {70, 100}}) {
      EXPECT_TRUE(std::any_of(ui.progress.begin(), ui.progress.end(),
                              [&share](int v) { return v > share.first && v <= share.second; }))
          << share.second;
    }
    EXPECT_EQ(ui.waits, std::vector<int> {1000}) << "one job window, closed once";
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Secure Delete");
    EXPECT_EQ(ui.boxes[0].text.rfind(Archive() + " was read back and gives the original back exactly.\r" + Plain() +
                                         " was overwritten and deleted",
                                     0),
              0u)
        << ui.boxes[0].text;
    ASSERT_TRUE(job.OriginalReport());
    EXPECT_EQ(Restore(kPassword), Content(c.size));
  }
}

TEST(DeleteOriginal, WithTheUsersOwnDigitalID) {
  csp::BYTE own[20];
  ASSERT_TRUE(csp::ImportPfx(test::ReadFixture("capi/capi_fixture.pfx"), "fixture-pass", "MY", own));
  for (const std::int32_t cipher : {kCipherAes256, 4}) {
    test::WriteFileBytes(Plain(), Content(9000));
    fs::remove(Archive());
    clsParameters p = EncryptParameters(true, cipher == 4 ? 3 : 1, cipher);
    test::ForDigitalID(p, "Test User", own);
    p.m_bDeleteOriginal = true;
    FakeUiPort ui;
    frmEncrypt job(ui);
    ASSERT_TRUE(job.Initialize(p));
    job.Run();
    ASSERT_EQ(job.Result(), 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
    EXPECT_FALSE(fs::exists(Plain()));
    EXPECT_EQ(Restore(""), Content(9000));
  }
}

// Whatever stops the job before the deletion leaves the original as it was,
// and says so.
TEST(DeleteOriginal, AnythingThatFailsOnTheWayKeepsTheOriginal) {
  const auto run = [](const std::function<void(FakeUiPort&, frmEncrypt&)>& meddle) {
    test::WriteFileBytes(Plain(), Content(200000));
    test::WriteFileBytes(Archive(), "old archive");
    clsParameters p = EncryptParameters(true, 1, kCipherAes256);
    p.m_bDeleteOriginal = true;
    p.m_nKdfMilliseconds = 50;
    FakeUiPort ui;
    ui.Answer(MsgResult::Yes);  // replace the old archive
    frmEncrypt job(ui);
    EXPECT_TRUE(job.Initialize(p));
    meddle(ui, job);
    job.Run();
    EXPECT_NE(job.Result(), 0);
    EXPECT_FALSE(job.OriginalReport());
    EXPECT_FALSE(Saw(ui, "Deleting:"));
    EXPECT_EQ(ui.boxes.back().text, "The original file " + Plain() + " was not deleted; it is as it was.");
    EXPECT_EQ(test::ReadFileBytes(Archive()), "old archive") << "an archive that was not checked is not saved";
    return ui;
  };

  // The file changes while it is encrypted (once it has been read): the
  // archive does not give it back.
  FakeUiPort changed = run([](FakeUiPort& ui, frmEncrypt&) {
    ui.onPendingMessages = [&ui](int) {
      if (!ui.operations.empty() && ui.operations.back() == "Verifying:" && ui.files.back() != "changed") {
        std::string text = Content(200000);
        text[123456] ^= 1;
        test::WriteFileBytes(Plain(), text);
        ui.files.push_back("changed");
      }
    };
  });
  EXPECT_NE(test::ReadFileBytes(Plain()), Content(200000)) << "as the test changed it, not overwritten";
  bool said = false;
  for (const auto& box : changed.boxes) said = said || box.text.find("does not give back the original exactly") != std::string::npos;
  EXPECT_TRUE(said);

  // Cancel while encrypting, and while checking.
  for (const char* step : {"Compressing:", "Verifying:"}) {
    SCOPED_TRACE(step);
    run([step](FakeUiPort& ui, frmEncrypt& job) {
      ui.onPendingMessages = [&ui, &job, step](int) {
        if (!ui.operations.empty() && ui.operations.back() == step) job.Cancel();
      };
    });
    EXPECT_EQ(test::ReadFileBytes(Plain()), Content(200000));
  }
}

TEST(DeleteOriginal, RefusedBeforeAnythingIsWritten) {
  // A link: only the file that is encrypted, under its own name, goes.
  test::WriteFileBytes(Plain(), Content(5000));
  const std::string link = SandboxDir() + "/link.doc";
  fs::create_symlink(Plain(), link);
  clsParameters p = EncryptParameters(true, 1, kCipherAes256);
  p.m_strFilePath = link;
  p.m_bDeleteOriginal = true;
  FakeUiPort ui;
  frmEncrypt job(ui);
  EXPECT_FALSE(job.Initialize(p));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, link + " is a symbolic link, so it cannot be deleted securely after encrypting.\r"
                                     "Encrypt the file itself, or turn off deleting the original.");
  EXPECT_FALSE(fs::exists(Archive()));

  // Data that other names show is asked about; No keeps everything.
  const std::string other = SandboxDir() + "/other.doc";
  fs::create_hard_link(Plain(), other);
  p.m_strFilePath = Plain();
  FakeUiPort asked;
  asked.Answer(MsgResult::No);
  frmEncrypt declined(asked);
  EXPECT_FALSE(declined.Initialize(p));
  ASSERT_EQ(asked.boxes.size(), 1u);
  EXPECT_EQ(asked.boxes[0].topic, kTopicSharedData);
  EXPECT_EQ(test::ReadFileBytes(Plain()), Content(5000));
  EXPECT_FALSE(fs::exists(Archive()));
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

// The question for a protected key's passphrase names the digital ID and
// the archive; cancelling it is no failure: no message, and the window's
// last caption says "Cancelled".
TEST(ProtectedKeys, TheQuestionNamesTheIDAndTheArchiveAndCancellingIsNoError) {
  ::setenv("FAKE_PINENTRY_PIN", "s3cret", 1);
  const SLSystemTime from {2026, 1, 0, 1, 0, 0, 0, 0};
  const SLSystemTime to {2046, 1, 0, 1, 0, 0, 0, 0};
  std::uint8_t thumbprint[20] = {};
  char message[SL_MESSAGE_SIZE] = {};
  ASSERT_EQ(CipherLibrary::Default().SLGenDigitalID("CN=Careful User, E=careful@example.org", 0, -1, 7, &from, &to,
                                                    thumbprint, message),
            1)
      << message;
  test::WriteFileBytes(Plain(), Content(7000));
  clsParameters p = EncryptParameters(true, 1, 2);
  test::ForDigitalID(p, "Careful User", thumbprint);
  FakeUiPort ui;
  frmEncrypt encrypt(ui);
  ASSERT_TRUE(encrypt.Initialize(p));
  encrypt.Run();
  ASSERT_EQ(encrypt.Result(), 0) << (ui.boxes.empty() ? "" : ui.boxes.back().text);

  ::setenv("FAKE_PINENTRY_PIN", "cancel", 1);
  fs::create_directories(SandboxDir() + "/out");
  FakeUiPort decrypting;
  frmDecrypt job(decrypting);
  ASSERT_TRUE(job.Initialize(test::DecryptParameters(Archive(), "", Restored())));
  job.Run();
  EXPECT_EQ(job.Result(), kCancelled);
  EXPECT_TRUE(decrypting.boxes.empty()) << decrypting.boxes.front().text;
  EXPECT_EQ(decrypting.operations.back(), "Cancelled");
  EXPECT_FALSE(fs::exists(Restored()));
  ::unsetenv("FAKE_PINENTRY_PIN");
  const std::string log = test::ReadFileBytes(SandboxDir() + "/pinentry.log");
  const std::string asked = log.substr(log.rfind("SETDESC "));
  EXPECT_EQ(asked.substr(0, asked.find('\n')),
            "SETDESC Enter the passphrase of your digital ID:%0ACareful User <careful@example.org>%0Ato decrypt " +
                fs::path(Archive()).filename().string() + ".")
      << log;
}

}  // namespace
}  // namespace sealvane
