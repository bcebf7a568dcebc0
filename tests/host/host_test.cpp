#include "kv7/host/host.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "support/test_support.h"

namespace kv7::host {
namespace {

constexpr GUID kTableType = MakeGuid("11111111-0000-0000-0000-000000000001");
constexpr GUID kViewType = MakeGuid("11111111-0000-0000-0000-000000000002");

// A project that knows its type, counts closes and keeps its event sinks.
class FakeProject final : public ComObject<IVsHierarchy> {
 public:
  explicit FakeProject(GUID type = GUID_NULL) : type_(type) {}

  BOOL canClose = TRUE;
  int closes = 0;
  std::map<DWORD, ComPtr<IVsHierarchyEvents>> sinks;
  IVsHierarchyEvents* Sink() const { return sinks.begin()->second.Get(); }

  HRESULT QueryClose(BOOL* result) override {
    *result = canClose;
    return S_OK;
  }
  HRESULT Close() override {
    ++closes;
    return S_OK;
  }
  HRESULT GetGuidProperty(VSITEMID item, VSHPROPID property, GUID* value) override {
    if (item != VSITEMID_ROOT || property != VSHPROPID_TypeGuid) return DISP_E_MEMBERNOTFOUND;
    *value = type_;
    return S_OK;
  }
  HRESULT AdviseHierarchyEvents(IVsHierarchyEvents* sink, DWORD* cookie) override {
    sinks[*cookie = ++lastCookie_] = sink;
    return S_OK;
  }
  HRESULT UnadviseHierarchyEvents(DWORD cookie) override {
    return sinks.erase(cookie) ? S_OK : E_INVALIDARG;
  }
  HRESULT SetSite(IServiceProvider*) override { return S_OK; }
  HRESULT GetSite(IServiceProvider**) override { return E_NOTIMPL; }
  HRESULT SetGuidProperty(VSITEMID, VSHPROPID, REFGUID) override { return E_NOTIMPL; }
  HRESULT GetProperty(VSITEMID, VSHPROPID, VARIANT*) override { return E_NOTIMPL; }
  HRESULT SetProperty(VSITEMID, VSHPROPID, const VARIANT&) override { return E_NOTIMPL; }
  HRESULT GetCanonicalName(VSITEMID, BSTR*) override { return E_NOTIMPL; }
  HRESULT ParseCanonicalName(const char16_t*, VSITEMID*) override { return E_NOTIMPL; }

 private:
  GUID type_;
  DWORD lastCookie_ = 0;
};

using Projects = std::vector<IVsHierarchy*>;

class HostTest : public test::ScratchDir {
 protected:
  HostTest() { host.SetQuiet(true); }

  template <class I>
  ComPtr<I> Service(REFGUID service) {
    ComPtr<I> object;
    EXPECT_EQ(QueryServiceFor(host.ServiceProvider(), service, &object), S_OK);
    return object;
  }
  Projects Enumerate(REFGUID type) {
    ComPtr<IEnumHierarchies> projects;
    host.Solution()->GetProjectEnum(EPF_ALLPROJECTS, type, projects.Put());
    Projects found;
    for (ComPtr<IVsHierarchy> next; projects->Next(1, next.Put(), nullptr) == S_OK;)
      found.push_back(next.Get());
    return found;
  }
  std::vector<VSITEMID> Selected(IVsHierarchy* project) {
    VSITEMID items[4];
    ULONG count = 99;
    host.HierarchyWindow()->GetSelectedItems(project, 4, items, &count);
    return {items, items + count};
  }

  CHost host;
  ComPtr<FakeProject> tables = MakeCom<FakeProject>(kTableType);
  ComPtr<FakeProject> views = MakeCom<FakeProject>(kViewType);
};

TEST_F(HostTest, ProjectsEnumerateInOrderFilteredByType) {
  auto moreTables = MakeCom<FakeProject>(kTableType);
  for (IVsHierarchy* project : {tables.Get(), views.Get(), moreTables.Get()})
    ASSERT_EQ(host.Solution()->AddProject(project), S_OK);
  EXPECT_EQ(host.Solution()->AddProject(views.Get()), E_INVALIDARG);
  EXPECT_EQ(views->sinks.size(), 1u);
  EXPECT_EQ(Enumerate(GUID_NULL), (Projects{tables.Get(), views.Get(), moreTables.Get()}));
  EXPECT_EQ(Enumerate(kTableType), (Projects{tables.Get(), moreTables.Get()}));

  ComPtr<IVsUIShell> shell;
  EXPECT_EQ(QueryServiceFor(host.ServiceProvider(), kTableType, &shell), E_NOINTERFACE);
  EXPECT_EQ(QueryServiceFor(host.ServiceProvider(), SID_SVsSolution, &shell), E_NOINTERFACE);
  EXPECT_EQ(shell, nullptr);
}

TEST_F(HostTest, ClosingAProjectAsksItClosesItAndStopsListening) {
  host.Solution()->AddProject(tables.Get());
  host.Solution()->AddProject(views.Get());
  tables->canClose = FALSE;
  EXPECT_EQ(host.Solution()->CloseSolutionElement(0, tables.Get(), 0), OLE_E_PROMPTSAVECANCELLED);
  EXPECT_EQ(tables->closes, 0);

  tables->canClose = TRUE;
  EXPECT_EQ(host.Solution()->CloseSolutionElement(0, tables.Get(), 0), S_OK);
  EXPECT_EQ(tables->closes, 1);
  EXPECT_TRUE(tables->sinks.empty());
  EXPECT_EQ(host.Projects(), Projects{views.Get()});
  EXPECT_EQ(host.Solution()->CloseSolutionElement(0, tables.Get(), 0), E_INVALIDARG);
}

TEST(HostLifetime, EndingTheHostClosesProjectsAndRestoresThePresenter) {
  auto previous = SetMessageBoxPresenter([](WStringView, WStringView, UINT) { return 42; });
  auto project = MakeCom<FakeProject>();
  {
    CHost host;
    host.SetQuiet(true);
    host.Solution()->AddProject(project.Get());
    project->canClose = FALSE;  // closed regardless
    EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", MB_OK), IDOK);
  }
  EXPECT_EQ(project->closes, 1);
  EXPECT_TRUE(project->sinks.empty());
  EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", MB_OK), 42);
  SetMessageBoxPresenter(previous);
}

TEST_F(HostTest, ExplorerRecordsEventsAndKeepsOneSelection) {
  host.Solution()->AddProject(tables.Get());
  host.Solution()->AddProject(views.Get());
  tables->Sink()->OnItemAdded(VSITEMID_ROOT, VSITEMID_NIL, 5);
  views->Sink()->OnPropertyChanged(7, VSHPROPID_Caption, 0);
  using Kind = HierarchyEvent::Kind;
  EXPECT_EQ(host.HierarchyEvents(),
            (std::vector<HierarchyEvent>{
                {.kind = Kind::ItemAdded, .hierarchy = tables.Get(), .item = 5,
                 .parent = VSITEMID_ROOT},
                {.kind = Kind::PropertyChanged, .hierarchy = views.Get(), .item = 7,
                 .property = VSHPROPID_Caption}}));

  IVsUIHierarchyWindow* window = host.HierarchyWindow();
  window->ExpandItem(tables.Get(), 5, EXPF_SelectItem);
  window->ExpandItem(views.Get(), 7, EXPF_SelectItem);
  window->ExpandItem(tables.Get(), 6, EXPF_ExpandFolder);
  EXPECT_TRUE(Selected(tables.Get()).empty());
  EXPECT_EQ(Selected(views.Get()), std::vector<VSITEMID>{7});
  EXPECT_TRUE(host.IsExpanded(tables.Get(), 6));

  // A deleted item leaves the selection; a closed project leaves the window.
  views->Sink()->OnItemDeleted(7);
  EXPECT_TRUE(Selected(views.Get()).empty());
  host.Solution()->CloseSolutionElement(0, tables.Get(), 0);
  EXPECT_FALSE(host.IsExpanded(tables.Get(), 6));
  EXPECT_EQ(window->ExpandItem(tables.Get(), 5, EXPF_SelectItem), E_INVALIDARG);
}

TEST_F(HostTest, TheSelectionMonitorReportsOneOrSeveralItems) {
  host.Solution()->AddProject(tables.Get());
  host.Solution()->AddProject(views.Get());
  auto monitor = Service<IVsMonitorSelection>(SID_SVsShellMonitorSelection);
  ComPtr<IVsHierarchy> hierarchy;
  ComPtr<IVsMultiItemSelect> multi;
  VSITEMID item = 0;
  ASSERT_EQ(monitor->GetCurrentSelection(hierarchy.Put(), &item, multi.Put()), S_OK);
  EXPECT_EQ(item, VSITEMID_NIL);
  EXPECT_FALSE(hierarchy || multi);

  IVsUIHierarchyWindow* window = host.HierarchyWindow();
  window->ExpandItem(tables.Get(), 5, EXPF_SelectItem);
  ASSERT_EQ(monitor->GetCurrentSelection(hierarchy.Put(), &item, multi.Put()), S_OK);
  EXPECT_EQ(hierarchy.Get(), tables.Get());
  EXPECT_EQ(item, 5u);
  EXPECT_FALSE(multi);

  window->ExpandItem(views.Get(), 7, EXPF_AddSelectItem);
  window->ExpandItem(views.Get(), 7, EXPF_AddSelectItem);
  ASSERT_EQ(monitor->GetCurrentSelection(hierarchy.Put(), &item, multi.Put()), S_OK);
  EXPECT_EQ(item, VSITEMID_SELECTION);
  EXPECT_FALSE(hierarchy);
  ASSERT_TRUE(multi);
  ULONG count = 0;
  BOOL single = TRUE;
  ASSERT_EQ(multi->GetSelectionInfo(&count, &single), S_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_FALSE(single);
  VSITEMSELECTION items[2] = {};
  ASSERT_EQ(multi->GetSelectedItems(0, 2, items), S_OK);
  EXPECT_EQ(items[0].pHier, tables.Get());
  EXPECT_EQ(items[1].itemid, 7u);
  for (VSITEMSELECTION& entry : items) entry.pHier->Release();

  // Re-reading a project's items loses the selection in it.
  views->Sink()->OnInvalidateItems(VSITEMID_ROOT);
  EXPECT_TRUE(Selected(views.Get()).empty());
  EXPECT_EQ(Selected(tables.Get()), std::vector<VSITEMID>{5});
}

// Makes projects of one type the way a package's factory would: counts
// the requests and hands out a fake project.
class FakeFactory final : public ComObject<IVsProjectFactory> {
 public:
  HRESULT CanCreateProject(const char16_t*, DWORD, BOOL* can) override {
    *can = TRUE;
    return S_OK;
  }
  HRESULT CreateProject(const char16_t* path, const char16_t*, const char16_t*, DWORD flags,
                        IVsHierarchy** project, BOOL*) override {
    requests.push_back(ToUtf8(path) + (flags & CPF_CLONEFILE ? " new" : " open"));
    return ComPtr<IVsHierarchy>(MakeCom<FakeProject>(kTableType)).CopyTo(project);
  }
  std::vector<std::string> requests;
};

TEST_F(HostTest, TheSolutionMakesProjectsThroughTheRegisteredFactory) {
  IVsSolution* solution = host.Solution();
  ComPtr<IVsHierarchy> project;
  EXPECT_EQ(solution->CreateProject(kTableType, u"/x/P.kv7p", u"", u"", CPF_OPENFILE,
                                    project.Put()),
            E_NOINTERFACE);
  auto types = Service<IVsRegisterProjectTypes>(SID_SVsRegisterProjectTypes);
  auto factory = MakeCom<FakeFactory>();
  DWORD cookie = 0;
  ASSERT_EQ(types->RegisterProjectType(kTableType, factory.Get(), &cookie), S_OK);
  EXPECT_EQ(solution->CreateSolution(u"/x", u"S", 0), S_OK);
  ASSERT_EQ(solution->CreateProject(kTableType, u"/x/P.kv7p", u"", u"", CPF_OPENFILE,
                                    project.Put()),
            S_OK);
  EXPECT_EQ(host.Projects(), std::vector<IVsHierarchy*>{project.Get()});
  EXPECT_EQ(factory->requests, std::vector<std::string>{"/x/P.kv7p open"});
  EXPECT_EQ(solution->CreateSolution(u"/y", u"T", 0), VS_E_SOLUTIONALREADYOPEN);

  test::WriteFile(Path("templates/Group/T.kv7p"), "<KV7Project/>");
  test::ScopedEnv templates("KV7_TEMPLATES", Path("templates").c_str());
  CComBSTR file;
  EXPECT_EQ(solution->GetProjectTemplateFile(u"Group\\T.kv7p", file.Put()), S_OK);
  EXPECT_EQ(ToUtf8(file.ToString()), Path("templates/Group/T.kv7p").string());
  EXPECT_EQ(solution->GetProjectTemplateFile(u"Group\\None.kv7p", file.Put()),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(types->UnregisterProjectType(cookie), S_OK);
  EXPECT_EQ(types->UnregisterProjectType(cookie), E_INVALIDARG);
}

TEST_F(HostTest, EditsAreRefusedForReadOnlyFiles) {
  test::WriteFile(Path("open.sql"), "x");
  test::WriteFile(Path("locked.sql"), "x");
  WString open = FromUtf8(Path("open.sql").string()), locked = FromUtf8(Path("locked.sql").string());
  WString missing = FromUtf8(Path("new.sql").string());
  ASSERT_EQ(SetFileAttributes(locked, FILE_ATTRIBUTE_READONLY), S_OK);
  auto queryEdit = Service<IVsQueryEditQuerySave2>(SID_SVsQueryEditQuerySave);
  auto verdict = [&](std::vector<const char16_t*> paths) {
    DWORD answer = 99;
    queryEdit->QueryEditFiles(0, ULONG(paths.size()), paths.data(), &answer);
    return answer;
  };
  EXPECT_EQ(verdict({open.c_str(), missing.c_str()}), QER_EditOK);
  EXPECT_EQ(verdict({open.c_str(), locked.c_str()}), QER_NoEdit_UserCanceled);
  host.RefuseEdits(true);
  EXPECT_EQ(verdict({open.c_str()}), QER_NoEdit_UserCanceled);
}

TEST_F(HostTest, IgnoredFilesNestAndRenamesMoveOpenDocuments) {
  auto changes = Service<IVsFileChangeEx>(SID_SVsFileChangeEx);
  for (BOOL ignore : {TRUE, TRUE, FALSE}) changes->IgnoreFile(u"/p/a.sql", ignore);
  EXPECT_TRUE(host.IsFileIgnored(u"/p/a.sql"));
  changes->IgnoreFile(u"/p/a.sql", FALSE);
  EXPECT_FALSE(host.IsFileIgnored(u"/p/a.sql"));

  host.OpenDocument(u"/p/a.sql");
  Service<IVsRunningDocumentTable>(SID_SVsRunningDocumentTable)
      ->RenameDocument(u"/p/a.sql", u"/p/b.sql", tables.Get(), 3);
  EXPECT_FALSE(host.IsDocumentOpen(u"/p/a.sql"));
  EXPECT_TRUE(host.IsDocumentOpen(u"/p/b.sql"));
  EXPECT_EQ(host.DocumentRenames().size(), 1u);
}

TEST_F(HostTest, MessageBoxesAnswerFromTheScriptThenByDefault) {
  host.QueueMessageBoxAnswer(IDNO);
  host.QueueMessageBoxAnswer(IDCANCEL);
  for (int expected : {IDNO, IDCANCEL, IDYES})
    EXPECT_EQ(MessageBoxW(nullptr, u"Save?", u"kv7", MB_YESNO), expected);

  LONG answer = 0;
  Service<IVsUIShell>(SID_SVsUIShell)
      ->ShowMessageBox(nullptr, u"Done", OLEMSGBUTTON_OKCANCEL, OLEMSGICON_WARNING, &answer);
  EXPECT_EQ(answer, IDOK);
  ASSERT_EQ(host.MessageBoxes().size(), 4u);
  EXPECT_EQ(host.MessageBoxes()[0].answer, IDNO);
  EXPECT_EQ(host.MessageBoxes()[3].caption, u"kv7");
  EXPECT_EQ(host.MessageBoxes()[3].style, MB_OKCANCEL | MB_ICONWARNING);
}

TEST_F(HostTest, ErrorReportsShowTheThreadsErrorInformation) {
  auto shell = Service<IVsUIShell>(SID_SVsUIShell);
  host.SetQuiet(false);
  testing::internal::CaptureStderr();
  SetErrorInfo(E_FAIL, u"The project file is damaged.");
  shell->ReportErrorInfo(E_FAIL);
  shell->ReportErrorInfo(E_ACCESSDENIED);  // the first report used up the information
  shell->ReportErrorInfo(S_OK);
  MessageBoxW(nullptr, u"Saved.", u"kv7", MB_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kv7: The project file is damaged.\nkv7: Access is denied.\nkv7: Saved.\n");
  EXPECT_EQ(host.ErrorReports().size(), 2u);
}

TEST_F(HostTest, UnsavedDocumentsAreSavedOnRequestAndListChoicesFollowTheScript) {
  auto documents = Service<IVsRunningDocumentTable>(SID_SVsRunningDocumentTable);
  const WString path = FromUtf8(Path("a.sql").string());
  BOOL dirty = TRUE;
  EXPECT_EQ(documents->IsDocumentDirty(path.c_str(), &dirty), S_FALSE);
  EXPECT_FALSE(dirty);
  host.EditDocument(path, u"select 1;\n");
  EXPECT_EQ(documents->IsDocumentDirty(path.c_str(), &dirty), S_OK);
  EXPECT_TRUE(dirty);
  ASSERT_EQ(documents->SaveDocument(path.c_str()), S_OK);
  EXPECT_EQ(test::ReadFile(Path("a.sql")), "select 1;\n");
  EXPECT_EQ(documents->IsDocumentDirty(path.c_str(), &dirty), S_OK);
  EXPECT_FALSE(dirty);
  EXPECT_EQ(documents->SaveDocument(u"/nowhere/open.sql"), E_INVALIDARG);

  auto options = Service<IVsEnvironmentOptions>(SID_SVsEnvironmentOptions);
  VARIANT value;
  ASSERT_EQ(options->GetOption(u"Environment", u"ProjectsAndSolution", u"OnRunOrPreview", &value),
            S_OK);
  EXPECT_EQ(value.lVal(), kSaveChangesAlways);
  EXPECT_TRUE(host.SetEnvironmentOption(u"Environment", u"ProjectsAndSolution",
                                        u"OnRunOrPreview", kSaveChangesNever));
  EXPECT_FALSE(host.SetEnvironmentOption(u"Environment", u"Fonts", u"Size", 9));
  EXPECT_EQ(options->GetOption(u"Environment", u"Fonts", u"Size", &value), E_INVALIDARG);

  auto shell = Service<IVsUIShell>(SID_SVsUIShell);
  const char16_t* entries[] = {u"Debug|Win32", u"Release|Win32"};
  host.QueueListChoice(u"Release|Win32");
  host.QueueListChoice(u"Gone|Win32");
  ULONG chosen = 0;
  EXPECT_EQ(shell->ChooseFromList(u"Which?", 2, entries, &chosen), S_OK);
  EXPECT_EQ(chosen, 1u);
  chosen = 0;
  EXPECT_EQ(shell->ChooseFromList(u"Which?", 2, entries, &chosen), S_OK);
  EXPECT_EQ(chosen, 0u) << "a choice the list lacks keeps the start";
  chosen = 2;
  EXPECT_EQ(shell->ChooseFromList(u"Which?", 2, entries, &chosen), S_FALSE);
}

TEST_F(HostTest, TheDispatcherRunsPostedWorkInOrderUntilFinishedOrDry) {
  IDispatcher* dispatcher = GetUIDispatcher();
  ASSERT_NE(dispatcher, nullptr);
  std::vector<int> ran;
  std::thread worker([&] {
    for (int i = 1; i <= 3; ++i) dispatcher->Post([&ran, i] { ran.push_back(i); });
  });
  // Work in flight keeps the loop waiting; finished ends it.
  EXPECT_TRUE(host.RunDispatcher([&] { return ran.size() == 3; }, [] { return true; }));
  worker.join();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
  // Nothing queued and nothing in flight: the loop ends without finishing.
  EXPECT_FALSE(host.RunDispatcher([] { return false; }, [] { return false; }));
  // Work posted by work runs in the same loop.
  dispatcher->Post([&] { dispatcher->Post([&] { ran.push_back(4); }); });
  EXPECT_FALSE(host.RunDispatcher([] { return false; }, [] { return false; }));
  EXPECT_EQ(ran.back(), 4);
}

}  // namespace
}  // namespace kv7::host
