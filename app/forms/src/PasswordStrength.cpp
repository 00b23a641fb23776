// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/PasswordStrength.h"

#include <zxcvbn.h>

namespace sealvane::forms {

StrengthEstimate EstimateStrength(const std::string& password, const std::vector<std::string>& userWords) {
  StrengthEstimate estimate;
  if (password.empty()) return estimate;
  std::vector<const char*> words;
  for (const std::string& word : userWords) {
    if (word.size() >= 3) words.push_back(word.c_str());
  }
  words.push_back(nullptr);
  estimate.bits = ZxcvbnMatch(password.c_str(), words.data(), nullptr);
  // Thresholds for an attacker who has the encrypted file and tries
  // passwords offline: 2^28 guesses take moments, 2^40 hours at most on a
  // fast password hash, 2^60 is out of reach of anyone but the very
  // determined, 2^80 of anyone.
  const double bits = estimate.bits;
  estimate.level = bits < 28   ? Strength::VeryWeak
                   : bits < 40 ? Strength::Weak
                   : bits < 60 ? Strength::Fair
                   : bits < 80 ? Strength::Strong
                               : Strength::VeryStrong;
  switch (estimate.level) {
    case Strength::VeryWeak:
      estimate.text = "Password strength: very weak. A common word or pattern is guessed at once.";
      break;
    case Strength::Weak:
      estimate.text = "Password strength: weak. A computer trying passwords finds it quickly; add words.";
      break;
    case Strength::Fair:
      estimate.text = "Password strength: fair. Another word or two would make it strong.";
      break;
    case Strength::Strong:
      estimate.text = "Password strength: strong.";
      break;
    case Strength::VeryStrong:
      estimate.text = "Password strength: very strong.";
      break;
  }
  return estimate;
}

}  // namespace sealvane::forms
