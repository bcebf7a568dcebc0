// Tasks on a throwaway PostgreSQL server through the library's hooks:
// procedure and function runs with their values, rows and notices, and a
// running deployment cancelled.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "helper/task_dispatcher.h"
#include "support/pg_server.h"

namespace kv7::test {
namespace {

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
    database_ = PgServer::Get().CreateDatabase();
    ASSERT_FALSE(database_.empty());
    ASSERT_EQ(PgServer::Get().Execute(database_, kRoutines), "");
    connection_ = FromUtf8("<DATACONNECTION DBCONNNAME=\"pg\" DBTYPE=\"POSTGRESQL\" "
                           "SERVER=\"127.0.0.1:" + std::to_string(PgServer::Get().port()) +
                           "\" DATABASE=\"" + database_ + "\" DBUSER=\"" + PgServer::kUser +
                           "\" DBPASSWORD=\"" + PgServer::kPassword + "\" TIMEOUT=\"0\"/>");
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

TEST_F(PostgresTasksTest, CancellingInterruptsARunningStatement) {
  const char16_t* config = u"<CONFIG><STATEMENTSEP>@</STATEMENTSEP></CONFIG>";
  std::string running = StartTask(connection_.c_str(), config, "sleepy",
                                  "create table app.sleepy(x int);\nselect pg_sleep(60);");
  std::string active;
  for (int i = 0; i < 3000 && active != "1"; ++i) {
    active = PgServer::Get().Query(database_,
                                   "select count(*) from pg_stat_activity where state = 'active' "
                                   "and query like '%pg_sleep(60)%' and pid <> pg_backend_pid()");
    if (active != "1") std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(active, "1");
  EXPECT_EQ(command_.CancelTasks(), S_OK);
  ASSERT_TRUE(WaitForCompletions(1));
  EXPECT_EQ(events_, (std::vector<std::string>{"report " + running + " interrupted",
                                               "done " + running + " 0"}));
  EXPECT_EQ(PgServer::Get().Query(database_, "select to_regclass('app.sleepy') is null"), "t");
}

}  // namespace
}  // namespace kv7::test
