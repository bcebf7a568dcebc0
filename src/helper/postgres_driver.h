// The deployment driver for PostgreSQL connections (DBTYPE POSTGRESQL), on
// libpq.
//
// The connection: SERVER is host[:port] ("[::1]:5433" for an IPv6 address),
// DATABASE, DBUSER and DBPASSWORD; with no password libpq's own sources
// apply (PGPASSWORD, ~/.pgpass), and other settings left empty take libpq's
// defaults (PGHOST, PGPORT, ...). The password goes to libpq only, never to
// a message or a trace. TIMEOUT (seconds) becomes the session's
// statement_timeout and bounds the wait for the server at connect time.
// Opening creates the deployment history table, kv7.deployed, when the
// database has none; concurrent first openings wait for each other.
//
// Chunks go whole through the simple query protocol, so that several
// statements, dollar-quoted bodies and the server's own parsing work as in
// psql; a failure's position (in characters) becomes a byte offset in the
// chunk. Views, functions and procedures are replaced in place (CREATE OR
// REPLACE); the server's refusals to do so (a changed return type or
// routine kind, a view losing or changing columns: SQLSTATE 42P13, 42P16,
// 42809) are answered as replaceRefused.
//
// Identities are quoted names as the server folds them (unquoted parts in
// lower case): "schema"."name" for tables, views and indexes (an index
// lives in its table's schema), "trigger" ON "schema"."table" for triggers,
// which belong to their table; unqualified names are in the session's
// current schema when the connection opened, or pg_temp for TEMP objects.
// Functions and procedures overload: Identify names them "schema"."name",
// while the history records each overload by the server's own signature
// (oid::regprocedure, schema-qualified), which is what drops use.
//
// Interrupt cancels the running statement with PQcancel, from any thread.
#pragma once

#include <memory>
#include <string>

#include "deploy_driver.h"
#include "target_lock.h"

namespace kv7::helper {

[[nodiscard]] HRESULT OpenPostgresDriver(const Connection& connection,
                                         std::unique_ptr<DeployDriver>* driver,
                                         std::string* message);

// The deployment target lock of a PostgreSQL database: a session advisory
// lock on a connection of its own, whose application_name ("kv7 pid 4711 on
// build1") tells waiters who holds it. The connection is made here; on
// failure *message names the connection and says why.
[[nodiscard]] HRESULT OpenPostgresTargetLock(const Connection& connection,
                                             std::unique_ptr<TargetLock>* lock,
                                             std::string* message);

}  // namespace kv7::helper
