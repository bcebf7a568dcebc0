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
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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
  std::string message;
  // The byte offset in the chunk that the failure points at; -1 when none.
  std::ptrdiff_t offset = -1;
};

class DeployDriver {
 public:
  virtual ~DeployDriver() = default;

  // Why the database cannot hold objects of this kind ("the configuration's
  // database is SQLite, ..."); empty when it can.
  virtual std::string CannotCreate(ObjectKind kind) const = 0;
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

  // Stops the running statement, and makes every later Execute fail with
  // E_ABORT until ClearInterrupt. Callable from any thread.
  virtual void Interrupt() = 0;
  virtual void ClearInterrupt() = 0;

  const DriverError& LastError() const { return error_; }

 protected:
  // Records a failure and returns `status`.
  HRESULT Fail(HRESULT status, std::string message, std::ptrdiff_t offset = -1) {
    error_ = {std::move(message), offset};
    return status;
  }

 private:
  DriverError error_;
};

// Opens the database of a connection (a DATACONNECTION's attributes): DBTYPE
// chooses the driver; a relative SQLite DATABASE is taken from the project
// folder. On failure *message names the connection and says why, and
// *driver is left empty.
[[nodiscard]] HRESULT OpenDeployDriver(const Connection& connection, WStringView projectFolder,
                                       std::unique_ptr<DeployDriver>* driver,
                                       std::string* message);

}  // namespace kv7::helper
