// SPDX-License-Identifier: GPL-3.0-or-later
// What the registry's sources share: its failures, a hive on SQLite with its
// statements and transactions, and the table of open key handles.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sealvane/platform/Registry.h"

namespace sealvane::platform::registry {

inline constexpr LONG ERROR_DISK_FULL = 112;
inline constexpr LONG ERROR_BUSY = 170;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;

inline constexpr int kSchemaVersion = 1;
inline constexpr std::int64_t kRootId = 1;
inline constexpr std::size_t kMaxNameLength = 255;
inline constexpr DWORD kMaxValueSize = 16u << 20;
inline constexpr int kBusyTimeoutMs = 15000;

inline constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE_ACCESS;

// A failure with its registry code, carried to the function's guard.
struct RegFailure {
  LONG code;
  std::string detail;
};

[[noreturn]] inline void Fail(LONG code, std::string detail = {}) {
  throw RegFailure{code, std::move(detail)};
}

// The detail of the last failure on this thread.
extern thread_local std::string t_lastDetail;

inline std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

struct DbCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};

enum class HiveKind { User, Machine };

class Hive;

// One prepared statement, bound and stepped.
class Stmt {
 public:
  Stmt(Hive& hive, const char* sql);
  Stmt& Bind(int index, std::int64_t v);
  Stmt& Bind(int index, std::string_view blob);
  Stmt& BindBytes(int index, const std::uint8_t* data, std::size_t size);
  bool Step();  // true: a row is ready
  std::int64_t Int(int col) const { return sqlite3_column_int64(m_stmt.get(), col); }
  std::string Blob(int col) const {
    const void* p = sqlite3_column_blob(m_stmt.get(), col);
    const int n = sqlite3_column_bytes(m_stmt.get(), col);
    return p == nullptr ? std::string() : std::string(static_cast<const char*>(p), static_cast<std::size_t>(n));
  }

 private:
  Hive& m_hive;
  std::unique_ptr<sqlite3_stmt, StmtFinalizer> m_stmt;
};

class Hive {
 public:
  Hive(std::string path, HiveKind kind) : m_path(std::move(path)), m_kind(kind) {}

  const std::string& Path() const { return m_path; }
  HiveKind Kind() const { return m_kind; }
  std::mutex& Mutex() { return m_mutex; }
  sqlite3* Db() const { return m_db.get(); }
  bool Exists() const { return m_db != nullptr; }

  // Opens an existing hive file; for the user hive (and a machine hive
  // opened for writing) creates a new one first when none exists.
  void Open(bool create);

  bool Writable() const { return m_writable; }

  [[noreturn]] void FailSql(int rc) const;

  void Exec(const char* sql);

  // --- key and value queries; the caller holds a transaction ---

  std::optional<std::int64_t> FindChild(std::int64_t parent, std::string_view name);

  std::int64_t CreateChild(std::int64_t parent, std::string_view name);

  bool KeyExists(std::int64_t id);

  struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
  };

  std::optional<Value> FindValue(std::int64_t key, std::string_view name);

  void SetValue(std::int64_t key, std::string_view name, DWORD type, const std::uint8_t* data, DWORD size);

  bool DeleteValue(std::int64_t key, std::string_view name);

  std::int64_t CountChildren(std::int64_t key);

  void DeleteTree(std::int64_t key);

 private:
  [[noreturn]] void FailFile(int err, const char* what) const;

  void CreateFile();

  bool FolderWritable() const;

  // Checks that the file is a registry hive, and lays out a new one.
  void CheckSchema();

  int CountTables();

  void Initialise();

  std::string m_path;
  HiveKind m_kind;
  std::unique_ptr<sqlite3, DbCloser> m_db;
  bool m_writable = false;
  std::mutex m_mutex;
};

// A read or write transaction, rolled back unless committed.
class Txn {
 public:
  Txn(Hive& hive, bool write) : m_hive(hive) {
    if (!hive.Exists()) return;
    hive.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
    m_open = true;
  }
  ~Txn() {
    if (m_open) sqlite3_exec(m_hive.Db(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Txn(const Txn&) = delete;
  Txn& operator=(const Txn&) = delete;
  void Commit() {
    if (!m_open) return;
    m_hive.Exec("COMMIT");
    m_open = false;
  }

 private:
  Hive& m_hive;
  bool m_open = false;
};

struct KeyRef {
  std::shared_ptr<Hive> hive;
  std::int64_t id = kRootId;
  REGSAM access = KEY_ALL_ACCESS;
};

// The hive of each kind, opened at first use and kept.
std::shared_ptr<Hive> OpenHive(HiveKind kind, bool forWrite);

// Key handles of the API: added when a key is opened, removed when closed.
HKEY AddHandle(KeyRef ref);
bool RemoveHandle(HKEY hKey);

// HKEY_CLASSES_ROOT's path in the user hive.
std::vector<std::string> ClassesRootPath();

// Walks `parts` below `start`; missing keys are created when `create` is set.
std::optional<std::int64_t> Walk(Hive& hive, std::int64_t start, const std::vector<std::string>& parts, bool create,
                                 bool* created = nullptr);

// The hive and key a handle stands for. `forWrite` opens a missing machine
// hive for creation.
KeyRef Resolve(HKEY hKey, bool forWrite = false);

void RequireAccess(const KeyRef& ref, REGSAM needed);
void RequireWritable(Hive& hive);
void RequireKey(Hive& hive, std::int64_t id);

}  // namespace sealvane::platform::registry
