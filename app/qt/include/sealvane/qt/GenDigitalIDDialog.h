// SPDX-License-Identifier: GPL-3.0-or-later
// The Generate Digital ID dialog drawn with Qt.
#pragma once

#include <QDialog>

#include "sealvane/forms/frmGenDigitalID.h"

class QCheckBox;
class QComboBox;

namespace sealvane::qt {

class GenDigitalIDDialog : public QDialog, public forms::FormView {
 public:
  GenDigitalIDDialog(forms::frmGenDigitalID& form, QWidget* parent);
  ~GenDigitalIDDialog() override;

  void Refresh() override;
  void SetFocus(const std::string& control) override;
  void Close() override;

 protected:
  void reject() override;

 private:
  forms::frmGenDigitalID& m_form;
  QComboBox* m_boxes[3];
  QCheckBox* m_chkSetSecurity;
};

}  // namespace sealvane::qt
