// Deploying to a real SQLite database in a scratch directory and to a
// throwaway PostgreSQL server: what the database holds after each
// deployment, and what the history says. What both databases must do alike
// runs as one suite on each.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "deploy_engine.h"
#include "support/pg_server.h"
#include "support/test_support.h"

namespace kv7::helper {
namespace {

using test::PgServer;

using test::Database;

// A deployment driver on a SQLite file shop.db in the scratch directory, or
// on a fresh database of the test server holding the schema "app".
class DeployTest : public test::ScratchDir {
 protected:
  void Open(Database database) {
    ScratchDir::SetUp();
    database_ = database;
    std::string message;
    if (database == Database::kSqlite) {
      ASSERT_EQ(OpenDeployDriver(SqliteShop(u"shop.db"), FromUtf8(dir().string()), &driver_,
                                 &message),
                S_OK)
          << message;
      ASSERT_EQ(sqlite3_open(Path("shop.db").c_str(), &db_), SQLITE_OK);
      return;
    }
    KV7_REQUIRE_POSTGRES();
    pg_ = Server().CreateDatabase();
    ASSERT_FALSE(pg_.empty());
    ASSERT_EQ(OpenDeployDriver(PgShop(), u"", &driver_, &message), S_OK) << message;
    ASSERT_EQ(Deploy("app", "create schema app;").result, "ran script app");
  }
  void TearDown() override {
    sqlite3_close(db_);
    driver_.reset();
    ScratchDir::TearDown();
  }

  static PgServer& Server() { return PgServer::Get(); }
  static Connection SqliteShop(const char16_t* database) {
    return {{{u"DBCONNNAME", u"shop"}, {u"DBTYPE", u"SQLITE"}, {u"DATABASE", database}}};
  }
  Connection PgShop(const std::string& password = PgServer::kPassword,
                    const std::string& database = "", int port = 0) const {
    std::string server = "127.0.0.1:" + std::to_string(port ? port : Server().port());
    return {{{u"DBCONNNAME", u"pg"},
             {u"DBTYPE", u"POSTGRESQL"},
             {u"SERVER", FromUtf8(server)},
             {u"DATABASE", FromUtf8(database.empty() ? pg_ : database)},
             {u"DBUSER", FromUtf8(PgServer::kUser)},
             {u"DBPASSWORD", FromUtf8(password)},
             {u"TIMEOUT", u"0"}}};
  }

  DeployOutcome Deploy(std::string name, std::string_view text, bool redeployUnchanged = false) {
    return DeployItem(*driver_, {text, "@", std::move(name), redeployUnchanged});
  }

  // The first column of every row of a query, joined by ",".
  std::string Query(const std::string& sql) {
    if (database_ == Database::kPostgres) return Server().Query(pg_, sql);
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db_);
    std::string rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(statement, 0);
      rows += (rows.empty() ? "" : ",") + std::string(text ? reinterpret_cast<const char*>(text) : "");
    }
    sqlite3_finalize(statement);
    return rows;
  }
  // SQL in either database's terms: "{s}" names the schema the items use
  // ("app." on PostgreSQL, none on SQLite), "{history}" the history table.
  std::string Sql(std::string text) const {
    const bool pg = database_ == Database::kPostgres;
    for (auto [mark, value] : {std::pair{"{s}", pg ? "app." : ""},
                               {"{history}", pg ? "kv7.deployed" : "kv7_deployed"}})
      for (size_t at; (at = text.find(mark)) != std::string::npos;)
        text.replace(at, std::string(mark).size(), value);
    return text;
  }
  std::string History(const std::string& name) {
    return Query(Sql("select kind || ' ' || sha256 || ' ' || deployed_at from {history}"
                     " where object_name = '" + name + "'"));
  }
  std::string Created(const std::string& name) {
    return Query(Sql("select created from {history} where object_name = '" + name + "'"));
  }

  Database database_ = Database::kSqlite;
  std::string pg_;
  std::unique_ptr<DeployDriver> driver_;
  sqlite3* db_ = nullptr;
};

class DeployOnEachDatabase : public DeployTest, public ::testing::WithParamInterface<Database> {
 protected:
  void SetUp() override { Open(GetParam()); }

  // Deploys the audit and orders tables, the index on orders and its
  // trigger, which writes to audit (on PostgreSQL through a function).
  void Orders() {
    ASSERT_TRUE(Deploy("audit", Sql("create table {s}audit(id int, what text);")).succeeded);
    ASSERT_TRUE(Deploy("orders", Sql(kOrders)).succeeded);
    ASSERT_TRUE(Deploy("orders_by_customer", Sql(kIndex)).succeeded);
    if (GetParam() == Database::kPostgres) {
      ASSERT_TRUE(Deploy("touch", "create function app.touch() returns trigger language plpgsql "
                                  "as $$ begin insert into app.audit values (new.id, null); "
                                  "return new; end $$;")
                      .succeeded);
    }
    ASSERT_TRUE(Deploy("orders_touch", Trigger()).succeeded);
  }
  std::string Trigger() const {
    return GetParam() == Database::kSqlite
               ? "create trigger orders_touch after insert on orders begin\n"
                 "  insert into audit values (new.id, case when new.customer is null then "
                 "'none' end);\nend;"
               : "create trigger orders_touch after insert on app.orders for each row "
                 "execute function app.touch();";
  }
  // The names of the tables whose names are LIKE `pattern`, in order.
  std::string Tables(const std::string& pattern) {
    return Query(GetParam() == Database::kSqlite
                     ? "select name from sqlite_schema where type = 'table' and name like '" +
                           pattern + "' order by 1"
                     : "select tablename from pg_tables where schemaname = 'app' and tablename "
                       "like '" + pattern + "' order by 1");
  }

  static constexpr char kOrders[] = "create table {s}orders(id integer primary key, customer text);";
  static constexpr char kIndex[] = "create index orders_by_customer on {s}orders(customer);";
  static constexpr char kSeed[] = "insert into {s}audit values (0, 'seeded');";
};

TEST_P(DeployOnEachDatabase, FirstDeployThenUnchangedRunsNothing) {
  Orders();
  EXPECT_EQ(Deploy("seed", Sql(kSeed)).result, "ran script seed");
  const std::string tableHistory = History("orders");
  EXPECT_EQ(tableHistory.substr(0, 6), "table ");

  // Nothing runs again: the seed inserts no second row, the history keeps
  // its times.
  for (const auto& [name, text] : {std::pair{"orders", Sql(kOrders)},
                                   {"orders_by_customer", Sql(kIndex)},
                                   {"orders_touch", Trigger()}, {"seed", Sql(kSeed)}}) {
    DeployOutcome outcome = Deploy(name, text);
    EXPECT_TRUE(outcome.succeeded && outcome.unchanged) << name << ": " << outcome.result;
  }
  EXPECT_EQ(Query(Sql("select count(*) from {s}audit")), "1");
  EXPECT_EQ(History("orders"), tableHistory);

  // An object dropped behind kv7's back makes its item run again.
  EXPECT_EQ(Query(Sql("drop trigger orders_touch") +
                  (GetParam() == Database::kSqlite ? "" : " on app.orders")),
            "");
  EXPECT_EQ(Deploy("orders_touch", Trigger()).result, "created trigger orders_touch");
}

TEST_P(DeployOnEachDatabase, AnEmptyTableIsReplacedWithItsIndexAndTriggerOneWithRowsIsNot) {
  Orders();
  DeployOutcome outcome =
      Deploy("orders", Sql("create table {s}orders(id integer primary key, customer text, due text);"));
  EXPECT_TRUE(outcome.succeeded) << outcome.result;
  EXPECT_EQ(outcome.result, Sql("replaced table {s}orders"));
  EXPECT_EQ(outcome.notes, std::vector<std::string>{"created again from their stored definitions: "
                                                    "index orders_by_customer, trigger orders_touch"});
  EXPECT_EQ(Tables("orders%"), "orders");
  EXPECT_EQ(Query(Sql("select count(*) from {s}orders where due is null")), "0");
  // The index and trigger items are still what the database holds.
  EXPECT_TRUE(Deploy("orders_by_customer", Sql(kIndex)).unchanged);
  EXPECT_TRUE(Deploy("orders_touch", Trigger()).unchanged);

  // Given rows, then the table is refused and keeps them.
  EXPECT_EQ(Query(Sql("insert into {s}orders values (1, 'ann', null), (2, 'bob', null)")), "");
  const std::string before = History("orders");
  outcome = Deploy("orders", "\n" + Sql(kOrders));
  EXPECT_EQ(outcome.result,
            Sql("line 2: table {s}orders holds 2 rows: a change to a table with data belongs in a "
                "script (ALTER TABLE); no row was deleted"));
  EXPECT_EQ(Query(Sql("select customer from {s}orders order by id")), "ann,bob");
  EXPECT_EQ(History("orders"), before);
}

TEST_P(DeployOnEachDatabase, RedeployRunsUnchangedItemsAgainTablesAside) {
  ASSERT_TRUE(Deploy("orders", Sql(kOrders)).succeeded);
  const std::string view = Sql("create view {s}open_orders as select id from {s}orders;");
  ASSERT_TRUE(Deploy("open_orders", view).succeeded);
  EXPECT_EQ(Deploy("open_orders", view, true).result, Sql("replaced view {s}open_orders"));
  EXPECT_TRUE(Deploy("orders", Sql(kOrders), true).unchanged);
}

TEST_P(DeployOnEachDatabase, AFailingItemLeavesNothingAndNamesItsLine) {
  const bool sqlite = GetParam() == Database::kSqlite;
  ASSERT_TRUE(Deploy("open_orders", Sql("create view {s}open_orders as select 1 as n;")).succeeded);
  const std::string before = History("open_orders");

  DeployOutcome outcome = Deploy("open_orders",
                                 Sql("create table {s}scratch(x int);\r\n@\r\n"
                                     "create view {s}open_orders as select 2 as n;\r\n\r\nselec 3;"));
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result, sqlite ? "line 5: near \"selec\": syntax error"
                                   : "line 5: syntax error at or near \"selec\"");
  EXPECT_EQ(outcome.line, 5);
  EXPECT_EQ(Tables("scratch%"), "");
  EXPECT_EQ(Query(Sql("select n from {s}open_orders")), "1");
  EXPECT_EQ(History("open_orders"), before);

  // A failure at run time points at its statement on SQLite; the server
  // gives no position, so its chunk's first line.
  outcome = Deploy("seed", Sql("create table {s}t(x int unique);\n@\ninsert into {s}t values (1);\n"
                               "insert into {s}t values (1);"));
  EXPECT_EQ(outcome.result, sqlite ? "line 4: UNIQUE constraint failed: t.x"
                                   : "line 3: duplicate key value violates unique constraint "
                                     "\"t_x_key\": Key (x)=(1) already exists.");
  EXPECT_EQ(Tables("t%"), "");
}

TEST_P(DeployOnEachDatabase, ItemsControllingTransactionsRunBare) {
  DeployOutcome outcome = Deploy(
      "batch", Sql("begin;\ncreate table {s}t(x int);\ninsert into {s}t values (1);\ncommit;"));
  EXPECT_TRUE(outcome.succeeded) << outcome.result;
  ASSERT_EQ(outcome.notes.size(), 1u);

  // A failure ends the transaction the item opened, so the next item runs.
  outcome = Deploy("batch2", Sql("begin;\ncreate table {s}t2(x int);\nselec;\ncommit;"));
  EXPECT_EQ(outcome.result, GetParam() == Database::kSqlite
                                ? "line 3: near \"selec\": syntax error"
                                : "line 3: syntax error at or near \"selec\"");
  EXPECT_EQ(Deploy("u", Sql("create table {s}u(x int);")).result, Sql("created table {s}u"));
  EXPECT_EQ(Tables("t%") + " " + Tables("u"), "t u");
}

KV7_INSTANTIATE_ON_EACH_DATABASE(DeployOnEachDatabase);

class SqliteDeployTest : public DeployTest {
 protected:
  void SetUp() override { Open(Database::kSqlite); }
};

constexpr char kOrders[] = "create table orders(id integer primary key, customer text);";
constexpr char kOrdersIndex[] = "create index orders_by_customer on orders(customer);";

// Existence answers come from names read once the schema stands still; they
// must follow every change: another connection's, this connection's own,
// and a rolled-back transaction's, which takes its objects back.
TEST_F(SqliteDeployTest, ExistenceFollowsEveryChangeOfTheSchema) {
  ASSERT_TRUE(Deploy("orders", kOrders).succeeded);
  const ObjectRef index{ObjectKind::kIndex, driver_->Identify({ObjectKind::kIndex, {{"Orders_By_Customer"}}})};
  auto exists = [&] {
    bool found = true;
    EXPECT_EQ(driver_->Exists(index, &found), S_OK);
    return found;
  };
  for (int i = 0; i < 40; ++i) ASSERT_FALSE(exists());  // the names are read by now

  ASSERT_EQ(sqlite3_exec(db_, kOrdersIndex, nullptr, nullptr, nullptr), SQLITE_OK);
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(exists()) << "after another connection made it";

  ASSERT_EQ(driver_->Begin(), S_OK);
  ASSERT_EQ(driver_->Drop(index), S_OK);
  for (int i = 0; i < 40; ++i) ASSERT_FALSE(exists()) << "after dropping it in a transaction";
  driver_->Rollback();
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(exists()) << "after the drop was rolled back";

  ASSERT_EQ(sqlite3_exec(db_, "drop index orders_by_customer", nullptr, nullptr, nullptr),
            SQLITE_OK);
  ASSERT_EQ(driver_->Begin(), S_OK);
  ASSERT_EQ(driver_->Execute(kOrdersIndex), S_OK);
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(exists()) << "after making it in a transaction";
  driver_->Rollback();
  for (int i = 0; i < 40; ++i) ASSERT_FALSE(exists()) << "after the create was rolled back";
}

TEST_F(SqliteDeployTest, TableWithRowsIsRefusedAndNothingOfTheItemIsLeft) {
  // Given an item whose view comes first and is dropped before the table
  // is found to hold rows, then the rollback brings the view back too.
  std::string item = "create view order_count as select count(*) as n from orders;\n@\n" +
                     std::string(kOrders);
  ASSERT_TRUE(Deploy("orders", item).succeeded);
  ASSERT_EQ(sqlite3_exec(db_, "insert into orders values (1, 'ann'), (2, 'bob')", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  std::string before = History("orders");

  DeployOutcome outcome = Deploy(
      "orders", "create view order_count as select count(*) as n from orders;\n@\n"
                "create table orders(id integer primary key, customer text, due text);");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result,
            "line 3: table orders holds 2 rows: a change to a table with data belongs in a script "
            "(ALTER TABLE); no row was deleted");
  EXPECT_EQ(Query("select customer from orders order by id"), "ann,bob");
  EXPECT_EQ(Query("select n from order_count"), "2");
  EXPECT_EQ(History("orders"), before);
}

TEST_F(SqliteDeployTest, ProceduresAndMissingDirectoriesFailAtOnce) {
  DeployOutcome outcome = Deploy("total", "create procedure total() as begin select 1; end;");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result,
            "line 1: cannot create procedure total: the configuration's database is SQLite, which "
            "has no procedures or functions");

  std::unique_ptr<DeployDriver> driver;
  std::string message;
  EXPECT_TRUE(FAILED(OpenDeployDriver(SqliteShop(u"missing/shop.db"),
                                      FromUtf8(dir().string()), &driver, &message)));
  EXPECT_FALSE(driver);
  EXPECT_EQ(message, "connection shop: cannot open the database file " +
                         Path("missing/shop.db").string() + ": its directory " +
                         Path("missing").string() + " does not exist");
  EXPECT_FALSE(std::filesystem::exists(Path("missing")));
}

class PostgresDeployTest : public DeployTest {
 protected:
  void SetUp() override { Open(Database::kPostgres); }
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

TEST_F(PostgresDeployTest, TimeoutsAndInterruptsStopTheStatementAndRollBack) {
  Connection slow = PgShop();
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
  EXPECT_EQ(open(PgShop(PgServer::kPassword, "", down))
                .find("connection pg: connection to server at \"127.0.0.1\", port " +
                      std::to_string(down) + " failed: Connection refused"),
            0u);
  std::string message = open(PgShop("not-the-password"));
  EXPECT_NE(message.find("password authentication failed for user \"kv7_tester\""),
            std::string::npos)
      << message;
  EXPECT_EQ(message.find("not-the-password"), std::string::npos);
  EXPECT_EQ(message.find("connection pg: "), 0u);
  message = open(PgShop(PgServer::kPassword, "nosuch"));
  EXPECT_NE(message.find("database \"nosuch\" does not exist"), std::string::npos) << message;

  // Without a password, libpq's own sources give it.
  {
    test::ScopedEnv password("PGPASSWORD", PgServer::kPassword);
    std::unique_ptr<DeployDriver> driver;
    EXPECT_EQ(OpenDeployDriver(PgShop(""), u"", &driver, &message), S_OK) << message;
  }

  // Given a database without the history table, then connections opening
  // at once all find it made.
  std::string fresh = Server().CreateDatabase();
  std::atomic<int> opened{0};
  std::vector<std::thread> openers;
  for (int i = 0; i < 4; ++i)
    openers.emplace_back([&] {
      std::unique_ptr<DeployDriver> made;
      std::string why;
      if (SUCCEEDED(OpenDeployDriver(PgShop(PgServer::kPassword, fresh), u"", &made, &why))) ++opened;
    });
  for (std::thread& opener : openers) opener.join();
  EXPECT_EQ(opened, 4);
  EXPECT_EQ(Server().Query(fresh, "select count(*) from kv7.deployed"), "0");
}

}  // namespace
}  // namespace kv7::helper
