// SPDX-License-Identifier: GPL-3.0-or-later
// The module state of an in-process server: its lock count and its cached
// class factories. Each server links its own copy of this code, so each has
// its own count.
#pragma once

#include <cstdint>
#include <iterator>
#include <mutex>
#include <new>

#include "sealvane/com/Com.h"

namespace sealvane::com {

// +1 for each live object, for each reference to a class factory beyond its
// cache's own, and for each outstanding LockServer(TRUE).
void ModuleLock();
void ModuleUnlock();
std::int32_t ModuleLockCount();
// What DllCanUnloadNow answers.
inline HRESULT CanUnloadModule() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

using CreateInstanceFn = HRESULT (*)(IUnknown* pUnkOuter, REFIID riid, void** ppv);

// A class factory the module caches: the cache holds one reference; every
// further one keeps the module loaded.
class CachedClassFactory final : public IClassFactory {
 public:
  explicit CachedClassFactory(CreateInstanceFn create) : m_create(create) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
  HRESULT LockServer(BOOL fLock) override;

 private:
  ~CachedClassFactory() = default;
  CreateInstanceFn m_create;
  std::mutex m_mutex;
  ULONG m_refs = 1;
};

// One class of the module's object map with its cached factory.
struct ObjectMapEntry {
  const CLSID* clsid;
  CreateInstanceFn create;
  CachedClassFactory* factory = nullptr;
};

// DllGetClassObject over an object map: the entry's factory (made on the
// first request) asked for `riid`; CLASS_E_CLASSNOTAVAILABLE for a class
// not in the map. Thread-safe.
HRESULT GetClassObjectFromMap(ObjectMapEntry* map, std::size_t count, REFCLSID rclsid, REFIID riid, void** ppv);
// At detach: the cached factories are released.
void ReleaseObjectMap(ObjectMapEntry* map, std::size_t count);

}  // namespace sealvane::com

// The four entry points of an in-process server over its object map and
// its registration functions (HRESULT REGISTER(), HRESULT UNREGISTER());
// nothing thrown crosses them, and removal always reports success.
#define SEALVANE_SERVER_EXPORTS(OBJECT_MAP, REGISTER, UNREGISTER)                                             \
  extern "C" {                                                                                             \
  [[gnu::visibility("default")]] sealvane::com::HRESULT DllCanUnloadNow() {                                \
    return sealvane::com::CanUnloadModule();                                                               \
  }                                                                                                        \
  [[gnu::visibility("default")]] sealvane::com::HRESULT DllGetClassObject(sealvane::com::REFCLSID rclsid,  \
                                                                          sealvane::com::REFIID riid,      \
                                                                          void** ppv) {                    \
    return sealvane::com::GetClassObjectFromMap(OBJECT_MAP, std::size(OBJECT_MAP), rclsid, riid, ppv);     \
  }                                                                                                        \
  [[gnu::visibility("default")]] sealvane::com::HRESULT DllRegisterServer() {                              \
    try {                                                                                                  \
      return REGISTER();                                                                                   \
    } catch (const std::bad_alloc&) {                                                                      \
      return sealvane::com::E_OUTOFMEMORY;                                                                 \
    } catch (...) {                                                                                        \
      return sealvane::com::E_UNEXPECTED;                                                                  \
    }                                                                                                      \
  }                                                                                                        \
  [[gnu::visibility("default")]] sealvane::com::HRESULT DllUnregisterServer() {                            \
    try {                                                                                                  \
      UNREGISTER();                                                                                        \
    } catch (...) {                                                                                        \
    }                                                                                                      \
    return sealvane::com::S_OK;                                                                            \
  }                                                                                                        \
  }
