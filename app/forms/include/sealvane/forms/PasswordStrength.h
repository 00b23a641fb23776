// SPDX-License-Identifier: GPL-3.0-or-later
// How hard a password is to guess, estimated by zxcvbn (common passwords,
// words, names, keyboard patterns, dates, repeats) for the note under the
// password box. It warns; only the 8-character rule refuses.
#pragma once

#include <string>
#include <vector>

namespace sealvane::forms {

enum class Strength { VeryWeak, Weak, Fair, Strong, VeryStrong };

struct StrengthEstimate {
  Strength level = Strength::VeryWeak;
  double bits = 0;   // log2 of the guesses needed
  std::string text;  // the note: "Password strength: ..."
};

// `userWords`: words a guesser would try first for this user (the file's
// name, the user's name and e-mail address).
StrengthEstimate EstimateStrength(const std::string& password, const std::vector<std::string>& userWords = {});

}  // namespace sealvane::forms
