// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Widgets.h"
#include "sealvane/qt/SelectDigitalIDDialog.h"

namespace sealvane::qt {

OptionsDialog::OptionsDialog(forms::frmOptions& form, QWidget* parent) : QDialog(parent), m_form(form) {
  setObjectName("frmOptions");
  setWindowTitle(QStringLiteral("Options"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  const auto tip = [this](QWidget* widget, const char* name) {
    widget->setObjectName(name);
    widget->setToolTip(Q(m_form.Control(name).tooltip));
  };
  auto* frame = new QGroupBox(Q(m_form.Control("fraDefaults").text), this);
  frame->setObjectName("fraDefaults");
  auto* grid = new QGridLayout(frame);
  grid->setColumnStretch(1, 1);
  auto* label1 = PlainLabel(Q(m_form.Control("Label1").text), frame);
  label1->setObjectName("Label1");
  m_txtDigitalID = new QLineEdit(frame);
  tip(m_txtDigitalID, "txtDigitalID");
  m_txtDigitalID->setReadOnly(true);
  m_txtDigitalID->setMinimumWidth(220);
  auto* btnSelect = new QPushButton(Q(m_form.Control("btnSelect").text), frame);
  tip(btnSelect, "btnSelect");
  btnSelect->setAutoDefault(false);
  connect(btnSelect, &QPushButton::clicked, this, [this] { m_form.btnSelect_Click(); });
  grid->addWidget(label1, 0, 0);
  grid->addWidget(m_txtDigitalID, 0, 1);
  grid->addWidget(btnSelect, 0, 2);
  auto* label2 = PlainLabel(Q(m_form.Control("Label2").text), frame);
  label2->setObjectName("Label2");
  m_cmbAlgorithm = new QComboBox(frame);
  tip(m_cmbAlgorithm, "cmbAlgorithm");
  connect(m_cmbAlgorithm, &QComboBox::activated, this, [this](int index) { m_form.cmbAlgorithm_Click(index); });
  label2->setBuddy(m_cmbAlgorithm);
  label1->setBuddy(btnSelect);
  grid->addWidget(label2, 1, 0);
  grid->addWidget(m_cmbAlgorithm, 1, 1, Qt::AlignLeft);
  m_chkCompressFile = new QCheckBox(Q(m_form.Control("chkCompressFile").text), frame);
  tip(m_chkCompressFile, "chkCompressFile");
  connect(m_chkCompressFile, &QCheckBox::clicked, this, [this](bool on) { m_form.chkCompressFile_Click(on ? 1 : 0); });
  m_chkOpenFile = new QCheckBox(Q(m_form.Control("chkOpenFile").text), frame);
  tip(m_chkOpenFile, "chkOpenFile");
  connect(m_chkOpenFile, &QCheckBox::clicked, this, [this](bool on) { m_form.chkOpenFile_Click(on ? 1 : 0); });
  m_chkDeleteOriginal = new QCheckBox(Q(m_form.Control("chkDeleteOriginal").text), frame);
  tip(m_chkDeleteOriginal, "chkDeleteOriginal");
  connect(m_chkDeleteOriginal, &QCheckBox::clicked, this,
          [this](bool on) { m_form.chkDeleteOriginal_Click(on ? 1 : 0); });
  grid->addWidget(m_chkCompressFile, 2, 1, 1, 2);
  grid->addWidget(m_chkOpenFile, 3, 1, 1, 2);
  grid->addWidget(m_chkDeleteOriginal, 4, 1, 1, 2);

  QHBoxLayout* buttons =
      OkCancelRow(this, m_form, [this] { m_form.btnOK_Click(); }, [this] { m_form.btnCancel_Click(); });
  auto* btnOK = findChild<QPushButton*>(QStringLiteral("btnOK"));
  auto* btnCancel = findChild<QPushButton*>(QStringLiteral("btnCancel"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addLayout(buttons);
  QWidget::setTabOrder(btnSelect, m_cmbAlgorithm);
  QWidget::setTabOrder(m_cmbAlgorithm, m_chkCompressFile);
  QWidget::setTabOrder(m_chkCompressFile, m_chkOpenFile);
  QWidget::setTabOrder(m_chkOpenFile, m_chkDeleteOriginal);
  QWidget::setTabOrder(m_chkDeleteOriginal, btnOK);
  QWidget::setTabOrder(btnOK, btnCancel);
  m_form.AttachView(this);
  Refresh();
  btnSelect->setFocus();
}

OptionsDialog::~OptionsDialog() { m_form.AttachView(nullptr); }

void OptionsDialog::Refresh() {
  m_txtDigitalID->setText(Q(m_form.Control("txtDigitalID").text));
  ApplyList(m_cmbAlgorithm, m_form.Control("cmbAlgorithm"));
  m_chkCompressFile->setChecked(m_form.Control("chkCompressFile").value == 1);
  m_chkOpenFile->setChecked(m_form.Control("chkOpenFile").value == 1);
  m_chkDeleteOriginal->setChecked(m_form.Control("chkDeleteOriginal").value == 1);
}

void OptionsDialog::SetFocus(const std::string& control) {
  if (auto* widget = findChild<QWidget*>(Q(control))) widget->setFocus();
}

void OptionsDialog::Close() { done(QDialog::Accepted); }

void OptionsDialog::reject() { m_form.btnCancel_Click(); }

void OptionsDialog::ShowSelectDigitalID(forms::frmSelectDigitalID& dialog) {
  SelectDigitalIDDialog view(dialog, this);
  view.exec();
}

}  // namespace sealvane::qt
