// SPDX-License-Identifier: GPL-3.0-or-later
// The component model's binary shapes: result codes, GUIDs and their text
// form, IUnknown, IClassFactory and IDispatch. An interface is a class of
// pure virtual functions and nothing else, so its vtable is the table of
// function pointers that every caller, in any module, expects: QueryInterface,
// AddRef and Release first, then the interface's own slots in order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sealvane::com {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using BOOL = std::int32_t;
using LCID = std::uint32_t;
using DISPID = std::int32_t;
using WCHAR = char16_t;

inline constexpr HRESULT MakeHresult(std::uint32_t value) { return static_cast<HRESULT>(value); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHresult(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154u);
inline constexpr HRESULT REGDB_E_READREGDB = MakeHresult(0x80040150u);
inline constexpr HRESULT REGDB_E_WRITEREGDB = MakeHresult(0x80040151u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = MakeHresult(0x8004F003u);
inline constexpr HRESULT CO_E_ERRORINDLL = MakeHresult(0x800401F9u);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MakeHresult(0x80029C4Au);
inline constexpr HRESULT TYPE_E_INVDATAREAD = MakeHresult(0x80028018u);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MakeHresult(0x8002802Bu);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = MakeHresult(0x8002801Cu);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHresult(0x80020006u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHresult(0x80020003u);
inline constexpr HRESULT DISP_E_BADINDEX = MakeHresult(0x8002000Bu);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHresult(0x80020005u);
inline constexpr HRESULT DV_E_FORMATETC = MakeHresult(0x80040064u);

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
// A success code that carries a count in its code part.
inline constexpr HRESULT MAKE_HRESULT_SUCCESS(std::uint16_t code) { return static_cast<HRESULT>(code); }
inline constexpr std::uint16_t HRESULT_CODE(HRESULT hr) { return static_cast<std::uint16_t>(static_cast<std::uint32_t>(hr) & 0xFFFFu); }
// A registry (Win32) result code as an HRESULT.
inline constexpr HRESULT HRESULT_FROM_WIN32(std::int32_t code) {
  return code <= 0 ? code : MakeHresult((static_cast<std::uint32_t>(code) & 0xFFFFu) | 0x80070000u);
}

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};
  friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

// The registry form "{0F27B861-7421-46C8-8799-527B283CFDC6}" (upper case).
std::string GuidToString(const GUID& guid);
namespace detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
constexpr bool ReadHex(std::string_view text, std::size_t pos, std::size_t digits, std::uint32_t& out) {
  out = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const int d = HexDigit(text[pos + i]);
    if (d < 0) return false;
    out = (out << 4) | static_cast<std::uint32_t>(d);
  }
  return true;
}
}  // namespace detail

// Reads that form (either case, the braces required); nullopt when it is not one.
constexpr std::optional<GUID> GuidFromString(std::string_view text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return std::nullopt;
  GUID guid;
  std::uint32_t v = 0;
  if (!detail::ReadHex(text, 1, 8, v)) return std::nullopt;
  guid.Data1 = v;
  if (!detail::ReadHex(text, 10, 4, v)) return std::nullopt;
  guid.Data2 = static_cast<std::uint16_t>(v);
  if (!detail::ReadHex(text, 15, 4, v)) return std::nullopt;
  guid.Data3 = static_cast<std::uint16_t>(v);
  constexpr std::size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!detail::ReadHex(text, bytePos[i], 2, v)) return std::nullopt;
    guid.Data4[i] = static_cast<std::uint8_t>(v);
  }
  return guid;
}

// A GUID written as a constant in code; an invalid text does not compile.
consteval GUID MakeGuid(std::string_view text) {
  const auto guid = GuidFromString(text);
  if (!guid) throw "not a GUID";
  return *guid;
}

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT LockServer(BOOL fLock) = 0;

 protected:
  ~IClassFactory() = default;
};

// One type of a type library, as far as callers here ask about it: its GUID,
// name and help string.
class ITypeInfo : public IUnknown {
 public:
  // The described type's GUID.
  virtual HRESULT GetGuid(GUID* pGuid) = 0;
  // Name and help string of the type (memid -1) as UTF-8 text, copied into
  // the caller's buffers (cut at their size, always terminated).
  virtual HRESULT GetDocumentation(DISPID memid, char* pName, UINT cchName, char* pDoc, UINT cchDoc) = 0;

 protected:
  ~ITypeInfo() = default;
};

struct DISPPARAMS;
struct VARIANT;
struct EXCEPINFO;

class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, const WCHAR** rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

 protected:
  ~IDispatch() = default;
};

inline constexpr IID IID_IUnknown = MakeGuid("{00000000-0000-0000-C000-000000000046}");
inline constexpr IID IID_IClassFactory = MakeGuid("{00000001-0000-0000-C000-000000000046}");
inline constexpr IID IID_IDispatch = MakeGuid("{00020400-0000-0000-C000-000000000046}");
inline constexpr IID IID_ITypeInfo = MakeGuid("{00020401-0000-0000-C000-000000000046}");
// The proxy/stub class of automation-compatible interfaces.
inline constexpr CLSID CLSID_PSOAInterface = MakeGuid("{00020424-0000-0000-C000-000000000046}");

// A reference-counted object that offers one interface besides IUnknown,
// starting with one reference; Derived (which befriends this class) is
// deleted when the last one goes.
template <typename Derived, typename Interface, const IID& kIid>
class SingleInterfaceObject : public Interface {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == kIid) {
      *ppv = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

 protected:
  ~SingleInterfaceObject() = default;

 private:
  ULONG m_refs = 1;
};

// Counts shared between threads: the module lock counts.
inline ULONG InterlockedIncrement(std::atomic<std::int32_t>& value) { return static_cast<ULONG>(++value); }
inline ULONG InterlockedDecrement(std::atomic<std::int32_t>& value) { return static_cast<ULONG>(--value); }

// Owns one reference to an interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      m_p = other.m_p;
      other.m_p = nullptr;
    }
    return *this;
  }
  ~ComPtr() { Reset(); }
  void Reset() {
    if (m_p != nullptr) m_p->Release();
    m_p = nullptr;
  }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // For out parameters: the old reference is released first.
  T** Put() {
    Reset();
    return &m_p;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

 private:
  T* m_p = nullptr;
};

}  // namespace sealvane::com
