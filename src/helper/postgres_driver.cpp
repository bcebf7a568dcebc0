#include "postgres_driver.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "kv7/platform/file_lock.h"

namespace kv7::helper {
namespace {

// The first key of kv7's advisory locks ("kv7"); the second says what for.
constexpr int kLockSpace = 0x6b7637;
constexpr int kHistoryLock = 1;  // creating the history table
constexpr int kTargetLock = 2;   // one deployment at a time per database

// How long connecting may take when the connection sets no timeout.
constexpr std::chrono::seconds kDefaultConnectTimeout{30};
// The pause between two tries of a target lock that is held.
constexpr std::chrono::milliseconds kLockPoll{100};

constexpr char kHistoryExists[] = "SELECT pg_catalog.to_regclass('kv7.deployed') IS NOT NULL";
// Two first deployments at once would both find no table, and CREATE ... IF
// NOT EXISTS fails rather than waits when another transaction is making the
// same object: the advisory lock makes the second wait for the first.
std::string CreateHistorySql() {
  return "BEGIN;"
         "SELECT pg_catalog.pg_advisory_xact_lock(" + std::to_string(kLockSpace) + ", " +
         std::to_string(kHistoryLock) + ");"
         "CREATE SCHEMA IF NOT EXISTS kv7;"
         "CREATE TABLE IF NOT EXISTS kv7.deployed ("
         "object_name text NOT NULL, kind text NOT NULL, sha256 text NOT NULL, "
         "created text NOT NULL, deployed_at timestamptz NOT NULL DEFAULT now(), "
         "PRIMARY KEY (object_name, kind));"
         "COMMIT";
}
constexpr char kReadHistory[] =
    "SELECT sha256, created FROM kv7.deployed WHERE object_name = $1 AND kind = $2";
constexpr char kWriteHistory[] =
    "INSERT INTO kv7.deployed (object_name, kind, sha256, created, deployed_at) "
    "VALUES ($1, $2, $3, $4, now()) ON CONFLICT (object_name, kind) DO UPDATE SET "
    "sha256 = excluded.sha256, created = excluded.created, deployed_at = excluded.deployed_at";

constexpr char kRelationKind[] =
    "SELECT c.relkind FROM pg_catalog.pg_class c WHERE c.oid = pg_catalog.to_regclass($1)";
constexpr char kTriggerExists[] =
    "SELECT 1 FROM pg_catalog.pg_trigger t "
    "WHERE t.tgrelid = pg_catalog.to_regclass($2) AND t.tgname = $1 AND NOT t.tgisinternal";
constexpr char kRoutineKind[] =
    "SELECT p.prokind FROM pg_catalog.pg_proc p WHERE p.oid = pg_catalog.to_regprocedure($1)";
// The overloads of a name, by the server's signature, always schema-qualified
// (regprocedure leaves out a schema on the search path).
constexpr char kOverloads[] =
    "SELECT CASE WHEN pg_catalog.pg_function_is_visible(p.oid) "
    "THEN pg_catalog.quote_ident(n.nspname) || '.' ELSE '' END "
    "|| p.oid::pg_catalog.regprocedure::text, p.prokind "
    "FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
    "WHERE n.nspname = $1 AND p.proname = $2 AND p.prokind IN ('f', 'p') ";
// Those that this transaction wrote: CREATE OR REPLACE writes a new row
// version too.
constexpr char kWrittenHere[] =
    "AND p.xmin = pg_catalog.pg_current_xact_id_if_assigned()::xid ";
// The indexes and triggers that a table's or view's drop takes along; not
// the indexes of its constraints, which its own CREATE makes again.
constexpr char kDependents[] =
    "SELECT 'index', i.relname, pg_catalog.pg_get_indexdef(i.oid), n.nspname "
    "FROM pg_catalog.pg_index x JOIN pg_catalog.pg_class i ON i.oid = x.indexrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid = i.relnamespace "
    "WHERE x.indrelid = pg_catalog.to_regclass($1) AND NOT EXISTS (SELECT 1 FROM "
    "pg_catalog.pg_constraint k WHERE k.conindid = x.indexrelid AND k.conrelid = x.indrelid) "
    "UNION ALL SELECT 'trigger', t.tgname, pg_catalog.pg_get_triggerdef(t.oid), NULL "
    "FROM pg_catalog.pg_trigger t "
    "WHERE t.tgrelid = pg_catalog.to_regclass($1) AND NOT t.tgisinternal ORDER BY 1, 2";
// A routine to run: by name, in its schema or (none given) on the search path.
constexpr char kFindRoutine[] =
    "SELECT p.prokind, n.nspname, p.proname, "
    "coalesce(pg_catalog.array_length(p.proallargtypes, 1), p.pronargs) "
    "FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
    "WHERE p.proname = $2 AND p.prokind IN ('f', 'p') AND CASE WHEN $1 = '' "
    "THEN pg_catalog.pg_function_is_visible(p.oid) ELSE n.nspname = $1 END ORDER BY p.oid";
constexpr char kTypeName[] =
    "SELECT pg_catalog.format_type(pg_catalog.to_regtype($1), NULL)";
constexpr char kTryTargetLock[] = "SELECT pg_catalog.pg_try_advisory_lock($1::int, $2::int)";
constexpr char kTargetHolder[] =
    "SELECT coalesce(nullif(a.application_name, ''), 'backend pid ' || a.pid || ' of user ' "
    "|| a.usename) || ' since ' || pg_catalog.to_char(a.backend_start, "
    "'MM/DD/YYYY HH24:MI:SS') FROM pg_catalog.pg_locks l "
    "JOIN pg_catalog.pg_stat_activity a ON a.pid = l.pid "
    "WHERE l.locktype = 'advisory' AND l.granted AND l.classid = $1::int::oid "
    "AND l.objid = $2::int::oid AND l.objsubid = 2 "
    "AND l.database = (SELECT oid FROM pg_catalog.pg_database "
    "WHERE datname = pg_catalog.current_database())";

struct ConnectionCloser {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
using ConnectionPtr = std::unique_ptr<PGconn, ConnectionCloser>;

struct ResultClearer {
  void operator()(PGresult* result) const { PQclear(result); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultClearer>;

// libpq's and the server's texts on one line: lines trimmed, joined by "; ".
std::string OneLine(std::string_view text) {
  std::string line;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view part = text.substr(0, end);
    std::size_t first = part.find_first_not_of(" \t\r");
    if (first != std::string_view::npos) {
      part = part.substr(first, part.find_last_not_of(" \t\r") + 1 - first);
      line.append(line.empty() ? "" : "; ").append(part);
    }
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return line;
}

std::string Field(const PGresult* result, int field) {
  const char* value = PQresultErrorField(result, field);
  return value ? value : "";
}

// The byte offset of a 1-based character position in UTF-8 text.
std::ptrdiff_t ByteOffset(std::string_view text, long position) {
  std::size_t at = 0;
  for (long n = 1; n < position && at < text.size(); ++n) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return static_cast<std::ptrdiff_t>(at);
}

// The server's refusals to replace an object in place.
bool IsReplaceRefusal(std::string_view state) {
  return state == "42P13" || state == "42P16" || state == "42809";
}

bool IsRoutine(ObjectKind kind) {
  return kind == ObjectKind::kFunction || kind == ObjectKind::kProcedure;
}

std::string_view RelationKinds(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::kTable: return "rp";
    case ObjectKind::kView: return "v";
    case ObjectKind::kIndex: return "iI";
    default: return "";
  }
}

ObjectKind RoutineKind(std::string_view prokind) {
  return prokind == "p" ? ObjectKind::kProcedure : ObjectKind::kFunction;
}

// A name part as the server reads it: unquoted parts folded.
std::string Folded(const NamePart& part) { return part.quoted ? part.text : FoldAscii(part.text); }

// "trigger" ON "schema"."table" into the trigger's name and its table's identity.
bool SplitTriggerIdentity(std::string_view identity, std::string* trigger, std::string* table) {
  constexpr std::string_view kOn = " ON ";
  std::size_t at = 0;
  if (!ReadQuotedName(identity, &at, trigger) || identity.substr(at, kOn.size()) != kOn)
    return false;
  *table = identity.substr(at + kOn.size());
  return true;
}

// A routine's name as the system displays it ("app"."f", "f", app.f) into
// its schema (empty when none is given) and name.
bool SplitRoutineName(std::string_view text, std::string* schema, std::string* name) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::string part;
    if (!ReadQuotedName(text, &at, &part)) {
      std::size_t end = std::min(text.find('.', at), text.size());
      part = FoldAscii(text.substr(at, end - at));
      at = end;
    }
    if (part.empty()) return false;
    parts.push_back(std::move(part));
    if (at == text.size()) break;
    if (text[at] != '.') return false;
    ++at;
  }
  if (parts.empty() || parts.size() > 2) return false;
  *name = parts.back();
  *schema = parts.size() == 2 ? parts.front() : "";
  return true;
}

// SERVER as host[:port]; "[::1]:5433" for an IPv6 address with a port.
void SplitServer(std::string_view server, std::string* host, std::string* port) {
  if (server.starts_with('[')) {
    std::size_t close = server.find(']');
    if (close != std::string_view::npos) {
      *host = server.substr(1, close - 1);
      if (server.substr(close + 1).starts_with(':')) *port = server.substr(close + 2);
      return;
    }
  }
  std::size_t colon = server.find(':');
  if (colon == std::string_view::npos || server.find(':', colon + 1) != std::string_view::npos) {
    *host = server;
    return;
  }
  *host = server.substr(0, colon);
  *port = server.substr(colon + 1);
}

// Opens a connection; on failure *message names the connection and gives
// libpq's reason. Settings left empty take libpq's defaults.
HRESULT Connect(const Connection& connection, const std::string& applicationName,
                ConnectionPtr* opened, std::string* message) {
  std::string host, port;
  SplitServer(ToUtf8(connection.Get(u"SERVER")), &host, &port);
  std::chrono::seconds timeout = TimeoutOf(connection);
  if (timeout.count() == 0) timeout = kDefaultConnectTimeout;
  const std::pair<const char*, std::string> settings[] = {
      {"host", host},
      {"port", port},
      {"dbname", ToUtf8(connection.Get(u"DATABASE"))},
      {"user", ToUtf8(connection.Get(u"DBUSER"))},
      // None given: libpq's own sources (PGPASSWORD, ~/.pgpass).
      {"password", ToUtf8(connection.Get(u"DBPASSWORD"))},
      {"application_name", applicationName},
      {"client_encoding", "UTF8"},
      {"connect_timeout", std::to_string(timeout.count())},
  };
  std::vector<const char*> keys, values;
  for (const auto& [key, value] : settings) {
    if (value.empty()) continue;
    keys.push_back(key);
    values.push_back(value.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  ConnectionPtr made(PQconnectdbParams(keys.data(), values.data(), 0));
  if (!made) {
    *message = ConnectionMessage(connection, "out of memory");
    return E_OUTOFMEMORY;
  }
  if (PQstatus(made.get()) != CONNECTION_OK) {
    *message = ConnectionMessage(connection, OneLine(PQerrorMessage(made.get())));
    return E_FAIL;
  }
  *opened = std::move(made);
  return S_OK;
}

// The statements of one connection: queries with text parameters and
// answers as failures that carry the server's message.
class Session {
 public:
  explicit Session(ConnectionPtr connection) : connection_(std::move(connection)) {}

  PGconn* get() const { return connection_.get(); }

  // Runs one statement with text parameters (none for NULL), or without
  // any the statements of `sql`; the result of the last when it succeeded,
  // else null with *error the server's message. A statement with
  // parameters is one of the library's own: it is prepared once per
  // session, so that the server parses and plans it once, not per item.
  ResultPtr Query(const char* sql, std::initializer_list<const char*> parameters,
                  std::string* error) {
    std::vector<const char*> values(parameters);
    if (values.empty()) return Checked(ResultPtr(PQexec(get(), sql)), error);
    ResultPtr result;
    if (FAILED(RunPrepared(sql, values, &result, error))) return nullptr;
    // Something the library did not see coming (a routine's dynamic SQL)
    // took the prepared statements away: they are made again, and the
    // statement runs once more unless a transaction failed with it.
    if (result && Field(result.get(), PG_DIAG_SQLSTATE) == "26000") {
      ForgetPrepared();
      if (PQtransactionStatus(get()) == PQTRANS_IDLE &&
          FAILED(RunPrepared(sql, values, &result, error)))
        return nullptr;
    }
    return Checked(std::move(result), error);
  }

  // Resets a lost connection: a new session, whose prepared statements
  // are made again.
  void Reset() {
    ForgetPrepared();
    PQreset(get());
  }

  // Prepares every statement again on its next use.
  void ForgetPrepared() { prepared_.clear(); }

  // The server's message of a failed result: its primary text and detail.
  std::string Message(const PGresult* result) const {
    std::string primary = Field(result, PG_DIAG_MESSAGE_PRIMARY);
    if (primary.empty()) return OneLine(PQerrorMessage(get()));
    std::string detail = OneLine(Field(result, PG_DIAG_MESSAGE_DETAIL));
    return detail.empty() ? primary : primary + ": " + detail;
  }

 private:
  // The result when it succeeded, else null with *error the server's
  // message.
  ResultPtr Checked(ResultPtr result, std::string* error) const {
    ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) return result;
    *error = result ? Message(result.get()) : OneLine(PQerrorMessage(get()));
    return nullptr;
  }

  // Runs `sql` as this session's prepared statement; E_FAIL with *error
  // when the server refused to prepare it.
  HRESULT RunPrepared(const char* sql, const std::vector<const char*>& values, ResultPtr* result,
                      std::string* error) {
    const std::string* name = Prepared(sql, static_cast<int>(values.size()), error);
    if (name == nullptr) return E_FAIL;
    result->reset(PQexecPrepared(get(), name->c_str(), static_cast<int>(values.size()),
                                 values.data(), nullptr, nullptr, 0));
    return S_OK;
  }

  // The name under which `sql` is prepared in this session; null with
  // *error when the server refused it. Prepared statements outlive the
  // transaction they were made in, a rolled-back one too.
  const std::string* Prepared(const char* sql, int count, std::string* error) {
    auto found = prepared_.find(sql);
    if (found != prepared_.end()) return &found->second;
    // Never a name used before in the session: an item may have taken away
    // some statements and left others.
    std::string name = "kv7_" + std::to_string(++prepareCount_);
    if (!Checked(ResultPtr(PQprepare(get(), name.c_str(), sql, count, nullptr)), error))
      return nullptr;
    return &prepared_.emplace(sql, std::move(name)).first->second;
  }

  ConnectionPtr connection_;
  std::unordered_map<std::string, std::string> prepared_;  // SQL -> statement name
  std::uint64_t prepareCount_ = 0;
};

class PostgresDriver final : public DeployDriver {
 public:
  PostgresDriver(ConnectionPtr connection, std::chrono::seconds timeout)
      : session_(std::move(connection)), timeout_(timeout) {}
  ~PostgresDriver() override {
    std::lock_guard lock(cancelMutex_);
    if (cancel_) PQfreeCancel(cancel_);
  }
  PostgresDriver(const PostgresDriver&) = delete;
  PostgresDriver& operator=(const PostgresDriver&) = delete;

  HRESULT Prepare();

  std::string CannotCreate(ObjectKind) const override { return {}; }
  bool ReplacesInPlace(ObjectKind kind) const override {
    return kind == ObjectKind::kView || IsRoutine(kind);
  }
  std::string Identify(const CreatedObject& object) const override;
  HRESULT Execute(std::string_view chunk) override;
  HRESULT Begin() override;
  HRESULT Commit() override;
  void Rollback() override;
  HRESULT Exists(const ObjectRef& object, bool* exists) override;
  HRESULT Instances(const ObjectRef& object, std::vector<ObjectRef>* found) override;
  HRESULT Recorded(const ObjectRef& object, std::vector<ObjectRef>* recorded) override;
  HRESULT RowCount(const std::string& table, std::int64_t* rows) override;
  HRESULT Dependents(const std::string& owner, std::vector<StoredObject>* dependents) override;
  HRESULT Drop(const ObjectRef& object) override { return Command(DropStatement(object)); }
  HRESULT ReadHistory(const std::string& objectName, const std::string& kind, HistoryRow* row,
                      bool* found) override;
  HRESULT WriteHistory(const HistoryRow& row) override;
  HRESULT CallRoutine(const RoutineCall& call, std::size_t maxRows,
                      RoutineOutput* output) override;
  void Interrupt() override {
    interrupted_ = true;
    Cancel();
  }
  void ClearInterrupt() override { interrupted_ = false; }

 private:
  // A routine to run, as the catalog has it.
  struct Routine {
    ObjectKind kind = ObjectKind::kFunction;
    std::string schema, name;
  };
  using RowHandler = std::function<void(const PGresult*)>;

  static void OnNotice(void* self, const PGresult* notice);

  void Cancel();
  // Remakes a connection that was lost (the server restarted), with its
  // session settings and cancel handle; S_OK when it is up.
  HRESULT Reconnect();
  HRESULT QueryFailure(const std::string& message) { return Fail(E_FAIL, message); }
  ResultPtr Query(const char* sql, std::initializer_list<const char*> parameters) {
    std::string error;
    ResultPtr result = session_.Query(sql, parameters, &error);
    if (!result) QueryFailure(error);
    return result;
  }
  HRESULT Command(const std::string& sql) {
    return Query(sql.c_str(), {}) ? S_OK : E_FAIL;
  }
  // Sends `sql` as one simple query, or with parameters when given, and
  // waits for all its results; rows go to `onRows` one by one in
  // single-row mode. The first failure is the answer, its position taken
  // as characters of `sql`.
  HRESULT Run(const std::string& sql, const std::vector<const char*>* parameters,
              const RowHandler& onRows);
  void Drain(PGresult* result);
  HRESULT ResultFailure(const PGresult* result, std::string_view sql);
  HRESULT Overloads(const ObjectRef& object, bool writtenHere, std::vector<ObjectRef>* found);
  HRESULT FindRoutine(const RoutineCall& call, Routine* routine);
  HRESULT CallText(const RoutineCall& call, const Routine& routine, std::string* sql,
                   std::vector<const char*>* values);
  // The schema of a name as CREATE places it, and the name's identity.
  std::string SchemaOf(const QualifiedName& name, bool temporary) const;
  std::string Qualified(const QualifiedName& name, bool temporary) const;

  Session session_;
  const std::chrono::seconds timeout_;
  std::string currentSchema_ = "public";
  std::atomic<bool> interrupted_{false};
  std::mutex cancelMutex_;
  PGcancel* cancel_ = nullptr;  // guarded by cancelMutex_
  // Where the server's notices go while a routine runs; null otherwise,
  // when they are dropped (libpq would print them on stderr).
  std::vector<std::string>* notices_ = nullptr;
};

HRESULT PostgresDriver::Prepare() {
  PQsetNoticeReceiver(session_.get(), OnNotice, this);
  {
    std::lock_guard lock(cancelMutex_);
    if (cancel_) PQfreeCancel(cancel_);
    cancel_ = PQgetCancel(session_.get());
  }
  if (timeout_.count() > 0 &&
      FAILED(Command("SET statement_timeout = " + std::to_string(timeout_.count() * 1000))))
    return E_FAIL;
  ResultPtr schema = Query("SELECT pg_catalog.current_schema()", {});
  if (!schema) return E_FAIL;
  if (!PQgetisnull(schema.get(), 0, 0)) currentSchema_ = PQgetvalue(schema.get(), 0, 0);
  ResultPtr exists = Query(kHistoryExists, {});
  if (!exists) return E_FAIL;
  if (PQgetvalue(exists.get(), 0, 0)[0] == 't') return S_OK;
  HRESULT hr = Command(CreateHistorySql());
  // A failure leaves the transaction that the text began open.
  if (FAILED(hr)) Rollback();
  return hr;
}

void PostgresDriver::OnNotice(void* self, const PGresult* notice) {
  auto* driver = static_cast<PostgresDriver*>(self);
  if (driver->notices_ == nullptr) return;
  driver->notices_->push_back(Field(notice, PG_DIAG_SEVERITY) + ": " +
                              OneLine(Field(notice, PG_DIAG_MESSAGE_PRIMARY)));
}

void PostgresDriver::Cancel() {
  std::lock_guard lock(cancelMutex_);
  char error[256];
  if (cancel_) (void)PQcancel(cancel_, error, sizeof error);
}

HRESULT PostgresDriver::Reconnect() {
  if (PQstatus(session_.get()) == CONNECTION_OK) return S_OK;
  session_.Reset();
  if (PQstatus(session_.get()) != CONNECTION_OK)
    return QueryFailure(OneLine(PQerrorMessage(session_.get())));
  return Prepare();
}

std::string PostgresDriver::SchemaOf(const QualifiedName& name, bool temporary) const {
  if (name.size() > 1) return Folded(name[name.size() - 2]);
  return temporary ? "pg_temp" : currentSchema_;
}

std::string PostgresDriver::Qualified(const QualifiedName& name, bool temporary) const {
  return QuoteName(SchemaOf(name, temporary)) + "." +
         QuoteName(name.empty() ? "" : Folded(name.back()));
}

std::string PostgresDriver::Identify(const CreatedObject& object) const {
  std::string name = QuoteName(Folded(object.name.back()));
  switch (object.kind) {
    case ObjectKind::kIndex:
      return QuoteName(SchemaOf(object.table, object.temporary)) + "." + name;
    case ObjectKind::kTrigger:
      return name + " ON " + Qualified(object.table, false);
    default:
      return Qualified(object.name, object.temporary);
  }
}

HRESULT PostgresDriver::Run(const std::string& sql, const std::vector<const char*>* parameters,
                            const RowHandler& onRows) {
  if (interrupted_) return Fail(E_ABORT, "interrupted");
  PGconn* connection = session_.get();
  int sent = parameters ? PQsendQueryParams(connection, sql.c_str(),
                                            static_cast<int>(parameters->size()), nullptr,
                                            parameters->data(), nullptr, nullptr, 0)
                        : PQsendQuery(connection, sql.c_str());
  if (!sent) return QueryFailure(OneLine(PQerrorMessage(connection)));
  if (onRows) PQsetSingleRowMode(connection);
  // An interrupt that came while the query was being sent missed it.
  if (interrupted_) Cancel();
  ResultPtr failure;
  while (ResultPtr result{PQgetResult(connection)}) {
    ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_FATAL_ERROR) {
      if (!failure) failure = std::move(result);
    } else if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
      if (onRows && !failure) onRows(result.get());
    } else {
      Drain(result.get());
    }
  }
  if (failure) return ResultFailure(failure.get(), sql);
  if (interrupted_) return Fail(E_ABORT, "interrupted");
  return S_OK;
}

// Ends the COPY that a statement of an item started: kv7 has no data to
// feed one, and reads none.
void PostgresDriver::Drain(PGresult* result) {
  PGconn* connection = session_.get();
  if (PQresultStatus(result) == PGRES_COPY_IN) {
    (void)PQputCopyEnd(connection, "kv7 has no data for COPY FROM STDIN");
  } else if (PQresultStatus(result) == PGRES_COPY_OUT) {
    char* buffer = nullptr;
    while (PQgetCopyData(connection, &buffer, 0) > 0) PQfreemem(buffer);
  }
}

HRESULT PostgresDriver::ResultFailure(const PGresult* result, std::string_view sql) {
  std::string state = Field(result, PG_DIAG_SQLSTATE);
  if (interrupted_) return Fail(E_ABORT, "interrupted");
  std::string position = Field(result, PG_DIAG_STATEMENT_POSITION);
  std::ptrdiff_t offset = position.empty() ? -1 : ByteOffset(sql, std::atol(position.c_str()));
  // 57014 is also a cancel from elsewhere; ours set interrupted_.
  if (state == "57014" && timeout_.count() > 0)
    return Fail(E_FAIL, TimeoutMessage(timeout_), offset);
  return Fail(E_FAIL, session_.Message(result), offset, IsReplaceRefusal(state));
}

// A chunk that may take prepared statements away (DEALLOCATE, DISCARD)
// makes the library prepare its own again: its history row is written next,
// in the same transaction, where a missing statement would fail the item.
HRESULT PostgresDriver::Execute(std::string_view chunk) {
  HRESULT hr = Run(std::string(chunk), nullptr, nullptr);
  const std::string folded = FoldAscii(chunk);
  if (folded.find("deallocate") != std::string::npos || folded.find("discard") != std::string::npos)
    session_.ForgetPrepared();
  return hr;
}

HRESULT PostgresDriver::Begin() {
  if (FAILED(Reconnect())) return E_FAIL;
  return Command("BEGIN");
}

// COMMIT of a transaction that failed answers ROLLBACK, not an error.
HRESULT PostgresDriver::Commit() {
  ResultPtr result = Query("COMMIT", {});
  if (!result) return E_FAIL;
  if (std::string_view(PQcmdStatus(result.get())) != "COMMIT")
    return QueryFailure("the server rolled the transaction back");
  return S_OK;
}

void PostgresDriver::Rollback() {
  for (int attempt = 0; attempt < 2 && PQtransactionStatus(session_.get()) != PQTRANS_IDLE &&
                        PQstatus(session_.get()) == CONNECTION_OK;
       ++attempt)
    ResultPtr(PQexec(session_.get(), "ROLLBACK"));
}

HRESULT PostgresDriver::Exists(const ObjectRef& object, bool* exists) {
  ResultPtr result;
  std::string trigger, table;
  if (object.kind == ObjectKind::kTrigger) {
    if (!SplitTriggerIdentity(object.identity, &trigger, &table))
      return Fail(E_INVALIDARG, "not a trigger identity: " + object.identity);
    result = Query(kTriggerExists, {trigger.c_str(), table.c_str()});
  } else {
    result = Query(IsRoutine(object.kind) ? kRoutineKind : kRelationKind,
                   {object.identity.c_str()});
  }
  if (!result) return E_FAIL;
  std::string_view answer = PQntuples(result.get()) > 0 ? PQgetvalue(result.get(), 0, 0) : "";
  if (object.kind == ObjectKind::kTrigger) *exists = !answer.empty();
  else if (IsRoutine(object.kind)) *exists = !answer.empty() && RoutineKind(answer) == object.kind;
  else *exists = answer.size() == 1 && RelationKinds(object.kind).find(answer[0]) != std::string_view::npos;
  return S_OK;
}

HRESULT PostgresDriver::Overloads(const ObjectRef& object, bool writtenHere,
                                  std::vector<ObjectRef>* found) {
  std::string schema, name;
  if (!SplitIdentity(object.identity, &schema, &name))
    return Fail(E_INVALIDARG, "not a routine identity: " + object.identity);
  std::string sql = std::string(kOverloads) + (writtenHere ? kWrittenHere : "") + "ORDER BY p.oid";
  ResultPtr result = Query(sql.c_str(), {schema.c_str(), name.c_str()});
  if (!result) return E_FAIL;
  for (int row = 0; row < PQntuples(result.get()); ++row)
    found->push_back({RoutineKind(PQgetvalue(result.get(), row, 1)),
                      PQgetvalue(result.get(), row, 0)});
  return S_OK;
}

HRESULT PostgresDriver::Instances(const ObjectRef& object, std::vector<ObjectRef>* found) {
  if (!IsRoutine(object.kind)) return DeployDriver::Instances(object, found);
  return Overloads(object, false, found);
}

// An item that runs without the library's transaction may have made its
// routine in a transaction of its own: then every overload counts.
HRESULT PostgresDriver::Recorded(const ObjectRef& object, std::vector<ObjectRef>* recorded) {
  if (!IsRoutine(object.kind)) return DeployDriver::Recorded(object, recorded);
  std::size_t before = recorded->size();
  if (FAILED(Overloads(object, true, recorded))) return E_FAIL;
  return recorded->size() > before ? S_OK : Overloads(object, false, recorded);
}

HRESULT PostgresDriver::RowCount(const std::string& table, std::int64_t* rows) {
  ResultPtr result = Query(("SELECT count(*) FROM " + table).c_str(), {});
  if (!result) return E_FAIL;
  *rows = std::atoll(PQgetvalue(result.get(), 0, 0));
  return S_OK;
}

HRESULT PostgresDriver::Dependents(const std::string& owner,
                                   std::vector<StoredObject>* dependents) {
  ResultPtr result = Query(kDependents, {owner.c_str()});
  if (!result) return E_FAIL;
  for (int row = 0; row < PQntuples(result.get()); ++row) {
    StoredObject dependent;
    KindFromName(PQgetvalue(result.get(), row, 0), &dependent.object.kind);
    dependent.name = PQgetvalue(result.get(), row, 1);
    dependent.definition = PQgetvalue(result.get(), row, 2);
    dependent.object.identity =
        dependent.object.kind == ObjectKind::kIndex
            ? QuoteName(PQgetvalue(result.get(), row, 3)) + "." + QuoteName(dependent.name)
            : QuoteName(dependent.name) + " ON " + owner;
    dependents->push_back(std::move(dependent));
  }
  return S_OK;
}

HRESULT PostgresDriver::ReadHistory(const std::string& objectName, const std::string& kind,
                                    HistoryRow* row, bool* found) {
  ResultPtr result = Query(kReadHistory, {objectName.c_str(), kind.c_str()});
  if (!result) return E_FAIL;
  *found = PQntuples(result.get()) > 0;
  if (!*found) return S_OK;
  row->objectName = objectName;
  row->kind = kind;
  row->sha256 = PQgetvalue(result.get(), 0, 0);
  row->created.clear();
  if (!DecodeCreated(PQgetvalue(result.get(), 0, 1), &row->created))
    return QueryFailure("kv7.deployed: the row of " + objectName + " (" + kind +
                        ") does not list its objects as kv7 writes them");
  return S_OK;
}

HRESULT PostgresDriver::WriteHistory(const HistoryRow& row) {
  std::string created = EncodeCreated(row.created);
  return Query(kWriteHistory, {row.objectName.c_str(), row.kind.c_str(), row.sha256.c_str(),
                               created.c_str()})
             ? S_OK
             : E_FAIL;
}

// Of the routines of that name, the one whose parameters (OUT ones too)
// the call lists, else the first: the server picks among overloads of one
// kind by the call's types anyway.
HRESULT PostgresDriver::FindRoutine(const RoutineCall& call, Routine* routine) {
  std::string schema, name;
  if (!SplitRoutineName(call.routine, &schema, &name))
    return Fail(E_INVALIDARG, "not a procedure name: " + call.routine);
  ResultPtr result = Query(kFindRoutine, {schema.c_str(), name.c_str()});
  if (!result) return E_FAIL;
  int rows = PQntuples(result.get());
  if (rows == 0)
    return Fail(E_FAIL, "the database has no procedure or function " + call.routine);
  int chosen = 0;
  for (int row = 0; row < rows; ++row)
    if (std::atol(PQgetvalue(result.get(), row, 3)) == static_cast<long>(call.parameters.size()))
      chosen = row;
  routine->kind = RoutineKind(PQgetvalue(result.get(), chosen, 0));
  routine->schema = PQgetvalue(result.get(), chosen, 1);
  routine->name = PQgetvalue(result.get(), chosen, 2);
  return S_OK;
}

// CALL for a procedure, its OUT parameters as NULL placeholders; SELECT *
// FROM for a function, which takes none. Values are cast to their types as
// the server spells them, so that overloads resolve and a wrong value gets
// the server's own message.
HRESULT PostgresDriver::CallText(const RoutineCall& call, const Routine& routine,
                                 std::string* sql, std::vector<const char*>* values) {
  bool procedure = routine.kind == ObjectKind::kProcedure;
  std::string arguments;
  for (const RoutineParameter& parameter : call.parameters) {
    bool out = parameter.mode == "OUT";
    if (out && !procedure) continue;
    std::string cast;
    if (!parameter.type.empty()) {
      ResultPtr type = Query(kTypeName, {parameter.type.c_str()});
      if (!type) return E_FAIL;
      if (PQgetisnull(type.get(), 0, 0))
        return Fail(E_FAIL, "parameter " + parameter.name + ": the database has no type " +
                                parameter.type);
      cast = "::" + std::string(PQgetvalue(type.get(), 0, 0));
    }
    if (!arguments.empty()) arguments += ", ";
    if (out) {
      arguments += "NULL" + cast;
      continue;
    }
    values->push_back(parameter.value ? parameter.value->c_str() : nullptr);
    arguments += "$" + std::to_string(values->size()) + cast;
  }
  std::string name = QuoteName(routine.schema) + "." + QuoteName(routine.name);
  *sql = (procedure ? "CALL " : "SELECT * FROM ") + name + "(" + arguments + ")";
  return S_OK;
}

HRESULT PostgresDriver::CallRoutine(const RoutineCall& call, std::size_t maxRows,
                                    RoutineOutput* output) {
  Routine routine;
  std::string sql;
  std::vector<const char*> values;
  if (FAILED(Reconnect()) || FAILED(FindRoutine(call, &routine)) ||
      FAILED(CallText(call, routine, &sql, &values)))
    return E_FAIL;
  output->name = routine.schema + "." + routine.name;
  output->function = routine.kind == ObjectKind::kFunction;
  auto onRows = [&](const PGresult* result) {
    if (output->columns.empty())
      for (int column = 0; column < PQnfields(result); ++column)
        output->columns.push_back(PQfname(result, column));
    for (int row = 0; row < PQntuples(result); ++row, ++output->totalRows) {
      if (output->rows.size() >= maxRows) continue;
      RoutineOutput::Row& kept = output->rows.emplace_back();
      for (int column = 0; column < PQnfields(result); ++column)
        kept.push_back(PQgetisnull(result, row, column)
                             ? std::nullopt
                             : std::optional<std::string>(PQgetvalue(result, row, column)));
    }
  };
  notices_ = &output->notices;
  HRESULT hr = Run(sql, &values, onRows);
  notices_ = nullptr;
  return hr;
}

// The holder of a PostgreSQL target lock: the session advisory lock lives as
// long as the connection kept for it.
class PostgresTargetLock final : public TargetLock {
 public:
  explicit PostgresTargetLock(ConnectionPtr connection) : session_(std::move(connection)) {}

  HRESULT Acquire(double waitSeconds, std::string* holder) override {
    if (held_) return S_OK;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(waitSeconds > 0 ? waitSeconds : 0);
    const std::string space = std::to_string(kLockSpace), key = std::to_string(kTargetLock);
    for (;;) {
      ResultPtr taken = session_.Query(kTryTargetLock, {space.c_str(), key.c_str()}, holder);
      if (!taken) return E_FAIL;
      if (PQgetvalue(taken.get(), 0, 0)[0] == 't') {
        held_ = true;
        return S_OK;
      }
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(kLockPoll);
    }
    ResultPtr found = session_.Query(kTargetHolder, {space.c_str(), key.c_str()}, holder);
    if (!found) return E_FAIL;
    // The holder may have let go since the last try.
    *holder = PQntuples(found.get()) > 0 ? PQgetvalue(found.get(), 0, 0) : "another session";
    return KV7_E_LOCKED;
  }

 private:
  Session session_;
  bool held_ = false;
};

std::string LockApplicationName() {
  char host[256] = "";
  (void)gethostname(host, sizeof host - 1);
  return "kv7 pid " + std::to_string(getpid()) + " on " + host;
}

}  // namespace

HRESULT OpenPostgresDriver(const Connection& connection, std::unique_ptr<DeployDriver>* driver,
                           std::string* message) {
  ConnectionPtr opened;
  HRESULT hr = Connect(connection, "kv7", &opened, message);
  if (FAILED(hr)) return hr;
  auto made = std::make_unique<PostgresDriver>(std::move(opened), TimeoutOf(connection));
  if (FAILED(made->Prepare())) {
    *message = ConnectionMessage(connection, made->LastError().message);
    return E_FAIL;
  }
  *driver = std::move(made);
  return S_OK;
}

HRESULT OpenPostgresTargetLock(const Connection& connection, std::unique_ptr<TargetLock>* lock,
                               std::string* message) {
  ConnectionPtr opened;
  HRESULT hr = Connect(connection, LockApplicationName(), &opened, message);
  if (FAILED(hr)) return hr;
  *lock = std::make_unique<PostgresTargetLock>(std::move(opened));
  return S_OK;
}

}  // namespace kv7::helper
