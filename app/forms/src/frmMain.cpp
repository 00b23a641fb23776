// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/frmMain.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <strings.h>

#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/Password.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/frmSecureDelete.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/forms/DigitalIDs.h"
#include "sealvane/forms/PasswordStrength.h"
#include "sealvane/forms/modMain.h"
#include "sealvane/platform/DynamicLibrary.h"
#include "sealvane/modern/KeyWrap.h"
#include "sealvane/platform/Environment.h"
#include "sealvane/platform/FileInfo.h"
#include "sealvane/platform/RuntimeError.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::forms {
namespace {

constexpr std::int32_t kInvalidPropertyValue = 380;

// The controls that only the Encrypt and Decrypt modes show.
const char* const kJobControls[] = {
    "lblEncFile",    "txtEncFile",   "btnBrowseEncFile", "chkCompressFile",    "chkOpenFile",       "lblAlgorithm",
    "cmbAlgorithm",  "optAccess(0)", "optAccess(1)",     "lblAccess",          "lvwAccess",         "btnSelectAccess",
    "lblPassword",   "txtPassword",  "lblConfirmPassword", "txtConfirmPassword"};


bool HasArchiveExtension(const std::string& path) {
  return path.size() > 4 && ::strcasecmp(path.c_str() + path.size() - 4, ".sva") == 0;
}

// A path as the user typed or pasted it: a file manager's file:// address
// (percent-escapes decoded), a leading ~ for the home folder, and a
// relative path taken from the working folder.
std::string TypedPath(const std::string& i_strTyped) {
  std::string path = Trim(i_strTyped);
  if (path.rfind("file://", 0) == 0) {
    std::string decoded;
    const std::string rest = path.substr(7);
    const std::size_t start = rest.find('/');  // past an empty or local host
    for (std::size_t i = start == std::string::npos ? rest.size() : start; i < rest.size(); ++i) {
      if (rest[i] == '%' && i + 2 < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
          std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
        decoded.push_back(static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16)));
        i += 2;
      } else {
        decoded.push_back(rest[i]);
      }
    }
    path = decoded;
  } else if (path == "~" || path.rfind("~/", 0) == 0) {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') path = home + path.substr(1);
  }
  if (path.empty()) return path;
  std::error_code ec;
  const auto absolute = path[0] == '/' ? std::filesystem::path(path) : std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

// "3 files and 1 folder", with the files' size when asked for.
std::string CountOfItems(const std::vector<std::string>& items, bool withSize) {
  std::size_t folders = 0;
  std::int64_t bytes = 0;
  for (const std::string& item : items) {
    const platform::FileStatus status = platform::StatusOf(item);
    if (status.kind == platform::FileKind::Folder) {
      ++folders;
    } else if (status.kind == platform::FileKind::Regular) {
      bytes += status.size;
    }
  }
  const std::size_t files = items.size() - folders;
  const auto count = [](std::size_t n, const char* one) {
    return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
  };
  std::string text;
  if (files > 0) {
    text = count(files, "file");
    if (withSize) text += " (" + FormatByteCount(bytes, platform::LocaleDecimalSeparator()) + ")";
  }
  if (folders > 0) text += (text.empty() ? "" : " and ") + count(folders, "folder");
  return text;
}

}  // namespace

frmMain::frmMain(UiPort& ui, CipherLibrary& library, ZlibLibrary& zlib) : m_ui(ui), m_library(library), m_zlib(zlib) {
  Add("frmMain", "Sealvane");
  Add("Encrypt", "Encrypt", "Encrypt a file");
  Add("Decrypt", "Decrypt", "Decrypt a file");
  Add("SecureDelete", "Secure Delete", "Securely delete a file - overwrite it and then delete it");
  Add("lblFile", "File:");
  Add("txtFile", "", "The file.");
  Add("btnBrowseFile", "Browse...", "Browse for a file.");
  Add("lblEncFile", "Encrypted File:");
  Add("txtEncFile", "", "The encrypted file.");
  Add("btnBrowseEncFile", "Browse...", "Browse for an encrypted file.");
  Add("lstFiles", "", "The files to work on, one after the other, with the same settings.");
  Edit("lstFiles").visible = false;
  Add("chkCompressFile", "Compress file", "If this is checked, the file will be compressed before encrypting it.");
  Add("chkOpenFile", "Open file after decrypting it",
      "If this is checked, an attempt will be made to open the file after decrypting it.");
  Add("chkDeleteOriginal", "Securely delete the original after encrypting",
      "If this is checked, the encrypted file is read back and compared with the file (or folder), and then the "
      "file (or every file of the folder) is overwritten and deleted.");
  Add("lblAlgorithm", "Algorithm:");
  Add("cmbAlgorithm", "", "The algorithm to be used for file encryption.");
  Edit("cmbAlgorithm").value = -1;
  Add("optAccess(0)", "Access by Digital IDs", "The encrypted file can be accessed by any digital ID in the access list.");
  Add("optAccess(1)", "Access by Password", "The encrypted file can be accessed only by a password.");
  Add("lblAccess", "Digital IDs:");
  Add("lvwAccess", "", "A list of digital IDs that have access to the encrypted file.");
  Add("btnSelectAccess", "Select...", "Select digital IDs for the access list.");
  Add("lblPassword", "Password:");
  Add("txtPassword", "", "The password required to access the encrypted file.");
  Add("lblConfirmPassword", "Confirm Password:");
  Add("txtConfirmPassword", "", "Confirms the password.");
  Add("lblStrength", "", "How hard the password is to guess. Whoever has the encrypted file can try passwords "
                          "without limit, so choose one no program would try early: several words only you would pick.");
  Add("btnOK", "OK");
  Add("btnExit", "Exit");
  Add("Status", "");
  Add("FileSize", "", "File Size");
  Add("EncFileSize", "", "Encrypted File Size");
  Add("mnuFile", "&File");
  Add("mnuFileEncrypt", "&Encrypt...");
  Add("mnuFileEncryptFolder", "Encrypt F&older...");
  Add("mnuFileDecrypt", "&Decrypt...");
  Add("mnuFileSecureDelete", "&Secure Delete...");
  Add("mnuFileSecureDeleteFolder", "Secure Delete Fo&lder...");
  Add("mnuFileExit", "E&xit");
  Add("mnuTools", "&Tools");
  Add("mnuToolsGenDigitalID", "&Generate Digital ID...");
  Add("mnuToolsLaunchCertMgr", "&Certificate (Digital ID) Manager");
  Add("mnuToolsOptions", "&Options...");
  Add("mnuHelp", "&Help");
  Add("mnuHelpTopics", "&Help Topics");
  Add("mnuHelpReadMe", "Read&Me");
  Add("mnuHelpLicense", "&License Agreement");
  Add("mnuHelpAbout", "&About...");
}

// --- load, activation, modes -------------------------------------------------

bool frmMain::Load() {
  try {
    m_bActivated = false;
    std::int32_t level = 0;
    char message[SL_MESSAGE_SIZE] = {};
    m_library.SLGetCSP(&level, message);
    m_eProviderLevel = level;
    if (const std::string text = CutAtNull(std::string(message, sizeof(message))); !text.empty()) {
      ShowError(m_ui, text, 0);
    }
    Refresh();
    return true;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to load main form.");
    return false;
  }
}

void frmMain::Activate() {
  // Back in the window (from the certificate manager, say): recipients
  // whose certificates are gone from the address book leave the list.
  if (m_bActivated && GetCurrentMode() == kModeEncrypt && !m_bPwdRequired && !m_colOtherDigitalIDs.empty()) {
    const auto gone = [this](const clsDigitalID& id) {
      if (id.m_varThumbprint.size() != 20) return false;
      CertRecord record {};
      char message[SL_MESSAGE_SIZE] = {};
      return m_library.SLFindCert("AddressBook", id.m_varThumbprint.data(), &record, message) == 0;
    };
    const auto before = m_colOtherDigitalIDs.size();
    std::erase_if(m_colOtherDigitalIDs, gone);
    if (m_colOtherDigitalIDs.size() != before) {
      FillAccessList();
      Refresh();
    }
  }
  m_bActivated = true;
}

std::string frmMain::GetCurrentMode() const {
  if (m_strPressedKey == kModeEncrypt) return kModeEncrypt;
  if (m_strPressedKey == kModeDecrypt) return kModeDecrypt;
  return kModeSecureDelete;
}

void frmMain::SetToolBar(const std::string& i_strButtonKey) {
  m_strPressedKey = i_strButtonKey;
  for (const char* key : {kModeEncrypt, kModeDecrypt, kModeSecureDelete}) {
    Edit(key).value = i_strButtonKey == key ? 1 : 0;
  }
  Refresh();
}

void frmMain::SetForm(const std::string& i_strButtonKey) {
  const bool encrypt = i_strButtonKey == kModeEncrypt;
  const bool decrypt = i_strButtonKey == kModeDecrypt;
  const bool job = encrypt || decrypt;

  // 1. The cipher list: the strong ciphers need the enhanced provider, but
  //    an archive made with them can always be read.
  ControlState& list = Edit("cmbAlgorithm");
  if (job) {
    m_bStrongCiphers = decrypt || m_eProviderLevel > 1;
    list.items = AlgorithmList(m_bStrongCiphers);
    list.itemTips = AlgorithmTips(m_bStrongCiphers);
    list.value = -1;
  }
  // 2., 3.
  Edit("txtFile").text = m_strFilePath;
  Edit("txtEncFile").text = m_strEncFilePath;
  Edit("chkCompressFile").value = BoolToCheck(m_bCompressFile);
  Edit("chkOpenFile").value = BoolToCheck(m_bOpenFile);
  Edit("chkDeleteOriginal").value = BoolToCheck(m_bDeleteOriginal);
  if (job) {
    const int index = AlgorithmIndex(m_bStrongCiphers, m_eAlg);
    if (index < 0) {
      throw platform::RuntimeError(kInvalidPropertyValue, "Invalid property value");
    }
    list.value = index;
  }
  // 4. The access option; selecting it the way a click does once the window
  //    is active.
  const int option = m_bPwdRequired ? 1 : 0;
  const std::string optionName = "optAccess(" + std::to_string(option) + ")";
  const bool changed = Control(optionName).value != 1;
  Edit("optAccess(0)").value = option == 0 ? 1 : 0;
  Edit("optAccess(1)").value = option == 1 ? 1 : 0;
  if (changed && m_bActivated) optAccess_Click(option);
  // 5.
  FillAccessList();
  UpdateStatusBar();
  // 6.
  for (const char* name : kJobControls) Edit(name).visible = job;
  Edit("chkDeleteOriginal").visible = encrypt;
  UpdateStrength();
  // 7.
  if (encrypt || decrypt) {
    Edit("txtFile").readOnly = false;
    Edit("txtEncFile").readOnly = decrypt;
  }
  if (job) {
    Edit("chkOpenFile").enabled = true;
    for (const char* name : {"chkCompressFile", "lblAlgorithm", "cmbAlgorithm", "optAccess(0)", "optAccess(1)"}) {
      Edit(name).enabled = encrypt;
    }
    SetAccessEnabled(i_strButtonKey);
  }
  // 8.
  // Where the user types next: the password of an archive that needs one.
  if (m_bActivated) Focus(decrypt ? (m_bPwdRequired && !m_strEncFilePath.empty() ? "txtPassword" : "txtEncFile") : "txtFile");
  // 9.
  const bool intoFolder = decrypt && (m_strFilePath.empty() || m_strFilePath.back() == '/');
  Edit("txtFile").tooltip = intoFolder ? "The folder to decrypt into: the file takes the name the encrypted file stores."
                            : job      ? "The unencrypted file."
                                       : "The file to be deleted.";
  ShowFileList(i_strButtonKey);
  Refresh();
}

void frmMain::ShowFileList(const std::string& i_strMode) {
  // Several files belong to the mode they were given in.
  if (i_strMode != m_strFilesMode) m_colFiles.clear();
  ControlState& list = Edit("lstFiles");
  list.items = m_colFiles;
  list.visible = m_colFiles.size() > 1;
  if (!list.visible) return;
  if (i_strMode == kModeEncrypt) {
    Edit("txtFile").text = CountOfItems(m_colFiles, false) + ", listed below";
    Edit("txtEncFile").text = "Each into an archive of its own beside it (NAME.sva)";
  } else {
    Edit("txtEncFile").text = std::to_string(m_colFiles.size()) + " encrypted files, listed below";
    Edit("txtFile").text = "Each beside its encrypted file, under the name it stores";
  }
  Edit("txtFile").readOnly = true;
  Edit("txtEncFile").readOnly = true;
  Edit("txtFile").tooltip = "";
}

void frmMain::SetAccessEnabled(const std::string& i_strMode) {
  const bool encrypt = i_strMode == kModeEncrypt;
  const bool password = m_bPwdRequired;
  const auto colour = [](bool enabled) { return enabled ? Background::Window : Background::ButtonFace; };
  Edit("lblAccess").enabled = !password;
  ControlState& access = Edit("lvwAccess");
  access.enabled = !password;
  access.background = colour(!password);
  Edit("btnSelectAccess").enabled = !password && encrypt;
  for (const char* name : {"lblPassword", "txtPassword"}) {
    Edit(name).enabled = password;
    Edit(name).background = colour(password);
  }
  for (const char* name : {"lblConfirmPassword", "txtConfirmPassword"}) {
    Edit(name).enabled = password && encrypt;
    Edit(name).background = colour(password && encrypt);
  }
}

void frmMain::FillAccessList() {
  m_rows.clear();
  if (m_bPwdRequired) return;
  m_rows.push_back(AccessRow {m_oDefaultDigitalID.m_strName, m_oDefaultDigitalID.m_strEMailAddr, "0"});
  int tag = 1;
  for (const clsDigitalID& id : m_colOtherDigitalIDs) {
    m_rows.push_back(AccessRow {id.m_strName, id.m_strEMailAddr, std::to_string(tag++)});
  }
}

void frmMain::UpdateStatusBar() {
  Edit("Status").text = m_strJobSummary.empty() ? "Ready" : m_strJobSummary;
  if (m_colFiles.size() > 1 && GetCurrentMode() == m_strFilesMode) {
    // Several files: how many, and the files' size (a folder's would take
    // a walk through it).
    Edit("FileSize").text = CountOfItems(m_colFiles, true);
    Edit("EncFileSize").text = "";
    return;
  }
  Edit("FileSize").text = FileExists(m_strFilePath) ? "File Size: " + FormatFileSize(m_strFilePath) : "";
  Edit("EncFileSize").text = GetCurrentMode() != kModeSecureDelete && FileExists(m_strEncFilePath)
                                 ? "Enc. File Size: " + FormatFileSize(m_strEncFilePath)
                                 : "";
}

// --- choosing files ------------------------------------------------------------

BrowseRequest frmMain::BrowseRequestFor(const std::string& i_strMode, bool i_bEncFile,
                                        const std::string& i_strPath) const {
  BrowseRequest request;
  // The dialog opens in a folder that is there: the file's, the last one
  // used, the documents folder, the home folder.
  std::string last;
  clsConfig().GetLastDir(last);
  const char* home = std::getenv("HOME");
  for (const std::string& folder : {i_strPath.empty() ? std::string() : GetFolderOfPath(i_strPath, true), last,
                                    GetDocumentsDir(), std::string(home != nullptr ? home : "/")}) {
    if (!folder.empty() && platform::StatusOf(folder).kind == platform::FileKind::Folder) {
      request.initialFolder = folder;
      break;
    }
  }
  if (!i_strPath.empty()) request.initialName = FileExists(i_strPath) ? GetFileNameOfPath(i_strPath) : "";
  request.title = i_bEncFile ? "Select an Encrypted File" : "Select a File";
  request.filter = i_bEncFile ? "Encrypted Files (*.sva)|*.sva" : "All Files (*.*)|*.*";
  // The file the job reads must exist; for the one it writes, its folder.
  request.mustExist = i_bEncFile ? i_strMode == kModeDecrypt : i_strMode != kModeDecrypt;
  return request;
}

std::string frmMain::BrowseForFile(const std::string& i_strMode, bool i_bEncFile, const std::string& i_strPath) {
  const auto chosen = m_mainView ? m_mainView->BrowseForFile(BrowseRequestFor(i_strMode, i_bEncFile, i_strPath))
                                 : std::nullopt;
  // Cancel keeps the path the user had.
  return chosen ? *chosen : i_strPath;
}

bool frmMain::BrowseToEncrypt(bool i_bFolder) {
  if (!m_mainView) return false;
  BrowseRequest request = BrowseRequestFor(kModeEncrypt, false, m_strFilePath);
  request.several = !i_bFolder;
  request.folder = i_bFolder;
  if (i_bFolder) request.title = "Select a Folder";
  const std::vector<std::string> chosen = m_mainView->BrowseForFiles(request);
  if (chosen.empty()) return false;
  if (chosen.size() > 1) {
    PrepareMany(kModeEncrypt, chosen);
  } else {
    PrepareEncrypt(chosen.front());
  }
  return true;
}

void frmMain::ToolbarButtonClick(const std::string& i_strKey) {
  try {
    SetToolBar(i_strKey);
    GetParameters(i_strKey, true);
    SetForm(i_strKey);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to set form.");
  }
}

void frmMain::mnuFileEncrypt_Click() {
  try {
    SetToolBar(kModeEncrypt);
    if (BrowseToEncrypt(false)) return;
    GetParameters(kModeEncrypt, true);
    SetForm(kModeEncrypt);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to select file.");
  }
}

void frmMain::mnuFileEncryptFolder_Click() {
  try {
    SetToolBar(kModeEncrypt);
    if (BrowseToEncrypt(true)) return;
    GetParameters(kModeEncrypt, true);
    SetForm(kModeEncrypt);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to select file.");
  }
}

void frmMain::mnuFileDecrypt_Click() {
  try {
    SetToolBar(kModeDecrypt);
    m_strEncFilePath = BrowseForFile(kModeDecrypt, true, m_strEncFilePath);
    m_strFilePath.clear();
    m_colFiles.clear();
    GetParameters(kModeDecrypt, false);
    SetForm(kModeDecrypt);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to select file.");
  }
}

void frmMain::mnuFileSecureDelete_Click() {
  try {
    SetToolBar(kModeSecureDelete);
    m_strFilePath = BrowseForFile(kModeSecureDelete, false, m_strFilePath);
    SetForm(kModeSecureDelete);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to select file.");
  }
}

void frmMain::mnuFileSecureDeleteFolder_Click() {
  try {
    SetToolBar(kModeSecureDelete);
    if (m_mainView) {
      BrowseRequest request = BrowseRequestFor(kModeSecureDelete, false, m_strFilePath);
      request.folder = true;
      request.title = "Select a Folder to Delete";
      const std::vector<std::string> chosen = m_mainView->BrowseForFiles(request);
      if (!chosen.empty()) m_strFilePath = WithoutTrailingSlash(chosen.front());
    }
    SetForm(kModeSecureDelete);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to select file.");
  }
}

void frmMain::btnBrowseFile_Click() {
  try {
    const std::string mode = GetCurrentMode();
    if (mode == kModeEncrypt) {
      BrowseToEncrypt(false);
      return;
    }
    m_strFilePath = BrowseForFile(mode, false, m_strFilePath);
    m_colFiles.clear();
    if (mode == kModeEncrypt || (mode == kModeDecrypt && m_strEncFilePath.empty())) {
      m_strEncFilePath = DefaultArchivePath(m_strFilePath);
    }
    GetParameters(mode, true);
    SetForm(mode);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to browse for file.");
  }
}

bool frmMain::txtFile_Validate(bool i_bWarn) {
  if (GetCurrentMode() != kModeEncrypt) return true;
  const std::string typed = Control("txtFile").text;
  if (typed == m_strFilePath || Trim(typed).empty()) return true;
  try {
    const std::string path = TypedPath(typed);
    std::error_code ec;
    const auto kind = std::filesystem::status(path, ec).type();
    if (kind != std::filesystem::file_type::regular && kind != std::filesystem::file_type::directory) {
      // Leaving the box with a path still being typed says nothing; OK does.
      if (i_bWarn) {
        ShowWarning(m_ui, "The file " + path + " does not exist.  Please specify an existing file.", 0);
        Focus("txtFile");
      }
      return false;
    }
    // As Browse takes it: the archive named after it, its parameters. A
    // folder is encrypted whole.
    m_colFiles.clear();
    m_strFilePath = WithoutTrailingSlash(path);
    m_strEncFilePath = DefaultArchivePath(m_strFilePath);
    GetParameters(kModeEncrypt, true);
    SetForm(kModeEncrypt);
    Refresh();
    return true;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to select file.");
    return false;
  }
}

void frmMain::btnBrowseEncFile_Click() {
  try {
    const std::string mode = GetCurrentMode();
    m_strEncFilePath = BrowseForFile(mode, true, m_strEncFilePath);
    GetParameters(mode, false);
    SetForm(mode);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to browse for encrypted file.");
  }
}

void frmMain::FilesDropped(const std::vector<std::string>& i_colPaths) {
  if (i_colPaths.empty()) return;
  if (i_colPaths.size() == 1) {
    FileDropped(i_colPaths.front());
    return;
  }
  // Archives alone are decrypted; anything else among them: all encrypted.
  const bool archives = std::all_of(i_colPaths.begin(), i_colPaths.end(), HasArchiveExtension);
  PrepareMany(archives ? kModeDecrypt : kModeEncrypt, i_colPaths);
}

void frmMain::PrepareMany(const std::string& i_strMode, const std::vector<std::string>& i_colPaths) {
  try {
    std::vector<std::string> paths;
    for (const std::string& path : i_colPaths) {
      const std::string clean = WithoutTrailingSlash(path);
      if (!clean.empty() && std::find(paths.begin(), paths.end(), clean) == paths.end()) paths.push_back(clean);
    }
    if (paths.empty()) return;
    if (i_strMode == kModeDecrypt) {
      m_strFilePath.clear();
      PrepareDecrypt(paths.front());
    } else {
      PrepareEncrypt(paths.front());
    }
    if (paths.size() < 2) return;
    m_colFiles = paths;
    m_strFilesMode = i_strMode;
    SetForm(i_strMode);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to select file.");
  }
}

void frmMain::FileDropped(const std::string& i_strPath) {
  try {
    if (HasArchiveExtension(i_strPath)) {
      m_strFilePath.clear();
      PrepareDecrypt(i_strPath);
    } else {
      PrepareEncrypt(i_strPath);
    }
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to select file.");
  }
}

// --- the other controls ----------------------------------------------------------

void frmMain::cmbAlgorithm_Click(int i_nIndex) {
  ControlState& list = Edit("cmbAlgorithm");
  if (i_nIndex < 0 || i_nIndex >= static_cast<int>(list.items.size())) return;
  list.value = i_nIndex;
  m_eAlg = AlgorithmAt(m_bStrongCiphers, i_nIndex);
}

void frmMain::chkCompressFile_Click(int i_nValue) {
  Edit("chkCompressFile").value = i_nValue;
  m_bCompressFile = CheckToBool(i_nValue);
}

void frmMain::chkDeleteOriginal_Click(int i_nValue) {
  Edit("chkDeleteOriginal").value = i_nValue;
  m_bDeleteOriginal = CheckToBool(i_nValue);
}

void frmMain::chkOpenFile_Click(int i_nValue) {
  Edit("chkOpenFile").value = i_nValue;
  m_bOpenFile = CheckToBool(i_nValue);
}

void frmMain::TextChanged(const std::string& i_strControl, const std::string& i_strText) {
  ControlState& box = Edit(i_strControl);
  // A read-only box is filled by Browse only.
  if (box.readOnly || !box.enabled) return;
  WipeText(box.text);
  box.text = i_strText;
  if (i_strControl == "txtPassword") {
    UpdateStrength();
    RefreshControl("lblStrength");
  }
}

void frmMain::UpdateStrength() {
  ControlState& note = Edit("lblStrength");
  note.visible = GetCurrentMode() == kModeEncrypt && m_bPwdRequired;
  const std::string& password = Control("txtPassword").text;
  if (!note.visible || password.empty()) {
    note.text.clear();
    return;
  }
  // What a guesser tries first for this user: the file's name, their own.
  std::vector<std::string> words {GetFileNameOfPath(m_strFilePath), m_oDefaultDigitalID.m_strName,
                                  m_oDefaultDigitalID.m_strEMailAddr.substr(0, m_oDefaultDigitalID.m_strEMailAddr.find('@'))};
  const std::string name = words[0];
  if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) words.push_back(name.substr(0, dot));
  note.text = EstimateStrength(password, words).text;
}

void frmMain::ClearPasswords(bool i_bConfirmToo) {
  WipeText(Edit("txtPassword").text);
  if (i_bConfirmToo) WipeText(Edit("txtConfirmPassword").text);
  UpdateStrength();
}

void frmMain::optAccess_Click(int i_nIndex) {
  if (i_nIndex != 0 && i_nIndex != 1) return;
  Edit("optAccess(0)").value = i_nIndex == 0 ? 1 : 0;
  Edit("optAccess(1)").value = i_nIndex == 1 ? 1 : 0;
  if (!m_bActivated) return;
  try {
    const std::string mode = GetCurrentMode();
    if (i_nIndex == 0) {
      if (mode == kModeEncrypt && m_bPwdRequired) SetDefaultRecipient();
      m_bPwdRequired = false;
      ClearPasswords(true);
    } else {
      m_bPwdRequired = true;
      m_rows.clear();
    }
    // The file names the user typed survive the change of access.
    const std::string typedFile = Control("txtFile").text;
    const std::string typedEncFile = Control("txtEncFile").text;
    SetForm(GetCurrentMode());
    Edit("txtFile").text = typedFile;
    Edit("txtEncFile").text = typedEncFile;
    Refresh();
    if (i_nIndex == 0 && mode == kModeEncrypt) Focus("btnSelectAccess");
    if (i_nIndex == 1) Focus("txtPassword");
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to set access type.");
  }
}

void frmMain::SetDefaultRecipient() {
  m_oDefaultDigitalID = clsDigitalID {};
  if (const auto own = FindDefaultDigitalID(m_library)) m_oDefaultDigitalID = *own;
}

bool frmMain::CheckDefaultDigitalID() {
  clsConfig config;
  ByteArray thumbprint;
  if (config.GetDefaultCertTP(thumbprint) != 0) {
    ShowWarning(m_ui,
                std::string("There is no default digital ID.") + kCR +
                    "You must generate or select your own default digital ID first." + kCR +
                    "On the Tools menu choose either Generate Digital ID or Options.",
                0);
    return false;
  }
  return true;
}

void frmMain::btnSelectAccess_Click() {
  try {
    if (!CheckDefaultDigitalID()) {
      Focus("btnSelectAccess");
      return;
    }
    auto ids = ReadDigitalIDs(m_ui, m_library, "AddressBook", false);
    if (!ids) return;
    if (ids->empty()) {
      ShowWarning(m_ui,
                  std::string("There are no available digital IDs.") + kCR +
                      "You must acquire digital IDs (certificates) from other people by e-mail or importing them.",
                  0);
      return;
    }
    for (clsDigitalID& id : *ids) {
      id.m_bSelected = std::any_of(m_colOtherDigitalIDs.begin(), m_colOtherDigitalIDs.end(), [&id](const clsDigitalID& o) {
        return SameBytes(id.m_varThumbprint, o.m_varThumbprint);
      });
    }
    frmSelectDigitalID dialog(m_ui);
    if (dialog.Initialize("Select Digital IDs",
                          std::string("Select the digital IDs that are to have access to the encrypted file.") + kCR +
                              "Use Ctrl-Click to select multiple digital IDs.",
                          true, *ids)) {
      if (m_mainView) m_mainView->ShowSelectDigitalID(dialog);
    }
    if (!dialog.Cancelled()) {
      std::vector<clsDigitalID> chosen;
      for (const clsDigitalID& id : dialog.DigitalIDs()) {
        if (!id.m_bSelected) continue;
        clsDigitalID copy;
        id.CopyTo(copy);
        chosen.push_back(std::move(copy));
      }
      m_colOtherDigitalIDs = std::move(chosen);
    }
    FillAccessList();
    Refresh();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to add Digital IDs to the Access list.");
  }
}

void frmMain::lvwAccess_Click() {
  // The list shows the recipients; it is not a selection. The view keeps no
  // row selected.
}

// --- menus ------------------------------------------------------------------------

void frmMain::btnExit_Click() { CloseView(); }

void frmMain::mnuToolsGenDigitalID_Click() {
  try {
    ShowGenerateDigitalID();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to display Generate Digital ID form.");
  }
}

void frmMain::ShowGenerateDigitalID() {
  frmGenDigitalID dialog(m_ui, m_library);
  if (!dialog.Load()) return;
  if (m_mainView) m_mainView->ShowGenDigitalID(dialog);
  if (dialog.ValuesChanged()) RefreshAfterDialog();
}

void frmMain::mnuToolsLaunchCertMgr_Click() {
  try {
    const std::int32_t error = m_mainView ? m_mainView->LaunchCertificateManager() : 0;
    if (error != 0) throw platform::RuntimeError(error);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to launch the Certificate Manager.");
  }
}

void frmMain::mnuToolsOptions_Click() {
  try {
    frmOptions dialog(m_ui, m_library);
    if (!dialog.Load()) return;
    if (m_mainView) m_mainView->ShowOptions(dialog);
    if (dialog.ValuesChanged()) RefreshAfterDialog();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to display Options form.");
  }
}

void frmMain::mnuHelpTopics_Click() {
  try {
    m_hHelpWindow = m_mainView ? m_mainView->ShowHelp(platform::ProgramFolder() + "/" + kHelpFile, kHelpIntroTopic) : 0;
    if (m_hHelpWindow == 0) ShowError(m_ui, "Failed to display Help.", 0);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to display Help.");
  }
}

void frmMain::Unload() {
  if (m_hHelpWindow != 0 && m_mainView && m_mainView->HelpWindowExists(m_hHelpWindow)) {
    m_mainView->CloseHelpWindow(m_hHelpWindow);
    m_ui.ProcessPendingMessages();
  }
  m_hHelpWindow = 0;
}

// The documents shipped beside the program, shown in a window of its own:
// a desktop may have no application for them, or one that opens in a
// terminal.
void frmMain::mnuHelpReadMe_Click() { ShowShippedDocument("ReadMe.txt", "Sealvane - ReadMe"); }

void frmMain::mnuHelpLicense_Click() { ShowShippedDocument("License.htm", "Sealvane - License"); }

void frmMain::ShowShippedDocument(const std::string& i_strName, const std::string& i_strTitle) {
  try {
    const std::string path = platform::ProgramFolder() + "/" + i_strName;
    if (!m_mainView || !m_mainView->ShowDocument(path, i_strTitle)) {
      ShowError(m_ui, "Failed to launch " + i_strName + "." + kCR + path + " cannot be read.", 0);
    }
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to launch " + i_strName + ".");
  }
}

void frmMain::mnuHelpAbout_Click() {
  try {
    frmAbout dialog(m_ui);
    if (!dialog.Load(kVersionMajor, kVersionMinor, kVersionRevision)) return;
    if (m_mainView) m_mainView->ShowAbout(dialog);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to display About form.");
  }
}

}  // namespace sealvane::forms
