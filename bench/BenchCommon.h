// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmark programs share: a user who says yes and prints what went
// wrong, and the best time of a few runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>

#include "sealvane/archive/UiPort.h"

namespace bench {

class SilentUi : public sealvane::UiPort {
 public:
  sealvane::MsgResult ShowMessageBox(const sealvane::MessageBoxRequest& r) override {
    if (r.buttons == sealvane::MsgButtons::OK) std::cerr << "  (" << r.title << " " << r.text << ")\n";
    return r.buttons == sealvane::MsgButtons::YesNo ? sealvane::MsgResult::Yes : sealvane::MsgResult::OK;
  }
};

// The best of `repeats` runs, in milliseconds: the machine's own noise is
// upwards only. `before` runs untimed before each.
inline double BestMs(const std::function<void()>& run, const std::function<void()>& before = {}, int repeats = 3) {
  double best = 1e30;
  for (int i = 0; i < repeats; ++i) {
    if (before) before();
    const auto t0 = std::chrono::steady_clock::now();
    run();
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

}  // namespace bench
