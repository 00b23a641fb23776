// SPDX-License-Identifier: GPL-3.0-or-later
// SealvaneCM: the context-menu handler. It offers "Encr&ypt" (or
// "Decr&ypt" for a .sva archive) and "Secure De&lete" for one selected file
// and starts the desktop program, from the server's own folder, for the one
// chosen. It never reads or writes the file itself.
#pragma once

#include "Module.h"
#include "sealvane/com/Shell.h"

namespace sealvane::shellext {

// The class's own dual interface: nothing beyond IDispatch.
class ISealvaneCM : public IDispatch {
 protected:
  ~ISealvaneCM() = default;
};

// A new handler object; with an outer object (only for IID_IUnknown) it is
// aggregated and `ppv` receives its inner, non-delegating IUnknown.
HRESULT CreateSealvaneCM(IUnknown* pUnkOuter, REFIID riid, void** ppv);

}  // namespace sealvane::shellext
