// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/VisibleText.h"

#include <cstdio>

namespace sealvane::platform {

std::string VisibleText(const std::string& text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  const auto escape = [&](unsigned char b) {
    char buf[8];
    std::snprintf(buf, sizeof(buf), "\\x%02X", b);
    out += buf;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == '\\') {
      out += "\\\\";
    } else if (b == '\n' && keepLineBreaks) {
      out.push_back('\n');
    } else if (b < 0x20 || b == 0x7F) {
      escape(b);
    } else if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080..U+009F, the C1 controls.
      escape(b);
      escape(static_cast<unsigned char>(text[++i]));
    } else {
      out.push_back(static_cast<char>(b));
    }
  }
  return out;
}

}  // namespace sealvane::platform
