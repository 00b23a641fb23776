// SPDX-License-Identifier: GPL-3.0-or-later
// The system's 8-bit ("ANSI") code page is UTF-8. Bytes that are not valid
// UTF-8 come from archives made on Western-locale systems and are read as
// Windows-1252.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sealvane::platform {

bool IsValidUtf8(std::string_view bytes) noexcept;

// Text for 8-bit bytes in the system code page: valid UTF-8 as it is (a
// sequence cut short at the very end is dropped), anything else read as
// Windows-1252 and returned as UTF-8.
std::string AnsiBytesToText(std::string_view bytes);

// Windows-1252 bytes as UTF-8 text.
std::string Windows1252ToUtf8(std::string_view bytes);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 character.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes) noexcept;

}  // namespace sealvane::platform
