// SPDX-License-Identifier: GPL-3.0-or-later
// A password's bytes as the cipher library hashes them into a session key.
// The other platform hands the library the password in the user's code
// page, Windows-1252 on Western systems; here text is UTF-8. So an archive
// opens on both when its password went in as Windows-1252 wherever it can.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sealvane {

// The forms of a password (UTF-8 text) to try, in order, each a byte
// string: its Windows-1252 bytes when every character has one, its UTF-8
// bytes, then its bytes in each further code page that has all its
// characters; no form twice. A password of ASCII characters has one form.
// Encrypting uses the first form.
std::vector<std::string> PasswordForms(const std::string& i_strPassword, const std::vector<std::int32_t>& i_colCodePages);

// Overwrites the forms and empties the list.
void WipeForms(std::vector<std::string>& io_colForms) noexcept;

// The code pages of a text such as "1250, 1251 1253": the numbers in it.
std::vector<std::int32_t> ParseCodePages(const std::string& i_strText);

}  // namespace sealvane
