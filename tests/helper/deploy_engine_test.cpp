// The deployment engine's calls on a driver: chunks whole and in order,
// inside one transaction unless the item controls its own, rolled back on
// any failure; what exists made way for; unchanged items left alone.
#include "deploy_engine.h"

#include <gtest/gtest.h>

#include "helper/fake_deploy_driver.h"

namespace kv7::helper {
namespace {

using Calls = std::vector<std::string>;

class DeployEngineTest : public ::testing::Test {
 protected:
  DeployOutcome Deploy(std::string_view text, std::string name = "orders",
                       bool redeployUnchanged = false) {
    driver_.calls.clear();
    return DeployItem(driver_, {text, "@", std::move(name), redeployUnchanged});
  }

  test::FakeDeployDriver driver_;
};

TEST_F(DeployEngineTest, ChunksRunWholeAndInOrderInsideOneTransaction) {
  DeployOutcome outcome = Deploy(
      "create table orders(id int);\ninsert into orders values (1); insert into orders values (2);\n"
      "@\ncreate index orders_id on orders(id)\n@\n-- a note only\n@\n");
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_FALSE(outcome.unchanged);
  EXPECT_EQ(outcome.result, "created table orders, created index orders_id");
  EXPECT_TRUE(outcome.notes.empty());
  EXPECT_EQ(driver_.calls,
            (Calls{"begin",
                   "execute create table orders(id int);\ninsert into orders values (1); "
                   "insert into orders values (2);\n",
                   "execute create index orders_id on orders(id)\n", "history orders table",
                   "commit"}));
}

TEST_F(DeployEngineTest, ItemControllingTransactionsRunsWithoutTheItemTransaction) {
  DeployOutcome outcome = Deploy("begin;\ninsert into log values (1);\ncommit;\n", "seed");
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.result, "ran script seed");
  EXPECT_EQ(outcome.notes, (Calls{"ran without the item transaction: its statements control "
                                  "transactions themselves"}));
  EXPECT_EQ(driver_.calls, (Calls{"execute begin;\ninsert into log values (1);\ncommit;\n",
                                  "history seed script"}));

  // A failure still ends whatever transaction the item left open.
  driver_.failOn = "selec";
  outcome = Deploy("begin;\nselec 1;\ncommit;\n", "seed");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.notes.size(), 1u);
  EXPECT_EQ(driver_.calls, (Calls{"execute begin;\nselec 1;\ncommit;\n", "rollback"}));
}

TEST_F(DeployEngineTest, FailureRollsBackAndPointsAtTheLineOfTheItem) {
  // Given a failure in the second chunk, whose first line is the item's
  // third, then the line counts from there (CR LF once).
  driver_.failOn = "selec";
  std::string_view text = "create table orders(id int);\n@\n\ninsert into orders values (1);\r\nselec 1;\n";
  DeployOutcome outcome = Deploy(text);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result, "line 5: near \"selec\": syntax error");
  EXPECT_EQ(outcome.line, 5);
  EXPECT_EQ(driver_.calls, (Calls{"begin", "execute create table orders(id int);\n",
                                  "execute \ninsert into orders values (1);\r\nselec 1;\n",
                                  "rollback"}));
  EXPECT_TRUE(driver_.history.empty());

  // Without a position the failure points at the chunk's first line.
  driver_.failOffset = -1;
  EXPECT_EQ(Deploy(text).result, "line 3: near \"selec\": syntax error");

  driver_.failStatus = E_ABORT;
  outcome = Deploy(text);
  EXPECT_EQ(outcome.result, "interrupted");
  EXPECT_EQ(outcome.line, 0);
  EXPECT_EQ(driver_.calls.back(), "rollback");

  // An interrupt reads the same when it stops a step of the library's own.
  driver_.historyStatus = E_ABORT;
  EXPECT_EQ(Deploy(text).result, "interrupted");
  EXPECT_EQ(driver_.calls.back(), "rollback");
}

TEST_F(DeployEngineTest, ExistingObjectsAreReplacedAndWhatTheDropTookIsMadeAgain) {
  // Given an empty table with an index and a trigger, then the table item
  // drops the table, runs, and makes the trigger again; the index it makes
  // itself.
  driver_.objects = {{ObjectKind::kTable, "orders"}, {ObjectKind::kView, "open_orders"}};
  driver_.dependents["orders"] = {
      {{ObjectKind::kIndex, "orders_id"}, "orders_id", "create index orders_id on orders(id)"},
      {{ObjectKind::kTrigger, "orders_touch"}, "orders_touch", "create trigger orders_touch"}};
  DeployOutcome outcome =
      Deploy("create table orders(id int, note text);\n@\ncreate index orders_id on orders(id);");
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.result, "replaced table orders, created index orders_id");
  EXPECT_EQ(outcome.notes,
            (Calls{"created again from their stored definitions: trigger orders_touch"}));
  EXPECT_EQ(driver_.calls,
            (Calls{"begin", "drop table orders", "execute create table orders(id int, note text);\n",
                   "execute create index orders_id on orders(id);",
                   "execute create trigger orders_touch", "history orders table", "commit"}));

  EXPECT_EQ(Deploy("create view open_orders as select 2", "open_orders").result,
            "replaced view open_orders");

  // A table with rows is never dropped: the item fails before anything runs.
  driver_.rows["orders"] = 3;
  outcome = Deploy("\ncreate table orders(id int, note text, due date);");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result,
            "line 2: table orders holds 3 rows: a change to a table with data belongs in a "
            "script (ALTER TABLE); no row was deleted");
  EXPECT_EQ(driver_.calls, (Calls{"begin", "rollback"}));
}

TEST_F(DeployEngineTest, UnchangedItemsRunNothing) {
  ASSERT_TRUE(Deploy("create view open_orders as select 1", "open_orders").succeeded);
  ASSERT_TRUE(Deploy("create table orders(id int)").succeeded);
  ASSERT_TRUE(Deploy("insert into log values (1)", "seed").succeeded);
  driver_.objects = {{ObjectKind::kView, "open_orders"}, {ObjectKind::kTable, "orders"}};

  for (const auto& [name, text] : {std::pair{"open_orders", "create view open_orders as select 1"},
                                   std::pair{"orders", "create table orders(id int)"},
                                   std::pair{"seed", "insert into log values (1)"}}) {
    DeployOutcome outcome = Deploy(text, name);
    EXPECT_TRUE(outcome.succeeded && outcome.unchanged) << name;
    EXPECT_EQ(outcome.result, "unchanged");
    EXPECT_EQ(driver_.calls, (Calls{"begin", "rollback"})) << name;
  }

  // Redeploying runs hash-equal items again, tables aside.
  EXPECT_EQ(Deploy("create view open_orders as select 1", "open_orders", true).result,
            "replaced view open_orders");
  EXPECT_EQ(Deploy("insert into log values (1)", "seed", true).result, "ran script seed");
  EXPECT_TRUE(Deploy("create table orders(id int)", "orders", true).unchanged);

  // A changed text, or an object gone, runs the item again.
  EXPECT_EQ(Deploy("create view open_orders as select 2", "open_orders").result,
            "replaced view open_orders");
  driver_.objects.clear();
  EXPECT_EQ(Deploy("create table orders(id int)").result, "created table orders");
}

TEST_F(DeployEngineTest, InPlaceKindsRunAsCreateOrReplaceAndAreDroppedOnlyWhenRefused) {
  // Given a database that replaces views and functions in place, then an
  // existing view is not dropped, each CREATE lacking OR REPLACE gets it,
  // and a failure after the insertion still names its own line.
  driver_.inPlace = {ObjectKind::kView, ObjectKind::kFunction};
  driver_.objects = {{ObjectKind::kView, "open_orders"}};
  DeployOutcome outcome = Deploy(
      "create view open_orders as select 1;\n@\n"
      "CREATE OR REPLACE FUNCTION total() returns int as $$ select 1 $$;\n",
      "open_orders");
  EXPECT_EQ(outcome.result, "replaced view open_orders, created function total");
  EXPECT_EQ(driver_.calls,
            (Calls{"begin", "execute create OR REPLACE view open_orders as select 1;\n",
                   "execute CREATE OR REPLACE FUNCTION total() returns int as $$ select 1 $$;\n",
                   "history open_orders view", "commit"}));

  driver_.failOn = "selec 2";
  driver_.failOffset = 37 + 11;  // "selec 2" in the text sent, after " OR REPLACE"
  outcome = Deploy("create view open_orders as select 1;\nselec 2;", "open_orders");
  EXPECT_EQ(outcome.result, "line 2: near \"selec\": syntax error");
  driver_.failOffset = 8;  // inside the insertion: the place it went in
  EXPECT_EQ(Deploy("\ncreate view open_orders as select 1;\nselec 2;", "open_orders").line, 2);
  driver_.failOn.clear();

  // When the database refuses, the item runs again with the view dropped
  // first, in a new transaction.
  driver_.refuseOn = "select 3";
  driver_.refusedObject = "open_orders";
  outcome = Deploy("create view open_orders as select 3;", "open_orders");
  EXPECT_TRUE(outcome.succeeded) << outcome.result;
  EXPECT_EQ(outcome.result, "replaced view open_orders");
  EXPECT_EQ(outcome.notes,
            (Calls{"dropped and created again, as the database refused to replace it in place "
                   "(cannot change return type of existing function): view open_orders"}));
  EXPECT_EQ(driver_.calls,
            (Calls{"begin", "execute create OR REPLACE view open_orders as select 3;", "rollback",
                   "begin", "drop view open_orders",
                   "execute create OR REPLACE view open_orders as select 3;",
                   "history open_orders view", "commit"}));

  // An item controlling its own transactions cannot run again: it fails.
  driver_.refusedObject = "open_orders";
  outcome = Deploy("begin;\ncreate view open_orders as select 3;\ncommit;", "open_orders");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result, "line 1: cannot change return type of existing function");
}

TEST_F(DeployEngineTest, RoutinesWhereTheDatabaseHasNoneFailBeforeAnythingRuns) {
  driver_.hasRoutines = false;
  DeployOutcome outcome = Deploy("-- the order's total\ncreate procedure app.total() begin end", "total");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result, "line 2: cannot create procedure app.total: this database has no routines");
  EXPECT_TRUE(driver_.calls.empty());
}

}  // namespace
}  // namespace kv7::helper
