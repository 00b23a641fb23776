// SPDX-License-Identifier: GPL-3.0-or-later
// The add-in's four entry points, its object map and its registration: the
// two classes, the type library, and the add-in's key for the mail client.
#include <iterator>
#include <new>

#include "AddIn.h"
#include "sealvane/com/Module.h"
#include "sealvane/com/Registrar.h"
#include "sealvane/com/Resources.h"
#include "sealvane/com/TypeLib.h"
#include "sealvane/platform/Registry.h"

namespace sealvane::outlook::addin {
namespace {

namespace reg = sealvane::platform;

constexpr std::uint32_t IDR_SEALVANEOL = 101;
char g_moduleAnchor;

ObjectMapEntry g_objectMap[] = {{&CLSID_dsrSealvaneOL, &CreateConnection}, {&CLSID_clsMailHandler, &CreateMailHandler}};

[[gnu::destructor]] void OnDetach() { ReleaseObjectMap(g_objectMap, std::size(g_objectMap)); }

std::string ModulePath() { return ModuleFileName(&g_moduleAnchor); }

std::string Script() {
  auto script = FindResource(ModuleResources(), "REGISTRY", IDR_SEALVANEOL);
  return script ? *script : std::string();
}

reg::LONG SetString(reg::HKEY key, const char* name, const std::string& value) {
  return reg::RegSetValueExA(key, name, 0, reg::REG_SZ, reinterpret_cast<const std::uint8_t*>(value.c_str()),
                             static_cast<reg::DWORD>(value.size() + 1));
}

reg::LONG SetNumber(reg::HKEY key, const char* name, reg::DWORD value) {
  return reg::RegSetValueExA(key, name, 0, reg::REG_DWORD, reinterpret_cast<const std::uint8_t*>(&value), sizeof(value));
}

// The client's list of add-ins: this one, loaded when the client starts.
HRESULT RegisterAddIn() {
  reg::HKEY key = 0;
  reg::LONG rc = reg::RegCreateKeyExA(reg::HKEY_CURRENT_USER, kAddInKey, 0, nullptr, reg::REG_OPTION_NON_VOLATILE,
                                      reg::KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != 0) return HRESULT_FROM_WIN32(rc);
  rc = SetString(key, "FriendlyName", "Sealvane for Outlook");
  if (rc == 0) rc = SetString(key, "Description", "Sealvane Outlook COM Add-in\r\n");
  if (rc == 0) rc = SetNumber(key, "LoadBehavior", 3);
  if (rc == 0) rc = SetNumber(key, "CommandLineSafe", 0);
  reg::RegCloseKey(key);
  return rc == 0 ? S_OK : HRESULT_FROM_WIN32(rc);
}

HRESULT Register() {
  const std::string path = ModulePath();
  const std::string script = Script();
  if (path.empty() || script.empty()) return E_UNEXPECTED;
  Registrar registrar;
  registrar.AddReplacement("MODULE", path);
  if (const HRESULT hr = registrar.Register(script); FAILED(hr)) return hr;
  TypeLibrary lib;
  if (const HRESULT hr = LoadTypeLib(path, lib); FAILED(hr)) return hr;
  if (const HRESULT hr = RegisterTypeLib(lib, path, ""); FAILED(hr)) return hr;
  return RegisterAddIn();
}

HRESULT Unregister() {
  reg::RegDeleteTreeA(reg::HKEY_CURRENT_USER, kAddInKey);
  const std::string script = Script();
  if (!script.empty()) {
    Registrar registrar;
    registrar.AddReplacement("MODULE", ModulePath());
    registrar.Unregister(script);
  }
  UnRegisterTypeLib(LIBID_SealvaneOL, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
  return S_OK;
}

}  // namespace
}  // namespace sealvane::outlook::addin

using namespace sealvane::com;
using namespace sealvane::outlook::addin;

SEALVANE_SERVER_EXPORTS(g_objectMap, Register, Unregister)
