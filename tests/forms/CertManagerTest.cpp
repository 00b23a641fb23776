// SPDX-License-Identifier: GPL-3.0-or-later
// The certificate manager's logic on the sandbox's stores: imports of each
// format into the right tab, exports that import again, the password
// questions, and deletion that takes a key only after its own question.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <map>
#include <filesystem>
#include <sys/stat.h>

#include "sealvane/csp/WinCrypt.h"
#include "sealvane/forms/frmCertManager.h"
#include "sealvane/settings/clsConfig.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using test::FakeUiPort;

constexpr const char* kRecipient1 = "sva/certs/recipient1";  // has an e-mail address

class FakeManagerView : public forms::frmCertManagerView {
 public:
  void Refresh() override { ++refreshes; }
  void SetFocus(const std::string&) override {}
  void Close() override { closed = true; }
  std::optional<std::string> ChooseImportFile() override { return importFile; }
  std::optional<forms::ExportTarget> ChooseExportFile(const std::string& name, bool withKey) override {
    suggested.push_back(name);
    offeredPkcs12.push_back(withKey);
    return exportTarget;
  }
  std::optional<platform::Passphrase> AskPassword(const std::string& prompt, bool newPassword) override {
    prompts.push_back(prompt + (newPassword ? " [new]" : ""));
    if (passwords.empty()) return std::nullopt;
    std::string next = passwords.front();
    passwords.pop_front();
    return platform::Passphrase(next);
  }
  void ShowDetails(const std::string& title, const std::vector<std::pair<std::string, std::string>>& fields) override {
    detailsTitle = title;
    details = fields;
  }

  int refreshes = 0;
  bool closed = false;
  std::optional<std::string> importFile;
  std::optional<forms::ExportTarget> exportTarget;
  std::deque<std::string> passwords;
  std::vector<std::string> prompts, suggested;
  std::vector<bool> offeredPkcs12;
  std::string detailsTitle;
  std::vector<std::pair<std::string, std::string>> details;
};

class CertManager : public ::testing::Test {
 protected:
  void SetUp() override {
    form.AttachView(&view);
    ASSERT_TRUE(form.Load());
  }
  static std::string Fixture(const std::string& name) { return test::FixturePath(name); }
  std::string Data(const std::string& name) const {
    fs::create_directories(test::SandboxDir() + "/data");
    return test::SandboxDir() + "/data/" + name;
  }
  void ImportOwnID() {
    view.passwords = {"recipient-pass"};
    form.ImportFile(Fixture(std::string(kRecipient1) + ".pfx"));
  }
  std::vector<std::string> Names(int tab) const {
    std::vector<std::string> names;
    for (const auto& row : form.Rows(tab)) names.push_back(row.name);
    return names;
  }
  static bool KeyContainerExists(const CertificateEntry& entry) {
    csp::HCRYPTPROV prov = 0;
    if (!csp::CryptAcquireContextA(&prov, entry.keyContainer.c_str(), entry.keyProvider.c_str(), csp::PROV_RSA_FULL, 0)) {
      return false;
    }
    csp::CryptReleaseContext(prov, 0);
    return true;
  }

  FakeUiPort ui;
  FakeManagerView view;
  forms::frmCertManager form {ui};
};

TEST_F(CertManager, StartsOnTheOwnTabWithTheButtonsOfAnEmptyList) {
  EXPECT_EQ(form.CurrentTab(), 0);
  EXPECT_EQ(form.SelectedRow(), -1);
  EXPECT_FALSE(form.Control("btnExport").enabled);
  EXPECT_FALSE(form.Control("btnDelete").enabled);
  EXPECT_FALSE(form.Control("btnDetails").enabled);
  EXPECT_TRUE(form.Control("btnImport").enabled);
  form.btnClose_Click();
  EXPECT_TRUE(view.closed);
}

TEST_F(CertManager, CertificatesGoToTheTabShownAndDigitalIDsToTheirOwn) {
  // From the own tab a certificate goes to the other people.
  view.importFile = Fixture(std::string(kRecipient1) + ".der");
  form.btnImport_Click();
  EXPECT_EQ(form.CurrentTab(), 1);
  ASSERT_EQ(form.Rows(1).size(), 1u);
  const CertificateEntry& other = form.Rows(1)[0];
  EXPECT_EQ(form.SelectedRow(), 0);
  EXPECT_TRUE(form.Control("btnDetails").enabled);
  EXPECT_FALSE(other.privateKey);
  const auto cells = forms::frmCertManager::Cells(other);
  ASSERT_EQ(cells.size(), forms::frmCertManager::Columns().size());
  EXPECT_FALSE(cells[1].empty());  // recipient1 has an address
  EXPECT_EQ(cells[5], "No");
  EXPECT_EQ(cells[6].size(), 40u);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Information);
  EXPECT_NE(ui.boxes[0].text.find("into Other People."), std::string::npos) << ui.boxes[0].text;

  // PEM from the Root tab goes to Root after the platform's question; a No
  // there adds nothing and needs no further word.
  form.tabStores_Click(2);
  view.importFile = Fixture("sva/certs/recipient2.pem");
  ::setenv("SEALVANE_PINENTRY", SEALVANE_FAKE_PINENTRY, 1);
  ::setenv("FAKE_PINENTRY_CONFIRM", "no", 1);
  form.btnImport_Click();
  EXPECT_TRUE(form.Rows(2).empty());
  EXPECT_EQ(ui.boxes.size(), 1u);
  ::setenv("FAKE_PINENTRY_CONFIRM", "yes", 1);
  form.btnImport_Click();
  ::unsetenv("SEALVANE_PINENTRY");
  ::unsetenv("FAKE_PINENTRY_CONFIRM");
  EXPECT_EQ(form.CurrentTab(), 2);
  EXPECT_EQ(form.Rows(2).size(), 1u);

  // A digital ID lands on the own tab, with its key, whatever tab is shown.
  ImportOwnID();
  EXPECT_EQ(form.CurrentTab(), 0);
  ASSERT_EQ(form.Rows(0).size(), 1u);
  EXPECT_TRUE(form.Rows(0)[0].privateKey);
  EXPECT_EQ(view.prompts, std::vector<std::string>({"Enter the password that protects recipient1.pfx."}));
  EXPECT_EQ(forms::frmCertManager::Cells(form.Rows(0)[0])[5], "Yes");
  // The default digital ID is marked as such.
  ASSERT_EQ(clsConfig().SetDefaultCertTP(ByteArray(form.Rows(0)[0].thumbprint.begin(), form.Rows(0)[0].thumbprint.end())),
            0);
  ASSERT_TRUE(form.Load());
  EXPECT_EQ(forms::frmCertManager::Cells(form.Rows(0)[0])[5], "Yes (default)");
}

TEST_F(CertManager, AWrongPkcs12PasswordIsAskedAgainOrGivenUp) {
  view.passwords = {"wrong", "recipient-pass"};
  ui.Answer(MsgResult::Retry);
  form.ImportFile(Fixture(std::string(kRecipient1) + ".pfx"));
  EXPECT_EQ(view.prompts.size(), 2u);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, "The password is wrong, or recipient1.pfx is damaged.\rDo you want to try again?");
  EXPECT_EQ(form.Rows(0).size(), 1u);

  // Cancel at the retry question, or at the password itself: nothing is added
  // and nothing more is said.
  const CertificateEntry own = form.Rows(0)[0];
  CertificateService().Delete(own);
  CertificateService().DeleteKeyContainer(own);
  form.Load();
  ui.boxes.clear();
  view.passwords = {"wrong"};
  ui.Answer(MsgResult::Cancel);
  form.ImportFile(Fixture(std::string(kRecipient1) + ".pfx"));
  view.passwords.clear();
  form.ImportFile(Fixture(std::string(kRecipient1) + ".pfx"));
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_TRUE(form.Rows(0).empty());
}

TEST_F(CertManager, BadFilesAreRefusedWithTheReason) {
  test::WriteFileBytes(Data("notes.cer"), "not a certificate");
  form.ImportFile(Data("notes.cer"));
  form.ImportFile(Data("missing.cer"));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].title, "Error!");
  EXPECT_EQ(ui.boxes[0].text.rfind("Failed to import notes.cer.\r", 0), 0u) << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[0].text.find("holds no certificate"), std::string::npos);
  EXPECT_NE(ui.boxes[1].text.find("Cannot read"), std::string::npos) << ui.boxes[1].text;
  EXPECT_NE(ui.boxes[1].text.find("(File not found). Error Number: 53"), std::string::npos) << ui.boxes[1].text;
  EXPECT_NE(ui.boxes[0].text.find(" Error code: 0x8009"), std::string::npos) << ui.boxes[0].text;
  // Something far larger than any certificate is not read in.
  const std::string big = Data("big.pem");
  { std::FILE* f = std::fopen(big.c_str(), "wb"); std::fseek(f, 8 << 20, SEEK_SET); std::fputc('x', f); std::fclose(f); }
  form.ImportFile(big);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_NE(ui.boxes[2].text.find("too large"), std::string::npos) << ui.boxes[2].text;
}

TEST_F(CertManager, ExportsImportAgainInEachFormat) {
  ImportOwnID();
  const CertificateEntry own = form.Rows(0)[0];
  ui.boxes.clear();
  for (const auto& [name, format] : {std::pair {"own.cer", CertificateFormat::Der}, {"own.pem", CertificateFormat::Pem}}) {
    view.exportTarget = forms::ExportTarget {Data(name), format};
    form.btnExport_Click();
    const CertificateEntry back = CertificateService().Import(Data(name), "AddressBook", {});
    EXPECT_EQ(back.thumbprint, own.thumbprint) << name;
  }
  EXPECT_EQ(test::ReadFileBytes(Data("own.pem")).rfind("-----BEGIN CERTIFICATE-----", 0), 0u);
  EXPECT_EQ(view.offeredPkcs12, std::vector<bool>({true, true}));
  EXPECT_EQ(view.suggested[0], own.name);

  // With the private key: a new password, asked as a new one; the file is
  // the owner's alone and brings the key back after it was deleted.
  view.exportTarget = forms::ExportTarget {Data("own.p12"), CertificateFormat::Pkcs12};
  view.passwords = {"n3w-Secret"};
  form.btnExport_Click();
  ASSERT_EQ(view.prompts.size(), 2u);
  EXPECT_NE(view.prompts[1].find("[new]"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat(Data("own.p12").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  CertificateService().DeleteKeyContainer(own);
  CertificateService().Delete(own);
  const CertificateEntry restored = CertificateService().Import(Data("own.p12"), "MY", [] {
    return std::optional<platform::Passphrase>(platform::Passphrase("n3w-Secret"));
  });
  EXPECT_EQ(restored.thumbprint, own.thumbprint);
  EXPECT_TRUE(restored.privateKey);
  EXPECT_EQ(ui.boxes.size(), 3u);  // three "Exported ..." notes, no error

  // Other people's certificates are never offered with a key; cancelling
  // the new password writes nothing.
  form.Load();
  form.tabStores_Click(1);
  view.exportTarget = forms::ExportTarget {Data("other.p12"), CertificateFormat::Pkcs12};
  form.btnExport_Click();
  EXPECT_FALSE(view.offeredPkcs12.back());
  EXPECT_FALSE(fs::exists(Data("other.p12")));
  form.tabStores_Click(0);
  view.passwords.clear();
  form.btnExport_Click();
  EXPECT_FALSE(fs::exists(Data("other.p12")));
}

TEST_F(CertManager, DeletingAnOwnIDTakesItsKeyOnlyAfterTheSecondQuestion) {
  ImportOwnID();
  const CertificateEntry own = form.Rows(0)[0];
  ui.boxes.clear();
  // No at the first question: nothing changes.
  ui.Answer(MsgResult::No);
  form.btnDelete_Click();
  EXPECT_EQ(form.Rows(0).size(), 1u);
  // Yes, then No: the certificate goes, the key stays.
  ui.Answer(MsgResult::Yes);
  ui.Answer(MsgResult::No);
  form.btnDelete_Click();
  EXPECT_TRUE(form.Rows(0).empty());
  EXPECT_EQ(form.SelectedRow(), -1);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[1].defaultButton, 2);
  EXPECT_NE(ui.boxes[2].text.find("is your own digital ID. Do you also want to delete its private key?"),
            std::string::npos);
  EXPECT_EQ(ui.boxes[2].defaultButton, 2);
  EXPECT_TRUE(KeyContainerExists(own));
  ImportOwnID();
  const CertificateEntry again = form.Rows(0)[0];
  // Yes twice: both go.
  ui.boxes.clear();
  ui.Answer(MsgResult::Yes);
  ui.Answer(MsgResult::Yes);
  form.btnDelete_Click();
  EXPECT_TRUE(form.Rows(0).empty());
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_FALSE(KeyContainerExists(again));
}

TEST_F(CertManager, OtherPeoplesCertificatesAreDeletedAfterOneQuestion) {
  view.importFile = Fixture("sva/certs/recipient2.der");
  form.btnImport_Click();
  ui.boxes.clear();
  ui.Answer(MsgResult::Yes);
  form.btnDelete_Click();
  EXPECT_TRUE(form.Rows(1).empty());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::YesNo);
}

TEST_F(CertManager, DetailsShowTheWholeCertificate) {
  ImportOwnID();
  form.btnDetails_Click();
  EXPECT_EQ(view.detailsTitle, "Certificate \"" + form.Rows(0)[0].name + "\"");
  std::map<std::string, std::string> fields(view.details.begin(), view.details.end());
  EXPECT_EQ(fields["Thumbprint (SHA-1)"], form.Rows(0)[0].ThumbprintText());
  EXPECT_EQ(fields["Public key"], "RSA (2048 bits)");
  EXPECT_EQ(fields["Private key"], "You have a private key that corresponds to this certificate.");
  EXPECT_FALSE(fields["Subject"].empty());
  EXPECT_FALSE(fields["Serial number"].empty());
}

}  // namespace
}  // namespace sealvane
