// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/CertManagerWindow.h"

#include <algorithm>

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>

#include "Widgets.h"
#include "sealvane/qt/QtUiPort.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::qt {

namespace {

// What each tab holds, for its tooltip.
const char* const kTabTooltips[] = {
    "Your own digital IDs (store MY): archives encrypted for them open with their private keys on this computer",
    "Certificates of other people (store AddressBook): you can encrypt archives for them",
    "Certification authorities you trust (store Root)"};

const char* const kCertificateFilter =
    "Certificates and digital IDs (*.cer *.crt *.der *.pem *.p12 *.pfx);;All files (*)";
const char* const kDerFilter = "Certificate, DER encoded (*.cer)";
const char* const kPemFilter = "Certificate, Base64 encoded (*.pem)";
const char* const kPkcs12Filter = "Digital ID with its private key (*.p12)";

}  // namespace

CertManagerWindow::CertManagerWindow(forms::frmCertManager& form, QtUiPort& port)
    : QWidget(nullptr, Qt::Window), m_form(form), m_port(port) {
  setObjectName("frmCertManager");
  setWindowTitle(Q(form.Control("frmCertManager").text));
  m_tabs = new QTabBar(this);
  m_tabs->setObjectName("tabStores");
  m_tabs->setExpanding(false);
  for (std::size_t i = 0; i < forms::frmCertManager::TabCaptions().size(); ++i) {
    const int index = m_tabs->addTab(Q(forms::frmCertManager::TabCaptions()[i]));
    m_tabs->setTabToolTip(index, QString::fromLatin1(kTabTooltips[i]));
  }
  connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
    if (!m_bRefreshing) m_form.tabStores_Click(index);
  });

  m_list = new QTreeWidget(this);
  m_list->setObjectName("lvwCertificates");
  QStringList headings;
  for (const auto& column : forms::frmCertManager::Columns()) headings << Q(column);
  m_list->setColumnCount(static_cast<int>(headings.size()));
  m_list->setHeaderLabels(headings);
  m_list->setRootIsDecorated(false);
  m_list->setItemsExpandable(false);
  m_list->setUniformRowHeights(true);
  m_list->setAllColumnsShowFocus(true);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->header()->setStretchLastSection(true);
  m_list->installEventFilter(this);
  connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (m_bRefreshing) return;
    const auto selected = m_list->selectedItems();
    m_form.lvwCertificates_Click(selected.isEmpty() ? -1 : m_list->indexOfTopLevelItem(selected.constFirst()));
  });
  connect(m_list, &QTreeWidget::itemActivated, this, [this] { m_form.btnDetails_Click(); });

  auto* buttons = new QHBoxLayout;
  const auto addButton = [&](const char* name, const std::function<void()>& click) {
    const auto& state = form.Control(name);
    auto* button = new QPushButton(Q(state.text), this);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(PlainTip(Q(state.tooltip)));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [click] { click(); });
    buttons->addWidget(button);
    return button;
  };
  addButton("btnImport", [this] { m_form.btnImport_Click(); });
  addButton("btnExport", [this] { m_form.btnExport_Click(); });
  addButton("btnDelete", [this] { m_form.btnDelete_Click(); });
  addButton("btnDetails", [this] { m_form.btnDetails_Click(); });
  buttons->addStretch(1);
  addButton("btnClose", [this] { m_form.btnClose_Click(); });

  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(0);
  layout->addWidget(m_tabs);
  layout->addWidget(m_list, 1);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  resize(1000, 420);
  port.SetMainWindow(this);
  m_form.AttachView(this);
  Refresh();
}

CertManagerWindow::~CertManagerWindow() { m_form.AttachView(nullptr); }

void CertManagerWindow::Refresh() {
  m_bRefreshing = true;
  m_tabs->setCurrentIndex(m_form.CurrentTab());
  m_list->clear();
  for (const auto& entry : m_form.Rows(m_form.CurrentTab())) {
    QStringList cells;
    for (const auto& cell : forms::frmCertManager::Cells(entry)) cells << Q(cell);
    auto* item = new QTreeWidgetItem(m_list, cells);
    item->setToolTip(0, PlainTip(Q(entry.name + (entry.email.empty() ? "" : " <" + entry.email + ">"))));
  }
  if (QTreeWidgetItem* item = m_list->topLevelItem(m_form.SelectedRow())) {
    item->setSelected(true);
    m_list->setCurrentItem(item);
  }
  if (!m_bSized) {
    // Room for a name, an address and the dates; the thumbprint takes the rest.
    const QFontMetrics metrics(m_list->font());
    const int date = metrics.horizontalAdvance(QStringLiteral("0000-00-00")) + 24;
    const int widths[] = {metrics.averageCharWidth() * 22, metrics.averageCharWidth() * 24,
                          metrics.averageCharWidth() * 18, date, date,
                          std::max(metrics.horizontalAdvance(Q(forms::frmCertManager::Columns()[5])),
                                   metrics.horizontalAdvance(QStringLiteral("Yes (default)"))) + 24};
    for (int i = 0; i < 6; ++i) m_list->setColumnWidth(i, widths[i]);
    m_bSized = true;
  }
  for (const char* name : {"btnImport", "btnExport", "btnDelete", "btnDetails", "btnClose"}) {
    if (auto* button = findChild<QPushButton*>(QString::fromLatin1(name))) {
      button->setEnabled(m_form.Control(name).enabled);
    }
  }
  m_bRefreshing = false;
}

void CertManagerWindow::SetFocus(const std::string& control) {
  if (auto* widget = findChild<QWidget*>(Q(control))) widget->setFocus();
}

void CertManagerWindow::Close() { close(); }

bool CertManagerWindow::eventFilter(QObject* watched, QEvent* event) {
  // The Delete key deletes the selected certificate.
  if (watched == m_list && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    m_form.btnDelete_Click();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

namespace {

// Import and export start where the last one of either went: a folder that
// is still there, else the documents folder, else home.
QString CertificateFolder() {
  std::string saved;
  clsConfig().GetCertificateDir(saved);
  if (!saved.empty() && QFileInfo(Q(saved)).isDir()) return Q(saved);
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void RememberFolder(const QString& file) { clsConfig().SetCertificateDir(QFileInfo(file).absolutePath().toStdString()); }

}  // namespace

std::optional<std::string> CertManagerWindow::ChooseImportFile() {
  QFileDialog dialog(this, QStringLiteral("Import Certificate or Digital ID"), CertificateFolder());
  dialog.setObjectName("dlgImport");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QString::fromLatin1(kCertificateFilter));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  RememberFolder(dialog.selectedFiles().constFirst());
  return dialog.selectedFiles().constFirst().toStdString();
}

std::optional<forms::ExportTarget> CertManagerWindow::ChooseExportFile(const std::string& suggestedName,
                                                                      bool withPrivateKey) {
  QFileDialog dialog(this, QStringLiteral("Export Certificate"), CertificateFolder());
  dialog.setObjectName("dlgExport");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters {QString::fromLatin1(kDerFilter), QString::fromLatin1(kPemFilter)};
  if (withPrivateKey) filters << QString::fromLatin1(kPkcs12Filter);
  dialog.setNameFilters(filters);
  dialog.selectFile(Q(suggestedName) + QStringLiteral(".cer"));
  // The file name follows the chosen format.
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
    const QString suffix = filter == QLatin1String(kPkcs12Filter) ? QStringLiteral("p12")
                           : filter == QLatin1String(kPemFilter)  ? QStringLiteral("pem")
                                                                  : QStringLiteral("cer");
    dialog.setDefaultSuffix(suffix);
  });
  dialog.setDefaultSuffix(QStringLiteral("cer"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  RememberFolder(dialog.selectedFiles().constFirst());
  forms::ExportTarget target;
  target.path = dialog.selectedFiles().constFirst().toStdString();
  const QString filter = dialog.selectedNameFilter();
  target.format = filter == QLatin1String(kPkcs12Filter) ? CertificateFormat::Pkcs12
                  : filter == QLatin1String(kPemFilter)  ? CertificateFormat::Pem
                                                         : CertificateService::FormatOf(target.path);
  // A name that says PKCS #12 under a certificate filter is still written as
  // a certificate; the format chosen decides.
  if (target.format == CertificateFormat::Pkcs12 && filter != QLatin1String(kPkcs12Filter)) {
    target.format = CertificateFormat::Der;
  }
  return target;
}

std::optional<platform::Passphrase> CertManagerWindow::AskPassword(const std::string& prompt, bool newPassword) {
  QDialog dialog(this);
  dialog.setObjectName("dlgPassword");
  dialog.setWindowTitle(newPassword ? QStringLiteral("New Password") : QStringLiteral("Password"));
  auto* text = PlainLabel(DrawnText(prompt), &dialog);
  text->setWordWrap(true);
  text->setObjectName("lblPrompt");
  auto* password = new QLineEdit(&dialog);
  password->setObjectName("txtPassword");
  password->setEchoMode(QLineEdit::Password);
  auto* confirm = new QLineEdit(&dialog);
  confirm->setObjectName("txtConfirmPassword");
  confirm->setEchoMode(QLineEdit::Password);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Password:"), password);
  if (newPassword) form->addRow(QStringLiteral("&Confirm:"), confirm);
  else confirm->hide();
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  box->button(QDialogButtonBox::Ok)->setObjectName("btnOK");
  box->button(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
  connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  connect(box, &QDialogButtonBox::accepted, &dialog, [&] {
    if (newPassword && password->text().isEmpty()) {
      QMessageBox::warning(&dialog, QStringLiteral("Warning!"), QStringLiteral("Please enter a password."));
      password->setFocus();
      return;
    }
    if (newPassword && password->text() != confirm->text()) {
      QMessageBox::warning(&dialog, QStringLiteral("Warning!"),
                           QStringLiteral("The two passwords differ. Please type the same password twice."));
      confirm->clear();
      confirm->setFocus();
      return;
    }
    dialog.accept();
  });
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(text);
  layout->addLayout(form);
  layout->addWidget(box);
  dialog.resize(420, dialog.sizeHint().height());
  const bool accepted = dialog.exec() == QDialog::Accepted;
  // The typed text goes into the passphrase alone; the boxes are emptied.
  std::optional<platform::Passphrase> answer;
  if (accepted) answer.emplace(password->text().toStdString());
  password->clear();
  confirm->clear();
  return answer;
}

void CertManagerWindow::ShowDetails(const std::string& title,
                                    const std::vector<std::pair<std::string, std::string>>& fields) {
  QDialog dialog(this);
  dialog.setObjectName("dlgDetails");
  dialog.setWindowTitle(Q(title));
  auto* list = new QTreeWidget(&dialog);
  list->setObjectName("lvwDetails");
  list->setColumnCount(2);
  list->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Value")});
  list->setRootIsDecorated(false);
  list->setWordWrap(true);
  for (const auto& [label, value] : fields) {
    auto* item = new QTreeWidgetItem(list, {Q(label), Q(value)});
    item->setToolTip(1, PlainTip(Q(value)));
  }
  list->resizeColumnToContents(0);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  box->button(QDialogButtonBox::Close)->setObjectName("btnClose");
  connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(list, 1);
  layout->addWidget(box);
  dialog.resize(640, 420);
  dialog.exec();
}

}  // namespace sealvane::qt
