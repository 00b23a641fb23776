// SPDX-License-Identifier: GPL-3.0-or-later
// The Generate Digital ID dialog: a name, an e-mail address and an
// organization (offered from the user's e-mail accounts), checked, made into
// a subject name, and a new self-signed digital ID that becomes the default.
#pragma once

#include <cstdint>
#include <string>

#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/archive/UiPort.h"
#include "sealvane/forms/Form.h"
#include "sealvane/sealvanelib.h"

namespace sealvane::forms {

class frmGenDigitalID : public Form {
 public:
  explicit frmGenDigitalID(UiPort& ui, CipherLibrary& library = CipherLibrary::Default());

  // Fills the three lists; false when it failed (the failure was shown).
  bool Load();
  // True once a digital ID was generated.
  bool ValuesChanged() const noexcept { return m_bValuesChanged; }
  // Not empty and holding one of , + = < > # ".
  static bool InvalidForDN(const std::string& i_strText);
  // The subject of a new digital ID: "cn=NAME[, e=EMAIL], ou=Sealvane[, o=ORG]".
  static std::string Subject(const std::string& i_strName, const std::string& i_strEmail, const std::string& i_strOrg);
  // Advances the user's certificate serial counter and returns the new
  // number; throws RuntimeError 6 (overflow) at its end.
  static std::int32_t NextSerialNumber();
  // The validity of a new digital ID: from now (local time, field by
  // field) for 240 months, on the last day of the month when the day does
  // not exist there.
  static void Validity(SLSystemTime& o_oFrom, SLSystemTime& o_oTo);

  // Events. The combo boxes are cmbName, cmbEMailAddr and cmbOrgName.
  void TextChanged(const std::string& i_strControl, const std::string& i_strText);
  void chkSetSecurity_Click(int i_nValue);
  void btnOK_Click();
  void btnCancel_Click();

 private:
  UiPort& m_ui;
  CipherLibrary& m_library;
  bool m_bValuesChanged = false;
};

}  // namespace sealvane::forms
