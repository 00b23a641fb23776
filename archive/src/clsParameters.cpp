// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/clsParameters.h"

#include <string.h>

namespace sealvane {

clsParameters::~clsParameters() {
  if (!m_strPassword.empty()) ::explicit_bzero(m_strPassword.data(), m_strPassword.size());
}

}  // namespace sealvane
