// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/frmCertManager.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <strings.h>

#include "sealvane/archive/modCommon.h"
#include "sealvane/csp/WinCrypt.h"
#include "sealvane/platform/File.h"
#include "sealvane/platform/Pinentry.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::forms {

namespace {

constexpr const char* kTitle = "Certificate (Digital ID) Manager";

std::string FileName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A clause of the service as a sentence.
std::string Sentence(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

std::string DateText(std::int64_t fileTime) { return CertificateTimeText(fileTime).substr(0, 10); }

bool IsMy(const std::string& store) { return ::strcasecmp(store.c_str(), "MY") == 0; }

std::string Quoted(const CertificateEntry& entry) {
  return "\"" + (entry.name.empty() ? entry.ThumbprintText() : entry.name) + "\"";
}

}  // namespace

frmCertManager::frmCertManager(UiPort& ui) : m_ui(ui), m_rows(CertificateService::Stores().size()) {
  Add("frmCertManager", kTitle);
  Add("tabStores", "");
  Add("lvwCertificates", "");
  Add("btnImport", "&Import...", "Add a certificate or a digital ID from a file");
  Add("btnExport", "&Export...", "Save the selected certificate to a file to give to others");
  Add("btnDelete", "&Delete", "Remove the selected certificate");
  Add("btnDetails", "De&tails...", "Show everything the selected certificate says");
  Add("btnClose", "Close");
  UpdateButtons();
}

const std::vector<std::string>& frmCertManager::TabCaptions() {
  static const std::vector<std::string> captions = {"My Digital IDs", "Other People", "Root Authorities"};
  return captions;
}

const std::vector<std::string>& frmCertManager::Columns() {
  static const std::vector<std::string> columns = {"Issued To", "E-Mail Address", "Issued By", "Valid From",
                                                   "Valid To", "Private Key", "Thumbprint"};
  return columns;
}

std::vector<std::string> frmCertManager::Cells(const CertificateEntry& entry) {
  return {entry.name,
          entry.email,
          entry.issuer,
          DateText(entry.notBefore),
          DateText(entry.notAfter),
          entry.privateKey ? (entry.isDefault ? "Yes (default)" : "Yes") : "No",
          entry.ThumbprintText()};
}

const CertificateEntry* frmCertManager::Selected() const {
  const auto& rows = m_rows[static_cast<std::size_t>(m_nTab)];
  if (m_nRow < 0 || static_cast<std::size_t>(m_nRow) >= rows.size()) return nullptr;
  return &rows[static_cast<std::size_t>(m_nRow)];
}

bool frmCertManager::Load() {
  try {
    Reload();
    m_nTab = 0;
    m_nRow = m_rows[0].empty() ? -1 : 0;
    UpdateButtons();
    Refresh();
    return true;
  } catch (const CertificateError& e) {
    Report("Failed to open the certificate stores.", e);
    return false;
  }
}

void frmCertManager::Reload() {
  const auto& stores = CertificateService::Stores();
  for (std::size_t i = 0; i < stores.size(); ++i) m_rows[i] = m_service.List(stores[i]);
  // The default digital ID is marked: IDs of one name look alike.
  ByteArray defaultId;
  if (clsConfig().GetDefaultCertTP(defaultId) == 0 && defaultId.size() == 20) {
    for (auto& rows : m_rows) {
      for (CertificateEntry& entry : rows) {
        entry.isDefault = entry.store == "MY" && std::equal(defaultId.begin(), defaultId.end(), entry.thumbprint.begin());
      }
    }
  }
}

void frmCertManager::UpdateButtons() {
  const bool selected = Selected() != nullptr;
  Edit("btnExport").enabled = selected;
  Edit("btnDelete").enabled = selected;
  Edit("btnDetails").enabled = selected;
  Edit("tabStores").value = m_nTab;
  Edit("lvwCertificates").value = m_nRow;
}

void frmCertManager::Report(const std::string& i_strWhat, const CertificateError& i_oError) {
  // Provider codes read best in hexadecimal, run-time error numbers as
  // the numbers they are.
  char code[48];
  if (i_oError.Code() > 0xFFFF) {
    std::snprintf(code, sizeof(code), " Error code: 0x%08X", i_oError.Code());
  } else {
    std::snprintf(code, sizeof(code), " Error Number: %u", i_oError.Code());
  }
  ShowError(m_ui, i_strWhat + kCR + Sentence(i_oError.what()) + code, 0);
}

void frmCertManager::Select(const std::string& i_strStore, const std::array<std::uint8_t, 20>& i_abThumbprint) {
  const auto& stores = CertificateService::Stores();
  for (std::size_t tab = 0; tab < stores.size(); ++tab) {
    if (::strcasecmp(stores[tab].c_str(), i_strStore.c_str()) != 0) continue;
    m_nTab = static_cast<int>(tab);
    const auto& rows = m_rows[tab];
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const CertificateEntry& e) {
      return e.thumbprint == i_abThumbprint;
    });
    m_nRow = found == rows.end() ? (rows.empty() ? -1 : 0) : static_cast<int>(found - rows.begin());
  }
}

void frmCertManager::tabStores_Click(int i_nTab) {
  if (i_nTab < 0 || static_cast<std::size_t>(i_nTab) >= m_rows.size()) return;
  m_nTab = i_nTab;
  m_nRow = m_rows[static_cast<std::size_t>(i_nTab)].empty() ? -1 : 0;
  UpdateButtons();
  Refresh();
}

void frmCertManager::lvwCertificates_Click(int i_nRow) {
  m_nRow = i_nRow;
  if (Selected() == nullptr) m_nRow = -1;
  UpdateButtons();
  Refresh();
}

void frmCertManager::btnImport_Click() {
  if (!m_managerView) return;
  const auto path = m_managerView->ChooseImportFile();
  if (path) ImportFile(*path);
}

void frmCertManager::ImportFile(const std::string& i_strPath) {
  // Digital IDs with their keys go to MY; other certificates to the tab
  // shown, or to AddressBook from the MY tab.
  std::string store = CertificateService::DefaultImportStore(i_strPath);
  const std::string& shown = CertificateService::Stores()[static_cast<std::size_t>(m_nTab)];
  if (!CertificateService::IsPkcs12Path(i_strPath) && !IsMy(shown)) store = shown;
  const std::string name = FileName(i_strPath);
  for (bool again = true; again;) {
    again = false;
    const PasswordSource password = [&]() -> std::optional<platform::Passphrase> {
      if (!m_managerView) return std::nullopt;
      return m_managerView->AskPassword("Enter the password that protects " + name + ".", false);
    };
    try {
      const CertificateEntry added = m_service.Import(i_strPath, store, password);
      Reload();
      Select(added.store, added.thumbprint);
      UpdateButtons();
      Refresh();
      m_ui.ShowMessageBox({"Imported " + Quoted(added) + " into " +
                               TabCaptions()[static_cast<std::size_t>(m_nTab)] + "." +
                               (added.privateKey ? std::string(1, kCR) + "Its private key is now on this computer." : ""),
                           kTitle, MsgIcon::Information, MsgButtons::OK, 1, {}});
    } catch (const CertificateError& e) {
      // The user declined: a password not given, or a root certificate not trusted.
      if (e.Code() == csp::HRESULT_CANCELLED) return;
      if (e.Code() == csp::NTE_BAD_DATA) {
        // A wrong password is asked again.
        again = m_ui.ShowMessageBox({"The password is wrong, or " + name + " is damaged." + kCR + "Do you want to try again?",
                                     kTitle, MsgIcon::Exclamation, MsgButtons::RetryCancel, 1, {}}) == MsgResult::Retry;
        continue;
      }
      Report("Failed to import " + name + ".", e);
    }
  }
}

void frmCertManager::btnExport_Click() {
  const CertificateEntry* selected = Selected();
  if (selected == nullptr || !m_managerView) return;
  const CertificateEntry entry = *selected;
  const bool withKey = entry.privateKey && IsMy(entry.store);
  std::string suggested = entry.name.empty() ? entry.ThumbprintText() : entry.name;
  std::replace(suggested.begin(), suggested.end(), '/', '_');
  const auto target = m_managerView->ChooseExportFile(suggested, withKey);
  if (!target) return;
  std::optional<platform::Passphrase> password;
  if (target->format == CertificateFormat::Pkcs12) {
    if (!withKey) {
      ShowWarning(m_ui, "Only your own digital IDs can be exported with their private key.", 0);
      return;
    }
    password = m_managerView->AskPassword(
        "Enter a new password to protect the exported digital ID." + std::string(1, kCR) +
            "Whoever has the file and this password can open every archive made for this digital ID.",
        true);
    if (!password) return;
  }
  try {
    const platform::PromptPurpose purpose("to export it to " + target->path);
    m_service.Export(entry, target->path, target->format, password ? &*password : nullptr);
    m_ui.ShowMessageBox({(target->format == CertificateFormat::Pkcs12 ? "Exported the digital ID with its private key to "
                                                                       : "Exported the certificate to ") +
                             target->path + ".",
                         kTitle, MsgIcon::Information, MsgButtons::OK, 1, {}});
  } catch (const CertificateError& e) {
    Report("Failed to export " + Quoted(entry) + ".", e);
  }
}

void frmCertManager::btnDelete_Click() {
  const CertificateEntry* selected = Selected();
  if (selected == nullptr) return;
  const CertificateEntry entry = *selected;
  const bool ownID = entry.privateKey && IsMy(entry.store);
  std::string question = "Do you want to delete the certificate " + Quoted(entry) + "?";
  ByteArray defaultTP;
  if (ownID && clsConfig().GetDefaultCertTP(defaultTP) == 0 &&
      std::equal(defaultTP.begin(), defaultTP.end(), entry.thumbprint.begin(), entry.thumbprint.end())) {
    question += std::string(1, kCR) + "It is your default digital ID for encrypting.";
  }
  if (m_ui.ShowMessageBox({question, kTitle, MsgIcon::Question, MsgButtons::YesNo, 2, {}}) != MsgResult::Yes) return;
  // The key of an own digital ID goes only after a question of its own.
  bool deleteKey = false;
  if (ownID) {
    deleteKey = m_ui.ShowMessageBox({Quoted(entry) + " is your own digital ID. Do you also want to delete its private key?" +
                                         kCR + kCR +
                                         "Archives encrypted for this digital ID can then never be opened again, "
                                         "unless you have exported it with its private key.",
                                     kTitle, MsgIcon::Exclamation, MsgButtons::YesNo, 2, {}}) == MsgResult::Yes;
  }
  try {
    m_service.Delete(entry);
    if (deleteKey) m_service.DeleteKeyContainer(entry);
  } catch (const CertificateError& e) {
    Report("Failed to delete " + Quoted(entry) + ".", e);
  }
  try {
    Reload();
  } catch (const CertificateError& e) {
    Report("Failed to open the certificate stores.", e);
  }
  const auto& rows = m_rows[static_cast<std::size_t>(m_nTab)];
  m_nRow = rows.empty() ? -1 : std::min(m_nRow, static_cast<int>(rows.size()) - 1);
  UpdateButtons();
  Refresh();
}

void frmCertManager::btnDetails_Click() {
  const CertificateEntry* selected = Selected();
  if (selected == nullptr || !m_managerView) return;
  try {
    m_managerView->ShowDetails("Certificate " + Quoted(*selected), m_service.Details(*selected));
  } catch (const CertificateError& e) {
    Report("Failed to show the certificate.", e);
  }
}

void frmCertManager::btnClose_Click() { CloseView(); }

}  // namespace sealvane::forms
