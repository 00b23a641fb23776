// SPDX-License-Identifier: GPL-3.0-or-later
// The system's 8-bit ("ANSI") code page is UTF-8. Bytes that are not valid
// UTF-8 come from archives made on Western-locale systems and are read as
// Windows-1252.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sealvane::platform {

bool IsValidUtf8(std::string_view bytes) noexcept;

// Text for 8-bit bytes in the system code page: valid UTF-8 as it is (a
// sequence cut short at the very end is dropped), anything else read as
// Windows-1252 and returned as UTF-8.
std::string AnsiBytesToText(std::string_view bytes);

// UTF-8 text as UTF-16 (characters beyond U+FFFF as surrogate pairs); a
// sequence cut short at the end is read as far as it goes.
std::u16string Utf8ToUtf16(std::string_view text);

// Appends a code point as UTF-8 (up to U+FFFF).
void AppendUtf8(std::string& out, char32_t cp);

// Windows-1252 bytes as UTF-8 text.
std::string Windows1252ToUtf8(std::string_view bytes);

// UTF-8 text in a Windows code page (1250 Central European, 1251 Cyrillic,
// 1252 Western, 1253 Greek, ...), through iconv. Empty when the text is not
// valid UTF-8, when a character has no byte in that code page, or when the
// code page is unknown here.
std::optional<std::string> Utf8ToWindowsCodePage(std::string_view text, int codePage);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 character.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes) noexcept;

}  // namespace sealvane::platform
