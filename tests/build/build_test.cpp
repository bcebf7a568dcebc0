// The build on a real SQLite database: which items deploy and in which
// order, one task at a time, what the record and the build pane say, and
// how failures, exclusions, single-item compiles and cleans behave.
#include "kv7/build/build_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "kv7/build/configurations.h"
#include "kv7/document/built_files.h"
#include "kv7/helper/helper.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/util/path_names.h"
#include "kv7/util/ui_strings.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

// Counts the build-begin and build-end calls a configuration makes.
class EndCounter final : public ComObject<IVsBuildStatusCallback> {
 public:
  int ends = 0;
  bool success = false;
  HRESULT BuildBegin(BOOL* go) override {
    *go = TRUE;
    return S_OK;
  }
  HRESULT BuildEnd(BOOL succeeded) override {
    ++ends;
    success = succeeded != FALSE;
    return S_OK;
  }
  HRESULT Tick(BOOL* go) override { return BuildBegin(go); }
};

class BuildTest : public ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    project_ = Create(Path("p"), u"Shop.kv7p");
    ASSERT_NE(project_, nullptr);
    cfg_ = project_->GetActiveProjectConfig();
    ConnectSqlite(cfg_, Path("p/t.db").string());
    ends_ = MakeCom<EndCounter>();
    ASSERT_EQ(cfg_->AdviseBuildStatusCallback(ends_.Get(), &cookie_), S_OK);
  }
  void TearDown() override {
    (void)cfg_->UnadviseBuildStatusCallback(cookie_);
    ProjectFixture::TearDown();
  }

  // Writes an item's file in `folder` (made when missing) and adds it.
  CFileVwFileNode* Item(const std::string& folder, const std::string& name,
                        const std::string& text) {
    CFileVwProjNode* root = project_->GetProjectNode();
    CFileVwFolderNode* container = folder.empty() ? root : project_->FindFolder(W(folder));
    if (container == nullptr) {
      EXPECT_EQ(root->CreateAndAddFolder(root, W(folder).c_str(), &container), S_OK);
    }
    std::string directory = folder;
    std::replace(directory.begin(), directory.end(), '\\', '/');
    const auto path = Path("p/" + (folder.empty() ? "" : directory + "/") + name);
    WriteFile(path, text);
    CFileVwFileNode* node = nullptr;
    EXPECT_EQ(root->AddExistingFile(container, W(path), &node), S_OK);
    return node;
  }
  // Makes the file look changed since its last build.
  static void Touch(CFileVwFileNode* node) {
    std::filesystem::last_write_time(
        ToUtf8(node->GetFullPath()),
        std::filesystem::file_time_type::clock::now() + std::chrono::seconds(5));
  }

  // Runs the message loop until the build ends; false when it ran dry.
  // Checks on every step that at most one task runs.
  bool Finish() {
    return host_.RunDispatcher(
        [this] {
          EXPECT_LE(InFlight(), 1u);
          return !project_->IsThereWorkToDo() && !project_->IsCompileInProgress() &&
                 project_->GetBuildingConfiguration() == nullptr;
        },
        [this] { return project_->IsCompileInProgress(); });
  }
  size_t InFlight() const { return project_->IsCompileInProgress() ? 1 : 0; }
  bool Build(DWORD options = 0) {
    host_.ClearTaskReports();
    EXPECT_EQ(cfg_->StartBuild(nullptr, options), S_OK);
    return Finish();
  }

  // The object names of the reported deployments, in order.
  std::vector<std::string> Reported() const {
    std::vector<std::string> names;
    for (const KV7TaskReport& report : host_.TaskReports())
      names.push_back(ToUtf8(report.objectName) + (report.status == 1 ? "" : "!") +
                      (report.unchanged ? "=" : ""));
    return names;
  }
  bool Built(CFileVwFileNode* node) {
    WString time;
    return project_->GetBuiltFiles()->GetBuiltTime(cfg_->GetName(), node->GetFullPath(),
                                                   &time) == S_OK;
  }
  std::string Pane() const {
    const WString* text = host_.PaneText(GUID_BuildOutputWindowPane);
    return text ? ToUtf8(*text) : "";
  }

  CMyProjectHierarchy* project_ = nullptr;
  CMyProjectCfg* cfg_ = nullptr;
  ComPtr<EndCounter> ends_;
  DWORD cookie_ = 0;
};

TEST_F(BuildTest, RunOrderDecidesWhatDeploysOneTaskAtATimeAndTheRecordFollows) {
  CFileVwFileNode* a = Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  CFileVwFileNode* v = Item("Views", "v.kv7vw", "CREATE VIEW v AS SELECT id FROM a;\n");
  CFileVwFileNode* i = Item("Indexes", "i.kv7ind", "CREATE INDEX i ON a (id);\n");
  CFileVwFileNode* extra = Item("", "extra.kv7tbl", "CREATE TABLE extra (x);\n");
  CRunOrder* order = cfg_->GetRunOrder();
  order->Add(u"Tables\\a.kv7tbl");
  order->Add(u"Indexes\\i.kv7ind");
  order->Add(u"Views\\v.kv7vw");
  order->Add(u"Tables\\gone.kv7tbl");

  ASSERT_TRUE(Build());
  EXPECT_EQ(Reported(), (std::vector<std::string>{"a", "i", "v"}));
  EXPECT_EQ(ends_->ends, 1);
  EXPECT_TRUE(ends_->success);
  EXPECT_TRUE(Built(a) && Built(i) && Built(v));
  EXPECT_FALSE(Built(extra));
  EXPECT_EQ(order->GetCount(), 3) << "the entry naming no item is dropped";
  EXPECT_NE(Pane().find(ToUtf8(LoadUIString(1046))), std::string::npos);

  // Nothing changed: every item passes at once and the build ends without
  // a task.
  ends_->ends = 0;
  host_.ClearTaskReports();
  ASSERT_EQ(cfg_->StartBuild(nullptr, 0), S_OK);
  EXPECT_EQ(ends_->ends, 1);
  EXPECT_FALSE(project_->IsCompileInProgress());
  EXPECT_TRUE(Reported().empty());
  EXPECT_NE(Pane().find(ToUtf8(FormatUIString(1162, u"v.kv7vw"))), std::string::npos);

  // One item changed: the unchanged one before it lets it start at once.
  Touch(i);
  ends_->ends = 0;
  host_.ClearTaskReports();
  ASSERT_EQ(cfg_->StartBuild(nullptr, 0), S_OK);
  EXPECT_TRUE(project_->IsCompileInProgress()) << "i runs without waiting for a";
  EXPECT_EQ(ends_->ends, 0);
  ASSERT_TRUE(Finish());
  EXPECT_EQ(Reported(), (std::vector<std::string>{"i="})) << "its text is what was deployed";
  EXPECT_EQ(ends_->ends, 1);
}

TEST_F(BuildTest, WithoutRunOrderEveryItemDeploysInTreeOrderSubfoldersFirst) {
  Item("Tables", "t1.kv7tbl", "CREATE TABLE t1 (x);\n");
  CFileVwFolderNode* tables = project_->FindFolder(u"Tables");
  CFileVwFolderNode* sub = nullptr;
  ASSERT_EQ(project_->GetProjectNode()->CreateAndAddFolder(tables, u"Sub", &sub), S_OK);
  Item("Tables\\Sub", "t2.kv7tbl", "CREATE TABLE t2 (x);\n");
  Item("Tables", "t3.kv7tbl", "CREATE TABLE t3 (x);\n");
  Item("Views", "w.kv7vw", "CREATE VIEW w AS SELECT * FROM t2;\n");
  cfg_->GetRunOrder()->Add(u"Tables\\missing.kv7tbl");

  std::vector<KV7PlannedItem> plan;
  ASSERT_EQ(CKV7BuildManager().Plan(project_, cfg_, false, plan), S_OK);
  ASSERT_TRUE(Build());
  EXPECT_EQ(Reported(), (std::vector<std::string>{"t1", "t2", "t3", "w"}));
  ASSERT_EQ(plan.size(), 4u);
  EXPECT_EQ(ToUtf8(FileNameOf(plan[1].node->GetFullPath())), "t2.kv7tbl");
  EXPECT_EQ(plan[1].decision, CeKV7BuildDecision::kNeverBuilt);
  EXPECT_TRUE(Dirty(project_)) << "the emptied run order needs saving";
}

TEST_F(BuildTest, AFailedItemEndsTheBuildAndIsNotRecorded) {
  CFileVwFileNode* a = Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  CFileVwFileNode* b = Item("Tables", "b.kv7tbl", "CREATE TABLE b (id INTEGER);\n@\nINSERT INTO nowhere VALUES (1);\n");
  CFileVwFileNode* c = Item("Tables", "c.kv7tbl", "CREATE TABLE c (id INTEGER);\n");
  EXPECT_TRUE(Build());
  EXPECT_EQ(Reported(), (std::vector<std::string>{"a", "b!"}));
  EXPECT_EQ(ends_->ends, 1);
  EXPECT_FALSE(ends_->success);
  EXPECT_FALSE(project_->GetBuildSucceeded());
  EXPECT_TRUE(Built(a));
  EXPECT_FALSE(Built(b));
  EXPECT_FALSE(Built(c));
  EXPECT_NE(Pane().find(ToUtf8(FormatUIString(1156, u"b.kv7tbl"))), std::string::npos);
  EXPECT_FALSE(project_->IsThereWorkToDo()) << "the waiting list went with the failure";
}

TEST_F(BuildTest, AnExcludedItemDeploysOnlyWhenCompiledAlone) {
  Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  CFileVwFileNode* b = Item("Tables", "b.kv7tbl", "CREATE TABLE b (id INTEGER);\n");
  auto* object = dynamic_cast<CKV7ObjectFileNode*>(b);
  ASSERT_EQ(object->EditSetting(cfg_->GetName(), CeKV7Setting::kExcludeFromBuild, u"true"), S_OK);
  ASSERT_TRUE(Build());
  EXPECT_EQ(Reported(), (std::vector<std::string>{"a"}));

  host_.ClearTaskReports();
  host_.QueueListChoice(cfg_->GetName());
  ASSERT_EQ(b->Compile(false, nullptr, nullptr), S_OK);
  ASSERT_TRUE(Finish());
  EXPECT_EQ(Reported(), (std::vector<std::string>{"b"}));
  EXPECT_TRUE(Built(b));
  WString cfgName = cfg_->GetName();
  kv7::ReplaceAll(cfgName, u"|", u" ");
  EXPECT_NE(Pane().find(ToUtf8(FormatUIStringInserts(1052, nullptr, {u"b.kv7tbl", cfgName}))),
            std::string::npos);

  // Compiled alone synchronously, the task's status and result come back.
  LONG status = 0;
  WString result;
  host_.QueueListChoice(cfg_->GetName());
  ASSERT_EQ(b->Compile(true, &status, &result), S_OK);
  EXPECT_EQ(status, 1);
  EXPECT_FALSE(result.empty());
}

TEST_F(BuildTest, ACompileDuringABuildWaitsAtTheEndOfItsList) {
  Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  Item("Tables", "b.kv7tbl", "CREATE TABLE b (id INTEGER);\n");
  CFileVwFileNode* c = Item("", "c.kv7tbl", "CREATE TABLE c (id INTEGER);\n");
  cfg_->GetRunOrder()->Add(u"Tables\\a.kv7tbl");
  cfg_->GetRunOrder()->Add(u"Tables\\b.kv7tbl");
  host_.ClearTaskReports();
  ASSERT_EQ(cfg_->StartBuild(nullptr, 0), S_OK);
  ASSERT_TRUE(project_->IsCompileInProgress());
  host_.QueueListChoice(cfg_->GetName());
  ASSERT_EQ(c->Compile(false, nullptr, nullptr), S_OK);
  ASSERT_TRUE(Finish());
  EXPECT_EQ(Reported(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(ends_->ends, 1) << "build-end comes once, after the compiled item";
}

TEST_F(BuildTest, CleanAndRebuildDeployEveryItemAgain) {
  CFileVwFileNode* a = Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  Item("Scripts", "seed.kv7", "INSERT INTO a VALUES (1);\n");
  ASSERT_TRUE(Build());
  ASSERT_TRUE(Built(a));

  ASSERT_EQ(cfg_->StartClean(nullptr, 0), S_OK);
  EXPECT_FALSE(Built(a));
  // After a clean the database still holds the items as their texts say.
  ASSERT_TRUE(Build());
  EXPECT_EQ(Reported(), (std::vector<std::string>{"a=", "seed="}));
  // A rebuild runs them again, tables aside: a table is only replaced when
  // its text changed.
  ASSERT_TRUE(Build(kBuildOptionRebuild));
  EXPECT_EQ(Reported(), (std::vector<std::string>{"a=", "seed"}));
}

TEST_F(BuildTest, WithoutAUsableConnectionTheBuildEndsAtOnceAsFailed) {
  Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  ASSERT_EQ(CCommandHelperHook().RemoveConnection(u"t"), S_OK);
  ASSERT_EQ(cfg_->StartBuild(nullptr, 0), KV7_E_CONNECTION_NOT_FOUND);
  EXPECT_EQ(ends_->ends, 1);
  EXPECT_FALSE(ends_->success);
  ASSERT_FALSE(host_.MessageBoxes().empty());
  EXPECT_EQ(host_.MessageBoxes().back().text, LoadUIString(1257));

  CMyProjectCfg* release = project_->GetCfgProvider()->FindCfg(u"Release|Win32");
  ASSERT_NE(release, nullptr);
  ASSERT_EQ(release->StartBuild(nullptr, 0), S_OK);
  EXPECT_EQ(host_.MessageBoxes().back().text, LoadUIString(1053));
  EXPECT_FALSE(project_->IsCompileInProgress());
}

TEST_F(BuildTest, AChangedOpenDocumentIsSavedBeforeItDeploysUnlessTheUserDeclines) {
  CFileVwFileNode* a = Item("Tables", "a.kv7tbl", "CREATE TABLE a (id INTEGER);\n");
  ASSERT_TRUE(Build());
  host_.EditDocument(a->GetFullPath(), u"CREATE TABLE a (id INTEGER, name TEXT);\n");
  ASSERT_TRUE(host_.SetEnvironmentOption(u"Environment", u"ProjectsAndSolution",
                                         u"OnRunOrPreview", kSaveChangesPrompt));
  host_.QueueMessageBoxAnswer(IDNO);
  ASSERT_TRUE(Build());
  EXPECT_TRUE(Reported().empty()) << "declined: the file is unchanged";

  host_.QueueMessageBoxAnswer(IDYES);
  ASSERT_TRUE(Build());
  EXPECT_EQ(Reported(), (std::vector<std::string>{"a"}));
  EXPECT_EQ(ReadFile(Path("p/Tables/a.kv7tbl")), "CREATE TABLE a (id INTEGER, name TEXT);\n");
}

}  // namespace
}  // namespace kv7::test
