// SPDX-License-Identifier: GPL-3.0-or-later
// A registry key handle that closes itself, for the component model's
// registration code.
#pragma once

#include <string>
#include <vector>

#include "sealvane/platform/Registry.h"

namespace sealvane::com::detail {

namespace reg = sealvane::platform;

class Key {
 public:
  Key() = default;
  explicit Key(reg::HKEY h) : m_h(h) {}
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  Key(Key&& o) noexcept : m_h(o.m_h) { o.m_h = 0; }
  Key& operator=(Key&& o) noexcept {
    if (this != &o) {
      if (m_h != 0) reg::RegCloseKey(m_h);
      m_h = o.m_h;
      o.m_h = 0;
    }
    return *this;
  }
  ~Key() {
    if (m_h != 0) reg::RegCloseKey(m_h);
  }
  reg::HKEY Get() const { return m_h; }
  reg::HKEY* Put() { return &m_h; }

  // Registry result codes.
  static reg::LONG Open(reg::HKEY parent, const std::string& path, reg::REGSAM sam, Key& out) {
    return reg::RegOpenKeyExA(parent, path.c_str(), 0, sam, out.Put());
  }
  static reg::LONG Create(reg::HKEY parent, const std::string& path, Key& out) {
    return reg::RegCreateKeyExA(parent, path.c_str(), 0, nullptr, reg::REG_OPTION_NON_VOLATILE, reg::KEY_ALL_ACCESS,
                                nullptr, out.Put(), nullptr);
  }
  // A REG_SZ value stored with its terminating NUL.
  reg::LONG SetString(const std::string& name, const std::string& value) const {
    return reg::RegSetValueExA(m_h, name.empty() ? nullptr : name.c_str(), 0, reg::REG_SZ,
                               reinterpret_cast<const std::uint8_t*>(value.c_str()),
                               static_cast<reg::DWORD>(value.size() + 1));
  }
  // A string value without its terminating NUL; empty when missing or not text.
  std::string GetString(const std::string& name) const {
    reg::DWORD type = 0, size = 0;
    const char* valueName = name.empty() ? nullptr : name.c_str();
    if (reg::RegQueryValueExA(m_h, valueName, nullptr, &type, nullptr, &size) != 0) return {};
    if ((type != reg::REG_SZ && type != reg::REG_EXPAND_SZ) || size > (1u << 20)) return {};
    std::string data(size, '\0');
    if (reg::RegQueryValueExA(m_h, valueName, nullptr, &type, reinterpret_cast<std::uint8_t*>(data.data()), &size) != 0) {
      return {};
    }
    data.resize(size);
    while (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
  }
  // Number of subkeys and of values (the default value included); false when it cannot be told.
  bool Counts(reg::DWORD& subKeys, reg::DWORD& values) const {
    return reg::RegQueryInfoKeyA(m_h, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                                 nullptr, nullptr) == 0;
  }
  std::vector<std::string> SubKeys() const {
    std::vector<std::string> names;
    for (reg::DWORD i = 0;; ++i) {
      char name[256];
      reg::DWORD len = sizeof(name);
      if (reg::RegEnumKeyExA(m_h, i, name, &len, nullptr, nullptr, nullptr, nullptr) != 0) break;
      names.emplace_back(name, len);
    }
    return names;
  }

 private:
  reg::HKEY m_h = 0;
};

}  // namespace sealvane::com::detail
