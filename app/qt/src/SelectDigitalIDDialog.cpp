// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/SelectDigitalIDDialog.h"

#include <QEvent>
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
  m_lvwDigitalID->setColumnCount(3);
  m_lvwDigitalID->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("E-Mail Address"), QStringLiteral("Thumbprint")});
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
  resize(520, 340);
  m_form.AttachView(this);
  Refresh();
}

SelectDigitalIDDialog::~SelectDigitalIDDialog() { m_form.AttachView(nullptr); }

void SelectDigitalIDDialog::Refresh() {
  m_bRefreshing = true;
  m_lvwDigitalID->clear();
  for (const auto& row : m_form.Rows()) {
    auto* item = new QTreeWidgetItem(m_lvwDigitalID, {Q(row.name), Q(row.email), Q(row.thumbprint)});
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
  // Name takes 0.35 of the list's width, E-Mail Address 0.4, the short
  // thumbprint the rest.
  if (watched == m_lvwDigitalID->viewport() && event->type() == QEvent::Resize) {
    m_lvwDigitalID->setColumnWidth(0, m_lvwDigitalID->viewport()->width() * 35 / 100);
    m_lvwDigitalID->setColumnWidth(1, m_lvwDigitalID->viewport()->width() * 40 / 100);
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace sealvane::qt
