// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: its command line, and the working parameters of each
// mode (what the window shows, what an archive records, what OK hands to a
// job).
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
  m_colFiles.clear();
  m_strFilePath = WithoutTrailingSlash(i_strFilePath);
  m_strEncFilePath = DefaultArchivePath(m_strFilePath);
  GetParameters(kModeEncrypt, true);
  SetToolBar(kModeEncrypt);
  SetForm(kModeEncrypt);
}

void frmMain::PrepareDecrypt(const std::string& i_strEncFilePath) {
  m_colFiles.clear();
  m_strEncFilePath = i_strEncFilePath;
  GetParameters(kModeDecrypt, false);
  SetToolBar(kModeDecrypt);
  SetForm(kModeDecrypt);
}

void frmMain::PrepareSecureDelete(const std::string& i_strFilePath) {
  m_colFiles.clear();
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
  o_oParameters.m_bDeleteOriginal = false;
  config.GetAlwaysDeleteOriginal(o_oParameters.m_bDeleteOriginal);
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
  m_bDeleteOriginal = i_oParameters.m_bDeleteOriginal;
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
  record.m_bDeleteOriginal = m_bDeleteOriginal;
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
  // The new defaults apply; what the user chose in the window for this file
  // stays: how it is protected, and for whom.
  const std::string mode = GetCurrentMode();
  const bool password = m_bPwdRequired;
  std::vector<clsDigitalID> others;
  for (const clsDigitalID& id : m_colOtherDigitalIDs) {
    clsDigitalID copy;
    id.CopyTo(copy);
    others.push_back(std::move(copy));
  }
  GetParameters(mode, true);
  if (mode == kModeEncrypt) {
    m_bPwdRequired = password;
    m_colOtherDigitalIDs = std::move(others);
  }
  SetForm(mode);
}

}  // namespace sealvane::forms
