// SPDX-License-Identifier: GPL-3.0-or-later
// Digital IDs as the windows read them from the certificate stores through
// the cipher library.
#pragma once

#include <optional>
#include <vector>

#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/archive/UiPort.h"
#include "sealvane/archive/clsDigitalID.h"

namespace sealvane::forms {

// The digital ID with that thumbprint in the store, marked selected; empty
// when the thumbprint is not 20 bytes or the store does not hold it.
std::optional<clsDigitalID> FindDigitalID(CipherLibrary& library, const char* store, const ByteArray& thumbprint);

// The user's default digital ID when the settings name one and "MY" holds it.
std::optional<clsDigitalID> FindDefaultDigitalID(CipherLibrary& library);

// Every digital ID of a store (with `privateKeyOnly`, those with a private
// key), in the library's order. Empty on failure, after the library's
// message was shown as an error.
std::optional<std::vector<clsDigitalID>> ReadDigitalIDs(UiPort& ui, CipherLibrary& library, const char* store,
                                                        bool privateKeyOnly);

}  // namespace sealvane::forms
