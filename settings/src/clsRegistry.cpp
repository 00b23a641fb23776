// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/settings/clsRegistry.h"

#include <array>
#include <cstring>

#include "sealvane/platform/Registry.h"

namespace sealvane {

using namespace platform;

namespace {

// Closes a key on every path.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (m_hKey != 0) RegCloseKey(m_hKey);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY* Out() { return &m_hKey; }
  HKEY Get() const { return m_hKey; }

 private:
  HKEY m_hKey = 0;
};

}  // namespace

std::int32_t clsRegistry::CreateKey(const std::string& i_strKeyName) {
  OpenKey key;
  DWORD disposition = 0;
  return RegCreateKeyExA(m_hRootKey, i_strKeyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                         nullptr, key.Out(), &disposition);
}

std::int32_t clsRegistry::DeleteKey(const std::string& i_strKeyName) {
  return RegDeleteKeyA(m_hRootKey, i_strKeyName.c_str());
}

std::int32_t clsRegistry::GetSubKeys(const std::string& i_strKeyName, std::vector<std::string>& o_varSubKeys) {
  OpenKey key;
  LONG rc = RegOpenKeyExA(m_hRootKey, i_strKeyName.c_str(), 0, KEY_ALL_ACCESS, key.Out());
  if (rc != ERROR_SUCCESS) return rc;
  DWORD count = 0;
  rc = RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if (count == 0) return ERROR_SUCCESS;
  o_varSubKeys.assign(count, std::string());
  for (DWORD i = 0; i < count; ++i) {
    std::array<char, 256> name {};
    DWORD length = static_cast<DWORD>(name.size());
    rc = RegEnumKeyExA(key.Get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA || rc == ERROR_NO_MORE_ITEMS) continue;
    if (rc != ERROR_SUCCESS) return rc;
    o_varSubKeys[i].assign(name.data(), length);
  }
  return ERROR_SUCCESS;
}

std::int32_t clsRegistry::SetStringValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                         const std::string& i_strValue) {
  return SetValue(i_strKeyName, i_strValueName, REG_SZ, i_strValue);
}

std::int32_t clsRegistry::SetBinaryValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                         const ByteArray& i_varValue) {
  return SetValue(i_strKeyName, i_strValueName, REG_BINARY, i_varValue);
}

std::int32_t clsRegistry::SetIntegerValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                          std::int32_t i_nValue) {
  return SetValue(i_strKeyName, i_strValueName, REG_DWORD, i_nValue);
}

std::int32_t clsRegistry::GetStringValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                         std::string& o_strValue) {
  Variant value;
  const std::int32_t rc = GetValue(i_strKeyName, i_strValueName, REG_SZ, value);
  const auto* text = std::get_if<std::string>(&value);
  o_strValue = text != nullptr ? *text : std::string();
  return rc;
}

std::int32_t clsRegistry::GetExpandStringValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                               std::string& o_strValue) {
  Variant value;
  const std::int32_t rc = GetValue(i_strKeyName, i_strValueName, REG_EXPAND_SZ, value);
  const auto* text = std::get_if<std::string>(&value);
  const std::string source = text != nullptr ? *text : std::string();
  // Expansion works on NUL-terminated text, as the stored string is.
  const DWORD needed = ExpandEnvironmentStringsA(source.c_str(), nullptr, 0);
  std::string buffer(static_cast<std::size_t>(needed) + 1, '\0');
  ExpandEnvironmentStringsA(source.c_str(), buffer.data(), needed);
  o_strValue = buffer.substr(0, buffer.find('\0'));
  return rc;
}

std::int32_t clsRegistry::GetBinaryValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                         std::optional<ByteArray>& o_varValue) {
  Variant value;
  const std::int32_t rc = GetValue(i_strKeyName, i_strValueName, REG_BINARY, value);
  if (auto* bytes = std::get_if<ByteArray>(&value)) {
    o_varValue = std::move(*bytes);
  } else {
    o_varValue.reset();
  }
  return rc;
}

std::int32_t clsRegistry::GetIntegerValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                          std::int32_t& o_nValue) {
  Variant value;
  const std::int32_t rc = GetValue(i_strKeyName, i_strValueName, REG_DWORD, value);
  const auto* number = std::get_if<std::int32_t>(&value);
  o_nValue = number != nullptr ? *number : 0;
  return rc;
}

std::int32_t clsRegistry::SetValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                   std::int32_t i_eType, const Variant& i_varValue) {
  OpenKey key;
  const LONG rc = RegOpenKeyExA(m_hRootKey, i_strKeyName.c_str(), 0, KEY_SET_VALUE, key.Out());
  if (rc != ERROR_SUCCESS) return rc;
  const char* name = i_strValueName.c_str();
  switch (i_eType) {
    case static_cast<std::int32_t>(REG_SZ): {
      const auto* text = std::get_if<std::string>(&i_varValue);
      if (text == nullptr) return -1;
      const std::string stored = *text + '\0';
      return RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const std::uint8_t*>(stored.data()),
                            static_cast<DWORD>(stored.size()));
    }
    case static_cast<std::int32_t>(REG_BINARY): {
      const auto* bytes = std::get_if<ByteArray>(&i_varValue);
      if (bytes == nullptr) return -1;
      return RegSetValueExA(key.Get(), name, 0, REG_BINARY, bytes->data(), static_cast<DWORD>(bytes->size()));
    }
    case static_cast<std::int32_t>(REG_DWORD): {
      const auto* number = std::get_if<std::int32_t>(&i_varValue);
      if (number == nullptr) return -1;
      // REG_DWORD is stored least significant byte first.
      const auto v = static_cast<std::uint32_t>(*number);
      const std::uint8_t raw[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
      return RegSetValueExA(key.Get(), name, 0, REG_DWORD, raw, sizeof(raw));
    }
    default:
      return -1;
  }
}

std::int32_t clsRegistry::GetValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                   std::int32_t i_eType, Variant& o_varValue) {
  o_varValue = std::monostate {};
  OpenKey key;
  LONG rc = RegOpenKeyExA(m_hRootKey, i_strKeyName.c_str(), 0, KEY_QUERY_VALUE, key.Out());
  if (rc != ERROR_SUCCESS) return rc;
  const char* name = i_strValueName.c_str();
  DWORD type = 0;
  DWORD size = 0;
  rc = RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (static_cast<std::int32_t>(type) != i_eType) return -2;
  switch (i_eType) {
    case static_cast<std::int32_t>(REG_SZ):
    case static_cast<std::int32_t>(REG_EXPAND_SZ): {
      std::string buffer(size, '\0');
      rc = RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<std::uint8_t*>(buffer.data()),
                            &size);
      if (rc == ERROR_SUCCESS) {
        buffer.resize(size);
        // The stored size counts the terminating NUL; a string stored
        // without one (size 0, or written by another program) loses nothing.
        if (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
        o_varValue = std::move(buffer);
      }
      return rc;
    }
    case static_cast<std::int32_t>(REG_BINARY): {
      ByteArray buffer(size);
      rc = RegQueryValueExA(key.Get(), name, nullptr, nullptr, buffer.data(), &size);
      if (rc == ERROR_SUCCESS) {
        buffer.resize(size);
        o_varValue = std::move(buffer);
      }
      return rc;
    }
    case static_cast<std::int32_t>(REG_DWORD): {
      std::uint8_t raw[4] = {};
      size = sizeof(raw);
      rc = RegQueryValueExA(key.Get(), name, nullptr, nullptr, raw, &size);
      if (rc == ERROR_SUCCESS) {
        const std::uint32_t v = raw[0] | (raw[1] << 8) | (raw[2] << 16) | (static_cast<std::uint32_t>(raw[3]) << 24);
        o_varValue = static_cast<std::int32_t>(v);
      }
      return rc;
    }
    default:
      return -1;
  }
}

}  // namespace sealvane
