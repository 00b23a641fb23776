// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/MainWindow.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "Widgets.h"
#include "sealvane/qt/AboutDialog.h"
#include "sealvane/qt/GenDigitalIDDialog.h"
#include "Notify.h"
#include "sealvane/platform/VisibleText.h"
#include "sealvane/qt/Glyphs.h"
#include "sealvane/qt/HelpViewer.h"
#include "sealvane/qt/JobDialog.h"
#include "sealvane/qt/OptionsDialog.h"
#include "sealvane/platform/Process.h"
#include "sealvane/qt/SelectDigitalIDDialog.h"

namespace sealvane::qt {
namespace {

// "Description (*.ext)|*.ext" as a Qt name filter. "*.*" means every file
// here, not only names with a dot.
QString NameFilter(const std::string& filter) {
  const QString text = Q(filter);
  const QString description = text.section(QLatin1Char('|'), 0, 0);
  const QString patterns = text.section(QLatin1Char('|'), 1);
  if (patterns == QLatin1String("*.*")) return QString(description).replace(QLatin1String("(*.*)"), QLatin1String("(*)"));
  return description;
}

}  // namespace

MainWindow::MainWindow(forms::frmMain& form, QtUiPort& port) : m_form(form), m_port(port) {
  setObjectName("frmMain");
  setWindowIcon(ProgramIcon());
  setAcceptDrops(true);
  BuildMenus();
  BuildToolbar();
  setCentralWidget(BuildForm());
  BuildStatusBar();
  AddMnemonics();
  m_port.SetMainWindow(this);
  m_form.AttachView(this);
  // The smallest size is the one the layout fits in (the top-level layout
  // enforces it); the list of digital IDs takes the room beyond it.
  resize(600, 500);
}

MainWindow::~MainWindow() {
  m_form.AttachView(nullptr);
  m_port.SetMainWindow(nullptr);
}

void MainWindow::BuildMenus() {
  const auto addMenu = [this](const char* name) {
    QMenu* menu = menuBar()->addMenu(Q(m_form.Control(name).text));
    menu->setObjectName(name);
    return menu;
  };
  const auto addItem = [this](QMenu* menu, const char* name, auto handler) {
    QAction* action = menu->addAction(Q(m_form.Control(name).text));
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, handler);
    m_actions[name] = action;
    return action;
  };
  menuBar()->setObjectName("mnuMenuBar");
  QMenu* file = addMenu("mnuFile");
  addItem(file, "mnuFileEncrypt", [this] { m_form.mnuFileEncrypt_Click(); });
  addItem(file, "mnuFileEncryptFolder", [this] { m_form.mnuFileEncryptFolder_Click(); });
  addItem(file, "mnuFileDecrypt", [this] { m_form.mnuFileDecrypt_Click(); });
  addItem(file, "mnuFileSecureDelete", [this] { m_form.mnuFileSecureDelete_Click(); });
  addItem(file, "mnuFileSecureDeleteFolder", [this] { m_form.mnuFileSecureDeleteFolder_Click(); });
  file->addSeparator();
  // The encrypted files made or opened lately, read when the menu opens.
  QMenu* recent = file->addMenu(QStringLiteral("&Recent Encrypted Files"));
  recent->setObjectName("mnuFileRecent");
  connect(recent, &QMenu::aboutToShow, this, [this, recent] { FillRecentMenu(recent); });
  FillRecentMenu(recent);
  file->addSeparator();
  // Ctrl+Q on every desktop (the standard Quit key has none on some).
  addItem(file, "mnuFileExit", [this] { close(); })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  QMenu* tools = addMenu("mnuTools");
  addItem(tools, "mnuToolsGenDigitalID", [this] { m_form.mnuToolsGenDigitalID_Click(); });
  tools->addSeparator();
  addItem(tools, "mnuToolsLaunchCertMgr", [this] { m_form.mnuToolsLaunchCertMgr_Click(); });
  tools->addSeparator();
  addItem(tools, "mnuToolsOptions", [this] { m_form.mnuToolsOptions_Click(); });
  QMenu* help = addMenu("mnuHelp");
  addItem(help, "mnuHelpTopics", [this] { m_form.mnuHelpTopics_Click(); })->setShortcut(QKeySequence::HelpContents);
  // Ctrl+O browses for the file the mode starts from: the encrypted file
  // when decrypting, else the file.
  auto* browse = new QAction(this);
  browse->setObjectName("actBrowse");
  browse->setShortcut(QKeySequence::Open);
  connect(browse, &QAction::triggered, this, [this] {
    if (m_form.GetCurrentMode() == forms::kModeDecrypt) {
      m_form.btnBrowseEncFile_Click();
    } else {
      m_form.btnBrowseFile_Click();
    }
  });
  addAction(browse);
  help->addSeparator();
  addItem(help, "mnuHelpReadMe", [this] { m_form.mnuHelpReadMe_Click(); });
  addItem(help, "mnuHelpLicense", [this] { m_form.mnuHelpLicense_Click(); });
  help->addSeparator();
  addItem(help, "mnuHelpAbout", [this] { m_form.mnuHelpAbout_Click(); });
}

void MainWindow::BuildToolbar() {
  QToolBar* bar = addToolBar(QStringLiteral("Toolbar"));
  bar->setObjectName("tbrToolbar");
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->setIconSize(QSize(32, 32));
  bar->setContextMenuPolicy(Qt::PreventContextMenu);
  m_modes = new QActionGroup(this);
  // One button is pressed once a mode is set up; none before (a command
  // line that set up no mode). The form decides which, on every click.
  m_modes->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  const std::pair<const char*, QIcon> buttons[] = {
      {forms::kModeEncrypt, EncryptIcon()}, {forms::kModeDecrypt, DecryptIcon()}, {forms::kModeSecureDelete, SecureDeleteIcon()}};
  for (const auto& [key, icon] : buttons) {
    const std::string name = key;
    QAction* action = bar->addAction(icon, Q(m_form.Control(name).text));
    action->setObjectName(key);
    action->setCheckable(true);
    action->setToolTip(Q(m_form.Control(name).tooltip));
    m_modes->addAction(action);
    connect(action, &QAction::triggered, this, [this, name] { m_form.ToolbarButtonClick(name); });
    m_actions[name] = action;
  }
}

QWidget* MainWindow::BuildForm() {
  auto* page = new QWidget(this);
  page->setObjectName("fraMain");
  auto* grid = new QGridLayout(page);
  grid->setColumnStretch(1, 1);

  const auto label = [this, page](const char* name) {
    auto* widget = PlainLabel(Q(m_form.Control(name).text), page);
    widget->setObjectName(name);
    m_widgets[name] = widget;
    return widget;
  };
  const auto edit = [this, page](const char* name) {
    auto* widget = new QLineEdit(page);
    widget->setObjectName(name);
    const std::string control = name;
    connect(widget, &QLineEdit::textEdited, this, [this, control](const QString& text) {
      m_form.TextChanged(control, text.toStdString());
    });
    // Enter in a text box presses OK, the window's default button.
    connect(widget, &QLineEdit::returnPressed, this, [this] { m_form.btnOK_Click(); });
    m_widgets[name] = widget;
    return widget;
  };
  const auto button = [this, page](const char* name, auto handler) {
    auto* widget = new QPushButton(Q(m_form.Control(name).text), page);
    widget->setObjectName(name);
    widget->setAutoDefault(false);
    connect(widget, &QPushButton::clicked, this, handler);
    m_widgets[name] = widget;
    return widget;
  };
  const auto check = [this, page](const char* name, auto handler) {
    auto* widget = new QCheckBox(Q(m_form.Control(name).text), page);
    widget->setObjectName(name);
    connect(widget, &QCheckBox::clicked, this, [handler](bool checked) { handler(checked ? 1 : 0); });
    m_widgets[name] = widget;
    return widget;
  };

  QLabel* lblFile = label("lblFile");
  m_txtFile = edit("txtFile");
  // A path typed or pasted into the box is taken when the user leaves it.
  connect(m_txtFile, &QLineEdit::editingFinished, this, [this] { m_form.txtFile_Validate(false); });
  QPushButton* btnBrowseFile = button("btnBrowseFile", [this] { m_form.btnBrowseFile_Click(); });
  lblFile->setBuddy(m_txtFile);
  // Several files: listed under the box, one per line.
  auto* lstFiles = new QListWidget(page);
  lstFiles->setObjectName("lstFiles");
  lstFiles->setSelectionMode(QAbstractItemView::NoSelection);
  lstFiles->setTextElideMode(Qt::ElideMiddle);
  lstFiles->setMaximumHeight(lstFiles->fontMetrics().height() * 5 + 8);
  lstFiles->setVisible(false);
  m_widgets["lstFiles"] = lstFiles;
  auto* files = new QVBoxLayout;
  files->setContentsMargins(0, 0, 0, 0);
  files->addWidget(m_txtFile);
  files->addWidget(lstFiles);
  grid->addWidget(lblFile, 0, 0, Qt::AlignTop);
  grid->addLayout(files, 0, 1);
  grid->addWidget(btnBrowseFile, 0, 2, Qt::AlignTop);

  QLabel* lblEncFile = label("lblEncFile");
  m_txtEncFile = edit("txtEncFile");
  QPushButton* btnBrowseEncFile = button("btnBrowseEncFile", [this] { m_form.btnBrowseEncFile_Click(); });
  lblEncFile->setBuddy(m_txtEncFile);
  grid->addWidget(lblEncFile, 1, 0);
  grid->addWidget(m_txtEncFile, 1, 1);
  grid->addWidget(btnBrowseEncFile, 1, 2);

  m_chkCompressFile = check("chkCompressFile", [this](int v) { m_form.chkCompressFile_Click(v); });
  QLabel* lblAlgorithm = label("lblAlgorithm");
  m_cmbAlgorithm = new QComboBox(page);
  m_cmbAlgorithm->setObjectName("cmbAlgorithm");
  m_cmbAlgorithm->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  m_cmbAlgorithm->setMinimumContentsLength(14);
  connect(m_cmbAlgorithm, &QComboBox::activated, this, [this](int index) { m_form.cmbAlgorithm_Click(index); });
  m_widgets["cmbAlgorithm"] = m_cmbAlgorithm;
  lblAlgorithm->setBuddy(m_cmbAlgorithm);
  auto* options = new QHBoxLayout;
  options->addWidget(m_chkCompressFile);
  options->addStretch(1);
  options->addWidget(lblAlgorithm);
  options->addWidget(m_cmbAlgorithm);
  grid->addLayout(options, 2, 1, 1, 2);

  m_chkOpenFile = check("chkOpenFile", [this](int v) { m_form.chkOpenFile_Click(v); });
  grid->addWidget(m_chkOpenFile, 3, 1, 1, 2);
  m_chkDeleteOriginal = check("chkDeleteOriginal", [this](int v) { m_form.chkDeleteOriginal_Click(v); });
  grid->addWidget(m_chkDeleteOriginal, 4, 1, 1, 2);

  auto* access = new QHBoxLayout;
  for (int i = 0; i < 2; ++i) {
    const std::string name = "optAccess(" + std::to_string(i) + ")";
    m_optAccess[i] = new QRadioButton(Q(m_form.Control(name).text), page);
    m_optAccess[i]->setObjectName("optAccess");
    m_optAccess[i]->setProperty("index", i);
    connect(m_optAccess[i], &QRadioButton::clicked, this, [this, i] { m_form.optAccess_Click(i); });
    m_widgets[name] = m_optAccess[i];
    access->addWidget(m_optAccess[i]);
  }
  access->addStretch(1);
  grid->addLayout(access, 5, 1, 1, 2);

  QLabel* lblAccess = label("lblAccess");
  lblAccess->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_lvwAccess = new QTreeWidget(page);
  m_lvwAccess->setObjectName("lvwAccess");
  m_lvwAccess->setColumnCount(2);
  m_lvwAccess->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("E-Mail Address")});
  m_lvwAccess->setRootIsDecorated(false);
  m_lvwAccess->setItemsExpandable(false);
  m_lvwAccess->setSelectionMode(QAbstractItemView::NoSelection);
  m_lvwAccess->setFocusPolicy(Qt::StrongFocus);
  m_lvwAccess->header()->setStretchLastSection(true);
  m_lvwAccess->header()->setSectionsMovable(false);
  m_lvwAccess->setMinimumHeight(90);
  m_lvwAccess->viewport()->installEventFilter(this);
  connect(m_lvwAccess, &QTreeWidget::itemClicked, this, [this] { m_form.lvwAccess_Click(); });
  m_widgets["lvwAccess"] = m_lvwAccess;
  lblAccess->setBuddy(m_lvwAccess);
  QPushButton* btnSelectAccess = button("btnSelectAccess", [this] { m_form.btnSelectAccess_Click(); });
  grid->addWidget(lblAccess, 6, 0);
  grid->addWidget(m_lvwAccess, 6, 1);
  grid->addWidget(btnSelectAccess, 6, 2, Qt::AlignTop);
  grid->setRowStretch(6, 1);

  QLabel* lblPassword = label("lblPassword");
  m_txtPassword = edit("txtPassword");
  m_txtPassword->setEchoMode(QLineEdit::Password);
  m_txtPassword->setProperty("secret", true);
  lblPassword->setBuddy(m_txtPassword);
  grid->addWidget(lblPassword, 7, 0);
  grid->addWidget(m_txtPassword, 7, 1);
  QLabel* lblConfirmPassword = label("lblConfirmPassword");
  m_txtConfirmPassword = edit("txtConfirmPassword");
  m_txtConfirmPassword->setEchoMode(QLineEdit::Password);
  m_txtConfirmPassword->setProperty("secret", true);
  lblConfirmPassword->setBuddy(m_txtConfirmPassword);
  grid->addWidget(lblConfirmPassword, 8, 0);
  grid->addWidget(m_txtConfirmPassword, 8, 1);
  // Show and hide what is typed in both boxes: an eye in the first.
  m_actShowPassword = m_txtPassword->addAction(PasswordShownIcon(false), QLineEdit::TrailingPosition);
  m_actShowPassword->setObjectName("actShowPassword");
  m_actShowPassword->setCheckable(true);
  m_actShowPassword->setToolTip(QStringLiteral("Show the password"));
  connect(m_actShowPassword, &QAction::toggled, this, [this](bool shown) { ShowPasswords(shown); });
  QLabel* lblStrength = label("lblStrength");
  lblStrength->setWordWrap(true);
  grid->addWidget(lblStrength, 9, 1, 1, 2);

  // In Secure Delete mode the rows above are hidden: the rest stays on top.
  grid->setRowStretch(10, 0);
  auto* spacer = new QWidget(page);
  spacer->setObjectName("spcFill");
  spacer->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
  grid->addWidget(spacer, 10, 0, 1, 3);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* btnOK = button("btnOK", [this] { m_form.btnOK_Click(); });
  btnOK->setDefault(true);
  QPushButton* btnExit = button("btnExit", [this] { m_form.btnExit_Click(); });
  buttons->addWidget(btnOK);
  buttons->addWidget(btnExit);
  grid->addLayout(buttons, 10, 0, 1, 3);

  // Tab order: top to bottom, left to right.
  QWidget* order[] = {m_txtFile, btnBrowseFile, m_txtEncFile, btnBrowseEncFile, m_chkCompressFile, m_cmbAlgorithm,
                      m_chkOpenFile, m_chkDeleteOriginal, m_optAccess[0], m_optAccess[1], m_lvwAccess, btnSelectAccess, m_txtPassword,
                      m_txtConfirmPassword, btnOK, btnExit};
  for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
  return page;
}

void MainWindow::AddMnemonics() {
  // Alt and a letter reaches every box and button (a label passes it to
  // its box); the letters of the menu bar (F, T, H) are left to it.
  const std::pair<const char*, const char*> mnemonics[] = {
      {"lblFile", "Fi&le:"},
      {"btnBrowseFile", "&Browse..."},
      {"lblEncFile", "E&ncrypted File:"},
      {"btnBrowseEncFile", "Bro&wse..."},
      {"chkCompressFile", "&Compress file"},
      {"chkOpenFile", "&Open file after decrypting it"},
      {"chkDeleteOriginal", "Securely &delete the original after encrypting"},
      {"lblAlgorithm", "&Algorithm:"},
      {"optAccess(0)", "Access by Digital &IDs"},
      {"optAccess(1)", "Access by &Password"},
      {"lblAccess", "Digital ID&s:"},
      {"btnSelectAccess", "S&elect..."},
      {"lblPassword", "Passwo&rd:"},
      {"lblConfirmPassword", "Confir&m Password:"},
      {"btnExit", "E&xit"},
  };
  for (const auto& [name, text] : mnemonics) {
    const auto widget = m_widgets.find(name);
    // Only over the words the form gives the control.
    if (widget == m_widgets.end() || QString::fromUtf8(text).remove(QLatin1Char('&')) != Q(m_form.Control(name).text)) {
      continue;
    }
    widget->second->setProperty("mnemonic", QString::fromUtf8(text));
    if (auto* button = qobject_cast<QAbstractButton*>(widget->second)) button->setText(QString::fromUtf8(text));
    if (auto* label = qobject_cast<QLabel*>(widget->second)) label->setText(QString::fromUtf8(text));
  }
}

void MainWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("sbrStatusBar");
  bar->setSizeGripEnabled(true);
  const char* names[] = {"Status", "FileSize", "EncFileSize"};
  for (int i = 0; i < 3; ++i) {
    m_panels[i] = PlainLabel(QString(), bar);
    m_panels[i]->setObjectName(names[i]);
    m_panels[i]->setToolTip(Q(m_form.Control(names[i]).tooltip));
    m_panels[i]->setContentsMargins(4, 0, 4, 0);
    if (i == 0) {
      bar->addWidget(m_panels[i], 1);
    } else {
      m_panels[i]->setMinimumWidth(150);
      bar->addPermanentWidget(m_panels[i]);
    }
    m_widgets[names[i]] = m_panels[i];
  }
}

void MainWindow::Apply(QWidget* widget, const forms::ControlState& state) {
  widget->setVisible(state.visible);
  widget->setEnabled(state.enabled);
  widget->setToolTip(PlainTip(Q(state.tooltip)));
  const QPalette defaults = QApplication::palette(widget);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, state.background == forms::Background::Window ? defaults.color(QPalette::Base)
                                                                                   : defaults.color(QPalette::Button));
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    line->setReadOnly(state.readOnly);
    // A box that cannot be typed in does not look as if it could (the
    // encrypted file's box when decrypting).
    if (state.readOnly) palette.setColor(QPalette::Base, defaults.color(QPalette::Button));
    if (line->property("secret").toBool() && state.text.empty()) {
      // A password box emptied after use keeps nothing of the password, and
      // hides what is typed next.
      if (!line->text().isEmpty()) ClearSecretLine(line);
      if (m_actShowPassword->isChecked()) m_actShowPassword->setChecked(false);
    } else if (line->text() != Q(state.text)) {
      line->setText(Q(state.text));
    }
    line->setPalette(palette);
  } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
    box->setChecked(state.value == 1);
  } else if (auto* option = qobject_cast<QRadioButton*>(widget)) {
    if (state.value == 1) option->setChecked(true);
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    ApplyList(combo, state);
  } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
    // Names are shown as they are: a list item is never markup.
    QStringList items;
    for (const std::string& item : state.items) items.push_back(Q(item));
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) shown.push_back(list->item(i)->text());
    if (shown != items) {
      list->clear();
      list->addItems(items);
    }
  } else if (auto* tree = qobject_cast<QTreeWidget*>(widget)) {
    tree->setPalette(palette);
  } else if (auto* text = qobject_cast<QLabel*>(widget)) {
    const QString mnemonic = text->property("mnemonic").toString();
    text->setText(!mnemonic.isEmpty() && QString(mnemonic).remove(QLatin1Char('&')) == Q(state.text) ? mnemonic
                                                                                                     : Q(state.text));
  }
}

void MainWindow::FillRecentMenu(QMenu* menu) {
  menu->clear();
  const std::vector<std::string> files = m_form.RecentFiles();
  int number = 1;
  for (const std::string& file : files) {
    // A name is text, not a mnemonic: its & are doubled, control
    // characters shown.
    QString text = Q(platform::VisibleText(file));
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* item = menu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(text));
    connect(item, &QAction::triggered, this, [this, file] { m_form.mnuFileRecent_Click(file); });
  }
  if (!files.empty()) menu->addSeparator();
  QAction* clear = menu->addAction(QStringLiteral("&Clear List"));
  clear->setObjectName("mnuFileClearRecent");
  clear->setEnabled(!files.empty());
  connect(clear, &QAction::triggered, this, [this] { m_form.mnuFileClearRecent_Click(); });
}

void MainWindow::JobEnded(const std::string& summary, bool done) {
  // Told to the desktop only when the user is looking elsewhere.
  if (isActiveWindow()) return;
  NotifyDesktop(done ? QStringLiteral("Sealvane: done") : QStringLiteral("Sealvane: not done"), Q(summary));
}

void MainWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange && m_actShowPassword) {
    m_actShowPassword->setIcon(PasswordShownIcon(m_actShowPassword->isChecked()));
  }
  QMainWindow::changeEvent(event);
}

void MainWindow::ShowPasswords(bool shown) {
  for (QLineEdit* line : {m_txtPassword, m_txtConfirmPassword}) line->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
  m_actShowPassword->setIcon(PasswordShownIcon(shown));
  m_actShowPassword->setToolTip(shown ? QStringLiteral("Hide the password") : QStringLiteral("Show the password"));
}

void MainWindow::RefreshControl(const std::string& control) {
  if (const auto widget = m_widgets.find(control); widget != m_widgets.end()) {
    Apply(widget->second, m_form.Control(control));
  }
}

void MainWindow::Refresh() {
  setWindowTitle(Q(m_form.Control("frmMain").text));
  for (const auto& [name, state] : m_form.Controls()) {
    if (const auto widget = m_widgets.find(name); widget != m_widgets.end()) Apply(widget->second, state);
    if (const auto action = m_actions.find(name); action != m_actions.end() && action->second->isCheckable()) {
      action->second->setChecked(state.value == 1);
    }
  }
  m_lvwAccess->clear();
  for (const auto& row : m_form.AccessRows()) {
    auto* item = new QTreeWidgetItem(m_lvwAccess, {Q(row.name), Q(row.email)});
    item->setData(0, Qt::UserRole, Q(row.tag));
  }
}

void MainWindow::SetFocus(const std::string& control) {
  if (const auto widget = m_widgets.find(control); widget != m_widgets.end()) widget->second->setFocus();
}

void MainWindow::Close() { close(); }

std::optional<std::string> MainWindow::BrowseForFile(const forms::BrowseRequest& request) {
  QFileDialog dialog(this, Q(request.title), Q(request.initialFolder));
  dialog.setObjectName("dlgFind");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setNameFilter(NameFilter(request.filter));
  if (!request.initialName.empty()) dialog.selectFile(Q(request.initialName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst().toStdString();
}

std::vector<std::string> MainWindow::BrowseForFiles(const forms::BrowseRequest& request) {
  if (!request.several && !request.folder) return frmMainView::BrowseForFiles(request);
  QFileDialog dialog(this, Q(request.title), Q(request.initialFolder));
  dialog.setObjectName("dlgFind");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (request.folder) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
  } else {
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(NameFilter(request.filter));
    if (!request.initialName.empty()) dialog.selectFile(Q(request.initialName));
  }
  std::vector<std::string> chosen;
  if (dialog.exec() != QDialog::Accepted) return chosen;
  for (const QString& path : dialog.selectedFiles()) chosen.push_back(path.toStdString());
  return chosen;
}

void MainWindow::ShowJob(JobWindow& job) {
  JobDialog dialog(job, m_port, this);
  dialog.exec();
}

void MainWindow::ShowSelectDigitalID(forms::frmSelectDigitalID& dialog) {
  SelectDigitalIDDialog view(dialog, this);
  view.exec();
}

void MainWindow::ShowOptions(forms::frmOptions& dialog) {
  OptionsDialog view(dialog, this);
  view.exec();
}

void MainWindow::ShowGenDigitalID(forms::frmGenDigitalID& dialog) {
  GenDigitalIDDialog view(dialog, this);
  view.exec();
}

void MainWindow::ShowAbout(forms::frmAbout& dialog) {
  AboutDialog view(dialog, this);
  view.exec();
}

bool MainWindow::ShowDocument(const std::string& path, const std::string& title) {
  QFile file(Q(path));
  if (!file.open(QIODevice::ReadOnly)) return false;
  // Documents shipped with the program are small; a bound all the same.
  const QByteArray bytes = file.read(4 << 20);
  auto* window = new QWidget(this, Qt::Window);
  window->setObjectName("frmDocument");
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(Q(title));
  auto* browser = new QTextBrowser(window);
  browser->setObjectName("txtDocument");
  // Web and mail links go to the desktop; the document stays as it is.
  browser->setOpenLinks(false);
  connect(browser, &QTextBrowser::anchorClicked, window, [](const QUrl& url) {
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")) {
      QDesktopServices::openUrl(url);
    }
  });
  if (path.ends_with(".htm") || path.ends_with(".html")) {
    browser->setHtml(QString::fromUtf8(bytes));
  } else {
    browser->setPlainText(QString::fromUtf8(bytes));
  }
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(browser);
  window->resize(720, 560);
  window->show();
  return true;
}

std::uintptr_t MainWindow::ShowHelp(const std::string& helpFile, const std::string& topic) {
  if (auto* viewer = static_cast<HelpViewer*>(m_help.data())) {
    viewer->ShowTopic(Q(topic));
  } else {
    viewer = new HelpViewer;
    if (!viewer->Open(Q(helpFile), Q(topic))) {
      delete viewer;
      return 0;
    }
    m_help = viewer;
  }
  m_help->show();
  m_help->raise();
  m_help->activateWindow();
  return reinterpret_cast<std::uintptr_t>(m_help.data());
}

bool MainWindow::HelpWindowExists(std::uintptr_t handle) {
  return m_help && reinterpret_cast<std::uintptr_t>(m_help.data()) == handle;
}

void MainWindow::CloseHelpWindow(std::uintptr_t handle) {
  if (HelpWindowExists(handle)) m_help->close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  m_form.Unload();
  QMainWindow::closeEvent(event);
}

// The certificate manager is this program started with --certificates.
std::int32_t MainWindow::LaunchCertificateManager() {
  return platform::LaunchDetached({QCoreApplication::applicationFilePath().toStdString(), "--certificates"});
}

bool MainWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) m_form.Activate();
  return QMainWindow::event(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The access list's columns share its width 0.4 to 0.6.
  if (watched == m_lvwAccess->viewport() && event->type() == QEvent::Resize) SizeAccessColumns();
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::SizeAccessColumns() {
  const int width = m_lvwAccess->viewport()->width();
  m_lvwAccess->setColumnWidth(0, width * 4 / 10);
  m_lvwAccess->setColumnWidth(1, width - width * 4 / 10);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); })) {
    event->acceptProposedAction();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); })) {
    return;
  }
  event->acceptProposedAction();
  std::vector<std::string> paths;
  for (const QUrl& url : urls) paths.push_back(url.toLocalFile().toStdString());
  m_form.FilesDropped(paths);
}

}  // namespace sealvane::qt
