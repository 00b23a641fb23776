// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/frmOptions.h"

#include <algorithm>

#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/forms/DigitalIDs.h"
#include "sealvane/forms/clsIAM.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::forms {

frmOptions::frmOptions(UiPort& ui, CipherLibrary& library) : m_ui(ui), m_library(library) {
  Add("fraDefaults", "File Encryption Defaults");
  Add("Label1", "Digital ID:");
  Add("txtDigitalID", "", "Your default Digital ID to be used for file encryption.");
  Edit("txtDigitalID").readOnly = true;
  Add("btnSelect", "Select...", "Select the default Digital ID to be used for file encryption.");
  Add("Label2", "Algorithm:");
  Add("cmbAlgorithm", "", "The algorithm to be used for file encryption.");
  Edit("cmbAlgorithm").value = -1;
  Add("chkCompressFile", "Compress file", "If this is checked, the file will be compressed before encrypting it.");
  Add("chkOpenFile", "Open file after decrypting it",
      "If this is checked, an attempt will be made to open a file after decrypting it.");
  Add("chkDeleteOriginal", "Securely delete the original after encrypting",
      "If this is checked, the encrypted file is read back and compared with the file, and then the file is "
      "overwritten and deleted.");
  Add("btnOK", "OK");
  Add("btnCancel", "Cancel");
}

bool frmOptions::Load() {
  try {
    clsConfig config;
    if (const auto id = FindDefaultDigitalID(m_library)) {
      CopyDigitalIDToRecord(*id, m_oDigitalID);
      m_bHaveDigitalID = true;
      Edit("txtDigitalID").text = id->m_strName;
    }
    std::int32_t level = 0;
    char message[SL_MESSAGE_SIZE] = {};
    m_library.SLGetCSP(&level, message);
    ControlState& list = Edit("cmbAlgorithm");
    m_bStrongCiphers = level > 1;
    list.items = AlgorithmList(m_bStrongCiphers);
    list.itemTips = AlgorithmTips(m_bStrongCiphers);
    // Unless the user chose otherwise: the modern format.
    std::int32_t cipher = kCipherAes256;
    config.GetAlgorithm(cipher);
    // A stored strong cipher on a machine with the base provider only: the
    // strongest legacy entry offered; no cipher at all: the modern one.
    list.value = AlgorithmIndex(m_bStrongCiphers, cipher);
    if (list.value < 0) list.value = AlgorithmIndex(true, cipher) < 0 ? 0 : AlgorithmIndex(m_bStrongCiphers, 2);
    bool compress = true, open = true, deleteOriginal = false;
    config.GetAlwaysCompress(compress);
    config.GetAlwaysOpen(open);
    config.GetAlwaysDeleteOriginal(deleteOriginal);
    Edit("chkCompressFile").value = BoolToCheck(compress);
    Edit("chkOpenFile").value = BoolToCheck(open);
    Edit("chkDeleteOriginal").value = BoolToCheck(deleteOriginal);
    Refresh();
    return true;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to initialize Options form.");
    return false;
  }
}

void frmOptions::btnSelect_Click() {
  try {
    const auto ids = ReadDigitalIDs(m_ui, m_library, "MY", true);
    if (!ids) {
      Focus("btnSelect");
      return;
    }
    if (ids->empty()) {
      ShowWarning(m_ui, std::string("There are no available digital IDs.") + kCR + "You must generate a digital ID first.",
                  0);
      return;
    }
    std::vector<clsDigitalID> collection = *ids;
    for (clsDigitalID& id : collection) {
      id.m_bSelected = m_bHaveDigitalID && SameBytes(id.m_varThumbprint, m_oDigitalID.Thumbprint);
    }
    frmSelectDigitalID dialog(m_ui);
    if (!dialog.Initialize("Select Default Digital ID", "Select the default Digital ID to be used for file encryption.",
                           false, collection))
      return;
    if (m_optionsView) m_optionsView->ShowSelectDigitalID(dialog);
    if (dialog.Cancelled()) return;
    for (const clsDigitalID& id : dialog.DigitalIDs()) {
      if (!id.m_bSelected) continue;
      CopyDigitalIDToRecord(id, m_oDigitalID);
      m_bHaveDigitalID = true;
      Edit("txtDigitalID").text = id.m_strName;
    }
    Refresh();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to select Digital ID.");
  }
}

void frmOptions::cmbAlgorithm_Click(int i_nIndex) {
  ControlState& list = Edit("cmbAlgorithm");
  if (i_nIndex >= 0 && i_nIndex < static_cast<int>(list.items.size())) list.value = i_nIndex;
}

void frmOptions::chkCompressFile_Click(int i_nValue) { Edit("chkCompressFile").value = i_nValue; }

void frmOptions::chkOpenFile_Click(int i_nValue) { Edit("chkOpenFile").value = i_nValue; }

void frmOptions::chkDeleteOriginal_Click(int i_nValue) { Edit("chkDeleteOriginal").value = i_nValue; }

void frmOptions::btnOK_Click() {
  try {
    const ControlState& list = Control("cmbAlgorithm");
    const std::int32_t cipher = AlgorithmAt(m_bStrongCiphers, list.value);
    const bool compress = CheckToBool(Control("chkCompressFile").value);
    const bool open = CheckToBool(Control("chkOpenFile").value);
    const bool deleteOriginal = CheckToBool(Control("chkDeleteOriginal").value);
    if (!m_bHaveDigitalID) {
      ShowWarning(m_ui, "You must select a digital ID for file encrypting.", 0);
      return;
    }
    clsConfig config;
    std::int32_t rc =
        config.SetDefaultCertTP(ByteArray(std::begin(m_oDigitalID.Thumbprint), std::end(m_oDigitalID.Thumbprint)));
    if (rc == 0) rc = config.SetAlgorithm(cipher);
    if (rc == 0) rc = config.SetAlwaysCompress(compress);
    if (rc == 0) rc = config.SetAlwaysOpen(open);
    if (rc == 0) rc = config.SetAlwaysDeleteOriginal(deleteOriginal);
    if (rc != 0) {
      // The dialog stays open: nothing claims to be saved that was not.
      ShowError(m_ui, std::string("Failed to save Options.") + kCR + "The settings could not be written.", rc);
      return;
    }
    // The mail accounts of that address sign and encrypt with it.
    if (m_oDigitalID.EMailAddr[0] != '\0') {
      clsIAM(m_ui).SetAccountCerts(
          CutAtNull(std::string(m_oDigitalID.EMailAddr, sizeof(m_oDigitalID.EMailAddr))),
          ByteArray(std::begin(m_oDigitalID.Thumbprint), std::end(m_oDigitalID.Thumbprint)));
    }
    m_bValuesChanged = true;
    CloseView();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to save Options.");
  }
}

void frmOptions::btnCancel_Click() { CloseView(); }

}  // namespace sealvane::forms
