// SPDX-License-Identifier: GPL-3.0-or-later
// The Options and digital-ID selection dialogs without a toolkit.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "forms/FormFixtures.h"
#include "sealvane/forms/clsIAM.h"
#include "sealvane/forms/frmAbout.h"
#include "sealvane/forms/frmOptions.h"
#include "sealvane/forms/frmSelectDigitalID.h"
#include "sealvane/archive/CertificateService.h"
#include "sealvane/archive/modCommon.h"

namespace sealvane {
namespace {

using forms::frmOptions;
using forms::frmSelectDigitalID;

const std::string kCRs(1, kCR);

clsDigitalID Id(const std::string& name, const std::string& email, std::uint8_t mark, bool selected = false) {
  clsDigitalID id;
  id.m_strName = name;
  id.m_strEMailAddr = email;
  id.m_varThumbprint = ByteArray(20, mark);
  id.m_bSelected = selected;
  return id;
}

std::vector<std::string> Names(const std::vector<clsDigitalID>& ids) {
  std::vector<std::string> names;
  for (const auto& id : ids) names.push_back(id.m_strName);
  return names;
}

TEST(SelectDigitalID, SortsByTheClickedColumnAndReturnsTheDisplayedOrder) {
  test::FakeUiPort ui;
  test::FakeOptionsView view;
  frmSelectDigitalID dialog(ui);
  dialog.AttachView(&view);
  const std::vector<clsDigitalID> given = {Id("carol", "a@x.org", 1), Id("Alice", "c@x.org", 2, true),
                                           Id("bob", "b@x.org", 3)};
  ASSERT_TRUE(dialog.Initialize("Pick", "Pick some.", true, given));
  EXPECT_EQ(dialog.Caption(), "Pick");
  EXPECT_EQ(dialog.Control("lblStatement").text, "Pick some.");
  // Sorted on Name without regard to case; tags are positions in the
  // collection given.
  ASSERT_EQ(dialog.Rows().size(), 3u);
  EXPECT_EQ(dialog.Rows()[0].name, "Alice");
  EXPECT_EQ(dialog.Rows()[0].tag, 2);
  EXPECT_TRUE(dialog.Rows()[0].selected);
  // IDs that look alike are told apart by the start of their thumbprint.
  EXPECT_EQ(dialog.Rows()[0].thumbprint, "02020202");
  dialog.ColumnClick(3);
  EXPECT_EQ(dialog.Rows()[0].name, "carol");
  dialog.ColumnClick(0);
  dialog.Activate();
  EXPECT_EQ(view.focus, "lvwDigitalID");

  dialog.ColumnClick(1);
  dialog.SelectRow(1, true);  // bob, by e-mail address second
  dialog.btnOK_Click();
  EXPECT_TRUE(view.closed);
  EXPECT_FALSE(dialog.Cancelled());
  EXPECT_EQ(Names(dialog.DigitalIDs()), (std::vector<std::string> {"carol", "bob", "Alice"}));
  EXPECT_EQ(dialog.DigitalIDs()[1].m_bSelected, true);
  EXPECT_EQ(dialog.DigitalIDs()[2].m_bSelected, true);
  EXPECT_EQ(dialog.DigitalIDs()[0].m_bSelected, false);
  // The caller's collection is untouched.
  EXPECT_TRUE(given[1].m_bSelected);
  EXPECT_FALSE(given[2].m_bSelected);
}

TEST(SelectDigitalID, RowsSayWhenEachIDWasMadeAndWhichIsTheDefault) {
  test::FakeUiPort ui;
  test::FakeOptionsView view;
  frmSelectDigitalID dialog(ui);
  dialog.AttachView(&view);
  clsDigitalID own = Id("Fixture", "fixture@example.org", 0);
  own.m_varThumbprint = test::ImportOwnDigitalID();
  ASSERT_TRUE(dialog.Initialize("Pick", "Pick one.", false, {own, Id("Fixture", "fixture@example.org", 7)}));
  ASSERT_EQ(dialog.Rows().size(), 2u);
  const auto& mine = dialog.Rows()[0].tag == 1 ? dialog.Rows()[0] : dialog.Rows()[1];
  const auto& unknown = dialog.Rows()[0].tag == 1 ? dialog.Rows()[1] : dialog.Rows()[0];
  std::array<std::uint8_t, 20> thumbprint {};
  std::copy(own.m_varThumbprint.begin(), own.m_varThumbprint.end(), thumbprint.begin());
  const auto entry = CertificateService().Find("MY", thumbprint);
  ASSERT_TRUE(entry);
  EXPECT_EQ(mine.created, CertificateTimeText(entry->notBefore).substr(0, 10));
  EXPECT_EQ(mine.created.size(), 10u);
  EXPECT_TRUE(mine.isDefault);
  EXPECT_EQ(unknown.created, "") << "not in a store";
  EXPECT_FALSE(unknown.isDefault);
  // Sorted by date: the unknown one (no date) first.
  dialog.ColumnClick(2);
  EXPECT_EQ(dialog.Rows()[0].tag, 2);
}

TEST(SelectDigitalID, SingleSelectionAndCancel) {
  test::FakeUiPort ui;
  frmSelectDigitalID dialog(ui);
  ASSERT_TRUE(dialog.Initialize("One", "Pick one.", false, {Id("a", "", 1, true), Id("b", "", 2)}));
  dialog.SelectRow(1, true);
  EXPECT_FALSE(dialog.Rows()[0].selected);
  EXPECT_TRUE(dialog.Rows()[1].selected);
  dialog.btnCancel_Click();
  EXPECT_TRUE(dialog.Cancelled());
}

class Options : public ::testing::Test {
 protected:
  void Open() {
    dialog.AttachView(&view);
    ASSERT_TRUE(dialog.Load());
  }
  std::string Selected() const {
    const auto& list = dialog.Control("cmbAlgorithm");
    return list.items.at(static_cast<std::size_t>(list.value));
  }
  test::FakeUiPort ui;
  test::FakeOptionsView view;
  frmOptions dialog {ui};
};

TEST_F(Options, FreshProfileNeedsADigitalIdBeforeSaving) {
  Open();
  EXPECT_EQ(dialog.Control("txtDigitalID").text, "");
  EXPECT_EQ(Selected(), "AES (256-bit)");
  EXPECT_EQ(dialog.Control("chkCompressFile").value, 1);
  EXPECT_EQ(dialog.Control("chkOpenFile").value, 1);
  EXPECT_EQ(dialog.Control("chkDeleteOriginal").value, 0);
  dialog.btnOK_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "You must select a digital ID for file encrypting.");
  EXPECT_FALSE(view.closed);
  EXPECT_FALSE(dialog.ValuesChanged());

  dialog.btnSelect_Click();
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, "There are no available digital IDs." + kCRs + "You must generate a digital ID first.");
}

TEST_F(Options, SelectAndSave) {
  const ByteArray own = test::ImportOwnDigitalID(false);
  Open();
  view.onSelect = [](frmSelectDigitalID& select) {
    EXPECT_EQ(select.Caption(), "Select Default Digital ID");
    EXPECT_FALSE(select.MultiSelect());
    select.SelectRow(0, true);
    select.btnOK_Click();
  };
  dialog.btnSelect_Click();
  EXPECT_FALSE(dialog.Control("txtDigitalID").text.empty());
  dialog.cmbAlgorithm_Click(2);  // RC2 (128-bit)
  dialog.chkCompressFile_Click(0);
  dialog.chkDeleteOriginal_Click(1);
  // The mail account of the digital ID's address is given it.
  clsRegistry accounts;
  const std::string account = std::string(forms::kAccountsKey) + "\\00000001";
  accounts.CreateKey(account);
  accounts.SetStringValue(account, "SMTP Display Name", "Test User");
  accounts.SetStringValue(account, "SMTP Email Address", "TEST@example.com");
  dialog.btnOK_Click();
  std::optional<ByteArray> given;
  accounts.GetBinaryValue(account, "SMTP Certificate", given);
  EXPECT_EQ(given, own);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(view.closed);
  EXPECT_TRUE(dialog.ValuesChanged());
  clsConfig config;
  ByteArray saved;
  std::int32_t cipher = 0;
  bool compress = true, open = false;
  config.GetDefaultCertTP(saved);
  config.GetAlgorithm(cipher);
  config.GetAlwaysCompress(compress);
  config.GetAlwaysOpen(open);
  EXPECT_EQ(saved, own);
  EXPECT_EQ(cipher, 4);
  EXPECT_FALSE(compress);
  EXPECT_TRUE(open);

  // Opened again: the default is shown and preselected.
  frmOptions again(ui);
  test::FakeOptionsView againView;
  again.AttachView(&againView);
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.Control("txtDigitalID").text, dialog.Control("txtDigitalID").text);
  bool preselected = false;
  againView.onSelect = [&](frmSelectDigitalID& select) {
    preselected = select.Rows().at(0).selected;
    select.btnCancel_Click();
  };
  again.btnSelect_Click();
  EXPECT_TRUE(preselected);
}

TEST_F(Options, CancelWritesNothing) {
  test::ImportOwnDigitalID();
  Open();
  dialog.cmbAlgorithm_Click(0);
  dialog.btnCancel_Click();
  EXPECT_FALSE(dialog.ValuesChanged());
  std::int32_t cipher = 0;
  EXPECT_NE(clsConfig().GetAlgorithm(cipher), 0);
}

TEST_F(Options, BaseProviderOffersAesAndTwoLegacyCiphers) {
  test::DisableEnhancedProvider();
  clsConfig().SetAlgorithm(1);
  Open();
  EXPECT_EQ(dialog.Control("cmbAlgorithm").items,
            (std::vector<std::string> {"AES (256-bit)", "DES (56-bit)", "RC2 (40-bit)"}));
  EXPECT_EQ(Selected(), "RC2 (40-bit)");
  // A strong stored legacy cipher: the strongest legacy entry offered.
  clsConfig().SetAlgorithm(5);
  frmOptions strong(ui);
  ASSERT_TRUE(strong.Load());
  EXPECT_EQ(strong.Control("cmbAlgorithm").value, 1);
  // Nothing stored: AES, which needs no provider of the other platform.
  clsConfig().SetAlgorithm(0);
  frmOptions unset(ui);
  ASSERT_TRUE(unset.Load());
  EXPECT_EQ(unset.Control("cmbAlgorithm").value, 0);
  // Each entry says what it is for.
  const auto& tips = unset.Control("cmbAlgorithm").itemTips;
  ASSERT_EQ(tips.size(), 3u);
  EXPECT_NE(tips[0].find("authenticated"), std::string::npos);
  EXPECT_NE(tips[2].find("exchanging encrypted files with Sealvane on the other platform"), std::string::npos);
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(ShellSettings, TheFileTypeIsRecordedOrTheFailureIsShown) {
  test::FakeUiPort ui;
  ASSERT_EQ(forms::RegisterShellSettings(ui, "/opt/sealvane/sealvane", "/opt/sealvane/sealvane.svg"), 0);
  EXPECT_TRUE(ui.boxes.empty());
  clsRegistry classes;
  classes.SetRootKey(platform::HKEY_CLASSES_ROOT);
  std::string value;
  EXPECT_EQ(classes.GetStringValue(".sva", "", value), 0);
  EXPECT_EQ(value, "Sealvane.Archive");
  EXPECT_EQ(classes.GetStringValue("Sealvane.Archive", "", value), 0);
  EXPECT_EQ(value, "Sealvane Encrypted Archive");
  EXPECT_EQ(classes.GetStringValue("Sealvane.Archive\\shell\\open\\command", "", value), 0);
  EXPECT_EQ(value, "\"/opt/sealvane/sealvane\" \"%1\"");

  // A user hive that cannot be used.
  ::setenv("SEALVANE_HOME", (test::SandboxDir() + "/broken").c_str(), 1);
  std::filesystem::create_directories(test::SandboxDir() + "/broken/registry.db");
  EXPECT_NE(forms::RegisterShellSettings(ui, "/opt/sealvane/sealvane", ""), 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Error!");
  EXPECT_EQ(ui.boxes[0].text.rfind("Failed to register Sealvane shell settings.", 0), 0u);
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST(About, VersionAndLinks) {
  EXPECT_EQ(forms::frmAbout::VersionText(1, 1, 518), "1.1.0.518");
  EXPECT_EQ(forms::frmAbout::VersionText(1, 10, 518), "1.10.0.518");
  test::FakeUiPort ui;
  test::FakeOptionsView view;
  forms::frmAbout about(ui);
  about.AttachView(&view);
  std::vector<std::string> opened;
  about.openWebPage = [&](const std::string& a) { opened.push_back("web " + a); return 0; };
  about.openMailMessage = [&](const std::string& a) { opened.push_back("mail " + a); return 0; };
  ASSERT_TRUE(about.Load(1, 1, 518));
  EXPECT_EQ(about.Control("lblVersion").text, "1.1.0.518");
  about.lblWebSite_Click();
  about.lblSupportEMail_Click();
  EXPECT_EQ(opened, (std::vector<std::string> {std::string("web ") + forms::kWebSite,
                                              std::string("mail ") + forms::kSupportEMail}));
  // No browser: said in a box.
  about.openWebPage = [](const std::string&) -> std::int32_t { throw platform::RuntimeError(53); };
  about.lblWebSite_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("Failed to open the web site.", 0), 0u);
  about.btnOK_Click();
  EXPECT_TRUE(view.closed);
}

}  // namespace
}  // namespace sealvane
