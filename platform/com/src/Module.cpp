// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/com/Module.h"

#include <atomic>
#include <new>

namespace sealvane::com {
namespace {
std::atomic<std::int32_t> g_lockCount{0};
std::mutex g_mapMutex;
}  // namespace

void ModuleLock() { InterlockedIncrement(g_lockCount); }
void ModuleUnlock() { InterlockedDecrement(g_lockCount); }
std::int32_t ModuleLockCount() { return g_lockCount.load(); }

HRESULT CachedClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  *ppv = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG CachedClassFactory::AddRef() {
  std::lock_guard lock(m_mutex);
  if (++m_refs == 2) ModuleLock();
  return m_refs;
}

ULONG CachedClassFactory::Release() {
  ULONG left = 0;
  {
    std::lock_guard lock(m_mutex);
    left = --m_refs;
    if (left == 1) ModuleUnlock();
  }
  if (left == 0) delete this;
  return left;
}

HRESULT CachedClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  try {
    return m_create(pUnkOuter, riid, ppv);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT CachedClassFactory::LockServer(BOOL fLock) {
  if (fLock != 0) {
    ModuleLock();
  } else {
    ModuleUnlock();
  }
  return S_OK;
}

HRESULT GetClassObjectFromMap(ObjectMapEntry* map, std::size_t count, REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    if (*map[i].clsid != rclsid) continue;
    std::lock_guard lock(g_mapMutex);
    if (map[i].factory == nullptr) {
      map[i].factory = new (std::nothrow) CachedClassFactory(map[i].create);
      if (map[i].factory == nullptr) return E_OUTOFMEMORY;
    }
    return map[i].factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseObjectMap(ObjectMapEntry* map, std::size_t count) {
  std::lock_guard lock(g_mapMutex);
  for (std::size_t i = 0; i < count; ++i) {
    if (map[i].factory != nullptr) map[i].factory->Release();
    map[i].factory = nullptr;
  }
}

}  // namespace sealvane::com
