// SPDX-License-Identifier: GPL-3.0-or-later
// Small pieces the Qt views share.
#pragma once

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTextDocument>
#include <algorithm>
#include <functional>
#include <string>

#include "sealvane/forms/Form.h"

namespace sealvane::qt {

inline QString Q(const std::string& text) { return QString::fromStdString(text); }

// A label that draws its text as typed: a file name or a certificate's
// subject that looks like markup stays text.
inline QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  return label;
}

// A tooltip that shows its text as typed. Qt draws a tooltip as markup when
// it looks like markup, so such a text is handed over escaped.
inline QString PlainTip(const QString& text) {
  if (!Qt::mightBeRichText(text)) return text;
  return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

// The OK and Cancel buttons of a dialog, at the right: "btnOK" (the default
// button) and "btnCancel", with the form's captions.
inline QHBoxLayout* OkCancelRow(QWidget* parent, const forms::Form& form, const std::function<void()>& ok,
                                const std::function<void()>& cancel) {
  auto* btnOK = new QPushButton(Q(form.Control("btnOK").text), parent);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  QObject::connect(btnOK, &QPushButton::clicked, parent, ok);
  auto* btnCancel = new QPushButton(Q(form.Control("btnCancel").text), parent);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setAutoDefault(false);
  QObject::connect(btnCancel, &QPushButton::clicked, parent, cancel);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(btnOK);
  row->addWidget(btnCancel);
  return row;
}

// Empties a password box and overwrites the characters it held: the box lets
// go of its text while this copy still shares its buffer, so that the copy is
// then the buffer's only owner and is cleared in place.
inline void ClearSecretLine(QLineEdit* line) {
  QString held = line->text();
  line->clear();
  if (!held.isEmpty()) std::fill(held.data(), held.data() + held.size(), QChar(u'\0'));
}

// A drop-down list as its form gives it: the entries (refilled only when they
// change), the note of each entry as its tooltip, the selected entry.
inline void ApplyList(QComboBox* combo, const forms::ControlState& state) {
  QStringList items;
  for (const auto& item : state.items) items << Q(item);
  QStringList current;
  for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
  if (current != items) {
    combo->clear();
    combo->addItems(items);
    for (std::size_t i = 0; i < state.itemTips.size() && i < state.items.size(); ++i) {
      // The program's own notes, never outside text.
      combo->setItemData(static_cast<int>(i), Q(state.itemTips[i]), Qt::ToolTipRole);
    }
  }
  combo->setCurrentIndex(state.value);
}

}  // namespace sealvane::qt
