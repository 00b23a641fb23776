// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/SelectDigitalIDDialog.h"

#include <QEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "Widgets.h"
#include "sealvane/qt/QtUiPort.h"

namespace sealvane::qt {

SelectDigitalIDDialog::SelectDigitalIDDialog(forms::frmSelectDigitalID& form, QWidget* parent)
    : QDialog(parent), m_form(form) {
  setObjectName("frmSelectDigitalID");
  setWindowTitle(Q(form.Caption()));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  m_lblStatement = PlainLabel(DrawnText(form.Control("lblStatement").text), this);
  m_lblStatement->setObjectName("lblStatement");
  m_lblStatement->setWordWrap(true);
  m_lvwDigitalID = new QTreeWidget(this);
  m_lvwDigitalID->setObjectName("lvwDigitalID");
  m_lvwDigitalID->setColumnCount(4);
  m_lvwDigitalID->setHeaderLabels(
      {QStringLiteral("Name"), QStringLiteral("E-Mail Address"), QStringLiteral("Created"), QStringLiteral("Thumbprint")});
  m_lvwDigitalID->setRootIsDecorated(false);
  m_lvwDigitalID->setItemsExpandable(false);
  m_lvwDigitalID->setSelectionMode(form.MultiSelect() ? QAbstractItemView::ExtendedSelection
                                                      : QAbstractItemView::SingleSelection);
  m_lvwDigitalID->viewport()->installEventFilter(this);
  m_lvwDigitalID->header()->setSectionsClickable(true);
  m_lvwDigitalID->header()->setSortIndicatorShown(true);
  m_lvwDigitalID->header()->setStretchLastSection(true);
  connect(m_lvwDigitalID->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { m_form.ColumnClick(column); });
  connect(m_lvwDigitalID, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (m_bRefreshing) return;
    std::vector<bool> selected;
    for (int i = 0; i < m_lvwDigitalID->topLevelItemCount(); ++i) {
      selected.push_back(m_lvwDigitalID->topLevelItem(i)->isSelected());
    }
    m_form.SetSelection(selected);
  });
  connect(m_lvwDigitalID, &QTreeWidget::itemDoubleClicked, this, [this] { m_form.btnOK_Click(); });
  QHBoxLayout* buttons =
      OkCancelRow(this, m_form, [this] { m_form.btnOK_Click(); }, [this] { m_form.btnCancel_Click(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_lblStatement);
  layout->addWidget(m_lvwDigitalID, 1);
  layout->addLayout(buttons);
  resize(600, 340);
  m_form.AttachView(this);
  Refresh();
}

SelectDigitalIDDialog::~SelectDigitalIDDialog() { m_form.AttachView(nullptr); }

void SelectDigitalIDDialog::Refresh() {
  m_bRefreshing = true;
  m_lvwDigitalID->clear();
  for (const auto& row : m_form.Rows()) {
    // The default digital ID says so in its name's column, in bold.
    auto* item = new QTreeWidgetItem(
        m_lvwDigitalID, {row.isDefault ? Q(row.name) + QStringLiteral(" (default)") : Q(row.name), Q(row.email),
                         Q(row.created), Q(row.thumbprint)});
    if (row.isDefault) {
      QFont bold = item->font(0);
      bold.setBold(true);
      item->setFont(0, bold);
    }
    item->setData(0, Qt::UserRole, row.tag);
    item->setSelected(row.selected);
  }
  m_lvwDigitalID->header()->setSortIndicator(m_form.SortColumn(), Qt::AscendingOrder);
  m_bRefreshing = false;
}

void SelectDigitalIDDialog::SetFocus(const std::string& control) {
  if (auto* widget = findChild<QWidget*>(Q(control))) widget->setFocus();
}

void SelectDigitalIDDialog::Close() { done(QDialog::Accepted); }

void SelectDigitalIDDialog::reject() { m_form.btnCancel_Click(); }

void SelectDigitalIDDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_bActivated) return;
  m_bActivated = true;
  m_form.Activate();
}

bool SelectDigitalIDDialog::eventFilter(QObject* watched, QEvent* event) {
  // Name takes 0.31 of the list's width, E-Mail Address 0.31, the date
  // 0.17, the short thumbprint the rest.
  if (watched == m_lvwDigitalID->viewport() && event->type() == QEvent::Resize) {
    const int width = m_lvwDigitalID->viewport()->width();
    m_lvwDigitalID->setColumnWidth(0, width * 31 / 100);
    m_lvwDigitalID->setColumnWidth(1, width * 31 / 100);
    m_lvwDigitalID->setColumnWidth(2, width * 17 / 100);
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace sealvane::qt
