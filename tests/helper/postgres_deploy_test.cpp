// Deploying to a throwaway PostgreSQL server: chunks whole, failures at the
// line of the item's file, objects replaced as the server allows, nothing
// left of a failed item, timeouts and interrupts, connections refused.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "deploy_engine.h"
#include "support/pg_server.h"

namespace kv7::helper {
namespace {

using test::PgServer;

class PostgresDeployTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KV7_REQUIRE_POSTGRES();
    database_ = Server().CreateDatabase();
    ASSERT_FALSE(database_.empty());
    std::string message;
    ASSERT_EQ(OpenDeployDriver(Shop(), u"", &driver_, &message), S_OK) << message;
    ASSERT_EQ(Deploy("app", "create schema app;").result, "ran script app");
  }

  static PgServer& Server() { return PgServer::Get(); }

  Connection Shop(const std::string& password = PgServer::kPassword,
                  const std::string& database = "", int port = 0) const {
    std::string server = "127.0.0.1:" + std::to_string(port ? port : Server().port());
    return {{{u"DBCONNNAME", u"pg"},
             {u"DBTYPE", u"POSTGRESQL"},
             {u"SERVER", FromUtf8(server)},
             {u"DATABASE", FromUtf8(database.empty() ? database_ : database)},
             {u"DBUSER", FromUtf8(PgServer::kUser)},
             {u"DBPASSWORD", FromUtf8(password)},
             {u"TIMEOUT", u"0"}}};
  }

  DeployOutcome Deploy(std::string name, std::string_view text) {
    return DeployItem(*driver_, {text, "@", std::move(name), false});
  }
  std::string Query(const std::string& sql) { return Server().Query(database_, sql); }
  std::string Created(const std::string& name) {
    return Query("select created from kv7.deployed where object_name = '" + name + "'");
  }

  std::string database_;
  std::unique_ptr<DeployDriver> driver_;
};

TEST_F(PostgresDeployTest, ChunksGoWholeAndFailuresNameTheLineOfTheItem) {
  // Given a function body that holds the separator on a line of its own
  // (the absolute value operator) and ';'s, then it goes whole.
  DeployOutcome outcome = Deploy("three",
                                 "create function app.three() returns int language plpgsql as $$\n"
                                 "declare n int;\n"
                                 "begin\n"
                                 "  n := 1 +\n"
                                 "@\n"
                                 "  -2;\n"
                                 "  return n;\n"
                                 "end $$;\n"
                                 "@\n");
  EXPECT_EQ(outcome.result, "created function app.three");
  EXPECT_EQ(Query("select app.three()"), "3");
  EXPECT_EQ(Created("three"), "function app.three()\n");

  // Several statements of one chunk run as the server parses them.
  ASSERT_TRUE(Deploy("t", "create table app.t(x int); insert into app.t values (1);\n"
                          "insert into app.t values (2);").succeeded);
  EXPECT_EQ(Query("select count(*) from app.t"), "2");

  // The server counts its position in characters: with multi-byte ones
  // before it, the failure still names the line it stands on (CR LF once).
  outcome = Deploy("notes", "create table app.notes(x text);\n@\n"
                            "insert into app.notes values ('ünïcödé ✓ ß');\r\n"
                            "selec 1;\n");
  EXPECT_EQ(outcome.result, "line 4: syntax error at or near \"selec\"");
  EXPECT_EQ(outcome.line, 4);

  // A view's CREATE goes as CREATE OR REPLACE; positions after it still
  // point into the item's own text.
  outcome = Deploy("v", "\ncreate view app.v as select 'é' as a;\nselect nosuch;\nselect 1;");
  EXPECT_EQ(outcome.result, "line 3: column \"nosuch\" does not exist");
  EXPECT_EQ(Query("select count(*) from pg_class where relname in ('notes', 'v')"), "0");
}

// The library prepares its own queries once per session; an item that takes
// prepared statements away fails at worst itself, never the items after it.
TEST_F(PostgresDeployTest, ItemsThatDropPreparedStatementsDoNotBreakTheNext) {
  ASSERT_TRUE(Deploy("t1", "create table app.t1(x int);").succeeded);
  EXPECT_TRUE(Deploy("forget", "deallocate all;").succeeded);
  EXPECT_EQ(Deploy("t2", "create table app.t2(x int);").result, "created table app.t2");
  // Outside the library's transaction the statements come back at once.
  EXPECT_TRUE(Deploy("own", "commit;\ndeallocate all;\nbegin;").succeeded);
  EXPECT_EQ(Deploy("t3", "create table app.t3(x int);").result, "created table app.t3");
  // Hidden in dynamic SQL the library cannot see it coming: that item may
  // fail on its history row, the next one prepares again.
  (void)Deploy("hidden", "do $$ begin execute 'dealloc' || 'ate all'; end $$;");
  EXPECT_EQ(Deploy("t4", "create table app.t4(x int);").result, "created table app.t4");
  EXPECT_EQ(Deploy("t1", "create table app.t1(x int);").result, "unchanged");
}

TEST_F(PostgresDeployTest, FunctionsAndViewsAreReplacedInPlaceUnlessTheServerRefuses) {
  ASSERT_TRUE(Deploy("orders", "create table app.orders(id int, note text, touched text);").succeeded);
  const char* touch =
      "create function app.touch() returns trigger language plpgsql as $$\n"
      "begin new.touched := '%s'; return new; end $$;";
  auto touchText = [&](const char* version) {
    std::string text = touch;
    return text.replace(text.find("%s"), 2, version);
  };
  ASSERT_TRUE(Deploy("touch", touchText("v1")).succeeded);
  ASSERT_TRUE(Deploy("orders_touch", "create trigger orders_touch before insert on app.orders "
                                     "for each row execute function app.touch();")
                  .succeeded);

  // Given a trigger using the function, then a new body replaces it in
  // place, and the trigger stays and runs the new body.
  DeployOutcome outcome = Deploy("touch", touchText("v2"));
  EXPECT_EQ(outcome.result, "replaced function app.touch");
  EXPECT_TRUE(outcome.notes.empty());
  EXPECT_EQ(Query("insert into app.orders(id) values (1) returning touched"), "v2");

  // A changed return type is dropped and created again.
  ASSERT_TRUE(Deploy("answer", "create function app.answer() returns int language sql "
                               "as 'select 42';").succeeded);
  outcome = Deploy("answer", "create function app.answer() returns text language sql "
                             "as $$ select 'forty-two' $$;");
  EXPECT_EQ(outcome.result, "replaced function app.answer");
  EXPECT_EQ(outcome.notes,
            std::vector<std::string>{"dropped and created again, as the database refused to "
                                     "replace it in place (cannot change return type of existing "
                                     "function): function app.answer"});
  EXPECT_EQ(Query("select app.answer()"), "forty-two");

  // A view that another view uses gains a column in place; losing one
  // would need a drop, which the other view blocks: the item fails with
  // the server's message naming it, and nothing changes.
  ASSERT_TRUE(Deploy("totals", "create view app.totals as select id, note from app.orders;").succeeded);
  ASSERT_TRUE(Deploy("notes", "create view app.notes as select note from app.totals;").succeeded);
  EXPECT_EQ(Deploy("totals", "create view app.totals as select id, note, touched from app.orders;")
                .result,
            "replaced view app.totals");
  outcome = Deploy("totals", "create view app.totals as select id from app.orders;");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result,
            "line 1: cannot replace view app.totals: cannot drop columns from view; dropping it "
            "failed: cannot drop view app.totals because other objects depend on it: view "
            "app.notes depends on view app.totals");
  EXPECT_EQ(Query("select count(*) from information_schema.columns where table_name = 'totals'"),
            "3");
}

TEST_F(PostgresDeployTest, TriggersBelongToTheirTableAndOverloadsAreDroppedBySignature) {
  ASSERT_TRUE(Deploy("tables", "create table app.a(id int, stamp text);\n"
                               "create table app.b(id int, stamp text);").succeeded);
  ASSERT_TRUE(Deploy("stamp", "create function app.stamp() returns trigger language plpgsql as "
                              "$$ begin new.stamp := tg_argv[0]; return new; end $$;").succeeded);
  auto trigger = [](const char* table, const char* stamp) {
    return std::string("create trigger Last_Updated before insert on app.") + table +
           " for each row execute function app.stamp('" + stamp + "');";
  };
  ASSERT_EQ(Deploy("a_last_updated", trigger("a", "a1")).result, "created trigger Last_Updated");
  ASSERT_EQ(Deploy("b_last_updated", trigger("b", "b1")).result, "created trigger Last_Updated");
  EXPECT_EQ(Created("a_last_updated"), "trigger \"last_updated\" ON \"app\".\"a\"\n");

  // Given two tables with a trigger of one name, then replacing one leaves
  // the other, which is still what its item deployed.
  EXPECT_EQ(Deploy("a_last_updated", trigger("a", "a2")).result, "replaced trigger Last_Updated");
  EXPECT_EQ(Query("select tgrelid::regclass::text from pg_trigger where tgname = 'last_updated' "
                  "order by 1"),
            "app.a,app.b");
  EXPECT_EQ(Query("insert into app.a values (1) returning stamp"), "a2");
  EXPECT_EQ(Query("insert into app.b values (1) returning stamp"), "b1");
  EXPECT_TRUE(Deploy("b_last_updated", trigger("b", "b1")).unchanged);

  // Given two overloads from two items, then the one whose return type
  // changes is dropped by the signature its history holds; the other stays.
  ASSERT_TRUE(Deploy("area_int", "create function app.area(side int) returns int language sql "
                                 "as 'select side * side';").succeeded);
  ASSERT_TRUE(Deploy("area_text", "create function app.area(side text) returns int language sql "
                                  "as 'select length(side)';").succeeded);
  EXPECT_EQ(Created("area_int"), "function app.area(integer)\n");
  EXPECT_EQ(Created("area_text"), "function app.area(text)\n");
  DeployOutcome outcome =
      Deploy("area_int", "create function app.area(side int) returns bigint language sql "
                         "as 'select side::bigint * side';");
  EXPECT_TRUE(outcome.succeeded) << outcome.result;
  EXPECT_EQ(outcome.notes.size(), 1u);
  EXPECT_EQ(Query("select oid::regprocedure::text || ' ' || prorettype::regtype::text "
                  "from pg_proc where proname = 'area' and pronamespace = 'app'::regnamespace "
                  "order by 1"),
            "app.area(integer) bigint,app.area(text) integer");
  EXPECT_TRUE(Deploy("area_text", "create function app.area(side text) returns int language sql "
                                  "as 'select length(side)';").unchanged);
}

TEST_F(PostgresDeployTest, TablesWithRowsAreRefusedAndFailedItemsLeaveNothing) {
  ASSERT_TRUE(Deploy("orders", "create table app.orders(id int primary key, customer text);").succeeded);
  ASSERT_TRUE(Deploy("orders_by_customer", "create index orders_by_customer on app.orders(customer);").succeeded);
  ASSERT_TRUE(Deploy("touch", "create function app.touch() returns trigger language plpgsql as "
                              "$$ begin return new; end $$;").succeeded);
  ASSERT_TRUE(Deploy("orders_touch", "create trigger orders_touch before insert on app.orders "
                                     "for each row execute function app.touch();").succeeded);

  // Given an empty table, then it is replaced with its index and trigger.
  DeployOutcome outcome =
      Deploy("orders", "create table app.orders(id int primary key, customer text, due date);");
  EXPECT_EQ(outcome.result, "replaced table app.orders");
  EXPECT_EQ(outcome.notes, std::vector<std::string>{"created again from their stored definitions: "
                                                    "index orders_by_customer, trigger orders_touch"});
  EXPECT_TRUE(Deploy("orders_by_customer", "create index orders_by_customer on app.orders(customer);")
                  .unchanged);
  EXPECT_EQ(Query("select count(*) from pg_trigger where tgname = 'orders_touch'"), "1");

  // Given rows, then the table is refused and keeps them.
  ASSERT_EQ(Query("insert into app.orders values (1, 'ann'), (2, 'bob')"), "");
  outcome = Deploy("orders", "\ncreate table app.orders(id int primary key, customer text);");
  EXPECT_EQ(outcome.result,
            "line 2: table app.orders holds 2 rows: a change to a table with data belongs in a "
            "script (ALTER TABLE); no row was deleted");
  EXPECT_EQ(Query("select customer from app.orders order by id"), "ann,bob");

  // A failure at the end leaves nothing of what the item made before it.
  outcome = Deploy("scratch", "create table app.scratch(x int);\n@\n"
                              "create view app.scratch_view as select x from app.scratch;\n@\n"
                              "create function app.scratch_f() returns int language sql as "
                              "'select 1';\nselect 1 / 0;");
  EXPECT_EQ(outcome.result, "line 5: division by zero");
  EXPECT_EQ(Query("select count(*) from pg_class where relname like 'scratch%'"), "0");
  EXPECT_EQ(Query("select count(*) from pg_proc where proname = 'scratch_f'"), "0");
  EXPECT_EQ(Created("scratch"), "");
}

TEST_F(PostgresDeployTest, TimeoutsAndInterruptsStopTheStatementAndRollBack) {
  Connection slow = Shop();
  slow.Set(u"TIMEOUT", u"1");
  std::unique_ptr<DeployDriver> timed;
  std::string message;
  ASSERT_EQ(OpenDeployDriver(slow, u"", &timed, &message), S_OK) << message;
  DeployOutcome outcome =
      DeployItem(*timed, {"create table app.slow(x int);\nselect pg_sleep(30);", "@", "slow"});
  EXPECT_EQ(outcome.result, "line 1: the statement ran longer than the connection's timeout of 1 s");

  // Given a statement that is running, then an interrupt from another
  // thread stops it and the item rolls back.
  std::thread worker(
      [&] { outcome = Deploy("sleepy", "create table app.sleepy(x int);\nselect pg_sleep(60);"); });
  std::string running;
  for (int i = 0; i < 3000 && running != "1"; ++i) {
    running = Query("select count(*) from pg_stat_activity where state = 'active' and "
                    "query like '%pg_sleep(60)%' and pid <> pg_backend_pid()");
    if (running != "1") std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  driver_->Interrupt();
  worker.join();
  EXPECT_EQ(running, "1");
  EXPECT_EQ(outcome.result, "interrupted");
  EXPECT_EQ(Query("select count(*) from pg_class where relname in ('slow', 'sleepy')"), "0");
  driver_->ClearInterrupt();
  EXPECT_EQ(Deploy("later", "create table app.later(x int);").result, "created table app.later");
}

TEST_F(PostgresDeployTest, ConnectionsThatCannotOpenFailNamingTheConnection) {
  auto open = [](const Connection& connection) {
    std::unique_ptr<DeployDriver> driver;
    std::string message;
    EXPECT_TRUE(FAILED(OpenDeployDriver(connection, u"", &driver, &message)));
    EXPECT_FALSE(driver);
    return message;
  };
  int down = PgServer::FreePort();
  EXPECT_EQ(open(Shop(PgServer::kPassword, "", down))
                .find("connection pg: connection to server at \"127.0.0.1\", port " +
                      std::to_string(down) + " failed: Connection refused"),
            0u);
  std::string message = open(Shop("not-the-password"));
  EXPECT_NE(message.find("password authentication failed for user \"kv7_tester\""),
            std::string::npos)
      << message;
  EXPECT_EQ(message.find("not-the-password"), std::string::npos);
  EXPECT_EQ(message.find("connection pg: "), 0u);
  message = open(Shop(PgServer::kPassword, "nosuch"));
  EXPECT_NE(message.find("database \"nosuch\" does not exist"), std::string::npos) << message;

  // Without a password, libpq's own sources give it.
  setenv("PGPASSWORD", PgServer::kPassword, 1);
  std::unique_ptr<DeployDriver> driver;
  EXPECT_EQ(OpenDeployDriver(Shop(""), u"", &driver, &message), S_OK) << message;
  unsetenv("PGPASSWORD");

  // Given a database without the history table, then connections opening
  // at once all find it made.
  std::string fresh = Server().CreateDatabase();
  std::atomic<int> opened{0};
  std::vector<std::thread> openers;
  for (int i = 0; i < 4; ++i)
    openers.emplace_back([&] {
      std::unique_ptr<DeployDriver> made;
      std::string why;
      if (SUCCEEDED(OpenDeployDriver(Shop(PgServer::kPassword, fresh), u"", &made, &why))) ++opened;
    });
  for (std::thread& opener : openers) opener.join();
  EXPECT_EQ(opened, 4);
  EXPECT_EQ(Server().Query(fresh, "select count(*) from kv7.deployed"), "0");
}

}  // namespace
}  // namespace kv7::helper
