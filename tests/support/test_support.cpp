#include "support/test_support.h"

#include "kv7/platform/errorinfo.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace kv7::test {

void ScratchDir::SetUp() {
  std::random_device random;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("kv7-") + (info ? info->name() : "test") + "-" +
                     std::to_string(random());
  for (char& c : name)
    if (c == '/') c = '_';
  dir_ = std::filesystem::temp_directory_path() / name;
  std::filesystem::create_directories(dir_);
  if (const char* home = std::getenv("KV7_HOME")) {
    had_home_ = true;
    old_home_ = home;
  }
  setenv("KV7_HOME", (dir_ / "home").c_str(), 1);
}

void ScratchDir::TearDown() {
  if (had_home_) setenv("KV7_HOME", old_home_.c_str(), 1);
  else unsetenv("KV7_HOME");
  std::error_code ignored;
  // Read-only entries made by a test must not stop the clean-up.
  for (auto& entry : std::filesystem::recursive_directory_iterator(dir_, ignored))
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(dir_, ignored);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out.good()) << "cannot write " << path;
  out << bytes;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

WString ErrorText() {
  HRESULT status = S_OK;
  WString text;
  return GetErrorInfo(&status, &text) ? text : WString();
}

ComPtr<IXMLDOMDocument> ParseXml(const WString& text) {
  ComPtr<IXMLDOMDocument> document;
  EXPECT_EQ(CreateXMLDOMDocument(document.Put()), S_OK);
  VARIANT_BOOL parsed = VARIANT_FALSE;
  EXPECT_EQ(document->loadXML(text.c_str(), &parsed), S_OK) << ToUtf8(text);
  EXPECT_EQ(parsed, VARIANT_TRUE);
  return document;
}

ComPtr<IXMLDOMNode> XmlElement(const WString& text) {
  ComPtr<IXMLDOMNode> root;
  EXPECT_EQ(ParseXml(text)->get_documentElement(root.Put()), S_OK);
  return root;
}

}  // namespace kv7::test
