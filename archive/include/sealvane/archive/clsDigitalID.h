// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sealvane {

using ByteArray = std::vector<std::uint8_t>;

// One digital ID as the program holds it.
class clsDigitalID {
 public:
  bool m_bSelected = false;
  std::string m_strName;
  std::string m_strEMailAddr;
  ByteArray m_varThumbprint;  // 20 bytes; empty when not set

  void CopyTo(clsDigitalID& o_oDigitalID) const;
};

}  // namespace sealvane
