// SPDX-License-Identifier: GPL-3.0-or-later
// A thin wrapper over the registry: keys relative to a root, values of the
// four types the system uses, every outcome a result code (0; a registry
// code; -1 a type it does not handle; -2 a stored value of another type).
// No key stays open between calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sealvane/platform/WinTypes.h"

namespace sealvane {

using ByteArray = std::vector<std::uint8_t>;

class clsRegistry {
 public:
  clsRegistry() = default;

  void SetRootKey(platform::HKEY i_hRootKey) { m_hRootKey = i_hRootKey; }

  std::int32_t CreateKey(const std::string& i_strKeyName);
  std::int32_t DeleteKey(const std::string& i_strKeyName);
  // Fills o_varSubKeys with the subkey names; leaves it as it was when the
  // key has none.
  std::int32_t GetSubKeys(const std::string& i_strKeyName, std::vector<std::string>& o_varSubKeys);

  std::int32_t SetStringValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                              const std::string& i_strValue);
  std::int32_t SetBinaryValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                              const ByteArray& i_varValue);
  std::int32_t SetIntegerValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                               std::int32_t i_nValue);

  std::int32_t GetStringValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                              std::string& o_strValue);
  std::int32_t GetExpandStringValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                                    std::string& o_strValue);
  // o_varValue is empty (no value) when it could not be read.
  std::int32_t GetBinaryValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                              std::optional<ByteArray>& o_varValue);
  std::int32_t GetIntegerValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                               std::int32_t& o_nValue);

 private:
  using Variant = std::variant<std::monostate, std::string, ByteArray, std::int32_t>;

  std::int32_t SetValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                        std::int32_t i_eType, const Variant& i_varValue);
  std::int32_t GetValue(const std::string& i_strKeyName, const std::string& i_strValueName,
                        std::int32_t i_eType, Variant& o_varValue);

  platform::HKEY m_hRootKey = platform::HKEY_CURRENT_USER;
};

}  // namespace sealvane
