// SPDX-License-Identifier: GPL-3.0-or-later
// A cipher library that offers the provider level and nothing else: every
// other export is missing, so each operation that needs one fails as a
// run-time error of that operation.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t SLGetCSP(int32_t* providerLevel, char* /*message*/) {
  *providerLevel = 3;
  return 1;
}
