// One deployment at a time per target through CCommandHelperHook: a second
// locker of the same database, in this process or another, waits and then
// learns who holds it; SQLite through a lock file, PostgreSQL through an
// advisory lock.
#include <gtest/gtest.h>
#include <unistd.h>

#include "kv7/helper/helper.h"
#include "kv7/platform/errorinfo.h"
#include "support/pg_server.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

class TargetLockTest : public ScratchDir {
 protected:
  // Given a target held under `first`, then a locker under `second` waits
  // and learns the holder, whose text starts so; once let go, it is free.
  void ExpectHeldThenFree(const WString& first, const WString& second,
                          const std::string& holderStart, const std::string& secondName) {
    WString folder = FromUtf8(dir().string());
    CCommandHelperHook hook;
    CComBSTR holder;
    ASSERT_EQ(hook.LockDeploymentTarget(first.c_str(), folder.c_str(), 0, holder.Put()), S_OK)
        << ToUtf8(ErrorText());
    EXPECT_TRUE(holder.IsNull());
    EXPECT_EQ(hook.LockDeploymentTarget(first.c_str(), folder.c_str(), 0, holder.Put()), S_OK);

    EXPECT_EQ(hook.LockDeploymentTarget(second.c_str(), folder.c_str(), 0.3, holder.Put()),
              KV7_E_LOCKED);
    std::string held = ToUtf8(holder.ToString());
    EXPECT_EQ(held.find(holderStart), 0u) << held;
    EXPECT_NE(held.find(" since "), std::string::npos) << held;
    EXPECT_EQ(ToUtf8(ErrorText()), "connection " + secondName +
                               ": another deployment to its database is running: " + held +
                               " holds its lock");

    EXPECT_EQ(hook.UnlockDeploymentTarget(first.c_str(), folder.c_str()), S_OK);
    EXPECT_EQ(hook.UnlockDeploymentTarget(first.c_str(), folder.c_str()), S_FALSE);
    CComBSTR none;
    EXPECT_EQ(hook.LockDeploymentTarget(second.c_str(), folder.c_str(), 0, none.Put()), S_OK);
    EXPECT_EQ(hook.UnlockDeploymentTarget(second.c_str(), folder.c_str()), S_OK);
  }
};

TEST_F(TargetLockTest, SqliteDatabasesLockThroughAFileBesideThem) {
  WString relative = u"<DATACONNECTION DBCONNNAME=\"shop\" DBTYPE=\"SQLITE\" DATABASE=\"shop.db\"/>";
  WString absolute = FromUtf8("<DATACONNECTION DBCONNNAME=\"other\" DATABASE=\"" +
                              Path("shop.db").string() + "\"/>");
  ExpectHeldThenFree(relative, absolute, "pid " + std::to_string(getpid()) + " on ", "other");
  EXPECT_FALSE(std::filesystem::exists(Path("shop.db.kv7lock")));

  CComBSTR holder;
  EXPECT_EQ(CCommandHelperHook().LockDeploymentTarget(
                u"<DATACONNECTION DBCONNNAME=\"shop\" DBTYPE=\"SQLITE\" DATABASE=\"nodir/x.db\"/>",
                FromUtf8(dir().string()).c_str(), 0, holder.Put()),
            HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(ToUtf8(ErrorText()), "connection shop: cannot open the database file " +
                             Path("nodir/x.db").string() + ": its directory " +
                             Path("nodir").string() + " does not exist");
  EXPECT_TRUE(holder.IsNull());
}

TEST_F(TargetLockTest, PostgresDatabasesLockWithAnAdvisoryLock) {
  KV7_REQUIRE_POSTGRES();
  std::string database = PgServer::Get().CreateDatabase();
  auto connection = [&](const char* name, const char* password) {
    return FromUtf8(std::string("<DATACONNECTION DBCONNNAME=\"") + name +
                    "\" DBTYPE=\"POSTGRESQL\" SERVER=\"127.0.0.1:" +
                    std::to_string(PgServer::Get().port()) + "\" DATABASE=\"" + database +
                    "\" DBUSER=\"" + PgServer::kUser + "\" DBPASSWORD=\"" + password + "\"/>");
  };
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  ExpectHeldThenFree(connection("pg", PgServer::kPassword), connection("pg2", PgServer::kPassword),
                     "kv7 pid " + std::to_string(getpid()) + " on " + host + " since ", "pg2");

  CComBSTR holder;
  EXPECT_EQ(CCommandHelperHook().LockDeploymentTarget(connection("bad", "wrong-secret").c_str(),
                                                      u"", 0, holder.Put()),
            E_FAIL);
  std::string error = ToUtf8(ErrorText());
  EXPECT_EQ(error.find("connection bad: "), 0u) << error;
  EXPECT_NE(error.find("password authentication failed"), std::string::npos) << error;
  EXPECT_EQ(error.find("wrong-secret"), std::string::npos);
}

}  // namespace
}  // namespace kv7::test
