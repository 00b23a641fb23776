// SPDX-License-Identifier: GPL-3.0-or-later
#include "Text.h"

#include <cctype>

namespace sealvane::cli {

std::string Hex(const std::uint8_t* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> ParseThumbprint(const std::string& text) {
  std::string digits;
  for (const char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits.push_back(c);
    } else if (c != ' ' && c != ':') {
      return std::nullopt;
    }
  }
  if (digits.size() != 40) return std::nullopt;
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < 40; i += 2) out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

}  // namespace sealvane::cli
