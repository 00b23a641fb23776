// SPDX-License-Identifier: GPL-3.0-or-later
#include "Notify.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace sealvane::qt {

void NotifyDesktop(const QString& title, const QString& body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("/org/freedesktop/Notifications"),
                                                     QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("sealvane"));
  // The body may be read as markup by the service: escaped, a file name
  // is shown as it is.
  call << QStringLiteral("Sealvane") << 0u << QStringLiteral("sealvane") << title << body.toHtmlEscaped()
       << QStringList() << hints << -1;
  // Sent without waiting: a slow or missing service never holds the window.
  bus.call(call, QDBus::NoBlock);
}

}  // namespace sealvane::qt
