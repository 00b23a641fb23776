// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sealvane::cli {

// `encrypt|decrypt|shred|info ...`: returns the exit status (0 only when the
// job did what was asked).
int RunJobCommand(const std::string& verb, const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err);

}  // namespace sealvane::cli
