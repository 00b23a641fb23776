// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/frmMain.h"

#include <algorithm>
#include <strings.h>

#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/Password.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/frmSecureDelete.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/forms/DigitalIDs.h"
#include "sealvane/forms/modMain.h"
#include "sealvane/platform/DynamicLibrary.h"
#include "sealvane/modern/KeyWrap.h"
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

bool IsBareName(const std::string& path) { return path.find('/') == std::string::npos; }

std::size_t CharacterCount(const std::string& utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool HasArchiveExtension(const std::string& path) {
  return path.size() > 4 && ::strcasecmp(path.c_str() + path.size() - 4, ".sva") == 0;
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
  Add("chkCompressFile", "Compress file", "If this is checked, the file will be compressed before encrypting it.");
  Add("chkOpenFile", "Open file after decrypting it",
      "If this is checked, an attempt will be made to open the file after decrypting it.");
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
  Add("btnOK", "OK");
  Add("btnExit", "Exit");
  Add("Status", "");
  Add("FileSize", "", "File Size");
  Add("EncFileSize", "", "Encrypted File Size");
  Add("mnuFile", "&File");
  Add("mnuFileEncrypt", "&Encrypt...");
  Add("mnuFileDecrypt", "&Decrypt...");
  Add("mnuFileSecureDelete", "&Secure Delete...");
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

void frmMain::Activate() { m_bActivated = true; }

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
  // 7.
  if (encrypt || decrypt) {
    Edit("txtFile").readOnly = encrypt;
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
  if (m_bActivated) Focus(decrypt ? "txtEncFile" : "txtFile");
  // 9.
  const bool intoFolder = decrypt && (m_strFilePath.empty() || m_strFilePath.back() == '/');
  Edit("txtFile").tooltip = intoFolder ? "The folder to decrypt into: the file takes the name the encrypted file stores."
                            : job      ? "The unencrypted file."
                                       : "The file to be deleted.";
  Refresh();
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
  Edit("Status").text = "Ready";
  Edit("FileSize").text = FileExists(m_strFilePath) ? "File Size: " + FormatFileSize(m_strFilePath) : "";
  Edit("EncFileSize").text = GetCurrentMode() != kModeSecureDelete && FileExists(m_strEncFilePath)
                                 ? "Enc. File Size: " + FormatFileSize(m_strEncFilePath)
                                 : "";
}

// --- command line and working parameters ------------------------------------

void frmMain::ProcessCmd(std::string i_strCmd) {
  const std::string strSwitch = !i_strCmd.empty() && i_strCmd[0] == '/' ? i_strCmd.substr(1, 1) : "";
  std::string path;
  if (const std::size_t open = i_strCmd.find('"'); open != std::string::npos) {
    // The path runs to the last quote: on this platform a file name may
    // itself hold quotes.
    const std::size_t close = i_strCmd.rfind('"');
    // An opening quote without a closing one: the path's length would be
    // negative.
    if (close == open) throw platform::RuntimeError(platform::rt::kInvalidCall);
    path = i_strCmd.substr(open + 1, close - open - 1);
  }
  if (strSwitch == "e") {
    PrepareEncrypt(path);
  } else if (strSwitch.empty()) {
    PrepareDecrypt(path);
  } else if (strSwitch == "d") {
    PrepareSecureDelete(path);
  } else {
    // Any other switch: as an empty command line.
    GetParameters(kModeEncrypt, true);
    SetToolBar(kModeEncrypt);
    SetForm(kModeEncrypt);
  }
}

void frmMain::PrepareEncrypt(const std::string& i_strFilePath) {
  m_strFilePath = i_strFilePath;
  m_strEncFilePath = ReplaceExtension(i_strFilePath, ".sva");
  GetParameters(kModeEncrypt, true);
  SetToolBar(kModeEncrypt);
  SetForm(kModeEncrypt);
}

void frmMain::PrepareDecrypt(const std::string& i_strEncFilePath) {
  m_strEncFilePath = i_strEncFilePath;
  GetParameters(kModeDecrypt, false);
  SetToolBar(kModeDecrypt);
  SetForm(kModeDecrypt);
}

void frmMain::PrepareSecureDelete(const std::string& i_strFilePath) {
  m_strFilePath = i_strFilePath;
  SetToolBar(kModeSecureDelete);
  SetForm(kModeSecureDelete);
}

std::int32_t frmMain::GetParameters(const std::string& i_strButtonKey, bool i_bKeepFile) {
  if (i_strButtonKey == kModeSecureDelete) return 0;
  clsParameters record;
  clsFileDesc desc;
  if (ReadArchiveParameters(record, desc) != 0) {
    record = clsParameters {};
    GetDefaultParameters(i_strButtonKey, record);
    record.m_strFilePath = m_strFilePath;
  } else {
    if (i_bKeepFile) {
      record.m_strFilePath = m_strFilePath;
    } else if (desc.m_bSealed) {
      // A modern archive keeps its file's name sealed: the file goes into
      // the archive's folder under that name, known once it is opened.
      record.m_strFilePath = BesideFile(m_strEncFilePath, "");
    } else {
      // Only the stored name's last component is used: nothing is written
      // outside the archive's folder. An unusable name leaves the file to
      // the user.
      const auto name = SafeStoredFileName(desc.m_strFileName);
      record.m_strFilePath = name ? BesideFile(m_strEncFilePath, *name) : std::string();
    }
    if (i_strButtonKey == kModeEncrypt) {
      if (!record.m_bPwdRequired) RefreshRecipients(record);
      if (record.m_eCSP > m_eProviderLevel && AlgorithmIndex(m_eProviderLevel > 1, record.m_eAlg) < 0) {
        record.m_eAlg = 2;
      }
    }
  }
  record.m_strEncFilePath = m_strEncFilePath;
  ShowParameters(record);
  return 0;
}

std::int32_t frmMain::ReadArchiveParameters(clsParameters& io_oParameters, clsFileDesc& o_oFileDesc) {
  if (m_strEncFilePath.empty()) return -1;
  if (!FileExists(m_strEncFilePath)) return -2;
  clsArchive archive(m_ui, m_library);
  if (archive.OpenArchive(m_strEncFilePath, 0) != 0) {
    ShowError(m_ui, "Failed to open encrypted file.", 0);
    return -3;
  }
  const std::int32_t rc = archive.ReadParameters(io_oParameters, o_oFileDesc);
  archive.CloseArchive();
  if (rc != 0) {
    ShowError(m_ui, "Failed to open encrypted file - invalid format.", 0);
    return -4;
  }
  return 0;
}

void frmMain::RefreshRecipients(clsParameters& io_oParameters) {
  clsConfig config;
  ByteArray own;
  if (config.GetDefaultCertTP(own) != 0) return;
  if (!FindDigitalID(m_library, "MY", io_oParameters.m_oDefaultDigitalID.m_varThumbprint)) {
    clsDigitalID replacement;
    const auto mine = std::find_if(
        io_oParameters.m_colOtherDigitalIDs.begin(), io_oParameters.m_colOtherDigitalIDs.end(),
        [this](const clsDigitalID& id) { return FindDigitalID(m_library, "MY", id.m_varThumbprint).has_value(); });
    if (mine != io_oParameters.m_colOtherDigitalIDs.end()) {
      mine->CopyTo(replacement);
      replacement.m_bSelected = true;
    } else if (const auto found = FindDigitalID(m_library, "MY", own)) {
      found->CopyTo(replacement);
    }
    io_oParameters.m_colOtherDigitalIDs.push_back(io_oParameters.m_oDefaultDigitalID);
    io_oParameters.m_oDefaultDigitalID = replacement;
  }
  std::vector<clsDigitalID> kept;
  for (const clsDigitalID& id : io_oParameters.m_colOtherDigitalIDs) {
    if (SameBytes(id.m_varThumbprint, io_oParameters.m_oDefaultDigitalID.m_varThumbprint)) continue;
    if (FindDigitalID(m_library, "AddressBook", id.m_varThumbprint)) kept.push_back(id);
  }
  io_oParameters.m_colOtherDigitalIDs = std::move(kept);
}

void frmMain::GetDefaultParameters(const std::string& i_strMode, clsParameters& o_oParameters) {
  clsConfig config;
  o_oParameters.m_eCSP = m_eProviderLevel;
  // Unless the user chose otherwise: the modern format, AES (256-bit).
  o_oParameters.m_eAlg = kCipherAes256;
  config.GetAlgorithm(o_oParameters.m_eAlg);
  // A stored strong legacy cipher this machine cannot offer: DES, as for an
  // archive made with a stronger provider; a number that is no cipher: AES.
  if (AlgorithmIndex(true, o_oParameters.m_eAlg) < 0) {
    o_oParameters.m_eAlg = kCipherAes256;
  } else if (AlgorithmIndex(m_eProviderLevel > 1, o_oParameters.m_eAlg) < 0) {
    o_oParameters.m_eAlg = 2;
  }
  o_oParameters.m_bCompressFile = true;
  o_oParameters.m_bOpenFile = true;
  config.GetAlwaysCompress(o_oParameters.m_bCompressFile);
  config.GetAlwaysOpen(o_oParameters.m_bOpenFile);
  o_oParameters.m_bPwdRequired = false;
  o_oParameters.m_oDefaultDigitalID = clsDigitalID {};
  if (i_strMode == kModeEncrypt) {
    if (const auto own = FindDefaultDigitalID(m_library)) o_oParameters.m_oDefaultDigitalID = *own;
  }
  o_oParameters.m_colOtherDigitalIDs.clear();
}

void frmMain::ShowParameters(const clsParameters& i_oParameters) {
  m_eCSP = i_oParameters.m_eCSP;
  m_eAlg = i_oParameters.m_eAlg;
  m_bCompressFile = i_oParameters.m_bCompressFile;
  m_bOpenFile = i_oParameters.m_bOpenFile;
  m_bSigned = i_oParameters.m_bSigned;
  m_bPwdRequired = i_oParameters.m_bPwdRequired;
  WipeText(m_strPassword);
  m_strPassword = i_oParameters.m_strPassword;
  m_oDefaultDigitalID = clsDigitalID {};
  m_colOtherDigitalIDs.clear();
  if (!m_bPwdRequired) {
    i_oParameters.m_oDefaultDigitalID.CopyTo(m_oDefaultDigitalID);
    for (const clsDigitalID& id : i_oParameters.m_colOtherDigitalIDs) {
      clsDigitalID copy;
      id.CopyTo(copy);
      m_colOtherDigitalIDs.push_back(std::move(copy));
    }
  }
  m_strFilePath = i_oParameters.m_strFilePath;
  m_strEncFilePath = i_oParameters.m_strEncFilePath;
}

clsParameters frmMain::BuildParameters() const {
  clsParameters record = Parameters();
  // The legacy strong ciphers need the enhanced provider; the modern format
  // needs none.
  record.m_eCSP = m_eAlg > 2 && m_eAlg < kCipherAes256 ? 3 : 1;
  std::string pages;
  clsConfig().GetPasswordCodePages(pages);
  record.m_colPasswordCodePages = ParseCodePages(pages);
  record.m_colPasswordCodePages.insert(record.m_colPasswordCodePages.end(), m_colExtraCodePages.begin(),
                                       m_colExtraCodePages.end());
  record.m_nFileMode = m_nFileMode;
  record.m_bNameFromArchive = m_bNameFromArchive;
  return record;
}

clsParameters frmMain::Parameters() const {
  clsParameters record;
  record.m_eCSP = m_eCSP;
  record.m_eAlg = m_eAlg;
  record.m_bCompressFile = m_bCompressFile;
  record.m_bOpenFile = m_bOpenFile;
  record.m_bSigned = m_bSigned;
  record.m_bPwdRequired = m_bPwdRequired;
  record.m_strPassword = m_strPassword;
  m_oDefaultDigitalID.CopyTo(record.m_oDefaultDigitalID);
  for (const clsDigitalID& id : m_colOtherDigitalIDs) {
    clsDigitalID copy;
    id.CopyTo(copy);
    record.m_colOtherDigitalIDs.push_back(std::move(copy));
  }
  record.m_strFilePath = m_strFilePath;
  record.m_strEncFilePath = m_strEncFilePath;
  return record;
}

void frmMain::SetOtherDigitalIDs(std::vector<clsDigitalID> i_colDigitalIDs) {
  m_colOtherDigitalIDs = std::move(i_colDigitalIDs);
  FillAccessList();
  Refresh();
}

void frmMain::RefreshAfterDialog() {
  GetParameters(GetCurrentMode(), true);
  SetForm(GetCurrentMode());
}

// --- choosing files ------------------------------------------------------------

std::string frmMain::BrowseForFile(const std::string& i_strMode, bool i_bEncFile, const std::string& i_strPath) {
  BrowseRequest request;
  if (!i_strPath.empty()) {
    request.initialFolder = GetFolderOfPath(i_strPath, true);
    request.initialName = FileExists(i_strPath) ? GetFileNameOfPath(i_strPath) : "";
  } else {
    clsConfig config;
    config.GetLastDir(request.initialFolder);
    if (request.initialFolder.empty()) request.initialFolder = GetDocumentsDir();
  }
  request.title = i_bEncFile ? "Select an Encrypted File" : "Select a File";
  request.filter = i_bEncFile ? "Encrypted Files (*.sva)|*.sva" : "All Files (*.*)|*.*";
  // The file the job reads must exist; for the one it writes, its folder.
  request.mustExist = i_bEncFile ? i_strMode == kModeDecrypt : i_strMode != kModeDecrypt;
  const auto chosen = m_mainView ? m_mainView->BrowseForFile(request) : std::nullopt;
  // Cancel keeps the path the user had.
  return chosen ? *chosen : i_strPath;
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
    m_strFilePath = BrowseForFile(kModeEncrypt, false, m_strFilePath);
    m_strEncFilePath = ReplaceExtension(m_strFilePath, ".sva");
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

void frmMain::btnBrowseFile_Click() {
  try {
    const std::string mode = GetCurrentMode();
    m_strFilePath = BrowseForFile(mode, false, m_strFilePath);
    if (mode == kModeEncrypt || (mode == kModeDecrypt && m_strEncFilePath.empty())) {
      m_strEncFilePath = ReplaceExtension(m_strFilePath, ".sva");
    }
    GetParameters(mode, true);
    SetForm(mode);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to browse for file.");
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
}

void frmMain::ClearPasswords(bool i_bConfirmToo) {
  WipeText(Edit("txtPassword").text);
  if (i_bConfirmToo) WipeText(Edit("txtConfirmPassword").text);
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

// --- OK and the job windows ----------------------------------------------------

void frmMain::btnOK_Click() {
  const std::string mode = GetCurrentMode();
  try {
    clsConfig config;
    m_strFilePath = Control("txtFile").text;
    m_strEncFilePath = Control("txtEncFile").text;
    UpdateStatusBar();
    config.SetLastDir(GetFolderOfPath(m_strFilePath, true));
    if (mode != kModeSecureDelete) {
      // The same file under two spellings (a link, "./", "..") is the same
      // file too.
      const bool same = m_strFilePath == m_strEncFilePath ||
                        (!m_strFilePath.empty() && !m_strEncFilePath.empty() &&
                         platform::SameFile(m_strFilePath, m_strEncFilePath));
      if (same) {
        if (!m_strFilePath.empty()) {
          ShowWarning(m_ui, std::string("The file and the encrypted file are the same.") + kCR +
                                "Please choose another file.",
                      0);
        } else {
          ShowWarning(m_ui, "Please select a file.", 0);
        }
        Refresh();
        return;
      }
    }
    bool finished = true;
    if (mode == kModeSecureDelete) {
      frmSecureDelete job(m_ui, m_library);
      if (job.Initialize(m_strFilePath) && m_mainView) m_mainView->ShowJob(job);
    } else if (mode == kModeDecrypt) {
      finished = OKDecrypt();
    } else {
      finished = OKEncrypt();
    }
    if (finished) {
      config.SetLastDir(GetFolderOfPath(m_strFilePath, true));
      UpdateStatusBar();
    }
    Refresh();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to " + mode + " file.");
    Refresh();
  }
}

bool frmMain::OKDecrypt() {
  if (IsBareName(m_strFilePath)) m_strFilePath = BesideFile(m_strEncFilePath, m_strFilePath);
  if (CheckCanDecrypt() != 0) return false;
  // A folder for a modern archive: the file takes the name it stores.
  m_bNameFromArchive = false;
  if (m_eAlg == kCipherAes256) {
    if (!m_strFilePath.empty() && m_strFilePath.back() != '/' &&
        platform::StatusOf(m_strFilePath).kind == platform::FileKind::Folder) {
      m_strFilePath += '/';
    }
    m_bNameFromArchive = m_strFilePath.empty() || m_strFilePath.back() == '/';
  }
  if (!m_bNameFromArchive && GetFileNameOfPath(m_strFilePath).empty()) {
    // The archive's stored name was unusable and none was typed.
    ShowWarning(m_ui, "The encrypted file does not hold a usable file name.  Please specify the file to create.", 0);
    return false;
  }
  if (m_bPwdRequired) {
    WipeText(m_strPassword);
    m_strPassword = Control("txtPassword").text;
    if (m_strPassword.empty()) {
      ShowWarning(m_ui, "A password is required to decrypt the file.", 0);
      return false;
    }
  }
  {
    const clsParameters record = BuildParameters();
    frmDecrypt job(m_ui, m_library, m_zlib);
    if (job.Initialize(record)) {
      // The file as the job names it (a modern archive's stored name).
      m_strFilePath = job.FilePath();
      if (m_mainView) m_mainView->ShowJob(job);
    }
  }
  ClearPasswords(false);
  WipeText(m_strPassword);
  return true;
}

bool frmMain::OKEncrypt() {
  if (m_strEncFilePath.empty()) {
    // No archive name: the default one beside the file.
    m_strEncFilePath = ReplaceExtension(m_strFilePath, ".sva");
  } else if (IsBareName(m_strEncFilePath)) {
    m_strEncFilePath = ReplaceExtension(BesideFile(m_strFilePath, m_strEncFilePath), ".sva");
  }
  WipeText(m_strPassword);
  if (m_bPwdRequired) {
    const std::string& password = Control("txtPassword").text;
    const std::string& confirmation = Control("txtConfirmPassword").text;
    if (password.empty()) {
      ShowWarning(m_ui, "Please enter a password.", 0);
      return false;
    }
    if (CharacterCount(password) < 8) {
      ShowWarning(m_ui, "A password must be at least 8 characters long.", 0);
      return false;
    }
    if (confirmation.empty()) {
      ShowWarning(m_ui, "Please confirm the password.", 0);
      return false;
    }
    if (password != confirmation) {
      ShowWarning(m_ui, "The passwords you entered do not match.  Please try again.", 0);
      ClearPasswords(true);
      return false;
    }
    m_strPassword = password;
  } else if (!CheckDefaultDigitalID()) {
    return false;
  }
  if (!ConfirmLegacyCipher()) {
    WipeText(m_strPassword);
    return false;
  }
  {
    const clsParameters record = BuildParameters();
    frmEncrypt job(m_ui, m_library, m_zlib);
    if (job.Initialize(record) && m_mainView) m_mainView->ShowJob(job);
  }
  ClearPasswords(true);
  WipeText(m_strPassword);
  return true;
}

bool frmMain::ConfirmLegacyCipher() {
  if (m_eAlg != 1 && m_eAlg != 2) return true;
  const std::string name = m_eAlg == 1 ? "RC2 (40-bit)" : "DES (56-bit)";
  // The other platform's base provider takes no RSA key over 1024 bits: an
  // archive for such a digital ID would not open there.
  std::string large;
  if (!m_bPwdRequired) {
    const auto check = [&](const clsDigitalID& id, const char* store) {
      if (!large.empty()) return;
      const std::uint32_t bits = modern::CertificateKeyBits(store, id.m_varThumbprint);
      if (bits > 1024) large = id.m_strName + " (" + std::to_string(bits) + "-bit key)";
    };
    check(m_oDefaultDigitalID, "MY");
    for (const clsDigitalID& id : m_colOtherDigitalIDs) check(id, "AddressBook");
  }
  if (!large.empty()) {
    const MessageBoxRequest question {"Sealvane on the other platform cannot open an archive made with " + name +
                                          " for the digital ID " + large +
                                          ": its base provider takes no RSA key over 1024 bits." + kCR +
                                          "To exchange this file with it, choose 3DES (168-bit)." + kCR +
                                          "Do you want to encrypt with " + name + " anyway?",
                                      "Encrypt with " + name + "?",
                                      MsgIcon::Exclamation,
                                      MsgButtons::YesNo,
                                      2};
    return m_ui.ShowMessageBox(question) == MsgResult::Yes;
  }
  clsConfig config;
  bool warn = true;
  config.GetWarnWeakCipher(warn);
  if (!warn) return true;
  bool doNotAsk = false;
  MessageBoxRequest question {name + " is a weak cipher: its key can be found by trying every one, and the format it " +
                                  "writes does not detect changes. Use it only to exchange files with Sealvane on the " +
                                  "other platform; AES (256-bit) protects new files." + kCR +
                                  "Do you want to encrypt with " + name + "?",
                              "Weak Cipher",
                              MsgIcon::Exclamation,
                              MsgButtons::YesNo,
                              1};
  question.checkBox = "Do not ask again";
  question.checked = &doNotAsk;
  const MsgResult answer = m_ui.ShowMessageBox(question);
  if (answer == MsgResult::Yes && doNotAsk) config.SetWarnWeakCipher(false);
  return answer == MsgResult::Yes;
}

std::int32_t frmMain::CheckCanDecrypt() {
  if (m_strEncFilePath.empty()) {
    ShowWarning(m_ui, "Please specify an encrypted file.", 0);
    return -1;
  }
  if (!FileExists(m_strEncFilePath)) {
    ShowWarning(m_ui, "The encrypted file does not exist.  Please specify an existing file.", 0);
    return -2;
  }
  clsArchive archive(m_ui, m_library);
  if (archive.OpenArchive(m_strEncFilePath, 0) != 0) {
    ShowError(m_ui, "Failed to open encrypted file.", 0);
    return -3;
  }
  clsParameters record;
  clsFileDesc desc;
  if (archive.ReadParameters(record, desc) != 0) {
    archive.CloseArchive();
    ShowError(m_ui, "Failed to open encrypted file - invalid format.", 0);
    return -4;
  }
  std::int32_t index = -1;
  ByteArray thumbprint;
  if (!record.m_bPwdRequired && !archive.FindThisUserInCertStore(record, index, thumbprint)) {
    archive.CloseArchive();
    ShowWarning(m_ui, std::string("Your digital ID is not in the access list.") + kCR + "This file cannot be decrypted.",
                0);
    return -5;
  }
  archive.CloseArchive();
  return 0;
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

// The documents shipped beside the program, opened with their applications
// (which report their own failures).
void frmMain::mnuHelpReadMe_Click() {
  try {
    OpenWithAssociatedApp(m_ui, platform::ProgramFolder() + "/ReadMe.txt");
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to launch ReadMe.txt.");
  }
}

void frmMain::mnuHelpLicense_Click() {
  try {
    OpenWithAssociatedApp(m_ui, platform::ProgramFolder() + "/License.htm");
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to launch License.htm.");
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
