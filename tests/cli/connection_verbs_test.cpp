// kv7 connection, end to end: each run is a new process reading and
// writing the catalogue in the test's KV7_HOME; a password given on stdin
// or in KV7_PASSWORD never shows in the output nor in clear in the file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli/project_cli_test.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

constexpr char kSecret[] = "Tr0ub4dor&3";

// Every run's output is checked for the password.
class ConnectionVerbsTest : public ProjectCliTest {
 protected:
  std::string Expect(int code, const std::string& arguments) {
    std::string out = ProjectCliTest::Expect(code, arguments);
    EXPECT_EQ(out.find(kSecret), std::string::npos) << arguments;
    return out;
  }
};

TEST_F(ConnectionVerbsTest, AddListShowRemove) {
  EXPECT_TRUE(Has(Expect(0, "connection list"), "no connections"));

  WriteFile(Path("password"), std::string(kSecret) + "\n");
  Expect(0, "connection add local --type sqlite --database rel/app.db --password-stdin < '" +
                Path("password").string() + "'");
  {
    ScopedEnv password("KV7_PASSWORD", kSecret);
    Expect(0, "connection add prod --type PostgreSQL --database sales --server db.example:5433 "
              "--user alice --default");
  }
  Expect(0, "connection add bare --type sqlite --database bare.db");

  std::string absolute = (std::filesystem::current_path() / "rel/app.db").string();
  std::string list = Expect(0, "connection list");
  EXPECT_TRUE(Has(list, "  local  " + absolute + "\n")) << list;
  EXPECT_TRUE(Has(list, "* prod   sales\n")) << list;

  EXPECT_EQ(Expect(0, "connection show LOCAL"),
            "name: local\ntype: SQLITE\ndatabase: " + absolute +
                "\nserver: (none)\nuser: (none)\npassword: (set)\ndefault: no\n");
  std::string prod = Expect(0, "connection show prod");
  EXPECT_TRUE(Has(prod, "server: db.example:5433\nuser: alice\npassword: (set)\ndefault: yes\n"))
      << prod;
  EXPECT_TRUE(Has(Expect(0, "connection show bare"), "password: (none)\n"));

  std::string file = ReadFile(Path("home/connections.xml"));
  EXPECT_FALSE(Has(file, kSecret));
  EXPECT_FALSE(Has(file, "Tr0ub"));

  // An entry written by hand without an alias shows none, and the others
  // keep their own.
  const std::string alias = "DBALIAS=\"" + absolute + "\" ";
  ASSERT_TRUE(Has(file, alias));
  WriteFile(Path("home/connections.xml"), file.replace(file.find(alias), alias.size(), ""));
  list = Expect(0, "connection list");
  EXPECT_TRUE(Has(list, "  local  \n* prod   sales\n  bare   ")) << list;

  EXPECT_TRUE(Has(Expect(1, "connection add prod --type sqlite --database x.db"),
                    "'prod' exists already"));
  std::string unknown = Expect(1, "connection show nowhere");
  EXPECT_TRUE(
      Has(unknown, "no connection named 'nowhere' (known connections: local, prod, bare)"))
      << unknown;

  Expect(0, "connection remove prod");
  EXPECT_TRUE(Has(Expect(0, "connection list"), "* local"));
  EXPECT_TRUE(Has(Expect(1, "connection remove prod"), "no connection named 'prod'"));
}

TEST_F(ConnectionVerbsTest, TheCatalogueStaysPrivateAndIsNeverReplacedWhenReadOnly) {
  namespace fs = std::filesystem;
  const auto catalogue = Path("home/connections.xml");
  Expect(0, "connection add a --type sqlite --database a.db");
  const auto owner_only = fs::perms::owner_read | fs::perms::owner_write;
  EXPECT_EQ(fs::status(catalogue).permissions(), owner_only);
  fs::permissions(catalogue, fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
  Expect(0, "connection add b --type postgresql --database shop --server 'db&x' --user 'u\"q'");
  EXPECT_EQ(fs::status(catalogue).permissions(), owner_only);
  // Values that XML must escape are written escaped and read back whole.
  EXPECT_TRUE(Has(ReadFile(catalogue), "SERVER=\"db&amp;x\""));
  EXPECT_TRUE(Has(Expect(0, "connection show b"), "server: db&x\nuser: u\"q\n"));

  const std::string before = ReadFile(catalogue);
  fs::permissions(catalogue, fs::perms::owner_read);
  std::string refused = Expect(1, "connection remove a");
  EXPECT_TRUE(Has(refused, "cannot write " + catalogue.string() + ": the file is read-only"))
      << refused;
  Expect(1, "connection add c --type sqlite --database c.db");
  EXPECT_EQ(ReadFile(catalogue), before);
}

TEST_F(ConnectionVerbsTest, BadUsage) {
  Expect(2, "connection add '' --type sqlite --database d.db");
  Expect(2, "connection");
  Expect(2, "connection frobnicate");
  Expect(2, "connection add x --database d.db");
  Expect(2, "connection add x --type oracle --database d");
  Expect(2, "connection add x --type sqlite");
  Expect(2, "connection add x --type sqlite --database d.db --password '" + std::string(kSecret) +
                "'");
  Expect(2, "connection show");
  EXPECT_TRUE(Has(Expect(0, "connection --help"), "--password-stdin"));
  EXPECT_TRUE(Has(Expect(1, "connection add x --type sqlite --database d.db --password-stdin "
                              "< /dev/null"),
                    "stdin"));
}

}  // namespace
}  // namespace kv7::test
