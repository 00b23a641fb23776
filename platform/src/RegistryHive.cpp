// SPDX-License-Identifier: GPL-3.0-or-later
// A registry hive on SQLite: opening and laying out the file, its statements,
// and the key and value queries.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RegistryInternal.h"
#include "sealvane/platform/Environment.h"

namespace sealvane::platform::registry {

void Hive::Open(bool create) {
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

void Hive::FailSql(int rc) const {
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

void Hive::Exec(const char* sql) {
  const int rc = sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) FailSql(rc);
}

std::optional<std::int64_t> Hive::FindChild(std::int64_t parent, std::string_view name) {
  if (!Exists()) return std::nullopt;
  Stmt s(*this, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  s.Bind(1, parent).Bind(2, Fold(name));
  if (!s.Step()) return std::nullopt;
  return s.Int(0);
}

std::int64_t Hive::CreateChild(std::int64_t parent, std::string_view name) {
  Stmt s(*this, "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
  s.Bind(1, parent).Bind(2, name).Bind(3, Fold(name));
  s.Step();
  return sqlite3_last_insert_rowid(m_db.get());
}

bool Hive::KeyExists(std::int64_t id) {
  if (!Exists()) return id == kRootId;
  Stmt s(*this, "SELECT 1 FROM keys WHERE id = ?1");
  s.Bind(1, id);
  return s.Step();
}

std::optional<Hive::Value> Hive::FindValue(std::int64_t key, std::string_view name) {
  if (!Exists()) return std::nullopt;
  Stmt s(*this, "SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2");
  s.Bind(1, key).Bind(2, Fold(name));
  if (!s.Step()) return std::nullopt;
  return Value{s.Blob(0), static_cast<DWORD>(s.Int(1)), s.Blob(2)};
}

void Hive::SetValue(std::int64_t key, std::string_view name, DWORD type, const std::uint8_t* data, DWORD size) {
  Stmt s(*this,
         "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
         "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
  s.Bind(1, key).Bind(2, name).Bind(3, Fold(name)).Bind(4, static_cast<std::int64_t>(type));
  s.BindBytes(5, data, size);
  s.Step();
}

bool Hive::DeleteValue(std::int64_t key, std::string_view name) {
  Stmt s(*this, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
  s.Bind(1, key).Bind(2, Fold(name));
  s.Step();
  return sqlite3_changes(m_db.get()) > 0;
}

std::int64_t Hive::CountChildren(std::int64_t key) {
  if (!Exists()) return 0;
  Stmt s(*this, "SELECT count(*) FROM keys WHERE parent = ?1");
  s.Bind(1, key);
  s.Step();
  return s.Int(0);
}

void Hive::DeleteTree(std::int64_t key) {
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

void Hive::FailFile(int err, const char* what) const {
  const LONG code = (err == EACCES || err == EPERM || err == EROFS) ? ERROR_ACCESS_DENIED
                    : err == ENOENT || err == ENOTDIR              ? ERROR_PATH_NOT_FOUND
                                                                    : ERROR_REGISTRY_IO_FAILED;
  Fail(code, "The registry hive \"" + m_path + "\" " + what + ": " + std::strerror(err));
}

void Hive::CreateFile() {
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

bool Hive::FolderWritable() const {
  const std::size_t slash = m_path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : m_path.substr(0, slash);
  return ::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0;
}

void Hive::CheckSchema() {
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

int Hive::CountTables() {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(m_db.get(), "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
  std::unique_ptr<sqlite3_stmt, StmtFinalizer> stmt(raw);
  if (rc != SQLITE_OK) FailSql(rc);
  rc = sqlite3_step(stmt.get());
  if (rc != SQLITE_ROW) FailSql(rc);
  return sqlite3_column_int(stmt.get(), 0);
}

void Hive::Initialise() {
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

}  // namespace sealvane::platform::registry
