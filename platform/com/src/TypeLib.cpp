// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/com/TypeLib.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Key.h"
#include "sealvane/com/Resources.h"

namespace sealvane::com {
namespace {

using detail::Key;
namespace reg = sealvane::platform;

// Splits a line into words; "..." is one word (without its quotes).
bool Words(std::string_view line, std::vector<std::string>& out) {
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
      continue;
    }
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      out.emplace_back(line.substr(i + 1, close - i - 1));
      i = close + 1;
      continue;
    }
    std::size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
    out.emplace_back(line.substr(i, end - i));
    i = end;
  }
  return true;
}

bool ParseVersion(const std::string& text, WORD& major, WORD& minor) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == text.size() || text.size() > 11) return false;
  unsigned long parts[2] = {0, 0};
  const std::string pieces[2] = {text.substr(0, dot), text.substr(dot + 1)};
  for (int i = 0; i < 2; ++i) {
    if (pieces[i].empty() || pieces[i].size() > 5 ||
        !std::all_of(pieces[i].begin(), pieces[i].end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return false;
    }
    parts[i] = std::stoul(pieces[i]);
    if (parts[i] > 0xFFFF) return false;
  }
  major = static_cast<WORD>(parts[0]);
  minor = static_cast<WORD>(parts[1]);
  return true;
}

std::string VersionText(WORD major, WORD minor) { return std::to_string(major) + "." + std::to_string(minor); }

std::string HexText(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof(text), "%x", v);
  return text;
}

class TypeInfo final : public SingleInterfaceObject<TypeInfo, ITypeInfo, IID_ITypeInfo> {
 public:
  TypeInfo(GUID guid, std::string name, std::string doc) : m_guid(guid), m_name(std::move(name)), m_doc(std::move(doc)) {}

  HRESULT GetGuid(GUID* pGuid) override {
    if (pGuid == nullptr) return E_POINTER;
    *pGuid = m_guid;
    return S_OK;
  }
  HRESULT GetDocumentation(DISPID memid, char* pName, UINT cchName, char* pDoc, UINT cchDoc) override {
    if (memid != -1) return TYPE_E_ELEMENTNOTFOUND;
    Copy(m_name, pName, cchName);
    Copy(m_doc, pDoc, cchDoc);
    return S_OK;
  }

 private:
  friend SingleInterfaceObject;
  ~TypeInfo() = default;
  static void Copy(const std::string& text, char* out, UINT cch) {
    if (out == nullptr || cch == 0) return;
    const std::size_t n = std::min<std::size_t>(text.size(), cch - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
  }
  GUID m_guid;
  std::string m_name;
  std::string m_doc;
};

}  // namespace

const char* SysKindKeyName(SYSKIND syskind) {
  switch (syskind) {
    case SYS_WIN16: return "win16";
    case SYS_WIN32: return "win32";
    case SYS_MAC: return "mac";
    case SYS_WIN64: return "win64";
  }
  return "win64";
}

bool ParseTypeLibrary(std::string_view text, TypeLibrary& out, std::string& error) {
  TypeLibrary lib;
  bool haveLibrary = false;
  std::size_t lineNo = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    std::vector<std::string> w;
    const std::string where = "line " + std::to_string(lineNo) + ": ";
    if (!Words(line, w)) {
      error = where + "a quoted text is not closed";
      return false;
    }
    if (w.empty() || w[0][0] == '#') {
      if (end == text.size()) break;
      continue;
    }
    if (w[0] == "library") {
      if (w.size() != 5 || haveLibrary) {
        error = where + "expected: library NAME {LIBID} MAJOR.MINOR \"help\"";
        return false;
      }
      auto id = GuidFromString(w[2]);
      if (!id || !ParseVersion(w[3], lib.major, lib.minor)) {
        error = where + "the library's identifier or version is not valid";
        return false;
      }
      lib.name = w[1];
      lib.libid = *id;
      lib.helpString = w[4];
      haveLibrary = true;
    } else if (w[0] == "interface") {
      const bool dual = w.size() == 6 && w[3] == "dual";
      if (!(w.size() == 5 || dual)) {
        error = where + "expected: interface NAME {IID} [dual] BASE \"help\"";
        return false;
      }
      auto id = GuidFromString(w[2]);
      if (!id) {
        error = where + "the interface's identifier is not valid";
        return false;
      }
      lib.interfaces.push_back({w[1], *id, dual, w[dual ? 4 : 3], w[dual ? 5 : 4]});
    } else if (w[0] == "coclass") {
      if (w.size() != 6 || w[3] != "default") {
        error = where + "expected: coclass NAME {CLSID} default INTERFACE \"help\"";
        return false;
      }
      auto id = GuidFromString(w[2]);
      if (!id) {
        error = where + "the class's identifier is not valid";
        return false;
      }
      const std::string& def = w[4];
      if (std::none_of(lib.interfaces.begin(), lib.interfaces.end(), [&](const auto& i) { return i.name == def; })) {
        error = where + "the default interface " + def + " is not described above";
        return false;
      }
      lib.classes.push_back({w[1], *id, def, w[5]});
    } else {
      error = where + "unknown entry \"" + w[0] + "\"";
      return false;
    }
    if (end == text.size()) break;
  }
  if (!haveLibrary) {
    error = "no library line";
    return false;
  }
  out = std::move(lib);
  return true;
}

HRESULT LoadTypeLib(const std::string& path, TypeLibrary& out) {
  std::string blob;
  if (const HRESULT hr = ReadModuleResources(path, blob); FAILED(hr)) return hr;
  auto text = FindResource(blob, "TYPELIB", 1);
  if (!text) return TYPE_E_INVDATAREAD;
  std::string error;
  return ParseTypeLibrary(*text, out, error) ? S_OK : TYPE_E_INVDATAREAD;
}

HRESULT RegisterTypeLib(const TypeLibrary& lib, const std::string& fullPath, const std::string& helpDir) {
  const std::string libid = GuidToString(lib.libid);
  const std::string versionKey = "TypeLib\\" + libid + "\\" + VersionText(lib.major, lib.minor);
  std::string dir = helpDir;
  if (dir.empty()) dir = fullPath.substr(0, fullPath.find_last_of('/') == std::string::npos ? 0 : fullPath.find_last_of('/'));
  Key version;
  reg::LONG rc = Key::Create(reg::HKEY_CLASSES_ROOT, versionKey, version);
  if (rc == 0) rc = version.SetString("", lib.helpString);
  Key file, flags, help;
  if (rc == 0) rc = Key::Create(version.Get(), HexText(lib.lcid) + "\\" + SysKindKeyName(SYS_WIN64), file);
  if (rc == 0) rc = file.SetString("", fullPath);
  if (rc == 0) rc = Key::Create(version.Get(), "FLAGS", flags);
  if (rc == 0) rc = flags.SetString("", "0");
  if (rc == 0) rc = Key::Create(version.Get(), "HELPDIR", help);
  if (rc == 0) rc = help.SetString("", dir);
  for (const auto& itf : lib.interfaces) {
    if (rc != 0) break;
    if (!itf.dual) continue;
    const std::string base = "Interface\\" + GuidToString(itf.iid);
    Key key, ps, ps32, tl;
    rc = Key::Create(reg::HKEY_CLASSES_ROOT, base, key);
    if (rc == 0) rc = key.SetString("", itf.name);
    if (rc == 0) rc = Key::Create(key.Get(), "ProxyStubClsid", ps);
    if (rc == 0) rc = ps.SetString("", GuidToString(CLSID_PSOAInterface));
    if (rc == 0) rc = Key::Create(key.Get(), "ProxyStubClsid32", ps32);
    if (rc == 0) rc = ps32.SetString("", GuidToString(CLSID_PSOAInterface));
    if (rc == 0) rc = Key::Create(key.Get(), "TypeLib", tl);
    if (rc == 0) rc = tl.SetString("", libid);
    if (rc == 0) rc = tl.SetString("Version", VersionText(lib.major, lib.minor));
  }
  return rc == 0 ? S_OK : HRESULT_FROM_WIN32(rc);
}

HRESULT UnRegisterTypeLib(const GUID& libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
  const std::string libKey = "TypeLib\\" + GuidToString(libid);
  const std::string versionKey = libKey + "\\" + VersionText(major, minor);
  Key version;
  if (Key::Open(reg::HKEY_CLASSES_ROOT, versionKey, reg::KEY_READ, version) != 0) return TYPE_E_REGISTRYACCESS;
  // The interfaces come from the registered file, as long as it still reads.
  Key file;
  TypeLibrary lib;
  if (Key::Open(version.Get(), HexText(lcid) + "\\" + SysKindKeyName(syskind), reg::KEY_READ, file) == 0 &&
      SUCCEEDED(LoadTypeLib(file.GetString(""), lib)) && lib.libid == libid) {
    for (const auto& itf : lib.interfaces) {
      const std::string base = "Interface\\" + GuidToString(itf.iid);
      Key tl;
      if (Key::Open(reg::HKEY_CLASSES_ROOT, base + "\\TypeLib", reg::KEY_READ, tl) != 0) continue;
      // Only an interface that names this library is this library's to remove.
      const auto named = GuidFromString(tl.GetString(""));
      if (named && *named == libid) reg::RegDeleteTreeA(reg::HKEY_CLASSES_ROOT, base.c_str());
    }
  }
  file = Key();
  version = Key();
  reg::RegDeleteTreeA(reg::HKEY_CLASSES_ROOT, versionKey.c_str());
  Key rest;
  reg::DWORD subKeys = 0, values = 0;
  if (Key::Open(reg::HKEY_CLASSES_ROOT, libKey, reg::KEY_READ, rest) == 0 && rest.Counts(subKeys, values) &&
      subKeys == 0 && values == 0) {
    rest = Key();
    reg::RegDeleteKeyA(reg::HKEY_CLASSES_ROOT, libKey.c_str());
  }
  return S_OK;
}

HRESULT CreateTypeInfo(const TypeLibrary& lib, const GUID& guid, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  for (const auto& itf : lib.interfaces) {
    if (itf.iid == guid) {
      *ppTInfo = new TypeInfo(guid, itf.name, itf.helpString);
      return S_OK;
    }
  }
  for (const auto& cls : lib.classes) {
    if (cls.clsid == guid) {
      *ppTInfo = new TypeInfo(guid, cls.name, cls.helpString);
      return S_OK;
    }
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

}  // namespace sealvane::com
