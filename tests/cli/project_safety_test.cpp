// What the project verbs refuse so that nothing that is not theirs is
// overwritten: files that are not projects, files of a newer format, files
// the user may not write, and a second entry for one file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "cli/project_cli_test.h"
#include "support/project_text.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

namespace fs = std::filesystem;

class ProjectSafetyTest : public ProjectCliTest {
 protected:
  static ino_t Inode(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  }
};

TEST_F(ProjectSafetyTest, AnXmlFileThatIsNotAProjectIsRefusedByEveryVerb) {
  WriteFile(File(), "<Other/>\n");
  Made("t.kv7tbl");
  for (const char* verb : {"show", "add", "mkdir", "rename", "remove", "upgrade"}) {
    std::string arguments = std::string(verb) == "add" ? Quote(Path("p/t.kv7tbl"))
                            : std::string(verb) == "rename" ? "t.kv7tbl u.kv7tbl"
                            : std::string(verb) == "mkdir" || std::string(verb) == "remove"
                                ? "Stuff"
                                : "";
    EXPECT_TRUE(Has(On(1, verb, arguments), "not a project file: its root is Other")) << verb;
  }
  EXPECT_EQ(Saved(), "<Other/>\n");
  EXPECT_FALSE(fs::exists(Path("p/Stuff")));
}

TEST_F(ProjectSafetyTest, AFileIsInTheProjectOnce) {
  Expect(0, "new " + Quote(File()));
  const std::string table = Made("Tables/o.kv7tbl");
  On(0, "add", table + " --to Tables");
  const std::string saved = Saved();
  EXPECT_TRUE(Has(On(1, "add", table), "it is in the project already, in folder Tables"));
  EXPECT_TRUE(Has(On(1, "add", table + " --to Views"), "in folder Tables"));
  // Twice in one command: the second is refused and nothing is saved.
  const std::string view = Made("v.kv7vw");
  EXPECT_TRUE(Has(On(1, "add", view + " " + view), "at the project's top level"));
  // Another file of the same name would stand beside it in the folder.
  WriteFile(Path("elsewhere/o.kv7tbl"), "--\n");
  EXPECT_TRUE(Has(On(1, "add", Quote(Path("elsewhere/o.kv7tbl")) + " --to Tables"),
                  "in folder Tables there is an item named o.kv7tbl already"));
  EXPECT_EQ(Saved(), saved);
}

TEST_F(ProjectSafetyTest, AProjectFileTheUserCannotWriteIsNeverReplaced) {
  Expect(0, "new " + Quote(File()));
  const std::string item = Made("x.kv7tbl");
  const std::string saved = Saved();
  const ino_t inode = Inode(File());

  fs::permissions(File(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_TRUE(Has(On(1, "add", item), "cannot change " + File().string() + ": the file is read-only"));
  EXPECT_TRUE(Has(On(1, "mkdir", "Stuff"), "read-only"));
  EXPECT_FALSE(fs::exists(Path("p/Stuff")));
  EXPECT_EQ(Inode(File()), inode);
  EXPECT_EQ(Saved(), saved);

  // Writable to its owner only: another user may read it but not change it.
  fs::permissions(File(), fs::perms::owner_write, fs::perm_options::add);
  bool skipped = false;
  CliRun as_nobody = Kv7AsNobody("add " + Quote(File()) + " " + item, &skipped);
  if (skipped) GTEST_SKIP() << "switching to an unprivileged user needs root";
  EXPECT_EQ(as_nobody.exit_code, 1) << as_nobody.out;
  EXPECT_TRUE(Has(as_nobody.out, "cannot change " + File().string() + ": permission denied"))
      << as_nobody.out;
  EXPECT_EQ(Inode(File()), inode);
  EXPECT_EQ(Saved(), saved);

  // Unreadable: the reason names the file, never a parser position.
  fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
  CliRun unreadable = Kv7AsNobody("show " + Quote(File()), &skipped);
  EXPECT_EQ(unreadable.exit_code, 1);
  EXPECT_TRUE(Has(unreadable.out, "cannot read " + File().string() + ": permission denied"))
      << unreadable.out;
  EXPECT_FALSE(Has(unreadable.out, "line 0")) << unreadable.out;
}

TEST_F(ProjectSafetyTest, AFileOfANewerFormatOpensForReadingOnly) {
  Made("t.kv7tbl");
  const std::string newer =
      Layout(Project("Shop", Item(2, "TableFile", "t.kv7tbl"), "", " version=\"7\""));
  WriteFile(File(), newer);
  const std::string shown = On(0, "show");
  EXPECT_TRUE(Has(shown, "format version: 7 (newer than this kv7 writes: read only)")) << shown;
  EXPECT_TRUE(Has(shown, "t.kv7tbl  (table)")) << shown;
  EXPECT_TRUE(Has(On(1, "add", Made("u.kv7tbl")), "its format version 7 is newer"));
  On(1, "upgrade");
  On(1, "rename", "t.kv7tbl v.kv7tbl");
  EXPECT_TRUE(fs::exists(Path("p/t.kv7tbl")));
  EXPECT_EQ(Saved(), newer);

  // A current file is left as it is by upgrade.
  Expect(0, "new " + Quote(Path("q/Q.kv7p")));
  const std::string current = ReadFile(Path("q/Q.kv7p"));
  EXPECT_TRUE(Has(Expect(0, "upgrade " + Quote(Path("q/Q.kv7p"))), "at version 3 already"));
  EXPECT_EQ(ReadFile(Path("q/Q.kv7p")), current);
}

TEST_F(ProjectSafetyTest, NewTakesOnlyProjectFileNames) {
  for (const char* name : {".kv7p", "x/y.txt", "x/y"})
    EXPECT_TRUE(Has(Expect(2, "new " + Quote(Path(name))), "NAME.kv7p")) << name;
  EXPECT_FALSE(fs::exists(Path(".kv7p")));
  EXPECT_FALSE(fs::exists(Path("x")));
  Expect(0, "new " + Quote(Path("z/Upper.KV7P")));
  EXPECT_TRUE(Has(ReadFile(Path("z/Upper.KV7P")), "<Name>Upper</Name>"));
}

TEST_F(ProjectSafetyTest, RenameSaysWhenAnItemChangesKind) {
  Expect(0, "new " + Quote(File()));
  On(0, "add", Made("Tables/o.kv7tbl") + " --to Tables");
  std::string renamed = On(0, "rename", "Tables/o.kv7tbl o");
  EXPECT_TRUE(Has(renamed, "the item was a table and is a file from now on")) << renamed;
  EXPECT_TRUE(Has(On(0, "show"), "o  (file)"));
  EXPECT_FALSE(Has(On(0, "rename", "Tables/o p"), "note:"));
}

}  // namespace
}  // namespace kv7::test
