// SPDX-License-Identifier: GPL-3.0-or-later
// Passwords with letters outside ASCII: hashed as Windows-1252 wherever the
// other platform would, tried in each form when decrypting, further code
// pages on request; checked against an independent reader and writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "archive/IndependentArchive.h"
#include "archive/JobFixtures.h"
#include "sealvane/archive/Password.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/platform/CodePage.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using test::Archive;
using test::Bytes;
using test::FakeUiPort;
using test::Plain;
using test::SandboxDir;

const std::string kGerman = "P\xc3\xa4sswort-12";              // "Pässwort-12"
const std::string kGerman1252 = "P\xe4sswort-12";
const std::string kRussian = "\xd0\x9f\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c-2024";  // "Пароль-2024"
const std::string kRussian1251 = "\xcf\xe0\xf0\xee\xeb\xfc-2024";

TEST(PasswordForms, WesternFirstThenUtf8ThenFurtherCodePages) {
  EXPECT_EQ(PasswordForms("Correct Horse 9", {1251}), std::vector<std::string> {"Correct Horse 9"});
  EXPECT_EQ(PasswordForms(kGerman, {}), (std::vector<std::string> {kGerman1252, kGerman}));
  EXPECT_EQ(PasswordForms("\xe2\x82\xac" "uro-1234", {}).front(), "\x80uro-1234");  // € is 0x80 in 1252
  // Not Western: UTF-8 first; Cyrillic only when asked for.
  EXPECT_EQ(PasswordForms(kRussian, {}), std::vector<std::string> {kRussian});
  EXPECT_EQ(PasswordForms(kRussian, {1250, 1251}), (std::vector<std::string> {kRussian, kRussian1251}));
  // A code page that has the letters too, and one that does not exist.
  EXPECT_EQ(PasswordForms(kGerman, {1250, 99999}).size(), 2u);  // 1250 gives the same bytes as 1252
  EXPECT_EQ(ParseCodePages("1250, 1251 x1253;"), (std::vector<std::int32_t> {1250, 1251, 1253}));
  EXPECT_FALSE(platform::Utf8ToWindowsCodePage("\xff", 1252));
  EXPECT_FALSE(platform::Utf8ToWindowsCodePage(kRussian, 1252));
}

class AccentedPasswords : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(SandboxDir() + "/out"); }

  // Decrypts the archive with the password as typed; the boxes shown.
  std::vector<std::string> Decrypt(const std::string& typed, std::vector<std::int32_t> codePages = {}) {
    fs::remove(Out());
    clsParameters p = test::DecryptParameters(Archive(), typed, Out());
    p.m_colPasswordCodePages = std::move(codePages);
    FakeUiPort ui;
    frmDecrypt job(ui);
    EXPECT_TRUE(job.Initialize(p));
    job.Run();
    progress = ui.progress;
    std::vector<std::string> texts;
    for (const auto& box : ui.boxes) texts.push_back(box.text);
    return texts;
  }
  void WriteRaw(std::int32_t cipher, const std::string& bytes, bool compress) {
    const Bytes raw = test::RawPasswordArchive(cipher, bytes, plain, compress);
    test::WriteFileBytes(Archive(), std::string(raw.begin(), raw.end()));
  }
  static std::string Out() { return SandboxDir() + "/out/typed.txt"; }
  std::string Restored() const { return fs::exists(Out()) ? test::ReadFileBytes(Out()) : std::string("(none)"); }

  // Hard to compress, so that a compressed stream has several pieces.
  Bytes plain = [] {
    Bytes bytes(30000);
    std::uint32_t x = 12345;
    for (auto& b : bytes) {
      x = x * 1103515245u + 12345u;
      b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
  }();
  std::vector<int> progress;
};

TEST_F(AccentedPasswords, ArchivesMadeHereHashTheWindows1252Bytes) {
  for (const std::int32_t cipher : {2, 4}) {
    for (const auto& [typed, hashed] : {std::pair {kGerman, kGerman1252}, std::pair {kRussian, kRussian}}) {
      SCOPED_TRACE(std::to_string(cipher) + " " + typed);
      test::WriteFileBytes(Plain(), std::string(plain.begin(), plain.end()));
      fs::remove(Archive());
      clsParameters p = test::EncryptParameters(false, cipher > 2 ? 3 : 1, cipher);
      p.m_strPassword = typed;
      FakeUiPort ui;
      frmEncrypt job(ui);
      ASSERT_TRUE(job.Initialize(p));
      job.Run();
      ASSERT_EQ(job.Result(), 0);
      // The independent reader opens it with the bytes the other platform
      // hashes ("50 e4 73 73 ..." for the German one).
      const test::RawArchive raw = test::Parse(test::ToBytes(test::ReadFileBytes(Archive())));
      const std::size_t streamSize = raw.bytes.size() - raw.streamOffset;
      EXPECT_EQ(test::RawDecrypt(cipher, test::PasswordKey(cipher, hashed), raw.bytes.data() + raw.streamOffset,
                                 streamSize),
                plain);
      // And it opens here with the password as typed.
      EXPECT_TRUE(Decrypt(typed).empty());
      EXPECT_EQ(Restored(), std::string(plain.begin(), plain.end()));
    }
  }
}

TEST_F(AccentedPasswords, EveryFormOpensTheArchivesMadeWithIt) {
  for (const bool compress : {false, true}) {
    SCOPED_TRACE(compress ? "compressed" : "stored");
    // Made on a Western system of the other platform.
    WriteRaw(2, kGerman1252, compress);
    EXPECT_TRUE(Decrypt(kGerman).empty());
    EXPECT_EQ(Restored(), std::string(plain.begin(), plain.end()));
    // Made here by the earlier rule (UTF-8 bytes). A compressed stream shows
    // the wrong form at its first piece, before the bar moves; a stored one
    // only at its end, so the bar starts again.
    WriteRaw(5, kGerman, compress);
    EXPECT_TRUE(Decrypt(kGerman).empty());
    EXPECT_EQ(Restored(), std::string(plain.begin(), plain.end()));
    const auto moved = std::find_if(progress.begin(), progress.end(), [](int v) { return v > 0; });
    const auto restart = std::find(moved, progress.end(), 0);
    EXPECT_EQ(restart == progress.end(), compress);
    // Made on a Cyrillic system: only with its code page.
    WriteRaw(1, kRussian1251, compress);
    EXPECT_EQ(Decrypt(kRussian), std::vector<std::string> {"The password is incorrect."});
    EXPECT_EQ(Restored(), "(none)");
    EXPECT_TRUE(Decrypt(kRussian, {1251}).empty());
    EXPECT_EQ(Restored(), std::string(plain.begin(), plain.end()));
    // A wrong password is refused once, with the usual message, whatever
    // forms were tried; nothing is left behind.
    EXPECT_EQ(Decrypt("P\xc3\xb6sswort-12", {1250, 1251}), std::vector<std::string> {"The password is incorrect."});
    EXPECT_EQ(Restored(), "(none)");
    EXPECT_EQ(test::FolderEntries(SandboxDir() + "/out"), std::vector<std::string> {});
  }
}

}  // namespace
}  // namespace sealvane
