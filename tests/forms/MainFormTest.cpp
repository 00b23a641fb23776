// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's logic without a toolkit: start-up and the command line,
// the control states of each mode, the checks of OK, and whole jobs.
#include <gtest/gtest.h>

#include <regex>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "archive/JobFixtures.h"
#include "forms/FormFixtures.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/modCommon.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using forms::Background;
using forms::frmMain;
using forms::modMain;
using test::SandboxDir;

const std::string kCRs(1, kCR);

class MainForm : public ::testing::Test {
 protected:
  void SetUp() override {
    clsConfig().SetWelcomed(true);
    fs::create_directories(SandboxDir() + "/data");
  }

  // Starts the program's logic with a command line.
  void Start(const std::string& cmd) {
    form.AttachView(&view);
    ASSERT_TRUE(modMain::Startup(ui, form, [] {}, cmd));
  }

  std::string Data(const std::string& name) const { return SandboxDir() + "/data/" + name; }

  const forms::ControlState& C(const std::string& name) const { return form.Control(name); }
  std::string Selected(const std::string& list) const {
    const auto& c = C(list);
    return c.value < 0 ? std::string("(none)") : c.items.at(static_cast<std::size_t>(c.value));
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : ui.boxes) texts.push_back(box.text);
    return texts;
  }

  // Runs the encrypt job on a record.
  static void Encrypt(const clsParameters& p) {
    test::FakeUiPort quiet;
    frmEncrypt job(quiet);
    ASSERT_TRUE(job.Initialize(p));
    job.Run();
    ASSERT_EQ(job.Result(), 0) << (quiet.boxes.empty() ? "" : quiet.boxes.back().text);
  }

  // An archive for a password, made by the encrypt job.
  std::string MakePasswordArchive(const std::string& name, std::int32_t cipher, const std::string& content) {
    test::WriteFileBytes(Data(name), content);
    clsParameters p;
    p.m_eAlg = cipher;
    p.m_eCSP = cipher > 2 ? 3 : 1;
    p.m_bPwdRequired = true;
    p.m_strPassword = "Correct Horse 9";
    p.m_strFilePath = Data(name);
    p.m_strEncFilePath = ReplaceExtension(Data(name), ".sva");
    Encrypt(p);
    return p.m_strEncFilePath;
  }

  test::FakeUiPort ui;
  test::FakeMainView view;
  frmMain form {ui};
};

TEST(CommandLine, RebuiltFromArgumentsAsThePlatformPassesIt) {
  EXPECT_EQ(forms::RebuildCommandLine({}), "");
  EXPECT_EQ(forms::RebuildCommandLine({"/e", "/home/ana/My File.txt"}), "/e \"/home/ana/My File.txt\"");
  EXPECT_EQ(forms::RebuildCommandLine({"report.sva"}), "\"report.sva\"");
  EXPECT_EQ(forms::RebuildCommandLine({"/d", "\"quoted\""}), "/d \"quoted\"");
  // Only "/" and letters is a switch; a path that starts with "/" is a path.
  EXPECT_EQ(forms::RebuildCommandLine({"/tmp/x"}), "\"/tmp/x\"");
  EXPECT_EQ(forms::RebuildCommandLine({"/e2"}), "\"/e2\"");
}

TEST_F(MainForm, CommandLineTable) {
  const std::string archive = MakePasswordArchive("stored.txt", 2, "hello");
  fs::rename(Data("stored.txt"), Data("elsewhere.txt"));
  struct Row {
    std::string cmd, mode, file, encFile;
  };
  const std::vector<Row> rows = {
      {"", "Encrypt", "", ""},
      {"/e \"" + Data("report.doc") + "\"", "Encrypt", Data("report.doc"), Data("report.sva")},
      {"/e \"" + Data("archive.tar.gz") + "\"", "Encrypt", Data("archive.tar.gz"), Data("archive.tar.sva")},
      {"/e \"" + Data("My.Folder/notes") + "\"", "Encrypt", Data("My.Folder/notes"), Data("My.Folder/notes.sva")},
      {"/encrypt \"" + Data("a.txt") + "\"", "Encrypt", Data("a.txt"), Data("a.sva")},
      {"\"" + archive + "\"", "Decrypt", Data("stored.txt"), archive},
      {"/d \"" + Data("old.doc") + "\"", "SecureDelete", Data("old.doc"), ""},
      // Capital and unknown switches: as an empty command line.
      {"/E \"" + Data("a.txt") + "\"", "Encrypt", "", ""},
      {"/x \"" + Data("a.txt") + "\"", "Encrypt", "", ""},
      // A path without quotes is not recognised.
      {"/e " + Data("a.txt"), "Encrypt", "", ""},
      // A file name with quotes of its own (possible here) is kept whole.
      {"/e \"" + Data("say \"hi\".txt") + "\"", "Encrypt", Data("say \"hi\".txt"), Data("say \"hi\".sva")},
      {"/d \"" + Data("\"x\"") + "\"", "SecureDelete", Data("\"x\""), ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.cmd);
    test::FakeUiPort rowUi;
    test::FakeMainView rowView;
    frmMain rowForm(rowUi);
    rowForm.AttachView(&rowView);
    ASSERT_TRUE(modMain::Startup(rowUi, rowForm, [] {}, row.cmd));
    EXPECT_TRUE(rowUi.boxes.empty()) << rowUi.boxes.front().text;
    EXPECT_EQ(rowForm.GetCurrentMode(), row.mode);
    EXPECT_EQ(rowForm.Control(row.mode).value, 1);
    EXPECT_EQ(rowForm.Control("txtFile").text, row.file);
    EXPECT_EQ(rowForm.Control("txtEncFile").text, row.encFile);
  }
}

TEST_F(MainForm, UnclosedQuoteShowsTheStartUpErrorAndLeavesTheWindowAsLoaded) {
  clsConfig().SetWelcomed(false);
  Start("/e \"" + Data("report.doc"));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Error!");
  EXPECT_EQ(ui.boxes[0].text, "Failed to initialize Sealvane." + kCRs + "Invalid procedure call or argument. Error Number: 5");
  for (const char* key : {"Encrypt", "Decrypt", "SecureDelete"}) EXPECT_EQ(C(key).value, 0);
  EXPECT_TRUE(C("cmbAlgorithm").items.empty());
  // No welcome: it is asked at the next start.
  bool welcomed = true;
  clsConfig().GetWelcomed(welcomed);
  EXPECT_FALSE(welcomed);
}

TEST_F(MainForm, WelcomeIsAskedOnTheFirstStartOnly) {
  clsConfig().SetWelcomed(false);
  ui.Answer(MsgResult::Yes);
  Start("");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Sealvane");
  EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Question);
  EXPECT_EQ(ui.boxes[0].text, "Welcome to Sealvane!" + kCRs + kCRs +
                                  "To begin you should first generate your own digital ID." + kCRs +
                                  "Do you wish to generate your digital ID now?");
  EXPECT_EQ(view.genShown, 1) << "Yes opens the Generate Digital ID dialog";

  test::FakeUiPort again;
  frmMain second(again);
  ASSERT_TRUE(modMain::Startup(again, second, [] {}, ""));
  EXPECT_TRUE(again.boxes.empty());
  std::int32_t major = 0, minor = 0;
  EXPECT_EQ(clsConfig().GetVersion(major, minor), 0);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 1);
}

TEST_F(MainForm, EmptyCommandLineTakesTheUsersDefaults) {
  const ByteArray own = test::ImportOwnDigitalID();
  clsConfig().SetAlgorithm(4);
  clsConfig().SetAlwaysCompress(false);
  Start("");
  EXPECT_EQ(Selected("cmbAlgorithm"), "RC2 (128-bit)");
  EXPECT_EQ(C("chkCompressFile").value, 0);
  EXPECT_EQ(C("chkOpenFile").value, 1);
  EXPECT_EQ(C("optAccess(0)").value, 1);
  ASSERT_EQ(form.AccessRows().size(), 1u);
  EXPECT_FALSE(form.AccessRows()[0].name.empty());
  EXPECT_EQ(form.AccessRows()[0].tag, "0");
  EXPECT_EQ(form.Parameters().m_oDefaultDigitalID.m_varThumbprint, own);
  EXPECT_EQ(view.focus, "txtFile");
  // Deleting the original is off unless the user turned it on.
  EXPECT_EQ(C("chkDeleteOriginal").value, 0);
  EXPECT_TRUE(C("chkDeleteOriginal").visible);
  EXPECT_FALSE(form.Parameters().m_bDeleteOriginal);
}

TEST_F(MainForm, DeletingTheOriginalFollowsItsSettingAndIsOnlyForEncrypting) {
  test::ImportOwnDigitalID();
  clsConfig().SetAlwaysDeleteOriginal(true);
  Start("");
  EXPECT_EQ(C("chkDeleteOriginal").value, 1);
  EXPECT_TRUE(form.Parameters().m_bDeleteOriginal);
  form.chkDeleteOriginal_Click(0);
  EXPECT_FALSE(form.Parameters().m_bDeleteOriginal);
  form.chkDeleteOriginal_Click(1);
  for (const char* mode : {"Decrypt", "SecureDelete"}) {
    form.ToolbarButtonClick(mode);
    EXPECT_FALSE(C("chkDeleteOriginal").visible) << mode;
  }
  form.ToolbarButtonClick("Encrypt");
  EXPECT_TRUE(C("chkDeleteOriginal").visible);
  EXPECT_EQ(C("chkDeleteOriginal").value, 1);
}

TEST_F(MainForm, TheStrengthNoteFollowsThePasswordWhenEncrypting) {
  test::WriteFileBytes(Data("harbourmaster.txt"), "x");
  Start("/e \"" + Data("harbourmaster.txt") + "\"");
  EXPECT_FALSE(C("lblStrength").visible) << "digital IDs: no password";
  form.optAccess_Click(1);
  EXPECT_TRUE(C("lblStrength").visible);
  EXPECT_EQ(C("lblStrength").text, "");
  const auto level = [&](const std::string& password) {
    form.TextChanged("txtPassword", password);
    return C("lblStrength").text.substr(0, C("lblStrength").text.find('.'));
  };
  EXPECT_EQ(level("password1"), "Password strength: very weak");
  EXPECT_EQ(level("harbourmaster1"), "Password strength: very weak") << "the file's own name is tried first";
  EXPECT_EQ(level("Tr0ub4dour&3"), "Password strength: weak");
  EXPECT_EQ(level("Correct Horse 9"), "Password strength: fair");
  EXPECT_EQ(level("kX9#mQ2$vL7p"), "Password strength: strong");
  EXPECT_EQ(level("violet tugboat quietly borrows 41 lanterns"), "Password strength: very strong");
  // A weak password is warned about, never refused beyond 8 characters.
  form.TextChanged("txtPassword", "password1");
  form.TextChanged("txtConfirmPassword", "password1");
  form.btnOK_Click();
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
  EXPECT_TRUE(fs::exists(Data("harbourmaster.sva")));
  EXPECT_EQ(C("lblStrength").text, "") << "emptied with the boxes";
  form.ToolbarButtonClick("Decrypt");
  EXPECT_FALSE(C("lblStrength").visible);
}

TEST_F(MainForm, AJobEndsWithASentenceAndTheRecentListFollows) {
  test::WriteFileBytes(Data("minutes.txt"), std::string(3000, 'm'));
  Start("/e \"" + Data("minutes.txt") + "\"");
  EXPECT_TRUE(form.RecentFiles().empty());
  form.optAccess_Click(1);
  form.TextChanged("txtPassword", "long enough 1");
  form.TextChanged("txtConfirmPassword", "long enough 1");
  form.btnOK_Click();
  ASSERT_EQ(view.ended.size(), 1u);
  const std::regex encrypted("done: Encrypted minutes\\.txt into minutes\\.sva, [0-9.,]+ (bytes|[KMG]B), [0-9]+\\.[0-9] s");
  EXPECT_TRUE(std::regex_match(view.ended[0], encrypted)) << view.ended[0];
  EXPECT_EQ(C("Status").text, form.JobSummary());
  EXPECT_EQ(form.RecentFiles(), std::vector<std::string> {Data("minutes.sva")});
  // Chosen from the list: Decrypt mode on it. A job that did not run (a
  // wrong password, said before the window) says nothing more.
  fs::remove(Data("minutes.txt"));
  form.mnuFileRecent_Click(Data("minutes.sva"));
  EXPECT_EQ(C("Decrypt").value, 1);
  EXPECT_EQ(C("txtEncFile").text, Data("minutes.sva"));
  form.TextChanged("txtPassword", "wrong password");
  form.btnOK_Click();
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(view.ended.size(), 1u);
  ui.boxes.clear();
  form.TextChanged("txtPassword", "long enough 1");
  form.btnOK_Click();
  ASSERT_EQ(view.ended.size(), 2u);
  EXPECT_EQ(view.ended[1].rfind("done: Decrypted minutes.sva into minutes.txt, ", 0), 0u) << view.ended[1];
  // Securely deleted, it leaves the list; an archive gone from the disk is not offered.
  test::WriteFileBytes(Data("other.sva"), "x");
  clsConfig().SetRecentFiles({Data("gone.sva"), Data("other.sva"), Data("minutes.sva")});
  EXPECT_EQ(form.RecentFiles(), (std::vector<std::string> {Data("other.sva"), Data("minutes.sva")}));
  form.ToolbarButtonClick("SecureDelete");
  form.TextChanged("txtFile", Data("minutes.sva"));
  ui.Answer(MsgResult::Yes);
  form.btnOK_Click();
  EXPECT_FALSE(fs::exists(Data("minutes.sva")));
  EXPECT_EQ(view.ended.back().rfind("done: Securely deleted minutes.sva, ", 0), 0u) << view.ended.back();
  EXPECT_EQ(clsConfig().GetRecentFiles(), (std::vector<std::string> {Data("gone.sva"), Data("other.sva")}));
  form.mnuFileClearRecent_Click();
  EXPECT_TRUE(clsConfig().GetRecentFiles().empty());
}

TEST_F(MainForm, ATypedOrPastedFileIsTakenAsBrowseTakesIt) {
  test::WriteFileBytes(Data("typed notes.txt"), "notes");
  fs::create_directories(Data("a folder"));
  Start("");
  const auto type = [&](const std::string& text) {
    form.TextChanged("txtFile", text);
    return form.txtFile_Validate(false);
  };
  // Leaving the box with what names no file yet says nothing and changes nothing.
  EXPECT_FALSE(type(Data("typed no")));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(C("txtEncFile").text, "");
  // A folder is encrypted whole, into an archive named after all of it.
  EXPECT_TRUE(type(Data("a folder/")));
  EXPECT_EQ(C("txtFile").text, Data("a folder"));
  EXPECT_EQ(C("txtEncFile").text, Data("a folder.sva"));
  // A file manager's address, and a path from the home folder.
  EXPECT_TRUE(type("file://" + Data("typed%20notes.txt")));
  EXPECT_EQ(C("txtFile").text, Data("typed notes.txt"));
  EXPECT_EQ(C("txtEncFile").text, Data("typed notes.sva"));
  const std::string home = std::getenv("HOME");
  ::setenv("HOME", Data("").c_str(), 1);
  EXPECT_TRUE(type("  ~/typed notes.txt "));
  ::setenv("HOME", home.c_str(), 1);
  EXPECT_EQ(C("txtFile").text, Data("typed notes.txt"));
  // OK with what names no file: said, and the focus back in the box.
  form.optAccess_Click(1);
  form.TextChanged("txtPassword", "long enough 1");
  form.TextChanged("txtConfirmPassword", "long enough 1");
  form.TextChanged("txtFile", Data("gone.txt"));
  form.btnOK_Click();
  EXPECT_EQ(Texts(), (std::vector<std::string> {"The file " + Data("gone.txt") +
                                                " does not exist.  Please specify an existing file."}));
  EXPECT_EQ(view.focus, "txtFile");
  EXPECT_FALSE(fs::exists(Data("typed notes.sva")));
}

TEST_F(MainForm, ControlStatesOfEachModeAndAccessType) {
  Start("");
  // Encrypt, digital IDs. The File box takes a typed path too.
  EXPECT_FALSE(C("txtFile").readOnly);
  EXPECT_FALSE(C("txtEncFile").readOnly);
  EXPECT_EQ(C("txtFile").tooltip, "The unencrypted file.");
  for (const char* name : {"chkCompressFile", "cmbAlgorithm", "optAccess(0)", "optAccess(1)", "lvwAccess", "btnSelectAccess"})
    EXPECT_TRUE(C(name).enabled) << name;
  EXPECT_EQ(C("lvwAccess").background, Background::Window);
  for (const char* name : {"lblPassword", "txtPassword", "lblConfirmPassword", "txtConfirmPassword"}) {
    EXPECT_FALSE(C(name).enabled) << name;
    EXPECT_EQ(C(name).background, Background::ButtonFace) << name;
  }
  // Encrypt, password.
  form.optAccess_Click(1);
  EXPECT_FALSE(C("lblAccess").enabled);
  EXPECT_FALSE(C("btnSelectAccess").enabled);
  EXPECT_EQ(C("lvwAccess").background, Background::ButtonFace);
  for (const char* name : {"txtPassword", "txtConfirmPassword"}) {
    EXPECT_TRUE(C(name).enabled) << name;
    EXPECT_EQ(C(name).background, Background::Window) << name;
  }
  EXPECT_EQ(view.focus, "txtPassword");
  // Decrypt, password: the confirmation is not asked, the cipher comes from
  // the archive.
  form.ToolbarButtonClick("Decrypt");
  EXPECT_EQ(C("Decrypt").value, 1);
  EXPECT_EQ(C("Encrypt").value, 0);
  EXPECT_FALSE(C("txtFile").readOnly);
  EXPECT_TRUE(C("txtEncFile").readOnly);
  EXPECT_EQ(C("cmbAlgorithm").items.size(), 6u);
  for (const char* name : {"chkCompressFile", "cmbAlgorithm", "optAccess(0)", "optAccess(1)"})
    EXPECT_FALSE(C(name).enabled) << name;
  EXPECT_TRUE(C("chkOpenFile").enabled);
  // GetParameters took the defaults again: access by digital IDs.
  EXPECT_EQ(C("optAccess(0)").value, 1);
  EXPECT_FALSE(C("btnSelectAccess").enabled);
  EXPECT_TRUE(C("lvwAccess").enabled);
  EXPECT_EQ(view.focus, "txtEncFile");
  // Secure Delete: only the file row.
  form.ToolbarButtonClick("SecureDelete");
  for (const char* name : {"txtEncFile", "chkCompressFile", "chkOpenFile", "cmbAlgorithm", "optAccess(1)", "lvwAccess",
                           "txtPassword", "txtConfirmPassword", "btnSelectAccess"})
    EXPECT_FALSE(C(name).visible) << name;
  EXPECT_TRUE(C("txtFile").visible);
  EXPECT_EQ(C("txtFile").tooltip, "The file to be deleted.");
  EXPECT_EQ(C("EncFileSize").text, "");
  EXPECT_EQ(C("Status").text, "Ready");
}

TEST_F(MainForm, AlgorithmListFollowsTheProviderLevel) {
  Start("");
  EXPECT_EQ(form.ProviderLevel(), 3);
  EXPECT_EQ(C("cmbAlgorithm").items, (std::vector<std::string> {"AES (256-bit)", "3DES (168-bit)", "RC2 (128-bit)",
                                                                  "RC2 (64-bit)", "DES (56-bit)", "RC2 (40-bit)"}));
  EXPECT_EQ(C("cmbAlgorithm").value, 0) << "AES unless the user chose otherwise";
  EXPECT_EQ(form.Parameters().m_eAlg, kCipherAes256);
  form.cmbAlgorithm_Click(1);
  EXPECT_EQ(form.Parameters().m_eAlg, 5);
  form.cmbAlgorithm_Click(5);
  EXPECT_EQ(form.Parameters().m_eAlg, 1);

  test::DisableEnhancedProvider();
  clsConfig().SetAlgorithm(5);  // a strong default this machine cannot offer
  test::FakeUiPort baseUi;
  frmMain base(baseUi);
  ASSERT_TRUE(modMain::Startup(baseUi, base, [] {}, ""));
  EXPECT_EQ(base.ProviderLevel(), 1);
  EXPECT_EQ(base.Control("cmbAlgorithm").items,
            (std::vector<std::string> {"AES (256-bit)", "DES (56-bit)", "RC2 (40-bit)"}));
  EXPECT_EQ(base.Control("cmbAlgorithm").value, 1);
  EXPECT_EQ(base.Parameters().m_eAlg, 2);
  clsConfig().SetAlgorithm(1);
  base.ToolbarButtonClick("Encrypt");
  EXPECT_EQ(base.Control("cmbAlgorithm").value, 2);
  clsConfig().SetAlgorithm(6);
  base.ToolbarButtonClick("Encrypt");
  EXPECT_EQ(base.Control("cmbAlgorithm").value, 0) << "AES at every provider level";
  EXPECT_EQ(base.Parameters().m_eAlg, kCipherAes256);
  EXPECT_TRUE(baseUi.boxes.empty());
}

TEST_F(MainForm, EncryptChecksComeInOrder) {
  test::WriteFileBytes(Data("report.doc"), "plain");
  Start("/e \"" + Data("report.doc") + "\"");
  // Digital IDs without a default digital ID.
  form.btnOK_Click();
  form.btnSelectAccess_Click();
  EXPECT_EQ(view.focus, "btnSelectAccess");
  const std::string noDefault = "There is no default digital ID." + kCRs +
                                "You must generate or select your own default digital ID first." + kCRs +
                                "On the Tools menu choose either Generate Digital ID or Options.";
  EXPECT_EQ(Texts(), (std::vector<std::string> {noDefault, noDefault}));
  ui.boxes.clear();

  form.optAccess_Click(1);
  const auto tryPassword = [&](const std::string& password, const std::string& confirmation) {
    form.TextChanged("txtPassword", password);
    form.TextChanged("txtConfirmPassword", confirmation);
    form.btnOK_Click();
  };
  // After each warning the boxes to type in again get the focus; a password
  // too short is typed again from the start, as one that does not match.
  tryPassword("", "");
  EXPECT_EQ(view.focus, "txtPassword");
  view.focus.clear();
  tryPassword("seven77", "seven77");
  EXPECT_EQ(C("txtPassword").text, "");
  EXPECT_EQ(C("txtConfirmPassword").text, "");
  EXPECT_EQ(view.focus, "txtPassword");
  tryPassword("eight888", "");
  EXPECT_EQ(view.focus, "txtConfirmPassword");
  tryPassword("eight888", "eight889");
  EXPECT_EQ(C("txtPassword").text, "");
  EXPECT_EQ(C("txtConfirmPassword").text, "");
  EXPECT_EQ(view.focus, "txtPassword");
  EXPECT_EQ(Texts(), (std::vector<std::string> {"Please enter a password.", "A password must be at least 8 characters long.",
                                                "Please confirm the password.",
                                                "The passwords you entered do not match.  Please try again."}));
  for (const auto& box : ui.boxes) EXPECT_EQ(box.title, "Warning!");
  EXPECT_FALSE(fs::exists(Data("report.sva")));
  EXPECT_TRUE(view.jobCaptions.empty());

  // Eight characters (nine bytes) pass; the job runs and both boxes empty.
  ui.boxes.clear();
  tryPassword("Pässwor8", "Pässwor8");
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
  EXPECT_EQ(view.jobCaptions, std::vector<std::string> {"Sealvane - Encrypt"});
  EXPECT_TRUE(fs::exists(Data("report.sva")));
  EXPECT_EQ(C("txtPassword").text, "");
  EXPECT_EQ(C("txtConfirmPassword").text, "");
  EXPECT_NE(C("EncFileSize").text.find("Enc. File Size: "), std::string::npos);
  std::string last;
  clsConfig().GetLastDir(last);
  EXPECT_EQ(last, SandboxDir() + "/data");
}

TEST_F(MainForm, SameFileAndBareNames) {
  test::WriteFileBytes(Data("report.doc"), "plain");
  Start("");
  form.btnOK_Click();
  EXPECT_EQ(Texts(), std::vector<std::string> {"Please select a file."});
  ui.boxes.clear();
  // Two spellings of one file.
  view.nextBrowse = Data("report.doc");
  form.btnBrowseFile_Click();
  form.TextChanged("txtEncFile", SandboxDir() + "/data/../data/report.doc");
  form.btnOK_Click();
  EXPECT_EQ(Texts(), std::vector<std::string> {"The file and the encrypted file are the same." + kCRs +
                                               "Please choose another file."});
  // A bare archive name goes beside the file, with the archive extension.
  ui.boxes.clear();
  form.optAccess_Click(1);
  form.TextChanged("txtEncFile", "copy.bin");
  form.TextChanged("txtPassword", "Correct Horse 9");
  form.TextChanged("txtConfirmPassword", "Correct Horse 9");
  form.btnOK_Click();
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
  EXPECT_TRUE(fs::exists(Data("copy.sva")));
}

TEST_F(MainForm, DecryptChecksComeInOrder) {
  Start("");
  form.ToolbarButtonClick("Decrypt");
  form.TextChanged("txtFile", Data("out.txt"));
  form.btnOK_Click();
  // The archive is chosen with Browse (its box is read-only in Decrypt).
  form.TextChanged("txtEncFile", Data("typed.sva"));
  EXPECT_EQ(C("txtEncFile").text, "");
  view.nextBrowse = Data("missing.sva");
  form.btnBrowseEncFile_Click();
  form.TextChanged("txtFile", Data("out.txt"));
  form.btnOK_Click();
  test::WriteFileBytes(Data("junk.sva"), "not an archive at all, not at all");
  view.nextBrowse = Data("junk.sva");
  form.btnBrowseEncFile_Click();  // read at once: the message
  form.TextChanged("txtFile", Data("out.txt"));
  form.btnOK_Click();
  const std::string invalid = "Failed to open encrypted file - invalid format.";
  EXPECT_EQ(Texts(), (std::vector<std::string> {"Please specify an encrypted file.",
                                                "The encrypted file does not exist.  Please specify an existing file.",
                                                invalid, invalid}));
  EXPECT_EQ(ui.boxes[2].title, "Error!");

  // An archive for a password, without the password.
  ui.boxes.clear();
  const std::string archive = MakePasswordArchive("secret.txt", 1, "secret");
  view.nextBrowse = archive;
  form.btnBrowseEncFile_Click();
  EXPECT_EQ(C("txtFile").text, Data("secret.txt"));
  form.btnOK_Click();
  EXPECT_EQ(Texts(), std::vector<std::string> {"A password is required to decrypt the file."});
  EXPECT_TRUE(view.jobCaptions.empty());
}

TEST_F(MainForm, ArchiveForOtherPeopleIsRefused) {
  // An archive for the fixture's digital ID, opened by a user without it.
  const ByteArray own = test::ImportOwnDigitalID();
  test::WriteFileBytes(Data("for-ana.txt"), "for ana");
  clsParameters p;
  p.m_eAlg = 2;
  p.m_eCSP = 1;
  p.m_oDefaultDigitalID.m_strName = "Ana";
  p.m_oDefaultDigitalID.m_varThumbprint = own;
  p.m_strFilePath = Data("for-ana.txt");
  p.m_strEncFilePath = Data("for-ana.sva");
  Encrypt(p);
  test::RemoveFromStore("MY", own);

  Start("\"" + Data("for-ana.sva") + "\"");
  form.btnOK_Click();
  EXPECT_EQ(Texts(), std::vector<std::string> {"Your digital ID is not in the access list." + kCRs +
                                               "This file cannot be decrypted."});
}

TEST_F(MainForm, RoundTripEncryptDecryptSecureDelete) {
  const std::string content = std::string(100000, 's') + "end";
  test::WriteFileBytes(Data("report.doc"), content);
  Start("/e \"" + Data("report.doc") + "\"");
  form.optAccess_Click(1);
  form.TextChanged("txtPassword", "Correct Horse 9");
  form.TextChanged("txtConfirmPassword", "Correct Horse 9");
  form.btnOK_Click();
  ASSERT_TRUE(fs::exists(Data("report.sva")));
  fs::rename(Data("report.doc"), Data("original.doc"));

  // A double-click on the archive: Decrypt, into its folder under the name
  // it stores (sealed in the modern format, the default).
  test::FakeUiPort ui2;
  test::FakeMainView view2;
  frmMain form2(ui2);
  form2.AttachView(&view2);
  ASSERT_TRUE(modMain::Startup(ui2, form2, [] {}, "\"" + Data("report.sva") + "\""));
  EXPECT_EQ(form2.Control("txtFile").text, Data(""));
  EXPECT_EQ(form2.Control("txtFile").tooltip,
            "The folder to decrypt into: the file takes the name the encrypted file stores.");
  // The archive needs a password: that is where the user types first.
  EXPECT_EQ(view2.focus, "txtPassword");
  EXPECT_EQ(form2.Parameters().m_eAlg, kCipherAes256);
  EXPECT_EQ(form2.Control("optAccess(1)").value, 1);
  EXPECT_TRUE(form2.Control("txtPassword").enabled);
  EXPECT_FALSE(form2.Control("txtConfirmPassword").enabled);
  form2.chkOpenFile_Click(0);
  form2.TextChanged("txtPassword", "Correct Horse 9");
  form2.btnOK_Click();
  EXPECT_TRUE(ui2.boxes.empty()) << ui2.boxes.front().text;
  EXPECT_EQ(test::ReadFileBytes(Data("report.doc")), content);
  EXPECT_EQ(form2.Parameters().m_strFilePath, Data("report.doc")) << "the file as the job named it";
  EXPECT_EQ(form2.Control("txtPassword").text, "");

  // Secure delete from the context menu's command line.
  test::FakeUiPort ui3;
  test::FakeMainView view3;
  frmMain form3(ui3);
  form3.AttachView(&view3);
  ASSERT_TRUE(modMain::Startup(ui3, form3, [] {}, "/d \"" + Data("original.doc") + "\""));
  EXPECT_TRUE(fs::exists(Data("original.doc")));
  ui3.Answer(MsgResult::Yes);
  form3.btnOK_Click();
  EXPECT_FALSE(fs::exists(Data("original.doc")));
  EXPECT_EQ(view3.jobCaptions, std::vector<std::string> {"Sealvane - Secure Delete"});
}

TEST_F(MainForm, ReencryptingAnArchiveKeepsItsSettingsAndTheFile) {
  const std::string archive = MakePasswordArchive("report.doc", 1, "x");
  Start("/e \"" + Data("report.doc") + "\"");
  EXPECT_EQ(C("optAccess(1)").value, 1);
  EXPECT_EQ(Selected("cmbAlgorithm"), "RC2 (40-bit)");
  EXPECT_EQ(C("txtFile").text, Data("report.doc"));
  EXPECT_TRUE(form.AccessRows().empty());
}

TEST_F(MainForm, StrongArchiveFallsBackToDesWithTheBaseProvider) {
  MakePasswordArchive("report.doc", 4, "x");
  test::DisableEnhancedProvider();
  Start("/e \"" + Data("report.doc") + "\"");
  EXPECT_EQ(form.Parameters().m_eAlg, 2);
  EXPECT_EQ(Selected("cmbAlgorithm"), "DES (56-bit)");
}

TEST_F(MainForm, RefreshRecipientsAdaptsAnArchiveToTheUser) {
  const ByteArray own = test::ImportOwnDigitalID();
  // Bob made the archive with his own digital ID first and the user among
  // the others; the user holds Bob's and Eve's certificates.
  csp::BYTE bobs[20];
  ASSERT_TRUE(csp::ImportPfx(test::ReadFixture("sva/certs/recipient1.pfx"), "recipient-pass", "MY", bobs));
  const ByteArray bob(bobs, bobs + 20);
  const ByteArray eve = test::AddToAddressBook("sva/certs/recipient2.der");
  test::AddToAddressBook("capi/cert.der");  // how Bob holds the user's certificate
  test::WriteFileBytes(Data("report.doc"), "for several people");
  clsParameters p;
  p.m_eAlg = 2;
  p.m_eCSP = 1;
  p.m_oDefaultDigitalID.m_strName = "Bob";
  p.m_oDefaultDigitalID.m_varThumbprint = bob;
  clsDigitalID evesId;
  evesId.m_strName = "Eve";
  evesId.m_varThumbprint = eve;
  clsDigitalID me;
  me.m_strName = "Me";
  me.m_varThumbprint = own;
  p.m_colOtherDigitalIDs = {evesId, me};
  p.m_strFilePath = Data("report.doc");
  p.m_strEncFilePath = Data("report.sva");
  Encrypt(p);
  test::RemoveFromStore("MY", bob);
  test::RemoveFromStore("AddressBook", own);
  test::AddToAddressBook("sva/certs/recipient1.der");

  Start("/e \"" + Data("report.doc") + "\"");
  const clsParameters now = form.Parameters();
  EXPECT_EQ(now.m_oDefaultDigitalID.m_varThumbprint, own);
  EXPECT_EQ(now.m_oDefaultDigitalID.m_strName, "Me");
  ASSERT_EQ(now.m_colOtherDigitalIDs.size(), 2u);
  EXPECT_EQ(now.m_colOtherDigitalIDs[0].m_strName, "Eve");
  EXPECT_EQ(now.m_colOtherDigitalIDs[1].m_strName, "Bob");  // the former default, last
  ASSERT_EQ(form.AccessRows().size(), 3u);
  EXPECT_EQ(form.AccessRows()[2].tag, "2");

  // A recipient whose certificate the user no longer holds is dropped.
  test::RemoveFromStore("AddressBook", eve);
  form.ToolbarButtonClick("Encrypt");
  ASSERT_EQ(form.Parameters().m_colOtherDigitalIDs.size(), 1u);
  EXPECT_EQ(form.Parameters().m_colOtherDigitalIDs[0].m_strName, "Bob");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(MainForm, SwitchingAccessKeepsTheOtherRecipients) {
  test::ImportOwnDigitalID();
  const ByteArray bob = test::AddToAddressBook("sva/certs/recipient1.der");
  Start("");
  clsDigitalID other;
  other.m_strName = "Bob";
  other.m_varThumbprint = bob;
  form.SetOtherDigitalIDs({other});
  ASSERT_EQ(form.AccessRows().size(), 2u);
  form.TextChanged("txtEncFile", Data("typed.sva"));
  form.optAccess_Click(1);
  EXPECT_TRUE(form.AccessRows().empty());
  EXPECT_EQ(C("txtEncFile").text, Data("typed.sva"));  // typed names survive the switch
  form.TextChanged("txtPassword", "typed but dropped");
  form.optAccess_Click(0);
  EXPECT_EQ(C("txtPassword").text, "");
  ASSERT_EQ(form.AccessRows().size(), 2u);
  EXPECT_EQ(form.AccessRows()[1].name, "Bob");
  EXPECT_EQ(view.focus, "btnSelectAccess");
}

TEST_F(MainForm, SelectingRecipients) {
  test::ImportOwnDigitalID();
  Start("");
  form.btnSelectAccess_Click();
  EXPECT_EQ(Texts(), std::vector<std::string> {"There are no available digital IDs." + kCRs +
                                               "You must acquire digital IDs (certificates) from other people by "
                                               "e-mail or importing them."});
  ui.boxes.clear();
  test::AddToAddressBook("sva/certs/recipient1.der");
  test::AddToAddressBook("sva/certs/recipient2.der");
  test::AddToAddressBook("capi/cert.der");
  std::vector<std::string> shownNames;
  view.onSelect = [&](forms::frmSelectDigitalID& dialog) {
    EXPECT_EQ(dialog.Caption(), "Select Digital IDs");
    EXPECT_TRUE(dialog.MultiSelect());
    for (const auto& row : dialog.Rows()) shownNames.push_back(row.name);
    dialog.SelectRow(2, true);
    dialog.SelectRow(0, true);
    dialog.btnOK_Click();
  };
  form.btnSelectAccess_Click();
  ASSERT_EQ(shownNames.size(), 3u);
  EXPECT_TRUE(std::is_sorted(shownNames.begin(), shownNames.end()));
  ASSERT_EQ(form.AccessRows().size(), 3u);
  EXPECT_EQ(form.AccessRows()[1].name, shownNames[0]);
  EXPECT_EQ(form.AccessRows()[2].name, shownNames[2]);

  // The current recipients are preselected; Cancel changes nothing.
  std::vector<bool> preselected;
  view.onSelect = [&](forms::frmSelectDigitalID& dialog) {
    for (const auto& row : dialog.Rows()) preselected.push_back(row.selected);
    dialog.btnCancel_Click();
  };
  form.btnSelectAccess_Click();
  EXPECT_EQ(preselected, (std::vector<bool> {true, false, true}));
  EXPECT_EQ(form.AccessRows().size(), 3u);

  // A certificate deleted meanwhile (in the certificate manager): back in
  // the window, its recipient is gone from the list.
  const ByteArray deleted = form.Parameters().m_colOtherDigitalIDs.at(0).m_varThumbprint;
  test::RemoveFromStore("AddressBook", deleted);
  form.Activate();
  ASSERT_EQ(form.AccessRows().size(), 2u);
  EXPECT_EQ(form.AccessRows()[1].name, shownNames[2]);
  ASSERT_EQ(form.Parameters().m_colOtherDigitalIDs.size(), 1u);
}

TEST_F(MainForm, TheFileDialogOpensInAFolderThatIsThere) {
  Start("");
  // A last folder that is gone, and no documents folder: the home folder.
  clsConfig().SetLastDir(SandboxDir() + "/gone");
  const std::string documents = GetDocumentsDir();
  ASSERT_EQ(documents.rfind(SandboxDir() + "/", 0), 0u) << documents;
  fs::remove_all(documents);
  form.mnuFileEncrypt_Click();
  ASSERT_EQ(view.browsed.size(), 1u);
  EXPECT_EQ(view.browsed[0].initialFolder, std::getenv("HOME"));
  fs::create_directories(documents);
  form.mnuFileEncrypt_Click();
  EXPECT_EQ(view.browsed[1].initialFolder, documents);
}

TEST_F(MainForm, BrowsingAndDroppingFiles) {
  test::WriteFileBytes(Data("report.doc"), "plain");
  Start("");
  clsConfig().SetLastDir(SandboxDir() + "/data");
  view.nextBrowse = Data("report.doc");
  form.mnuFileEncrypt_Click();
  ASSERT_EQ(view.browsed.size(), 1u);
  EXPECT_EQ(view.browsed[0].title, "Select a File");
  EXPECT_EQ(view.browsed[0].filter, "All Files (*.*)|*.*");
  EXPECT_EQ(view.browsed[0].initialFolder, SandboxDir() + "/data");
  EXPECT_TRUE(view.browsed[0].mustExist);
  EXPECT_EQ(C("txtEncFile").text, Data("report.sva"));

  // Cancel keeps the path.
  view.nextBrowse.reset();
  form.btnBrowseFile_Click();
  EXPECT_EQ(view.browsed[1].initialName, "report.doc");
  EXPECT_EQ(C("txtFile").text, Data("report.doc"));

  form.mnuFileDecrypt_Click();
  EXPECT_EQ(view.browsed[2].title, "Select an Encrypted File");
  EXPECT_EQ(view.browsed[2].filter, "Encrypted Files (*.sva)|*.sva");
  EXPECT_TRUE(view.browsed[2].mustExist);
  form.btnBrowseFile_Click();  // the file a decryption writes need not exist
  EXPECT_FALSE(view.browsed[3].mustExist);

  form.FileDropped(Data("dropped.SVA"));
  EXPECT_EQ(form.GetCurrentMode(), "Decrypt");
  EXPECT_EQ(C("txtEncFile").text, Data("dropped.SVA"));
  form.FileDropped(Data("notes.txt"));
  EXPECT_EQ(form.GetCurrentMode(), "Encrypt");
  EXPECT_EQ(C("txtFile").text, Data("notes.txt"));
  EXPECT_EQ(C("txtEncFile").text, Data("notes.sva"));
}

TEST_F(MainForm, OptionsChangesAreShownAfterTheDialog) {
  Start("");
  view.onOptions = [](forms::frmOptions& dialog) {
    dialog.cmbAlgorithm_Click(0);  // 3DES
    dialog.btnCancel_Click();
  };
  form.mnuToolsOptions_Click();
  EXPECT_EQ(Selected("cmbAlgorithm"), "AES (256-bit)");

  test::ImportOwnDigitalID(false);
  view.onOptions = [](forms::frmOptions& dialog) {
    dialog.cmbAlgorithm_Click(1);
    dialog.btnSelect_Click();  // the scripted selection below
    dialog.btnOK_Click();
  };
  view.onSelect = [](forms::frmSelectDigitalID& dialog) {
    dialog.SelectRow(0, true);
    dialog.btnOK_Click();
  };
  form.mnuToolsOptions_Click();
  EXPECT_EQ(Selected("cmbAlgorithm"), "3DES (168-bit)");
  ASSERT_EQ(form.AccessRows().size(), 1u);
  EXPECT_FALSE(form.AccessRows()[0].name.empty());

  // The new defaults apply; the access the user chose for this file stays.
  form.optAccess_Click(1);
  form.TextChanged("txtPassword", "typed already");
  view.onOptions = [](forms::frmOptions& dialog) {
    dialog.chkCompressFile_Click(0);
    dialog.btnOK_Click();
  };
  form.mnuToolsOptions_Click();
  EXPECT_EQ(C("chkCompressFile").value, 0);
  EXPECT_EQ(C("optAccess(1)").value, 1);
  EXPECT_TRUE(C("txtPassword").enabled);
  EXPECT_EQ(C("txtPassword").text, "typed already");
  EXPECT_TRUE(form.Parameters().m_bPwdRequired);
}

TEST_F(MainForm, HelpMenuOpensTheDocumentsAndTheAboutBox) {
  // The documents are shown in the program's own window, whatever the
  // desktop would open them with.
  test::FakeDesktop("");
  Start("");
  form.mnuHelpReadMe_Click();
  form.mnuHelpLicense_Click();
  const std::string folder = platform::ProgramFolder();
  EXPECT_EQ(view.documents, (std::vector<std::string> {"Sealvane - ReadMe: " + folder + "/ReadMe.txt",
                                                       "Sealvane - License: " + folder + "/License.htm"}));
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
  EXPECT_FALSE(fs::exists(SandboxDir() + "/opened.log"));
  view.documentsShown = false;
  form.mnuHelpReadMe_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to launch ReadMe.txt.\r" + folder + "/ReadMe.txt cannot be read.");
  ui.boxes.clear();
  form.mnuHelpAbout_Click();
  EXPECT_EQ(view.aboutVersion, "1.1.0.518");
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
}

TEST_F(MainForm, CertificateManagerIsStartedAndItsFailureReported) {
  Start("");
  form.mnuToolsLaunchCertMgr_Click();
  EXPECT_EQ(view.certManagerLaunches, 1);
  EXPECT_TRUE(ui.boxes.empty());
  view.certManagerError = platform::rt::kFileNotFound;
  form.mnuToolsLaunchCertMgr_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to launch the Certificate Manager.\rFile not found. Error Number: 53");
  EXPECT_EQ(ui.boxes[0].title, "Error!");
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

TEST_F(MainForm, HelpTopicsKeepsOneViewerThatClosesWithTheWindow) {
  Start("");
  form.mnuHelpTopics_Click();
  form.mnuHelpTopics_Click();
  ASSERT_EQ(view.helpShown.size(), 2u);
  EXPECT_EQ(view.helpShown[0], platform::ProgramFolder() + "/SealvaneHelp.qch#Help Web/Intro.htm");
  EXPECT_EQ(form.HelpWindow(), view.helpNext);
  EXPECT_TRUE(ui.boxes.empty());
  const int pending = ui.pendingCalls;
  form.Unload();
  EXPECT_EQ(view.helpOpen, 0u);
  EXPECT_GT(ui.pendingCalls, pending);
  // A viewer the user closed is left alone.
  form.mnuHelpTopics_Click();
  view.helpOpen = 0;
  form.Unload();
  EXPECT_EQ(form.HelpWindow(), 0u);
}

TEST_F(MainForm, HelpThatCannotBeShownSaysSo) {
  Start("");
  view.helpNext = 0;
  form.mnuHelpTopics_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to display Help.");
  EXPECT_EQ(ui.boxes[0].title, "Error!");
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

// A user who ticks "Do not ask again" on every box that offers it.
class TickingUi : public test::FakeUiPort {
 public:
  MsgResult ShowMessageBox(const MessageBoxRequest& request) override {
    if (request.checked != nullptr) *request.checked = tick;
    return FakeUiPort::ShowMessageBox(request);
  }
  bool tick = false;
};

TEST(LegacyCiphers, WeakOnesAndLargeKeysAreQuestionedBeforeEncrypting) {
  clsConfig().SetWelcomed(true);
  fs::create_directories(SandboxDir() + "/data");
  const std::string plain = SandboxDir() + "/data/report.doc";
  const std::string archive = SandboxDir() + "/data/report.sva";
  test::WriteFileBytes(plain, "plain");
  const ByteArray own = test::ImportOwnDigitalID();  // a 1024-bit key
  TickingUi ui;
  test::FakeMainView view;
  frmMain form(ui);
  form.AttachView(&view);
  ASSERT_TRUE(modMain::Startup(ui, form, [] {}, "/e \"" + plain + "\""));
  form.cmbAlgorithm_Click(AlgorithmIndexIn(form.Control("cmbAlgorithm"), 2));  // DES

  // Weak: asked first; No encrypts nothing.
  ui.Answer(MsgResult::No);
  form.btnOK_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].title, "Weak Cipher");
  EXPECT_EQ(ui.boxes[0].text.rfind("DES (56-bit) is a weak cipher", 0), 0u);
  EXPECT_EQ(ui.boxes[0].checkBox, "Do not ask again");
  EXPECT_FALSE(fs::exists(archive));
  // Yes, and "Do not ask again": encrypted, and never asked again.
  ui.tick = true;
  ui.Answer(MsgResult::Yes);
  form.btnOK_Click();
  EXPECT_TRUE(fs::exists(archive));
  bool warn = true;
  clsConfig().GetWarnWeakCipher(warn);
  EXPECT_FALSE(warn);
  fs::remove(archive);
  ui.boxes.clear();
  form.btnOK_Click();
  EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
  EXPECT_TRUE(fs::exists(archive));
  fs::remove(archive);

  // A recipient with a 2048-bit key: the other platform could not open it,
  // which is said whatever the setting, with the cipher to use instead.
  test::AddToAddressBook("sva/certs/recipient1.der");
  view.onSelect = [](forms::frmSelectDigitalID& dialog) {
    dialog.SelectRow(0, true);
    dialog.btnOK_Click();
  };
  form.btnSelectAccess_Click();
  ui.boxes.clear();
  ui.Answer(MsgResult::No);
  form.btnOK_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_NE(ui.boxes[0].text.find("2048-bit key"), std::string::npos) << ui.boxes[0].text;
  EXPECT_NE(ui.boxes[0].text.find("choose 3DES (168-bit)"), std::string::npos);
  EXPECT_EQ(ui.boxes[0].defaultButton, 2) << "No by default";
  EXPECT_FALSE(fs::exists(archive));

  // AES and 3DES are not questioned.
  for (const std::int32_t cipher : {kCipherAes256, 5}) {
    ui.boxes.clear();
    form.cmbAlgorithm_Click(AlgorithmIndexIn(form.Control("cmbAlgorithm"), cipher));
    form.btnOK_Click();
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
    EXPECT_TRUE(fs::exists(archive));
    fs::remove(archive);
  }
}

}  // namespace
}  // namespace sealvane

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using forms::frmMain;
using forms::modMain;
using test::SandboxDir;

// Several files in the window: one list, one question for the settings, one
// job window, a summary of what was not done.
class ManyFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    clsConfig().SetWelcomed(true);
    fs::create_directories(SandboxDir() + "/data");
    form.AttachView(&view);
  }
  std::string Data(const std::string& name) const { return SandboxDir() + "/data/" + name; }
  const forms::ControlState& C(const std::string& name) const { return form.Control(name); }

  // Password, 3DES: quick, and no question about the cipher.
  void EncryptSettings() {
    form.optAccess_Click(1);
    form.cmbAlgorithm_Click(forms::AlgorithmIndexIn(C("cmbAlgorithm"), 5));
    form.TextChanged("txtPassword", "Correct Horse 9");
    form.TextChanged("txtConfirmPassword", "Correct Horse 9");
  }

  // What one archive gives back, decrypted by the job on its own.
  std::string Opened(const std::string& archive, const std::string& into) {
    test::FakeUiPort quiet;
    clsParameters p = test::DecryptParameters(archive, "Correct Horse 9", into);
    frmDecrypt job(quiet);
    if (!job.Initialize(p)) return "(refused)";
    job.Run();
    return job.Result() == 0 ? test::ReadFileBytes(into) : "(failed)";
  }

  test::FakeUiPort ui;
  test::FakeMainView view;
  frmMain form {ui};
};

TEST_F(ManyFiles, AFolderChosenForSecureDeleteGoesAfterOneQuestion) {
  fs::create_directories(Data("old letters/2019"));
  test::WriteFileBytes(Data("old letters/2019/a.txt"), "letter");
  view.nextBrowse = Data("old letters/");
  form.mnuFileSecureDeleteFolder_Click();
  ASSERT_FALSE(view.browsed.empty());
  EXPECT_TRUE(view.browsed.back().folder);
  EXPECT_FALSE(view.browsed.back().several);
  EXPECT_EQ(form.GetCurrentMode(), forms::kModeSecureDelete);
  EXPECT_EQ(C("txtFile").text, Data("old letters"));
  ui.Answer(MsgResult::Yes);
  form.btnOK_Click();
  ASSERT_EQ(view.jobCaptions.size(), 1u);
  EXPECT_EQ(ui.boxes.front().text.rfind("Are you sure you want to delete the folder " + Data("old letters") +
                                            " and everything in it (1 file, 6 bytes)?",
                                        0),
            0u)
      << ui.boxes.front().text;
  EXPECT_FALSE(fs::exists(Data("old letters")));
  EXPECT_EQ(C("Status").text.rfind("Securely deleted old letters, 6 bytes, ", 0), 0u) << C("Status").text;
}

TEST_F(ManyFiles, CommandLineDropAndBrowseGiveOneList) {
  std::vector<std::string> files;
  std::string mode;
  EXPECT_TRUE(forms::SeveralFiles({"/e", "a", "b"}, files, mode));
  EXPECT_EQ(files, (std::vector<std::string> {"a", "b"}));
  EXPECT_EQ(mode, forms::kModeEncrypt);
  EXPECT_TRUE(forms::SeveralFiles({"a.sva", "b.sva"}, files, mode));
  EXPECT_EQ(mode, "");
  EXPECT_FALSE(forms::SeveralFiles({"/e", "a"}, files, mode));
  EXPECT_FALSE(forms::SeveralFiles({"/d", "a", "b"}, files, mode));

  for (const char* name : {"a.txt", "b.txt"}) test::WriteFileBytes(Data(name), "text");
  fs::create_directories(Data("folder"));
  ASSERT_TRUE(modMain::Startup(ui, form, [] {}, "", {Data("a.txt"), Data("b.txt"), Data("folder/"), Data("a.txt")},
                               forms::kModeEncrypt));
  EXPECT_EQ(form.GetCurrentMode(), forms::kModeEncrypt);
  EXPECT_TRUE(C("lstFiles").visible);
  EXPECT_EQ(C("lstFiles").items, (std::vector<std::string> {Data("a.txt"), Data("b.txt"), Data("folder")}))
      << "once each, folders without their slash";
  EXPECT_EQ(C("txtFile").text, "2 files and 1 folder, listed below");
  EXPECT_EQ(C("FileSize").text, "2 files (8 bytes) and 1 folder");
  EXPECT_TRUE(C("txtFile").readOnly);
  // Archives alone dropped: Decrypt; one file chosen again: the list goes.
  form.FilesDropped({Data("x.sva"), Data("y.sva")});
  EXPECT_EQ(form.GetCurrentMode(), forms::kModeDecrypt);
  EXPECT_EQ(C("txtEncFile").text, "2 encrypted files, listed below");
  view.nextBrowse = Data("a.txt");
  form.ToolbarButtonClick(forms::kModeEncrypt);
  EXPECT_FALSE(C("lstFiles").visible);
  form.btnBrowseFile_Click();
  EXPECT_FALSE(C("lstFiles").visible);
  EXPECT_EQ(C("txtFile").text, Data("a.txt"));
  EXPECT_TRUE(view.browsed.back().several) << "Browse in Encrypt mode takes several files";
}

TEST_F(ManyFiles, FilesAndFoldersAreCountedAsWhatTheyAre) {
  test::WriteFileBytes(Data("a.txt"), "text");
  fs::create_directories(Data("pics"));
  test::WriteFileBytes(Data("pics/p.raw"), "picture");
  test::WriteFileBytes(Data("empty.txt"), "");  // refused: empty
  ASSERT_TRUE(modMain::Startup(ui, form, [] {}, ""));
  form.FilesDropped({Data("a.txt"), Data("pics"), Data("empty.txt")});
  EncryptSettings();
  form.btnOK_Click();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("Encrypted 2 of 3 files and folders.\r", 0), 0u) << ui.boxes[0].text;
  EXPECT_EQ(form.JobSummary().rfind("Encrypted 2 of 3 files and folders, ", 0), 0u) << form.JobSummary();
  EXPECT_TRUE(fs::exists(Data("pics.sva")));
}

TEST_F(ManyFiles, EachFileIntoItsArchiveOneFailureNamedAndReplaceAnsweredForAll) {
  test::WriteFileBytes(Data("one.txt"), "first file");
  test::WriteFileBytes(Data("two.txt"), "");  // refused: empty
  test::WriteFileBytes(Data("three.txt"), "third file");
  test::WriteFileBytes(Data("four.txt"), "fourth file");
  test::WriteFileBytes(Data("three.sva"), "old three");
  test::WriteFileBytes(Data("four.sva"), "old four");
  ASSERT_TRUE(modMain::Startup(ui, form, [] {}, ""));
  form.FilesDropped({Data("one.txt"), Data("two.txt"), Data("three.txt"), Data("four.txt")});
  EncryptSettings();
  ui.Answer(MsgResult::YesToAll);
  form.btnOK_Click();

  EXPECT_EQ(view.jobCaptions, (std::vector<std::string> {"Sealvane - Encrypt"})) << "one job window";
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, Data("three.sva") + " already exists.\rDo you want to replace it?");
  EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::YesNoToAll);
  EXPECT_EQ(ui.boxes[0].defaultButton, 3) << "No is the default";
  EXPECT_EQ(ui.boxes[1].text, "Encrypted 3 of 4 files.\r\rNot encrypted:\rtwo.txt: The file is empty.  Please specify a "
                              "non-empty file.");
  EXPECT_EQ(ui.boxes[1].icon, MsgIcon::Exclamation);
  for (const char* name : {"one", "three", "four"}) {
    EXPECT_EQ(Opened(Data(std::string(name) + ".sva"), Data(std::string(name) + ".out")),
              test::ReadFileBytes(Data(std::string(name) + ".txt")))
        << name;
  }
  EXPECT_FALSE(fs::exists(Data("two.sva")));
  EXPECT_NE(std::find(ui.files.begin(), ui.files.end(), "File 3 of 4: three.txt"), ui.files.end());
  EXPECT_EQ(form.JobSummary().rfind("Encrypted 3 of 4 files, ", 0), 0u) << form.JobSummary();
  // What failed is left in the window, to be tried again.
  EXPECT_FALSE(C("lstFiles").visible);
  EXPECT_EQ(C("txtFile").text, Data("two.txt"));

  // No to all: the archives there stay as they are.
  test::WriteFileBytes(Data("three.sva"), "old three");
  test::WriteFileBytes(Data("four.sva"), "old four");
  form.FilesDropped({Data("three.txt"), Data("four.txt")});
  ui.boxes.clear();  // the first file's old archive could not be read for its settings
  EncryptSettings();
  ui.Answer(MsgResult::NoToAll);
  form.btnOK_Click();
  EXPECT_EQ(test::ReadFileBytes(Data("three.sva")), "old three");
  EXPECT_EQ(test::ReadFileBytes(Data("four.sva")), "old four");
  ASSERT_EQ(ui.boxes.size(), 2u) << "asked once";
  EXPECT_EQ(ui.boxes[1].text.rfind("Encrypted 0 of 2 files.", 0), 0u) << ui.boxes[1].text;
}

TEST_F(ManyFiles, EachOriginalIsDeletedAfterItsOwnArchiveAndTheReportsComeOnce) {
  test::WriteFileBytes(Data("one.txt"), "first file");
  test::WriteFileBytes(Data("two.txt"), "second file");
  ASSERT_TRUE(modMain::Startup(ui, form, [] {}, ""));
  form.FilesDropped({Data("one.txt"), Data("two.txt")});
  EncryptSettings();
  form.chkDeleteOriginal_Click(1);
  form.btnOK_Click();
  EXPECT_FALSE(fs::exists(Data("one.txt")));
  EXPECT_FALSE(fs::exists(Data("two.txt")));
  EXPECT_EQ(Opened(Data("one.sva"), Data("one.out")), "first file");
  EXPECT_EQ(Opened(Data("two.sva"), Data("two.out")), "second file");
  // The two deletion reports in one box, after the job window.
  ASSERT_EQ(ui.boxes.size(), 1u) << ui.boxes.back().text;
  const std::string& text = ui.boxes[0].text;
  EXPECT_EQ(text.rfind("Encrypted 2 of 2 files.\r\rNotes:\rone.txt: ", 0), 0u) << text;
  EXPECT_NE(text.find("\rtwo.txt: " + Data("two.sva") + " was read back and gives the original back exactly. "),
            std::string::npos)
      << text;
}

TEST_F(ManyFiles, CancelInTheThirdOfFiveKeepsTheFirstTwoAndStartsNoOther) {
  const std::vector<std::string> names = {"f1.txt", "f2.txt", "f3.bin", "f4.txt", "f5.txt"};
  std::vector<std::string> files;
  for (const auto& name : names) {
    test::WriteFileBytes(Data(name), name == "f3.bin" ? std::string(8 << 20, 'x') : "small " + name);
    files.push_back(Data(name));
  }
  ASSERT_TRUE(modMain::Startup(ui, form, [] {}, ""));
  form.FilesDropped(files);
  EncryptSettings();
  form.chkCompressFile_Click(0);
  ui.onPendingMessages = [&](int) {
    if (view.shownJob && !ui.files.empty() && ui.files.back() == "File 3 of 5: f3.bin") view.shownJob->Cancel();
  };
  form.btnOK_Click();
  EXPECT_TRUE(fs::exists(Data("f1.sva")));
  EXPECT_TRUE(fs::exists(Data("f2.sva")));
  for (const char* name : {"f3.sva", "f4.sva", "f5.sva"}) EXPECT_FALSE(fs::exists(Data(name))) << name;
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(Data(""))) entries += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(entries, 7u) << "the five files and two archives, nothing half written";
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, "Encrypted 2 of 5 files.\r\rNot encrypted:\rf3.bin: cancelled; nothing of it was "
                                  "kept\rf4.txt: not started (cancelled before it)\rf5.txt: not started (cancelled "
                                  "before it)");
  EXPECT_EQ(ui.boxes.back().icon, MsgIcon::Information);
  EXPECT_EQ(C("lstFiles").items, (std::vector<std::string> {Data("f3.bin"), Data("f4.txt"), Data("f5.txt")}));
}

TEST_F(ManyFiles, AFolderTypedIsEncryptedWholeAndComesBackAsAFolder) {
  fs::create_directories(Data("Project/src"));
  test::WriteFileBytes(Data("Project/src/main.c"), "int main() { return 0; }");
  test::WriteFileBytes(Data("Project/notes.txt"), "notes");
  ASSERT_TRUE(modMain::Startup(ui, form, [] {}, ""));
  form.TextChanged("txtFile", Data("Project/"));
  ASSERT_TRUE(form.txtFile_Validate(true));
  EXPECT_EQ(C("txtEncFile").text, Data("Project.sva"));
  form.optAccess_Click(1);
  form.TextChanged("txtPassword", "Correct Horse 9");
  form.TextChanged("txtConfirmPassword", "Correct Horse 9");
  form.btnOK_Click();
  ASSERT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
  ASSERT_TRUE(fs::exists(Data("Project.sva")));
  fs::rename(Data("Project"), Data("Project.old"));

  form.FileDropped(Data("Project.sva"));
  form.chkOpenFile_Click(0);
  form.TextChanged("txtPassword", "Correct Horse 9");
  form.btnOK_Click();
  ASSERT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
  EXPECT_EQ(test::ReadFileBytes(Data("Project/src/main.c")), "int main() { return 0; }");
  EXPECT_EQ(test::ReadFileBytes(Data("Project/notes.txt")), "notes");
  // A folder has no one size to give.
  EXPECT_TRUE(std::regex_match(form.JobSummary(), std::regex("Decrypted Project\\.sva into Project, [0-9.]+ s")))
      << form.JobSummary();
}

TEST_F(ManyFiles, SeveralArchivesEachBesideItselfAndADamagedOneNamed) {
  std::vector<std::string> archives;
  for (const char* name : {"a.txt", "b.txt"}) {
    test::WriteFileBytes(Data(name), std::string("content of ") + name);
    clsParameters p;
    p.m_eAlg = 5;
    p.m_eCSP = 3;
    p.m_bPwdRequired = true;
    p.m_strPassword = "Correct Horse 9";
    p.m_strFilePath = Data(name);
    p.m_strEncFilePath = ReplaceExtension(Data(name), ".sva");
    test::FakeUiPort quiet;
    frmEncrypt job(quiet);
    ASSERT_TRUE(job.Initialize(p));
    job.Run();
    fs::remove(Data(name));
    archives.push_back(p.m_strEncFilePath);
  }
  test::WriteFileBytes(Data("junk.sva"), "not an archive at all");
  archives.push_back(Data("junk.sva"));
  ASSERT_TRUE(modMain::Startup(ui, form, [] {}, ""));
  form.FilesDropped(archives);
  ui.boxes.clear();
  form.TextChanged("txtPassword", "Correct Horse 9");
  form.btnOK_Click();
  EXPECT_EQ(view.jobCaptions, (std::vector<std::string> {"Sealvane - Decrypt"}));
  EXPECT_EQ(test::ReadFileBytes(Data("a.txt")), "content of a.txt");
  EXPECT_EQ(test::ReadFileBytes(Data("b.txt")), "content of b.txt");
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, "Decrypted 2 of 3 files.\r\rNot decrypted:\rjunk.sva: Failed to open encrypted file - "
                                  "invalid format.");
}

}  // namespace
}  // namespace sealvane
