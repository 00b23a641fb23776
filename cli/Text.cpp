// SPDX-License-Identifier: GPL-3.0-or-later
#include "Text.h"

#include <cctype>
#include <cstdio>
#include <vector>

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

std::string FileTimeText(std::int64_t fileTime) {
  if (fileTime == 0) return "";
  if (fileTime < 0) return "invalid (" + std::to_string(fileTime) + ")";
  const std::int64_t seconds = fileTime / 10'000'000LL;
  const std::int64_t fraction = fileTime % 10'000'000LL;
  // Days to a civil date (H. Hinnant's civil_from_days), counted from
  // 0000-03-01 so that leap days come last: 1601-01-01 is day 584694.
  const std::int64_t days = seconds / 86400 + 584694;
  const std::int64_t secondOfDay = seconds % 86400;
  const std::int64_t era = days / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof(text), "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%07lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(secondOfDay / 3600),
                static_cast<long long>(secondOfDay / 60 % 60), static_cast<long long>(secondOfDay % 60),
                static_cast<long long>(fraction));
  return text;
}

namespace {

std::size_t Columns(const std::string& text) {
  std::size_t n = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// The first `columns` characters of a UTF-8 text.
std::string Head(const std::string& text, std::size_t columns) {
  std::size_t n = 0, at = 0;
  for (; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && n++ == columns) break;
  }
  return text.substr(0, at);
}

// The last `columns` characters of a UTF-8 text.
std::string Tail(const std::string& text, std::size_t columns) {
  std::size_t n = 0, at = text.size();
  while (at > 0 && n < columns) {
    --at;
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) ++n;
  }
  return text.substr(at);
}

std::string Bytes(std::int64_t n) {
  char buf[32];
  if (n < 1024) {
    std::snprintf(buf, sizeof(buf), "%lld B", static_cast<long long>(n));
  } else if (n < (1LL << 20)) {
    std::snprintf(buf, sizeof(buf), "%.1f KiB", static_cast<double>(n) / 1024.0);
  } else if (n < (1LL << 30)) {
    std::snprintf(buf, sizeof(buf), "%.1f MiB", static_cast<double>(n) / 1048576.0);
  } else {
    std::snprintf(buf, sizeof(buf), "%.2f GiB", static_cast<double>(n) / 1073741824.0);
  }
  return buf;
}

}  // namespace

std::string FormatProgressLine(const ProgressLine& line, std::size_t width) {
  const std::size_t room = width > 1 ? width - 1 : 0;  // the last column would wrap on some terminals
  std::string head = line.operation;
  if (line.final) {
    if (line.operation == "Done") head += " " + std::to_string(line.percent) + "%";
    return Head(head, room);
  }
  std::vector<std::string> extras = {std::to_string(line.percent) + "%"};
  if (line.total > 0) extras.push_back(Bytes(line.done) + " of " + Bytes(line.total));
  if (line.seconds > 0.25 && line.done > 0 && line.total > 0) {
    const double rate = static_cast<double>(line.done) / line.seconds;
    extras.push_back(Bytes(static_cast<std::int64_t>(rate)) + "/s");
    const auto left = static_cast<long long>(static_cast<double>(line.total - line.done) / rate + 0.5);
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%lld:%02lld left", left / 60, left % 60);
    extras.push_back(buf);
  }
  const std::string file = EscapeForTerminal(line.file);
  const auto compose = [&](const std::string& name, std::size_t parts) {
    std::string text = head;
    if (!name.empty()) text += (text.empty() ? "" : " ") + name;
    for (std::size_t i = 0; i < parts; ++i) text += (text.empty() ? "" : "  ") + extras[i];
    return text;
  };
  // Shorten the name in its middle (to no less than 12 characters), then
  // drop the least useful parts from the end.
  constexpr std::size_t kShortestName = 12;
  for (std::size_t parts = extras.size(); parts > 0; --parts) {
    const std::string full = compose(file, parts);
    if (Columns(full) <= room) return full;
    const std::size_t others = Columns(compose("", parts)) + 1;
    if (!file.empty() && others + kShortestName <= room) {
      const std::size_t keep = room - others - 3;
      return compose(Head(file, keep / 2) + "..." + Tail(file, keep - keep / 2), parts);
    }
  }
  return Head(compose(file, 1), room);
}

}  // namespace sealvane::cli
