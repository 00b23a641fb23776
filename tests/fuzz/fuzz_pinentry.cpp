// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the reader of a pinentry's replies: the input, line by
// line, as the reply to one command, with its data lines collected.
#include <cstdint>
#include <string>

#include "AssuanReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  sealvane::platform::assuan::Reply reply;
  std::string collected;
  std::size_t start = 0;
  while (start <= input.size() && !reply.done) {
    const std::size_t end = input.find('\n', start);
    const std::string line = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
    sealvane::platform::assuan::TakeLine(line, reply, &collected);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  // What was collected is never longer than the data lines that carried it.
  if (collected.size() > input.size()) __builtin_trap();
  return 0;
}
