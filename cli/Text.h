// SPDX-License-Identifier: GPL-3.0-or-later
// Text on the terminal: thumbprints as upper-case hexadecimal (read with or
// without blanks and colons), stored texts with their control characters
// escaped, and file times as ISO 8601 dates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sealvane/platform/VisibleText.h"

namespace sealvane::cli {

std::string Hex(const std::uint8_t* data, std::size_t size);
inline std::string Hex(const std::vector<std::uint8_t>& bytes) { return Hex(bytes.data(), bytes.size()); }

// 40 hexadecimal digits (blanks and colons allowed between them).
std::optional<std::vector<std::uint8_t>> ParseThumbprint(const std::string& text);

// Outside text made safe to print (see VisibleText).
inline std::string EscapeForTerminal(const std::string& text) { return platform::VisibleText(text); }

// A file time (100 ns since 1601-01-01 UTC) as "YYYY-MM-DDTHH:MM:SS.fffffffZ";
// "" for 0 and "invalid (N)" for a negative value.
std::string FileTimeText(std::int64_t fileTime);

// One state of the progress line.
struct ProgressLine {
  std::string operation;  // "Encrypting:", "Done", "Cancelled", ...
  std::string file;       // the file's name
  int percent = 0;
  std::int64_t done = 0;  // bytes of the step
  std::int64_t total = 0;
  double seconds = 0;     // since the step began
  bool final = false;     // the job has ended
};

// The line as the terminal shows it: the step, the file, the percentage,
// the bytes done, the speed and the time left, cut to fit in `width`
// columns (the least useful parts go first, then the middle of the name).
std::string FormatProgressLine(const ProgressLine& line, std::size_t width);

}  // namespace sealvane::cli
