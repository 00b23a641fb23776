// SPDX-License-Identifier: GPL-3.0-or-later
// The certificate (digital ID) manager: the user's stores as tabs, each
// certificate as a row, and import, export, delete and details, all through
// the certificate service that `sealvane-cli certs` uses too.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sealvane/archive/CertificateService.h"
#include "sealvane/archive/UiPort.h"
#include "sealvane/forms/Form.h"

namespace sealvane::forms {

// The file and format an export writes.
struct ExportTarget {
  std::string path;
  CertificateFormat format = CertificateFormat::Der;
};

class frmCertManagerView : public FormView {
 public:
  // The file to import, or nothing when the dialog was cancelled.
  virtual std::optional<std::string> ChooseImportFile() = 0;
  // Where to export `suggestedName` and in which format; PKCS #12 is
  // offered only when `withPrivateKey`.
  virtual std::optional<ExportTarget> ChooseExportFile(const std::string& suggestedName, bool withPrivateKey) = 0;
  // A password: one answer, or (for a new one) the same answer twice; the
  // view says when the two differ and asks again. Nothing when cancelled.
  virtual std::optional<platform::Passphrase> AskPassword(const std::string& prompt, bool newPassword) = 0;
  virtual void ShowDetails(const std::string& title, const std::vector<std::pair<std::string, std::string>>& fields) = 0;
};

class frmCertManager : public Form {
 public:
  explicit frmCertManager(UiPort& ui);

  void AttachView(frmCertManagerView* view) noexcept {
    m_managerView = view;
    Form::AttachView(view);
  }

  // The tabs' captions, in the order of CertificateService::Stores().
  static const std::vector<std::string>& TabCaptions();
  // The list's column headings.
  static const std::vector<std::string>& Columns();

  // The rows of a tab, and one row's cells in the columns' order.
  const std::vector<CertificateEntry>& Rows(int tab) const { return m_rows.at(static_cast<std::size_t>(tab)); }
  static std::vector<std::string> Cells(const CertificateEntry& entry);
  int CurrentTab() const noexcept { return m_nTab; }
  int SelectedRow() const noexcept { return m_nRow; }
  const CertificateEntry* Selected() const;

  // Events. Load returns false when it failed (the failure was shown).
  bool Load();
  void tabStores_Click(int i_nTab);
  void lvwCertificates_Click(int i_nRow);  // -1: nothing selected
  void btnImport_Click();
  void btnExport_Click();
  void btnDelete_Click();
  void btnDetails_Click();
  void btnClose_Click();

  // Imports a file as the Import button does once the file is chosen.
  void ImportFile(const std::string& i_strPath);

 private:
  void Reload();
  void UpdateButtons();
  void Select(const std::string& i_strStore, const std::array<std::uint8_t, 20>& i_abThumbprint);
  void Report(const std::string& i_strWhat, const CertificateError& i_oError);

  UiPort& m_ui;
  frmCertManagerView* m_managerView = nullptr;
  CertificateService m_service;
  std::vector<std::vector<CertificateEntry>> m_rows;
  int m_nTab = 0;
  int m_nRow = -1;
};

}  // namespace sealvane::forms
