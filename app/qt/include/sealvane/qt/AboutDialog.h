// SPDX-License-Identifier: GPL-3.0-or-later
// The About box drawn with Qt.
#pragma once

#include <QDialog>

#include "sealvane/forms/frmAbout.h"

namespace sealvane::qt {

class AboutDialog : public QDialog, public forms::FormView {
 public:
  AboutDialog(forms::frmAbout& form, QWidget* parent);
  ~AboutDialog() override;

  void Refresh() override;
  void SetFocus(const std::string& control) override;
  void Close() override;

 private:
  forms::frmAbout& m_form;
};

}  // namespace sealvane::qt
