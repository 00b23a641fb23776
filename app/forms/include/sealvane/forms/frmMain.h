// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: gathers what a job needs in one of three modes (Encrypt,
// Decrypt, SecureDelete), checks it, and hands it to the job window.
#pragma once

#include <cstdint>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/archive/DeletionReport.h"
#include "sealvane/archive/JobWindow.h"
#include "sealvane/archive/UiPort.h"
#include "sealvane/archive/ZlibLibrary.h"
#include "sealvane/archive/clsParameters.h"
#include "sealvane/forms/Form.h"
#include "sealvane/forms/frmAbout.h"
#include "sealvane/forms/frmGenDigitalID.h"
#include "sealvane/forms/frmOptions.h"
#include "sealvane/forms/frmSelectDigitalID.h"

namespace sealvane::forms {

inline constexpr const char* kModeEncrypt = "Encrypt";
inline constexpr const char* kModeDecrypt = "Decrypt";
inline constexpr const char* kModeSecureDelete = "SecureDelete";

// What the open-file dialog is asked to show.
struct BrowseRequest {
  std::string title;
  std::string filter;  // "Description (*.ext)|*.ext"
  std::string initialFolder;
  std::string initialName;
  bool mustExist = false;  // else only its folder must exist
  bool several = false;    // more than one file may be chosen
  bool folder = false;     // a folder is chosen instead of a file
};

// One row of the access list.
struct AccessRow {
  std::string name;
  std::string email;
  std::string tag;
};

class frmMainView : public FormView {
 public:
  // The chosen file, or nothing when the dialog was cancelled.
  virtual std::optional<std::string> BrowseForFile(const BrowseRequest& request) = 0;
  // The chosen files (or folder), none when the dialog was cancelled.
  virtual std::vector<std::string> BrowseForFiles(const BrowseRequest& request) {
    const auto chosen = BrowseForFile(request);
    return chosen ? std::vector<std::string> {*chosen} : std::vector<std::string> {};
  }
  // Shows the job window modally; its first activation runs the job.
  virtual void ShowJob(JobWindow& job) = 0;
  virtual void ShowSelectDigitalID(frmSelectDigitalID& dialog) = 0;
  virtual void ShowOptions(frmOptions& dialog) = 0;
  virtual void ShowGenDigitalID(frmGenDigitalID& dialog) = 0;
  virtual void ShowAbout(frmAbout& dialog) = 0;
  // Starts the certificate manager window as a program of its own, not
  // waiting for it: 0, or the run-time error number of the failure.
  virtual std::int32_t LaunchCertificateManager() = 0;
  // Shows the help viewer (a new one, or the one already open) with the
  // compiled help file at a topic: its window handle, 0 when it could not
  // be shown.
  virtual std::uintptr_t ShowHelp(const std::string& helpFile, const std::string& topic) = 0;
  // Whether a help window handle still names an open window, and closing it.
  virtual bool HelpWindowExists(std::uintptr_t handle) = 0;
  virtual void CloseHelpWindow(std::uintptr_t handle) = 0;
  // Shows a document shipped with the program (the ReadMe, the license) in
  // a window of the program's own; false when it cannot be shown.
  virtual bool ShowDocument(const std::string& /*path*/, const std::string& /*title*/) { return false; }
  // A job ended: what it did, in a sentence (in the status bar too); the
  // view tells the desktop when the user is elsewhere.
  virtual void JobEnded(const std::string& /*summary*/, bool /*done*/) {}
};

// The compiled help beside the program, and its first topic.
inline constexpr const char* kHelpFile = "SealvaneHelp.qch";
inline constexpr const char* kHelpIntroTopic = "Help Web/Intro.htm";

class frmMain : public Form {
 public:
  frmMain(UiPort& ui, CipherLibrary& library = CipherLibrary::Default(), ZlibLibrary& zlib = ZlibLibrary::Default());

  void AttachView(frmMainView* view) noexcept {
    m_mainView = view;
    Form::AttachView(view);
  }

  // Public operations.
  void ProcessCmd(std::string i_strCmd);
  void SetToolBar(const std::string& i_strButtonKey);
  void SetForm(const std::string& i_strButtonKey);
  std::int32_t GetParameters(const std::string& i_strButtonKey, bool i_bKeepFile);

  // A mode prepared for a file, as the command line prepares it: Encrypt
  // with the archive's name beside the file, Decrypt from an archive (the
  // plain file next to it under the stored name), or Secure Delete.
  void PrepareEncrypt(const std::string& i_strFilePath);
  void PrepareDecrypt(const std::string& i_strEncFilePath);
  void PrepareSecureDelete(const std::string& i_strFilePath);

  std::string GetCurrentMode() const;
  // The working state, as a record (the password included).
  clsParameters Parameters() const;
  const std::vector<AccessRow>& AccessRows() const noexcept { return m_rows; }
  // The report of the last secure delete that finished.
  const std::optional<DeletionReport>& LastDeletion() const noexcept { return m_oLastDeletion; }
  std::int32_t ProviderLevel() const noexcept { return m_eProviderLevel; }
  bool Activated() const noexcept { return m_bActivated; }

  // Events. Load returns false when it failed (the failure was shown).
  bool Load();
  void Activate();
  void ToolbarButtonClick(const std::string& i_strKey);
  void mnuFileEncrypt_Click();
  void mnuFileEncryptFolder_Click();
  void mnuFileSecureDeleteFolder_Click();
  void mnuFileDecrypt_Click();
  void mnuFileSecureDelete_Click();
  void btnBrowseFile_Click();
  void btnBrowseEncFile_Click();
  // The user leaves the File box (i_bWarn false) or presses OK: in Encrypt
  // mode a typed or pasted path is taken as Browse takes a file. False when
  // it names no file (said when i_bWarn).
  bool txtFile_Validate(bool i_bWarn);
  void cmbAlgorithm_Click(int i_nIndex);
  void chkCompressFile_Click(int i_nValue);
  void chkOpenFile_Click(int i_nValue);
  void chkDeleteOriginal_Click(int i_nValue);
  void optAccess_Click(int i_nIndex);
  void btnSelectAccess_Click();
  void lvwAccess_Click();
  // The user edits a text box (txtFile, txtEncFile, txtPassword,
  // txtConfirmPassword).
  void TextChanged(const std::string& i_strControl, const std::string& i_strText);
  void btnOK_Click();
  void btnExit_Click();
  // The window unloads: an open help viewer closes with it.
  void Unload();
  std::uintptr_t HelpWindow() const noexcept { return m_hHelpWindow; }
  void mnuToolsGenDigitalID_Click();
  // Shows the Generate Digital ID dialog and refreshes when it made one.
  void ShowGenerateDigitalID();
  void mnuToolsLaunchCertMgr_Click();
  void mnuToolsOptions_Click();
  void mnuHelpTopics_Click();
  void mnuHelpReadMe_Click();
  void mnuHelpLicense_Click();
  void mnuHelpAbout_Click();
  // A file dropped on the window: Decrypt for an archive, else Encrypt.
  void FileDropped(const std::string& i_strPath);
  // Several files (and folders) at once: dropped, chosen, or named on the
  // command line. Archives only: Decrypt, each beside itself; else Encrypt,
  // each into its own archive beside it. One path is as FileDropped.
  void FilesDropped(const std::vector<std::string>& i_colPaths);
  // Several files for Encrypt or Decrypt (one: as PrepareEncrypt or
  // PrepareDecrypt).
  void PrepareMany(const std::string& i_strMode, const std::vector<std::string>& i_colPaths);
  // The files OK works on one after the other; empty for one file.
  const std::vector<std::string>& Files() const noexcept { return m_colFiles; }
  // The encrypted files made or opened lately that are still there, newest
  // first; one of them chosen (Decrypt mode), and the list emptied.
  std::vector<std::string> RecentFiles() const;
  void mnuFileRecent_Click(const std::string& i_strPath);
  void mnuFileClearRecent_Click();
  // The sentence about the last job that ended; empty before the first.
  const std::string& JobSummary() const noexcept { return m_strJobSummary; }

  // Sets the other recipients directly (the terminal names them by
  // thumbprint instead of choosing them in the selection dialog).
  void SetOtherDigitalIDs(std::vector<clsDigitalID> i_colDigitalIDs);
  // Code pages to try a password in, besides those of the settings.
  void SetPasswordCodePages(std::vector<std::int32_t> i_colCodePages) { m_colExtraCodePages = std::move(i_colCodePages); }
  // The permission bits a decrypted file gets instead of private (0600).
  void SetFileMode(std::int32_t i_nMode) noexcept { m_nFileMode = i_nMode; }
  // Refreshes after a dialog changed the settings or the stores.
  void ShowShippedDocument(const std::string& i_strName, const std::string& i_strTitle);
  void RefreshAfterDialog();

 private:
  void ShowParameters(const clsParameters& i_oParameters);
  clsParameters BuildParameters() const;
  std::int32_t ReadArchiveParameters(clsParameters& io_oParameters, clsFileDesc& o_oFileDesc);
  void RefreshRecipients(clsParameters& io_oParameters);
  void GetDefaultParameters(const std::string& i_strMode, clsParameters& o_oParameters);
  void FillAccessList();
  void UpdateStatusBar();
  BrowseRequest BrowseRequestFor(const std::string& i_strMode, bool i_bEncFile, const std::string& i_strPath) const;
  std::string BrowseForFile(const std::string& i_strMode, bool i_bEncFile, const std::string& i_strPath);
  // Encrypt mode: one or more files chosen (several: listed); false when
  // the dialog was cancelled.
  bool BrowseToEncrypt(bool i_bFolder);
  void SetDefaultRecipient();
  bool CheckDefaultDigitalID();
  // Asks before encrypting with RC2 (40-bit) or DES: weak, and for digital
  // IDs with keys over 1024 bits not readable on the other platform.
  bool ConfirmLegacyCipher();
  std::int32_t CheckCanDecrypt();
  // False when a check stopped the hand-over to the job window.
  bool OKEncrypt();
  bool OKDecrypt();
  // The password boxes, the default digital ID and a weak cipher, checked
  // before encrypting; false when the user has something to change.
  bool CheckEncryptAccess();
  // OK with several files: the settings checked once, then one job window
  // for all of them, and what was not done said at the end.
  void OKMany(const std::string& i_strMode);
  // Shows the list of files (several) or hides it.
  void ShowFileList(const std::string& i_strMode);
  void ClearPasswords(bool i_bConfirmToo);
  // After a job: the sentence for the status bar and the desktop, and the
  // list of recent encrypted files.
  void JobEnded(const std::string& i_strMode, std::int32_t i_nResult, const std::string& i_strFrom,
                const std::string& i_strInto, std::int64_t i_nBytes, std::chrono::steady_clock::duration i_dTook);
  static void RememberRecent(const std::string& i_strArchive, bool i_bAdd);
  // The note under the password box when encrypting with a password.
  void UpdateStrength();
  void SetAccessEnabled(const std::string& i_strMode);

  UiPort& m_ui;
  CipherLibrary& m_library;
  ZlibLibrary& m_zlib;
  frmMainView* m_mainView = nullptr;
  std::uintptr_t m_hHelpWindow = 0;  // the help viewer opened by Help Topics

  bool m_bActivated = false;
  std::int32_t m_eProviderLevel = 0;
  std::string m_strPressedKey;  // the pressed toolbar button; empty before the first

  // The working parameters.
  std::int32_t m_eCSP = 0;
  std::int32_t m_eAlg = 0;
  bool m_bStrongCiphers = true;  // the cipher list holds the strong legacy ciphers
  bool m_bNameFromArchive = false;  // decrypting into a folder under the stored name
  bool m_bCompressFile = false;
  bool m_bOpenFile = false;
  bool m_bDeleteOriginal = false;
  bool m_bSigned = false;
  bool m_bPwdRequired = false;
  std::string m_strPassword;
  clsDigitalID m_oDefaultDigitalID;
  std::vector<clsDigitalID> m_colOtherDigitalIDs;
  std::string m_strFilePath;
  std::string m_strEncFilePath;
  std::vector<std::string> m_colFiles;  // several inputs of m_strFilesMode
  std::string m_strFilesMode;

  std::vector<AccessRow> m_rows;
  std::optional<DeletionReport> m_oLastDeletion;
  std::string m_strJobSummary;
  std::vector<std::int32_t> m_colExtraCodePages;
  std::int32_t m_nFileMode = -1;
};

}  // namespace sealvane::forms
