// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/frmSelectDigitalID.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "sealvane/archive/CertificateService.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::forms {
namespace {

// The list view sorts its text without regard to case.
bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

frmSelectDigitalID::frmSelectDigitalID(UiPort& ui) : m_ui(ui) {
  Add("lblStatement", "Select a Digital ID.");
  Add("lvwDigitalID", "");
  Add("btnOK", "OK");
  Add("btnCancel", "Cancel");
}

std::string frmSelectDigitalID::ShortThumbprint(const ByteArray& i_varThumbprint) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < i_varThumbprint.size() && i < 4; ++i) {
    text.push_back(kHex[i_varThumbprint[i] >> 4]);
    text.push_back(kHex[i_varThumbprint[i] & 15]);
  }
  return text;
}

bool frmSelectDigitalID::Initialize(const std::string& i_strTitle, const std::string& i_strStatement,
                                    bool i_bMultiSelect, const std::vector<clsDigitalID>& i_colDigitalIDs) {
  try {
    m_bCancelled = true;
    m_colDigitalIDs.clear();
    for (const clsDigitalID& id : i_colDigitalIDs) {
      clsDigitalID copy;
      id.CopyTo(copy);
      m_colDigitalIDs.push_back(copy);
    }
    m_strCaption = i_strTitle;
    Edit("lblStatement").text = i_strStatement;
    m_bMultiSelect = i_bMultiSelect;
    m_nSortColumn = 0;
    m_rows.clear();
    ByteArray defaultId;
    clsConfig().GetDefaultCertTP(defaultId);
    const CertificateService certificates;
    for (std::size_t i = 0; i < m_colDigitalIDs.size(); ++i) {
      const clsDigitalID& id = m_colDigitalIDs[i];
      Row row {id.m_strName, id.m_strEMailAddr, ShortThumbprint(id.m_varThumbprint), "", false,
               static_cast<std::int32_t>(i + 1), id.m_bSelected};
      // When it was made, from the store that holds it.
      if (id.m_varThumbprint.size() == 20) {
        std::array<std::uint8_t, 20> thumbprint {};
        std::copy(id.m_varThumbprint.begin(), id.m_varThumbprint.end(), thumbprint.begin());
        for (const char* store : {"MY", "AddressBook"}) {
          if (const auto entry = certificates.Find(store, thumbprint)) {
            row.created = CertificateTimeText(entry->notBefore).substr(0, 10);
            break;
          }
        }
      }
      row.isDefault = !defaultId.empty() && defaultId == id.m_varThumbprint;
      m_rows.push_back(std::move(row));
    }
    // A single-selection list keeps one selected row: the last one marked.
    if (!m_bMultiSelect) {
      bool seen = false;
      for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it) {
        if (it->selected && seen) it->selected = false;
        seen = seen || it->selected;
      }
    }
    Sort();
    Refresh();
    return true;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to initialize Select Digital ID form.");
    return false;
  }
}

void frmSelectDigitalID::Sort() {
  const int column = m_nSortColumn;
  std::stable_sort(m_rows.begin(), m_rows.end(), [column](const Row& a, const Row& b) {
    return column == 0   ? LessNoCase(a.name, b.name)
           : column == 1 ? LessNoCase(a.email, b.email)
           : column == 2 ? a.created < b.created
                         : a.thumbprint < b.thumbprint;
  });
}

void frmSelectDigitalID::Activate() { Focus("lvwDigitalID"); }

void frmSelectDigitalID::SelectRow(std::size_t i_nDisplayed, bool i_bSelected) {
  if (i_nDisplayed >= m_rows.size()) return;
  if (!m_bMultiSelect && i_bSelected) {
    for (Row& row : m_rows) row.selected = false;
  }
  m_rows[i_nDisplayed].selected = i_bSelected;
  Refresh();
}

void frmSelectDigitalID::SetSelection(const std::vector<bool>& i_colSelected) {
  bool chosen = false;
  for (std::size_t i = 0; i < m_rows.size(); ++i) {
    const bool selected = i < i_colSelected.size() && i_colSelected[i] && (m_bMultiSelect || !chosen);
    m_rows[i].selected = selected;
    chosen = chosen || selected;
  }
}

void frmSelectDigitalID::ColumnClick(int i_nColumn) {
  try {
    if (i_nColumn < 0 || i_nColumn > 3) return;
    m_nSortColumn = i_nColumn;
    Sort();
    Refresh();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to sort column.");
  }
}

void frmSelectDigitalID::btnOK_Click() {
  try {
    std::vector<clsDigitalID> ordered;
    ordered.reserve(m_rows.size());
    for (const Row& row : m_rows) {
      clsDigitalID id = m_colDigitalIDs.at(static_cast<std::size_t>(row.tag - 1));
      id.m_bSelected = row.selected;
      ordered.push_back(std::move(id));
    }
    m_colDigitalIDs = std::move(ordered);
    m_bCancelled = false;
    CloseView();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to Select Digital ID.");
  }
}

void frmSelectDigitalID::btnCancel_Click() { CloseView(); }

}  // namespace sealvane::forms
