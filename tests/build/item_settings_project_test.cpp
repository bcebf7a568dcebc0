// Item build settings in an open project: the list each kind keeps, the
// wizard's settings of a new procedure, records following the provider's
// configuration changes, and an edit marking the item not built.
#include <gtest/gtest.h>

#include "kv7/build/configurations.h"
#include "kv7/build/item_settings.h"
#include "kv7/build/node_executors.h"
#include "kv7/document/built_files.h"
#include "kv7/hierarchy/object_nodes.h"
#include "support/project_fixture.h"
#include "support/project_text.h"

namespace kv7::test {
namespace {

using enum CeKV7Setting;

class ItemSettingsProjectTest : public ProjectFixture {
 protected:
  // A project with the default configurations and a procedure, a function,
  // a table and a statement.
  CMyProjectHierarchy* Project() {
    for (const char* file : {"p/sp.kv7sp", "p/fn.kv7udf", "p/t.kv7tbl", "p/s.kv7st"})
      WriteFile(Path(file), "--\n");
    const std::string files = Item(2, "ProcedureFile", "sp.kv7sp") +
                              Item(2, "FunctionFile", "fn.kv7udf") +
                              Item(2, "TableFile", "t.kv7tbl") + Item(2, "StatementFile", "s.kv7st");
    CMyProjectHierarchy* project = OpenText(Path("p/P.kv7p"), kv7::test::Project("P", files, ""));
    EXPECT_NE(project, nullptr);
    return project;
  }
  static CKV7ObjectFileNode* Node(CMyProjectHierarchy* project, const char16_t* name) {
    CKV7NE_FindNodeForFileName find(name, true);
    (void)project->ProcessEveryFileNode(&find, true);
    auto* node = dynamic_cast<CKV7ObjectFileNode*>(find.GetFoundNode());
    EXPECT_NE(node, nullptr);
    return node;
  }
  static std::vector<std::string> Names(const CKV7ObjectFileNode* node) {
    std::vector<std::string> names;
    const CKV7CfgListBase* list = node->GetSettingsList();
    for (int i = 0; i < list->GetCount(); ++i) names.push_back(ToUtf8(list->GetAt(i)->GetName()));
    return names;
  }
};

TEST_F(ItemSettingsProjectTest, WizardSettingsReachEveryConfigurationOfANewProcedure) {
  CMyProjectHierarchy* project = Project();
  ASSERT_NE(project, nullptr);
  auto* procedure = dynamic_cast<CKV7StoredProcFileNode*>(Node(project, u"sp.kv7sp"));
  ASSERT_NE(procedure, nullptr);
  EXPECT_NE(dynamic_cast<CKV7StoredProcCfgList*>(procedure->GetSettingsList()), nullptr);
  EXPECT_NE(dynamic_cast<CKV7UDFCfgList*>(Node(project, u"fn.kv7udf")->GetSettingsList()), nullptr);
  EXPECT_NE(dynamic_cast<CKV7GenericCfgList*>(Node(project, u"t.kv7tbl")->GetSettingsList()),
            nullptr);
  CKV7ObjectFileNode* statement = Node(project, u"s.kv7st");
  CKV7BaseCfg* none = nullptr;
  EXPECT_EQ(statement->GetSettingsList(), nullptr);
  EXPECT_EQ(statement->GetOrCreateSettings(u"Debug|Win32", &none), E_NOTIMPL);

  ASSERT_EQ(project->GetCfgProvider()->AddCfgsOfCfgName(u"Test", nullptr, FALSE), S_OK);
  CKV7BaseCfg* debug = nullptr;
  ASSERT_EQ(procedure->GetOrCreateSettings(u"DEBUG|Win32", &debug), S_OK);
  debug->SetExcludeFromBuild(TRUE);
  debug->GetOptions()->SetText(kCompileOptions, u"kept");

  EXPECT_EQ(procedure->CreateXMLSettings(u"<SP><SP_SPECIFIC_DESCRIPTION>"), S_FALSE);
  EXPECT_EQ(procedure->CreateXMLSettings(u"<SP><SP_SPECIFIC_DESCRIPTION/></SP>"), S_FALSE);
  EXPECT_EQ(Names(procedure), (std::vector<std::string>{"DEBUG|Win32"}));

  EXPECT_EQ(procedure->CreateXMLSettings(
                u"<SP><SP_SPECIFIC_DESCRIPTION><OSM77OPTIONS><BIND_OPTIONS>b</BIND_OPTIONS>"
                u"<OSM77BUILD_UTILITYLIST><BUILD_UTILITY_NAME>u</BUILD_UTILITY_NAME>"
                u"</OSM77BUILD_UTILITYLIST></OSM77OPTIONS></SP_SPECIFIC_DESCRIPTION></SP>"),
            S_OK);
  EXPECT_EQ(Names(procedure),
            (std::vector<std::string>{"DEBUG|Win32", "Release|Win32", "Test|Win32"}));
  EXPECT_TRUE(debug->GetExcludeFromBuild());
  EXPECT_EQ(debug->GetOptions()->GetText(kCompileOptions), u"kept");
  EXPECT_EQ(debug->GetOptions()->GetText(kBindOptions), u"b");
  auto* test = static_cast<CKV7StoredProcCfg*>(procedure->FindSettings(u"test|win32"));
  ASSERT_NE(test, nullptr);
  EXPECT_FALSE(test->GetExcludeFromBuild());
  EXPECT_TRUE(test->GetUseConnectionSettings());
  EXPECT_EQ(test->GetOptions()->GetText(kBindOptions), u"b");
  EXPECT_EQ(test->GetOptions()->GetBuildUtilityNames().GetSize(), 1);
}

TEST_F(ItemSettingsProjectTest, SettingsFollowConfigurationRenamesAndDeletions) {
  CMyProjectHierarchy* project = Project();
  ASSERT_NE(project, nullptr);
  CKV7ObjectFileNode* procedure = Node(project, u"sp.kv7sp");
  CKV7ObjectFileNode* table = Node(project, u"t.kv7tbl");
  CKV7BaseCfg* record = nullptr;
  for (const char16_t* name : {u"Debug|Win32", u"Release|Win32"})
    ASSERT_EQ(procedure->GetOrCreateSettings(name, &record), S_OK);
  ASSERT_EQ(table->GetOrCreateSettings(u"Debug|Win32", &record), S_OK);

  CCfgProvider* provider = project->GetCfgProvider();
  ASSERT_EQ(provider->RenameCfgsOfCfgName(u"debug", u"Test"), S_OK);
  EXPECT_EQ(Names(procedure), (std::vector<std::string>{"Test|Win32", "Release|Win32"}));
  EXPECT_EQ(Names(table), (std::vector<std::string>{"Test|Win32"}));

  ASSERT_EQ(provider->DeleteCfgsOfCfgName(u"release"), S_OK);
  EXPECT_EQ(Names(procedure), (std::vector<std::string>{"Test|Win32"}));

  // The provider keeps its one platform; what the hierarchy applies when a
  // platform goes leaves the bare configuration name.
  EXPECT_FALSE(table->IsLocallyDirty());
  CKV7NE_PlatformNameDeleted deleted(u"WIN32");
  ASSERT_EQ(project->ProcessEveryFileNode(&deleted, true), S_OK);
  EXPECT_EQ(Names(procedure), (std::vector<std::string>{"Test"}));
  EXPECT_EQ(Names(table), (std::vector<std::string>{"Test"}));
  EXPECT_TRUE(table->IsLocallyDirty());
  EXPECT_FALSE(Node(project, u"fn.kv7udf")->IsLocallyDirty());
}

TEST_F(ItemSettingsProjectTest, EditingARecordMarksTheItemNotBuiltInThatConfigurationOnly) {
  CMyProjectHierarchy* project = Project();
  ASSERT_NE(project, nullptr);
  CKV7ObjectFileNode* procedure = Node(project, u"sp.kv7sp");
  CKV7ObjectFileNode* function = Node(project, u"fn.kv7udf");
  CKV7BuiltFiles* built = project->GetBuiltFiles();
  for (const char16_t* cfg : {u"Debug|Win32", u"Release|Win32"})
    for (CKV7ObjectFileNode* node : {procedure, function})
      ASSERT_EQ(built->SetFileAsBuilt(node->GetFullPath(), cfg), S_OK);
  auto isBuilt = [&](CKV7ObjectFileNode* node, const char16_t* cfg) {
    WString time;
    return built->GetBuiltTime(cfg, node->GetFullPath(), &time) == S_OK;
  };

  // Refused edits change nothing and leave no record behind.
  EXPECT_EQ(function->EditSetting(u"Debug|Win32", kUseConnectionSettings, u"false"),
            E_INVALIDARG);
  EXPECT_EQ(function->EditSetting(u"Debug|Win32", kExcludeFromBuild, u"yes"), E_INVALIDARG);
  EXPECT_EQ(function->FindSettings(u"Debug|Win32"), nullptr);
  EXPECT_TRUE(isBuilt(function, u"Debug|Win32"));
  EXPECT_EQ(Node(project, u"s.kv7st")->EditSetting(u"Debug|Win32", kExcludeFromBuild, u"true"),
            E_NOTIMPL);

  EXPECT_FALSE(procedure->IsLocallyDirty());
  ASSERT_EQ(procedure->EditSetting(u"debug|win32", kUseConnectionSettings, u"false"), S_OK);
  auto* record = static_cast<CKV7StoredProcCfg*>(procedure->FindSettings(u"Debug|Win32"));
  ASSERT_NE(record, nullptr);
  EXPECT_FALSE(record->GetUseConnectionSettings());
  EXPECT_FALSE(isBuilt(procedure, u"Debug|Win32"));
  EXPECT_TRUE(isBuilt(procedure, u"Release|Win32"));
  EXPECT_TRUE(isBuilt(function, u"Debug|Win32"));
  EXPECT_TRUE(procedure->IsLocallyDirty());
}

}  // namespace
}  // namespace kv7::test
