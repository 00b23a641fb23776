// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/GenDigitalIDDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "Widgets.h"

namespace sealvane::qt {
namespace {

const char* const kBoxes[] = {"cmbName", "cmbEMailAddr", "cmbOrgName"};
const char* const kLabels[] = {"Label1", "Label2", "Label3"};

}  // namespace

GenDigitalIDDialog::GenDigitalIDDialog(forms::frmGenDigitalID& form, QWidget* parent)
    : QDialog(parent), m_form(form) {
  setObjectName("frmGenDigitalID");
  setWindowTitle(Q(form.Control("frmGenDigitalID").text));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* grid = new QGridLayout;
  grid->setColumnStretch(1, 1);
  for (int i = 0; i < 3; ++i) {
    auto* label = PlainLabel(Q(form.Control(kLabels[i]).text), this);
    label->setObjectName(kLabels[i]);
    m_boxes[i] = new QComboBox(this);
    m_boxes[i]->setObjectName(kBoxes[i]);
    m_boxes[i]->setEditable(true);
    m_boxes[i]->setInsertPolicy(QComboBox::NoInsert);
    m_boxes[i]->setToolTip(Q(form.Control(kBoxes[i]).tooltip));
    m_boxes[i]->setMinimumContentsLength(28);
    label->setBuddy(m_boxes[i]);
    const std::string name = kBoxes[i];
    connect(m_boxes[i], &QComboBox::editTextChanged, this,
            [this, name](const QString& text) { m_form.TextChanged(name, text.toStdString()); });
    grid->addWidget(label, i, 0);
    grid->addWidget(m_boxes[i], i, 1);
  }
  auto* frame = new QGroupBox(Q(form.Control("Frame1").text), this);
  frame->setObjectName("Frame1");
  m_chkSetSecurity = new QCheckBox(Q(form.Control("chkSetSecurity").text), frame);
  m_chkSetSecurity->setObjectName("chkSetSecurity");
  m_chkSetSecurity->setToolTip(Q(form.Control("chkSetSecurity").tooltip));
  connect(m_chkSetSecurity, &QCheckBox::clicked, this, [this](bool on) { m_form.chkSetSecurity_Click(on ? 1 : 0); });
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->addWidget(m_chkSetSecurity);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(frame);
  layout->addLayout(OkCancelRow(this, m_form, [this] { m_form.btnOK_Click(); }, [this] { m_form.btnCancel_Click(); }));
  m_form.AttachView(this);
  Refresh();
}

GenDigitalIDDialog::~GenDigitalIDDialog() { m_form.AttachView(nullptr); }

void GenDigitalIDDialog::Refresh() {
  for (int i = 0; i < 3; ++i) {
    const QSignalBlocker quiet(m_boxes[i]);
    const auto& state = m_form.Control(kBoxes[i]);
    if (m_boxes[i]->count() != static_cast<int>(state.items.size())) {
      m_boxes[i]->clear();
      for (const auto& item : state.items) m_boxes[i]->addItem(Q(item));
    }
    if (m_boxes[i]->currentText() != Q(state.text)) m_boxes[i]->setEditText(Q(state.text));
  }
  m_chkSetSecurity->setChecked(m_form.Control("chkSetSecurity").value == 1);
}

void GenDigitalIDDialog::SetFocus(const std::string& control) {
  if (auto* widget = findChild<QWidget*>(Q(control))) widget->setFocus();
}

void GenDigitalIDDialog::Close() { done(QDialog::Accepted); }

void GenDigitalIDDialog::reject() { m_form.btnCancel_Click(); }

}  // namespace sealvane::qt
