// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/Registry.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "sealvane/platform/Environment.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {
namespace {

constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_BUSY = 170;
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;

constexpr int kSchemaVersion = 1;
constexpr std::int64_t kRootId = 1;
constexpr std::size_t kMaxNameLength = 255;
constexpr DWORD kMaxValueSize = 16u << 20;
constexpr int kBusyTimeoutMs = 15000;

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE_ACCESS;

// A failure with its registry code, carried to the function's guard.
struct RegFailure {
  LONG code;
  std::string detail;
};

[[noreturn]] void Fail(LONG code, std::string detail = {}) {
  throw RegFailure{code, std::move(detail)};
}

thread_local std::string t_lastDetail;

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

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
  void Open(bool create) {
    struct stat st {};
    const bool present = ::stat(m_path.c_str(), &st) == 0;
    if (!present) {
      if (errno != ENOENT) FailFile(errno, "cannot be read");
      if (!create) return;  // a missing machine hive reads as empty
      CreateFile();
    } else if (!S_ISREG(st.st_mode)) {
      Fail(ERROR_BADDB, "The registry hive \"" + m_path + "\" is not a file");
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(m_path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_db.reset(raw);
    if (rc != SQLITE_OK) {
      m_db.reset();
      if (rc == SQLITE_CANTOPEN || rc == SQLITE_PERM) FailFile(EACCES, "cannot be opened");
      Fail(ERROR_BADDB, "The registry hive \"" + m_path + "\" cannot be opened: " + sqlite3_errstr(rc));
    }
    sqlite3_busy_timeout(m_db.get(), kBusyTimeoutMs);
    sqlite3_extended_result_codes(m_db.get(), 1);
    m_writable = sqlite3_db_readonly(m_db.get(), "main") == 0 && FolderWritable();
    CheckSchema();
  }

  bool Writable() const { return m_writable; }

  [[noreturn]] void FailSql(int rc) const {
    const int primary = rc & 0xFF;
    switch (primary) {
      case SQLITE_READONLY:
      case SQLITE_CANTOPEN:
      case SQLITE_PERM:
      case SQLITE_AUTH:
        Fail(ERROR_ACCESS_DENIED, "The registry hive \"" + m_path + "\" cannot be written");
      case SQLITE_NOTADB:
      case SQLITE_CORRUPT:
      case SQLITE_SCHEMA:
        Fail(ERROR_BADDB, "The registry hive \"" + m_path + "\" is damaged or is not a registry hive");
      case SQLITE_FULL:
        Fail(ERROR_DISK_FULL, "The disk holding the registry hive \"" + m_path + "\" is full");
      case SQLITE_BUSY:
      case SQLITE_LOCKED:
        Fail(ERROR_BUSY, "The registry hive \"" + m_path + "\" is in use by another program");
      case SQLITE_NOMEM:
        Fail(ERROR_OUTOFMEMORY);
      default:
        Fail(ERROR_REGISTRY_IO_FAILED, "The registry hive \"" + m_path + "\" could not be read or written: " +
                                           sqlite3_errstr(rc));
    }
  }

  void Exec(const char* sql) {
    const int rc = sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) FailSql(rc);
  }

  // --- key and value queries; the caller holds a transaction ---

  std::optional<std::int64_t> FindChild(std::int64_t parent, std::string_view name) {
    if (!Exists()) return std::nullopt;
    Stmt s(*this, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
    s.Bind(1, parent).Bind(2, Fold(name));
    if (!s.Step()) return std::nullopt;
    return s.Int(0);
  }

  std::int64_t CreateChild(std::int64_t parent, std::string_view name) {
    Stmt s(*this, "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
    s.Bind(1, parent).Bind(2, name).Bind(3, Fold(name));
    s.Step();
    return sqlite3_last_insert_rowid(m_db.get());
  }

  bool KeyExists(std::int64_t id) {
    if (!Exists()) return id == kRootId;
    Stmt s(*this, "SELECT 1 FROM keys WHERE id = ?1");
    s.Bind(1, id);
    return s.Step();
  }

  struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
  };

  std::optional<Value> FindValue(std::int64_t key, std::string_view name) {
    if (!Exists()) return std::nullopt;
    Stmt s(*this, "SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2");
    s.Bind(1, key).Bind(2, Fold(name));
    if (!s.Step()) return std::nullopt;
    return Value{s.Blob(0), static_cast<DWORD>(s.Int(1)), s.Blob(2)};
  }

  void SetValue(std::int64_t key, std::string_view name, DWORD type, const std::uint8_t* data, DWORD size) {
    Stmt s(*this,
           "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
           "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.Bind(1, key).Bind(2, name).Bind(3, Fold(name)).Bind(4, static_cast<std::int64_t>(type));
    s.BindBytes(5, data, size);
    s.Step();
  }

  bool DeleteValue(std::int64_t key, std::string_view name) {
    Stmt s(*this, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
    s.Bind(1, key).Bind(2, Fold(name));
    s.Step();
    return sqlite3_changes(m_db.get()) > 0;
  }

  std::int64_t CountChildren(std::int64_t key) {
    if (!Exists()) return 0;
    Stmt s(*this, "SELECT count(*) FROM keys WHERE parent = ?1");
    s.Bind(1, key);
    s.Step();
    return s.Int(0);
  }

  void DeleteTree(std::int64_t key) {
    Stmt v(*this,
           "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id) "
           "DELETE FROM vals WHERE key IN sub");
    v.Bind(1, key);
    v.Step();
    Stmt k(*this,
           "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id) "
           "DELETE FROM keys WHERE id IN sub");
    k.Bind(1, key);
    k.Step();
  }

 private:
  [[noreturn]] void FailFile(int err, const char* what) const {
    const LONG code = (err == EACCES || err == EPERM || err == EROFS) ? ERROR_ACCESS_DENIED
                      : err == ENOENT || err == ENOTDIR              ? ERROR_PATH_NOT_FOUND
                                                                      : ERROR_REGISTRY_IO_FAILED;
    Fail(code, "The registry hive \"" + m_path + "\" " + what + ": " + std::strerror(err));
  }

  void CreateFile() {
    const std::size_t slash = m_path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
      // The machine hive's folder may be missing; the user hive's folder
      // exists already (SealvaneHome made it).
      const std::string folder = m_path.substr(0, slash);
      std::string partial;
      for (std::size_t pos = 1; pos != std::string::npos;) {
        pos = folder.find('/', pos + 1);
        partial = folder.substr(0, pos);
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) FailFile(errno, "cannot be created");
      }
    }
    const mode_t mode = m_kind == HiveKind::User ? 0600 : 0644;
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno == EEXIST) return;  // another process made it first
      FailFile(errno, "cannot be created");
    }
    ::close(fd);
  }

  bool FolderWritable() const {
    const std::size_t slash = m_path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : m_path.substr(0, slash);
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0;
  }

  // Checks that the file is a registry hive, and lays out a new one.
  void CheckSchema() {
    const int tables = CountTables();
    if (tables == 0) {
      if (!m_writable) return;  // an empty hive that cannot be written reads as empty
      Exec("BEGIN IMMEDIATE");
      try {
        if (CountTables() == 0) Initialise();  // another process may have done it meanwhile
        Exec("COMMIT");
      } catch (...) {
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
    }
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(m_db.get(), "SELECT version FROM hive_info", -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, StmtFinalizer> stmt(raw);
    if (rc != SQLITE_OK) {
      if ((rc & 0xFF) == SQLITE_ERROR) {
        Fail(ERROR_BADDB, "The file \"" + m_path + "\" is not a registry hive");
      }
      FailSql(rc);
    }
    const int step = sqlite3_step(stmt.get());
    if (step != SQLITE_ROW) {
      if (step == SQLITE_DONE) Fail(ERROR_BADDB, "The registry hive \"" + m_path + "\" is damaged");
      FailSql(step);
    }
    if (sqlite3_column_int(stmt.get(), 0) != kSchemaVersion) {
      Fail(ERROR_BADDB, "The registry hive \"" + m_path + "\" was made by another version of Sealvane");
    }
  }

  int CountTables() {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(m_db.get(), "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, StmtFinalizer> stmt(raw);
    if (rc != SQLITE_OK) FailSql(rc);
    rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW) FailSql(rc);
    return sqlite3_column_int(stmt.get(), 0);
  }

  void Initialise() {
    Exec("CREATE TABLE hive_info(version INTEGER NOT NULL);"
         "INSERT INTO hive_info(version) VALUES(1);"
         "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name BLOB NOT NULL,"
         " fold BLOB NOT NULL, UNIQUE(parent, fold));"
         "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name BLOB NOT NULL,"
         " fold BLOB NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
         "INSERT INTO keys(id, parent, name, fold) VALUES(1, 0, '', '');");
    if (m_kind != HiveKind::User) return;
    // HKEY_CLASSES_ROOT, and the documents folder that the shell would know.
    std::int64_t id = kRootId;
    for (const char* part : {"Software", "Classes"}) id = CreateChild(id, part);
    id = kRootId;
    for (const char* part : {"Software", "Microsoft", "Windows", "CurrentVersion", "Explorer", "User Shell Folders"}) {
      const auto existing = FindChild(id, part);
      id = existing ? *existing : CreateChild(id, part);
    }
    const std::string documents = DocumentsFolderSetting();
    SetValue(id, "Personal", REG_EXPAND_SZ, reinterpret_cast<const std::uint8_t*>(documents.c_str()),
             static_cast<DWORD>(documents.size() + 1));
  }

  std::string m_path;
  HiveKind m_kind;
  std::unique_ptr<sqlite3, DbCloser> m_db;
  bool m_writable = false;
  std::mutex m_mutex;
};

Stmt::Stmt(Hive& hive, const char* sql) : m_hive(hive) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(hive.Db(), sql, -1, &raw, nullptr);
  m_stmt.reset(raw);
  if (rc != SQLITE_OK) hive.FailSql(rc);
}

Stmt& Stmt::Bind(int index, std::int64_t v) {
  const int rc = sqlite3_bind_int64(m_stmt.get(), index, v);
  if (rc != SQLITE_OK) m_hive.FailSql(rc);
  return *this;
}

Stmt& Stmt::Bind(int index, std::string_view blob) {
  return BindBytes(index, reinterpret_cast<const std::uint8_t*>(blob.data()), blob.size());
}

Stmt& Stmt::BindBytes(int index, const std::uint8_t* data, std::size_t size) {
  static const std::uint8_t kEmpty = 0;
  const int rc = sqlite3_bind_blob64(m_stmt.get(), index, size == 0 ? &kEmpty : data, size, SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) m_hive.FailSql(rc);
  return *this;
}

bool Stmt::Step() {
  const int rc = sqlite3_step(m_stmt.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  m_hive.FailSql(rc);
}

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

// --- hive cache and handle table ---

std::mutex g_hiveMutex;
std::shared_ptr<Hive> g_userHive;
std::shared_ptr<Hive> g_machineHive;

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

struct KeyRef {
  std::shared_ptr<Hive> hive;
  std::int64_t id = kRootId;
  REGSAM access = KEY_ALL_ACCESS;
};

std::mutex g_handleMutex;
std::map<HKEY, KeyRef> g_handles;
HKEY g_nextHandle = 0x100;

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
                                 bool* created = nullptr) {
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
KeyRef Resolve(HKEY hKey, bool forWrite = false) {
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
  std::lock_guard lock(g_handleMutex);
  return g_handles.erase(hKey) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
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
