// SPDX-License-Identifier: GPL-3.0-or-later
// The registry functions: each one a guard over the hive and handle layers.
#include "sealvane/platform/Registry.h"

#include <cstring>
#include <new>

#include "RegistryInternal.h"
#include "sealvane/platform/Environment.h"

namespace sealvane::platform {

namespace registry {
thread_local std::string t_lastDetail;
}  // namespace registry

using namespace registry;

namespace {

// Splits a key path at backslashes. A trailing backslash is ignored; empty
// components (a leading or doubled backslash) make a bad path.
std::vector<std::string> SplitKeyPath(const char* subKey) {
  std::vector<std::string> parts;
  if (subKey == nullptr) return parts;
  std::string_view path(subKey);
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find('\\', start);
    const std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty()) Fail(ERROR_BAD_PATHNAME, "The key path \"" + std::string(subKey) + "\" is not valid");
    if (part.size() > kMaxNameLength) Fail(ERROR_INVALID_PARAMETER, "A key name is longer than 255 characters");
    parts.emplace_back(part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

std::string_view ValueName(const char* name) { return name == nullptr ? std::string_view() : std::string_view(name); }

// Runs one registry function: failures become its result code and detail.
template <typename F>
LONG Guard(F&& body) noexcept {
  try {
    t_lastDetail.clear();
    body();
    return ERROR_SUCCESS;
  } catch (const RegFailure& f) {
    try {
      t_lastDetail = f.detail;
    } catch (...) {
    }
    return f.code;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  } catch (const std::exception& e) {
    try {
      t_lastDetail = e.what();
    } catch (...) {
    }
    return ERROR_REGISTRY_IO_FAILED;
  } catch (...) {
    return ERROR_REGISTRY_IO_FAILED;
  }
}

// Copies `text` with a NUL into a caller buffer counted in characters.
LONG CopyName(const std::string& text, char* buffer, DWORD* count) {
  if (buffer == nullptr || count == nullptr) return ERROR_INVALID_PARAMETER;
  if (*count <= text.size()) return ERROR_MORE_DATA;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  *count = static_cast<DWORD>(text.size());
  return ERROR_SUCCESS;
}

// Copies value data into a caller buffer with the query semantics.
LONG CopyData(const std::string& data, std::uint8_t* buffer, DWORD* size) {
  if (size == nullptr) return buffer == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  const DWORD needed = static_cast<DWORD>(data.size());
  if (buffer == nullptr) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(buffer, data.data(), data.size());
  *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD, const char*, DWORD, REGSAM samDesired, const void*,
                     HKEY* phkResult, DWORD* lpdwDisposition) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  return Guard([&] {
    const auto parts = SplitKeyPath(lpSubKey);
    KeyRef parent = Resolve(hKey, true);
    Hive& hive = *parent.hive;
    std::lock_guard lock(hive.Mutex());
    bool created = false;
    std::int64_t id = parent.id;
    {
      // Opening an existing key needs only read access to the hive.
      Txn readTxn(hive, false);
      RequireKey(hive, parent.id);
      auto found = Walk(hive, parent.id, parts, false);
      readTxn.Commit();
      if (found) {
        id = *found;
      } else {
        RequireAccess(parent, KEY_CREATE_SUB_KEY);
        RequireWritable(hive);
        Txn txn(hive, true);
        RequireKey(hive, parent.id);
        id = *Walk(hive, parent.id, parts, true, &created);
        txn.Commit();
      }
    }
    if ((samDesired & kWriteRights) != 0) RequireWritable(hive);
    *phkResult = AddHandle(KeyRef{parent.hive, id, samDesired});
    if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  });
}

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD, REGSAM samDesired, HKEY* phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  return Guard([&] {
    const auto parts = SplitKeyPath(lpSubKey);
    KeyRef parent = Resolve(hKey);
    Hive& hive = *parent.hive;
    std::lock_guard lock(hive.Mutex());
    Txn txn(hive, false);
    RequireKey(hive, parent.id);
    const auto id = Walk(hive, parent.id, parts, false);
    txn.Commit();
    if (!id) Fail(ERROR_FILE_NOT_FOUND);
    if ((samDesired & kWriteRights) != 0) RequireWritable(hive);
    *phkResult = AddHandle(KeyRef{parent.hive, *id, samDesired});
  });
}

LONG RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  return RemoveHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD*, DWORD* lpType, std::uint8_t* lpData,
                      DWORD* lpcbData) {
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  LONG copyResult = ERROR_SUCCESS;
  const LONG rc = Guard([&] {
    KeyRef ref = Resolve(hKey);
    RequireAccess(ref, KEY_QUERY_VALUE);
    Hive& hive = *ref.hive;
    std::lock_guard lock(hive.Mutex());
    Txn txn(hive, false);
    RequireKey(hive, ref.id);
    auto value = hive.FindValue(ref.id, ValueName(lpValueName));
    txn.Commit();
    if (!value) Fail(ERROR_FILE_NOT_FOUND);
    if (lpType != nullptr) *lpType = value->type;
    copyResult = CopyData(value->data, lpData, lpcbData);
  });
  return rc != ERROR_SUCCESS ? rc : copyResult;
}

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD, DWORD dwType, const std::uint8_t* lpData,
                    DWORD cbData) {
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  if (cbData > kMaxValueSize) return ERROR_INVALID_PARAMETER;
  if (ValueName(lpValueName).size() > 16383) return ERROR_INVALID_PARAMETER;
  return Guard([&] {
    KeyRef ref = Resolve(hKey, true);
    RequireAccess(ref, KEY_SET_VALUE);
    Hive& hive = *ref.hive;
    std::lock_guard lock(hive.Mutex());
    RequireWritable(hive);
    Txn txn(hive, true);
    RequireKey(hive, ref.id);
    hive.SetValue(ref.id, ValueName(lpValueName), dwType, lpData, cbData);
    txn.Commit();
  });
}

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) {
  return Guard([&] {
    KeyRef ref = Resolve(hKey);
    RequireAccess(ref, KEY_SET_VALUE);
    Hive& hive = *ref.hive;
    std::lock_guard lock(hive.Mutex());
    if (!hive.Exists()) Fail(ERROR_FILE_NOT_FOUND);
    RequireWritable(hive);
    Txn txn(hive, true);
    RequireKey(hive, ref.id);
    if (!hive.DeleteValue(ref.id, ValueName(lpValueName))) Fail(ERROR_FILE_NOT_FOUND);
    txn.Commit();
  });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD*, char*, DWORD* lpcchClass,
                   std::int64_t* lpftLastWriteTime) {
  if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
  LONG copyResult = ERROR_SUCCESS;
  const LONG rc = Guard([&] {
    KeyRef ref = Resolve(hKey);
    RequireAccess(ref, KEY_ENUMERATE_SUB_KEYS);
    Hive& hive = *ref.hive;
    std::lock_guard lock(hive.Mutex());
    if (!hive.Exists()) Fail(ERROR_NO_MORE_ITEMS);
    Txn txn(hive, false);
    RequireKey(hive, ref.id);
    Stmt s(hive, "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold, name LIMIT 1 OFFSET ?2");
    s.Bind(1, ref.id).Bind(2, static_cast<std::int64_t>(dwIndex));
    if (!s.Step()) Fail(ERROR_NO_MORE_ITEMS);
    const std::string name = s.Blob(0);
    txn.Commit();
    copyResult = CopyName(name, lpName, lpcchName);
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = 0;
  });
  return rc != ERROR_SUCCESS ? rc : copyResult;
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD*, DWORD* lpType,
                   std::uint8_t* lpData, DWORD* lpcbData) {
  if (lpValueName == nullptr || lpcchValueName == nullptr) return ERROR_INVALID_PARAMETER;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  LONG copyResult = ERROR_SUCCESS;
  const LONG rc = Guard([&] {
    KeyRef ref = Resolve(hKey);
    RequireAccess(ref, KEY_QUERY_VALUE);
    Hive& hive = *ref.hive;
    std::lock_guard lock(hive.Mutex());
    if (!hive.Exists()) Fail(ERROR_NO_MORE_ITEMS);
    Txn txn(hive, false);
    RequireKey(hive, ref.id);
    Stmt s(hive, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    s.Bind(1, ref.id).Bind(2, static_cast<std::int64_t>(dwIndex));
    if (!s.Step()) Fail(ERROR_NO_MORE_ITEMS);
    const std::string name = s.Blob(0);
    const auto type = static_cast<DWORD>(s.Int(1));
    const std::string data = s.Blob(2);
    txn.Commit();
    copyResult = CopyName(name, lpValueName, lpcchValueName);
    if (copyResult != ERROR_SUCCESS) return;
    if (lpType != nullptr) *lpType = type;
    copyResult = CopyData(data, lpData, lpcbData);
  });
  return rc != ERROR_SUCCESS ? rc : copyResult;
}

LONG RegQueryInfoKeyA(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD*, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
                      std::int64_t* lpftLastWriteTime) {
  return Guard([&] {
    KeyRef ref = Resolve(hKey);
    RequireAccess(ref, KEY_QUERY_VALUE);
    Hive& hive = *ref.hive;
    std::lock_guard lock(hive.Mutex());
    std::int64_t subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
    if (hive.Exists()) {
      Txn txn(hive, false);
      RequireKey(hive, ref.id);
      Stmt k(hive, "SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent = ?1");
      k.Bind(1, ref.id);
      k.Step();
      subKeys = k.Int(0);
      maxSubKey = k.Int(1);
      Stmt v(hive,
             "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) FROM vals "
             "WHERE key = ?1");
      v.Bind(1, ref.id);
      v.Step();
      values = v.Int(0);
      maxValueName = v.Int(1);
      maxValue = v.Int(2);
      txn.Commit();
    }
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = '\0';
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(subKeys);
    if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = static_cast<DWORD>(maxSubKey);
    if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
    if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(values);
    if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = static_cast<DWORD>(maxValueName);
    if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = static_cast<DWORD>(maxValue);
    if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = 0;
  });
}

namespace {

LONG DeleteKey(HKEY hKey, const char* lpSubKey, bool tree) {
  if (lpSubKey == nullptr || *lpSubKey == '\0') return ERROR_INVALID_PARAMETER;
  return Guard([&] {
    const auto parts = SplitKeyPath(lpSubKey);
    if (parts.empty()) Fail(ERROR_INVALID_PARAMETER);
    KeyRef parent = Resolve(hKey);
    Hive& hive = *parent.hive;
    std::lock_guard lock(hive.Mutex());
    if (!hive.Exists()) Fail(ERROR_FILE_NOT_FOUND);
    {
      Txn readTxn(hive, false);
      RequireKey(hive, parent.id);
      const bool found = Walk(hive, parent.id, parts, false).has_value();
      readTxn.Commit();
      if (!found) Fail(ERROR_FILE_NOT_FOUND);
    }
    RequireWritable(hive);
    Txn txn(hive, true);
    const auto id = Walk(hive, parent.id, parts, false);
    if (!id) Fail(ERROR_FILE_NOT_FOUND);
    if (!tree && hive.CountChildren(*id) > 0) Fail(ERROR_ACCESS_DENIED, "The key has subkeys");
    hive.DeleteTree(*id);
    txn.Commit();
  });
}

}  // namespace

LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) { return DeleteKey(hKey, lpSubKey, false); }

LONG RegDeleteTreeA(HKEY hKey, const char* lpSubKey) { return DeleteKey(hKey, lpSubKey, true); }

DWORD ExpandEnvironmentStringsA(const char* lpSrc, char* lpDst, DWORD nSize) {
  if (lpSrc == nullptr) return 0;
  try {
    const std::string expanded = ExpandEnvironmentText(lpSrc);
    const auto needed = static_cast<DWORD>(expanded.size() + 1);
    if (lpDst != nullptr && nSize >= needed) std::memcpy(lpDst, expanded.c_str(), needed);
    return needed;
  } catch (...) {
    return 0;
  }
}

std::string RegLastErrorDetail() { return t_lastDetail; }

std::string RegErrorText(LONG code) {
  switch (code) {
    case ERROR_SUCCESS: return "The operation completed successfully";
    case ERROR_FILE_NOT_FOUND: return "The system was unable to find the specified registry key or value";
    case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified";
    case ERROR_ACCESS_DENIED: return "Access is denied";
    case ERROR_INVALID_HANDLE: return "The handle is invalid";
    case ERROR_OUTOFMEMORY: return "Not enough memory is available to complete this operation";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect";
    case ERROR_BAD_PATHNAME: return "The specified path is invalid";
    case ERROR_MORE_DATA: return "More data is available";
    case ERROR_NO_MORE_ITEMS: return "No more data is available";
    case ERROR_BADDB: return "The configuration registry database is corrupt";
    case ERROR_KEY_DELETED: return "Illegal operation attempted on a registry key that has been marked for deletion";
    case ERROR_DISK_FULL: return "There is not enough space on the disk";
    case ERROR_BUSY: return "The requested resource is in use";
    case ERROR_REGISTRY_IO_FAILED: return "An I/O operation initiated by the registry failed";
    default: return "Registry error " + std::to_string(code);
  }
}

}  // namespace sealvane::platform
