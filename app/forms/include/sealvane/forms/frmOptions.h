// SPDX-License-Identifier: GPL-3.0-or-later
// The Options dialog: the user's encryption defaults (default digital ID,
// cipher, compression, opening after decrypting).
#pragma once

#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/archive/UiPort.h"
#include "sealvane/forms/Form.h"
#include "sealvane/forms/frmSelectDigitalID.h"
#include "sealvane/sealvanelib.h"

namespace sealvane::forms {

class frmOptionsView : public FormView {
 public:
  // Shows the selection dialog modally, owned by the Options dialog.
  virtual void ShowSelectDigitalID(frmSelectDigitalID& dialog) = 0;
};

class frmOptions : public Form {
 public:
  explicit frmOptions(UiPort& ui, CipherLibrary& library = CipherLibrary::Default());

  void AttachView(frmOptionsView* view) noexcept {
    m_optionsView = view;
    Form::AttachView(view);
  }

  // True once OK saved the values.
  bool ValuesChanged() const noexcept { return m_bValuesChanged; }

  // Events.
  // Load: false when it failed (the failure was shown).
  bool Load();
  void btnSelect_Click();
  void cmbAlgorithm_Click(int i_nIndex);
  void chkCompressFile_Click(int i_nValue);
  void chkOpenFile_Click(int i_nValue);
  void chkDeleteOriginal_Click(int i_nValue);
  void btnOK_Click();
  void btnCancel_Click();

 private:
  UiPort& m_ui;
  CipherLibrary& m_library;
  frmOptionsView* m_optionsView = nullptr;
  CertRecord m_oDigitalID {};
  bool m_bHaveDigitalID = false;
  bool m_bStrongCiphers = false;  // the cipher list holds the strong legacy ciphers
  bool m_bValuesChanged = false;
};

}  // namespace sealvane::forms
