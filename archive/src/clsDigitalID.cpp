// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/clsDigitalID.h"

namespace sealvane {

void clsDigitalID::CopyTo(clsDigitalID& o_oDigitalID) const {
  if (&o_oDigitalID == this) return;
  o_oDigitalID.m_bSelected = m_bSelected;
  o_oDigitalID.m_strName = m_strName;
  o_oDigitalID.m_strEMailAddr = m_strEMailAddr;
  o_oDigitalID.m_varThumbprint = m_varThumbprint;
}

}  // namespace sealvane
