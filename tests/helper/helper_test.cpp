#include "kv7/helper/helper.h"

#include <gtest/gtest.h>

#include "kv7/platform/xmldom.h"
#include "kv7/resources/strings.h"
#include "support/test_support.h"

namespace {

class HelperLibrary : public kv7::test::ScratchDir {
 protected:
  std::filesystem::path OptionsFile() const { return Path("home/options.xml"); }

  WString Options() {
    CComBSTR text;
    EXPECT_EQ(helper_.GetOptionsFileXML(text.Put()), S_OK);
    return text.ToString();
  }

  CCommandHelperHook helper_;
};

TEST_F(HelperLibrary, OptionsDocumentIsSeededWithEveryOption) {
  WString text = Options();
  EXPECT_TRUE(std::filesystem::exists(OptionsFile()));

  ComPtr<IXMLDOMDocument> doc = kv7::test::ParseXml(text);
  const char16_t* paths[] = {
      u"Editor/StatementSeparator",        u"Editor/IntellisenseEnabled",
      u"Project/HideExtensions",           u"Project/PromptConnOnNew",
      u"Project/ValidateCLROnBuild",       u"Environment/FontName",
      u"Environment/FontSize",             u"CodeGen/UsePrimaryKeys",
      u"DBAccess/MaxRows",                 u"DBAccess/Timeout",
      u"DBAccess/PrefetchCache",           u"DBAccess/SaveUserInfo",
      u"DBAccess/DefaultOwner",            u"DBAccess/DefaultCurrentSchema",
      u"SettingsM77/WLMEnv",               u"SettingsM77/BuildUtility",
      u"SettingsM77/CollectionID",         u"SettingsM77/DefaultExternalSecurity",
      u"SettingsM77/DefaultStayResident",  u"SettingsM77/DefaultRuntimeOptions",
      u"SettingsM77/DefaultPrecompileOptions", u"SettingsM77/DefaultCompileOptions",
      u"SettingsM77/DefaultPrelinkOptions", u"SettingsM77/DefaultLinkOptions",
      u"SettingsM77/DefaultBindOptions",   u"SettingsM77/DefaultBuildOwner",
      u"Debugger/EnableLogging",
  };
  for (const char16_t* path : paths) {
    ComPtr<IXMLDOMNode> option;
    WString full = WString(u"userOptions/") + path;
    ASSERT_EQ(doc->selectSingleNode(full.c_str(), option.Put()), S_OK) << kv7::ToUtf8(full);
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(option->get_attributes(attributes.Put()), S_OK);
    ComPtr<IXMLDOMNode> val;
    EXPECT_EQ(attributes->getNamedItem(u"val", val.Put()), S_OK) << kv7::ToUtf8(full);
  }
}

TEST_F(HelperLibrary, OptionsDocumentPersistsAndEmptyStoreIsReseeded) {
  const char16_t* mine = u"<userOptions><Editor><StatementSeparator val=\"GO\"/></Editor></userOptions>";
  EXPECT_EQ(helper_.SetOptionsFileXML(mine), S_OK);
  EXPECT_EQ(Options(), mine);
  EXPECT_EQ(CCommandHelperHook().SetOptionsFileXML(u"<userOptions>é</userOptions>"), S_OK);
  EXPECT_EQ(kv7::test::ReadFile(OptionsFile()), "<userOptions>\xc3\xa9</userOptions>");

  kv7::test::WriteFile(OptionsFile(), "");
  EXPECT_NE(Options().find(u"<StatementSeparator val=\"@\"/>"), WString::npos);
}

TEST_F(HelperLibrary, DeclarationFontAndStrings) {
  CComBSTR declaration;
  EXPECT_EQ(helper_.GetXMLEncoding(declaration.Put()), S_OK);
  EXPECT_EQ(declaration.ToString(), u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>");

  CComBSTR font;
  float size = 0;
  EXPECT_EQ(helper_.MyChooseFont(u"Courier", 10.5f, font.Put(), &size), S_OK);
  EXPECT_EQ(font.ToString(), u"Courier");
  EXPECT_EQ(size, 10.5f);

  BOOL available = FALSE;
  EXPECT_EQ(helper_.IsAddinAvailable(&available), S_OK);
  EXPECT_EQ(available, TRUE);

  CComBSTR text;
  CNLSStringHelperHook strings;
  EXPECT_EQ(strings.DoLoadString(1160, text.Put()), S_OK);
  EXPECT_EQ(text.ToString(), KV7UIGetString(1160));
  text.Reset();
  EXPECT_EQ(strings.DoLoadString(999999, text.Put()), E_INVALIDARG);
  EXPECT_TRUE(text.IsNull());
}

// Counts references, to prove the task hook holds and hands out exactly one.
struct CountingListener : kv7::ComObject<ITaskExecutionListener> {
  HRESULT taskMessageAdded(const char16_t*, const char16_t*) override { return S_OK; }
  HRESULT taskCompleted(const char16_t*, LONG) override { return S_OK; }
  ULONG Count() {
    AddRef();
    return Release();
  }
};

TEST_F(HelperLibrary, ListenerIsHeldUntilCleared) {
  auto listener = kv7::MakeCom<CountingListener>();
  CTaskHelperHook task;
  EXPECT_EQ(task.setTaskExecutionListener(listener.Get()), S_OK);
  EXPECT_EQ(listener->Count(), 2u);
  ComPtr<ITaskExecutionListener> back;
  EXPECT_EQ(task.getTaskExecutionListener(back.Put()), S_OK);
  EXPECT_EQ(back.Get(), listener.Get());
  back.Reset();
  EXPECT_EQ(task.setTaskExecutionListener(nullptr), S_OK);
  EXPECT_EQ(listener->Count(), 1u);

  // A run that names no procedure is refused and leaves the output alone.
  CComBSTR id;
  EXPECT_EQ(task.ExecuteTaskRoutineAsync(u"", 0, u"", u"", u"", id.Put()), E_INVALIDARG);
  EXPECT_TRUE(id.IsNull());
}

}  // namespace
