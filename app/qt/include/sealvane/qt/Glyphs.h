// SPDX-License-Identifier: GPL-3.0-or-later
// The program's pictures, drawn at run time: a closed padlock (Encrypt and
// the program), an open one (Decrypt), a shredder (Secure Delete) and an
// eye for showing a password. Each is drawn at every size it is asked for,
// so that it stays sharp at any scale.
#pragma once

#include <QIcon>

namespace sealvane::qt {

QIcon EncryptIcon();
QIcon DecryptIcon();
QIcon SecureDeleteIcon();
QIcon ProgramIcon();
// An eye (the password is hidden: click to show it), struck through once it
// is shown; in the colour of the palette's text.
QIcon PasswordShownIcon(bool shown);

}  // namespace sealvane::qt
