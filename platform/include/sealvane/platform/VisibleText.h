// SPDX-License-Identifier: GPL-3.0-or-later
// Outside text (a stored file name, a certificate's subject) made safe to
// show where control characters act: a terminal, a pinentry prompt.
#pragma once

#include <string>

namespace sealvane::platform {

// Control characters (C0, DEL, and C1 as encoded in UTF-8, CSI among them)
// and backslashes are written as \xNN and \\, so the text can never move a
// cursor, start a new line or change the terminal. With `keepLineBreaks`
// a line feed stays (for the program's own multi-line messages).
std::string VisibleText(const std::string& text, bool keepLineBreaks = false);

}  // namespace sealvane::platform
