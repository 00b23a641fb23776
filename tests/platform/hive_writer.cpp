// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: writes COUNT values into HKCU\Software\Stress\<TAG>, each in
// its own transaction, and one shared value that every writer overwrites.
// Exits 0 when every write succeeded.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sealvane/platform/Registry.h"

using namespace sealvane::platform;

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string tag = argv[1];
  const int count = std::atoi(argv[2]);
  HKEY key = 0;
  LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, ("Software\\Stress\\" + tag).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) {
    std::fprintf(stderr, "create: %d %s\n", rc, RegLastErrorDetail().c_str());
    return 1;
  }
  for (int i = 0; i < count; ++i) {
    const std::string name = "v" + std::to_string(i);
    const std::string data = tag + ":" + std::to_string(i);
    rc = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const std::uint8_t*>(data.c_str()),
                        static_cast<DWORD>(data.size() + 1));
    if (rc == ERROR_SUCCESS) {
      rc = RegSetValueExA(HKEY_CURRENT_USER, "Shared", 0, REG_SZ, reinterpret_cast<const std::uint8_t*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1));
    }
    if (rc != ERROR_SUCCESS) {
      std::fprintf(stderr, "set %d: %d %s\n", i, rc, RegLastErrorDetail().c_str());
      return 1;
    }
  }
  RegCloseKey(key);
  return 0;
}
