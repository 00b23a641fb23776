// SPDX-License-Identifier: GPL-3.0-or-later
// The program's pictures, drawn at run time: a closed padlock (Encrypt and
// the program), an open one (Decrypt) and a shredder (Secure Delete).
#pragma once

#include <QIcon>

namespace sealvane::qt {

QIcon EncryptIcon();
QIcon DecryptIcon();
QIcon SecureDeleteIcon();
QIcon ProgramIcon();

}  // namespace sealvane::qt
