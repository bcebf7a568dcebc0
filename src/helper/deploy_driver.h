// The database behind one deployment connection, as the deployment engine
// (deploy_engine.h) drives it. A driver serves one connection and is used by
// one thread at a time: the connection's worker or a synchronous caller.
// Only Interrupt may be called from another thread meanwhile.
//
// Objects are named by their identity: the text by which the driver's
// database knows an object of its kind (on SQLite the schema and the name,
// quoted and in lower case, as SQLite compares names ignoring ASCII case).
// Identities are made by Identify and come back from Dependents and the
// deployment history; the engine only compares them and hands them back.
//
// Every operation that fails returns a failed status and leaves the
// database's message (and, for Execute, where in the chunk it failed) in
// LastError().
//
// Besides deployments a driver runs stored routines (CallRoutine), for the
// procedure runs of routine_run.h.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection_catalogue.h"
#include "item_analysis.h"
#include "kv7/platform/hresult.h"

namespace kv7::helper {

struct ObjectRef {
  ObjectKind kind = ObjectKind::kTable;
  std::string identity;
};

// An object with its name as the database keeps it and the definition it
// was created from (the CREATE statement the database stored).
struct StoredObject {
  ObjectRef object;
  std::string name;
  std::string definition;
};

// One row of the deployment history: the item deployed under an object name
// and a kind ("script" when it creates nothing tracked), the SHA-256 of its
// text (lower-case hex) and the objects it created.
struct HistoryRow {
  std::string objectName;
  std::string kind;
  std::string sha256;
  std::vector<ObjectRef> created;
};

struct DriverError {
  // The status the failing call returned: E_ABORT when it was interrupted.
  HRESULT status = S_OK;
  std::string message;
  // The byte offset in the chunk that the failure points at; -1 when none.
  std::ptrdiff_t offset = -1;
  // The database refused to replace an existing object in place (a
  // function's changed return type, a view losing columns): dropping it
  // first would let the chunk run.
  bool replaceRefused = false;
};

// One parameter of a routine run: its database type as the procedure's
// description gives it ("integer"; empty when unknown), its mode ("IN",
// "OUT" or "INOUT") and its value (none for NULL).
struct RoutineParameter {
  std::string name;
  std::string type;
  std::string mode = "IN";
  std::optional<std::string> value;
};

struct RoutineCall {
  // As the system displays it: "schema"."name" or "name" (quoted parts are
  // taken as they are, unquoted ones as the database folds them).
  std::string routine;
  std::vector<RoutineParameter> parameters;  // in the routine's order
};

// What a routine run gave back. Values are texts; none stands for NULL.
struct RoutineOutput {
  using Row = std::vector<std::optional<std::string>>;
  std::string name;        // the routine as the database names it ("app.place_order")
  bool function = false;   // a function's result rows, else a procedure's call
  std::vector<std::string> columns;
  std::vector<Row> rows;   // the first `maxRows` rows
  std::int64_t totalRows = 0;
  // The database's notices ("NOTICE: order 7 placed"), in order; also
  // those of a run that failed.
  std::vector<std::string> notices;
};

class DeployDriver {
 public:
  virtual ~DeployDriver() = default;

  // Why the database cannot hold objects of this kind ("the configuration's
  // database is SQLite, ..."); empty when it can.
  virtual std::string CannotCreate(ObjectKind kind) const = 0;
  // Whether an existing object of this kind is replaced in place (CREATE OR
  // REPLACE, which keeps what depends on it) rather than dropped and made
  // again. Such an object is dropped only when Execute answers
  // replaceRefused.
  virtual bool ReplacesInPlace(ObjectKind) const { return false; }
  // The identity of an object that an item's CREATE makes.
  virtual std::string Identify(const CreatedObject& object) const = 0;

  // Runs one chunk whole: every statement in it, as the database parses it.
  // E_ABORT when interrupted.
  [[nodiscard]] virtual HRESULT Execute(std::string_view chunk) = 0;
  // The item's transaction.
  [[nodiscard]] virtual HRESULT Begin() = 0;
  [[nodiscard]] virtual HRESULT Commit() = 0;
  // Rolls back the transaction that is open, if any; never fails.
  virtual void Rollback() = 0;

  [[nodiscard]] virtual HRESULT Exists(const ObjectRef& object, bool* exists) = 0;
  // The objects the database holds under the kind and name of `object` (an
  // identity made by Identify), appended to *found: the object itself when
  // it exists, or, where routines overload, each overload of that name by
  // its own identity and kind (a procedure may stand where a function of
  // that name is).
  [[nodiscard]] virtual HRESULT Instances(const ObjectRef& object, std::vector<ObjectRef>* found);
  // After an item's chunks ran: the identities under which the history
  // records what the item made of `object`, appended to *recorded. The
  // object itself, or the overloads that the item's transaction wrote.
  [[nodiscard]] virtual HRESULT Recorded(const ObjectRef& object,
                                         std::vector<ObjectRef>* recorded);
  [[nodiscard]] virtual HRESULT RowCount(const std::string& table, std::int64_t* rows) = 0;
  // The indexes and triggers that dropping the table or view would take
  // with it, with the definitions they were created from.
  [[nodiscard]] virtual HRESULT Dependents(const std::string& owner,
                                           std::vector<StoredObject>* dependents) = 0;
  [[nodiscard]] virtual HRESULT Drop(const ObjectRef& object) = 0;

  // The history row of that object name and kind; *found false when none.
  [[nodiscard]] virtual HRESULT ReadHistory(const std::string& objectName,
                                            const std::string& kind, HistoryRow* row,
                                            bool* found) = 0;
  // Adds or replaces the row, stamped with the current time.
  [[nodiscard]] virtual HRESULT WriteHistory(const HistoryRow& row) = 0;

  // Runs a stored routine with its parameters, outside any transaction of
  // the library's, keeping at most `maxRows` result rows in *output (and
  // the notices of a failed run). Fails when the database has no such
  // routine, refuses a value, or has no stored routines at all.
  [[nodiscard]] virtual HRESULT CallRoutine(const RoutineCall& call, std::size_t maxRows,
                                            RoutineOutput* output) = 0;

  // Stops the running statement, and makes every later Execute fail with
  // E_ABORT until ClearInterrupt. Callable from any thread.
  virtual void Interrupt() = 0;
  virtual void ClearInterrupt() = 0;

  const DriverError& LastError() const { return error_; }

 protected:
  // Records a failure and returns `status`.
  HRESULT Fail(HRESULT status, std::string message, std::ptrdiff_t offset = -1,
               bool replaceRefused = false) {
    error_ = {status, std::move(message), offset, replaceRefused};
    return status;
  }

 private:
  DriverError error_;
};

enum class DatabaseType { kSqlite, kPostgres };

// The database type that a connection's DBTYPE names; connections from
// before types were recorded are SQLite ones. E_NOTIMPL, with *message
// naming the connection, for a type that this build does not know.
[[nodiscard]] HRESULT DatabaseTypeOf(const Connection& connection, DatabaseType* type,
                                     std::string* message);

// Opens the database of a connection (a DATACONNECTION's attributes): DBTYPE
// chooses the driver; a relative SQLite DATABASE is taken from the project
// folder. On failure *message names the connection and says why, and
// *driver is left empty.
[[nodiscard]] HRESULT OpenDeployDriver(const Connection& connection, WStringView projectFolder,
                                       std::unique_ptr<DeployDriver>* driver,
                                       std::string* message);

// What the drivers share.

// The text with ASCII letters in lower case, as both databases fold names.
std::string FoldAscii(std::string_view text);
// A name in double quotes, inner quotes doubled.
std::string QuoteName(std::string_view name);
// Reads the double-quoted name at *at into *part (quotes undone) and moves
// *at past it; false when none stands there.
bool ReadQuotedName(std::string_view text, std::size_t* at, std::string* part);
// The schema and the name of an identity "schema"."name".
bool SplitIdentity(std::string_view identity, std::string* schema, std::string* name);
// "DROP TABLE identity", and so on for each kind.
std::string DropStatement(const ObjectRef& object);
// The history's list of created objects: one "kind identity" per line.
std::string EncodeCreated(const std::vector<ObjectRef>& created);
bool DecodeCreated(std::string_view text, std::vector<ObjectRef>* created);
// The connection's TIMEOUT in whole seconds; 0 when absent or not a number.
std::chrono::seconds TimeoutOf(const Connection& connection);
// The failure message of a statement stopped by the connection's timeout.
std::string TimeoutMessage(std::chrono::seconds timeout);
// The message of a connection that cannot be used: "connection NAME: why".
std::string ConnectionMessage(const Connection& connection, std::string_view why);

}  // namespace kv7::helper
