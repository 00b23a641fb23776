// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/com/Server.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <vector>

#include "Key.h"

namespace sealvane::com {
namespace {

using detail::Key;
namespace reg = sealvane::platform;

struct LoadedServer {
  std::string path;
  void* handle = nullptr;
  DllGetClassObjectFn getClassObject = nullptr;
  DllCanUnloadNowFn canUnloadNow = nullptr;
};

std::mutex g_mutex;
std::vector<LoadedServer> g_servers;
thread_local std::string t_loadError;

void* Open(const std::string& path) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* error = ::dlerror();
    t_loadError = error != nullptr ? error : path + ": cannot be loaded";
  }
  return handle;
}

// The loaded server for a path, loading it first. Called with g_mutex held.
HRESULT Server(const std::string& path, LoadedServer*& out) {
  for (auto& s : g_servers) {
    if (s.path == path) {
      out = &s;
      return S_OK;
    }
  }
  void* handle = Open(path);
  if (handle == nullptr) return CO_E_DLLNOTFOUND;
  LoadedServer server;
  server.path = path;
  server.handle = handle;
  server.getClassObject = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
  server.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"));
  if (server.getClassObject == nullptr) {
    ::dlclose(handle);
    return CO_E_ERRORINDLL;
  }
  g_servers.push_back(std::move(server));
  out = &g_servers.back();
  return S_OK;
}

}  // namespace

std::optional<std::string> InprocServerPath(REFCLSID clsid) {
  Key key;
  if (Key::Open(reg::HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(clsid) + "\\InprocServer32", reg::KEY_READ, key) != 0) {
    return std::nullopt;
  }
  std::string path = key.GetString("");
  if (path.empty()) return std::nullopt;
  return path;
}

HRESULT CoGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  const auto path = InprocServerPath(clsid);
  if (!path) return REGDB_E_CLASSNOTREG;
  DllGetClassObjectFn getClassObject = nullptr;
  {
    std::lock_guard lock(g_mutex);
    LoadedServer* server = nullptr;
    if (const HRESULT hr = Server(*path, server); FAILED(hr)) return hr;
    getClassObject = server->getClassObject;
  }
  return getClassObject(clsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  ComPtr<IClassFactory> factory;
  if (const HRESULT hr = CoGetClassObject(clsid, IID_IClassFactory, factory.PutVoid()); FAILED(hr)) return hr;
  return factory->CreateInstance(pUnkOuter, riid, ppv);
}

HRESULT CLSIDFromProgID(const char* progId, CLSID* pclsid) {
  if (progId == nullptr || pclsid == nullptr) return E_INVALIDARG;
  Key key;
  if (Key::Open(reg::HKEY_CLASSES_ROOT, std::string(progId) + "\\CLSID", reg::KEY_READ, key) != 0) {
    return REGDB_E_CLASSNOTREG;
  }
  const auto clsid = GuidFromString(key.GetString(""));
  if (!clsid) return REGDB_E_CLASSNOTREG;
  *pclsid = *clsid;
  return S_OK;
}

void CoFreeUnusedLibraries() {
  std::lock_guard lock(g_mutex);
  for (auto it = g_servers.begin(); it != g_servers.end();) {
    if (it->canUnloadNow != nullptr && it->canUnloadNow() == S_OK) {
      ::dlclose(it->handle);
      it = g_servers.erase(it);
    } else {
      ++it;
    }
  }
}

std::size_t LoadedServerCount() {
  std::lock_guard lock(g_mutex);
  return g_servers.size();
}

HRESULT CallServerEntry(const std::string& path, const char* entry, std::string* loadError) {
  void* handle = Open(path);
  if (handle == nullptr) {
    if (loadError != nullptr) *loadError = t_loadError;
    return CO_E_DLLNOTFOUND;
  }
  const auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, entry));
  const HRESULT hr = fn != nullptr ? fn() : CO_E_ERRORINDLL;
  // dlopen counts its references: a server also loaded elsewhere stays loaded.
  ::dlclose(handle);
  return hr;
}

std::string LastLoadError() { return t_loadError; }

}  // namespace sealvane::com
