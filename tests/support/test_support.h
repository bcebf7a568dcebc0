// Shared fixtures for the tests: a scratch directory and a private $KV7_HOME
// per test, files written and read in one line.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "kv7/platform/xmldom.h"

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

// Sets an environment variable (unsets it for null) for the scope and
// restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A native path as the system's wide string.
inline WString W(const std::filesystem::path& path) { return FromUtf8(path.string()); }

// Writes bytes to a file, creating its directory; fails the test on error.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// The calling thread's error information as text (using it up); empty when
// there is none.
WString ErrorText();

// A document loaded from XML text, and its root element; each fails the
// test when the text does not parse.
ComPtr<IXMLDOMDocument> ParseXml(const WString& text);
ComPtr<IXMLDOMNode> XmlElement(const WString& text);
inline ComPtr<IXMLDOMNode> XmlElement(const std::string& text) {
  return XmlElement(FromUtf8(text));
}

}  // namespace kv7::test
