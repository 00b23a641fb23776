// SPDX-License-Identifier: GPL-3.0-or-later
// The replies of a pinentry (the Assuan protocol), line by line: the reader
// of what another program writes, kept apart so that it can be tested and
// fuzzed on its own.
#pragma once

#include <string>

namespace sealvane::platform::assuan {

struct Reply {
  bool done = false;          // an OK or ERR line ended the reply
  bool ok = false;            // it was OK
  unsigned long error = 0;    // the ERR line's code
};

// Takes one line of a reply (without its line feed). Data lines ("D ...")
// are unescaped onto `data` when it is given; status and comment lines are
// skipped.
void TakeLine(const std::string& line, Reply& reply, std::string* data);

// %XX escapes (two hexadecimal digits) decoded; anything else as it is.
void Unescape(const std::string& in, std::string& out);

}  // namespace sealvane::platform::assuan
