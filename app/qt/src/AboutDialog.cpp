// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/AboutDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "Widgets.h"
#include "sealvane/qt/Glyphs.h"

namespace sealvane::qt {

AboutDialog::AboutDialog(forms::frmAbout& form, QWidget* parent) : QDialog(parent), m_form(form) {
  setObjectName("frmAbout");
  setWindowTitle(Q(form.Control("frmAbout").text));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  const auto label = [this](const char* name) {
    auto* widget = new QLabel(Q(m_form.Control(name).text), this);
    widget->setObjectName(name);
    return widget;
  };
  auto* picture = new QLabel(this);
  picture->setObjectName("Picture1");
  picture->setPixmap(ProgramIcon().pixmap(48, 48));
  picture->setAlignment(Qt::AlignTop);
  QLabel* title = label("Label1");
  QFont big = title->font();
  big.setPointSizeF(big.pointSizeF() * 1.5);
  big.setBold(true);
  title->setFont(big);
  auto* grid = new QGridLayout;
  grid->addWidget(title, 0, 0, 1, 2);
  grid->addWidget(label("Label3"), 1, 0, 1, 2);
  grid->addWidget(label("Label2"), 2, 0);
  grid->addWidget(label("lblVersion"), 2, 1);
  QLabel* copyright = label("lblCopyright");
  copyright->setWordWrap(true);
  grid->addWidget(copyright, 3, 0, 1, 2);
  grid->addWidget(label("Label5"), 4, 0);
  grid->addWidget(label("lblWebSite"), 4, 1);
  grid->addWidget(label("Label6"), 5, 0);
  grid->addWidget(label("lblSupportEMail"), 5, 1);
  grid->setColumnStretch(1, 1);
  // The two addresses are links: drawn as such, with the pointing hand.
  for (const char* name : {"lblWebSite", "lblSupportEMail"}) {
    auto* link = findChild<QLabel*>(QString::fromLatin1(name));
    link->setText(QStringLiteral("<a href=\"#\">%1</a>").arg(Q(m_form.Control(name).text).toHtmlEscaped()));
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setCursor(Qt::PointingHandCursor);
    const std::string control = name;
    connect(link, &QLabel::linkActivated, this, [this, control] {
      if (control == "lblWebSite") {
        m_form.lblWebSite_Click();
      } else {
        m_form.lblSupportEMail_Click();
      }
    });
  }
  auto* btnOK = new QPushButton(Q(form.Control("btnOK").text), this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, [this] { m_form.btnOK_Click(); });
  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addSpacing(12);
  top->addLayout(grid, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
  setMinimumWidth(420);
  m_form.AttachView(this);
  Refresh();
}

AboutDialog::~AboutDialog() { m_form.AttachView(nullptr); }

void AboutDialog::Refresh() {
  for (const char* name : {"lblVersion", "lblCopyright"}) {
    if (auto* widget = findChild<QLabel*>(QString::fromLatin1(name))) widget->setText(Q(m_form.Control(name).text));
  }
}

void AboutDialog::SetFocus(const std::string& control) {
  if (auto* widget = findChild<QWidget*>(Q(control))) widget->setFocus();
}

void AboutDialog::Close() { done(QDialog::Accepted); }

}  // namespace sealvane::qt
