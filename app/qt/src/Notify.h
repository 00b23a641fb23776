// SPDX-License-Identifier: GPL-3.0-or-later
// Desktop notifications (the freedesktop.org notification service on the
// session bus).
#pragma once

#include <QString>

namespace sealvane::qt {

// Shows a notification; nothing happens when no service answers. The body
// is text: names in it that look like markup are shown as typed.
void NotifyDesktop(const QString& title, const QString& body);

}  // namespace sealvane::qt
