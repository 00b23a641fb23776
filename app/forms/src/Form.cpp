// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/Form.h"

#include <string.h>

namespace sealvane::forms {

std::vector<std::string> AlgorithmList(bool strong) {
  std::vector<std::string> items;
  if (strong) items = {"3DES (168-bit)", "RC2 (128-bit)", "RC2 (64-bit)"};
  items.emplace_back("DES (56-bit)");
  items.emplace_back("RC2 (40-bit)");
  return items;
}

void WipeText(std::string& text) noexcept {
  if (!text.empty()) ::explicit_bzero(text.data(), text.size());
  text.clear();
}

}  // namespace sealvane::forms
