// A fixture for running kv7 on one project file, p/Shop.kv7p, in the
// scratch directory: each run is a new process, as from a shell.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "cli/cli_run.h"
#include "support/test_support.h"

namespace kv7::test {

class ProjectCliTest : public ScratchDir {
 protected:
  // Runs kv7 and expects the exit code; returns what it printed.
  std::string Expect(int code, const std::string& arguments) {
    CliRun run = Kv7(arguments);
    EXPECT_EQ(run.exit_code, code) << arguments << "\n" << run.out;
    return run.out;
  }
  // Runs "kv7 VERB PROJECT ARGUMENTS"; VERB may carry a subcommand.
  std::string On(int code, const std::string& verb, const std::string& arguments = "") {
    return Expect(code, verb + " " + Quote(File()) + " " + arguments);
  }
  std::filesystem::path File() const { return Path("p/Shop.kv7p"); }
  std::string Saved() const { return ReadFile(File()); }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  // A file in the project directory, written and quoted.
  std::string Made(const std::string& name) {
    WriteFile(Path("p/" + name), "--\n");
    return Quote(Path("p/" + name));
  }
  // Runs the shell on the project with `lines` as its standard input.
  CliRun Shell(const std::string& lines) {
    WriteFile(Path("lines"), lines);
    return Kv7("shell " + Quote(File()) + " < " + Quote(Path("lines")));
  }
};

// The same on a new project.
class NewProjectCliTest : public ProjectCliTest {
 protected:
  void SetUp() override {
    ProjectCliTest::SetUp();
    Expect(0, "new " + Quote(File()));
  }
};

}  // namespace kv7::test
