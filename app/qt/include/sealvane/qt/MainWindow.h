// SPDX-License-Identifier: GPL-3.0-or-later
// The main window drawn with Qt Widgets: it draws frmMain's control states
// and hands the user's events to it. Every control carries its name as its
// objectName.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <map>

#include "sealvane/forms/frmMain.h"
#include "sealvane/qt/QtUiPort.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace sealvane::qt {

class MainWindow : public QMainWindow, public forms::frmMainView {
 public:
  MainWindow(forms::frmMain& form, QtUiPort& port);
  ~MainWindow() override;

  // frmMainView
  void Refresh() override;
  void RefreshControl(const std::string& control) override;
  void JobEnded(const std::string& summary, bool done) override;
  void SetFocus(const std::string& control) override;
  void Close() override;
  std::optional<std::string> BrowseForFile(const forms::BrowseRequest& request) override;
  std::vector<std::string> BrowseForFiles(const forms::BrowseRequest& request) override;
  void ShowJob(JobWindow& job) override;
  void ShowSelectDigitalID(forms::frmSelectDigitalID& dialog) override;
  void ShowOptions(forms::frmOptions& dialog) override;
  void ShowGenDigitalID(forms::frmGenDigitalID& dialog) override;
  void ShowAbout(forms::frmAbout& dialog) override;
  std::int32_t LaunchCertificateManager() override;
  std::uintptr_t ShowHelp(const std::string& helpFile, const std::string& topic) override;
  bool ShowDocument(const std::string& path, const std::string& title) override;
  bool HelpWindowExists(std::uintptr_t handle) override;
  void CloseHelpWindow(std::uintptr_t handle) override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // A new palette (the desktop turned dark): the drawn eye follows it.
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolbar();
  QWidget* BuildForm();
  void BuildStatusBar();
  void AddMnemonics();
  // Both password boxes show (or hide) what is typed.
  void ShowPasswords(bool shown);
  void FillRecentMenu(QMenu* menu);
  void SizeAccessColumns();
  // Applies a control's state to its widget.
  void Apply(QWidget* widget, const forms::ControlState& state);

  forms::frmMain& m_form;
  QtUiPort& m_port;
  std::map<std::string, QWidget*> m_widgets;
  std::map<std::string, QAction*> m_actions;
  QActionGroup* m_modes = nullptr;
  QLineEdit* m_txtFile = nullptr;
  QLineEdit* m_txtEncFile = nullptr;
  QLineEdit* m_txtPassword = nullptr;
  QLineEdit* m_txtConfirmPassword = nullptr;
  QAction* m_actShowPassword = nullptr;
  QCheckBox* m_chkCompressFile = nullptr;
  QCheckBox* m_chkDeleteOriginal = nullptr;
  QCheckBox* m_chkOpenFile = nullptr;
  QComboBox* m_cmbAlgorithm = nullptr;
  QRadioButton* m_optAccess[2] = {nullptr, nullptr};
  QTreeWidget* m_lvwAccess = nullptr;
  QLabel* m_panels[3] = {nullptr, nullptr, nullptr};
  QPointer<QWidget> m_help;  // the help viewer, while it is open
};

}  // namespace sealvane::qt
