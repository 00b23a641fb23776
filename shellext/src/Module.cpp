// SPDX-License-Identifier: GPL-3.0-or-later
// The server's four entry points, its module state, the cached class
// factory and self-registration.
#include <mutex>
#include <new>

#include "Module.h"
#include "SealvaneCM.h"
#include "sealvane/com/Registrar.h"
#include "sealvane/com/Resources.h"
#include "sealvane/com/TypeLib.h"
#include "sealvane/platform/Registry.h"

namespace sealvane::shellext {
namespace {

namespace reg = sealvane::platform;

std::atomic<std::int32_t> g_lockCount{0};
char g_moduleAnchor;

// The class factory, cached by the module: the cache holds one reference;
// every further one keeps the module loaded.
class ClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override {
    std::lock_guard lock(m_mutex);
    if (++m_refs == 2) ModuleLock();
    return m_refs;
  }
  ULONG Release() override {
    bool last = false;
    ULONG left = 0;
    {
      std::lock_guard lock(m_mutex);
      left = --m_refs;
      if (left == 1) ModuleUnlock();
      last = left == 0;
    }
    if (last) delete this;
    return left;
  }
  HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    return CreateSealvaneCM(pUnkOuter, riid, ppv);
  }
  HRESULT LockServer(BOOL fLock) override {
    if (fLock != 0) {
      ModuleLock();
    } else {
      ModuleUnlock();
    }
    return S_OK;
  }

 private:
  ~ClassFactory() = default;
  std::mutex m_mutex;
  ULONG m_refs = 1;  // the cache's
};

std::mutex g_factoryMutex;
ClassFactory* g_factory = nullptr;

// Library attach: the module state starts empty. Detach: the cached factory goes.
[[gnu::destructor]] void OnDetach() {
  std::lock_guard lock(g_factoryMutex);
  if (g_factory != nullptr) g_factory->Release();
  g_factory = nullptr;
}

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

void ModuleLock() { InterlockedIncrement(g_lockCount); }
void ModuleUnlock() { InterlockedDecrement(g_lockCount); }
std::int32_t ModuleLockCount() { return g_lockCount.load(); }

std::string ModulePath() { return ModuleFileName(&g_moduleAnchor); }

}  // namespace sealvane::shellext

using namespace sealvane::shellext;

extern "C" {

[[gnu::visibility("default")]] HRESULT DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

[[gnu::visibility("default")]] HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_SealvaneCM) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    std::lock_guard lock(g_factoryMutex);
    if (g_factory == nullptr) {
      g_factory = new (std::nothrow) ClassFactory();
      if (g_factory == nullptr) return E_OUTOFMEMORY;
    }
    return g_factory->QueryInterface(riid, ppv);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

[[gnu::visibility("default")]] HRESULT DllRegisterServer() {
  try {
    return Register();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

[[gnu::visibility("default")]] HRESULT DllUnregisterServer() {
  try {
    return Unregister();
  } catch (...) {
    return S_OK;
  }
}

}  // extern "C"
