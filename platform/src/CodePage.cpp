// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/CodePage.h"

#include <iconv.h>
#include <string.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace sealvane::platform {
namespace {

// Length of the UTF-8 sequence that starts at bytes[i], or 0 when none
// (invalid or cut short). Rejects overlong forms, surrogates and values
// above U+10FFFF.
std::size_t SequenceLength(std::string_view bytes, std::size_t i) noexcept {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned char c = b(i);
  const std::size_t left = bytes.size() - i;
  const auto cont = [&](std::size_t k) { return k < bytes.size() && (b(k) & 0xC0) == 0x80; };
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return (left >= 2 && cont(i + 1)) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (left < 3 || !cont(i + 1) || !cont(i + 2)) return 0;
    if (c == 0xE0 && b(i + 1) < 0xA0) return 0;   // overlong
    if (c == 0xED && b(i + 1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (left < 4 || !cont(i + 1) || !cont(i + 2) || !cont(i + 3)) return 0;
    if (c == 0xF0 && b(i + 1) < 0x90) return 0;   // overlong
    if (c == 0xF4 && b(i + 1) >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

// True when bytes[i..] is the valid beginning of a sequence that the end of
// the data cut short.
bool IsCutSequence(std::string_view bytes, std::size_t i) noexcept {
  const unsigned char c = static_cast<unsigned char>(bytes[i]);
  std::size_t need = 0;
  if (c >= 0xC2 && c <= 0xDF) need = 2;
  else if (c >= 0xE0 && c <= 0xEF) need = 3;
  else if (c >= 0xF0 && c <= 0xF4) need = 4;
  else return false;
  const std::size_t left = bytes.size() - i;
  if (left >= need) return false;
  for (std::size_t k = i + 1; k < bytes.size(); ++k) {
    if ((static_cast<unsigned char>(bytes[k]) & 0xC0) != 0x80) return false;
  }
  return true;
}

// Windows-1252 0x80..0x9F; the five undefined positions map to the C1
// control of the same value, as the platform's own conversion does.
constexpr std::array<char16_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsValidUtf8(std::string_view bytes) noexcept {
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = SequenceLength(bytes, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80 && c <= 0x9F) {
      AppendUtf8(out, kHigh1252[c - 0x80]);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string AnsiBytesToText(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t n = SequenceLength(bytes, i);
    if (n == 0) break;
    i += n;
  }
  if (i == bytes.size()) return std::string(bytes);
  if (IsCutSequence(bytes, i)) return std::string(bytes.substr(0, i));
  return Windows1252ToUtf8(bytes);
}

std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes) noexcept {
  if (text.size() <= maxBytes) return text.size();
  // Step back over at most three continuation bytes to the lead byte of the
  // character that straddles the limit; text that is not UTF-8 is cut at
  // the limit itself.
  std::size_t start = maxBytes;
  while (start > 0 && maxBytes - start < 3 &&
         (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
    --start;
  }
  if ((static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) return maxBytes;
  const std::size_t n = SequenceLength(text, start);
  if (n > 1 && start + n > maxBytes) return start;
  return maxBytes;
}

std::optional<std::string> Utf8ToWindowsCodePage(std::string_view text, int codePage) {
  if (!IsValidUtf8(text) || codePage < 100 || codePage > 99999) return std::nullopt;
  const std::string name = "CP" + std::to_string(codePage);
  const iconv_t cd = ::iconv_open(name.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in(text);
  // A Windows code page has at most two bytes per character.
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  const std::size_t rc = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  ::iconv_close(cd);
  // The text may be a password: no copy of it stays behind.
  if (!in.empty()) ::explicit_bzero(in.data(), in.size());
  // Any character iconv had to approximate or could not convert fails.
  if (rc != 0 || inLeft != 0) {
    ::explicit_bzero(out.data(), out.size());
    return std::nullopt;
  }
  std::string result(out.data(), out.size() - outLeft);
  ::explicit_bzero(out.data(), out.size());
  return result;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    char32_t cp = c;
    std::size_t n = 1;
    if (c >= 0xF0 && i + 3 < text.size()) {
      cp = ((c & 0x07u) << 18) | ((text[i + 1] & 0x3Fu) << 12) | ((text[i + 2] & 0x3Fu) << 6) | (text[i + 3] & 0x3Fu);
      n = 4;
    } else if (c >= 0xE0 && i + 2 < text.size()) {
      cp = ((c & 0x0Fu) << 12) | ((text[i + 1] & 0x3Fu) << 6) | (text[i + 2] & 0x3Fu);
      n = 3;
    } else if (c >= 0xC0 && i + 1 < text.size()) {
      cp = ((c & 0x1Fu) << 6) | (text[i + 1] & 0x3Fu);
      n = 2;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += n;
  }
  return out;
}

}  // namespace sealvane::platform
