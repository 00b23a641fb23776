// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/com/Shell.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "sealvane/platform/CodePage.h"
#include "sealvane/platform/Process.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::com {

// ---- Global memory -------------------------------------------------------

struct GlobalBlock {
  std::uint32_t magic;
  std::uint32_t locks;
  std::size_t size;
};

namespace {

constexpr std::uint32_t kGlobalMagic = 0x474C4F42;  // "GLOB"
constexpr std::uint32_t kBitmapMagic = 0x424D4150;  // "BMAP"

unsigned char* GlobalData(HGLOBAL h) { return reinterpret_cast<unsigned char*>(h) + sizeof(GlobalBlock); }

bool ValidGlobal(HGLOBAL h) { return h != nullptr && h->magic == kGlobalMagic; }

}  // namespace

HGLOBAL GlobalAlloc(UINT uFlags, std::size_t dwBytes) {
  if (dwBytes > (std::size_t{1} << 30)) return nullptr;
  void* memory = std::malloc(sizeof(GlobalBlock) + dwBytes);
  if (memory == nullptr) return nullptr;
  auto* block = static_cast<GlobalBlock*>(memory);
  block->magic = kGlobalMagic;
  block->locks = 0;
  block->size = dwBytes;
  if ((uFlags & GMEM_ZEROINIT) != 0) std::memset(GlobalData(block), 0, dwBytes);
  return block;
}

void* GlobalLock(HGLOBAL hMem) {
  if (!ValidGlobal(hMem)) return nullptr;
  ++hMem->locks;
  return GlobalData(hMem);
}

BOOL GlobalUnlock(HGLOBAL hMem) {
  if (!ValidGlobal(hMem) || hMem->locks == 0) return 0;
  --hMem->locks;
  return hMem->locks != 0 ? 1 : 0;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
  if (hMem == nullptr) return nullptr;
  if (!ValidGlobal(hMem)) return hMem;
  hMem->magic = 0;
  std::free(hMem);
  return nullptr;
}

std::size_t GlobalSize(HGLOBAL hMem) { return ValidGlobal(hMem) ? hMem->size : 0; }

void ReleaseStgMedium(STGMEDIUM* pmedium) {
  if (pmedium == nullptr) return;
  if (pmedium->pUnkForRelease != nullptr) {
    pmedium->pUnkForRelease->Release();
  } else if (pmedium->tymed == TYMED_HGLOBAL) {
    GlobalFree(pmedium->hGlobal);
  }
  *pmedium = STGMEDIUM{};
}

HGLOBAL CreateDropFiles(const std::vector<std::string>& files) {
  std::size_t bytes = sizeof(DROPFILES) + 1;
  for (const auto& f : files) bytes += f.size() + 1;
  HGLOBAL h = GlobalAlloc(GHND, bytes);
  if (h == nullptr) return nullptr;
  auto* data = static_cast<unsigned char*>(GlobalLock(h));
  DROPFILES header;
  header.pFiles = sizeof(DROPFILES);
  std::memcpy(data, &header, sizeof(header));
  std::size_t at = sizeof(DROPFILES);
  for (const auto& f : files) {
    std::memcpy(data + at, f.data(), f.size());
    at += f.size() + 1;  // the NUL is already there
  }
  GlobalUnlock(h);
  return h;
}

UINT DragQueryFileA(HDROP hDrop, UINT iFile, char* lpszFile, UINT cch) {
  if (!ValidGlobal(hDrop) || hDrop->size < sizeof(DROPFILES)) return 0;
  const unsigned char* data = GlobalData(hDrop);
  DROPFILES header;
  std::memcpy(&header, data, sizeof(header));
  if (header.fWide != 0 || header.pFiles < sizeof(DROPFILES) || header.pFiles > hDrop->size) return 0;
  const char* names = reinterpret_cast<const char*>(data + header.pFiles);
  const std::size_t room = hDrop->size - header.pFiles;
  UINT index = 0;
  std::size_t at = 0;
  // Names up to the empty one that ends the list, never past the block.
  while (at < room && names[at] != '\0') {
    const void* nul = std::memchr(names + at, '\0', room - at);
    if (nul == nullptr) break;
    const std::size_t len = static_cast<const char*>(nul) - (names + at);
    if (index == iFile) {
      if (lpszFile == nullptr) return static_cast<UINT>(len);
      if (cch == 0) return 0;
      const std::size_t n = std::min<std::size_t>(len, cch - 1);
      std::memcpy(lpszFile, names + at, n);
      lpszFile[n] = '\0';
      return static_cast<UINT>(n);
    }
    ++index;
    at += len + 1;
  }
  return iFile == 0xFFFFFFFFu ? index : 0;
}

// ---- Data objects --------------------------------------------------------

namespace {

class FileDataObject final : public SingleInterfaceObject<FileDataObject, IDataObject, IID_IDataObject> {
 public:
  explicit FileDataObject(std::vector<std::string> files) : m_files(std::move(files)) {}

  HRESULT GetData(FORMATETC* f, STGMEDIUM* m) override {
    if (f == nullptr || m == nullptr) return E_INVALIDARG;
    if (const HRESULT hr = QueryGetData(f); hr != S_OK) return hr;
    HGLOBAL h = CreateDropFiles(m_files);
    if (h == nullptr) return E_OUTOFMEMORY;
    m->tymed = TYMED_HGLOBAL;
    m->hGlobal = h;
    m->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT QueryGetData(FORMATETC* f) override {
    if (f == nullptr) return E_INVALIDARG;
    if (f->cfFormat != CF_HDROP || f->dwAspect != DVASPECT_CONTENT || f->lindex != -1 ||
        (f->tymed & TYMED_HGLOBAL) == 0) {
      return DV_E_FORMATETC;
    }
    return S_OK;
  }
  HRESULT GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  friend SingleInterfaceObject;
  ~FileDataObject() = default;
  std::vector<std::string> m_files;
};

}  // namespace

IDataObject* CreateFileDataObject(const std::vector<std::string>& files) {
  return new (std::nothrow) FileDataObject(files);
}

// ---- Bitmaps -------------------------------------------------------------

struct BitmapBlock {
  std::uint32_t magic;
  LONG width;
  LONG height;
  int bitsPerPixel;
  // width * height colours follow, top row first.
};

namespace {

std::uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
std::uint16_t Le16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t* Pixels(HBITMAP h) {
  return reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(h) + sizeof(BitmapBlock));
}

}  // namespace

HBITMAP LoadBitmapFromResource(std::string_view dib) {
  if (dib.size() >= 14 && dib[0] == 'B' && dib[1] == 'M') dib.remove_prefix(14);
  if (dib.size() < 40) return nullptr;
  const std::uint32_t headerSize = Le32(dib, 0);
  const auto width = static_cast<std::int32_t>(Le32(dib, 4));
  const auto rawHeight = static_cast<std::int32_t>(Le32(dib, 8));
  const int bpp = Le16(dib, 14);
  const std::uint32_t compression = Le32(dib, 16);
  std::uint32_t colours = Le32(dib, 32);
  if (headerSize < 40 || headerSize > dib.size() || compression != 0 || width <= 0 || width > 1024 || rawHeight == 0 ||
      rawHeight < -1024 || rawHeight > 1024) {
    return nullptr;
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return nullptr;
  const bool bottomUp = rawHeight > 0;
  const LONG height = bottomUp ? rawHeight : -rawHeight;
  if (bpp <= 8 && colours == 0) colours = 1u << bpp;
  if (bpp > 8) colours = 0;
  if (colours > 256) return nullptr;
  const std::size_t paletteAt = headerSize;
  const std::size_t pixelsAt = paletteAt + std::size_t{colours} * 4;
  const std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
  if (pixelsAt > dib.size() || (dib.size() - pixelsAt) / stride < static_cast<std::size_t>(height)) return nullptr;
  void* memory = std::malloc(sizeof(BitmapBlock) + sizeof(std::uint32_t) * static_cast<std::size_t>(width) * height);
  if (memory == nullptr) return nullptr;
  auto* block = static_cast<BitmapBlock*>(memory);
  *block = BitmapBlock{kBitmapMagic, width, height, bpp};
  std::uint32_t* out = Pixels(block);
  for (LONG y = 0; y < height; ++y) {
    const std::size_t row = pixelsAt + stride * static_cast<std::size_t>(bottomUp ? height - 1 - y : y);
    for (LONG x = 0; x < width; ++x) {
      std::uint32_t colour = 0;
      if (bpp <= 8) {
        const std::size_t bit = static_cast<std::size_t>(x) * bpp;
        const auto byte = static_cast<unsigned char>(dib[row + bit / 8]);
        const unsigned index = (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        if (index < colours) colour = Le32(dib, paletteAt + index * 4) & 0x00FFFFFFu;
      } else {
        const std::size_t at = row + static_cast<std::size_t>(x) * (bpp / 8);
        colour = static_cast<std::uint32_t>(static_cast<unsigned char>(dib[at])) |
                 static_cast<std::uint32_t>(static_cast<unsigned char>(dib[at + 1])) << 8 |
                 static_cast<std::uint32_t>(static_cast<unsigned char>(dib[at + 2])) << 16;
      }
      out[static_cast<std::size_t>(y) * width + x] = colour;
    }
  }
  return block;
}

BOOL DeleteObject(HBITMAP hBitmap) {
  if (hBitmap == nullptr || hBitmap->magic != kBitmapMagic) return 0;
  hBitmap->magic = 0;
  std::free(hBitmap);
  return 1;
}

bool GetBitmapInfo(HBITMAP hBitmap, BitmapInfo& out) {
  if (hBitmap == nullptr || hBitmap->magic != kBitmapMagic) return false;
  out = BitmapInfo{hBitmap->width, hBitmap->height, hBitmap->bitsPerPixel};
  return true;
}

std::uint32_t GetBitmapPixel(HBITMAP hBitmap, LONG x, LONG y) {
  if (hBitmap == nullptr || hBitmap->magic != kBitmapMagic || x < 0 || y < 0 || x >= hBitmap->width ||
      y >= hBitmap->height) {
    return 0;
  }
  return Pixels(hBitmap)[static_cast<std::size_t>(y) * hBitmap->width + x];
}

// ---- Menus ---------------------------------------------------------------

BOOL InsertMenuA(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, const char* lpNewItem) {
  return hMenu != nullptr ? hMenu->Insert(uPosition, uFlags, uIDNewItem, lpNewItem) : 0;
}

BOOL SetMenuItemBitmaps(HMENU hMenu, UINT uPosition, UINT uFlags, HBITMAP hBitmapUnchecked, HBITMAP hBitmapChecked) {
  return hMenu != nullptr ? hMenu->SetBitmaps(uPosition, uFlags, hBitmapUnchecked, hBitmapChecked) : 0;
}

int GetMenuItemCount(HMENU hMenu) { return hMenu != nullptr ? hMenu->Count() : -1; }

BOOL Menu::Insert(UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, const char* lpNewItem) {
  try {
    MenuItem item;
    item.id = static_cast<UINT>(uIDNewItem);
    item.flags = uFlags & ~MF_BYPOSITION;
    if ((uFlags & MF_SEPARATOR) == 0) {
      if (lpNewItem == nullptr) return 0;
      item.text = lpNewItem;
    }
    std::size_t at = m_items.size();
    if ((uFlags & MF_BYPOSITION) != 0) {
      // A position past the end (such as 0xFFFFFFFF) appends.
      at = std::min<std::size_t>(uPosition, m_items.size());
    } else {
      for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].id == uPosition) {
          at = i;
          break;
        }
      }
    }
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    return 1;
  } catch (...) {
    return 0;
  }
}

BOOL Menu::SetBitmaps(UINT uPosition, UINT uFlags, HBITMAP hBitmapUnchecked, HBITMAP hBitmapChecked) {
  MenuItem* item = nullptr;
  if ((uFlags & MF_BYPOSITION) != 0) {
    if (uPosition < m_items.size()) item = &m_items[uPosition];
  } else {
    for (auto& i : m_items) {
      if (i.id == uPosition) item = &i;
    }
  }
  if (item == nullptr) return 0;
  item->unchecked = hBitmapUnchecked;
  item->checked = hBitmapChecked;
  return 1;
}

// ---- Strings and programs ------------------------------------------------

int lstrcmpiA(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  for (;; ++a, ++b) {
    const auto ca = static_cast<unsigned char>(*a >= 'A' && *a <= 'Z' ? *a + 32 : *a);
    const auto cb = static_cast<unsigned char>(*b >= 'A' && *b <= 'Z' ? *b + 32 : *b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

char* lstrcpynA(char* lpString1, const char* lpString2, int iMaxLength) {
  if (lpString1 == nullptr || iMaxLength <= 0) return lpString1;
  int i = 0;
  if (lpString2 != nullptr) {
    for (; i < iMaxLength - 1 && lpString2[i] != '\0'; ++i) lpString1[i] = lpString2[i];
  }
  lpString1[i] = '\0';
  return lpString1;
}

WCHAR* lstrcpynW(WCHAR* lpString1, const WCHAR* lpString2, int iMaxLength) {
  if (lpString1 == nullptr || iMaxLength <= 0) return lpString1;
  int i = 0;
  if (lpString2 != nullptr) {
    for (; i < iMaxLength - 1 && lpString2[i] != u'\0'; ++i) lpString1[i] = lpString2[i];
  }
  lpString1[i] = u'\0';
  return lpString1;
}

std::u16string AnsiToWide(std::string_view text) { return platform::Utf8ToUtf16(text); }

HINSTANCE ShellExecuteA(HWND, const char*, const char* lpFile, const char* lpParameters, const char*, int) {
  if (lpFile == nullptr || lpFile[0] == '\0') return reinterpret_cast<HINSTANCE>(std::uintptr_t{2});
  try {
    std::vector<std::string> argv{lpFile};
    if (lpParameters != nullptr) {
      for (auto& a : platform::SplitParameters(lpParameters)) argv.push_back(std::move(a));
    }
    const std::int32_t rc = platform::LaunchDetached(argv);
    std::uintptr_t result = 42;
    if (rc == platform::rt::kFileNotFound) {
      result = 2;
    } else if (rc == platform::rt::kPermissionDenied) {
      result = 5;
    } else if (rc != 0) {
      result = 8;
    }
    return reinterpret_cast<HINSTANCE>(result);
  } catch (...) {
    return reinterpret_cast<HINSTANCE>(std::uintptr_t{8});
  }
}

}  // namespace sealvane::com
