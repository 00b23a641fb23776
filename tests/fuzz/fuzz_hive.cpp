// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the settings hive loader: the input is the user's hive
// file (one can be copied from anywhere), and the program reads Sealvane's
// settings from it: keys and values enumerated and queried. Two homes take
// turns so that every input is opened afresh.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "ScratchFolder.h"
#include "sealvane/platform/Registry.h"

namespace reg = sealvane::platform;

namespace {

std::string g_homes[2];
unsigned g_turn = 0;

void Walk(reg::HKEY key, int depth) {
  char name[256];
  std::uint8_t value[512];
  for (reg::DWORD i = 0; i < 64; ++i) {
    reg::DWORD nameSize = sizeof(name), type = 0, valueSize = sizeof(value);
    if (reg::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, value, &valueSize) != 0) break;
  }
  if (depth >= 4) return;
  for (reg::DWORD i = 0; i < 64; ++i) {
    reg::DWORD nameSize = sizeof(name);
    if (reg::RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != 0) break;
    reg::HKEY child = 0;
    if (reg::RegOpenKeyExA(key, name, 0, reg::KEY_READ, &child) == 0) {
      Walk(child, depth + 1);
      reg::RegCloseKey(child);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (auto& home : g_homes) home = sealvane::fuzz::ScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& home = g_homes[g_turn++ % 2];
  ::setenv("SEALVANE_HOME", home.c_str(), 1);
  {
    std::ofstream(home + "/registry.db", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ::unlink((home + "/registry.db-journal").c_str());
  reg::HKEY key = 0;
  if (reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, "Software", 0, reg::KEY_READ, &key) == 0) {
    Walk(key, 0);
    reg::RegCloseKey(key);
  }
  std::uint8_t value[256];
  reg::DWORD type = 0, valueSize = sizeof(value);
  (void)reg::RegQueryValueExA(reg::HKEY_CURRENT_USER, "", nullptr, &type, value, &valueSize);
  return 0;
}
