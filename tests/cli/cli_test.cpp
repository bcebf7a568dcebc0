#include <gtest/gtest.h>

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

}  // namespace
