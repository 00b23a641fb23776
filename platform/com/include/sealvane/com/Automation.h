// SPDX-License-Identifier: GPL-3.0-or-later
// Automation: VARIANT and DISPPARAMS as far as property reads need them, a
// base for IDispatch objects with named properties, late-bound property
// reads, connection points for events, and the text of an error code.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sealvane/com/Com.h"

namespace sealvane::com {

using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr WORD DISPATCH_METHOD = 1;
inline constexpr WORD DISPATCH_PROPERTYGET = 2;
inline constexpr DISPID DISPID_UNKNOWN = -1;

struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  std::int32_t lVal = 0;
  VARIANT_BOOL boolVal = 0;
  IDispatch* pdispVal = nullptr;
};

struct DISPPARAMS {
  VARIANT* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
};

// An object of one dual interface whose properties are read by name:
// Derived answers PropertyNames() (their DISPIDs are their places, from 1)
// and GetProperty(). The object starts with one reference.
template <typename Derived, typename Interface, const IID& kIid>
class DispatchObject : public SingleInterfaceObject<Derived, Interface, kIid> {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_IDispatch) {
      *ppv = static_cast<IDispatch*>(this);
      this->AddRef();
      return S_OK;
    }
    return SingleInterfaceObject<Derived, Interface, kIid>::QueryInterface(riid, ppv);
  }
  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID, const WCHAR** rgszNames, UINT cNames, LCID, DISPID* rgDispId) override {
    if (rgszNames == nullptr || rgDispId == nullptr) return E_POINTER;
    HRESULT hr = S_OK;
    const auto names = static_cast<Derived*>(this)->PropertyNames();
    for (UINT i = 0; i < cNames; ++i) {
      rgDispId[i] = DISPID_UNKNOWN;
      for (std::size_t n = 0; n < names.size(); ++n) {
        if (rgszNames[i] != nullptr && names[n] == rgszNames[i]) rgDispId[i] = static_cast<DISPID>(n + 1);
      }
      if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD wFlags, DISPPARAMS*, VARIANT* pVarResult, EXCEPINFO*, UINT*) override {
    if ((wFlags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
    if (pVarResult == nullptr) return E_POINTER;
    return static_cast<Derived*>(this)->GetProperty(id, *pVarResult);
  }

 protected:
  ~DispatchObject() = default;
};

// Reads a 32-bit property by name through IDispatch, as late-bound callers do.
HRESULT GetLongProperty(IDispatch* object, const WCHAR* name, std::int32_t& out);

// ---- Connection points ---------------------------------------------------

class IEnumConnections;
class IEnumConnectionPoints;
class IConnectionPointContainer;

class IConnectionPoint : public IUnknown {
 public:
  virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
  virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
  virtual HRESULT Unadvise(DWORD dwCookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** ppEnum) = 0;

 protected:
  ~IConnectionPoint() = default;
};

class IConnectionPointContainer : public IUnknown {
 public:
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
  virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

inline constexpr IID IID_IConnectionPoint = MakeGuid("{B196B286-BAB4-101A-B69C-00AA00341D07}");
inline constexpr IID IID_IConnectionPointContainer = MakeGuid("{B196B284-BAB4-101A-B69C-00AA00341D07}");
inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHresult(0x80040200u);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHresult(0x80040202u);

// One event source's list of sinks for one interface. The source owns it;
// FindConnectionPoint hands out references to it.
class ConnectionPoint final : public SingleInterfaceObject<ConnectionPoint, IConnectionPoint, IID_IConnectionPoint> {
 public:
  ConnectionPoint(IConnectionPointContainer* container, const IID& sinkIid) : m_container(container), m_iid(sinkIid) {}

  HRESULT GetConnectionInterface(IID* pIID) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
  HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  HRESULT Unadvise(DWORD dwCookie) override;
  HRESULT EnumConnections(IEnumConnections** ppEnum) override;

  // The sinks, each with a reference, in the order they connected: a sink
  // may disconnect while an event is being delivered.
  template <typename Sink>
  std::vector<ComPtr<Sink>> Sinks() const {
    std::vector<ComPtr<Sink>> out;
    for (const auto& [cookie, sink] : m_sinks) {
      ComPtr<Sink> s;
      if (SUCCEEDED(sink->QueryInterface(m_iid, s.PutVoid()))) out.push_back(std::move(s));
    }
    return out;
  }
  std::size_t SinkCount() const { return m_sinks.size(); }
  // Called by the source when it goes: the container is no longer there.
  void Orphan() { m_container = nullptr; }

 private:
  friend SingleInterfaceObject;
  ~ConnectionPoint();
  IConnectionPointContainer* m_container;
  IID m_iid;
  std::map<DWORD, IUnknown*> m_sinks;
  DWORD m_nextCookie = 1;
};

// The connection points of one event source, one per sink interface; the
// source answers FindConnectionPoint with Find.
class EventPoints {
 public:
  EventPoints(IConnectionPointContainer* owner, std::initializer_list<IID> sinkIids);
  EventPoints(const EventPoints&) = delete;
  EventPoints& operator=(const EventPoints&) = delete;
  ~EventPoints();
  HRESULT Find(REFIID riid, IConnectionPoint** ppCP) const;
  template <typename Sink>
  std::vector<ComPtr<Sink>> Sinks(const IID& sinkIid) const {
    for (const auto& [iid, point] : m_points) {
      if (iid == sinkIid) return point->template Sinks<Sink>();
    }
    return {};
  }
  std::size_t SinkCount() const;

 private:
  std::vector<std::pair<IID, ConnectionPoint*>> m_points;
};

// A sink connected to a source for as long as this lives.
class EventConnection {
 public:
  EventConnection() = default;
  EventConnection(const EventConnection&) = delete;
  EventConnection& operator=(const EventConnection&) = delete;
  EventConnection(EventConnection&& other) noexcept;
  EventConnection& operator=(EventConnection&& other) noexcept;
  ~EventConnection() { Disconnect(); }

  // Connects `sink` to the source's connection point for `sinkIid`.
  HRESULT Connect(IUnknown* source, const IID& sinkIid, IUnknown* sink);
  void Disconnect();
  bool Connected() const { return m_point.Get() != nullptr; }

 private:
  ComPtr<IConnectionPoint> m_point;
  DWORD m_cookie = 0;
};

// ---- Errors and message boxes ------------------------------------------------

// A sentence for an error code, as the platform's message table gives it.
std::string ErrorDescription(HRESULT hr);

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONERROR = 0x00000010;
inline constexpr UINT MB_ICONWARNING = 0x00000030;
inline constexpr int IDOK = 1;

// Shows a message box through the program that hosts the calling module:
// the function SealvaneMessageBoxA (same arguments) that the program
// exports; where it exports none, the box is written to standard error.
int MessageBoxA(void* hWnd, const char* lpText, const char* lpCaption, UINT uType);

}  // namespace sealvane::com
