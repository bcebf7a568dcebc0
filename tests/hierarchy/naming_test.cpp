// Names and places of new items, lookups by folder path and canonical name,
// renames that move paths, and the add-item flow with its refusals.
#include <gtest/gtest.h>

#include <chrono>

#include "kv7/document/folders.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/util/ui_strings.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

// Records the file notifications a project sends, by file name.
class FileListener final : public ComObject<IKV7ProjectListener> {
 public:
  std::vector<std::string> heard;

  HRESULT FileAdded(const char16_t* path) override { return Note("added " + Name(path)); }
  HRESULT FileRenamed(const char16_t* from, const char16_t* to) override {
    return Note("renamed " + Name(from) + " " + Name(to));
  }
  HRESULT FileDeleted(const char16_t*) override { return S_OK; }
  HRESULT FolderAdded(const char16_t*) override { return S_OK; }
  HRESULT FolderDeleted(const char16_t*) override { return S_OK; }
  HRESULT FolderRenamed(const char16_t*, const char16_t*) override { return S_OK; }
  HRESULT ProjectAdded(const char16_t*) override { return S_OK; }
  HRESULT ProjectDeleted(const char16_t*) override { return S_OK; }
  HRESULT ProjectRenamed(const char16_t*, const char16_t*) override { return S_OK; }
  HRESULT ShuttingDown() override { return S_OK; }
  HRESULT TrackingDOMChanged() override { return S_OK; }
  HRESULT SetTrackingDOM(IXMLDOMDocument*) override { return S_OK; }

 private:
  HRESULT Note(std::string line) {
    heard.push_back(std::move(line));
    return S_OK;
  }
  static std::string Name(const char16_t* path) {
    std::string text = ToUtf8(path);
    return text.substr(text.rfind('/') + 1);
  }
};

class NamingTest : public ProjectFixture {
 protected:
  // A new project "P" in p/ with its default folders, known to the IDE's
  // solution (so that its items can be selected) and listened to.
  void SetUp() override {
    ProjectFixture::SetUp();
    project_ = Create(Path("p"), u"P.kv7p");
    ASSERT_NE(project_, nullptr);
    ASSERT_EQ(host_.Solution()->AddProject(project_), S_OK);
    root_ = project_->GetProjectNode();
    listener_ = MakeCom<FileListener>();
    ASSERT_EQ(project_->RegisterProjectListener(listener_.Get()), S_OK);
  }

  CFileVwFolderNode* Folder(const char16_t* path) { return project_->FindFolder(path); }
  // Adds an existing (or missing) file to a container as loading would.
  CFileVwFileNode* AddFile(CFileVwFolderNode* container, const std::string& path,
                           bool onDisk = true) {
    return ProjectFixture::AddFile(project_, container, path, onDisk);
  }
  std::vector<VSITEMID> Selection() {
    VSITEMID items[4];
    ULONG count = 0;
    EXPECT_EQ(host_.HierarchyWindow()->GetSelectedItems(project_, 4, items, &count), S_OK);
    return {items, items + count};
  }
  size_t ChildCount(CHierContainer* container) { return ChildNames(container).size(); }

  CMyProjectHierarchy* project_ = nullptr;
  CFileVwProjNode* root_ = nullptr;
  ComPtr<FileListener> listener_;
};

std::string Text(BSTR text) {
  std::string value = ToUtf8(WStringView(text, SysStringLen(text)));
  SysFreeString(text);
  return value;
}

TEST_F(NamingTest, UniqueItemNamesCountFromOneAndNeverOfferTheBareRoot) {
  const VSITEMID tables = Folder(u"Tables")->GetVsItemID();
  BSTR name = nullptr;
  ASSERT_EQ(project_->GenerateUniqueItemName(tables, u".kv7tbl", nullptr, &name), S_OK);
  EXPECT_EQ(Text(name), "File1.kv7tbl");

  // Given root1 taken in the folder's directory (the bare root is free),
  // the next number is offered.
  WriteFile(Path("p/Tables/root1.kv7tbl"), "");
  ASSERT_EQ(project_->GenerateUniqueItemName(tables, u".kv7tbl", u"root", &name), S_OK);
  EXPECT_EQ(Text(name), "root2.kv7tbl");
  // Another extension, or the project directory, is another series.
  ASSERT_EQ(project_->GenerateUniqueItemName(tables, u".kv7vw", u"root", &name), S_OK);
  EXPECT_EQ(Text(name), "root1.kv7vw");
  ASSERT_EQ(project_->GenerateUniqueItemName(VSITEMID_ROOT, u".kv7tbl", u"root", &name), S_OK);
  EXPECT_EQ(Text(name), "root1.kv7tbl");

  EXPECT_EQ(project_->GenerateUniqueItemName(tables, u".kv7tbl", u"root", nullptr), E_INVALIDARG);
  EXPECT_EQ(project_->GenerateUniqueItemName(VSITEMID_NIL, u".kv7tbl", u"root", &name),
            E_UNEXPECTED);
}

TEST_F(NamingTest, SuggestedLocationFollowsTheExtensionInAnyLetterCase) {
  // The procedures folder is gone from the project; its directory stays.
  CFileVwFolderNode* procedures = Folder(u"Procedures");
  ASSERT_EQ(project_->DeleteItem(DELITEMOP_RemoveFromProject, procedures->GetVsItemID()), S_OK);
  ASSERT_EQ(Folder(u"Procedures"), nullptr);
  WriteFile(Path("p/Procedures/get.KV7SP"), "");

  VSITEMID location = VSITEMID_NIL;
  BSTR path = nullptr;
  ASSERT_EQ(project_->SuggestLocationForExtension(u"/elsewhere/get.KV7SP", &location, &path), S_OK);
  procedures = Folder(u"Procedures");
  ASSERT_NE(procedures, nullptr) << "the folder is created again";
  EXPECT_EQ(static_cast<CKV7FolderNode*>(procedures)->GetFolderType(), eKV7FolderProcedures);
  EXPECT_EQ(location, procedures->GetVsItemID());
  EXPECT_EQ(Text(path), Path("p/Procedures/get1.KV7SP").string());

  // Statements and command sets have no folder: the project directory.
  for (const char16_t* file : {u"run.kv7st", u"all.kv7cset"}) {
    ASSERT_EQ(project_->SuggestLocationForExtension(file, &location, &path), S_OK);
    EXPECT_EQ(location, VSITEMID_ROOT);
    EXPECT_EQ(Text(path), Path("p/" + ToUtf8(file)).string());
  }
  EXPECT_EQ(project_->SuggestLocationForExtension(u"a.kv7", nullptr, &path), E_POINTER);
}

TEST_F(NamingTest, UniqueFileNamesAvoidChildrenAndFiles) {
  CFileVwFolderNode* views = Folder(u"Views");
  WString path;
  ASSERT_EQ(views->GenerateUniqueFileName(u"", u"kv7vw", eKV7FolderViews, path), S_OK);
  EXPECT_EQ(path, W(Path("p/Views/View.kv7vw")));
  // A child whose file is missing, then a file that is in no project.
  AddFile(views, "p/Views/View.kv7vw", false);
  WriteFile(Path("p/Views/View1.kv7vw"), "");
  ASSERT_EQ(views->GenerateUniqueFileName(u"", u".kv7vw", eKV7FolderViews, path), S_OK);
  EXPECT_EQ(path, W(Path("p/Views/View2.kv7vw")));
  // At the project node the project directory holds the items.
  ASSERT_EQ(root_->GenerateUniqueFileName(u"seed", u"kv7", eKV7FolderOther, path), S_OK);
  EXPECT_EQ(path, W(Path("p/seed.kv7")));
}

TEST_F(NamingTest, PastedCopiesAreNamedCopyOfThenNumberedFromTwo) {
  CFileVwFolderNode* tables = Folder(u"Tables");
  AddFile(tables, "p/Tables/X.kv7tbl");
  const WString source = W(Path("p/Tables/X.kv7tbl"));
  bool exists = false;
  ASSERT_EQ(project_->CheckFileOrNodeExistanceForPaste(source, tables, &exists), S_OK);
  EXPECT_TRUE(exists);
  WString copy;
  ASSERT_EQ(project_->GenerateUniqueNameForPaste(source, tables, copy), S_OK);
  EXPECT_EQ(copy, W(Path("p/Tables/Copy of X.kv7tbl")));
  AddFile(tables, "p/Tables/Copy of X.kv7tbl");
  ASSERT_EQ(project_->GenerateUniqueNameForPaste(source, tables, copy), S_OK);
  EXPECT_EQ(copy, W(Path("p/Tables/Copy (2) of X.kv7tbl")));

  // A paste onto the folder it comes from meets itself, even when neither
  // its file nor a node is there; elsewhere that name is free.
  const WString ghost = W(Path("p/Views/ghost.kv7vw"));
  ASSERT_EQ(project_->CheckFileOrNodeExistanceForPaste(ghost, Folder(u"Views"), &exists), S_OK);
  EXPECT_TRUE(exists);
  ASSERT_EQ(project_->CheckFileOrNodeExistanceForPaste(ghost, nullptr, &exists), S_OK);
  EXPECT_FALSE(exists);
  ASSERT_EQ(project_->GenerateUniqueNameForPaste(ghost, nullptr, copy), S_OK);
  EXPECT_EQ(copy, W(Path("p/Copy of ghost.kv7vw")));
}

TEST(CopyNameTexts, NumberedInsertsAreExpandedAndTheRestKept) {
  EXPECT_EQ(FormatUIStringInserts(1147, u"unused", {u"3", u"a.kv7"}), u"Copy (3) of a.kv7");
  EXPECT_EQ(FormatUIStringInserts(99999, u"%2-%1 100%% %3 %0 %12", {u"a", u"b"}),
            u"b-a 100% %3 %0 %12");
  EXPECT_EQ(FormatUIStringInserts(99999, u"%10|%1",
                                  {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"ten"}),
            u"ten|1");
}

TEST_F(NamingTest, CanonicalNamesWithoutBackslashMatchOnlyTheProjectNodesChildren) {
  CFileVwFileNode* top = AddFile(root_, "p/top.kv7");
  CFileVwFileNode* inner = AddFile(Folder(u"Tables"), "p/Tables/t.kv7tbl");
  VSITEMID item = VSITEMID_NIL;
  ASSERT_EQ(project_->ParseCanonicalName(top->GetFullPath().c_str(), &item), S_OK);
  EXPECT_EQ(item, top->GetVsItemID());
  EXPECT_EQ(project_->ParseCanonicalName(inner->GetFullPath().c_str(), &item), E_FAIL);
  ASSERT_EQ(project_->ParseCanonicalName(W(Path("p/Tables")).c_str(), &item), S_OK);
  EXPECT_EQ(item, Folder(u"Tables")->GetVsItemID());
  // A folder path finds the item in its folder, by its exact name.
  ASSERT_EQ(project_->ParseCanonicalName(u"tables\\t.kv7tbl", &item), S_OK);
  EXPECT_EQ(item, inner->GetVsItemID());
  EXPECT_EQ(project_->ParseCanonicalName(u"Tables\\T.kv7tbl", &item), E_FAIL);
  EXPECT_EQ(project_->ParseCanonicalName(u"Tables\\", &item), E_FAIL);
  EXPECT_EQ(project_->ParseCanonicalName(u"Tables\\t.kv7tbl", nullptr), E_POINTER);
}

TEST_F(NamingTest, AddItemRefusesBadNamesTakenTargetsAndRefusedEdits) {
  CFileVwFolderNode* tables = Folder(u"Tables");
  WriteFile(Path("template.kv7tbl"), "create table t(id int);\n");
  const WString tmpl = W(Path("template.kv7tbl"));
  const char16_t* files[] = {tmpl.c_str()};
  VSADDRESULT result = ADDRESULT_Success;

  for (const char16_t* bad :
       {u"a\\b", u"a/b", u"a:b", u"a*b", u"a?b", u"a\"b", u"a<b", u"a>b", u"a|b", u"."}) {
    ClearErrorInfo();
    EXPECT_EQ(
        project_->AddItem(tables->GetVsItemID(), VSADDITEMOP_CLONEFILE, bad, 1, files, &result),
        E_FAIL);
    EXPECT_EQ(result, ADDRESULT_Failure);
    EXPECT_EQ(ErrorText(), FormatUIString(10, bad)) << ToUtf8(bad);
  }

  WriteFile(Path("p/Tables/taken.kv7tbl"), "");
  EXPECT_EQ(project_->AddItem(tables->GetVsItemID(), VSADDITEMOP_CLONEFILE, u"taken.kv7tbl", 1,
                              files, &result),
            E_ABORT);
  EXPECT_EQ(result, ADDRESULT_Cancel);
  EXPECT_EQ(project_->AddItem(tables->GetVsItemID(), VSADDITEMOP_RUNWIZARD, u"taken.kv7tbl", 0,
                              nullptr, &result),
            E_ABORT);
  ASSERT_EQ(host_.MessageBoxes().size(), 2u);
  EXPECT_EQ(host_.MessageBoxes()[0].text, FormatUIString(780, u"taken.kv7tbl"));
  EXPECT_EQ(host_.MessageBoxes()[0].caption, LoadUIString(781));
  EXPECT_EQ(host_.MessageBoxes()[0].style & MB_ICONWARNING, MB_ICONWARNING);

  host_.RefuseEdits(true);
  EXPECT_EQ(project_->AddItem(tables->GetVsItemID(), VSADDITEMOP_CLONEFILE, u"new.kv7tbl", 1, files,
                              &result),
            OLE_E_PROMPTSAVECANCELLED);
  EXPECT_EQ(result, ADDRESULT_Cancel);
  EXPECT_EQ(root_->AddNewItem(tables, u"new.kv7tbl", u"", true), OLE_E_PROMPTSAVECANCELLED);
  EXPECT_FALSE(std::filesystem::exists(Path("p/Tables/new.kv7tbl")));
  host_.RefuseEdits(false);

  EXPECT_EQ(ChildCount(tables), 0u);
  EXPECT_TRUE(listener_->heard.empty());
}

TEST_F(NamingTest, ClonedItemsAreFreshWritableAnnouncedSelectedAndOpened) {
  WriteFile(Path("template.kv7tbl"), "create table t(id int);\n");
  std::filesystem::last_write_time(
      Path("template.kv7tbl"),
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
  std::filesystem::permissions(Path("template.kv7tbl"), std::filesystem::perms::owner_read);
  const WString tmpl = W(Path("template.kv7tbl"));
  const char16_t* files[] = {tmpl.c_str()};
  CFileVwFolderNode* tables = Folder(u"Tables");
  VSADDRESULT result = ADDRESULT_Failure;
  ASSERT_EQ(project_->AddItem(tables->GetVsItemID(), VSADDITEMOP_CLONEFILE, u"orders.kv7tbl", 1,
                              files, &result),
            S_OK);
  EXPECT_EQ(result, ADDRESULT_Success);
  const auto copy = Path("p/Tables/orders.kv7tbl");
  EXPECT_EQ(ReadFile(copy), "create table t(id int);\n");
  EXPECT_NE(std::filesystem::status(copy).permissions() & std::filesystem::perms::owner_write,
            std::filesystem::perms::none);
  EXPECT_GT(std::filesystem::last_write_time(copy),
            std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  CFileVwFileNode* node = tables->FindFile(W(copy));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(Selection(), std::vector<VSITEMID>{node->GetVsItemID()});
  EXPECT_TRUE(host_.IsDocumentOpen(node->GetFullPath()));

  // At a location that is no database folder the project node takes the
  // files; each added file is announced, one that fails does not stop the
  // others.
  WriteFile(Path("elsewhere/a.kv7"), "");
  WriteFile(Path("elsewhere/b.kv7"), "");
  const WString a = W(Path("elsewhere/a.kv7")), b = W(Path("elsewhere/b.kv7"));
  const char16_t* existing[] = {a.c_str(), a.c_str(), b.c_str()};
  EXPECT_EQ(project_->AddItem(node->GetVsItemID(), VSADDITEMOP_OPENFILE, u"", 3, existing, &result),
            E_FAIL);
  EXPECT_EQ(ChildNames(root_).back(), "b.kv7");
  EXPECT_EQ(listener_->heard,
            (std::vector<std::string>{"added orders.kv7tbl", "added a.kv7", "added b.kv7"}));

  // The helper library has no item wizard to run.
  EXPECT_EQ(project_->AddItem(VSITEMID_ROOT, VSADDITEMOP_RUNWIZARD, u"w.kv7", 0, nullptr, &result),
            E_NOTIMPL);
  EXPECT_EQ(project_->AddItem(VSITEMID_ROOT, 99, u"w.kv7", 0, nullptr, &result), E_INVALIDARG);
}

TEST_F(NamingTest, NewItemsAreWrittenAddedAndAnnouncedOrLeaveNothing) {
  CFileVwFolderNode* views = Folder(u"Views");
  ASSERT_EQ(project_->Save(nullptr, FALSE, 0), S_OK);
  CFileVwFileNode* node = nullptr;
  ASSERT_EQ(root_->AddNewItem(views, u"v.kv7vw", u"create view v as select 1;\n", false, &node),
            S_OK);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->GetParent(), views);
  EXPECT_EQ(ReadFile(Path("p/Views/v.kv7vw")), "create view v as select 1;\n");
  EXPECT_EQ(Selection(), std::vector<VSITEMID>{node->GetVsItemID()});
  EXPECT_FALSE(host_.IsDocumentOpen(node->GetFullPath()));
  EXPECT_TRUE(Dirty(project_));

  // The IDE's document tracking refuses: the file written for the item goes.
  host_.RefuseTrackedChanges(true);
  EXPECT_EQ(root_->AddNewItem(root_, u"s.kv7st", u"", true), E_ABORT);
  EXPECT_FALSE(std::filesystem::exists(Path("p/s.kv7st")));
  host_.RefuseTrackedChanges(false);
  EXPECT_EQ(root_->AddNewItem(views, u"v.kv7vw", u"", true), E_ABORT);
  EXPECT_EQ(listener_->heard, std::vector<std::string>{"added v.kv7vw"});
}

TEST_F(NamingTest, SavingAnItemUnderANewNameMovesItAndTellsEveryone) {
  CFileVwFolderNode* tables = Folder(u"Tables");
  CFileVwFileNode* item = AddFile(tables, "p/Tables/t.kv7tbl");
  ASSERT_EQ(project_->Save(nullptr, FALSE, 0), S_OK);
  const size_t events = host_.HierarchyEvents().size();

  // Only the letter case differs: nothing happens.
  ASSERT_EQ(
      project_->OnHandleSaveItemRename(item->GetVsItemID(), W(Path("p/Tables/T.KV7TBL")).c_str()),
      S_OK);
  EXPECT_EQ(item->GetFullPath(), W(Path("p/Tables/t.kv7tbl")));
  EXPECT_FALSE(Dirty(project_));
  EXPECT_TRUE(host_.DocumentRenames().empty());

  (void)tables->GetFirstChild();  // the IDE opened the folder
  const WString renamed = W(Path("p/Tables/u.kv7tbl"));
  ASSERT_EQ(project_->OnHandleSaveItemRename(item->GetVsItemID(), renamed.c_str()), S_OK);
  EXPECT_EQ(item->GetFullPath(), renamed);
  EXPECT_EQ(tables->FindFile(renamed), item);
  EXPECT_TRUE(Dirty(project_));
  ASSERT_EQ(host_.DocumentRenames().size(), 1u);
  EXPECT_EQ(host_.DocumentRenames()[0].newPath, renamed);
  ASSERT_GT(host_.HierarchyEvents().size(), events);
  EXPECT_EQ(host_.HierarchyEvents().back().property, VSHPROPID_Caption);
  EXPECT_EQ(listener_->heard, std::vector<std::string>{"renamed t.kv7tbl u.kv7tbl"});

  EXPECT_EQ(project_->OnHandleSaveItemRename(VSITEMID_NIL, renamed.c_str()), E_FAIL);
}

}  // namespace
}  // namespace kv7::test
