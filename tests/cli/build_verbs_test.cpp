// kv7 build, plan, clean and compile end to end on SQLite: each run is a new
// process; what landed is read back from the database file itself.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>

#include "cli/project_cli_test.h"
#include "kv7/platform/file_lock.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

namespace fs = std::filesystem;

class BuildVerbsTest : public ProjectCliTest {
 protected:
  void SetUp() override {
    ProjectCliTest::SetUp();
    Expect(0, "new " + Quote(File()));
    Expect(0, "connection add t --type sqlite --database " + Quote(Path("p/t.db")));
    On(0, "config connection", "Debug t");
  }

  // Writes an item below the project folder and adds it to its folder.
  void Item(const std::string& folder, const std::string& name, const std::string& text) {
    WriteFile(Path("p/" + folder + "/" + name), text);
    On(0, "add", Quote(Path("p/" + folder + "/" + name)) + " --to " + folder);
  }
  void Touch(const std::string& item) {
    fs::last_write_time(Path("p/" + item),
                        fs::file_time_type::clock::now() + std::chrono::seconds(5));
  }

  // Rows of a query on the database, each as "a|b|c".
  std::vector<std::string> Query(const std::string& sql) const {
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
  // The schema's objects with the page each lives on: a dropped and
  // re-created object moves.
  std::vector<std::string> Objects() const {
    return Query("SELECT type, name, rootpage FROM sqlite_schema "
                 "WHERE name NOT LIKE 'kv7_%' AND name NOT LIKE 'sqlite_%' ORDER BY name");
  }
  std::string Record() const { return ReadFile(Path("p/Shop.kv7builtfiles.xml")); }

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
  EXPECT_EQ(Query("SELECT name FROM customers"), std::vector<std::string>{"Ada"});
  EXPECT_EQ(Objects().size(), 5u);

  out = On(0, "build");
  EXPECT_TRUE(Has(out, "0 deployed, 6 unchanged, 0 failed, 0 skipped")) << out;

  // One changed item deploys alone; a view has no data and is replaced.
  WriteFile(Path("p/Views/big_orders.kv7vw"),
            "CREATE VIEW big_orders AS SELECT * FROM orders WHERE total > 500;\n");
  Touch("Views/big_orders.kv7vw");
  EXPECT_TRUE(Has(On(0, "plan"), "changed since its last build at"));
  out = On(0, "build");
  EXPECT_TRUE(Has(out, "1 deployed, 5 unchanged")) << out;
  EXPECT_TRUE(Has(Query("SELECT sql FROM sqlite_schema WHERE name = 'big_orders'")[0], "500"));

  // A checkout that touches every file: each is read and found unchanged.
  for (const char* item : {"Tables/customers.kv7tbl", "Tables/orders.kv7tbl",
                           "Indexes/orders_by_customer.kv7ind", "Triggers/orders_total.kv7tr",
                           "Views/big_orders.kv7vw", "Scripts/seed.kv7"})
    Touch(item);
  const auto before = Objects();
  out = On(0, "build");
  EXPECT_TRUE(Has(out, "0 deployed, 6 unchanged")) << out;
  EXPECT_EQ(Objects(), before);
  EXPECT_EQ(Query("SELECT count(*) FROM customers"), std::vector<std::string>{"1"});
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

  WriteFile(Path("p/Tables/t120.kv7tbl"), "CREATE TABLE t120 (id INTEGER, name TEXT);\n");
  Touch("Tables/t120.kv7tbl");
  Touch("Tables/t3.kv7tbl");
  const std::string planned = On(0, "plan");
  EXPECT_TRUE(Has(planned, "Debug|Win32: 2 to deploy, 148 to skip")) << planned;
  std::string out = On(0, "build");
  EXPECT_TRUE(Has(out, "1 deployed, 149 unchanged")) << out;
  EXPECT_EQ(Query("SELECT count(*) FROM pragma_table_info('t120')"),
            std::vector<std::string>{"2"});
  EXPECT_TRUE(Has(On(0, "build"), "0 deployed, 150 unchanged"));
}

TEST_F(BuildVerbsTest, RebuildCleanAndTheRunOrderDecideWhatRuns) {
  Shop();
  On(0, "build");
  // A rebuild runs every script again; tables with unchanged text stay.
  std::string out = On(0, "build", "--rebuild");
  EXPECT_TRUE(Has(out, "succeeded")) << out;
  EXPECT_EQ(Query("SELECT count(*) FROM customers"), std::vector<std::string>{"1"});

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

TEST_F(BuildVerbsTest, AFailingItemRollsBackStopsTheBuildAndNamesItsLine) {
  Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  Item("Tables", "b.kv7tbl",
       "CREATE TABLE b (id INTEGER);\r\n@\r\nINSERT INTO b VALUES (1);\r\n@\r\n"
       "INSERT INTO nowhere VALUES (2);\r\n");
  Item("Tables", "c.kv7tbl", "CREATE TABLE c (id INTEGER);\n");
  std::string out = On(1, "build");
  EXPECT_TRUE(Has(out, "no such table: nowhere")) << out;
  EXPECT_TRUE(Has(out, "line 5")) << out;
  EXPECT_TRUE(Has(out, "b.kv7tbl failed.")) << out;
  EXPECT_TRUE(Has(out, "1 deployed, 0 unchanged, 1 failed, 1 skipped")) << out;
  EXPECT_EQ(Query("SELECT name FROM sqlite_schema WHERE type = 'table' AND name IN "
                  "('a', 'b', 'c') ORDER BY name"),
            std::vector<std::string>{"a"});
  EXPECT_TRUE(Has(Record(), "a.kv7tbl"));
  EXPECT_FALSE(Has(Record(), "b.kv7tbl"));
}

TEST_F(BuildVerbsTest, TablesWithRowsAreNeverReplacedEmptyOnesComeBackWhole) {
  Item("Tables", "t.kv7tbl", "CREATE TABLE t (id INTEGER);\n");
  Item("Indexes", "t_id.kv7ind", "CREATE INDEX t_id ON t (id);\n");
  Item("Triggers", "t_guard.kv7tr",
       "CREATE TRIGGER t_guard BEFORE INSERT ON t\n"
       "BEGIN SELECT RAISE(ABORT, 'no') WHERE NEW.id < 0; END;\n");
  On(0, "build");
  // Empty: the table is replaced and its index and trigger come back.
  WriteFile(Path("p/Tables/t.kv7tbl"), "CREATE TABLE t (id INTEGER, note TEXT);\n");
  Touch("Tables/t.kv7tbl");
  On(0, "build");
  EXPECT_EQ(Query("SELECT name FROM sqlite_schema WHERE tbl_name = 't' ORDER BY name"),
            (std::vector<std::string>{"t", "t_guard", "t_id"}));
  EXPECT_TRUE(Has(Query("SELECT sql FROM sqlite_schema WHERE name = 't'")[0], "note"));

  // With rows: refused, naming the table and its rows; nothing deleted.
  Item("Scripts", "rows.kv7", "INSERT INTO t VALUES (1, 'x');\n@\nINSERT INTO t VALUES (2, 'y');\n");
  On(0, "build");
  WriteFile(Path("p/Tables/t.kv7tbl"), "CREATE TABLE t (id INTEGER, note TEXT, more TEXT);\n");
  Touch("Tables/t.kv7tbl");
  std::string out = On(1, "build");
  EXPECT_TRUE(Has(out, "2 rows")) << out;
  EXPECT_TRUE(Has(out, "ALTER TABLE")) << out;
  EXPECT_EQ(Query("SELECT count(*) FROM t"), std::vector<std::string>{"2"});
}

TEST_F(BuildVerbsTest, ItemsWithTheirOwnTransactionsRunWithoutTheItemTransaction) {
  Item("Scripts", "own.kv7",
       "BEGIN;\n@\nCREATE TABLE own (x);\n@\nINSERT INTO own VALUES (1);\n@\nCOMMIT;\n");
  std::string out = On(0, "build");
  EXPECT_TRUE(Has(out, "without the item transaction")) << out;
  EXPECT_EQ(Query("SELECT x FROM own"), std::vector<std::string>{"1"});
}

TEST_F(BuildVerbsTest, ExcludedItemsAreSkippedUnlessCompiledAlone) {
  Shop();
  WriteFile(Path("lines"),
            "item-settings Views/big_orders.kv7vw --exclude true\n"
            "plan\n"
            "build\n"
            "compile Views/big_orders.kv7vw\n");
  CliRun run = Kv7("shell " + Quote(File()) + " < " + Quote(Path("lines")));
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_TRUE(Has(run.out, "excluded from the build of Debug|Win32")) << run.out;
  EXPECT_TRUE(Has(run.out, "5 deployed, 0 unchanged, 0 failed, 1 skipped")) << run.out;
  EXPECT_TRUE(Has(run.out, "------ Deploying big_orders.kv7vw in Debug Win32 ------")) << run.out;
  EXPECT_EQ(Query("SELECT name FROM sqlite_schema WHERE name = 'big_orders'"),
            std::vector<std::string>{"big_orders"});
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

TEST_F(BuildVerbsTest, CtrlCRollsBackTheRunningItemAndKeepsWhatCommitted) {
  Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  Item("Scripts", "slow.kv7",
       "CREATE TABLE slow AS WITH RECURSIVE n(x) AS "
       "(SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 1000000000) SELECT x FROM n;\n");
  CliRun run = Kv7Command("timeout --preserve-status -s INT 2 " + std::string(KV7_CLI_PATH) +
                          " build " + Quote(File()));
  EXPECT_EQ(run.exit_code, 1) << run.out;
  EXPECT_TRUE(Has(run.out, "interrupted")) << run.out;
  EXPECT_EQ(Query("SELECT name FROM sqlite_schema WHERE name IN ('a', 'slow')"),
            std::vector<std::string>{"a"});
  EXPECT_TRUE(Has(Record(), "a.kv7tbl"));
  EXPECT_FALSE(Has(Record(), "slow.kv7"));
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

}  // namespace
}  // namespace kv7::test
