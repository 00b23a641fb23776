// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/Password.h"

#include <algorithm>
#include <cctype>
#include <string.h>

#include "sealvane/platform/CodePage.h"

namespace sealvane {
namespace {

constexpr int kWestern = 1252;

}  // namespace

std::vector<std::string> PasswordForms(const std::string& i_strPassword,
                                       const std::vector<std::int32_t>& i_colCodePages) {
  std::vector<std::string> forms;
  const auto add = [&forms](std::string form) {
    if (std::find(forms.begin(), forms.end(), form) == forms.end()) forms.push_back(std::move(form));
  };
  const bool ascii = std::all_of(i_strPassword.begin(), i_strPassword.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || !platform::IsValidUtf8(i_strPassword)) {
    // Nothing to convert (or bytes that are no text: taken as they are).
    forms.push_back(i_strPassword);
    return forms;
  }
  if (auto western = platform::Utf8ToWindowsCodePage(i_strPassword, kWestern)) add(std::move(*western));
  add(i_strPassword);
  for (const std::int32_t codePage : i_colCodePages) {
    if (auto other = platform::Utf8ToWindowsCodePage(i_strPassword, codePage)) add(std::move(*other));
  }
  return forms;
}

void WipeForms(std::vector<std::string>& io_colForms) noexcept {
  for (std::string& form : io_colForms) {
    if (!form.empty()) ::explicit_bzero(form.data(), form.size());
  }
  io_colForms.clear();
}

std::vector<std::int32_t> ParseCodePages(const std::string& i_strText) {
  std::vector<std::int32_t> pages;
  std::int64_t value = -1;
  for (std::size_t i = 0; i <= i_strText.size(); ++i) {
    const char c = i < i_strText.size() ? i_strText[i] : ' ';
    if (std::isdigit(static_cast<unsigned char>(c))) {
      value = std::min<std::int64_t>((value < 0 ? 0 : value) * 10 + (c - '0'), 1000000);
    } else {
      if (value > 0 && value < 100000) pages.push_back(static_cast<std::int32_t>(value));
      value = -1;
    }
  }
  return pages;
}

}  // namespace sealvane
