// Deploys one item on one connection's driver: the item's chunks run in
// order, whole, inside one transaction (unless the item controls
// transactions itself), after the objects it creates that exist already
// have been made way for; the deployment history says what is deployed.
//
// The rules, in order:
//  - An item creating a function or procedure where the database has none
//    fails before anything runs.
//  - The history row of the item (its object name and the kind of the first
//    object it creates, "script" when none) holding the SHA-256 of the text,
//    with every object the row lists still there, makes the item unchanged:
//    nothing runs. With `redeployUnchanged` only items creating a table stay
//    unchanged so; the others run again.
//  - Otherwise each object the item creates that exists is dropped first: a
//    view, index or trigger at once; a table only when it holds no rows (a
//    table with rows fails the item: such a change belongs in a script with
//    ALTER TABLE, and no row is ever deleted). The indexes and triggers that
//    dropping a table or view takes with it are created again from their
//    stored definitions after the item's chunks, unless the item creates
//    them itself.
//  - Kinds that the driver replaces in place (PostgreSQL's views, functions
//    and procedures) are not dropped: their CREATE goes to the database as
//    CREATE OR REPLACE, which keeps the triggers and views that use them.
//    Where the database refuses that (a changed return type, a view losing
//    columns), the item's transaction is rolled back and run again with the
//    refused objects dropped first; of a routine's overloads, the one the
//    history says the item made. A drop that dependants block fails the
//    item with the database's message. An item controlling its own
//    transactions cannot be run again, and fails with the refusal.
//  - The history row is written in the item's transaction; a failure rolls
//    everything back, so the database holds the item whole or as it was.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "deploy_driver.h"

namespace kv7::helper {

struct DeployRequest {
  std::string_view text;       // the item's text, UTF-8
  std::string_view separator;  // the statement separator ("@" when none is given)
  std::string objectName;      // keys the history and names the item in messages
  bool redeployUnchanged = false;
};

struct DeployOutcome {
  bool succeeded = false;
  bool unchanged = false;
  // One line: what was created or replaced ("created table orders",
  // "replaced view open_orders", "ran script seed"), "unchanged", or why the
  // item failed ("line 12: near \"selec\": syntax error").
  std::string result;
  std::vector<std::string> notes;  // further lines for the task's messages
  int line = 0;                    // the line of the text a failure points at; 0 none
};

DeployOutcome DeployItem(DeployDriver& driver, const DeployRequest& request);

}  // namespace kv7::helper
