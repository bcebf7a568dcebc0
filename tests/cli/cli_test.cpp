#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "support/test_support.h"

namespace {

struct CliRun {
  int exit_code;
  std::string out;
};

// Runs the kv7 executable with arguments (shell-quoted by the caller),
// capturing stdout and stderr together.
CliRun Kv7(const std::string& arguments) {
  std::string command = std::string(KV7_CLI_PATH) + " " + arguments + " 2>&1";
  CliRun run{-1, {}};
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
  int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

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
