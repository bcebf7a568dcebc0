// A project's assemblies at build time: which ones a build installs and
// what it records, how a failing install ends it, the items marked for
// deploying again, and the placeholders in items' texts.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "kv7/build/configurations.h"
#include "kv7/build/node_executors.h"
#include "kv7/document/built_files.h"
#include "kv7/helper/helper.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/utilities.h"
#include "support/project_fixture.h"
#include "support/project_text.h"

namespace kv7::test {
namespace {

// One call of the installer, as it was asked.
struct InstallCall {
  WString path, name, options;
};

class ProjectAssembliesTest : public ProjectFixture {
 protected:
  // An empty project in "p" whose items are the given files.
  CMyProjectHierarchy* OpenProject(const std::vector<std::pair<std::string, std::string>>& items = {}) {
    std::string files;
    for (const auto& [name, text] : items) {
      WriteFile(Path("p/" + name), text);
      files += Item(2, name.ends_with(".kv7sp") ? "ProcedureFile" : "TableFile", name);
    }
    return OpenText(Path("p/P.kv7p"), Layout(Project("P", files, "")));
  }
  // Writes a DLL below the project folder; its full path.
  WString Dll(const std::string& name) {
    WriteFile(Path("p/" + name), "MZ");
    return W(Path("p/" + name));
  }
  CKV7AssemblyInfo& AddRecord(CMyProjectHierarchy* project, WStringView path) {
    auto record = std::make_unique<CKV7AssemblyInfo>();
    record->SetFullSourcePath(path);
    CKV7AssemblyInfo& added = *record;
    project->GetAssemblyInfoList().Add(std::move(record));
    return added;
  }
  // An installer that succeeds, naming the assembly on the server after
  // the name it is given.
  KV7AssemblyInstaller Installer(LONG status = 0) {
    return [this, status](const char16_t*, const char16_t* path, const char16_t* name,
                          const char16_t* options, BSTR* message, BSTR* details, LONG* out,
                          BSTR* result) {
      calls_.push_back({path, name, options});
      *message = CComBSTR(status == 0 ? u"" : u"the server said no").Detach();
      *details = CComBSTR(u"{guid-" + WString(name) + u"}").Detach();
      *result = CComBSTR(u"srv." + WString(name)).Detach();
      *out = status;
      return S_OK;
    };
  }
  HRESULT Process(CMyProjectHierarchy* project, CKV7AssemblyInfoList& installed,
                  const KV7AssemblyInstaller& installer) {
    return project->ProcessAssembliesForBuild(
        u"<DATACONNECTION/>", [this](WStringView text) { pane_ += text; }, installed, installer);
  }
  static WString TimeText(const WString& path) {
    WString text;
    EXPECT_EQ(GetFileModifiedDate(path.c_str(), text), S_OK);
    return text;
  }
  static void MoveBackOneDay(const WString& path) {
    const auto file = std::filesystem::path(ToUtf8(path));
    std::filesystem::last_write_time(
        file, std::filesystem::last_write_time(file) - std::chrono::hours(24));
  }

  std::vector<InstallCall> calls_;
  WString pane_;
};

TEST_F(ProjectAssembliesTest, ABuildInstallsNewAndChangedAssembliesAndRecordsThem) {
  CMyProjectHierarchy* project = OpenProject();
  ASSERT_NE(project, nullptr);
  // Given: one marked not to install, one without a path, one whose DLL is
  // missing, a new one given relative to the project folder, one installed
  // and unchanged, one whose DLL changed and one put back older.
  CKV7AssemblyInfo& skipped = AddRecord(project, Dll("lib/Skipped.dll"));
  skipped.SetDoNotInstallOnBuild(TRUE);
  AddRecord(project, u"");
  AddRecord(project, W(Path("p/lib/Missing.dll")));
  CKV7AssemblyInfo& fresh = AddRecord(project, u"lib\\Fresh.dll");
  (void)Dll("lib/Fresh.dll");
  CKV7AssemblyInfo& same = AddRecord(project, Dll("lib/Same.dll"));
  same.SetLastInstallSucceeded(TRUE);
  same.SetTimestampOfInstalledDll(TimeText(same.GetFullSourcePath()));
  same.SetExternalName(u"srv.Same");
  CKV7AssemblyInfo& changed = AddRecord(project, Dll("lib/Changed.dll"));
  MoveBackOneDay(changed.GetFullSourcePath());
  changed.SetLastInstallSucceeded(TRUE);
  changed.SetTimestampOfInstalledDll(TimeText(changed.GetFullSourcePath()));
  (void)Dll("lib/Changed.dll");
  CKV7AssemblyInfo& older = AddRecord(project, Dll("lib/Older.dll"));
  older.SetLastInstallSucceeded(TRUE);
  older.SetTimestampOfInstalledDll(TimeText(older.GetFullSourcePath()));
  MoveBackOneDay(older.GetFullSourcePath());
  (void)project->Save(nullptr, FALSE, 0);
  ASSERT_FALSE(Dirty(project));

  CKV7AssemblyInfoList installed;
  ASSERT_EQ(Process(project, installed, Installer()), S_OK);

  // Then: the three that need it are installed, in list order, under their
  // file names (the DLL's full path, the target directory as options).
  ASSERT_EQ(calls_.size(), 3u);
  EXPECT_EQ(calls_[0].path, W(Path("p/lib/Fresh.dll")));
  EXPECT_EQ(calls_[0].name, u"Fresh");
  EXPECT_EQ(calls_[0].options, u"clr");
  EXPECT_EQ(calls_[1].name, u"Changed");
  EXPECT_EQ(calls_[2].name, u"Older");
  EXPECT_NE(pane_.find(FormatUIString(1266, u"2")), WString::npos) << ToUtf8(pane_);
  EXPECT_NE(pane_.find(FormatUIString(1265, W(Path("p/lib/Older.dll")))), WString::npos)
      << ToUtf8(pane_);
  EXPECT_EQ(pane_.find(u"Skipped"), WString::npos);

  // Each installed record is up to date, the build gets clones of them and
  // the project needs saving.
  EXPECT_TRUE(fresh.GetLastInstallSucceeded());
  EXPECT_EQ(fresh.GetTimestampOfInstalledDll(), TimeText(W(Path("p/lib/Fresh.dll"))));
  EXPECT_NE(fresh.GetLastSuccessfulInstallTime(), u"");
  EXPECT_EQ(fresh.GetExternalName(), u"srv.Fresh");
  EXPECT_EQ(fresh.GetGuid(), u"{guid-Fresh}");
  EXPECT_EQ(older.GetTimestampOfInstalledDll(), TimeText(older.GetFullSourcePath()));
  EXPECT_FALSE(skipped.GetLastInstallSucceeded());
  ASSERT_EQ(installed.GetCount(), 3);
  EXPECT_EQ(installed.GetAt(0)->GetExternalName(), u"srv.Fresh");
  EXPECT_NE(installed.GetAt(0), &fresh);
  EXPECT_TRUE(Dirty(project));

  // A second build finds nothing to install; an assembly already known to
  // the server is installed again under its server name.
  calls_.clear();
  installed.DeleteAll();
  ASSERT_EQ(Process(project, installed, Installer()), S_OK);
  EXPECT_TRUE(calls_.empty());
  EXPECT_TRUE(installed.IsEmpty());
  MoveBackOneDay(same.GetFullSourcePath());
  ASSERT_EQ(Process(project, installed, Installer()), S_OK);
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].name, u"srv.Same");
}

TEST_F(ProjectAssembliesTest, AFailingInstallEndsTheWalkAndSaysWhy) {
  CMyProjectHierarchy* project = OpenProject();
  ASSERT_NE(project, nullptr);
  CKV7AssemblyInfo& first = AddRecord(project, Dll("First.dll"));
  first.SetLastInstallSucceeded(TRUE);  // installed, without a recorded time
  first.SetLastSuccessfulInstallTime(u"01/01/2001 00:00:00");
  CKV7AssemblyInfo& second = AddRecord(project, Dll("Second.dll"));

  // The installer answers a status other than 0: its words on the pane.
  CKV7AssemblyInfoList installed;
  EXPECT_EQ(Process(project, installed, Installer(7)), E_FAIL);
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_FALSE(first.GetLastInstallSucceeded());
  EXPECT_NE(pane_.find(FormatUIStringInserts(1304, nullptr, {first.GetFullSourcePath(),
                                                             u"the server said no"})),
            WString::npos)
      << ToUtf8(pane_);
  EXPECT_TRUE(installed.IsEmpty());

  // The helper library itself: neither engine takes an assembly.
  pane_.clear();
  HRESULT hr = Process(project, installed, {});
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED));
  EXPECT_NE(pane_.find(first.GetFullSourcePath()), WString::npos) << ToUtf8(pane_);
  EXPECT_NE(pane_.find(u"neither SQLite nor PostgreSQL hosts .NET assemblies"), WString::npos)
      << ToUtf8(pane_);
  EXPECT_FALSE(second.GetLastInstallSucceeded());
  EXPECT_EQ(second.GetTimestampOfInstalledDll(), u"");
}

TEST_F(ProjectAssembliesTest, ItemsUsingAnInstalledAssemblyAreMarkedNotBuilt) {
  CMyProjectHierarchy* project =
      OpenProject({{"byfile.kv7sp", "create procedure a external name 'TOOLS.dll:Run'"},
                   {"byplaceholder.kv7sp", "external name '[!KV7CLRAssembly:billing]:Run'"},
                   {"byname.kv7sp", "external name Shop.Tools.Run"},
                   {"other.kv7tbl", "create table mytools_dll(id int); -- MyTools.dll"}});
  ASSERT_NE(project, nullptr);
  CKV7AssemblyInfoList installed;
  auto tools = std::make_unique<CKV7AssemblyInfo>();
  tools->SetFullSourcePath(u"/lib/Tools.dll");
  tools->SetExternalName(u"Shop.Tools");
  installed.Add(std::move(tools));
  auto billing = std::make_unique<CKV7AssemblyInfo>();
  billing->SetFullSourcePath(u"/lib/Billing.dll");
  installed.Add(std::move(billing));
  CKV7BuiltFiles* built = project->GetBuiltFiles();
  const std::vector<std::string> items = {"byfile.kv7sp", "byplaceholder.kv7sp", "byname.kv7sp",
                                          "other.kv7tbl"};
  for (const std::string& item : items) ASSERT_EQ(built->SetFileAsBuilt(W(Path("p/" + item))), S_OK);

  CKV7NE_DirtyIfHasAssemblyReference dirty(project, installed);
  ASSERT_EQ(project->ProcessEveryFileNode(&dirty, true), S_OK);

  for (const char16_t* cfg : {u"Debug|Win32", u"Release|Win32"}) {
    std::vector<std::string> still_built;
    for (const std::string& item : items) {
      WString time;
      if (built->GetBuiltTime(cfg, W(Path("p/" + item)), &time) == S_OK) still_built.push_back(item);
    }
    EXPECT_EQ(still_built, std::vector<std::string>{"other.kv7tbl"}) << ToUtf8(cfg);
  }
}

TEST_F(ProjectAssembliesTest, ItemTextsNameTheirAssembliesOrTheItemIsNotDeployed) {
  CMyProjectHierarchy* project = OpenProject();
  ASSERT_NE(project, nullptr);
  AddRecord(project, u"/lib/Tools.dll").SetExternalName(u"Shop.Tools");
  AddRecord(project, u"/lib/Billing.dll");
  auto write = [this](WStringView text) { pane_ += text; };

  WString text = u"'[!KV7CLRAssembly:Tools]' '[!KV7CLRAssembly:Billing]'";
  WString note;
  ASSERT_EQ(project->DoExtNameReplacements(u"/p/a.kv7sp", text, note, write), S_OK);
  EXPECT_EQ(text, u"'Shop.Tools' 'clr/Billing.dll'");
  EXPECT_EQ(note, u"Billing");
  EXPECT_EQ(pane_, FormatUIString(1271, u"Billing") + u"\n");

  pane_.clear();
  text = u"select 1";
  ASSERT_EQ(project->DoExtNameReplacements(u"/p/a.kv7sp", text, note, write), S_OK);
  EXPECT_EQ(pane_, u"");

  text = u"x [!KV7CLRAssembly:Gone] y";
  EXPECT_EQ(project->DoExtNameReplacements(u"/p/b.kv7sp", text, note, write), E_FAIL);
  EXPECT_EQ(text, u"x [!KV7CLRAssembly:Gone] y");
  EXPECT_EQ(pane_, FormatUIStringInserts(1272, nullptr, {u"/p/b.kv7sp", u"[!KV7CLRAssembly:Gone]"}) +
                       u"\n" + LoadUIString(1043) + u"\n");
}

}  // namespace
}  // namespace kv7::test
