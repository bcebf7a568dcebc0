#include "sqlite_driver.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "deploy_history.h"
#include "sql_lexer.h"

namespace kv7::helper {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kReadHistory[] =
    "SELECT sha256, created FROM kv7_deployed WHERE object_name = ?1 AND kind = ?2";
constexpr char kSchemaCookie[] = "PRAGMA main.schema_version";
constexpr char kReadNames[] =
    "SELECT type, name FROM main.sqlite_schema WHERE type IN ('index', 'trigger', 'view')";

// Virtual machine steps between two looks at the interrupt flag and the
// statement's deadline.
constexpr int kProgressSteps = 1000;
// Lookups at one schema cookie after which the names of main are read in
// one pass: more than one item's own objects, so that a deployment, whose
// every item changes the schema, never reads them.
constexpr int kStillLookups = 16;

struct Finalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, Finalizer>;

// Puts a cached statement back to its start when its use ends.
class CachedUse {
 public:
  explicit CachedUse(sqlite3_stmt* statement) : statement_(statement) {}
  ~CachedUse() { sqlite3_reset(statement_); }
  CachedUse(const CachedUse&) = delete;
  CachedUse& operator=(const CachedUse&) = delete;

 private:
  sqlite3_stmt* statement_;
};

void BindText(sqlite3_stmt* statement, int index, std::string_view text) {
  sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
              : std::string();
}

std::string Identity(std::string_view schema, std::string_view name) {
  return QuoteName(FoldAscii(schema)) + "." + QuoteName(FoldAscii(name));
}

// An object's key among the names of main: "kind identity".
std::string NameKey(ObjectKind kind, std::string_view identity) {
  std::string key(KindName(kind));
  key += ' ';
  key += identity;
  return key;
}

class SqliteDriver final : public DeployDriver {
 public:
  explicit SqliteDriver(std::chrono::seconds timeout) : timeout_(timeout) {}
  ~SqliteDriver() override {
    for (auto& entry : cache_) sqlite3_finalize(entry.second);
    sqlite3_close(db_);
  }
  SqliteDriver(const SqliteDriver&) = delete;
  SqliteDriver& operator=(const SqliteDriver&) = delete;

  HRESULT Open(const std::string& path, std::string* message);

  std::string CannotCreate(ObjectKind kind) const override {
    if (kind != ObjectKind::kFunction && kind != ObjectKind::kProcedure) return {};
    return "the configuration's database is SQLite, which has no procedures or functions";
  }
  std::string Identify(const CreatedObject& object) const override;
  HRESULT Execute(std::string_view chunk) override;
  HRESULT Begin() override;
  HRESULT Commit() override { return RunCached("COMMIT"); }
  void Rollback() override;
  HRESULT Exists(const ObjectRef& object, bool* exists) override;
  HRESULT RowCount(const std::string& table, std::int64_t* rows) override;
  HRESULT Dependents(const std::string& owner, std::vector<StoredObject>* dependents) override;
  HRESULT Drop(const ObjectRef& object) override { return RunOnce(DropStatement(object)); }
  HRESULT ReadHistory(const std::string& objectName, const std::string& kind, HistoryRow* row,
                      bool* found) override;
  HRESULT WriteHistory(const HistoryRow& row) override;
  HRESULT CallRoutine(const RoutineCall&, std::size_t, RoutineOutput*) override {
    return Fail(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED),
                "the configuration's database is SQLite, which has no stored procedures");
  }
  void Interrupt() override {
    interrupted_ = true;
    sqlite3_interrupt(db_);
  }
  void ClearInterrupt() override { interrupted_ = false; }

 private:
  static int OnProgress(void* self);
  static int OnBusy(void* self, int attempt);

  // The database's failure `code`, pointing at `offset` in the chunk.
  HRESULT DatabaseFailure(int code, std::ptrdiff_t offset = -1);
  HRESULT BadIdentity(const std::string& identity) {
    return Fail(E_INVALIDARG, "not an object identity: " + identity);
  }
  // Whether an index, trigger or view of main exists, answered from the
  // names read in one pass of sqlite_schema (which has no index by name);
  // S_FALSE when they cannot answer now, and the object is probed.
  HRESULT KnownName(const ObjectRef& object, bool* exists);
  HRESULT ReadNames(std::int64_t cookie);
  // Asks SQLite's schema for one object by preparing its DROP, which looks
  // the object up and fails when there is none; the statement never runs.
  HRESULT Probe(const ObjectRef& object, bool* exists);
  HRESULT SchemaCookie(std::int64_t* cookie);
  // A statement kept prepared for the life of the connection; null on failure.
  sqlite3_stmt* Cached(const std::string& sql);
  HRESULT RunCached(const std::string& sql);
  HRESULT RunOnce(const std::string& sql);
  // Steps a statement to its end; SQLITE_DONE or the failure's code.
  static int StepToEnd(sqlite3_stmt* statement);

  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> cache_;
  const std::chrono::seconds timeout_;
  // The deadline of the running chunk statement, when the connection has one.
  std::optional<Clock::time_point> deadline_;
  bool timedOut_ = false;
  bool rollingBack_ = false;
  Clock::time_point busySince_;
  std::atomic<bool> interrupted_{false};

  // The names of main's indexes, triggers and views (by NameKey), as read
  // at schema cookie namesCookie_. The cookie moves with every change of
  // main's schema, this connection's or another's; names are read only
  // from a committed schema (the one the transaction began with), which a
  // rollback cannot take back.
  std::unordered_set<std::string> names_;
  std::int64_t namesCookie_ = -1;
  std::int64_t beginCookie_ = -1;  // of the open transaction
  std::int64_t lastCookie_ = -1;   // at the last lookup
  int stillLookups_ = 0;           // lookups in a row at lastCookie_
};

HRESULT SqliteDriver::Open(const std::string& path, std::string* message) {
  int code = sqlite3_open_v2(path.c_str(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
  if (code != SQLITE_OK) {
    *message = "cannot open the database file " + path + ": " + sqlite3_errmsg(db_);
    return E_FAIL;
  }
  sqlite3_busy_handler(db_, OnBusy, this);
  sqlite3_progress_handler(db_, kProgressSteps, OnProgress, this);
  HRESULT hr = RunOnce(kCreateSqliteHistory);
  if (FAILED(hr)) *message = path + ": " + LastError().message;
  return hr;
}

int SqliteDriver::OnProgress(void* self) {
  auto* driver = static_cast<SqliteDriver*>(self);
  if (driver->rollingBack_) return 0;
  if (driver->interrupted_.load(std::memory_order_relaxed)) return 1;
  if (driver->deadline_ && Clock::now() >= *driver->deadline_) {
    driver->timedOut_ = true;
    return 1;
  }
  return 0;
}

// Waits for another connection's lock, giving up at the connection's timeout
// or when interrupted.
int SqliteDriver::OnBusy(void* self, int attempt) {
  auto* driver = static_cast<SqliteDriver*>(self);
  Clock::time_point now = Clock::now();
  if (attempt == 0) driver->busySince_ = now;
  if (driver->interrupted_ ||
      (driver->timeout_.count() > 0 && now - driver->busySince_ >= driver->timeout_))
    return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(attempt + 1, 20)));
  return 1;
}

// An interrupt also ends a wait for another connection's lock, which then
// fails as busy: any failure after one is the interrupt's.
HRESULT SqliteDriver::DatabaseFailure(int code, std::ptrdiff_t offset) {
  if (interrupted_) return Fail(E_ABORT, "interrupted", offset);
  if ((code & 0xff) == SQLITE_INTERRUPT && timedOut_)
    return Fail(E_FAIL, TimeoutMessage(timeout_), offset);
  return Fail(E_FAIL, sqlite3_errmsg(db_), offset);
}

sqlite3_stmt* SqliteDriver::Cached(const std::string& sql) {
  auto found = cache_.find(sql);
  if (found != cache_.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  int code = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (code != SQLITE_OK) {
    DatabaseFailure(code);
    return nullptr;
  }
  cache_.emplace(sql, statement);
  return statement;
}

int SqliteDriver::StepToEnd(sqlite3_stmt* statement) {
  int code;
  while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  return code;
}

HRESULT SqliteDriver::RunCached(const std::string& sql) {
  sqlite3_stmt* statement = Cached(sql);
  if (statement == nullptr) return E_FAIL;
  CachedUse use(statement);
  int code = StepToEnd(statement);
  return code == SQLITE_DONE ? S_OK : DatabaseFailure(code);
}

HRESULT SqliteDriver::RunOnce(const std::string& sql) {
  sqlite3_stmt* prepared = nullptr;
  int code = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &prepared, nullptr);
  StatementPtr statement(prepared);
  if (code != SQLITE_OK) return DatabaseFailure(code);
  code = StepToEnd(statement.get());
  return code == SQLITE_DONE ? S_OK : DatabaseFailure(code);
}

HRESULT SqliteDriver::Execute(std::string_view chunk) {
  std::size_t at = 0;
  while (at < chunk.size()) {
    if (interrupted_) return DatabaseFailure(SQLITE_INTERRUPT, static_cast<std::ptrdiff_t>(at));
    // A failure at run time points at the statement's first token.
    SqlToken first;
    std::size_t start = SqlLexer(chunk, at).Next(&first) ? first.begin : at;
    sqlite3_stmt* prepared = nullptr;
    const char* tail = nullptr;
    int code = sqlite3_prepare_v3(db_, chunk.data() + at, static_cast<int>(chunk.size() - at), 0,
                                  &prepared, &tail);
    StatementPtr statement(prepared);
    if (code != SQLITE_OK) {
      int offset = sqlite3_error_offset(db_);
      return DatabaseFailure(code, offset >= 0 ? static_cast<std::ptrdiff_t>(at) + offset
                                               : static_cast<std::ptrdiff_t>(start));
    }
    if (!statement) break;  // only blanks and comments were left
    timedOut_ = false;
    if (timeout_.count() > 0) deadline_ = Clock::now() + timeout_;
    code = StepToEnd(statement.get());
    deadline_.reset();
    if (code != SQLITE_DONE) return DatabaseFailure(code, static_cast<std::ptrdiff_t>(start));
    at = static_cast<std::size_t>(tail - chunk.data());
  }
  return S_OK;
}

HRESULT SqliteDriver::Begin() {
  if (FAILED(RunCached("BEGIN IMMEDIATE"))) return E_FAIL;
  if (SUCCEEDED(SchemaCookie(&beginCookie_))) return S_OK;
  Rollback();
  return E_FAIL;
}

HRESULT SqliteDriver::SchemaCookie(std::int64_t* cookie) {
  sqlite3_stmt* statement = Cached(kSchemaCookie);
  if (statement == nullptr) return E_FAIL;
  CachedUse use(statement);
  int code = sqlite3_step(statement);
  if (code != SQLITE_ROW) return DatabaseFailure(code);
  *cookie = sqlite3_column_int64(statement, 0);
  return S_OK;
}

void SqliteDriver::Rollback() {
  // An interrupt that lands on the ROLLBACK itself can stop it; try again.
  rollingBack_ = true;
  for (int attempt = 0; attempt < 3 && sqlite3_get_autocommit(db_) == 0; ++attempt)
    (void)RunCached("ROLLBACK");
  rollingBack_ = false;
}

std::string SqliteDriver::Identify(const CreatedObject& object) const {
  const QualifiedName& name = object.name;
  std::string_view schema = name.size() > 1    ? std::string_view(name[name.size() - 2].text)
                            : object.temporary ? "temp"
                                               : "main";
  return Identity(schema, name.back().text);
}

HRESULT SqliteDriver::Exists(const ObjectRef& object, bool* exists) {
  if (object.kind == ObjectKind::kTable) {
    std::string schema, name;
    if (!SplitIdentity(object.identity, &schema, &name)) return BadIdentity(object.identity);
    // Answered from the schema SQLite holds in memory; views are refused.
    int code = sqlite3_table_column_metadata(db_, schema.c_str(), name.c_str(), nullptr, nullptr,
                                             nullptr, nullptr, nullptr, nullptr);
    *exists = code == SQLITE_OK;
    return code == SQLITE_OK || code == SQLITE_ERROR ? S_OK : DatabaseFailure(code);
  }
  HRESULT hr = KnownName(object, exists);
  return hr == S_FALSE ? Probe(object, exists) : hr;
}

// Preparing a DROP costs a statement's compilation when the object exists:
// an unchanged item's objects all exist, and a build of unchanged items
// asks for each of them with the schema standing still.
HRESULT SqliteDriver::KnownName(const ObjectRef& object, bool* exists) {
  if (!object.identity.starts_with("\"main\".")) return S_FALSE;
  std::int64_t cookie = 0;
  if (FAILED(SchemaCookie(&cookie))) return E_FAIL;
  if (cookie != namesCookie_) {
    stillLookups_ = cookie == lastCookie_ ? stillLookups_ + 1 : 0;
    lastCookie_ = cookie;
    const bool committed = sqlite3_get_autocommit(db_) != 0 || cookie == beginCookie_;
    if (!committed || stillLookups_ < kStillLookups) return S_FALSE;
    if (FAILED(ReadNames(cookie))) return E_FAIL;
  }
  *exists = names_.count(NameKey(object.kind, object.identity)) != 0;
  return S_OK;
}

HRESULT SqliteDriver::ReadNames(std::int64_t cookie) {
  names_.clear();
  namesCookie_ = -1;
  sqlite3_stmt* statement = Cached(kReadNames);
  if (statement == nullptr) return E_FAIL;
  CachedUse use(statement);
  int code;
  while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
    ObjectKind kind;
    if (KindFromName(ColumnText(statement, 0), &kind))
      names_.insert(NameKey(kind, Identity("main", ColumnText(statement, 1))));
  }
  if (code != SQLITE_DONE) {
    names_.clear();
    return DatabaseFailure(code);
  }
  namesCookie_ = cookie;
  return S_OK;
}

HRESULT SqliteDriver::Probe(const ObjectRef& object, bool* exists) {
  sqlite3_stmt* prepared = nullptr;
  std::string sql = DropStatement(object);
  int code = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &prepared, nullptr);
  StatementPtr statement(prepared);
  *exists = code == SQLITE_OK;
  return code == SQLITE_OK || code == SQLITE_ERROR ? S_OK : DatabaseFailure(code);
}

HRESULT SqliteDriver::RowCount(const std::string& table, std::int64_t* rows) {
  sqlite3_stmt* prepared = nullptr;
  std::string sql = "SELECT count(*) FROM " + table;
  int code = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &prepared, nullptr);
  StatementPtr statement(prepared);
  if (code != SQLITE_OK) return DatabaseFailure(code);
  code = sqlite3_step(statement.get());
  if (code != SQLITE_ROW) return DatabaseFailure(code);
  *rows = sqlite3_column_int64(statement.get(), 0);
  return S_OK;
}

HRESULT SqliteDriver::Dependents(const std::string& owner,
                                 std::vector<StoredObject>* dependents) {
  std::string schema, name;
  if (!SplitIdentity(owner, &schema, &name)) return BadIdentity(owner);
  // Automatic indexes (of UNIQUE and PRIMARY KEY) have no definition: the
  // table's own makes them again.
  sqlite3_stmt* statement =
      Cached("SELECT type, name, sql FROM " + QuoteName(schema) +
             ".sqlite_schema WHERE tbl_name = ?1 COLLATE NOCASE"
             " AND type IN ('index', 'trigger') AND sql IS NOT NULL");
  if (statement == nullptr) return E_FAIL;
  CachedUse use(statement);
  BindText(statement, 1, name);
  int code;
  while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
    StoredObject dependent;
    KindFromName(ColumnText(statement, 0), &dependent.object.kind);
    dependent.name = ColumnText(statement, 1);
    dependent.object.identity = Identity(schema, dependent.name);
    dependent.definition = ColumnText(statement, 2);
    dependents->push_back(std::move(dependent));
  }
  return code == SQLITE_DONE ? S_OK : DatabaseFailure(code);
}

HRESULT SqliteDriver::ReadHistory(const std::string& objectName, const std::string& kind,
                                  HistoryRow* row, bool* found) {
  sqlite3_stmt* statement = Cached(kReadHistory);
  if (statement == nullptr) return E_FAIL;
  CachedUse use(statement);
  BindText(statement, 1, objectName);
  BindText(statement, 2, kind);
  int code = sqlite3_step(statement);
  *found = code == SQLITE_ROW;
  if (code == SQLITE_DONE) return S_OK;
  if (code != SQLITE_ROW) return DatabaseFailure(code);
  row->objectName = objectName;
  row->kind = kind;
  row->sha256 = ColumnText(statement, 0);
  row->created.clear();
  if (!DecodeCreated(ColumnText(statement, 1), &row->created))
    return Fail(E_FAIL, "kv7_deployed: the row of " + objectName + " (" + kind +
                            ") does not list its objects as kv7 writes them");
  return S_OK;
}

HRESULT SqliteDriver::WriteHistory(const HistoryRow& row) {
  sqlite3_stmt* statement = Cached(kWriteSqliteHistory);
  if (statement == nullptr) return E_FAIL;
  CachedUse use(statement);
  std::string created = EncodeCreated(row.created);
  BindText(statement, 1, row.objectName);
  BindText(statement, 2, row.kind);
  BindText(statement, 3, row.sha256);
  BindText(statement, 4, created);
  int code = sqlite3_step(statement);
  return code == SQLITE_DONE ? S_OK : DatabaseFailure(code);
}

}  // namespace

HRESULT SqliteDatabasePath(const Connection& connection, WStringView projectFolder,
                           std::filesystem::path* path, std::string* message) {
  *path = ToUtf8(connection.Get(u"DATABASE"));
  if (path->empty()) {
    *message = ConnectionMessage(connection, "it names no database file");
    return E_INVALIDARG;
  }
  if (path->is_relative() && !projectFolder.empty())
    *path = std::filesystem::path(ToUtf8(projectFolder)) / *path;
  std::filesystem::path directory = path->parent_path();
  std::error_code error;
  if (!directory.empty() && !std::filesystem::is_directory(directory, error)) {
    *message = ConnectionMessage(connection, "cannot open the database file " + path->string() +
                                                 ": its directory " + directory.string() +
                                                 " does not exist");
    return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  }
  return S_OK;
}

HRESULT OpenSqliteDriver(const Connection& connection, WStringView projectFolder,
                         std::unique_ptr<DeployDriver>* driver, std::string* message) {
  std::filesystem::path path;
  HRESULT hr = SqliteDatabasePath(connection, projectFolder, &path, message);
  if (FAILED(hr)) return hr;
  auto opened = std::make_unique<SqliteDriver>(TimeoutOf(connection));
  std::string why;
  hr = opened->Open(path.string(), &why);
  if (FAILED(hr)) {
    *message = ConnectionMessage(connection, why);
    return hr;
  }
  *driver = std::move(opened);
  return S_OK;
}

}  // namespace kv7::helper
