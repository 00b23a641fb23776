// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>

#include "sealvane/com/Com.h"

namespace sealvane::com {

std::string GuidToString(const GUID& guid) {
  char text[39];
  std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2,
                guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

}  // namespace sealvane::com
