// SPDX-License-Identifier: GPL-3.0-or-later
// The shell extension server's module state: its own file, the count of
// what keeps it loaded, and the identifiers it serves.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "sealvane/com/Com.h"
#include "sealvane/com/Module.h"

namespace sealvane::shellext {

using namespace sealvane::com;

inline constexpr CLSID CLSID_SealvaneCM = MakeGuid("{0F27B861-7421-46C8-8799-527B283CFDC6}");
inline constexpr IID IID_ISealvaneCM = MakeGuid("{3BDB86D3-F7B2-497B-A432-F02AA368F6EF}");
inline constexpr GUID LIBID_SEALVANESHLLib = MakeGuid("{6EAEC83D-B34F-4227-B2DD-8BEEABC8B3D0}");

inline constexpr std::uint32_t IDR_SEALVANECM = 101;   // the registry script
inline constexpr std::uint32_t IDB_MENU_BITMAP = 202;  // the menu glyph
inline constexpr std::uint32_t IDS_PROJNAME = 100;

inline constexpr const char* kApprovedKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
inline constexpr const char* kApprovedValue = "{0F27B861-7421-46C8-8799-527B283CFDC6}";
inline constexpr const char* kApprovedData = "Sealvane Shell extension";

// The server's own file (found from an address inside it).
std::string ModulePath();

}  // namespace sealvane::shellext
