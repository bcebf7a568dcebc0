// The project hierarchy and its node tree: dirty state, saving under other
// names, closing, identifier look-ups, child order, folder sorting and
// renaming, item classes and default folders.
#include <gtest/gtest.h>

#include "kv7/hierarchy/object_nodes.h"
#include "kv7/platform/files.h"
#include "kv7/util/ui_strings.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

using HierarchyTest = ProjectFixture;
using Names = std::vector<std::string>;

TEST_F(HierarchyTest, DirtyStateFollowsInitNewSaveAndTheAutomationFlag) {
  CMyProjectHierarchy* project = Create(Path("p"), u"Fresh");
  ASSERT_NE(project, nullptr);
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  EXPECT_FALSE(Dirty(project));
  EXPECT_EQ(project->InitNew(0), S_OK);
  EXPECT_TRUE(Dirty(project));
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  EXPECT_FALSE(Dirty(project));

  // Only VARIANT_TRUE sets the flag; any other value, 1 included, clears it.
  EXPECT_EQ(project->put_IsDirty(VARIANT_TRUE), S_OK);
  VARIANT_BOOL flag = VARIANT_FALSE;
  EXPECT_EQ(project->get_IsDirty(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  BOOL really = FALSE;
  EXPECT_EQ(project->IsProjectReallyDirty(&really), S_OK);
  EXPECT_TRUE(really);
  EXPECT_EQ(project->put_IsDirty(1), S_OK);
  EXPECT_FALSE(Dirty(project));
}

TEST_F(HierarchyTest, SavingUnderAnotherNameRenamesOnlyWithinTheDirectory) {
  CMyProjectHierarchy* project = Create(Path("p"), u"First");
  ASSERT_NE(project, nullptr);
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);

  const auto second = Path("p/Second.kv7p");
  ASSERT_EQ(project->Save(W(second).c_str(), TRUE, 0), S_OK);
  EXPECT_FALSE(std::filesystem::exists(Path("p/First.kv7p")));
  EXPECT_NE(ReadFile(second).find("<Name>Second</Name>"), std::string::npos);
  EXPECT_EQ(project->GetProjectFilePath(), W(second));
  EXPECT_EQ(project->GetProjectNode()->GetName(), u"Second");
  EXPECT_FALSE(Dirty(project));

  std::filesystem::create_directories(Path("q"));
  const std::string before = ReadFile(second);
  EXPECT_EQ(project->Save(W(Path("q/Third.kv7p")).c_str(), TRUE, 0), E_FAIL);
  EXPECT_FALSE(std::filesystem::exists(Path("q/Third.kv7p")));
  EXPECT_EQ(project->GetProjectFilePath(), W(second));
  EXPECT_EQ(ReadFile(second), before);
}

TEST_F(HierarchyTest, ClosingTwiceCleansUpOnce) {
  CMyProjectHierarchy* project = Create(Path("p"), u"Closing");
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(CMyProjectHierarchy::GlobalFindProjectByName(u"CLOSING"), project);
  // Nodes someone still holds leave the closed tree whole: no parent, and
  // their folder neither lists nor finds them.
  ComPtr<CFileVwFolderNode> tables(project->FindFolder(u"Tables"));
  ASSERT_NE(tables, nullptr);
  CFileVwFileNode* item = AddFile(project, tables.Get(), "p/Tables/x.kv7tbl");
  ComPtr<CHierNode> kept(item);
  EXPECT_EQ(project->Close(), S_OK);
  EXPECT_TRUE(project->IsClosed());
  EXPECT_EQ(item->GetParent(), nullptr);
  EXPECT_EQ(tables->GetParent(), nullptr);
  EXPECT_EQ(tables->FirstChildNoPopulate(), nullptr);
  EXPECT_EQ(tables->FindFile(W(Path("p/Tables/x.kv7tbl"))), nullptr);
  EXPECT_EQ(CMyProjectHierarchy::GlobalFindProjectByName(u"Closing"), nullptr);
  EXPECT_EQ(project->Close(), S_OK);
  EXPECT_EQ(project->Save(nullptr, FALSE, 0), E_UNEXPECTED);
  VARIANT_BOOL flag;
  EXPECT_EQ(project->get_IsDirty(&flag), E_FAIL);
}

TEST_F(HierarchyTest, IdentifierLookups) {
  CMyProjectHierarchy* project = Create(Path("p"), u"Ids");
  ASSERT_NE(project, nullptr);
  CFileVwProjNode* root = project->GetProjectNode();
  CFileVwFileNode* item = AddFile(project, root, "p/x.kv7tbl");
  ComPtr<CHierNode> kept(item);
  const VSITEMID id = item->GetVsItemID();
  CFileVwFolderNode* tables = project->FindFolder(u"Tables");
  ASSERT_NE(tables, nullptr);

  CHierNode* node = nullptr;
  EXPECT_EQ(project->VSITEMID2Node(VSITEMID_ROOT, &node), S_OK);
  EXPECT_EQ(node, root);
  EXPECT_EQ(project->VSITEMID2Node(id, &node), S_OK);
  EXPECT_EQ(node, item);
  EXPECT_EQ(project->VSITEMID2FileNode(tables->GetVsItemID()), nullptr);
  EXPECT_EQ(project->VSITEMID2FolderNode(tables->GetVsItemID()), tables);
  EXPECT_EQ(project->VSITEMID2Node(VSITEMID_SELECTION, &node), E_UNEXPECTED);
  EXPECT_EQ(project->VSITEMID2Node(VSITEMID_NIL, &node), E_FAIL);
  EXPECT_EQ(project->VSITEMID2Node(0x7ffe1234u, &node), E_FAIL);

  // A node taken out of the tree is not found while someone still holds it.
  ASSERT_EQ(project->DeleteItem(DELITEMOP_RemoveFromProject, id), S_OK);
  EXPECT_EQ(project->VSITEMID2Node(id, &node), E_FAIL);
  EXPECT_EQ(project->VSITEMID2FileNode(id), nullptr);
  EXPECT_TRUE(std::filesystem::exists(Path("p/x.kv7tbl")));
}

TEST(NodeTree, SortedContainerInsertsInNameOrderIgnoringCase) {
  ComPtr<CKV7FolderNode> container = CKV7FolderNode::CreateInstance(u"/nowhere/Sorted");
  container->SetFlags(kNodeSorted);
  for (const char16_t* name : {u"b", u"A", u"a", u"B"})
    container->AddChild(CKV7FolderNode::CreateInstance(WString(u"/nowhere/Sorted/") + name).Get());
  EXPECT_EQ(ChildNames(container.Get()), (Names{"A", "a", "b", "B"}));
}

TEST_F(HierarchyTest, FolderSortModes) {
  ComPtr<CKV7FolderNode> folder = CKV7FolderNode::CreateInstance(W(Path("F")));
  for (const char* name : {"zeta", "b.kv7sp", "Sub", "c.kv7", "B.kv7vw", "a.kv7tbl"}) {
    const auto path = Path("F") / name;
    if (std::string(name) == "Sub") {
      std::filesystem::create_directories(path);
      folder->AddChild(CKV7FolderNode::CreateInstance(W(path)).Get());
    } else {
      WriteFile(path, "--\n");
      folder->AddChild(CreateFileNodeForPath(W(path)).Get());
    }
  }
  for (const char* name : {"c.kv7", "zeta"})
    ASSERT_EQ(SetFileAttributes(W(Path("F") / name), FILE_ATTRIBUTE_READONLY), S_OK);

  EXPECT_EQ(folder->OnSortFiles(eKV7SortByName), S_OK);
  const Names by_name{"Sub", "a.kv7tbl", "b.kv7sp", "B.kv7vw", "c.kv7", "zeta"};
  EXPECT_EQ(ChildNames(folder.Get()), by_name);

  // Without an extension first, then by extension.
  EXPECT_EQ(folder->ExecSortCommand(kCmdSortByExtension), S_OK);
  const Names by_extension{"Sub", "zeta", "c.kv7", "b.kv7sp", "a.kv7tbl", "B.kv7vw"};
  EXPECT_EQ(ChildNames(folder.Get()), by_extension);
  EXPECT_TRUE(folder->IsSortCommandChecked(kCmdSortByExtension));

  // Unsorted keeps the order and takes the check mark.
  EXPECT_EQ(folder->ExecSortCommand(kCmdSortNone), S_OK);
  EXPECT_EQ(ChildNames(folder.Get()), by_extension);
  EXPECT_TRUE(folder->IsSortCommandChecked(kCmdSortNone));
  EXPECT_FALSE(folder->IsSortCommandChecked(kCmdSortByExtension));
  EXPECT_FALSE(folder->IsFolderSorted());

  EXPECT_EQ(folder->OnSortFiles(7), E_FAIL);
  EXPECT_EQ(ChildNames(folder.Get()), by_extension);
  EXPECT_EQ(folder->GetSortMode(), eKV7SortNone);

  // Read-only files first, names deciding among equals.
  EXPECT_EQ(folder->ExecSortCommand(kCmdSortReadOnlyFirst), S_OK);
  EXPECT_EQ(ChildNames(folder.Get()),
            (Names{"Sub", "c.kv7", "zeta", "a.kv7tbl", "b.kv7sp", "B.kv7vw"}));
  EXPECT_TRUE(folder->IsSortCommandChecked(kCmdSortReadOnlyFirst));
}

TEST_F(HierarchyTest, RenamingAFolderMovesEverythingBelowIt) {
  CMyProjectHierarchy* project = Create(Path("p"), u"Ren");
  ASSERT_NE(project, nullptr);
  CFileVwProjNode* root = project->GetProjectNode();
  CFileVwFolderNode *a = nullptr, *sub = nullptr, *ab = nullptr;
  ASSERT_EQ(root->CreateAndAddFolder(root, u"A", &a), S_OK);
  ASSERT_EQ(root->CreateAndAddFolder(a, u"Sub", &sub), S_OK);
  ASSERT_EQ(root->CreateAndAddFolder(root, u"AB", &ab), S_OK);
  CFileVwFileNode* x = AddFile(project, a, "p/A/x.kv7tbl");
  // An item whose stored path spells the folder in another case.
  CFileVwFileNode* lower = AddFile(project, a, "p/a/Lower.kv7tbl", false);
  CFileVwFileNode* y = AddFile(project, sub, "p/A/Sub/y.kv7sp");
  CFileVwFileNode* z = AddFile(project, ab, "p/AB/z.kv7vw");

  ASSERT_EQ(Rename(project, a, u"B"), S_OK);
  EXPECT_EQ(a->GetName(), u"B");
  EXPECT_EQ(x->GetFullPath(), W(Path("p/B/x.kv7tbl")));
  EXPECT_EQ(lower->GetFullPath(), W(Path("p/B/Lower.kv7tbl")));
  EXPECT_EQ(y->GetFullPath(), W(Path("p/B/Sub/y.kv7sp")));
  EXPECT_EQ(z->GetFullPath(), W(Path("p/AB/z.kv7vw")));
  EXPECT_FALSE(std::filesystem::exists(Path("p/A")));
  EXPECT_TRUE(std::filesystem::exists(Path("p/B/Sub/y.kv7sp")));

  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  const std::string saved = ReadFile(Path("p/Ren.kv7p"));
  for (const char* reference : {"B\\x.kv7tbl", "B\\Sub\\y.kv7sp", "AB\\z.kv7vw"})
    EXPECT_NE(saved.find(std::string("<Reference>") + reference + "</Reference>"),
              std::string::npos)
        << reference;
}

TEST_F(HierarchyTest, AddingItems) {
  CMyProjectHierarchy* project = Create(Path("p"), u"Items");
  ASSERT_NE(project, nullptr);
  CFileVwProjNode* root = project->GetProjectNode();
  WriteFile(Path("elsewhere/proc.kv7sp"), "--\n");

  // The class follows the extension exactly, letter case included.
  CFileVwFileNode* node = AddFile(project, root, "p/Upper.KV7SP");
  EXPECT_EQ(node->GetKindOf(), kKindFile);
  EXPECT_EQ(WString(ItemKindName(node)), u"file");
  EXPECT_EQ(WString(node->ProjectFileElement()), u"UnknownFile");
  node = AddFile(project, root, "p/proc.kv7sp");
  EXPECT_EQ(WString(ItemKindName(node)), u"procedure");
  EXPECT_TRUE(HasKind(node->GetKindOf(), 0x10a00));

  // The same path, or the same file name, once per container; the user is
  // told of the same file by its path, of a namesake by its name.
  EXPECT_EQ(root->AddExistingFile(root, W(Path("p/proc.kv7sp"))), E_FAIL);
  EXPECT_EQ(root->AddExistingFile(root, W(Path("elsewhere/proc.kv7sp"))), E_FAIL);
  const auto& boxes = host_.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, FormatUIString(13, W(Path("p/proc.kv7sp"))));
  EXPECT_EQ(boxes[1].text, FormatUIString(13, u"proc.kv7sp"));
  EXPECT_EQ(root->AddExistingFile(project->FindFolder(u"Procedures"), W(Path("p/proc.kv7sp"))),
            S_OK);
}

TEST_F(HierarchyTest, DefaultFolders) {
  CMyProjectHierarchy* project = Create(Path("p"), u"Folders");
  ASSERT_NE(project, nullptr);
  CFileVwProjNode* root = project->GetProjectNode();
  const Names names{"Tables", "Indexes", "Triggers", "Views", "Procedures", "Functions", "Scripts"};
  EXPECT_EQ(ChildNames(root), names);
  std::vector<LONG> types;
  for (CHierNode* child = root->FirstChildNoPopulate(); child; child = child->GetNext())
    types.push_back(static_cast<CKV7FolderNode*>(child)->GetFolderType());
  EXPECT_EQ(types, (std::vector<LONG>{1, 10, 5, 2, 3, 4, 7}));
  for (const std::string& name : names)
    EXPECT_TRUE(std::filesystem::is_directory(Path("p/" + name)));

  EXPECT_EQ(project->FindDefaultFolderByType(eKV7FolderStatements, true), nullptr);
  EXPECT_EQ(project->FindDefaultFolderByType(eKV7FolderCommandSets, true), nullptr);
  EXPECT_EQ(project->FindDefaultFolderByType(eKV7FolderProcedures, false),
            project->FindFolder(u"Procedures"));
  EXPECT_EQ(ChildNames(root), names);

  // A folder of type 9 has no name of its own in the file: it reads back as 0.
  CKV7FolderNode* other = nullptr;
  ASSERT_EQ(project->CreateBaseFolder(u"Other", u"Other", eKV7FolderUnnamed, &other), S_OK);
  EXPECT_EQ(other->GetFolderType(), eKV7FolderUnnamed);
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  ASSERT_EQ(project->Close(), S_OK);
  CMyProjectHierarchy* reopened = Open(Path("p/Folders.kv7p"));
  ASSERT_NE(reopened, nullptr);
  auto* loaded = static_cast<CKV7FolderNode*>(reopened->FindFolder(u"Other"));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetFolderType(), eKV7FolderOther);
  EXPECT_EQ(static_cast<CKV7FolderNode*>(reopened->FindFolder(u"Indexes"))->GetFolderType(),
            eKV7FolderIndexes);

  // The default folder is the one named exactly as the default name.
  CFileVwFolderNode* renamed = reopened->FindFolder(u"Procedures");
  ASSERT_EQ(renamed->SetEditLabel(u"procedures"), S_OK);
  EXPECT_EQ(reopened->FindDefaultFolderByType(eKV7FolderProcedures, false), nullptr);
  CKV7FolderNode* created = reopened->FindDefaultFolderByType(eKV7FolderProcedures, true);
  ASSERT_NE(created, nullptr);
  EXPECT_NE(created, renamed);
  EXPECT_EQ(created->GetName(), u"Procedures");
  EXPECT_TRUE(std::filesystem::is_directory(Path("p/procedures")));
}

}  // namespace
}  // namespace kv7::test
