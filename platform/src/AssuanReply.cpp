// SPDX-License-Identifier: GPL-3.0-or-later
#include "AssuanReply.h"

#include <cstdlib>

namespace sealvane::platform::assuan {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void Unescape(const std::string& in, std::string& out) {
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '%' && i + 2 < in.size()) {
      const int high = HexDigit(in[i + 1]);
      const int low = HexDigit(in[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(in[i]);
  }
}

void TakeLine(const std::string& line, Reply& reply, std::string* data) {
  if (reply.done) return;
  if (line.rfind("D ", 0) == 0) {
    if (data != nullptr) Unescape(line.substr(2), *data);
    return;
  }
  if (line == "OK" || line.rfind("OK ", 0) == 0) {
    reply.done = true;
    reply.ok = true;
    return;
  }
  if (line.rfind("ERR", 0) == 0) {
    reply.done = true;
    reply.error = std::strtoul(line.c_str() + 3, nullptr, 10);
  }
  // Status and comment lines ("S ...", "# ...") are informational.
}

}  // namespace sealvane::platform::assuan
