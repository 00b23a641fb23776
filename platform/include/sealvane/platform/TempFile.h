// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary files: named ones, and scratch files that no name shows.
#pragma once

#include <string>
#include <string_view>

#include "sealvane/platform/File.h"

namespace sealvane::platform {

// Creates a new, empty file in `folder` named `prefix`, upper-case hexadecimal
// digits and ".tmp", exclusively and with mode 0600, and returns its path.
// Throws RuntimeError when no such file can be created.
std::string CreateTempFile(const std::string& folder, std::string_view prefix);

// A new, empty scratch file in `folder` for reading and writing, mode 0600,
// that no name shows: unnamed (O_TMPFILE) where the file system allows it,
// else created as CreateTempFile does and unlinked at once. Nothing of it
// outlives the process, however the process ends. Throws RuntimeError.
File CreateScratchFile(const std::string& folder, std::string_view prefix);

}  // namespace sealvane::platform
