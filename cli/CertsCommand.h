// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sealvane::cli {

// `certs list|import|export|delete|genid ...`: returns the exit status.
int RunCertsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sealvane::cli
