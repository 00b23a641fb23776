// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/Form.h"

#include <string.h>

namespace sealvane::forms {

namespace {

struct Cipher {
  std::int32_t number;
  const char* label;
  bool strong;
};

// Top to bottom.
constexpr Cipher kCiphers[] = {{6, "AES (256-bit)", false},  {5, "3DES (168-bit)", true}, {4, "RC2 (128-bit)", true},
                               {3, "RC2 (64-bit)", true},    {2, "DES (56-bit)", false},  {1, "RC2 (40-bit)", false}};

constexpr const char* kModernTip =
    "AES with 256-bit keys in an authenticated format: a changed file is detected. For new encrypted files.";
constexpr const char* kExchangeTip =
    "For exchanging encrypted files with Sealvane on the other platform only: this format does not detect changes.";

}  // namespace

std::vector<std::string> AlgorithmList(bool strong) {
  std::vector<std::string> items;
  for (const Cipher& c : kCiphers) {
    if (strong || !c.strong) items.emplace_back(c.label);
  }
  return items;
}

std::vector<std::int32_t> AlgorithmNumbers(bool strong) {
  std::vector<std::int32_t> numbers;
  for (const Cipher& c : kCiphers) {
    if (strong || !c.strong) numbers.push_back(c.number);
  }
  return numbers;
}

std::vector<std::string> AlgorithmTips(bool strong) {
  std::vector<std::string> tips;
  for (const Cipher& c : kCiphers) {
    if (strong || !c.strong) tips.emplace_back(c.number == 6 ? kModernTip : kExchangeTip);
  }
  return tips;
}

int AlgorithmIndex(bool strong, std::int32_t n) {
  const std::vector<std::int32_t> numbers = AlgorithmNumbers(strong);
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (numbers[i] == n) return static_cast<int>(i);
  }
  return -1;
}

std::int32_t AlgorithmAt(bool strong, int index) {
  const std::vector<std::int32_t> numbers = AlgorithmNumbers(strong);
  return index >= 0 && index < static_cast<int>(numbers.size()) ? numbers[static_cast<std::size_t>(index)] : 0;
}

int AlgorithmIndexIn(const ControlState& list, std::int32_t n) {
  return AlgorithmIndex(list.items.size() == std::size(kCiphers), n);
}

std::int32_t AlgorithmAtIn(const ControlState& list, int index) {
  return AlgorithmAt(list.items.size() == std::size(kCiphers), index);
}

void WipeText(std::string& text) noexcept {
  if (!text.empty()) ::explicit_bzero(text.data(), text.size());
  text.clear();
}

}  // namespace sealvane::forms
