// SPDX-License-Identifier: GPL-3.0-or-later
// Type libraries: the description of a module's interfaces and classes,
// kept as the module's "TYPELIB" resource 1 in a line format:
//
//   library NAME {LIBID} MAJOR.MINOR "help string"
//   interface NAME {IID} [dual] BASE "help string"
//   coclass NAME {CLSID} default INTERFACE "help string"
//
// (blank lines and lines starting with '#' are ignored), registered in
// HKEY_CLASSES_ROOT as the component model expects: TypeLib\{LIBID}\M.m
// with its help string, the file under 0\win64, FLAGS and HELPDIR; each
// dual interface under Interface\{IID} with its proxy classes and library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sealvane/com/Com.h"

namespace sealvane::com {

enum SYSKIND : std::uint32_t { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };
inline constexpr LCID LOCALE_NEUTRAL = 0;

struct TypeLibInterface {
  std::string name;
  IID iid;
  bool dual = false;
  std::string base;
  std::string helpString;
};

struct TypeLibClass {
  std::string name;
  CLSID clsid;
  std::string defaultInterface;
  std::string helpString;
};

struct TypeLibrary {
  std::string name;
  GUID libid;
  WORD major = 0;
  WORD minor = 0;
  LCID lcid = LOCALE_NEUTRAL;
  std::string helpString;
  std::vector<TypeLibInterface> interfaces;
  std::vector<TypeLibClass> classes;
};

// Reads the line format; on failure returns false with the line's fault in `error`.
bool ParseTypeLibrary(std::string_view text, TypeLibrary& out, std::string& error);

// The type library of a module file (its TYPELIB resource 1).
// TYPE_E_CANTLOADLIBRARY when the file cannot be read; TYPE_E_INVDATAREAD
// when it holds no readable type library.
HRESULT LoadTypeLib(const std::string& path, TypeLibrary& out);

// Writes the library's keys; `helpDir` empty means the file's folder.
// Registry failures are returned as HRESULT_FROM_WIN32 of their code.
HRESULT RegisterTypeLib(const TypeLibrary& lib, const std::string& fullPath, const std::string& helpDir);

// Removes what RegisterTypeLib wrote for that version: the interfaces that
// name this library (found through the registered file, when it still
// reads), the version's key, and the library's key when nothing is left in
// it. TYPE_E_REGISTRYACCESS when the version is not registered.
HRESULT UnRegisterTypeLib(const GUID& libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);

// An ITypeInfo for one interface or class of the library (by GUID);
// TYPE_E_ELEMENTNOTFOUND when it has no such type.
HRESULT CreateTypeInfo(const TypeLibrary& lib, const GUID& guid, ITypeInfo** ppTInfo);

// The registry key name of a system kind ("win32", "win64").
const char* SysKindKeyName(SYSKIND syskind);

}  // namespace sealvane::com
