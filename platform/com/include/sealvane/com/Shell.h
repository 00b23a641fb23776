// SPDX-License-Identifier: GPL-3.0-or-later
// The shell's side of context-menu handlers: data objects carrying a list
// of files (CF_HDROP in global memory), the menu a handler adds its items
// to, menu bitmaps, the handler interfaces IShellExtInit and IContextMenu,
// and ShellExecuteA. Everything that crosses from a host into a handler's
// module is either plain memory from malloc or an object reached through
// its vtable, so each module may carry its own copy of this code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sealvane/com/Com.h"
#include "sealvane/platform/WinTypes.h"

namespace sealvane::com {

using UINT_PTR = std::uintptr_t;
using LONG = std::int32_t;
using HWND = void*;
using HINSTANCE = void*;
using HKEY = sealvane::platform::HKEY;
struct ITEMIDLIST;
using LPCITEMIDLIST = const ITEMIDLIST*;

inline constexpr UINT MAX_PATH = 260;

// ---- Global memory -------------------------------------------------------

struct GlobalBlock;
using HGLOBAL = GlobalBlock*;
using HDROP = HGLOBAL;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

HGLOBAL GlobalAlloc(UINT uFlags, std::size_t dwBytes);
void* GlobalLock(HGLOBAL hMem);
BOOL GlobalUnlock(HGLOBAL hMem);
// Null on success, as the platform's.
HGLOBAL GlobalFree(HGLOBAL hMem);
std::size_t GlobalSize(HGLOBAL hMem);

// ---- Data objects --------------------------------------------------------

using CLIPFORMAT = std::uint16_t;
inline constexpr CLIPFORMAT CF_HDROP = 15;
inline constexpr DWORD DVASPECT_CONTENT = 1;
inline constexpr DWORD TYMED_NULL = 0;
inline constexpr DWORD TYMED_HGLOBAL = 1;

struct FORMATETC {
  CLIPFORMAT cfFormat = 0;
  void* ptd = nullptr;
  DWORD dwAspect = 0;
  LONG lindex = 0;
  DWORD tymed = 0;
};

struct STGMEDIUM {
  DWORD tymed = TYMED_NULL;
  HGLOBAL hGlobal = nullptr;
  IUnknown* pUnkForRelease = nullptr;
};

// Frees the medium's memory (or lets its owner do it) and empties it.
void ReleaseStgMedium(STGMEDIUM* pmedium);

// The header of CF_HDROP data; the names follow at pFiles, each ended by a
// NUL, the list by a second NUL.
struct DROPFILES {
  DWORD pFiles = 0;
  LONG x = 0;
  LONG y = 0;
  BOOL fNC = 0;
  BOOL fWide = 0;
};

// CF_HDROP data for these files (8-bit names).
HGLOBAL CreateDropFiles(const std::vector<std::string>& files);

// With iFile 0xFFFFFFFF: the number of files. With a null buffer: the
// length of file iFile's name without its NUL. Otherwise copies at most
// cch - 1 characters and a NUL, and returns the characters copied.
UINT DragQueryFileA(HDROP hDrop, UINT iFile, char* lpszFile, UINT cch);

class IEnumFORMATETC;
class IAdviseSink;
class IEnumSTATDATA;

class IDataObject : public IUnknown {
 public:
  virtual HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) = 0;
  virtual HRESULT GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) = 0;
  virtual HRESULT QueryGetData(FORMATETC* pformatetc) = 0;
  virtual HRESULT GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) = 0;
  virtual HRESULT SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) = 0;
  virtual HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) = 0;
  virtual HRESULT DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) = 0;
  virtual HRESULT DUnadvise(DWORD dwConnection) = 0;
  virtual HRESULT EnumDAdvise(IEnumSTATDATA** ppenumAdvise) = 0;

 protected:
  ~IDataObject() = default;
};

// A data object holding these files as CF_HDROP, with one reference.
IDataObject* CreateFileDataObject(const std::vector<std::string>& files);

// ---- Bitmaps -------------------------------------------------------------

struct BitmapBlock;
using HBITMAP = BitmapBlock*;

struct BitmapInfo {
  LONG width = 0;
  LONG height = 0;
  int bitsPerPixel = 0;
};

// A bitmap from a BITMAP resource (a device-independent bitmap file, with
// or without its 14-byte file header); null when it does not read.
HBITMAP LoadBitmapFromResource(std::string_view dib);
BOOL DeleteObject(HBITMAP hBitmap);
// False for a null or unknown handle.
bool GetBitmapInfo(HBITMAP hBitmap, BitmapInfo& out);
// The colour of one pixel as 0x00RRGGBB (x from the left, y from the top).
std::uint32_t GetBitmapPixel(HBITMAP hBitmap, LONG x, LONG y);

// ---- Menus ---------------------------------------------------------------

inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_BYCOMMAND = 0x0000;
inline constexpr UINT MF_BYPOSITION = 0x0400;
inline constexpr UINT MF_SEPARATOR = 0x0800;

// A menu as a host keeps it; handlers change it through the functions below.
class MenuObject {
 public:
  virtual BOOL Insert(UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, const char* lpNewItem) = 0;
  virtual BOOL SetBitmaps(UINT uPosition, UINT uFlags, HBITMAP hBitmapUnchecked, HBITMAP hBitmapChecked) = 0;
  virtual int Count() = 0;

 protected:
  ~MenuObject() = default;
};
using HMENU = MenuObject*;

BOOL InsertMenuA(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, const char* lpNewItem);
BOOL SetMenuItemBitmaps(HMENU hMenu, UINT uPosition, UINT uFlags, HBITMAP hBitmapUnchecked, HBITMAP hBitmapChecked);
int GetMenuItemCount(HMENU hMenu);

struct MenuItem {
  UINT id = 0;
  UINT flags = 0;
  std::string text;
  HBITMAP unchecked = nullptr;
  HBITMAP checked = nullptr;
};

// The host's menu: items in their order.
class Menu final : public MenuObject {
 public:
  BOOL Insert(UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, const char* lpNewItem) override;
  BOOL SetBitmaps(UINT uPosition, UINT uFlags, HBITMAP hBitmapUnchecked, HBITMAP hBitmapChecked) override;
  int Count() override { return static_cast<int>(m_items.size()); }
  HMENU Handle() { return this; }
  const std::vector<MenuItem>& Items() const { return m_items; }

 private:
  std::vector<MenuItem> m_items;
};

// ---- Context-menu handlers -----------------------------------------------

inline constexpr UINT CMF_NORMAL = 0x0000;
inline constexpr UINT CMF_DEFAULTONLY = 0x0001;
inline constexpr UINT CMF_VERBSONLY = 0x0002;
inline constexpr UINT CMF_EXPLORE = 0x0004;

inline constexpr UINT GCS_VERBA = 0x0000;
inline constexpr UINT GCS_HELPTEXTA = 0x0001;
inline constexpr UINT GCS_VALIDATEA = 0x0002;
inline constexpr UINT GCS_VERBW = 0x0004;
inline constexpr UINT GCS_HELPTEXTW = 0x0005;
inline constexpr UINT GCS_VALIDATEW = 0x0006;
inline constexpr UINT GCS_UNICODE = 0x0004;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;

struct CMINVOKECOMMANDINFO {
  DWORD cbSize = sizeof(CMINVOKECOMMANDINFO);
  DWORD fMask = 0;
  HWND hwnd = nullptr;
  const char* lpVerb = nullptr;  // a string, or a command offset (MAKEINTRESOURCEA)
  const char* lpParameters = nullptr;
  const char* lpDirectory = nullptr;
  int nShow = SW_SHOWNORMAL;
  DWORD dwHotKey = 0;
  void* hIcon = nullptr;
};

inline const char* MAKEINTRESOURCEA(UINT_PTR offset) { return reinterpret_cast<const char*>(offset & 0xFFFFu); }
// True when the pointer is a number below 65536 rather than a string.
inline bool IS_INTRESOURCE(const void* p) { return (reinterpret_cast<UINT_PTR>(p) >> 16) == 0; }

class IShellExtInit : public IUnknown {
 public:
  virtual HRESULT Initialize(LPCITEMIDLIST pidlFolder, IDataObject* pdtobj, HKEY hkeyProgID) = 0;

 protected:
  ~IShellExtInit() = default;
};

class IContextMenu : public IUnknown {
 public:
  virtual HRESULT QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) = 0;
  virtual HRESULT InvokeCommand(CMINVOKECOMMANDINFO* pici) = 0;
  virtual HRESULT GetCommandString(UINT_PTR idCmd, UINT uType, UINT* pReserved, char* pszName, UINT cchMax) = 0;

 protected:
  ~IContextMenu() = default;
};

inline constexpr IID IID_IDataObject = MakeGuid("{0000010E-0000-0000-C000-000000000046}");
inline constexpr IID IID_IShellExtInit = MakeGuid("{000214E8-0000-0000-C000-000000000046}");
inline constexpr IID IID_IContextMenu = MakeGuid("{000214E4-0000-0000-C000-000000000046}");

// ---- Strings and programs ------------------------------------------------

// Compares without regard to case (ASCII): <0, 0, >0.
int lstrcmpiA(const char* a, const char* b);
// Copies at most iMaxLength - 1 characters and a NUL; returns the buffer.
char* lstrcpynA(char* lpString1, const char* lpString2, int iMaxLength);
WCHAR* lstrcpynW(WCHAR* lpString1, const WCHAR* lpString2, int iMaxLength);
// UTF-8 (the ANSI code page) as UTF-16.
std::u16string AnsiToWide(std::string_view text);

// Starts `file` with `parameters` (split by the platform's quoting rules),
// detached. The show command is the program's own business here. Returns
// a value above 32 on success; 2 when the program is missing, 5 when it may
// not be started, 8 when it cannot be started for want of resources.
HINSTANCE ShellExecuteA(HWND hwnd, const char* lpOperation, const char* lpFile, const char* lpParameters,
                        const char* lpDirectory, int nShowCmd);

}  // namespace sealvane::com
