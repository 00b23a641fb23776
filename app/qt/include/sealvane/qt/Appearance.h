// SPDX-License-Identifier: GPL-3.0-or-later
// Light or dark, as the desktop says: the colour scheme the user chose in
// the desktop's settings (the freedesktop.org settings portal), or
// SEALVANE_COLOR_SCHEME=dark|light.
#pragma once

#include <QPalette>

namespace sealvane::qt {

// The program's colours in the dark: Qt's Fusion style with these.
QPalette DarkPalette();

// Applies the dark palette when the desktop prefers dark and the platform's
// own palette is light (a desktop whose theme is already dark is left as
// it is). Asks the settings portal for a moment at most.
void FollowDesktopColourScheme();

}  // namespace sealvane::qt
