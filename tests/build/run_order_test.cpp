// The run order: its project file form, copies, the rename rules, and the
// match of its names to a real project's items.
#include "kv7/build/run_order.h"

#include <gtest/gtest.h>

#include "kv7/build/node_executors.h"
#include "support/project_fixture.h"
#include "support/project_text.h"

namespace kv7::test {
namespace {

using Names = std::vector<std::u16string>;

Names NamesOf(const CRunOrder& order) {
  Names names;
  for (const auto& item : order.GetItems()) names.push_back(item->GetFileName());
  return names;
}

CRunOrder& Fill(CRunOrder& order, const Names& names) {
  order.Reset();
  for (const auto& name : names) order.Add(name);
  return order;
}

// Reads a RunOrder element from text.
HRESULT LoadText(CRunOrder& order, const WString& text) {
  return order.LoadFromXML(XmlElement(text).Get());
}

TEST(RunOrderTest, ProjectFileFormRoundTrips) {
  CRunOrder order;
  Fill(order, {u"Tables\\orders.kv7tbl", u"/srv/p/Views/v.kv7vw", u"C:\\P\\f.kv7udf"});
  WString text;
  ASSERT_EQ(order.SaveAsXML(u"\t\t", text), S_OK);
  const std::string expected = Layout(
      "    <RunOrder>\n"
      "      <RunOrderItemList>\n"
      "        <RunOrderItem>\n"
      "          <FileName>Tables\\orders.kv7tbl</FileName>\n"
      "        </RunOrderItem>\n"
      "        <RunOrderItem>\n"
      "          <FileName>/srv/p/Views/v.kv7vw</FileName>\n"
      "        </RunOrderItem>\n"
      "        <RunOrderItem>\n"
      "          <FileName>C:\\P\\f.kv7udf</FileName>\n"
      "        </RunOrderItem>\n"
      "      </RunOrderItemList>\n"
      "    </RunOrder>\n");
  EXPECT_EQ(ToUtf8(text), expected);

  // Reading replaces what the order held.
  CRunOrder loaded;
  loaded.Add(u"old.kv7");
  ASSERT_EQ(LoadText(loaded, text), S_OK);
  EXPECT_EQ(NamesOf(loaded), NamesOf(order));
  WString again = u"kept";
  ASSERT_EQ(loaded.SaveAsXML(u"\t\t", again), S_OK);
  EXPECT_EQ(ToUtf8(again), "kept" + expected);

  // An empty list: the two list tags with nothing between them.
  order.Reset();
  EXPECT_TRUE(order.IsEmpty());
  text.clear();
  ASSERT_EQ(order.SaveAsXML(u"", text), S_OK);
  EXPECT_EQ(ToUtf8(text), Layout("<RunOrder>\n  <RunOrderItemList>\n  </RunOrderItemList>\n"
                                 "</RunOrder>\n"));
  ASSERT_EQ(LoadText(loaded, text), S_OK);
  EXPECT_TRUE(loaded.IsEmpty());

  // An item without a name names nothing; a RunOrder without a list is empty.
  ASSERT_EQ(LoadText(loaded, u"<RunOrder><RunOrderItemList><RunOrderItem/><RunOrderItem>"
                             u"<FileName>a.kv7</FileName></RunOrderItem><RunOrderItem>"
                             u"<FileName></FileName></RunOrderItem></RunOrderItemList></RunOrder>"),
            S_OK);
  EXPECT_EQ(NamesOf(loaded), (Names{u"a.kv7"}));
  ASSERT_EQ(LoadText(loaded, u"<RunOrder/>"), S_OK);
  EXPECT_TRUE(loaded.IsEmpty());
  EXPECT_EQ(loaded.LoadFromXML(nullptr), E_POINTER);
}

TEST(RunOrderTest, CopiesAreDeepAndItemsComeOutOfTheList) {
  CRunOrder order, copy;
  Fill(order, {u"a.kv7", u"b.kv7", u"a.kv7"});
  copy.CopyFrom(order);
  copy.GetItems().front()->SetFileName(u"changed.kv7");
  EXPECT_EQ(NamesOf(order), (Names{u"a.kv7", u"b.kv7", u"a.kv7"}));
  copy.CopyFrom(copy);
  EXPECT_EQ(copy.GetCount(), 3);

  CRunOrderItemList& list = order.GetItemList();
  CRunOrderItem* first_a = list.FindByFileName(u"a.kv7");
  EXPECT_EQ(first_a, list.GetItems()[0].get());
  EXPECT_EQ(list.FindByFileName(u"A.kv7"), nullptr);
  std::unique_ptr<CRunOrderItem> removed = list.RemoveItem(first_a);
  ASSERT_EQ(removed.get(), first_a);
  EXPECT_EQ(list.RemoveItem(first_a), nullptr);
  EXPECT_EQ(list.DeleteItem(first_a), E_INVALIDARG);
  EXPECT_EQ(list.DeleteItem(list.FindByFileName(u"a.kv7")), S_OK);
  EXPECT_EQ(NamesOf(order), (Names{u"b.kv7"}));
  EXPECT_EQ(removed->Clone()->GetFileName(), u"a.kv7");
}

TEST(RunOrderTest, RenamesMatchNamesAndFolderPrefixesExactly) {
  CRunOrder order;
  Fill(order, {u"Tables\\a.kv7tbl", u"tables\\b.kv7tbl", u"Tables2\\x.kv7tbl", u"Tables\\a.kv7tbl"});
  EXPECT_EQ(order.FileRenamed(u"Tables\\a.kv7tbl", u"Tables\\c.kv7tbl"), S_OK);
  EXPECT_EQ(order.FileRenamed(u"TABLES\\B.kv7tbl", u"Tables\\d.kv7tbl"), S_FALSE);
  EXPECT_EQ(NamesOf(order), (Names{u"Tables\\c.kv7tbl", u"tables\\b.kv7tbl",
                                   u"Tables2\\x.kv7tbl", u"Tables\\c.kv7tbl"}));

  // A folder prefix ending in its separator leaves the sibling folder
  // "Tables2" alone; the letter case of the folder part must match.
  EXPECT_EQ(order.FolderRenamed(u"Tables\\", u"Tabs\\"), S_OK);
  EXPECT_EQ(NamesOf(order), (Names{u"Tabs\\c.kv7tbl", u"tables\\b.kv7tbl",
                                   u"Tables2\\x.kv7tbl", u"Tabs\\c.kv7tbl"}));
  // The comparison is a plain prefix: without the separator, "Tables2"
  // begins with "Tables" too.
  EXPECT_EQ(order.FolderRenamed(u"Tables", u"Stuff"), S_OK);
  EXPECT_EQ(order.GetItems()[2]->GetFileName(), u"Stuff2\\x.kv7tbl");
  EXPECT_EQ(order.FolderRenamed(u"Nothing\\", u"Else\\"), S_FALSE);

  CRunOrderItem item(u"/p/Tables/a.kv7tbl");
  EXPECT_EQ(item.FolderRenamed(u"/p/Tables/", u"/p/T/"), S_OK);
  EXPECT_EQ(item.GetFileName(), u"/p/T/a.kv7tbl");
  EXPECT_EQ(item.FolderRenamed(u"", u"/x/"), S_FALSE);
}

class RunOrderProjectTest : public ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    project_ = Create(Path("p"), u"Shop");
    ASSERT_NE(project_, nullptr);
    CFileVwFolderNode* tables = project_->FindFolder(u"Tables");
    ASSERT_NE(tables, nullptr);
    orders_ = AddFile(project_, tables, "p/Tables/orders.kv7tbl");
    top_ = AddFile(project_, nullptr, "p/top.kv7sp");
    outside_ = AddFile(project_, nullptr, "q/outside.kv7vw");
  }

  // What a walk with CKV7NE_FindNodeForFileName finds for a name.
  CFileVwFileNode* WalkFind(const CRunOrderItem& item) {
    const WString& name = item.GetFileName();
    CKV7NE_FindNodeForFileName finder(name, !item.IsFullPath());
    (void)project_->ProcessEveryFileNode(&finder, true);
    return finder.GetFoundNode();
  }

  CMyProjectHierarchy* project_ = nullptr;
  CFileVwFileNode* orders_ = nullptr;
  CFileVwFileNode* top_ = nullptr;
  CFileVwFileNode* outside_ = nullptr;
};

TEST_F(RunOrderProjectTest, NamesFindItemsByFullOrRelativePathIgnoringCase) {
  const WString outside = W(Path("q/outside.kv7vw"));
  CRunOrder order;
  Fill(order, {
                  u"Tables\\orders.kv7tbl",         // relative, as written on Windows
                  u"TABLES/ORDERS.KV7TBL",          // either separator, any case
                  u"Tables\\gone.kv7tbl",           // no such item
                  ToUpper(W(Path("p/top.kv7sp"))),  // full path, any case
                  u"C:\\Shop\\top.kv7sp",           // a drive: full path, no item has it
                  u"top.kv7sp",                     // relative
                  outside,                          // full path outside the project folder
                  u"../q/outside.kv7vw",            // relative: items outside have none
                  u"p/top.kv7sp",                   // relative to the wrong folder
              });
  std::vector<CFileVwFileNode*> expected = {orders_, orders_, nullptr, top_,   nullptr,
                                            top_,    outside_, nullptr, nullptr};
  EXPECT_EQ(order.GetItemList().FindEntryNodes(project_), expected);
  for (size_t i = 0; i < order.GetItems().size(); ++i)
    EXPECT_EQ(WalkFind(*order.GetItems()[i]), expected[i]) << ToUtf8(order.GetItems()[i]->GetFileName());
  EXPECT_EQ(order.FindNodes(project_),
            (std::vector<CFileVwFileNode*>{orders_, orders_, top_, top_, outside_}));

  EXPECT_EQ(order.DeleteObsoleteItems(project_), S_OK);
  EXPECT_EQ(NamesOf(order), (Names{u"Tables\\orders.kv7tbl", u"TABLES/ORDERS.KV7TBL",
                                   ToUpper(W(Path("p/top.kv7sp"))), u"top.kv7sp", outside}));
  EXPECT_EQ(order.DeleteObsoleteItems(project_), S_FALSE);
  EXPECT_EQ(order.DeleteObsoleteItems(nullptr), E_POINTER);

  // Once every named item is gone the order is empty, and a build falls
  // back to tree order.
  ASSERT_EQ(project_->GetProjectNode()->DeleteNode(orders_, false), S_OK);
  ASSERT_EQ(project_->GetProjectNode()->DeleteNode(top_, false), S_OK);
  ASSERT_EQ(project_->GetProjectNode()->DeleteNode(outside_, false), S_OK);
  EXPECT_TRUE(order.FindNodes(project_).empty());
  EXPECT_EQ(order.DeleteObsoleteItems(project_), S_OK);
  EXPECT_TRUE(order.IsEmpty());
}

}  // namespace
}  // namespace kv7::test
