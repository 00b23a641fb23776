// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbprints on the terminal: upper-case hexadecimal out, and in with or
// without blanks and colons.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sealvane::cli {

std::string Hex(const std::uint8_t* data, std::size_t size);
inline std::string Hex(const std::vector<std::uint8_t>& bytes) { return Hex(bytes.data(), bytes.size()); }

// 40 hexadecimal digits (blanks and colons allowed between them).
std::optional<std::vector<std::uint8_t>> ParseThumbprint(const std::string& text);

}  // namespace sealvane::cli
