// SPDX-License-Identifier: GPL-3.0-or-later
// The certificate manager window: frmCertManager drawn with Qt Widgets.
#pragma once

#include <QWidget>

#include "sealvane/forms/frmCertManager.h"

class QPushButton;
class QTabBar;
class QTreeWidget;

namespace sealvane::qt {

class QtUiPort;

class CertManagerWindow : public QWidget, public forms::frmCertManagerView {
 public:
  CertManagerWindow(forms::frmCertManager& form, QtUiPort& port);
  ~CertManagerWindow() override;

  // frmCertManagerView
  void Refresh() override;
  void SetFocus(const std::string& control) override;
  void Close() override;
  std::optional<std::string> ChooseImportFile() override;
  std::optional<forms::ExportTarget> ChooseExportFile(const std::string& suggestedName, bool withPrivateKey) override;
  std::optional<platform::Passphrase> AskPassword(const std::string& prompt, bool newPassword) override;
  void ShowDetails(const std::string& title, const std::vector<std::pair<std::string, std::string>>& fields) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  forms::frmCertManager& m_form;
  QtUiPort& m_port;
  QTabBar* m_tabs;
  QTreeWidget* m_list;
  bool m_bRefreshing = false;
  bool m_bSized = false;
};

}  // namespace sealvane::qt
