#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli/cli_run.h"
#include "support/test_support.h"

namespace {

using kv7::test::CliRun;
using kv7::test::Kv7;

TEST(Cli, HelpVersionAndBadUsage) {
  CliRun help = Kv7("--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("usage: kv7"), std::string::npos);

  CliRun version = Kv7("--version");
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("kv7 ", 0), 0u);

  CliRun none = Kv7("");
  EXPECT_EQ(none.exit_code, 2);
  CliRun unknown = Kv7("frobnicate");
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.out.find("unknown command 'frobnicate'"), std::string::npos);
}

// Every verb explains itself: its usage line, a summary, what its
// arguments mean and an example, the same through `kv7 help VERB`.
TEST(Cli, EveryVerbHasItsHelp) {
  const std::string listing = Kv7("--help").out;
  for (const char* verb : {"new", "show", "add", "mkdir", "rename", "remove", "upgrade", "config",
                           "run-order", "startup", "new-item", "item-settings", "config-doc",
                           "process-xml", "shell", "connection", "options", "log"}) {
    CliRun help = Kv7(std::string(verb) + " --help");
    EXPECT_EQ(help.exit_code, 0) << verb;
    EXPECT_EQ(help.out.rfind(std::string("usage: kv7 ") + verb, 0), 0u) << help.out;
    EXPECT_NE(help.out.find("\nexample:\n  kv7 " + std::string(verb)), std::string::npos)
        << help.out;
    EXPECT_EQ(Kv7(std::string("help ") + verb).out, help.out) << verb;
    EXPECT_NE(listing.find(std::string("\n  ") + verb + " "), std::string::npos) << verb;
  }
  EXPECT_NE(Kv7("add x.kv7p -h").out.find("--drop-missing"), std::string::npos);
  EXPECT_EQ(Kv7("help frobnicate").exit_code, 2);
  EXPECT_EQ(Kv7("help").exit_code, 0);
}

class CliTrace : public kv7::test::ScratchDir {};

// Tracing is switched on by the environment of the process: the records of
// a run go to the named file, and a run without KV7_TRACE writes none.
TEST_F(CliTrace, RecordsOperationsWhenSwitchedOn) {
  const auto project = kv7::test::Quote(Path("p/P.kv7p"));
  const auto log = Path("trace.log");
  ASSERT_EQ(Kv7("new " + project).exit_code, 0);
  ASSERT_EQ(Kv7("show " + project).exit_code, 0);
  EXPECT_FALSE(std::filesystem::exists(log));

  CliRun traced;
  {
    kv7::test::ScopedEnv trace("KV7_TRACE", "2"), file("KV7_TRACE_FILE", log.c_str());
    traced = Kv7("show " + project);
  }
  ASSERT_EQ(traced.exit_code, 0);
  std::string records = kv7::test::ReadFile(log);
  EXPECT_NE(records.find("ENTER CMyProjectHierarchy::Load [1/2] PrjHier:"), std::string::npos);
  EXPECT_NE(records.find("EXIT  CMyProjectHierarchy::Load = 0x00000000"), std::string::npos);
  // Level 2 leaves out constructors and destructors (level 6).
  EXPECT_EQ(records.find("CMyProjectHierarchy::CMyProjectHierarchy"), std::string::npos);
}

}  // namespace
