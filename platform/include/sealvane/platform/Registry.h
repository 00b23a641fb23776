// SPDX-License-Identifier: GPL-3.0-or-later
// The registry: hierarchical keys holding typed, named values, kept in SQLite
// hives. HKEY_CURRENT_USER lives in the user hive ($SEALVANE_HOME/registry.db),
// HKEY_CLASSES_ROOT is the user hive's HKEY_CURRENT_USER\Software\Classes, and
// HKEY_LOCAL_MACHINE lives in the machine hive. The functions keep the
// platform's names, arguments and result codes (0 success; 2 missing key or
// value; 5 access denied; 6 invalid handle; 87 invalid parameter; 161 bad
// key path; 234 buffer too small; 259 no more items; 1009 damaged hive;
// 1018 key deleted). Key and value names compare without regard to ASCII
// case and keep the spelling they were created with. Every write is one
// transaction; concurrent writers wait for each other; the last one wins.
// Thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "sealvane/platform/WinTypes.h"

namespace sealvane::platform {

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, const char* lpClass,
                     DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                     HKEY* phkResult, DWORD* lpdwDisposition);
LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   HKEY* phkResult);
LONG RegCloseKey(HKEY hKey);

// Type and size first (lpData null), then the data; 234 with the needed size
// in *lpcbData when the buffer is too short, the buffer left untouched.
LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                      std::uint8_t* lpData, DWORD* lpcbData);
LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                    const std::uint8_t* lpData, DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, const char* lpValueName);

// Subkeys in name order (case folded); values in creation order. *lpcchName
// counts the buffer with its NUL on the way in and the name without it on
// the way out.
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                   char* lpClass, DWORD* lpcchClass, std::int64_t* lpftLastWriteTime);
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                   DWORD* lpReserved, DWORD* lpType, std::uint8_t* lpData, DWORD* lpcbData);
LONG RegQueryInfoKeyA(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                      DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                      DWORD* lpcValues, DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                      DWORD* lpcbSecurityDescriptor, std::int64_t* lpftLastWriteTime);

// Deletes a key without subkeys (5 when it has some) and its values.
LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey);
// Deletes a key with all its subkeys and values.
LONG RegDeleteTreeA(HKEY hKey, const char* lpSubKey);

// Expands %NAME% references; returns the size needed with the NUL, and
// writes the result only when nSize is large enough.
DWORD ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, DWORD nSize);

// The reason for the last failure of a registry function on this thread,
// naming the hive file where it concerns one; empty when none was recorded.
std::string RegLastErrorDetail();

// A sentence for a registry result code.
std::string RegErrorText(LONG code);

}  // namespace sealvane::platform
