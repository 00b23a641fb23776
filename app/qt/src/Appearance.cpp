// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/Appearance.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QStyleFactory>

namespace sealvane::qt {
namespace {

// 1 when the desktop prefers dark, 2 light, 0 no preference or no answer.
uint PortalColourScheme() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return 0;
  QDBusMessage read = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
  read << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
  const QDBusMessage reply = bus.call(read, QDBus::Block, 300);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return 0;
  // A variant holding a variant holding the number.
  QVariant value = reply.arguments().constFirst();
  while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
    value = value.value<QDBusVariant>().variant();
  }
  return value.toUInt();
}

}  // namespace

QPalette DarkPalette() {
  QPalette p;
  const QColor window(0x2B, 0x2D, 0x30), base(0x1E, 0x1F, 0x22), text(0xE6, 0xE6, 0xE6);
  const QColor disabled(0x7F, 0x82, 0x88), highlight(0x3D, 0x7E, 0xD8);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, disabled);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(0x35, 0x37, 0x3B));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::red);
  p.setColor(QPalette::Light, QColor(0x45, 0x47, 0x4C));
  p.setColor(QPalette::Midlight, QColor(0x3A, 0x3C, 0x40));
  p.setColor(QPalette::Mid, QColor(0x25, 0x26, 0x29));
  p.setColor(QPalette::Dark, QColor(0x18, 0x19, 0x1B));
  p.setColor(QPalette::Shadow, Qt::black);
  p.setColor(QPalette::Highlight, highlight);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(0x6C, 0xA8, 0xF0));
  p.setColor(QPalette::LinkVisited, QColor(0xA8, 0x8C, 0xF0));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, disabled);
  }
  p.setColor(QPalette::Disabled, QPalette::Base, window);
  p.setColor(QPalette::Disabled, QPalette::Button, window);
  return p;
}

void FollowDesktopColourScheme() {
  const QByteArray chosen = qgetenv("SEALVANE_COLOR_SCHEME");
  bool dark = chosen == "dark";
  if (chosen.isEmpty()) dark = PortalColourScheme() == 1;
  if (!dark || QApplication::palette().color(QPalette::Window).lightness() < 128) return;
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
  QApplication::setPalette(DarkPalette());
}

}  // namespace sealvane::qt
