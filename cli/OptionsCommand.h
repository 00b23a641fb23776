// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sealvane::cli {

// `sealvane-cli options`: the Options dialog on a terminal.
int RunOptionsCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace sealvane::cli
