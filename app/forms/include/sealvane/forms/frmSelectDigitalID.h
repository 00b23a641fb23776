// SPDX-License-Identifier: GPL-3.0-or-later
// The digital-ID selection dialog: a sortable list of digital IDs from which
// the user picks one or several.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sealvane/archive/UiPort.h"
#include "sealvane/archive/clsDigitalID.h"
#include "sealvane/forms/Form.h"

namespace sealvane::forms {

class frmSelectDigitalID : public Form {
 public:
  explicit frmSelectDigitalID(UiPort& ui);

  // Takes a private copy of the digital IDs and lays out the list; true when
  // the dialog may be shown.
  bool Initialize(const std::string& i_strTitle, const std::string& i_strStatement, bool i_bMultiSelect,
                  const std::vector<clsDigitalID>& i_colDigitalIDs);
  bool Cancelled() const noexcept { return m_bCancelled; }
  // The working collection: after OK, in the order the list showed it.
  const std::vector<clsDigitalID>& DigitalIDs() const noexcept { return m_colDigitalIDs; }

  // One row of lvwDigitalID; `tag` is the 1-based position of its object in
  // the working collection.
  struct Row {
    std::string name;
    std::string email;
    // The thumbprint's first eight hexadecimal digits: IDs of one name and
    // address are told apart by it.
    std::string thumbprint;
    std::string created;  // the certificate's first day, YYYY-MM-DD; empty when not in a store
    bool isDefault = false;  // the user's default digital ID
    std::int32_t tag = 0;
    bool selected = false;
  };
  // The rows in the order the list displays them.
  const std::vector<Row>& Rows() const noexcept { return m_rows; }
  const std::string& Caption() const noexcept { return m_strCaption; }
  bool MultiSelect() const noexcept { return m_bMultiSelect; }
  // The column the list is sorted on (0 Name, 1 E-Mail Address, 2 Thumbprint).
  int SortColumn() const noexcept { return m_nSortColumn; }

  // Events.
  void Activate();
  // The user selects or deselects the row at a displayed position; in
  // single selection choosing a row deselects the others.
  void SelectRow(std::size_t i_nDisplayed, bool i_bSelected);
  // The selection as the list shows it, one flag per displayed row.
  void SetSelection(const std::vector<bool>& i_colSelected);
  void ColumnClick(int i_nColumn);
  void btnOK_Click();
  void btnCancel_Click();

  static std::string ShortThumbprint(const ByteArray& i_varThumbprint);

 private:
  void Sort();

  UiPort& m_ui;
  std::string m_strCaption = "Select Digital ID";
  bool m_bMultiSelect = false;
  bool m_bCancelled = true;
  int m_nSortColumn = 0;
  std::vector<clsDigitalID> m_colDigitalIDs;
  std::vector<Row> m_rows;
};

}  // namespace sealvane::forms
