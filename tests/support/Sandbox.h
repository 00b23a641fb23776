// SPDX-License-Identifier: GPL-3.0-or-later
// Every test runs in a fresh temporary folder: SEALVANE_HOME, the machine
// hive, HOME, XDG_CONFIG_HOME and TMPDIR all point inside it, so no test
// touches a real profile and tests can run in parallel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sealvane::test {

// The current test's sandbox folder.
const std::string& SandboxDir();

// Creates a fresh sandbox and points the environment into it.
void EnterSandbox();
// Removes the sandbox folder.
void LeaveSandbox();

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::vector<std::uint8_t> ToBytes(const std::string& text);
// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::string& dir);

}  // namespace sealvane::test
