// SPDX-License-Identifier: GPL-3.0-or-later
// The hives of this process and the table of open key handles.
#include <map>

#include "RegistryInternal.h"
#include "sealvane/platform/Environment.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform::registry {

namespace {

std::mutex g_hiveMutex;
std::shared_ptr<Hive> g_userHive;
std::shared_ptr<Hive> g_machineHive;

}  // namespace

std::shared_ptr<Hive> OpenHive(HiveKind kind, bool forWrite) {
  std::string path;
  if (kind == HiveKind::User) {
    try {
      path = UserHivePath();
    } catch (const RuntimeError& e) {
      Fail(e.Number() == rt::kPermissionDenied ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND, e.Description());
    }
  } else {
    path = MachineHivePath();
  }
  std::lock_guard lock(g_hiveMutex);
  std::shared_ptr<Hive>& cached = kind == HiveKind::User ? g_userHive : g_machineHive;
  // A missing machine hive is looked for again on every call.
  if (cached && cached->Path() == path && cached->Exists()) return cached;
  auto hive = std::make_shared<Hive>(path, kind);
  hive->Open(kind == HiveKind::User || forWrite);
  cached = hive;
  return hive;
}

namespace {

std::mutex g_handleMutex;
std::map<HKEY, KeyRef> g_handles;
HKEY g_nextHandle = 0x100;

}  // namespace

HKEY AddHandle(KeyRef ref) {
  std::lock_guard lock(g_handleMutex);
  for (;;) {
    const HKEY h = g_nextHandle;
    g_nextHandle = (g_nextHandle + 4) & 0x7FFFFFFCu;
    if (g_nextHandle == 0) g_nextHandle = 0x100;
    if (h != 0 && g_handles.find(h) == g_handles.end()) {
      g_handles.emplace(h, std::move(ref));
      return h;
    }
  }
}

std::vector<std::string> ClassesRootPath() { return {"Software", "Classes"}; }

// Walks `parts` below `start`; missing keys are created when `create` is set.
std::optional<std::int64_t> Walk(Hive& hive, std::int64_t start, const std::vector<std::string>& parts, bool create,
                                 bool* created) {
  std::int64_t id = start;
  for (const std::string& part : parts) {
    if (auto child = hive.FindChild(id, part)) {
      id = *child;
    } else if (create) {
      id = hive.CreateChild(id, part);
      if (created != nullptr) *created = true;
    } else {
      return std::nullopt;
    }
  }
  return id;
}

// The hive and key a handle stands for. `forWrite` opens a missing machine
// hive for creation.
KeyRef Resolve(HKEY hKey, bool forWrite) {
  switch (hKey) {
    case HKEY_CURRENT_USER: return KeyRef{OpenHive(HiveKind::User, forWrite), kRootId, KEY_ALL_ACCESS};
    case HKEY_LOCAL_MACHINE: return KeyRef{OpenHive(HiveKind::Machine, forWrite), kRootId, KEY_ALL_ACCESS};
    case HKEY_CLASSES_ROOT: {
      KeyRef ref{OpenHive(HiveKind::User, forWrite), kRootId, KEY_ALL_ACCESS};
      std::lock_guard lock(ref.hive->Mutex());
      Txn readTxn(*ref.hive, false);
      auto id = Walk(*ref.hive, kRootId, ClassesRootPath(), false);
      readTxn.Commit();
      if (!id) {
        if (!ref.hive->Writable()) Fail(ERROR_FILE_NOT_FOUND);
        Txn txn(*ref.hive, true);
        id = Walk(*ref.hive, kRootId, ClassesRootPath(), true);
        txn.Commit();
      }
      ref.id = *id;
      return ref;
    }
    default: break;
  }
  std::lock_guard lock(g_handleMutex);
  const auto it = g_handles.find(hKey);
  if (it == g_handles.end()) Fail(ERROR_INVALID_HANDLE, "The registry key handle is not valid");
  return it->second;
}

void RequireAccess(const KeyRef& ref, REGSAM needed) {
  if ((ref.access & needed) != needed) Fail(ERROR_ACCESS_DENIED, "The key was not opened for this operation");
}

void RequireWritable(Hive& hive) {
  if (!hive.Exists() || !hive.Writable()) {
    Fail(ERROR_ACCESS_DENIED, "The registry hive \"" + hive.Path() + "\" cannot be written");
  }
}

void RequireKey(Hive& hive, std::int64_t id) {
  if (!hive.KeyExists(id)) Fail(ERROR_KEY_DELETED, "The key has been deleted");
}

bool RemoveHandle(HKEY hKey) {
  std::lock_guard lock(g_handleMutex);
  return g_handles.erase(hKey) == 1;
}

}  // namespace sealvane::platform::registry
