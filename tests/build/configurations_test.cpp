// The configuration provider of an open project: names on every platform,
// the built-files record following each change, refusals that change
// nothing, and the callbacks of a configuration's builds.
#include <gtest/gtest.h>

#include "kv7/build/configurations.h"
#include "kv7/document/built_files.h"
#include "kv7/helper/helper.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/errorinfo.h"
#include "support/project_fixture.h"
#include "support/project_text.h"

namespace kv7::test {
namespace {

class ConfigurationsTest : public ProjectFixture {
 protected:
  // A project with the default configurations, and an item built in Debug.
  CMyProjectHierarchy* Project() {
    CMyProjectHierarchy* project = Create(Path("p"), u"P.kv7p");
    EXPECT_NE(project, nullptr);
    WriteFile(Path("p/a.kv7tbl"), "--\n");
    EXPECT_EQ(project->GetBuiltFiles()->SetFileAsBuilt(W(Path("p/a.kv7tbl")), u"Debug|Win32"),
              S_OK);
    return project;
  }
  static std::vector<std::string> FullNames(CCfgProvider* provider) {
    std::vector<std::string> names;
    for (const ComPtr<CMyProjectCfg>& cfg : provider->GetConfigurations())
      names.push_back(ToUtf8(cfg->GetName()));
    return names;
  }
};

// Records what a provider tells its sinks.
class Sink final : public ComObject<IVsCfgProviderEvents> {
 public:
  HRESULT OnCfgNameAdded(const char16_t* name) override { return Note("added ", name); }
  HRESULT OnCfgNameDeleted(const char16_t* name) override { return Note("deleted ", name); }
  HRESULT OnCfgNameRenamed(const char16_t* from, const char16_t* to) override {
    return Note("renamed " + ToUtf8(from) + " ", to);
  }
  HRESULT OnPlatformNameAdded(const char16_t*) override { return S_OK; }
  HRESULT OnPlatformNameDeleted(const char16_t*) override { return S_OK; }
  std::vector<std::string> events;

 private:
  HRESULT Note(const std::string& what, const char16_t* name) {
    events.push_back(what + ToUtf8(name));
    return S_OK;
  }
};

TEST_F(ConfigurationsTest, NamesChangeOnEveryPlatformAndTheRecordFollows) {
  CMyProjectHierarchy* project = Project();
  CCfgProvider* provider = project->GetCfgProvider();
  CKV7BuiltFiles* record = project->GetBuiltFiles();
  auto sink = MakeCom<Sink>();
  DWORD cookie = 0;
  ASSERT_EQ(provider->AdviseCfgProviderEvents(sink.Get(), &cookie), S_OK);
  EXPECT_EQ(FullNames(provider), (std::vector<std::string>{"Debug|Win32", "Release|Win32"}));
  EXPECT_TRUE(provider->FindCfg(u"debug|win32")->get_DebuggingInfo()->GetBuildForDebug());
  EXPECT_FALSE(provider->FindCfg(u"Release|Win32")->get_DebuggingInfo()->GetBuildForDebug());

  // A clone copies the connection and run order, never what was built.
  // A new connection makes every item of every configuration not built.
  CMyProjectCfg* debug = provider->FindCfg(u"Debug|Win32");
  ASSERT_EQ(project->GetBuiltFiles()->SetFileAsBuilt(W(Path("p/a.kv7tbl")), u"Release|Win32"), S_OK);
  EXPECT_EQ(debug->SetConnection(u"<broken"), E_FAIL);
  EXPECT_EQ(project->GetBuiltFiles()->BuiltFileCount(u"Release|Win32"), 1);
  ASSERT_EQ(debug->SetConnection(u"<DATACONNECTION DBCONNNAME=\"shop\"/>"), S_OK);
  EXPECT_EQ(project->GetBuiltFiles()->BuiltFileCount(u"Release|Win32"), 0);
  EXPECT_EQ(project->GetBuiltFiles()->BuiltFileCount(u"Debug|Win32"), 0);
  ASSERT_EQ(project->GetBuiltFiles()->SetFileAsBuilt(W(Path("p/a.kv7tbl")), u"Debug|Win32"), S_OK);
  debug->GetRunOrder()->Add(u"a.kv7tbl");
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  ASSERT_EQ(provider->AddCfgsOfCfgName(u"Test", u"DEBUG", FALSE), S_OK);
  CMyProjectCfg* test = provider->FindCfg(u"Test|Win32");
  ASSERT_NE(test, nullptr);
  EXPECT_EQ(test->get_ConnInfo()->GetConnName(), u"shop");
  EXPECT_EQ(test->GetRunOrder()->GetCount(), 1);
  EXPECT_TRUE(test->get_DebuggingInfo()->GetBuildForDebug());
  EXPECT_EQ(record->BuiltFileCount(u"Test|Win32"), 0);
  EXPECT_TRUE(Dirty(project));

  // A name in use (in any case) or a missing clone source changes nothing.
  EXPECT_EQ(provider->AddCfgsOfCfgName(u"tEST", nullptr, FALSE),
            HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(provider->AddCfgsOfCfgName(u"Other", u"Nowhere", FALSE),
            HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_EQ(provider->RenameCfgsOfCfgName(u"Test", u"release"),
            HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(provider->DeleteCfgsOfCfgName(u"Nowhere"), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_EQ(FullNames(provider),
            (std::vector<std::string>{"Debug|Win32", "Release|Win32", "Test|Win32"}));

  // A rename keeps what the configuration built, under its new name.
  ASSERT_EQ(provider->RenameCfgsOfCfgName(u"debug", u"Dev"), S_OK);
  EXPECT_EQ(record->BuiltFileCount(u"Dev|Win32"), 1);
  EXPECT_EQ(record->BuiltFileCount(u"Debug|Win32"), 0);
  ASSERT_EQ(provider->DeleteCfgsOfCfgName(u"Test"), S_OK);
  ComPtr<IXMLDOMNode> gone;
  EXPECT_EQ(record->GetConfigNode(u"Test|Win32", gone.Put()), S_FALSE);
  EXPECT_EQ(sink->events, (std::vector<std::string>{"added Test", "renamed Debug Dev",
                                                    "deleted Test"}));

  // Saved and opened again, the names and the record agree.
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  CMyProjectHierarchy* again = Open(Path("p/P.kv7p"));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(FullNames(again->GetCfgProvider()),
            (std::vector<std::string>{"Dev|Win32", "Release|Win32"}));
  EXPECT_EQ(again->GetBuiltFiles()->BuiltFileCount(u"dev|WIN32"), 1);
}

TEST_F(ConfigurationsTest, ARefusedEditOrAFailurePartwayChangesNothing) {
  // Two platforms, and a Release on the second whose connection text is
  // not a connection: cloning Release fails on that platform.
  const std::string configurations = List(
      1, "Configurations",
      Configuration(2, "Debug|Win32", true) + Configuration(2, "Release|Win32", false) +
          Configuration(2, "Debug|X64", true) + Configuration(2, "Release|X64", false));
  CMyProjectHierarchy* project =
      OpenText(Path("two/Two.kv7p"),
               Layout(kv7::test::Project("Two", "", "", " version=\"3\"", kGeneral + configurations)));
  ASSERT_NE(project, nullptr);
  CCfgProvider* provider = project->GetCfgProvider();
  EXPECT_EQ(provider->GetPlatforms(), (std::vector<WString>{u"Win32", u"X64"}));
  ASSERT_EQ(provider->FindCfg(u"Release|X64")->get_ConnInfo()->SetXML(u"<broken", FALSE), E_FAIL);

  EXPECT_TRUE(FAILED(provider->AddCfgsOfCfgName(u"Copy", u"Release", FALSE)));
  EXPECT_EQ(provider->FindCfg(u"Copy|Win32"), nullptr);
  EXPECT_FALSE(provider->HasCfgName(u"Copy"));
  ComPtr<IXMLDOMNode> entry;
  EXPECT_EQ(project->GetBuiltFiles()->GetConfigNode(u"Copy|Win32", entry.Put()), S_FALSE);

  host_.RefuseEdits(true);
  EXPECT_EQ(provider->AddCfgsOfCfgName(u"New", nullptr, FALSE), OLE_E_PROMPTSAVECANCELLED);
  EXPECT_EQ(provider->RenameCfgsOfCfgName(u"Debug", u"Dev"), OLE_E_PROMPTSAVECANCELLED);
  EXPECT_EQ(provider->DeleteCfgsOfCfgName(u"Debug"), OLE_E_PROMPTSAVECANCELLED);
  EXPECT_EQ(FullNames(provider), (std::vector<std::string>{"Debug|Win32", "Release|Win32",
                                                           "Debug|X64", "Release|X64"}));
  EXPECT_FALSE(Dirty(project));
}

// Counts a build's begin and end; may stop the build from starting.
class Callback final : public ComObject<IVsBuildStatusCallback> {
 public:
  explicit Callback(bool stop) : stop_(stop) {}
  HRESULT BuildBegin(BOOL* continueBuild) override {
    ++begins;
    if (stop_) *continueBuild = FALSE;
    return S_OK;
  }
  HRESULT BuildEnd(BOOL success) override {
    ends.push_back(success);
    return S_OK;
  }
  HRESULT Tick(BOOL*) override { return S_OK; }
  int begins = 0;
  std::vector<BOOL> ends;

 private:
  bool stop_;
};

TEST_F(ConfigurationsTest, FiveBuildCallbacksAreToldInSlotOrder) {
  CMyProjectHierarchy* project = Project();
  CMyProjectCfg* cfg = project->GetActiveProjectConfig();
  std::vector<ComPtr<Callback>> callbacks;
  for (int i = 0; i < 5; ++i) {
    callbacks.push_back(MakeCom<Callback>(i == 2));
    DWORD cookie = 0;
    ASSERT_EQ(cfg->AdviseBuildStatusCallback(callbacks.back().Get(), &cookie), S_OK);
    EXPECT_EQ(cookie, static_cast<DWORD>(i + 1));
  }
  DWORD sixth = 0;
  EXPECT_EQ(cfg->AdviseBuildStatusCallback(MakeCom<Callback>(false).Get(), &sixth),
            CONNECT_E_ADVISELIMIT);

  // The third stops the build: the fourth and fifth are not asked.
  BOOL go = TRUE;
  cfg->FireBuildBegin(&go);
  EXPECT_FALSE(go);
  EXPECT_EQ(callbacks[3]->begins, 0);
  EXPECT_EQ(callbacks[2]->begins, 1);
  ASSERT_EQ(cfg->UnadviseBuildStatusCallback(3), S_OK);
  EXPECT_EQ(cfg->UnadviseBuildStatusCallback(3), E_INVALIDARG);
  cfg->FireBuildBegin(&go);
  EXPECT_TRUE(go);
  cfg->FireBuildEnd(TRUE);
  EXPECT_EQ(callbacks[4]->ends, std::vector<BOOL>{TRUE});
  EXPECT_TRUE(callbacks[2]->ends.empty());
  // The freed slot is taken again first.
  DWORD again = 0;
  ASSERT_EQ(cfg->AdviseBuildStatusCallback(MakeCom<Callback>(false).Get(), &again), S_OK);
  EXPECT_EQ(again, 3u);

  BOOL supported = FALSE, ready = FALSE, launch = FALSE, done = TRUE, debug_only = TRUE;
  EXPECT_EQ(cfg->QueryStartBuild(0, &supported, &ready), S_OK);
  EXPECT_TRUE(supported && ready);
  EXPECT_EQ(cfg->QueryDebugLaunch(0, &launch), S_OK);
  EXPECT_TRUE(launch);
  EXPECT_EQ(cfg->QueryStatus(&done), S_OK);
  EXPECT_FALSE(done);
  EXPECT_EQ(cfg->get_IsDebugOnly(&debug_only), S_OK);
  EXPECT_FALSE(debug_only);
  VARIANT value;
  for (LONG property : {-16002L, -16003L, -16004L, 1L, 2L, -16005L}) {
    ASSERT_EQ(project->GetCfgProvider()->GetCfgProviderProperty(property, &value), S_OK);
    EXPECT_EQ(value.boolVal() == VARIANT_TRUE, property == 1 || (property <= -16002 && property >= -16004))
        << property;
  }
}

TEST_F(ConfigurationsTest, TheActiveConfigurationIsTheDefaultElseTheSolutionsElseTheFirst) {
  CMyProjectHierarchy* project = Project();
  EXPECT_EQ(project->GetDefaultConfiguration(), nullptr);
  EXPECT_EQ(project->GetActiveProjectConfig()->GetName(), u"Debug|Win32");
  host_.SetActiveConfiguration(u"release|win32");
  ASSERT_NE(project->GetDefaultConfiguration(), nullptr);
  EXPECT_EQ(project->GetActiveProjectConfig()->GetName(), u"Release|Win32");
  project->SetDefaultConfigurationName(u"DEBUG|Win32");
  EXPECT_EQ(project->GetActiveProjectConfig()->GetName(), u"Debug|Win32");
  EXPECT_EQ(project->GetActiveConnInfo(), project->GetActiveProjectConfig()->get_ConnInfo());
  // The default name follows a rename and goes with its configuration.
  ASSERT_EQ(project->GetCfgProvider()->RenameCfgsOfCfgName(u"Debug", u"Dev"), S_OK);
  EXPECT_EQ(project->GetDefaultConfigurationName(), u"Dev|Win32");
  ASSERT_EQ(project->GetCfgProvider()->DeleteCfgsOfCfgName(u"dev"), S_OK);
  EXPECT_TRUE(project->GetDefaultConfigurationName().empty());
  host_.SetActiveConfiguration(u"");
}

TEST_F(ConfigurationsTest, ANewProjectTakesTheConnectionHandedInElseTheCataloguesDefault) {
  // Nothing handed in and an empty catalogue: no connection.
  CMyProjectHierarchy* bare = Create(Path("bare"), u"Bare.kv7p");
  ASSERT_NE(bare, nullptr);
  EXPECT_TRUE(bare->GetActiveConnInfo()->GetConnName().empty());

  ASSERT_EQ(CCommandHelperHook().AddConnection(u"<DATACONNECTION DBCONNNAME=\"shop\" DATABASE=\"s.db\"/>",
                                               TRUE),
            S_OK);
  CMyProjectHierarchy* chosen = Create(Path("chosen"), u"Chosen.kv7p");
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->GetActiveConnInfo()->GetConnName(), u"shop");
  EXPECT_TRUE(chosen->GetCfgProvider()->FindCfg(u"Release|Win32")->get_ConnInfo()->GetConnName().empty());

  SetPendingProjectConnection(u"<DATACONNECTION DBCONNNAME=\"handed\"/>");
  CMyProjectHierarchy* handed = Create(Path("handed"), u"Handed.kv7p");
  ASSERT_NE(handed, nullptr);
  EXPECT_EQ(handed->GetActiveConnInfo()->GetConnName(), u"handed");
  WString left;
  EXPECT_FALSE(TakePendingProjectConnection(&left));

  // Opening a project takes nothing.
  ASSERT_EQ(bare->Save(nullptr, FALSE, 0), S_OK);
  CMyProjectHierarchy* opened = Open(Path("bare/Bare.kv7p"));
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(opened->GetActiveConnInfo()->GetConnName().empty());
}

TEST_F(ConfigurationsTest, RenamedItemsAndFoldersKeepTheirPlaceInTheRunOrder) {
  CMyProjectHierarchy* project = Project();
  CFileVwProjNode* root = project->GetProjectNode();
  CFileVwFolderNode *tables = nullptr, *sibling = nullptr;
  ASSERT_EQ(root->CreateAndAddFolder(root, u"Data", &tables), S_OK);
  ASSERT_EQ(root->CreateAndAddFolder(root, u"Data2", &sibling), S_OK);
  CFileVwFileNode* x = AddFile(project, tables, "p/Data/x.kv7tbl");
  AddFile(project, sibling, "p/Data2/y.kv7tbl");
  CRunOrder* order = project->GetActiveProjectConfig()->GetRunOrder();
  order->Add(u"Data\\x.kv7tbl");
  order->Add(u"Data2\\y.kv7tbl");
  order->Add(W(Path("p/Data/x.kv7tbl")));  // a full path

  ASSERT_EQ(Rename(project, x, u"z.kv7tbl"), S_OK);
  ASSERT_EQ(Rename(project, tables, u"Core"), S_OK);
  std::vector<std::string> names;
  for (const auto& item : order->GetItems()) names.push_back(ToUtf8(item->GetFileName()));
  EXPECT_EQ(names, (std::vector<std::string>{"Core\\z.kv7tbl", "Data2\\y.kv7tbl",
                                             Path("p/Core/z.kv7tbl").string()}));
  // The record followed both renames.
  ASSERT_EQ(project->GetBuiltFiles()->SetFileAsBuilt(W(Path("p/Core/z.kv7tbl"))), S_OK);
  ASSERT_EQ(Rename(project, tables, u"Data"), S_OK);
  WString time;
  EXPECT_EQ(project->GetBuiltFiles()->GetBuiltTime(u"Release|Win32", W(Path("p/Data/z.kv7tbl")),
                                                   &time),
            S_OK);
}

}  // namespace
}  // namespace kv7::test
