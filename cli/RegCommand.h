// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sealvane::cli {

// `reg query|set|delete ...`: returns the process exit status.
int RunRegCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sealvane::cli
