// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/com/Automation.h"

#include <dlfcn.h>

#include <cstdio>

namespace sealvane::com {

HRESULT GetLongProperty(IDispatch* object, const WCHAR* name, std::int32_t& out) {
  if (object == nullptr) return E_POINTER;
  DISPID id = DISPID_UNKNOWN;
  const WCHAR* names[] = {name};
  if (const HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id); FAILED(hr)) return hr;
  DISPPARAMS none;
  VARIANT result;
  if (const HRESULT hr = object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
      FAILED(hr)) {
    return hr;
  }
  if (result.vt == VT_I4) {
    out = result.lVal;
  } else if (result.vt == VT_BOOL) {
    out = result.boolVal;
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
  if (pIID == nullptr) return E_POINTER;
  *pIID = m_iid;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (ppCPC == nullptr) return E_POINTER;
  *ppCPC = m_container;
  if (m_container == nullptr) return E_UNEXPECTED;
  m_container->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (pUnkSink == nullptr || pdwCookie == nullptr) return E_POINTER;
  *pdwCookie = 0;
  IUnknown* sink = nullptr;
  if (FAILED(pUnkSink->QueryInterface(m_iid, reinterpret_cast<void**>(&sink))) || sink == nullptr) {
    return CONNECT_E_CANNOTCONNECT;
  }
  try {
    const DWORD cookie = m_nextCookie++;
    m_sinks.emplace(cookie, sink);
    *pdwCookie = cookie;
    return S_OK;
  } catch (...) {
    sink->Release();
    return E_OUTOFMEMORY;
  }
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
  auto it = m_sinks.find(dwCookie);
  if (it == m_sinks.end()) return CONNECT_E_NOCONNECTION;
  IUnknown* sink = it->second;
  m_sinks.erase(it);
  sink->Release();
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
  if (ppEnum != nullptr) *ppEnum = nullptr;
  return E_NOTIMPL;
}

ConnectionPoint::~ConnectionPoint() {
  for (auto& [cookie, sink] : m_sinks) sink->Release();
}

EventPoints::EventPoints(IConnectionPointContainer* owner, std::initializer_list<IID> sinkIids) {
  for (const IID& iid : sinkIids) m_points.emplace_back(iid, new ConnectionPoint(owner, iid));
}

EventPoints::~EventPoints() {
  for (auto& [iid, point] : m_points) {
    point->Orphan();
    point->Release();
  }
}

HRESULT EventPoints::Find(REFIID riid, IConnectionPoint** ppCP) const {
  if (ppCP == nullptr) return E_POINTER;
  *ppCP = nullptr;
  for (const auto& [iid, point] : m_points) {
    if (iid == riid) {
      point->AddRef();
      *ppCP = point;
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

std::size_t EventPoints::SinkCount() const {
  std::size_t n = 0;
  for (const auto& [iid, point] : m_points) n += point->SinkCount();
  return n;
}

EventConnection::EventConnection(EventConnection&& other) noexcept
    : m_point(std::move(other.m_point)), m_cookie(other.m_cookie) {
  other.m_cookie = 0;
}

EventConnection& EventConnection::operator=(EventConnection&& other) noexcept {
  if (this != &other) {
    Disconnect();
    m_point = std::move(other.m_point);
    m_cookie = other.m_cookie;
    other.m_cookie = 0;
  }
  return *this;
}

HRESULT EventConnection::Connect(IUnknown* source, const IID& sinkIid, IUnknown* sink) {
  Disconnect();
  if (source == nullptr || sink == nullptr) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  if (const HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()); FAILED(hr)) {
    return hr;
  }
  ComPtr<IConnectionPoint> point;
  if (const HRESULT hr = container->FindConnectionPoint(sinkIid, point.Put()); FAILED(hr)) return hr;
  DWORD cookie = 0;
  if (const HRESULT hr = point->Advise(sink, &cookie); FAILED(hr)) return hr;
  m_point = std::move(point);
  m_cookie = cookie;
  return S_OK;
}

void EventConnection::Disconnect() {
  if (m_point) m_point->Unadvise(m_cookie);
  m_point.Reset();
  m_cookie = 0;
}

std::string ErrorDescription(HRESULT hr) {
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x80004001u: return "Not implemented";
    case 0x80004002u: return "No such interface supported";
    case 0x80004003u: return "Invalid pointer";
    case 0x80004005u: return "Unspecified error";
    case 0x8000FFFFu: return "Catastrophic failure";
    case 0x80070005u: return "Access is denied.";
    case 0x8007000Eu: return "Not enough storage is available to complete this operation.";
    case 0x80070057u: return "The parameter is incorrect.";
    case 0x80020003u: return "Member not found.";
    case 0x80020005u: return "Type mismatch.";
    case 0x80020006u: return "Unknown name.";
    case 0x8002000Bu: return "Invalid index.";
    case 0x80040200u: return "The connection does not exist.";
    case 0x80040202u: return "The sink does not support the events of this source.";
    default: {
      char text[64];
      std::snprintf(text, sizeof(text), "Automation error 0x%08X", static_cast<unsigned>(hr));
      return text;
    }
  }
}

int MessageBoxA(void* hWnd, const char* lpText, const char* lpCaption, UINT uType) {
  using Fn = int (*)(void*, const char*, const char*, UINT);
  // Looked up at every call: the program's own function, not a module's copy.
  if (auto fn = reinterpret_cast<Fn>(::dlsym(RTLD_DEFAULT, "SealvaneMessageBoxA")); fn != nullptr) {
    return fn(hWnd, lpText, lpCaption, uType);
  }
  std::string text = lpText != nullptr ? lpText : "";
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  std::fprintf(stderr, "%s: %s\n", lpCaption != nullptr ? lpCaption : "", text.c_str());
  return IDOK;
}

}  // namespace sealvane::com
