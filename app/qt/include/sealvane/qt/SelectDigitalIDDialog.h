// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "sealvane/forms/frmSelectDigitalID.h"

class QLabel;
class QTreeWidget;

namespace sealvane::qt {

class SelectDigitalIDDialog : public QDialog, public forms::FormView {
 public:
  SelectDigitalIDDialog(forms::frmSelectDigitalID& form, QWidget* parent);
  ~SelectDigitalIDDialog() override;

  void Refresh() override;
  void SetFocus(const std::string& control) override;
  void Close() override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override;

 private:
  forms::frmSelectDigitalID& m_form;
  QLabel* m_lblStatement;
  QTreeWidget* m_lvwDigitalID;
  bool m_bRefreshing = false;
  bool m_bActivated = false;
};

}  // namespace sealvane::qt
