// SPDX-License-Identifier: GPL-3.0-or-later
// In-process servers: shared libraries that export DllGetClassObject and
// DllCanUnloadNow (and, to register themselves, DllRegisterServer and
// DllUnregisterServer). A class is found through
// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32, whose default value is the
// server file's path; the server stays loaded until DllCanUnloadNow says
// S_OK at a CoFreeUnusedLibraries.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "sealvane/com/Com.h"

namespace sealvane::com {

using DllGetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

// The path registered for a class; nullopt when the class or its
// InprocServer32 key is missing or empty.
std::optional<std::string> InprocServerPath(REFCLSID clsid);

// REGDB_E_CLASSNOTREG when the class is not registered; CO_E_DLLNOTFOUND
// when its file does not load; CO_E_ERRORINDLL when it lacks
// DllGetClassObject; otherwise the server's answer.
HRESULT CoGetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* pUnkOuter, REFIID riid, void** ppv);

// The class of a ProgID (HKCR\ProgID\CLSID); REGDB_E_CLASSNOTREG when none.
HRESULT CLSIDFromProgID(const char* progId, CLSID* pclsid);

// Unloads every server that says it can be unloaded.
void CoFreeUnusedLibraries();
// How many servers are loaded now.
std::size_t LoadedServerCount();

// Loads a server file and calls one of its registration entry points
// (DllRegisterServer, DllUnregisterServer), as a registration tool does,
// then closes it again. CO_E_DLLNOTFOUND when it does not
// load; CO_E_ERRORINDLL when it lacks the entry point; otherwise its result.
// `loadError` receives the loader's message when it does not load.
HRESULT CallServerEntry(const std::string& path, const char* entry, std::string* loadError = nullptr);

// The loader's message for the last file that did not load on this thread.
std::string LastLoadError();

}  // namespace sealvane::com
