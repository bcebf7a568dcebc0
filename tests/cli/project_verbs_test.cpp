// The project verbs end to end: each run is a new kv7 process working on
// project files in the scratch directory.
#include <gtest/gtest.h>

#include "cli/project_cli_test.h"
#include "support/project_text.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

namespace fs = std::filesystem;

using ProjectVerbsTest = ProjectCliTest;

TEST_F(ProjectVerbsTest, NewCreatesTheDefaultFoldersAndRefusesAnExistingFile) {
  EXPECT_TRUE(Has(Expect(0, "new " + Quote(File())), "created"));
  for (const char* folder :
       {"Tables", "Indexes", "Triggers", "Views", "Procedures", "Functions", "Scripts"}) {
    EXPECT_TRUE(fs::is_directory(Path("p") / folder)) << folder;
    EXPECT_TRUE(Has(Saved(), std::string("<Name>") + folder + "</Name>")) << folder;
  }
  EXPECT_TRUE(Has(Saved(), "<KV7Project version=\"3\">"));
  EXPECT_TRUE(Has(Saved(), "<Name>Shop</Name>"));

  const std::string before = Saved();
  Expect(1, "new " + Quote(File()));
  EXPECT_EQ(Saved(), before);
}

TEST_F(ProjectVerbsTest, ShowNamesTheKindOfEveryItem) {
  Expect(0, "new " + Quote(File()));
  const std::vector<std::pair<std::string, std::string>> items{
      {"t.kv7tbl", "table"},    {"v.kv7vw", "view"},          {"p.kv7sp", "procedure"},
      {"f.kv7udf", "function"}, {"tr.kv7tr", "trigger"},      {"s.kv7st", "statement"},
      {"sc.kv7", "script"},     {"c.kv7cset", "command set"}, {"i.kv7ind", "index"},
      {"n.txt", "file"}};
  std::string files;
  for (const auto& [name, kind] : items) files += " " + Made(name);
  On(0, "add", files);
  const std::string shown = On(0, "show");
  for (const auto& [name, kind] : items)
    EXPECT_TRUE(Has(shown, " " + name + "  (" + kind + ")\n")) << name << "\n" << shown;
  EXPECT_TRUE(Has(shown, "Tables/  [TablesFolder]"));
  EXPECT_FALSE(Has(shown, "missing:"));
}

TEST_F(ProjectVerbsTest, AddAndMkdir) {
  Expect(0, "new " + Quote(File()));
  On(0, "mkdir", "Tables/Archive");
  EXPECT_TRUE(fs::is_directory(Path("p/Tables/Archive")));
  On(1, "mkdir", "Nope/Sub");
  EXPECT_FALSE(fs::exists(Path("p/Nope")));

  const std::string table = Made("Tables/Archive/old.kv7tbl");
  On(0, "add", table + " --to Tables/Archive");
  const std::string saved = Saved();
  const size_t archive = saved.find("<Name>Archive</Name>");
  ASSERT_NE(archive, std::string::npos);
  EXPECT_NE(saved.find("<Reference>Tables\\Archive\\old.kv7tbl</Reference>", archive),
            std::string::npos);

  // A file already in the folder, and a file that does not exist, fail
  // and leave the project file as it was.
  On(1, "add", table + " --to Tables/Archive");
  EXPECT_TRUE(Has(On(1, "add", Quote(Path("p/ghost.kv7tbl"))), "ghost.kv7tbl"));
  EXPECT_EQ(Saved(), saved);
}

TEST_F(ProjectVerbsTest, RenameMovesItemsAndFoldersWithThePathsBelow) {
  Expect(0, "new " + Quote(File()));
  On(0, "mkdir", "Tables/Old");
  On(0, "add", Made("Tables/Old/a.kv7tbl") + " --to Tables/Old");

  On(0, "rename", "Tables/Old New");
  EXPECT_TRUE(fs::exists(Path("p/Tables/New/a.kv7tbl")));
  EXPECT_FALSE(fs::exists(Path("p/Tables/Old")));
  EXPECT_TRUE(Has(Saved(), "<Reference>Tables\\New\\a.kv7tbl</Reference>"));

  On(0, "rename", "Tables/New/a.kv7tbl b.kv7tbl");
  EXPECT_TRUE(fs::exists(Path("p/Tables/New/b.kv7tbl")));
  EXPECT_TRUE(Has(Saved(), "<Reference>Tables\\New\\b.kv7tbl</Reference>"));
  EXPECT_FALSE(Has(Saved(), "a.kv7tbl"));
  On(1, "rename", "Tables/New/a.kv7tbl c.kv7tbl");
}

TEST_F(ProjectVerbsTest, RemoveTakesItemsOutAndDeletesOnlyWhenAsked) {
  Expect(0, "new " + Quote(File()));
  On(0, "add", Made("Tables/a.kv7tbl") + " " + Made("Tables/b.kv7tbl") + " --to Tables");

  On(0, "remove", "Tables/a.kv7tbl");
  EXPECT_TRUE(fs::exists(Path("p/Tables/a.kv7tbl")));
  EXPECT_FALSE(Has(Saved(), "a.kv7tbl"));
  On(0, "remove", "Tables/b.kv7tbl --delete");
  EXPECT_FALSE(fs::exists(Path("p/Tables/b.kv7tbl")));
  EXPECT_FALSE(Has(Saved(), "b.kv7tbl"));
  On(0, "remove", "Views --delete");
  EXPECT_FALSE(fs::exists(Path("p/Views")));
  EXPECT_FALSE(Has(Saved(), "<Name>Views</Name>"));
  On(1, "remove", "Tables/a.kv7tbl");
}

TEST_F(ProjectVerbsTest, OldFilesKeepTheirProjectConnectionThroughUpgradeAndAdd) {
  WriteFile(Path("p/t.kv7tbl"), "--\n");
  std::string general = kGeneral;
  general.insert(general.find("    <Scc"),
                 "    <ConnInfo>&lt;DATACONNECTION DBCONNNAME=\"legacy\" DBALIAS=\"SALES\"/&gt;"
                 "</ConnInfo>\n");
  for (const char* version : {"", " version=\"2\""}) {
    SCOPED_TRACE(version);
    WriteFile(File(), Project("Shop", Item(2, "TableFile", "t.kv7tbl"), "", version, general));
    EXPECT_TRUE(Has(On(0, "upgrade"), "saved"));
    std::string saved = Saved();
    EXPECT_TRUE(Has(saved, "<KV7Project version=\"3\">"));
    EXPECT_TRUE(Has(saved, "<Reference>t.kv7tbl</Reference>"));
    // Once per configuration, none left under General.
    size_t count = 0;
    for (size_t at = saved.find("legacy"); at != std::string::npos; at = saved.find("legacy", at + 1))
      ++count;
    EXPECT_EQ(count, 2u) << saved;
    const std::string listed = On(0, "config list");
    EXPECT_TRUE(Has(listed, "Debug|Win32    connection: legacy")) << listed;
    EXPECT_TRUE(Has(listed, "Release|Win32  connection: legacy")) << listed;

    WriteFile(File(), Project("Shop", "", "", version, general));
    On(0, "add", Made("u.kv7tbl"));
    EXPECT_TRUE(Has(On(0, "config list"), "Release|Win32  connection: legacy"));
  }
}

TEST_F(ProjectVerbsTest, MissingItemsBlockSavingUnlessDropped) {
  WriteFile(Path("p/here.kv7tbl"), "--\n");
  const std::string text = Layout(
      Project("Shop", Item(2, "TableFile", "here.kv7tbl") + Item(2, "TableFile", "gone.kv7tbl"),
              Folder(2, "Vanished", "ViewsFolder", "")));
  WriteFile(File(), text);

  const std::string shown = On(0, "show");
  EXPECT_TRUE(Has(shown, "missing: " + Path("p/gone.kv7tbl").string() + "\n")) << shown;
  EXPECT_TRUE(Has(shown, "missing: " + Path("p/Vanished").string() + "\n")) << shown;

  const std::string refused = On(1, "add", Made("new.kv7vw"));
  EXPECT_TRUE(Has(refused, "gone.kv7tbl")) << refused;
  EXPECT_EQ(Saved(), text);
  // A refused verb touches nothing on disk either.
  On(1, "rename", "here.kv7tbl there.kv7tbl");
  On(1, "remove", "here.kv7tbl --delete");
  On(1, "mkdir", "Stray");
  EXPECT_TRUE(std::filesystem::exists(Path("p/here.kv7tbl")));
  EXPECT_FALSE(std::filesystem::exists(Path("p/there.kv7tbl")));
  EXPECT_FALSE(std::filesystem::exists(Path("p/Stray")));
  EXPECT_EQ(Saved(), text);

  On(0, "add", Quote(Path("p/new.kv7vw")) + " --drop-missing");
  EXPECT_TRUE(Has(Saved(), "<Reference>here.kv7tbl</Reference>"));
  EXPECT_TRUE(Has(Saved(), "<Reference>new.kv7vw</Reference>"));
  EXPECT_FALSE(Has(Saved(), "gone.kv7tbl"));
  EXPECT_FALSE(Has(Saved(), "Vanished"));
}

TEST_F(ProjectVerbsTest, BadUsageExitsWithTwo) {
  Expect(0, "new " + Quote(File()));
  const std::string before = Saved();
  Expect(2, "show");
  Expect(2, "new " + Quote(Path("a.kv7p")) + " " + Quote(Path("b.kv7p")));
  On(2, "add");
  On(2, "add", Made("x.kv7tbl") + " --to");
  On(2, "remove", "Tables --bogus");
  On(2, "mkdir", "A --delete");
  EXPECT_EQ(Saved(), before);
  EXPECT_FALSE(fs::exists(Path("a.kv7p")));
}

}  // namespace
}  // namespace kv7::test
