// Deploying to a real SQLite database in a scratch directory: what the
// database holds after each deployment, and what the history says.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>

#include "deploy_engine.h"
#include "support/test_support.h"

namespace kv7::helper {
namespace {

class SqliteDeployTest : public test::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    std::string message;
    ASSERT_EQ(OpenDeployDriver(ShopConnection(u"shop.db"), FromUtf8(dir().string()), &driver_,
                               &message),
              S_OK)
        << message;
    ASSERT_EQ(sqlite3_open(Path("shop.db").c_str(), &db_), SQLITE_OK);
  }
  void TearDown() override {
    sqlite3_close(db_);
    driver_.reset();
    ScratchDir::TearDown();
  }

  static Connection ShopConnection(const char16_t* database) {
    return {{{u"DBCONNNAME", u"shop"}, {u"DBTYPE", u"SQLITE"}, {u"DATABASE", database}}};
  }

  DeployOutcome Deploy(std::string name, std::string_view text, bool redeployUnchanged = false) {
    return DeployItem(*driver_, {text, "@", std::move(name), redeployUnchanged});
  }

  // The first column of every row of a query, joined by ",".
  std::string Query(const std::string& sql) {
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
  std::string Schema() { return Query("select type || ' ' || name from sqlite_schema order by 1"); }
  std::string History(const std::string& name) {
    return Query("select kind || ' ' || sha256 || ' ' || deployed_at from kv7_deployed"
                 " where object_name = '" + name + "'");
  }

  std::unique_ptr<DeployDriver> driver_;
  sqlite3* db_ = nullptr;
};

constexpr char kOrders[] = "create table orders(id integer primary key, customer text);";
constexpr char kOrdersIndex[] = "create index orders_by_customer on orders(customer);";
constexpr char kOrdersTrigger[] =
    "create trigger orders_touch after insert on orders begin\n"
    "  insert into audit values (new.id, case when new.customer is null then 'none' end);\n"
    "end;";

TEST_F(SqliteDeployTest, FirstDeployThenUnchangedRunsNothing) {
  EXPECT_EQ(Deploy("audit", "create table audit(id int, what text);").result, "created table audit");
  EXPECT_EQ(Deploy("orders", kOrders).result, "created table orders");
  EXPECT_EQ(Deploy("orders_by_customer", kOrdersIndex).result,
            "created index orders_by_customer");
  EXPECT_EQ(Deploy("orders_touch", kOrdersTrigger).result, "created trigger orders_touch");
  EXPECT_EQ(Deploy("seed", "insert into audit values (0, 'seeded');").result, "ran script seed");
  std::string tableHistory = History("orders");
  EXPECT_EQ(tableHistory.substr(0, 6), "table ");

  // Nothing runs again: the seed inserts no second row, the history keeps
  // its times.
  for (const auto& [name, text] : {std::pair{"orders", kOrders}, {"orders_by_customer", kOrdersIndex},
                                   {"orders_touch", kOrdersTrigger},
                                   {"seed", "insert into audit values (0, 'seeded');"}}) {
    DeployOutcome outcome = Deploy(name, text);
    EXPECT_TRUE(outcome.succeeded && outcome.unchanged) << name << ": " << outcome.result;
  }
  EXPECT_EQ(Query("select count(*) from audit"), "1");
  EXPECT_EQ(History("orders"), tableHistory);

  // An object dropped behind kv7's back makes its item run again.
  ASSERT_EQ(sqlite3_exec(db_, "drop trigger orders_touch", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(Deploy("orders_touch", kOrdersTrigger).result, "created trigger orders_touch");
}

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

TEST_F(SqliteDeployTest, ChangedEmptyTableKeepsItsIndexAndTrigger) {
  ASSERT_TRUE(Deploy("audit", "create table audit(id int, what text);").succeeded);
  ASSERT_TRUE(Deploy("orders", kOrders).succeeded);
  ASSERT_TRUE(Deploy("orders_by_customer", kOrdersIndex).succeeded);
  ASSERT_TRUE(Deploy("orders_touch", kOrdersTrigger).succeeded);

  DeployOutcome outcome =
      Deploy("orders", "create table orders(id integer primary key, customer text, due text);");
  EXPECT_TRUE(outcome.succeeded) << outcome.result;
  EXPECT_EQ(outcome.result, "replaced table orders");
  EXPECT_EQ(outcome.notes, std::vector<std::string>{"created again from their stored definitions: "
                                                    "index orders_by_customer, trigger orders_touch"});
  EXPECT_EQ(Schema(), "index orders_by_customer,table audit,table kv7_deployed,table orders,"
                      "trigger orders_touch");
  EXPECT_EQ(Query("select name from pragma_table_info('orders') where name = 'due'"), "due");
  // The index and trigger items are still what the database holds.
  EXPECT_TRUE(Deploy("orders_by_customer", kOrdersIndex).unchanged);
  EXPECT_TRUE(Deploy("orders_touch", kOrdersTrigger).unchanged);
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

TEST_F(SqliteDeployTest, FailingItemLeavesNothingAndNamesItsLine) {
  ASSERT_TRUE(Deploy("open_orders", "create view open_orders as select 1 as n;").succeeded);
  std::string before = History("open_orders");

  DeployOutcome outcome = Deploy("open_orders",
                                 "create table scratch(x);\r\n@\r\n"
                                 "create view open_orders as select 2 as n;\r\n\r\nselec 3;");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result, "line 5: near \"selec\": syntax error");
  EXPECT_EQ(outcome.line, 5);
  EXPECT_EQ(Schema(), "table kv7_deployed,view open_orders");
  EXPECT_EQ(Query("select n from open_orders"), "1");
  EXPECT_EQ(History("open_orders"), before);

  // A failure at run time points at its statement.
  outcome = Deploy("seed", "create table t(x unique);\ninsert into t values (1);\n"
                           "insert into t values (1);");
  EXPECT_EQ(outcome.result, "line 3: UNIQUE constraint failed: t.x");
}

TEST_F(SqliteDeployTest, RedeployRunsUnchangedItemsAgainTablesAside) {
  ASSERT_TRUE(Deploy("orders", kOrders).succeeded);
  ASSERT_TRUE(Deploy("open_orders", "create view open_orders as select id from orders;").succeeded);
  EXPECT_EQ(Deploy("open_orders", "create view open_orders as select id from orders;", true).result,
            "replaced view open_orders");
  EXPECT_TRUE(Deploy("orders", kOrders, true).unchanged);
}

TEST_F(SqliteDeployTest, ItemsControllingTransactionsRunBare) {
  DeployOutcome outcome =
      Deploy("batch", "begin;\ncreate table t(x);\ninsert into t values (1);\ncommit;");
  EXPECT_TRUE(outcome.succeeded) << outcome.result;
  ASSERT_EQ(outcome.notes.size(), 1u);

  // A failure ends the transaction the item opened, so the next item runs.
  outcome = Deploy("batch2", "begin;\ncreate table t2(x);\nselec;\ncommit;");
  EXPECT_EQ(outcome.result, "line 3: near \"selec\": syntax error");
  EXPECT_EQ(Deploy("u", "create table u(x);").result, "created table u");
  EXPECT_EQ(Schema(), "table kv7_deployed,table t,table u");
}

TEST_F(SqliteDeployTest, ProceduresAndMissingDirectoriesFailAtOnce) {
  DeployOutcome outcome = Deploy("total", "create procedure total() as begin select 1; end;");
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.result,
            "line 1: cannot create procedure total: the configuration's database is SQLite, which "
            "has no procedures or functions");

  std::unique_ptr<DeployDriver> driver;
  std::string message;
  EXPECT_TRUE(FAILED(OpenDeployDriver(ShopConnection(u"missing/shop.db"),
                                      FromUtf8(dir().string()), &driver, &message)));
  EXPECT_FALSE(driver);
  EXPECT_EQ(message, "connection shop: cannot open the database file " +
                         Path("missing/shop.db").string() + ": its directory " +
                         Path("missing").string() + " does not exist");
  EXPECT_FALSE(std::filesystem::exists(Path("missing")));
}

}  // namespace
}  // namespace kv7::helper
