// kv7 build, run and the example project end to end on a throwaway
// PostgreSQL server: what landed is read back from the server's catalogs.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/project_cli_test.h"
#include "support/pg_server.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

namespace fs = std::filesystem;

class PostgresBuildTest : public ProjectCliTest {
 protected:
  void SetUp() override {
    ProjectCliTest::SetUp();
    KV7_REQUIRE_POSTGRES();
    database_ = PgServer::Get().CreateDatabase();
    ASSERT_FALSE(database_.empty());
    AddConnection("pg", database_);
    Expect(0, "new " + Quote(File()));
    On(0, "config connection", "Debug pg");
  }
  // A catalogue connection to a database of the test server as the test role.
  void AddConnection(const std::string& name, const std::string& database) {
    CliRun run = Kv7Command(std::string("printf '%s\\n' '") + PgServer::kPassword + "' | " +
                            KV7_CLI_PATH + " connection add " + name +
                            " --type postgresql --server 127.0.0.1:" +
                            std::to_string(PgServer::Get().port()) + " --database " + database +
                            " --user " + PgServer::kUser + " --password-stdin");
    ASSERT_EQ(run.exit_code, 0) << run.out;
  }
  void Item(const std::string& folder, const std::string& name, const std::string& text) {
    WriteFile(Path("p/" + folder + "/" + name), text);
    On(0, "add", Quote(Path("p/" + folder + "/" + name)) + " --to " + folder);
  }
  void Change(const std::string& item, const std::string& text) {
    WriteFile(Path("p/" + item), text);
    fs::last_write_time(Path("p/" + item),
                        fs::file_time_type::clock::now() + std::chrono::seconds(5));
  }
  std::string Query(const std::string& sql) const {
    return PgServer::Get().Query(database_, sql);
  }

  std::string database_;
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

TEST_F(PostgresBuildTest, RoutinesAreReplacedInPlaceAndTablesWithRowsNever) {
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

  // A table holding rows is refused, naming its rows; nothing is deleted.
  Change("Tables/t.kv7tbl", "CREATE TABLE t (id integer PRIMARY KEY, note text, more text);\n");
  out = On(1, "build");
  EXPECT_TRUE(Has(out, "2 rows")) << out;
  EXPECT_EQ(Query("SELECT count(*) FROM t"), "2");
}

TEST_F(PostgresBuildTest, AFailingItemLeavesNothingOfItself) {
  Item("Tables", "a.kv7tbl", "CREATE TABLE a (id integer);\n");
  Item("Tables", "b.kv7tbl",
       "CREATE TABLE b (id integer);\n@\nCREATE INDEX b_id ON b (id);\n@\n"
       "INSERT INTO b VALUES ('not a number');\n");
  Item("Tables", "c.kv7tbl", "CREATE TABLE c (id integer);\n");
  std::string out = On(1, "build");
  EXPECT_TRUE(Has(out, "line 5")) << out;
  EXPECT_TRUE(Has(out, "invalid input syntax for type integer")) << out;
  EXPECT_EQ(Query("SELECT string_agg(relname, ',' ORDER BY relname) FROM pg_class "
                  "WHERE relname IN ('a', 'b', 'b_id', 'c')"),
            "a");
}

TEST_F(PostgresBuildTest, CtrlCCancelsTheRunningStatement) {
  Item("Tables", "a.kv7tbl", "CREATE TABLE a (id integer);\n");
  Item("Scripts", "slow.kv7", "CREATE TABLE slow (id integer);\n@\nSELECT pg_sleep(60);\n");
  CliRun run = Kv7Command("timeout --preserve-status -s INT 3 " + std::string(KV7_CLI_PATH) +
                          " build " + Quote(File()));
  EXPECT_EQ(run.exit_code, 1) << run.out;
  EXPECT_TRUE(Has(run.out, "interrupted")) << run.out;
  EXPECT_EQ(Query("SELECT string_agg(relname, ',') FROM pg_class WHERE relname IN ('a', 'slow')"),
            "a");
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
  AddConnection("example-shop-pg", database_);
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
