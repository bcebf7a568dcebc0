#include "kv7/platform/registry.h"

#include <cstdlib>

#include "support/test_support.h"

namespace kv7 {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class RegistryTest : public test::ScratchDir {
 protected:
  fs::path RegistryFile() const { return Path("home/registry.xml"); }
};

const WString kAwkward = u"a<b> & \"c\" 'd' caf\u00e9 \u20ac \U0001F600\n\tx\\y";

TEST_F(RegistryTest, ValuesSurviveAFreshLoadOfTheFile) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"Software\\Kv7\\Settings"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"Text", kAwkward), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"Path", u"%HOME%\\x", REG_EXPAND_SZ), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(u"Count", 0xFFFFFFFFu), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"", u"default"), ERROR_SUCCESS);

  // Another home holding a copy of the file: nothing comes from memory.
  fs::create_directories(Path("other"));
  fs::copy_file(RegistryFile(), Path("other/registry.xml"));
  setenv("KV7_HOME", Path("other").c_str(), 1);
  CRegKey loaded;
  ASSERT_EQ(loaded.Open(HKEY_CURRENT_USER, u"SOFTWARE\\kv7\\settings", KEY_READ), ERROR_SUCCESS);
  WString text;
  ASSERT_EQ(loaded.QueryStringValue(u"text", text), ERROR_SUCCESS);
  EXPECT_EQ(text, kAwkward);
  ASSERT_EQ(loaded.QueryStringValue(u"", text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"default");
  DWORD type = 0;
  ASSERT_EQ(loaded.QueryValue(u"PATH", &type, &text, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(text, u"%HOME%\\x");
  DWORD count = 0;
  ASSERT_EQ(loaded.QueryDWORDValue(u"Count", count), ERROR_SUCCESS);
  EXPECT_EQ(count, 0xFFFFFFFFu);
  EXPECT_EQ(loaded.Open(HKEY_LOCAL_MACHINE, u"Software"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, QueriesCheckTheValueType) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"Types"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"Expand", u"%X%", REG_EXPAND_SZ), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"Plain", u"abc"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(u"Number", 7), ERROR_SUCCESS);
  WString text = u"unchanged";
  DWORD number = 1;
  EXPECT_EQ(key.QueryStringValue(u"Expand", text), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryStringValue(u"Number", text), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryDWORDValue(u"Plain", number), ERROR_INVALID_DATA);
  EXPECT_EQ(key.QueryStringValue(u"Plain", text, 2), ERROR_MORE_DATA);
  EXPECT_EQ(key.QueryStringValue(u"Missing", text), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(text, u"unchanged");
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(key.QueryStringValue(u"Plain", text, 3), ERROR_SUCCESS);
  EXPECT_EQ(text, u"abc");

  EXPECT_EQ(key.SetStringValue(u"Bad", u"x", REG_DWORD), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key.SetStringValue(u"Bad", u"bell\a"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key.SetStringValue(u"Bad", WString(1, char16_t(0xDC00))), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheCaseTheyWereCreatedWith) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"Software\\MixedCase"), ERROR_SUCCESS);
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"SOFTWARE\\mixedcase\\"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(u"Value", 1), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(u"VALUE", 2), ERROR_SUCCESS);
  WString name;
  ASSERT_EQ(key.EnumValue(0, &name), ERROR_SUCCESS);
  EXPECT_EQ(name, u"Value");
  EXPECT_EQ(key.EnumValue(1, &name), ERROR_NO_MORE_ITEMS);
  DWORD value = 0;
  ASSERT_EQ(key.QueryDWORDValue(u"value", value), ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);

  CRegKey software;
  ASSERT_EQ(software.Open(HKEY_CURRENT_USER, u"software"), ERROR_SUCCESS);
  ASSERT_EQ(software.EnumKey(0, &name), ERROR_SUCCESS);
  EXPECT_EQ(name, u"MixedCase");
  EXPECT_EQ(software.EnumKey(1, &name), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryTest, KeysAreDeletedOnlyAsAsked) {
  CRegKey parent;
  ASSERT_EQ(parent.Create(HKEY_CURRENT_USER, u"A"), ERROR_SUCCESS);
  CRegKey child;
  ASSERT_EQ(child.Create(parent, u"B\\C"), ERROR_SUCCESS);
  ASSERT_EQ(child.SetDWORDValue(u"x", 1), ERROR_SUCCESS);
  EXPECT_EQ(parent.DeleteSubKey(u"B"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(parent.DeleteSubKey(u"B\\C"), ERROR_SUCCESS);
  EXPECT_EQ(child.SetDWORDValue(u"x", 2), ERROR_KEY_DELETED);
  EXPECT_EQ(parent.DeleteSubKey(u"B\\C"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(child.Create(parent, u"B\\C\\D"), ERROR_SUCCESS);
  EXPECT_EQ(parent.RecurseDeleteKey(u"b"), ERROR_SUCCESS);
  WString name;
  EXPECT_EQ(parent.EnumKey(0, &name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(parent.DeleteValue(u"none"), ERROR_FILE_NOT_FOUND);

  CRegKey readOnly;
  ASSERT_EQ(readOnly.Open(HKEY_CURRENT_USER, u"A", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(readOnly.SetDWORDValue(u"x", 1), ERROR_ACCESS_DENIED);
  EXPECT_EQ(readOnly.Close(), ERROR_SUCCESS);
  EXPECT_EQ(readOnly.EnumKey(0, &name), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, SeesAndKeepsAnotherProcesssChanges) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"Shared"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(u"Mine", 1), ERROR_SUCCESS);
  // Another process adds a value and renames its file into place.
  std::string text = ReadFile(RegistryFile());
  const std::string mine = "<value name=\"Mine\"";
  ASSERT_NE(text.find(mine), std::string::npos);
  text.insert(text.find(mine), "<value name=\"Theirs\" type=\"REG_DWORD\" data=\"7\"/>\n");
  WriteFile(Path("home/new.xml"), text);
  fs::rename(Path("home/new.xml"), RegistryFile());

  // A change through a key opened before must not drop their value.
  ASSERT_EQ(key.SetDWORDValue(u"Mine", 2), ERROR_SUCCESS);
  CRegKey fresh;
  ASSERT_EQ(fresh.Open(HKEY_CURRENT_USER, u"Shared"), ERROR_SUCCESS);
  DWORD value = 0;
  ASSERT_EQ(fresh.QueryDWORDValue(u"Theirs", value), ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  ASSERT_EQ(fresh.QueryDWORDValue(u"Mine", value), ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);
}

TEST_F(RegistryTest, AMalformedFileIsNeverOverwritten) {
  for (const std::string bad :
       {"<registry><key name=\"HKEY_CURRENT_USER\"><oops", "<other/>",
        "<registry><key name=\"HKEY_CURRENT_USER\"><value name=\"v\" type=\"REG_BOGUS\" "
        "data=\"1\"/></key></registry>",
        "<registry><key name=\"HKEY_CURRENT_USER\"><value name=\"v\" type=\"REG_DWORD\" "
        "data=\"4294967296\"/></key></registry>"}) {
    WriteFile(RegistryFile(), bad);
    CRegKey root;
    ASSERT_EQ(root.Open(HKEY_CURRENT_USER, u""), ERROR_SUCCESS) << bad;
    WString name;
    EXPECT_EQ(root.EnumValue(0, &name), ERROR_NO_MORE_ITEMS);
    CRegKey key;
    EXPECT_EQ(key.Create(HKEY_CURRENT_USER, u"Software"), ERROR_CANTWRITE);
    EXPECT_EQ(root.SetDWORDValue(u"v", 1), ERROR_CANTWRITE);
    EXPECT_EQ(ReadFile(RegistryFile()), bad);
  }
}

}  // namespace
}  // namespace kv7
