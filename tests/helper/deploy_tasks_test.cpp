// Deployment tasks through the library's hooks: asynchronous tasks finish
// on the UI dispatcher in the order started, each report before its
// completion; cancelling interrupts the running task and fails the queued
// ones, on SQLite and on a throwaway PostgreSQL server; synchronous tasks
// run and report on the caller's thread; idle connections close; procedure
// and function runs on the server with their values, rows and notices.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "helper/task_dispatcher.h"
#include "kv7/helper/helper.h"
#include "kv7/platform/dispatcher.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/guid.h"
#include "support/pg_server.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

constexpr char16_t kShop[] =
    u"<DATACONNECTION DBCONNNAME=\"shop\" DBTYPE=\"SQLITE\" DATABASE=\"shop.db\" TIMEOUT=\"0\"/>";
constexpr char16_t kConfig[] =
    u"<CONFIG>\r\n\t<STATEMENTSEP>@</STATEMENTSEP>\r\n\t<BUILDFORDEBUG>FALSE</BUILDFORDEBUG>\r\n"
    u"</CONFIG>\r\n";

class DeployTasksTest : public TaskHooksTest {
 protected:
  std::string Start(const std::string& name, const std::string& text) {
    return StartTask(kShop, kConfig, name, text);
  }
  std::pair<LONG, std::string> Run(const std::string& text, const char16_t* connection = kShop,
                                   const char16_t* config = kConfig) {
    LONG status = -1;
    CComBSTR result;
    EXPECT_EQ(CTaskHelperHook().ExecuteTask(connection, FromUtf8(text).c_str(), config, u"",
                                            u"item", &status, result.Put()),
              S_OK);
    return {status, ToUtf8(result.ToString())};
  }
};

TEST_F(DeployTasksTest, AsynchronousTasksFinishInStartOrderEachReportFirst) {
  std::string a = Start("a", "create table a(x);");
  std::string b = Start("b", "selec;");
  std::string c = Start("c", "create view c as select x from a;");
  std::string d = Start("d", "insert into a values (1);");
  EXPECT_TRUE(events_.empty());
  GUID guid;
  EXPECT_EQ(GuidFromString(FromUtf8(a), &guid), S_OK);
  EXPECT_NE(a, b);

  ASSERT_TRUE(WaitForCompletions(4));
  EXPECT_EQ(events_, (std::vector<std::string>{
                         "report " + a + " created table a", "done " + a + " 1",
                         "report " + b + " line 1: near \"selec\": syntax error", "done " + b + " 0",
                         "report " + c + " created view c", "done " + c + " 1",
                         "report " + d + " ran script d", "done " + d + " 1"}));
  EXPECT_EQ(reports_[1].objectName, u"b");
  EXPECT_EQ(reports_[1].line, 1);
  EXPECT_GE(reports_[0].seconds, 0.0);

  SetUIDispatcher(nullptr);
  CComBSTR id;
  EXPECT_EQ(CTaskHelperHook().ExecuteTaskAsync(kShop, u"select 1", kConfig, u"", u"e", id.Put()),
            E_UNEXPECTED);
  EXPECT_NE(ErrorText().find(u"no UI dispatcher"), WString::npos);
  EXPECT_TRUE(id.IsNull());
}

// How many of this process's file descriptors are open on the file.
int OpenHandles(const std::filesystem::path& file) {
  int handles = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == file) ++handles;
  }
  return handles;
}

TEST_F(DeployTasksTest, SynchronousTasksRunAndReportOnTheCallersThread) {
  EXPECT_EQ(Run("create table a(x);"), (std::pair<LONG, std::string>{1, "created table a"}));
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].objectName, u"item");
  EXPECT_TRUE(dispatcher_.Empty());
  EXPECT_TRUE(std::filesystem::exists(Path("shop.db")));

  const char16_t* goConfig = u"<CONFIG><STATEMENTSEP> GO </STATEMENTSEP></CONFIG>";
  EXPECT_EQ(Run("create table b(x)\nGO\ncreate view bv as select x from b\n", kShop, goConfig),
            (std::pair<LONG, std::string>{1, "created table b, created view bv"}));

  EXPECT_EQ(Run("create table c(x);",
                u"<DATACONNECTION DBCONNNAME=\"shop\" DBTYPE=\"SQLITE\" DATABASE=\"nodir/x.db\"/>"),
            (std::pair<LONG, std::string>{
                0, "connection shop: cannot open the database file " +
                       Path("nodir/x.db").string() + ": its directory " + Path("nodir").string() +
                       " does not exist"}));

  EXPECT_GT(OpenHandles(Path("shop.db")), 0);
  EXPECT_EQ(command_.CollectGarbage(), S_OK);
  EXPECT_EQ(OpenHandles(Path("shop.db")), 0);
}

TEST_F(DeployTasksTest, ProcedureRunsFailOnSqliteAndDebuggingIsRefused) {
  CComBSTR id;
  ASSERT_EQ(Hook()->ExecuteTaskRoutineAsync(u"\"app\".\"total\"", 0, u"", kShop, u"total",
                                            id.Put()),
            S_OK);
  ASSERT_TRUE(WaitForCompletions(1));
  EXPECT_EQ(events_, (std::vector<std::string>{
                         "report " + ToUtf8(id.ToString()) +
                             " the configuration's database is SQLite, which has no stored "
                             "procedures",
                         "done " + ToUtf8(id.ToString()) + " 0"}));
  EXPECT_EQ(reports_[0].objectName, u"total");

  CComBSTR debugged;
  constexpr HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
  EXPECT_EQ(Hook()->ExecuteTaskRoutineAsync(u"total", 1, u"", kShop, u"total", debugged.Put()),
            kNotSupported);
  EXPECT_NE(ErrorText().find(u"no procedure debug engine is installed"), WString::npos);
  EXPECT_TRUE(debugged.IsNull());
  for (const char16_t* parameters : {u"<SP><COLUMNS>", u"<COLUMNS/>"})
    EXPECT_EQ(Hook()->ExecuteTaskRoutineAsync(u"total", 0, parameters, kShop, u"total",
                                              debugged.Put()),
              E_INVALIDARG);
}

// A connection element for a new database of the test server, as the test
// role; its database's name in `database`.
WString ServerConnection(std::string* database) {
  *database = PgServer::Get().CreateDatabase();
  EXPECT_FALSE(database->empty());
  return FromUtf8("<DATACONNECTION DBCONNNAME=\"pg\" DBTYPE=\"POSTGRESQL\" SERVER=\"127.0.0.1:" +
                  std::to_string(PgServer::Get().port()) + "\" DATABASE=\"" + *database +
                  "\" DBUSER=\"" + PgServer::kUser + "\" DBPASSWORD=\"" + PgServer::kPassword +
                  "\" TIMEOUT=\"0\"/>");
}

class TasksOnEachDatabase : public TaskHooksTest, public ::testing::WithParamInterface<Database> {
 protected:
  void SetUp() override {
    TaskHooksTest::SetUp();
    if (GetParam() == Database::kSqlite) {
      // The database is open before the long task starts, so that the only
      // write lock taken is the task's own transaction.
      connection_ = kShop;
      StartTask(kShop, kConfig, "s", "create table s(x);");
      ASSERT_TRUE(WaitForCompletions(1));
      events_.clear();
      return;
    }
    KV7_REQUIRE_POSTGRES();
    connection_ = ServerConnection(&database_);
  }

  // Waits until the task's long statement runs: on SQLite until its
  // transaction holds the write lock, on the server until the statement is
  // active.
  bool Running() {
    for (int i = 0; i < 3000; ++i) {
      if (GetParam() == Database::kSqlite) {
        sqlite3* db = nullptr;
        const bool open = sqlite3_open(Path("shop.db").c_str(), &db) == SQLITE_OK;
        const bool locked =
            open && sqlite3_exec(db, "begin immediate", nullptr, nullptr, nullptr) == SQLITE_BUSY;
        sqlite3_close(db);
        if (locked) return true;
      } else if (PgServer::Get().Query(database_,
                                       "select count(*) from pg_stat_activity where state = "
                                       "'active' and query like '%pg_sleep(60)%' and pid <> "
                                       "pg_backend_pid()") == "1") {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  WString connection_;
  std::string database_;
};

TEST_P(TasksOnEachDatabase, CancellingInterruptsTheRunningTaskAndFailsQueuedOnes) {
  const char16_t* connection = connection_.c_str();
  std::string running = StartTask(
      connection, kConfig, "slow",
      GetParam() == Database::kSqlite
          ? "create table slow(x);\n@\nwith recursive c(x) as (select 1 union all select x + 1 "
            "from c where x < 2000000000) select count(*) from c;"
          : "create table slow(x int);\n@\nselect pg_sleep(60);");
  std::string queued = StartTask(connection, kConfig, "q", "create table q(x int);");
  ASSERT_TRUE(Running());

  EXPECT_EQ(command_.CancelTasks(), S_OK);
  ASSERT_TRUE(WaitForCompletions(2));
  EXPECT_EQ(events_, (std::vector<std::string>{"report " + running + " interrupted",
                                               "done " + running + " 0",
                                               "report " + queued + " cancelled before it ran",
                                               "done " + queued + " 0"}));

  // Tasks started after the cancel run; the interrupted one left nothing.
  std::string after = StartTask(connection, kConfig, "q", "create table q(x int);");
  ASSERT_TRUE(WaitForCompletions(3));
  EXPECT_EQ(events_.back(), "done " + after + " 1");
  if (GetParam() == Database::kPostgres) {
    EXPECT_EQ(PgServer::Get().Query(database_, "select to_regclass('slow') is null"), "t");
  }
}

KV7_INSTANTIATE_ON_EACH_DATABASE(TasksOnEachDatabase);

// The routines that the runs call, made by the test role.
constexpr char kRoutines[] =
    "SET ROLE kv7_tester;"
    "CREATE SCHEMA app;"
    "CREATE PROCEDURE app.place_order(customer text, INOUT qty int, OUT total numeric)"
    " LANGUAGE plpgsql AS $$ BEGIN"
    "  RAISE NOTICE 'placing % for %', qty, coalesce(customer, 'nobody');"
    "  qty := qty * 2; total := qty * 1.25;"
    "  RAISE NOTICE 'placed';"
    " END $$;"
    "CREATE FUNCTION app.order_lines(n int) RETURNS TABLE(line int, label text)"
    " LANGUAGE sql AS $$ SELECT i, CASE WHEN i <> 2 THEN 'line ' || i END"
    " FROM generate_series(1, n) i $$;"
    "CREATE PROCEDURE app.batch() LANGUAGE plpgsql AS $$ BEGIN"
    "  CREATE TABLE app.batch_done(x int); COMMIT; END $$;";

// One parameter of the system's parameter values document.
std::string Column(const char* name, const char* type, const char* mode, const char* value) {
  return std::string("<COLUMN><TYPENAME>") + type + "</TYPENAME><LENGTH>0</LENGTH><SCALE>0</SCALE>"
         "<PARM_MODE>" + mode + "</PARM_MODE><PARMNAME>" + name + "</PARMNAME><PARAM_VALUE>" +
         value + "</PARAM_VALUE></COLUMN>";
}

std::string Order(const char* customer, const char* quantity) {
  return "<SP><COLUMNS>" + Column("customer", "text", "IN", customer) +
         Column("qty", "integer", "InputOutput", quantity) +
         Column("total", "numeric", "OUT", "(null)") + "</COLUMNS></SP>";
}

class PostgresTasksTest : public TaskHooksTest {
 protected:
  void SetUp() override {
    TaskHooksTest::SetUp();
    KV7_REQUIRE_POSTGRES();
    connection_ = ServerConnection(&database_);
    ASSERT_EQ(PgServer::Get().Execute(database_, kRoutines), "");
  }

  // Runs a routine and waits for its report.
  KV7TaskReport Call(const char16_t* routine, const std::string& parameters) {
    CComBSTR id;
    EXPECT_EQ(Hook()->ExecuteTaskRoutineAsync(routine, 0, FromUtf8(parameters).c_str(),
                                              connection_.c_str(), u"run", id.Put()),
              S_OK);
    EXPECT_TRUE(WaitForCompletions(reports_.size() + 1));
    return reports_.empty() ? KV7TaskReport{} : reports_.back();
  }
  static std::vector<std::string> Notes(const KV7TaskReport& report) {
    std::vector<std::string> notes;
    for (const WString& note : report.notes) notes.push_back(ToUtf8(note));
    return notes;
  }

  std::string database_;
  WString connection_;
};

TEST_F(PostgresTasksTest, ProceduresAndFunctionsRunWithTheirValuesRowsAndNotices) {
  KV7TaskReport report = Call(u"\"app\".\"place_order\"", Order("ann", "3"));
  EXPECT_EQ(report.status, 1);
  EXPECT_EQ(ToUtf8(report.result), "called app.place_order");
  EXPECT_EQ(Notes(report), (std::vector<std::string>{"qty = 6", "total = 7.50",
                                                     "NOTICE: placing 3 for ann",
                                                     "NOTICE: placed"}));
  EXPECT_EQ(report.objectName, u"run");

  // "(null)" and an empty value are NULL.
  report = Call(u"\"app\".\"place_order\"", Order("(null)", "1"));
  EXPECT_EQ(Notes(report)[2], "NOTICE: placing 1 for nobody");
  EXPECT_EQ(Notes(Call(u"\"app\".\"place_order\"", Order("", "1")))[2],
            "NOTICE: placing 1 for nobody");

  // A value the type refuses gets the server's message.
  report = Call(u"\"app\".\"place_order\"", Order("ann", "three"));
  EXPECT_EQ(report.status, 0);
  EXPECT_EQ(ToUtf8(report.result), "invalid input syntax for type integer: \"three\"");

  // A function's rows: a header, the first hundred, the count of the rest.
  report = Call(u"\"app\".\"order_lines\"",
                "<SP><COLUMNS>" + Column("n", "int4", "IN", "150") + "</COLUMNS></SP>");
  EXPECT_EQ(ToUtf8(report.result), "app.order_lines returned 150 rows");
  std::vector<std::string> notes = Notes(report);
  ASSERT_EQ(notes.size(), 102u);
  EXPECT_EQ(notes[0], "line | label");
  EXPECT_EQ(notes[1], "1 | line 1");
  EXPECT_EQ(notes[2], "2 | (null)");
  EXPECT_EQ(notes[100], "100 | line 100");
  EXPECT_EQ(notes[101], "... 50 more rows");

  // A procedure that commits itself runs outside any transaction of kv7's.
  report = Call(u"\"app\".\"batch\"", "");
  EXPECT_EQ(ToUtf8(report.result), "called app.batch");
  EXPECT_EQ(PgServer::Get().Query(database_, "select to_regclass('app.batch_done')::text"),
            "app.batch_done");

  report = Call(u"\"app\".\"nothing\"", "");
  EXPECT_EQ(ToUtf8(report.result), "the database has no procedure or function \"app\".\"nothing\"");
}

}  // namespace
}  // namespace kv7::test
