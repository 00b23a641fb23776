// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/RegistryValues.h"

namespace sealvane::test {

namespace reg = sealvane::platform;

std::string RegValue(reg::HKEY root, const std::string& path, const std::string& name) {
  reg::HKEY key = 0;
  if (reg::RegOpenKeyExA(root, path.c_str(), 0, reg::KEY_READ, &key) != 0) return "(missing)";
  char data[4096];
  reg::DWORD size = sizeof(data), type = 0;
  const auto rc = reg::RegQueryValueExA(key, name.empty() ? nullptr : name.c_str(), nullptr, &type,
                                        reinterpret_cast<std::uint8_t*>(data), &size);
  reg::RegCloseKey(key);
  if (rc != 0) return "(missing)";
  std::string out(data, size);
  if (type == reg::REG_SZ && !out.empty() && out.back() == '\0') out.pop_back();
  return out;
}

bool RegKeyExists(reg::HKEY root, const std::string& path) {
  reg::HKEY key = 0;
  if (reg::RegOpenKeyExA(root, path.c_str(), 0, reg::KEY_READ, &key) != 0) return false;
  reg::RegCloseKey(key);
  return true;
}

reg::DWORD RegSubKeyCount(reg::HKEY root, const std::string& path) {
  reg::HKEY key = 0;
  if (reg::RegOpenKeyExA(root, path.c_str(), 0, reg::KEY_READ, &key) != 0) return 0;
  reg::DWORD subKeys = 0;
  reg::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr);
  reg::RegCloseKey(key);
  return subKeys;
}

bool RegSetString(reg::HKEY root, const std::string& path, const std::string& name, const std::string& value) {
  reg::HKEY key = 0;
  if (reg::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, reg::KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0) {
    return false;
  }
  const bool ok = reg::RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, reg::REG_SZ,
                                      reinterpret_cast<const std::uint8_t*>(value.c_str()),
                                      static_cast<reg::DWORD>(value.size() + 1)) == 0;
  reg::RegCloseKey(key);
  return ok;
}

}  // namespace sealvane::test
