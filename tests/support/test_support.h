// Shared fixtures for the tests: a scratch directory and a private $KV7_HOME
// per test, files written and read in one line.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kv7::test {

// A fresh directory under the system's temporary directory, removed with the
// fixture. KV7_HOME points into it while the fixture lives.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Path of `name` inside the scratch directory.
  std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  std::string old_home_;
  bool had_home_ = false;
};

// Writes bytes to a file, creating its directory; fails the test on error.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace kv7::test
