// The deployment driver for SQLite connections (DBTYPE SQLITE).
//
// DATABASE is the database file, a relative path taken from the project
// folder. The file is created when missing; its directory is not, and a
// missing directory fails the open at once. TIMEOUT (seconds) bounds both
// the wait for another connection's lock and each statement's run; 0 bounds
// neither. Opening creates the deployment history table, kv7_deployed, when
// the database has none.
//
// SQLite has no functions or procedures, so items creating them, and
// routine runs, are refused.
// Identities are "schema"."name" in lower case (SQLite ignores ASCII case in
// names); an unqualified name is in main, or in temp for CREATE TEMP.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "deploy_driver.h"

namespace kv7::helper {

// The database file of a SQLite connection: DATABASE, a relative path taken
// from the project folder. Fails, with *message naming the connection, when
// it names none or its directory does not exist.
[[nodiscard]] HRESULT SqliteDatabasePath(const Connection& connection, WStringView projectFolder,
                                         std::filesystem::path* path, std::string* message);

[[nodiscard]] HRESULT OpenSqliteDriver(const Connection& connection, WStringView projectFolder,
                                       std::unique_ptr<DeployDriver>* driver,
                                       std::string* message);

}  // namespace kv7::helper
