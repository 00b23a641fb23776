// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace sealvane::platform {

// Creates a new, empty file in `folder` named `prefix`, upper-case hexadecimal
// digits and ".tmp", exclusively and with mode 0600, and returns its path.
// Throws RuntimeError when no such file can be created.
std::string CreateTempFile(const std::string& folder, std::string_view prefix);

}  // namespace sealvane::platform
