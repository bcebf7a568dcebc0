// Deployment tasks through the library's hooks: asynchronous tasks finish
// on the UI dispatcher in the order started, each report before its
// completion; cancelling interrupts the running task and fails the queued
// ones; synchronous tasks run and report on the caller's thread; idle
// connections close.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "helper/task_dispatcher.h"
#include "kv7/helper/helper.h"
#include "kv7/platform/dispatcher.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/guid.h"
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
  HRESULT status = S_OK;
  WString description;
  ASSERT_TRUE(GetErrorInfo(&status, &description));
  EXPECT_NE(description.find(u"no UI dispatcher"), WString::npos);
  EXPECT_TRUE(id.IsNull());
}

TEST_F(DeployTasksTest, CancellingInterruptsTheRunningTaskAndFailsQueuedOnes) {
  // The database is open before the long task starts, so that the only
  // write lock taken is the task's own transaction.
  ASSERT_EQ(Run("create table s(x);").first, 1);
  events_.clear();
  std::string running = Start("count", "with recursive c(x) as (select 1 union all select x + 1 "
                                       "from c where x < 2000000000) select count(*) from c;");
  std::string queued = Start("q", "create table q(x);");

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Path("shop.db").c_str(), &db), SQLITE_OK);
  bool locked = false;
  for (int i = 0; i < 2000 && !locked; ++i) {
    locked = sqlite3_exec(db, "begin immediate", nullptr, nullptr, nullptr) == SQLITE_BUSY;
    if (!locked) {
      sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ASSERT_TRUE(locked);

  EXPECT_EQ(command_.CancelTasks(), S_OK);
  ASSERT_TRUE(WaitForCompletions(2));
  EXPECT_EQ(events_, (std::vector<std::string>{"report " + running + " interrupted",
                                               "done " + running + " 0",
                                               "report " + queued + " cancelled before it ran",
                                               "done " + queued + " 0"}));

  // Tasks started after the cancel run.
  std::string after = Start("q", "create table q(x);");
  ASSERT_TRUE(WaitForCompletions(3));
  EXPECT_EQ(events_.back(), "done " + after + " 1");
  sqlite3_close(db);
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
  HRESULT status = S_OK;
  WString description;
  ASSERT_TRUE(GetErrorInfo(&status, &description));
  EXPECT_NE(description.find(u"no procedure debug engine is installed"), WString::npos);
  EXPECT_TRUE(debugged.IsNull());
  for (const char16_t* parameters : {u"<SP><COLUMNS>", u"<COLUMNS/>"})
    EXPECT_EQ(Hook()->ExecuteTaskRoutineAsync(u"total", 0, parameters, kShop, u"total",
                                              debugged.Put()),
              E_INVALIDARG);
}

}  // namespace
}  // namespace kv7::test
