// SPDX-License-Identifier: GPL-3.0-or-later
// The Generate Digital ID dialog without a toolkit: the lists from the
// user's accounts, the checks in order, the serial counter, the new default
// digital ID and the accounts that receive it.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "forms/FormFixtures.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/forms/DigitalIDs.h"
#include "sealvane/forms/clsIAM.h"
#include "sealvane/forms/frmGenDigitalID.h"

namespace sealvane {
namespace {

using forms::frmGenDigitalID;
namespace fs = std::filesystem;

const std::string kCRs(1, kCR);

void Account(const std::string& key, const char* name, const char* email, const char* org = nullptr) {
  clsRegistry registry;
  const std::string path = std::string(forms::kAccountsKey) + "\\" + key;
  registry.CreateKey(path);
  if (name) registry.SetStringValue(path, "SMTP Display Name", name);
  if (email) registry.SetStringValue(path, "SMTP Email Address", email);
  if (org) registry.SetStringValue(path, "SMTP Organization Name", org);
}

bool Has(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

class GenDigitalID : public ::testing::Test {
 protected:
  void Open() {
    dialog.AttachView(&view);
    ASSERT_TRUE(dialog.Load());
  }
  void Type(const std::string& name, const std::string& email, const std::string& org) {
    dialog.TextChanged("cmbName", name);
    dialog.TextChanged("cmbEMailAddr", email);
    dialog.TextChanged("cmbOrgName", org);
  }
  std::int32_t Serial() {
    std::int32_t serial = 0;
    clsConfig().GetCertSerialNum(serial);
    return serial;
  }
  test::FakeUiPort ui;
  test::FakeOptionsView view;
  frmGenDigitalID dialog {ui};
};

TEST_F(GenDigitalID, ListsComeFromTheAccountsOnceEach) {
  Account("00000001", "Ana Example", " ana@example.org ", "Brennock");
  Account("00000002", "ana example", "ANA@example.org", "");
  Account("00000003", nullptr, "not-a-mail-account@example.org");
  const std::string profile = test::SandboxDir() + "/userhome/.thunderbird/abcd.default";
  fs::create_directories(profile);
  test::WriteFileBytes(profile + "/prefs.js",
                       "user_pref(\"mail.identity.id1.fullName\", \"Ana \\u00c9xample\");\n"
                       "user_pref(\"mail.identity.id1.useremail\", \"ana@mail.example\");\n"
                       "user_pref(\"mail.identity.id1.organization\", \"Brennock\");\n");
  Open();
  EXPECT_TRUE(ui.boxes.empty());
  const auto& names = dialog.Control("cmbName").items;
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names[0], "Ana Example");
  EXPECT_FALSE(Has(names, "ana example"));
  EXPECT_TRUE(Has(names, "Ana \xc3\x89xample"));
  EXPECT_EQ(dialog.Control("cmbEMailAddr").items,
            (std::vector<std::string> {"ana@example.org", "ana@mail.example"}));
  EXPECT_EQ(dialog.Control("cmbOrgName").items, std::vector<std::string> {"Brennock"});
  EXPECT_EQ(dialog.Control("cmbName").text, "Ana Example");
  EXPECT_EQ(dialog.Control("chkSetSecurity").value, 0);
}

TEST_F(GenDigitalID, NoAccountsAndTheChecksInOrder) {
  Open();
  EXPECT_TRUE(ui.boxes.empty()) << "no accounts key is no error";
  const std::string tail = ": , + = < > # \"";
  Type("   ", "", "");
  dialog.btnOK_Click();
  EXPECT_EQ(view.focus, "cmbName");
  Type("Ana, Example", "", "");
  dialog.btnOK_Click();
  Type("Ana", "ana<@example.org", "");
  dialog.btnOK_Click();
  EXPECT_EQ(view.focus, "cmbEMailAddr");
  Type("Ana", "ana@example.org", "B#");
  dialog.btnOK_Click();
  EXPECT_EQ(view.focus, "cmbOrgName");
  std::vector<std::string> texts;
  for (const auto& box : ui.boxes) texts.push_back(box.text);
  EXPECT_EQ(texts, (std::vector<std::string> {"You must specify a name.",
                                             "The following characters must not be used in a Name" + tail,
                                             "The following characters must not be used in an E-Mail Address" + tail,
                                             "The following characters must not be used in an Organization Name" + tail}));
  EXPECT_EQ(Serial(), 0) << "no check that fails costs a serial number";

  // No address: asked; No stops before the counter.
  ui.boxes.clear();
  Type("Ana", "", "");
  ui.Answer(MsgResult::No);
  dialog.btnOK_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "If you do not specify an e-mail address, you will not be able to use your digital ID "
                              "for e-mail." + kCRs + "Do you wish to continue?");
  EXPECT_EQ(Serial(), 0);
  // Cancel at the root-store notice: nothing made, the number is used.
  ui.Answer(MsgResult::Yes);
  ui.Answer(MsgResult::Cancel);
  dialog.btnOK_Click();
  EXPECT_EQ(ui.boxes.back().text,
            "You will be prompted to add your certificate to the Root Store.  Just select \"Yes\" in response to this.");
  EXPECT_EQ(Serial(), 1);
  EXPECT_FALSE(view.closed);
  EXPECT_FALSE(dialog.ValuesChanged());
}

TEST_F(GenDigitalID, MakesTheDefaultDigitalIdAndGivesItToTheAccounts) {
  Account("00000001", "Ana", "ana@example.org");
  Account("00000002", "Ana at work", "ANA@EXAMPLE.ORG");
  Account("X0000003", "Ana elsewhere", "ana@example.org");
  Open();
  Type(" Ana Example ", "Ana@Example.org", "Brennock");
  ui.Answer(MsgResult::OK);
  dialog.btnOK_Click();
  ASSERT_TRUE(view.closed) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
  EXPECT_TRUE(dialog.ValuesChanged());
  EXPECT_EQ(Serial(), 1);
  const std::string& success = ui.boxes.back().text;
  EXPECT_EQ(success.rfind("Your new digital ID has been successfully created." + kCRs, 0), 0u);
  // What happened here and what to do, in paragraphs: no program of the
  // other platform, no line broken inside a sentence.
  EXPECT_NE(success.find(kCRs + kCRs + "Your mail accounts for Ana@Example.org (2) were given it"), std::string::npos)
      << success;
  EXPECT_NE(success.find("under End-To-End Encryption."), std::string::npos);
  EXPECT_EQ(success.find("Outlook"), std::string::npos);
  EXPECT_NE(success.find("exporting and importing digital IDs to \".cer\" files."), std::string::npos);
  for (std::size_t at = success.find(kCR); at != std::string::npos; at = success.find(kCR, at + 1)) {
    EXPECT_TRUE(at == 0 || success[at - 1] == '.' || success[at - 1] == ')' || success[at - 1] == kCR)
        << success.substr(0, at);
  }

  const auto id = forms::FindDefaultDigitalID(CipherLibrary::Default());
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(id->m_strName, "Ana Example");
  EXPECT_EQ(id->m_strEMailAddr, "Ana@Example.org");
  clsRegistry registry;
  for (const char* key : {"00000001", "00000002", "X0000003"}) {
    const std::string path = std::string(forms::kAccountsKey) + "\\" + key;
    for (const char* value : {"SMTP Certificate", "SMTP Encryption Certificate"}) {
      std::optional<ByteArray> stored;
      registry.GetBinaryValue(path, value, stored);
      if (key[0] == '0') {
        EXPECT_EQ(stored, id->m_varThumbprint) << key << " " << value;
      } else {
        EXPECT_FALSE(stored.has_value()) << "a key not beginning with 0 gets nothing";
      }
    }
  }
}

TEST_F(GenDigitalID, TheSerialCounterDoesNotOverflow) {
  clsConfig().SetCertSerialNum(std::numeric_limits<std::int32_t>::max());
  Open();
  Type("Ana", "ana@example.org", "");
  dialog.btnOK_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to generate Digital ID." + kCRs + "Overflow. Error Number: 6");
  EXPECT_EQ(Serial(), std::numeric_limits<std::int32_t>::max());
}

}  // namespace
}  // namespace sealvane
