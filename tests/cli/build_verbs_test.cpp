// kv7 build, plan, clean, compile and run end to end, on SQLite and on a
// throwaway PostgreSQL server: each run is a new process; what landed is read
// back from the database itself. What both databases must do alike runs as
// one suite on each.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>

#include "cli/project_cli_test.h"
#include "kv7/platform/file_lock.h"
#include "support/pg_server.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

namespace fs = std::filesystem;

// A new project p/Shop.kv7p whose Debug configuration deploys to a SQLite
// file p/t.db (connection "t") or to a fresh database of the test server
// (connection "pg").
class BuildCliTest : public ProjectCliTest {
 protected:
  void SetUpFor(Database database) {
    ProjectCliTest::SetUp();
    database_ = database;
    if (database == Database::kPostgres) {
      KV7_REQUIRE_POSTGRES();
      pg_ = PgServer::Get().CreateDatabase();
      ASSERT_FALSE(pg_.empty());
      AddPostgresConnection("pg", pg_);
    } else {
      Expect(0, "connection add t --type sqlite --database " + Quote(Path("p/t.db")));
    }
    Expect(0, "new " + Quote(File()));
    On(0, "config connection", database == Database::kPostgres ? "Debug pg" : "Debug t");
  }
  // A catalogue connection to a database of the test server as the test role.
  void AddPostgresConnection(const std::string& name, const std::string& database) {
    CliRun run = Kv7Command(std::string("printf '%s\\n' '") + PgServer::kPassword + "' | " +
                            KV7_CLI_PATH + " connection add " + name +
                            " --type postgresql --server 127.0.0.1:" +
                            std::to_string(PgServer::Get().port()) + " --database " + database +
                            " --user " + PgServer::kUser + " --password-stdin");
    ASSERT_EQ(run.exit_code, 0) << run.out;
  }

  // Writes an item below the project folder and adds it to its folder.
  void Item(const std::string& folder, const std::string& name, const std::string& text) {
    WriteFile(Path("p/" + folder + "/" + name), text);
    On(0, "add", Quote(Path("p/" + folder + "/" + name)) + " --to " + folder);
  }
  // Makes an item look changed since its last build.
  void Touch(const std::string& item) {
    fs::last_write_time(Path("p/" + item),
                        fs::file_time_type::clock::now() + std::chrono::seconds(5));
  }
  void Change(const std::string& item, const std::string& text) {
    WriteFile(Path("p/" + item), text);
    Touch(item);
  }
  std::string Record() const { return ReadFile(Path("p/Shop.kv7builtfiles.xml")); }

  // Rows of a query on the SQLite database, each as "a|b|c".
  std::vector<std::string> SqliteRows(const std::string& sql) const {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(Path("p/t.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      return rows;
    }
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const unsigned char* text = sqlite3_column_text(statement, i);
        row += (i ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "NULL");
      }
      rows.push_back(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
  }
  // The first column of a query's rows on either database, joined by ",".
  std::string Query(const std::string& sql) const {
    if (database_ == Database::kPostgres) return PgServer::Get().Query(pg_, sql);
    std::string joined;
    for (const std::string& row : SqliteRows(sql)) joined += (joined.empty() ? "" : ",") + row;
    return joined;
  }
  // Which of the named tables, indexes and views the database holds, by name.
  std::string Relations(const std::string& quotedNames) const {
    return database_ == Database::kPostgres
               ? Query("SELECT relname FROM pg_class WHERE relname IN (" + quotedNames +
                       ") ORDER BY relname")
               : Query("SELECT name FROM sqlite_schema WHERE name IN (" + quotedNames +
                       ") ORDER BY name");
  }

  Database database_ = Database::kSqlite;
  std::string pg_;
};

class BuildOnEachDatabase : public BuildCliTest, public ::testing::WithParamInterface<Database> {
 protected:
  void SetUp() override { SetUpFor(GetParam()); }
};

TEST_P(BuildOnEachDatabase, AFailingItemRollsBackStopsTheBuildAndNamesItsLine) {
  Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  // CR LF ends a line once: the failing statement is on the item's line 5.
  Item("Tables", "b.kv7tbl",
       "CREATE TABLE b (id INTEGER);\r\n@\r\nCREATE INDEX b_id ON b (id);\r\n@\r\n"
       "INSERT INTO nowhere VALUES (2);\r\n");
  Item("Tables", "c.kv7tbl", "CREATE TABLE c (id INTEGER);\n");
  std::string out = On(1, "build");
  EXPECT_TRUE(Has(out, GetParam() == Database::kSqlite ? "no such table: nowhere"
                                                       : "relation \"nowhere\" does not exist"))
      << out;
  EXPECT_TRUE(Has(out, "line 5")) << out;
  EXPECT_TRUE(Has(out, "b.kv7tbl failed.")) << out;
  EXPECT_TRUE(Has(out, "1 deployed, 0 unchanged, 1 failed, 1 skipped")) << out;
  EXPECT_EQ(Relations("'a', 'b', 'b_id', 'c'"), "a");
  EXPECT_TRUE(Has(Record(), "a.kv7tbl"));
  EXPECT_FALSE(Has(Record(), "b.kv7tbl"));
}

TEST_P(BuildOnEachDatabase, CtrlCRollsBackTheRunningItemAndKeepsWhatCommitted) {
  Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  Item("Scripts", "slow.kv7",
       GetParam() == Database::kSqlite
           ? "CREATE TABLE slow AS WITH RECURSIVE n(x) AS "
             "(SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 1000000000) SELECT x FROM n;\n"
           : "CREATE TABLE slow (id integer);\n@\nSELECT pg_sleep(60);\n");
  CliRun run = Kv7Command("timeout --preserve-status -s INT 3 " + std::string(KV7_CLI_PATH) +
                          " build " + Quote(File()));
  EXPECT_EQ(run.exit_code, 1) << run.out;
  EXPECT_TRUE(Has(run.out, "interrupted")) << run.out;
  EXPECT_EQ(Relations("'a', 'slow'"), "a");
  EXPECT_TRUE(Has(Record(), "a.kv7tbl"));
  EXPECT_FALSE(Has(Record(), "slow.kv7"));
}

TEST_P(BuildOnEachDatabase, ATableWithRowsIsNeverReplaced) {
  Item("Tables", "t.kv7tbl", "CREATE TABLE t (id INTEGER, note TEXT);\n");
  Item("Scripts", "rows.kv7", "INSERT INTO t VALUES (1, 'x');\n@\nINSERT INTO t VALUES (2, 'y');\n");
  On(0, "build");
  Change("Tables/t.kv7tbl", "CREATE TABLE t (id INTEGER, note TEXT, more TEXT);\n");
  std::string out = On(1, "build");
  EXPECT_TRUE(Has(out, "2 rows")) << out;
  EXPECT_TRUE(Has(out, "ALTER TABLE")) << out;
  EXPECT_EQ(Query("SELECT count(*) FROM t"), "2");
}

KV7_INSTANTIATE_ON_EACH_DATABASE(BuildOnEachDatabase);

class BuildVerbsTest : public BuildCliTest {
 protected:
  void SetUp() override { SetUpFor(Database::kSqlite); }

  // The schema's objects with the page each lives on: a dropped and
  // re-created object moves.
  std::vector<std::string> Objects() const {
    return SqliteRows("SELECT type, name, rootpage FROM sqlite_schema "
                      "WHERE name NOT LIKE 'kv7_%' AND name NOT LIKE 'sqlite_%' ORDER BY name");
  }

  // A project of three tables, an index, a trigger, a view and a seed script.
  void Shop() {
    Item("Tables", "customers.kv7tbl",
         "CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT NOT NULL);\n");
    Item("Tables", "orders.kv7tbl",
         "CREATE TABLE orders (id INTEGER PRIMARY KEY, customer INTEGER, total NUMERIC);\n");
    Item("Indexes", "orders_by_customer.kv7ind",
         "CREATE INDEX orders_by_customer ON orders (customer);\n");
    Item("Triggers", "orders_total.kv7tr",
         "CREATE TRIGGER orders_total BEFORE INSERT ON orders\n"
         "BEGIN\n  SELECT RAISE(ABORT, 'negative total') WHERE NEW.total < 0;\nEND;\n");
    Item("Views", "big_orders.kv7vw",
         "CREATE VIEW big_orders AS SELECT * FROM orders WHERE total > 100;\n");
    Item("Scripts", "seed.kv7", "INSERT OR IGNORE INTO customers VALUES (1, 'Ada');\n");
  }
};

TEST_F(BuildVerbsTest, BuildsDeployChangesOnlyAndTouchingEveryFileDropsNothing) {
  Shop();
  const std::string planned = On(0, "plan");
  EXPECT_TRUE(Has(planned, "deploy  Tables/customers.kv7tbl")) << planned;
  EXPECT_TRUE(Has(planned, "never built in Debug|Win32"));
  EXPECT_TRUE(Has(planned, "Debug|Win32: 6 to deploy, 0 to skip"));
  EXPECT_TRUE(Objects().empty()) << "plan deploys nothing";

  std::string out = On(0, "build");
  EXPECT_TRUE(Has(out, "Debug|Win32 succeeded: 6 deployed, 0 unchanged, 0 failed, 0 skipped"))
      << out;
  EXPECT_EQ(Query("SELECT name FROM customers"), "Ada");
  EXPECT_EQ(Objects().size(), 5u);

  out = On(0, "build");
  EXPECT_TRUE(Has(out, "0 deployed, 6 unchanged, 0 failed, 0 skipped")) << out;

  // One changed item deploys alone; a view has no data and is replaced.
  Change("Views/big_orders.kv7vw",
         "CREATE VIEW big_orders AS SELECT * FROM orders WHERE total > 500;\n");
  EXPECT_TRUE(Has(On(0, "plan"), "changed since its last build at"));
  out = On(0, "build");
  EXPECT_TRUE(Has(out, "1 deployed, 5 unchanged")) << out;
  EXPECT_TRUE(Has(Query("SELECT sql FROM sqlite_schema WHERE name = 'big_orders'"), "500"));

  // A checkout that touches every file: each is read and found unchanged.
  for (const char* item : {"Tables/customers.kv7tbl", "Tables/orders.kv7tbl",
                           "Indexes/orders_by_customer.kv7ind", "Triggers/orders_total.kv7tr",
                           "Views/big_orders.kv7vw", "Scripts/seed.kv7"})
    Touch(item);
  const auto before = Objects();
  out = On(0, "build");
  EXPECT_TRUE(Has(out, "0 deployed, 6 unchanged")) << out;
  EXPECT_EQ(Objects(), before);
  EXPECT_EQ(Query("SELECT count(*) FROM customers"), "1");
}

// Long item lists have their files looked at ahead of the load and the
// build; the decisions are those of a short list.
TEST_F(BuildVerbsTest, ALongProjectDeploysWhatChangedAndNothingElse) {
  const int kItems = 150;
  std::string files;
  for (int i = 0; i < kItems; ++i) {
    const std::string name = "p/Tables/t" + std::to_string(i) + ".kv7tbl";
    WriteFile(Path(name), "CREATE TABLE t" + std::to_string(i) + " (id INTEGER);\n");
    files += " " + Quote(Path(name));
  }
  On(0, "add", files + " --to Tables");
  EXPECT_TRUE(Has(On(0, "build"), "150 deployed, 0 unchanged")) << "first build";

  Change("Tables/t120.kv7tbl", "CREATE TABLE t120 (id INTEGER, name TEXT);\n");
  Touch("Tables/t3.kv7tbl");
  const std::string planned = On(0, "plan");
  EXPECT_TRUE(Has(planned, "Debug|Win32: 2 to deploy, 148 to skip")) << planned;
  std::string out = On(0, "build");
  EXPECT_TRUE(Has(out, "1 deployed, 149 unchanged")) << out;
  EXPECT_EQ(Query("SELECT count(*) FROM pragma_table_info('t120')"), "2");
  EXPECT_TRUE(Has(On(0, "build"), "0 deployed, 150 unchanged"));
}

TEST_F(BuildVerbsTest, RebuildCleanAndTheRunOrderDecideWhatRuns) {
  Shop();
  On(0, "build");
  // A rebuild runs every script again; tables with unchanged text stay.
  std::string out = On(0, "build", "--rebuild");
  EXPECT_TRUE(Has(out, "succeeded")) << out;
  EXPECT_EQ(Query("SELECT count(*) FROM customers"), "1");

  On(0, "clean");
  EXPECT_FALSE(Has(Record(), "customers.kv7tbl"));
  EXPECT_TRUE(Has(On(0, "plan"), "6 to deploy"));
  out = On(0, "build");
  EXPECT_TRUE(Has(out, "0 deployed, 6 unchanged")) << "the database holds every item already";

  // With a run order only its items deploy, in its order.
  On(0, "run-order", "Debug --set Views/big_orders.kv7vw Tables/orders.kv7tbl");
  On(0, "clean");
  const std::string planned = On(0, "plan");
  EXPECT_LT(planned.find("Views/big_orders"), planned.find("Tables/orders"));
  EXPECT_TRUE(Has(planned, "not in the run order"));
  out = On(0, "build");
  EXPECT_TRUE(Has(out, "0 deployed, 2 unchanged, 0 failed, 4 skipped")) << out;
}

TEST_F(BuildVerbsTest, AnEmptyChangedTableComesBackWithItsIndexAndTrigger) {
  Item("Tables", "t.kv7tbl", "CREATE TABLE t (id INTEGER);\n");
  Item("Indexes", "t_id.kv7ind", "CREATE INDEX t_id ON t (id);\n");
  Item("Triggers", "t_guard.kv7tr",
       "CREATE TRIGGER t_guard BEFORE INSERT ON t\n"
       "BEGIN SELECT RAISE(ABORT, 'no') WHERE NEW.id < 0; END;\n");
  On(0, "build");
  Change("Tables/t.kv7tbl", "CREATE TABLE t (id INTEGER, note TEXT);\n");
  On(0, "build");
  EXPECT_EQ(Query("SELECT name FROM sqlite_schema WHERE tbl_name = 't' ORDER BY name"),
            "t,t_guard,t_id");
  EXPECT_TRUE(Has(Query("SELECT sql FROM sqlite_schema WHERE name = 't'"), "note"));
}

TEST_F(BuildVerbsTest, ItemsWithTheirOwnTransactionsRunWithoutTheItemTransaction) {
  Item("Scripts", "own.kv7",
       "BEGIN;\n@\nCREATE TABLE own (x);\n@\nINSERT INTO own VALUES (1);\n@\nCOMMIT;\n");
  std::string out = On(0, "build");
  EXPECT_TRUE(Has(out, "without the item transaction")) << out;
  EXPECT_EQ(Query("SELECT x FROM own"), "1");
}

TEST_F(BuildVerbsTest, ExcludedItemsAreSkippedUnlessCompiledAlone) {
  Shop();
  CliRun run = Shell(
      "item-settings Views/big_orders.kv7vw --exclude true\nplan\nbuild\n"
      "compile Views/big_orders.kv7vw\n");
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_TRUE(Has(run.out, "excluded from the build of Debug|Win32")) << run.out;
  EXPECT_TRUE(Has(run.out, "5 deployed, 0 unchanged, 0 failed, 1 skipped")) << run.out;
  EXPECT_TRUE(Has(run.out, "------ Deploying big_orders.kv7vw in Debug Win32 ------")) << run.out;
  EXPECT_EQ(Query("SELECT name FROM sqlite_schema WHERE name = 'big_orders'"), "big_orders");
}

TEST_F(BuildVerbsTest, ConnectionsThatCannotServeFailTheBuildAtOnce) {
  Shop();
  // No connection at all: refused with the reason.
  std::string out = On(1, "build", "--config Release");
  EXPECT_TRUE(Has(out, "no connection")) << out;

  Expect(0, "connection add lost --type sqlite --database " + Quote(Path("missing/dir/x.db")));
  On(0, "config connection", "Debug lost");
  out = On(1, "build");
  EXPECT_TRUE(Has(out, "lost")) << out;
  EXPECT_TRUE(Has(out, "0 deployed")) << out;
  EXPECT_FALSE(fs::exists(Path("missing")));
}

TEST_F(BuildVerbsTest, JsonEventsParseBackAndAgreeWithTheBuild) {
  Shop();
  Item("Tables", "broken.kv7tbl", "CREATE TABLE broken (id INTEGER);\n@\nSELECT nothing FROM nowhere;\n");
  On(0, "run-order", "Debug --set Tables/customers.kv7tbl Tables/broken.kv7tbl "
                     "Tables/orders.kv7tbl");
  // Each line must be a JSON object; the fields come back through an
  // independent parser.
  const std::string parse =
      " | python3 -c 'import json, sys\n"
      "for line in sys.stdin:\n"
      "    e = json.loads(line)\n"
      "    print(e[\"event\"], e.get(\"item\", \"-\"), e.get(\"action\", \"-\"), e.get(\"status\", \"-\"),"
      " e.get(\"line\", \"-\"), e.get(\"failed\", \"-\"), e.get(\"succeeded\", \"-\"))'";
  CliRun plan = Kv7Command(std::string(KV7_CLI_PATH) + " plan --json " + Quote(File()) +
                           " 2>/dev/null" + parse);
  EXPECT_EQ(plan.out,
            "item Tables/customers.kv7tbl deploy never-built 0 - -\n"
            "item Tables/broken.kv7tbl deploy never-built 0 - -\n"
            "item Tables/orders.kv7tbl deploy never-built 0 - -\n"
            "item Indexes/orders_by_customer.kv7ind skip not-in-run-order 0 - -\n"
            "item Triggers/orders_total.kv7tr skip not-in-run-order 0 - -\n"
            "item Views/big_orders.kv7vw skip not-in-run-order 0 - -\n"
            "item Scripts/seed.kv7 skip not-in-run-order 0 - -\n"
            "summary - - - - - -\n");
  CliRun build = Kv7Command(std::string(KV7_CLI_PATH) + " build --json " + Quote(File()) +
                            " 2>/dev/null" + parse);
  EXPECT_EQ(build.out,
            "item Tables/customers.kv7tbl deploy deployed 0 - -\n"
            "item Tables/broken.kv7tbl deploy failed 3 - -\n"
            "item Tables/orders.kv7tbl skip not-deployed 0 - -\n"
            "item Indexes/orders_by_customer.kv7ind skip not-in-run-order 0 - -\n"
            "item Triggers/orders_total.kv7tr skip not-in-run-order 0 - -\n"
            "item Views/big_orders.kv7vw skip not-in-run-order 0 - -\n"
            "item Scripts/seed.kv7 skip not-in-run-order 0 - -\n"
            "summary - - - - 1 False\n");
  // The human text went to stderr.
  CliRun human = Kv7Command("{ " + std::string(KV7_CLI_PATH) + " build --json " + Quote(File()) +
                            " 2>&1 >/dev/null; }");
  EXPECT_TRUE(Has(human.out, "broken.kv7tbl failed.")) << human.out;
}

TEST_F(BuildVerbsTest, OneBuildAtATimeTheOtherWaitsThenFailsNamingTheHolder) {
  Shop();
  const std::string record = Record();
  CFileLock held;
  std::string holder;
  ASSERT_EQ(held.Acquire(FromUtf8(Path("p/Shop.kv7lock").string()), 0, &holder), S_OK);
  std::string out = On(1, "build", "--wait 0.3");
  EXPECT_TRUE(Has(out, "another kv7 is building")) << out;
  EXPECT_TRUE(Has(out, "pid " + std::to_string(getpid()))) << out;
  EXPECT_EQ(Record(), record) << "the waiting build touched nothing";
  EXPECT_TRUE(Objects().empty());
  On(1, "clean", "--wait 0");
  On(2, "build", "--wait soon");

  held.Release();
  // Another project deploying to the same database holds the target.
  CFileLock target;
  ASSERT_EQ(target.Acquire(FromUtf8(Path("p/t.db.kv7lock").string()), 0, &holder), S_OK);
  out = On(1, "build", "--wait 0.3");
  EXPECT_TRUE(Has(out, "another kv7 is deploying to t")) << out;
  EXPECT_EQ(Record(), record);
  target.Release();

  out = On(0, "build", "--wait 0");
  EXPECT_TRUE(Has(out, "6 deployed")) << out;
  EXPECT_FALSE(fs::exists(Path("p/Shop.kv7lock")));
}


class PostgresBuildTest : public BuildCliTest {
 protected:
  void SetUp() override { SetUpFor(Database::kPostgres); }
};

constexpr char kTrigger[] =
    "CREATE FUNCTION stamp() RETURNS trigger LANGUAGE plpgsql AS $$\n"
    "DECLARE\n"
    "  note text := 'written by stamp:\n"
    "@\n"
    "';\n"
    "BEGIN\n"
    "  NEW.note := note;\n"
    "  RETURN NEW;\n"
    "END;\n"
    "$$;\n"
    "@\n"
    "CREATE TRIGGER stamp BEFORE INSERT ON t FOR EACH ROW EXECUTE FUNCTION stamp();\n";

TEST_F(PostgresBuildTest, RoutinesAreReplacedInPlace) {
  Item("Tables", "t.kv7tbl", "CREATE TABLE t (id integer PRIMARY KEY, note text);\n");
  Item("Triggers", "stamp.kv7tr", kTrigger);
  Item("Functions", "twice.kv7udf",
       "CREATE FUNCTION twice(x integer) RETURNS integer LANGUAGE sql AS $$ SELECT 2 * x $$;\n");
  Item("Procedures", "add_row.kv7sp",
       "CREATE PROCEDURE add_row(p_id integer) LANGUAGE sql AS $$\n"
       "  INSERT INTO t (id) VALUES (twice(p_id))\n$$;\n");
  Item("Scripts", "rows.kv7", "CALL add_row(1);\n@\nCALL add_row(2);\n");
  On(0, "run-order", "Debug --set Tables/t.kv7tbl Triggers/stamp.kv7tr Functions/twice.kv7udf "
                     "Procedures/add_row.kv7sp Scripts/rows.kv7");
  std::string out = On(0, "build");
  EXPECT_TRUE(Has(out, "5 deployed, 0 unchanged, 0 failed")) << out;
  EXPECT_EQ(Query("SELECT id || ':' || (note LIKE '%@%')::text FROM t ORDER BY id"),
            "2:true,4:true");
  EXPECT_TRUE(Has(On(0, "build"), "0 deployed, 5 unchanged"));

  // A changed function body replaces the function where it stands: the
  // procedure that calls it stays valid.
  Change("Functions/twice.kv7udf",
         "CREATE FUNCTION twice(x integer) RETURNS integer LANGUAGE sql AS $$ SELECT x + x + 0 $$;\n");
  Change("Procedures/add_row.kv7sp",
         "CREATE PROCEDURE add_row(p_id integer) LANGUAGE sql AS $$\n"
         "  INSERT INTO t (id) VALUES (twice(p_id) + 100)\n$$;\n");
  out = On(0, "build");
  EXPECT_TRUE(Has(out, "2 deployed")) << out;
  EXPECT_EQ(Query("SELECT prosrc LIKE '%x + x%' FROM pg_proc WHERE proname = 'twice'"), "t");
}

TEST_F(PostgresBuildTest, TwoProjectsNeverDeployToOneDatabaseAtOnce) {
  Item("Scripts", "slow.kv7", "SELECT pg_sleep(3);\n");
  Expect(0, "new " + Quote(Path("q/Other.kv7p")));
  Expect(0, "config connection " + Quote(Path("q/Other.kv7p")) + " Debug pg");
  const std::string kv7 = KV7_CLI_PATH;
  CliRun both = Kv7Command(
      "{ " + kv7 + " build " + Quote(File()) + " > " + Quote(Path("first.log")) + " 2>&1 & "
      "sleep 1.5; " + kv7 + " build " + Quote(Path("q/Other.kv7p")) + " --wait 0.5; "
      "echo second=$?; wait $!; echo first=$?; }");
  EXPECT_TRUE(Has(both.out, "another kv7 is deploying to pg")) << both.out;
  EXPECT_TRUE(Has(both.out, "second=1")) << both.out;
  EXPECT_TRUE(Has(both.out, "first=0")) << both.out << ReadFile(Path("first.log"));
  // Once the first let go, the second goes through.
  EXPECT_TRUE(Has(Expect(0, "build " + Quote(Path("q/Other.kv7p"))), "succeeded"));
}

TEST_F(PostgresBuildTest, RunCallsTheStartupProcedureWithItsSavedValues) {
  Item("Tables", "t.kv7tbl", "CREATE TABLE t (id integer, label text);\n");
  Item("Procedures", "put.kv7sp",
       "CREATE PROCEDURE put(p_id integer, p_label text, INOUT p_count integer DEFAULT NULL)\n"
       "LANGUAGE plpgsql AS $$\nBEGIN\n"
       "  INSERT INTO t VALUES (p_id, p_label);\n"
       "  SELECT count(*) INTO p_count FROM t;\n"
       "  RAISE NOTICE 'put %', p_label;\nEND;\n$$;\n");
  On(0, "build");
  On(0, "startup", "Debug put --param p_id=7 --param p_label=");
  std::string out = On(1, "run");
  EXPECT_TRUE(Has(out, "input parameters without values")) << out;
  On(0, "startup", "Debug put --param p_label=seven");
  out = On(0, "run");
  EXPECT_TRUE(Has(out, "p_count = 1")) << out;
  EXPECT_TRUE(Has(out, "NOTICE: put seven")) << out;
  EXPECT_EQ(Query("SELECT id || label FROM t"), "7seven");
  // The run as events: the out value and the notice among the notes.
  CliRun json = Kv7Command(std::string(KV7_CLI_PATH) + " run --json " + Quote(File()) +
                           " 2>/dev/null | python3 -c 'import json, sys\n"
                           "for line in sys.stdin:\n"
                           "    e = json.loads(line)\n"
                           "    print(e[\"event\"], e.get(\"status\", \"-\"), "
                           "\"|\".join(e.get(\"notes\", [])))'");
  EXPECT_EQ(json.out, "run succeeded p_count = 2|NOTICE: put seven\nsummary - \n");

  On(0, "startup", "Debug put --param p_id=seven");
  out = On(1, "run");
  EXPECT_TRUE(Has(out, "invalid input syntax for type integer")) << out;
}

TEST_F(PostgresBuildTest, TheExampleDeploysAndItsStartupProcedurePlacesAnOrder) {
  const fs::path example = fs::path(KV7_SOURCE_DIR) / "examples/shop";
  fs::copy(example, Path("shop"), fs::copy_options::recursive);
  AddPostgresConnection("example-shop-pg", pg_);
  const std::string project = Quote(Path("shop/Shop.kv7p"));
  std::string out = Expect(0, "build " + project + " --config Server");
  EXPECT_TRUE(Has(out, "14 deployed")) << out;
  out = Expect(0, "run " + project + " --config Server");
  EXPECT_TRUE(Has(out, "p_order = 1")) << out;
  EXPECT_EQ(Query("SELECT total FROM orders WHERE order_id = 1"), "10.50");
  EXPECT_EQ(Query("SELECT customer_total(1)"), "10.50");
}

}  // namespace
}  // namespace kv7::test
