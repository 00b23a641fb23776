// SPDX-License-Identifier: GPL-3.0-or-later
// The server's four entry points, its module state, the cached class
// factory and self-registration.
#include <iterator>
#include <new>

#include "Module.h"
#include "SealvaneCM.h"
#include "sealvane/com/Module.h"
#include "sealvane/com/Registrar.h"
#include "sealvane/com/Resources.h"
#include "sealvane/com/TypeLib.h"
#include "sealvane/platform/Registry.h"

namespace sealvane::shellext {
namespace {

namespace reg = sealvane::platform;

char g_moduleAnchor;

ObjectMapEntry g_objectMap[] = {{&CLSID_SealvaneCM, &CreateSealvaneCM}};

// Library detach: the cached factory goes.
[[gnu::destructor]] void OnDetach() { ReleaseObjectMap(g_objectMap, std::size(g_objectMap)); }

std::string ScriptResource() {
  auto script = FindResource(ModuleResources(), "REGISTRY", IDR_SEALVANECM);
  return script ? *script : std::string();
}

HRESULT Register() {
  // The approved-extensions value first; without write access to the
  // machine's hive nothing else is written.
  reg::HKEY key = 0;
  if (reg::RegCreateKeyExA(reg::HKEY_LOCAL_MACHINE, kApprovedKey, 0, nullptr, reg::REG_OPTION_NON_VOLATILE,
                           reg::KEY_SET_VALUE, nullptr, &key, nullptr) != reg::ERROR_SUCCESS) {
    return E_ACCESSDENIED;
  }
  const std::string data = kApprovedData;
  const reg::LONG rc = reg::RegSetValueExA(key, kApprovedValue, 0, reg::REG_SZ,
                                           reinterpret_cast<const std::uint8_t*>(data.c_str()),
                                           static_cast<reg::DWORD>(data.size() + 1));
  reg::RegCloseKey(key);
  if (rc != reg::ERROR_SUCCESS) return E_ACCESSDENIED;

  const std::string path = ModulePath();
  if (path.empty()) return E_UNEXPECTED;
  const std::string script = ScriptResource();
  if (script.empty()) return TYPE_E_INVDATAREAD;
  Registrar registrar;
  registrar.AddReplacement("MODULE", path);
  if (const HRESULT hr = registrar.Register(script); FAILED(hr)) return hr;
  TypeLibrary lib;
  if (const HRESULT hr = LoadTypeLib(path, lib); FAILED(hr)) return hr;
  return RegisterTypeLib(lib, path, "");
}

HRESULT Unregister() {
  reg::HKEY key = 0;
  if (reg::RegOpenKeyExA(reg::HKEY_LOCAL_MACHINE, kApprovedKey, 0, reg::KEY_SET_VALUE, &key) == reg::ERROR_SUCCESS) {
    reg::RegDeleteValueA(key, kApprovedValue);
    reg::RegCloseKey(key);
  }
  const std::string script = ScriptResource();
  if (!script.empty()) {
    Registrar registrar;
    registrar.AddReplacement("MODULE", ModulePath());
    registrar.Unregister(script);
  }
  UnRegisterTypeLib(LIBID_SEALVANESHLLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
  return S_OK;
}

}  // namespace

std::string ModulePath() { return ModuleFileName(&g_moduleAnchor); }

}  // namespace sealvane::shellext

using namespace sealvane::shellext;

SEALVANE_SERVER_EXPORTS(g_objectMap, Register, Unregister)
