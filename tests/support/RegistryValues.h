// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and writing the sandbox's hives in tests.
#pragma once

#include <string>

#include "sealvane/platform/Registry.h"

namespace sealvane::test {

// A value's bytes (a REG_SZ without its NUL; the default value when `name`
// is empty); "(missing)" when the key or value is not there.
std::string RegValue(platform::HKEY root, const std::string& path, const std::string& name = "");
bool RegKeyExists(platform::HKEY root, const std::string& path);
platform::DWORD RegSubKeyCount(platform::HKEY root, const std::string& path);
// Creates the key as needed and sets a REG_SZ value; false on failure.
bool RegSetString(platform::HKEY root, const std::string& path, const std::string& name, const std::string& value);

}  // namespace sealvane::test
