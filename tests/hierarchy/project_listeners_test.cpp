// Project listeners hear what happens to a project in registration order;
// the IDE's document tracking is asked before files change and told after.
#include <gtest/gtest.h>

#include "kv7/hierarchy/project_listeners.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

// Writes every notification into a shared log, tagged with its name.
class Listener final : public ComObject<IKV7ProjectListener> {
 public:
  Listener(std::string tag, std::vector<std::string>* log) : tag_(std::move(tag)), log_(log) {}

  HRESULT FileAdded(const char16_t* path) override { return Note("FileAdded", path); }
  HRESULT FileDeleted(const char16_t* path) override { return Note("FileDeleted", path); }
  HRESULT FileRenamed(const char16_t* from, const char16_t* to) override {
    return Note("FileRenamed", from, to);
  }
  HRESULT FolderAdded(const char16_t* path) override { return Note("FolderAdded", path); }
  HRESULT FolderDeleted(const char16_t* path) override { return Note("FolderDeleted", path); }
  HRESULT FolderRenamed(const char16_t* from, const char16_t* to) override {
    return Note("FolderRenamed", from, to);
  }
  HRESULT ProjectAdded(const char16_t* name) override { return Note("ProjectAdded", name); }
  HRESULT ProjectDeleted(const char16_t* name) override { return Note("ProjectDeleted", name); }
  HRESULT ProjectRenamed(const char16_t* from, const char16_t* to) override {
    return Note("ProjectRenamed", from, to);
  }
  HRESULT ShuttingDown() override { return Note("ShuttingDown"); }
  HRESULT TrackingDOMChanged() override { return Note("TrackingDOMChanged"); }
  HRESULT SetTrackingDOM(IXMLDOMDocument* document) override {
    return Note(document ? "SetTrackingDOM" : "SetTrackingDOM(null)");
  }

 private:
  HRESULT Note(const char* what, const char16_t* first = nullptr,
               const char16_t* second = nullptr) {
    std::string line = tag_ + " " + what;
    if (first) line += " " + FileName(first);
    if (second) line += " " + FileName(second);
    log_->push_back(line);
    return S_OK;
  }
  static std::string FileName(const char16_t* path) {
    std::string text = ToUtf8(path);
    return text.substr(text.rfind('/') + 1);
  }

  std::string tag_;
  std::vector<std::string>* log_;
};

using ProjectListenersTest = ProjectFixture;

TEST_F(ProjectListenersTest, ListenersHearEveryChangeInRegistrationOrder) {
  CMyProjectHierarchy* project = Create(Path("p"), u"P.kv7p");
  ASSERT_NE(project, nullptr);
  std::vector<std::string> log;
  auto first = MakeCom<Listener>("a", &log);
  auto second = MakeCom<Listener>("b", &log);
  ASSERT_EQ(project->RegisterProjectListener(first.Get()), S_OK);
  ASSERT_EQ(project->RegisterProjectListener(second.Get()), S_OK);
  ASSERT_EQ(project->RegisterProjectListener(second.Get()), S_OK);
  // Registered twice, unregistered once: still told once per change.
  ASSERT_EQ(project->UnRegisterProjectListener(second.Get()), S_OK);
  auto stranger = MakeCom<Listener>("x", &log);
  EXPECT_EQ(project->UnRegisterProjectListener(stranger.Get()), S_OK);
  EXPECT_EQ(log, (std::vector<std::string>{"a SetTrackingDOM", "b SetTrackingDOM",
                                           "b SetTrackingDOM"}));
  log.clear();

  CFileVwProjNode* root = project->GetProjectNode();
  CFileVwFolderNode* folder = nullptr;
  ASSERT_EQ(root->CreateAndAddFolder(root, u"Data", &folder), S_OK);
  CFileVwFileNode* item = AddFile(project, folder, "p/Data/t.kv7tbl");
  ASSERT_EQ(Rename(project, item, u"u.kv7tbl"), S_OK);
  ASSERT_EQ(Rename(project, folder, u"Core"), S_OK);
  ASSERT_EQ(project->DeleteItem(DELITEMOP_RemoveFromProject, item->GetVsItemID()), S_OK);
  ASSERT_EQ(project->DeleteItem(DELITEMOP_RemoveFromProject, folder->GetVsItemID()), S_OK);
  ASSERT_EQ(project->put_Name(u"Q"), S_OK);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "a FolderAdded Data", "b FolderAdded Data",
                     "a FileRenamed t.kv7tbl u.kv7tbl", "b FileRenamed t.kv7tbl u.kv7tbl",
                     "a FolderRenamed Data Core", "b FolderRenamed Data Core",
                     "a FileDeleted u.kv7tbl", "b FileDeleted u.kv7tbl",
                     "a FolderDeleted Core", "b FolderDeleted Core",
                     "a ProjectRenamed P Q", "b ProjectRenamed P Q"}));
  log.clear();

  // Closing tells each that the project went, then that it shuts down, and
  // forgets them.
  ASSERT_EQ(project->Close(), S_OK);
  EXPECT_EQ(log, (std::vector<std::string>{"a ProjectDeleted Q", "b ProjectDeleted Q",
                                           "a ShuttingDown", "b ShuttingDown"}));
}

TEST_F(ProjectListenersTest, DocumentTrackingIsAskedFirstAndCanRefuse) {
  CMyProjectHierarchy* project = Create(Path("p"), u"P.kv7p");
  ASSERT_NE(project, nullptr);
  CFileVwProjNode* root = project->GetProjectNode();
  WriteFile(Path("p/b.kv7tbl"), "--\n");
  CFileVwFileNode* a = AddFile(project, root, "p/a.kv7tbl");
  ASSERT_EQ(Rename(project, a, u"c.kv7tbl"), S_OK);
  ASSERT_EQ(project->DeleteItem(DELITEMOP_RemoveFromProject, a->GetVsItemID()), S_OK);
  using Kind = host::TrackedChange::Kind;
  const WString pa = W(Path("p/a.kv7tbl")), pc = W(Path("p/c.kv7tbl"));
  EXPECT_EQ(host_.TrackedChanges(),
            (std::vector<host::TrackedChange>{{Kind::QueryAdd, pa, u"", 0},
                                              {Kind::Added, pa, u"", 0},
                                              {Kind::QueryRename, pa, pc, 0},
                                              {Kind::Renamed, pa, pc, 0},
                                              {Kind::QueryRemove, pc, u"", 0},
                                              {Kind::Removed, pc, u"", 0}}));

  // Refused, nothing changes: no item, no rename on disk, no removal.
  CFileVwFileNode* c = nullptr;
  ASSERT_EQ(root->AddExistingFile(root, pc, &c), S_OK);
  host_.RefuseTrackedChanges(true);
  EXPECT_EQ(root->AddExistingFile(root, W(Path("p/b.kv7tbl"))), E_ABORT);
  EXPECT_EQ(root->FindFile(W(Path("p/b.kv7tbl"))), nullptr);
  EXPECT_EQ(Rename(project, c, u"d.kv7tbl"), E_ABORT);
  EXPECT_TRUE(std::filesystem::exists(Path("p/c.kv7tbl")));
  EXPECT_EQ(project->DeleteItem(DELITEMOP_RemoveFromProject, c->GetVsItemID()), E_ABORT);
  EXPECT_NE(root->FindFile(pc), nullptr);
  host_.RefuseTrackedChanges(false);

  // Loading a project asks nothing: the files are in it already.
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  const size_t asked = host_.TrackedChanges().size();
  ASSERT_NE(Open(Path("p/P.kv7p")), nullptr);
  EXPECT_EQ(host_.TrackedChanges().size(), asked);
}

}  // namespace
}  // namespace kv7::test
