// The global options: the options document read and written by its rules,
// copies that own their strings, and a change reaching open projects.
#include "kv7/options/global_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "kv7/hierarchy/file_nodes.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

using Options = CKV7GlobalOptionsClass;

// The option's value as the document would hold it, "(none)" when unset.
std::string Text(Options& options, const char16_t* name) {
  CComBSTR text;
  return options.GetOptionText(name, text.Put()) == S_OK ? ToUtf8(text.ToString()) : "(none)";
}

class GlobalOptionsTest : public ProjectFixture {
 protected:
  std::filesystem::path Store() const { return Path("home/options.xml"); }
  // Stores an options document whose root holds `body`.
  void StoreOptions(const std::string& body) {
    WriteFile(Store(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<userOptions>" + body +
                           "</userOptions>\r\n");
  }
};

TEST_F(GlobalOptionsTest, AccessorsKeepNullApartFromEmptyAndCopiesOwnTheirStrings) {
  Options options;
  BOOL loaded = TRUE;
  EXPECT_EQ(options.IsLoaded(&loaded), S_OK);
  EXPECT_EQ(loaded, FALSE);
  EXPECT_FALSE(std::filesystem::exists(Store())) << "construction must not read the store";

  BSTR owner = reinterpret_cast<BSTR>(0x1);  // an unset string leaves the output alone
  EXPECT_EQ(options.GetDefaultOwner(&owner), S_OK);
  EXPECT_EQ(owner, reinterpret_cast<BSTR>(0x1));
  options.SetDefaultOwner(nullptr);  // null stores an empty, non-null text
  CComBSTR empty;
  options.GetDefaultOwner(empty.Put());
  EXPECT_FALSE(empty.IsNull());
  EXPECT_EQ(empty.Length(), 0u);

  options.SetDebuggingLoggingEnabled(-7);
  BOOL logging = 0;
  options.GetDebuggingLoggingEnabled(&logging);
  EXPECT_EQ(logging, 1);

  options.SetStatementSeparator(u"GO");
  Options copy(options);
  Options assigned;
  assigned = options;
  options.SetStatementSeparator(u"$$");
  for (Options* other : {&copy, &assigned}) {
    EXPECT_EQ(Text(*other, u"StatementSeparator"), "GO");
    EXPECT_EQ(Text(*other, u"DefaultOwner"), "");
    EXPECT_EQ(Text(*other, u"DebuggingLoggingEnabled"), "true");
  }

  auto names = Options::GetOptionNames();
  ASSERT_EQ(names.size(), 29u);
  EXPECT_EQ(WString(names[2]), u"PromptForConfig");
  EXPECT_EQ(WString(names[28]), u"DebuggingLoggingEnabled");
  EXPECT_EQ(options.SetOptionText(u"hideEXT", u"TRUE"), S_OK);
  EXPECT_EQ(Text(options, u"HideExt"), "true");
  for (auto [name, value] : {std::pair{u"HideExt", u"yes"}, {u"Timeout", u"12abc"},
                             {u"MaxRowsToPreview", u"1e20"}, {u"DialogFontSize", u"nan"},
                             {u"NoSuchOption", u"1"}})
    EXPECT_EQ(options.SetOptionText(name, value), E_INVALIDARG) << ToUtf8(name);
}

// Callers of other modules may pass no out-argument: the getters then store
// nothing and answer S_OK, all but the logging switch's.
TEST_F(GlobalOptionsTest, OnlyTheLoggingGetterRefusesAMissingOutArgument) {
  Options options;
  EXPECT_EQ(options.GetDebuggingLoggingEnabled(nullptr), E_POINTER);
  EXPECT_EQ(options.IsLoaded(nullptr), S_OK);
  for (auto get : {&Options::GetHideExt, &Options::GetPromptForConfig,
                   &Options::GetPromptConnOnNew, &Options::GetIntellisenseEnabled,
                   &Options::GetUsePrimaryKeys, &Options::GetPrefetchCache,
                   &Options::GetSaveUserInfo, &Options::GetValidateCLROnBuild,
                   &Options::GetStayResident, &Options::GetSaveUserAndPassword})
    EXPECT_EQ((options.*get)(nullptr), S_OK);
  for (auto get : {&Options::GetDialogFontSize, &Options::GetMaxRowsToPreview,
                   &Options::GetTimeout})
    EXPECT_EQ((options.*get)(nullptr), S_OK);

  const std::pair<HRESULT (Options::*)(BSTR*), HRESULT (Options::*)(const char16_t*)> texts[] = {
      {&Options::GetStatementSeparator, &Options::SetStatementSeparator},
      {&Options::GetDialogFontName, &Options::SetDialogFontName},
      {&Options::GetDefaultOwner, &Options::SetDefaultOwner},
      {&Options::GetDefaultCurrentSchema, &Options::SetDefaultCurrentSchema},
      {&Options::GetWLMEnv, &Options::SetWLMEnv},
      {&Options::GetBuildUtility, &Options::SetBuildUtility},
      {&Options::GetCollectionID, &Options::SetCollectionID},
      {&Options::GetExternalSecurity, &Options::SetExternalSecurity},
      {&Options::GetRuntimeOptions, &Options::SetRuntimeOptions},
      {&Options::GetPrecompileOptions, &Options::SetPrecompileOptions},
      {&Options::GetCompileOptions, &Options::SetCompileOptions},
      {&Options::GetPrelinkOptions, &Options::SetPrelinkOptions},
      {&Options::GetLinkOptions, &Options::SetLinkOptions},
      {&Options::GetBindOptions, &Options::SetBindOptions},
      {&Options::GetBuildOwner, &Options::SetBuildOwner},
  };
  // Strings without a value and strings with one alike.
  for (auto [get, set] : texts) {
    EXPECT_EQ((options.*get)(nullptr), S_OK);
    (options.*set)(u"x");
    EXPECT_EQ((options.*get)(nullptr), S_OK);
  }
}

TEST_F(GlobalOptionsTest, LoadReadsValuesByTheirRules) {
  StoreOptions(
      "<Editor><StatementSeparator val=\"\"/><IntellisenseEnabled val=\"1\"/></Editor>"
      "<Project><HideExtensions val=\"TRUE\"/><PromptConnOnNew val=\"yes\"/></Project>"
      "<Environment><FontName val=\"Courier\"/><FontSize/></Environment>"
      "<CodeGen><UsePrimaryKeys val=\"True\"/></CodeGen>"
      "<DBAccess><Timeout val=\" 45s\"/><DefaultOwner val=\"\"/></DBAccess>");
  Options options;
  options.SetDialogFontSize(12.5);
  options.SetDefaultOwner(u"kept?");
  EXPECT_EQ(options.LoadFromRegistry(), S_FALSE);  // the last read found no element

  for (auto [get, expected] : {std::pair{&Options::GetHideExt, TRUE},
                               {&Options::GetUsePrimaryKeys, TRUE},
                               {&Options::GetPromptConnOnNew, FALSE},
                               {&Options::GetIntellisenseEnabled, FALSE}}) {
    BOOL flag = 2;
    (options.*get)(&flag);
    EXPECT_EQ(flag, expected);
  }
  double number = -1;
  options.GetMaxRowsToPreview(&number);
  EXPECT_EQ(number, 0.0) << "a missing MaxRows loads 0";
  options.GetTimeout(&number);
  EXPECT_EQ(number, 45.0);
  options.GetDialogFontSize(&number);
  EXPECT_EQ(number, 12.5) << "an element without val keeps the value";
  EXPECT_EQ(Text(options, u"StatementSeparator"), "@");
  EXPECT_EQ(Text(options, u"DefaultOwner"), "(none)");
  EXPECT_EQ(Text(options, u"DialogFontName"), "Courier");
  EXPECT_EQ(Text(options, u"WLMEnv"), "WLMENV1");
  BOOL loaded = FALSE;
  options.IsLoaded(&loaded);
  EXPECT_EQ(loaded, TRUE);
}

TEST_F(GlobalOptionsTest, SaveWritesEncodedValuesThatLoadBack) {
  Options options(TRUE);  // seeds the store with every option
  options.SetMaxRowsToPreview(250.9);
  options.SetDialogFontSize(9);
  options.SetSaveUserInfo(FALSE);
  options.SetSaveUserAndPassword(TRUE);
  options.SetStatementSeparator(u"");
  options.SetDefaultOwner(u"");
  options.SetCollectionID(u"COLL");
  EXPECT_EQ(options.SaveToRegistry(), S_OK);
  std::string saved = ReadFile(Store());
  for (const char* line : {"<MaxRows val=\"250\"/>", "<FontSize val=\"9.00\"/>",
                           "<SaveUserInfo val=\"true\"/>", "<StatementSeparator val=\"\"/>",
                           "<CollectionID val=\"COLL\"/>"})
    EXPECT_NE(saved.find(line), std::string::npos) << line;

  Options reread(TRUE);
  EXPECT_EQ(Text(reread, u"MaxRowsToPreview"), "250");
  EXPECT_EQ(Text(reread, u"SaveUserInfo"), "true");
  EXPECT_EQ(Text(reread, u"SaveUserAndPassword"), "true");
  EXPECT_EQ(Text(reread, u"StatementSeparator"), "@");
  EXPECT_EQ(Text(reread, u"DefaultOwner"), "(none)");
  EXPECT_EQ(Text(reread, u"CollectionID"), "COLL");

  // An element without val, or none at all, is left as it is.
  StoreOptions("<Environment><FontSize/></Environment>");
  reread.SaveToRegistry();
  EXPECT_NE(ReadFile(Store()).find("<FontSize/>"), std::string::npos);
  EXPECT_EQ(ReadFile(Store()).find("MaxRows"), std::string::npos);
}

TEST_F(GlobalOptionsTest, MissingEmptyOrBrokenDocumentsLeaveDefaultsAndSaveStartsAgain) {
  Options options;
  options.SetTimeout(99);
  options.SetHideExt(TRUE);
  WriteFile(Store(), "");  // an empty store is seeded
  EXPECT_EQ(options.LoadFromRegistry(), S_OK);
  EXPECT_EQ(Text(options, u"Timeout"), "30");

  WriteFile(Store(), "<userOptions><Editor>");
  options.SetTimeout(99);
  options.SetHideExt(TRUE);
  EXPECT_EQ(options.LoadFromRegistry(), S_FALSE);
  EXPECT_EQ(Text(options, u"Timeout"), "99");
  EXPECT_EQ(Text(options, u"HideExt"), "false");
  EXPECT_EQ(Text(options, u"ExternalSecurity"), "KV7");
  BOOL loaded = TRUE;
  options.IsLoaded(&loaded);
  EXPECT_EQ(loaded, FALSE);

  options.SetHideExt(TRUE);
  options.SaveToRegistry();
  Options reread(TRUE);
  EXPECT_EQ(Text(reread, u"HideExt"), "true");
  EXPECT_EQ(Text(reread, u"Timeout"), "99");
  EXPECT_NE(ReadFile(Store()).find("<EnableLogging val=\"false\"/>"), std::string::npos);

  // A store that cannot be read: defaults, and a save changes nothing.
  std::filesystem::remove(Store());
  std::filesystem::create_directory(Store());
  EXPECT_LT(reread.LoadFromRegistry(), 0);
  EXPECT_EQ(Text(reread, u"BuildUtility"), "SYSPROC.QRBLDPRC");
  EXPECT_EQ(reread.SaveToRegistry(), S_OK);
}

TEST_F(GlobalOptionsTest, ChangeReachesTheProcessInstanceAndOpenProjectCaptions) {
  CMyProjectHierarchy* project = Create(Path("proj"), u"Sales.kv7p");
  ASSERT_NE(project, nullptr);
  CFileVwFileNode* orders = AddFile(project, nullptr, "proj/Orders.kv7tbl");
  CFileVwFileNode* profile = AddFile(project, nullptr, "proj/.profile");
  ASSERT_EQ(host_.Solution()->AddProject(project), S_OK);

  auto change_hide_ext = [](BOOL hide) {
    Options sibling(TRUE);  // another module's copy
    sibling.SetHideExt(hide);
    sibling.SaveToRegistry();
    sibling.GlobalOptionsChanged();
  };
  change_hide_ext(TRUE);
  BOOL hide = FALSE;
  GetKV7GlobalOptionsNoLoad()->GetHideExt(&hide);
  EXPECT_EQ(hide, TRUE);
  EXPECT_EQ(orders->GetDisplayCaption(), u"Orders");
  EXPECT_EQ(profile->GetDisplayCaption(), u".profile");
  const auto& events = host_.HierarchyEvents();
  EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const host::HierarchyEvent& event) {
    return event.kind == host::HierarchyEvent::Kind::ItemsInvalidated &&
           event.hierarchy == project && event.item == VSITEMID_ROOT;
  }));

  change_hide_ext(FALSE);  // also leaves the process instance as other tests expect it
  EXPECT_EQ(orders->GetDisplayCaption(), u"Orders.kv7tbl");

  // Re-reading the items loses the explorer's selection; the change keeps it.
  IVsUIHierarchyWindow* window = host_.HierarchyWindow();
  window->ExpandItem(project, orders->GetVsItemID(), EXPF_SelectItem);
  window->ExpandItem(project, profile->GetVsItemID(), EXPF_AddSelectItem);
  change_hide_ext(FALSE);
  VSITEMID selected[3] = {};
  ULONG count = 0;
  ASSERT_EQ(window->GetSelectedItems(project, 3, selected, &count), S_OK);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(selected[0], orders->GetVsItemID());
  EXPECT_EQ(selected[1], profile->GetVsItemID());
}

TEST_F(GlobalOptionsTest, AProjectKeepsTheSaveUserAndPasswordOptionItWasLoadedWith) {
  CMyProjectHierarchy* created = Create(Path("keep"), u"Keep.kv7p");
  ASSERT_NE(created, nullptr);
  ASSERT_EQ(created->Save(nullptr, FALSE, 0), S_OK);
  auto set_option = [](BOOL save) {
    Options sibling(TRUE);
    sibling.SetSaveUserAndPassword(save);
    sibling.SaveToRegistry();
    sibling.GlobalOptionsChanged();
  };
  set_option(FALSE);
  CMyProjectHierarchy* without = Open(Path("keep/Keep.kv7p"));
  set_option(TRUE);
  CMyProjectHierarchy* with = Open(Path("keep/Keep.kv7p"));
  ASSERT_NE(without, nullptr);
  ASSERT_NE(with, nullptr);
  EXPECT_FALSE(without->GetSaveUserAndPassword());
  EXPECT_TRUE(with->GetSaveUserAndPassword());
}

}  // namespace
}  // namespace kv7::test
