// SPDX-License-Identifier: GPL-3.0-or-later
#include "SealvaneCM.h"

#include <cstring>
#include <new>
#include <string>

#include "sealvane/com/Resources.h"
#include "sealvane/com/TypeLib.h"
#include "sealvane/platform/Process.h"

namespace sealvane::shellext {
namespace {

constexpr const char* kEncryptText = "Encr&ypt";
constexpr const char* kDecryptText = "Decr&ypt";
constexpr const char* kDeleteText = "Secure De&lete";
constexpr const char* kEncryptHelp = "Encrypts the file.";
constexpr const char* kDecryptHelp = "Decrypts the file.";
constexpr const char* kDeleteHelp = "Overwrites the file and then deletes it.";
constexpr const char* kProgramName = "sealvane";

class SealvaneCM final : public ISealvaneCM, public IShellExtInit, public IContextMenu {
 public:
  explicit SealvaneCM(IUnknown* pUnkOuter) : m_inner(this), m_controlling(pUnkOuter != nullptr ? pUnkOuter : &m_inner) {
    ModuleLock();
    if (auto dib = FindResource(ModuleResources(), "BITMAP", IDB_MENU_BITMAP)) m_hBitmap = LoadBitmapFromResource(*dib);
  }

  IUnknown* Inner() { return &m_inner; }

  // IUnknown: the controlling unknown's (the outer object's when aggregated).
  HRESULT QueryInterface(REFIID riid, void** ppv) override { return m_controlling->QueryInterface(riid, ppv); }
  ULONG AddRef() override { return m_controlling->AddRef(); }
  ULONG Release() override { return m_controlling->Release(); }

  // IDispatch, backed by the type library; the interface has no members.
  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo == nullptr) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    try {
      TypeLibrary lib;
      if (const HRESULT hr = LoadTypeLib(ModulePath(), lib); FAILED(hr)) return hr;
      return CreateTypeInfo(lib, IID_ISealvaneCM, ppTInfo);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT GetIDsOfNames(REFIID, const WCHAR**, UINT cNames, LCID, DISPID* rgDispId) override {
    if (rgDispId != nullptr) {
      for (UINT i = 0; i < cNames; ++i) rgDispId[i] = -1;
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // IShellExtInit
  HRESULT Initialize(LPCITEMIDLIST, IDataObject* pdtobj, HKEY) override {
    if (pdtobj == nullptr) return E_INVALIDARG;
    FORMATETC fmt{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM stg;
    if (FAILED(pdtobj->GetData(&fmt, &stg))) return E_INVALIDARG;
    if (GlobalLock(stg.hGlobal) == nullptr) {
      ReleaseStgMedium(&stg);
      return E_INVALIDARG;
    }
    HRESULT hr = E_INVALIDARG;
    const HDROP hDrop = stg.hGlobal;
    if (DragQueryFileA(hDrop, 0xFFFFFFFFu, nullptr, 0) == 1) {
      // A name that does not fit is refused rather than cut: a cut name
      // would be another file.
      const UINT length = DragQueryFileA(hDrop, 0, nullptr, 0);
      if (length != 0 && length < MAX_PATH && DragQueryFileA(hDrop, 0, m_szFile, MAX_PATH) == length) hr = S_OK;
    }
    GlobalUnlock(stg.hGlobal);
    ReleaseStgMedium(&stg);
    return hr;
  }

  // IContextMenu
  HRESULT QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT, UINT uFlags) override {
    if ((uFlags & CMF_DEFAULTONLY) != 0) return MAKE_HRESULT_SUCCESS(0);
    const char* dot = std::strrchr(m_szFile, '.');
    const char* first = kEncryptText;
    m_bEncrypt = 1;
    if (dot != nullptr && lstrcmpiA(dot, ".sva") == 0) {
      m_bEncrypt = 0;
      first = kDecryptText;
    }
    InsertMenuA(hmenu, indexMenu, MF_STRING | MF_BYPOSITION, idCmdFirst, first);
    if (m_hBitmap != nullptr) SetMenuItemBitmaps(hmenu, indexMenu, MF_BYPOSITION, m_hBitmap, nullptr);
    InsertMenuA(hmenu, indexMenu + 1, MF_STRING | MF_BYPOSITION, idCmdFirst + 1, kDeleteText);
    if (m_hBitmap != nullptr) SetMenuItemBitmaps(hmenu, indexMenu + 1, MF_BYPOSITION, m_hBitmap, nullptr);
    return MAKE_HRESULT_SUCCESS(2);
  }

  HRESULT InvokeCommand(CMINVOKECOMMANDINFO* pici) override {
    if (pici == nullptr || !IS_INTRESOURCE(pici->lpVerb)) return E_INVALIDARG;
    // Without a file from Initialize there is nothing to start the program for.
    if (m_szFile[0] == '\0') return E_INVALIDARG;
    try {
      std::string program = ModulePath();
      const std::size_t slash = program.find_last_of('/');
      if (slash == std::string::npos) return E_INVALIDARG;
      program = program.substr(0, slash) + "/" + kProgramName;
      const std::string quoted = platform::QuoteParameter(m_szFile);
      std::string parameters;
      switch (reinterpret_cast<UINT_PTR>(pici->lpVerb) & 0xFFFFu) {
        case 0: parameters = m_bEncrypt != 0 ? "/e " + quoted : quoted; break;
        case 1: parameters = "/d " + quoted; break;
        default: return E_INVALIDARG;
      }
      ShellExecuteA(pici->hwnd, nullptr, program.c_str(), parameters.c_str(), nullptr, SW_HIDE);
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  HRESULT GetCommandString(UINT_PTR idCmd, UINT uType, UINT*, char* pszName, UINT cchMax) override {
    if (idCmd > 1 || (uType & GCS_HELPTEXTA) == 0) return E_INVALIDARG;
    const char* help = idCmd == 1 ? kDeleteHelp : (m_bEncrypt != 0 ? kEncryptHelp : kDecryptHelp);
    if (pszName == nullptr) return E_INVALIDARG;
    const int size = cchMax > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(cchMax);
    if ((uType & GCS_UNICODE) != 0) {
      try {
        const std::u16string wide = AnsiToWide(help);
        lstrcpynW(reinterpret_cast<WCHAR*>(pszName), wide.c_str(), size);
      } catch (...) {
        return E_OUTOFMEMORY;
      }
    } else {
      lstrcpynA(pszName, help, size);
    }
    return S_OK;
  }

 private:
  // The object's own (non-delegating) IUnknown: its reference count and
  // its interface table.
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(SealvaneCM* owner) : m_owner(owner) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
      if (ppv == nullptr) return E_POINTER;
      *ppv = nullptr;
      if (riid == IID_IUnknown) {
        *ppv = static_cast<IUnknown*>(this);
      } else if (riid == IID_ISealvaneCM || riid == IID_IDispatch) {
        *ppv = static_cast<ISealvaneCM*>(m_owner);
      } else if (riid == IID_IShellExtInit) {
        *ppv = static_cast<IShellExtInit*>(m_owner);
      } else if (riid == IID_IContextMenu) {
        *ppv = static_cast<IContextMenu*>(m_owner);
      } else {
        return E_NOINTERFACE;
      }
      // The reference belongs to whoever controls the object.
      static_cast<IUnknown*>(*ppv)->AddRef();
      return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
      const ULONG left = --m_refs;
      if (left == 0) delete m_owner;
      return left;
    }

   private:
    SealvaneCM* m_owner;
    ULONG m_refs = 0;
  };

  ~SealvaneCM() {
    // The bitmap lives as long as the menu that shows it, which the host
    // keeps no longer than it keeps this handler.
    if (m_hBitmap != nullptr) DeleteObject(m_hBitmap);
    ModuleUnlock();
  }

  InnerUnknown m_inner;
  IUnknown* m_controlling;
  HBITMAP m_hBitmap = nullptr;
  char m_szFile[MAX_PATH] = {};
  std::int32_t m_bEncrypt = 1;
};

}  // namespace

HRESULT CreateSealvaneCM(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  auto* object = new (std::nothrow) SealvaneCM(pUnkOuter);
  if (object == nullptr) return E_OUTOFMEMORY;
  IUnknown* inner = object->Inner();
  inner->AddRef();
  const HRESULT hr = inner->QueryInterface(riid, ppv);
  inner->Release();  // gone again when the interface was not there
  return hr;
}

}  // namespace sealvane::shellext
