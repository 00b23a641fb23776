// SPDX-License-Identifier: GPL-3.0-or-later
// The Options dialog and the digital-ID selection dialog drawn with Qt.
#pragma once

#include <QDialog>

#include "sealvane/forms/frmOptions.h"
#include "sealvane/forms/frmSelectDigitalID.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace sealvane::qt {

class OptionsDialog : public QDialog, public forms::frmOptionsView {
 public:
  OptionsDialog(forms::frmOptions& form, QWidget* parent);
  ~OptionsDialog() override;

  void Refresh() override;
  void SetFocus(const std::string& control) override;
  void Close() override;
  void ShowSelectDigitalID(forms::frmSelectDigitalID& dialog) override;

 protected:
  void reject() override;

 private:
  forms::frmOptions& m_form;
  QLineEdit* m_txtDigitalID;
  QComboBox* m_cmbAlgorithm;
  QCheckBox* m_chkCompressFile;
  QCheckBox* m_chkDeleteOriginal;
  QCheckBox* m_chkOpenFile;
};

}  // namespace sealvane::qt
