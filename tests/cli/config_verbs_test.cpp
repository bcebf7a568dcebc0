// kv7 config, run-order and startup, end to end: each run is a new process
// that opens the project, acts on a configuration, saves and closes.
#include <gtest/gtest.h>

#include "cli/project_cli_test.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

namespace fs = std::filesystem;

class ConfigVerbsTest : public NewProjectCliTest {
 protected:
  fs::path Record() const { return Path("p/Shop.kv7builtfiles.xml"); }
};

TEST_F(ConfigVerbsTest, ConfigurationsAreAddedRenamedRemovedAndConnected) {
  EXPECT_EQ(On(0, "config list"), "* Debug|Win32    connection: (none)\n"
                                  "  Release|Win32  connection: (none)\n");
  Expect(0, "connection add shop --type sqlite --database shop.db");
  On(0, "config connection", "debug shop");
  On(0, "config add", "Test --clone Debug");
  On(0, "config rename", "test Staging");
  On(0, "config default", "release");
  EXPECT_EQ(On(0, "config list"), "  Debug|Win32    connection: shop\n"
                                  "* Release|Win32  connection: (none)\n"
                                  "  Staging|Win32  connection: shop\n");
  EXPECT_TRUE(Has(Saved(), "<DefaultConfiguration>Release|Win32</DefaultConfiguration>"));
  EXPECT_TRUE(Has(ReadFile(Record()), "<Configuration val=\"Staging|Win32\">"));

  // Refusals name what is wrong and change neither file.
  const std::string project = Saved(), record = ReadFile(Record());
  EXPECT_TRUE(Has(On(1, "config add", "STAGING"), "'STAGING' exists already"));
  EXPECT_TRUE(Has(On(1, "config add", "New --clone Nowhere"), "no configuration named 'Nowhere'"));
  EXPECT_TRUE(Has(On(1, "config rename", "Staging debug"), "'debug' exists already"));
  EXPECT_TRUE(Has(On(1, "config rename", "Gone Back"), "no configuration named 'Gone'"));
  EXPECT_TRUE(Has(On(1, "config remove", "Gone"), "no configuration named 'Gone'"));
  EXPECT_TRUE(Has(On(1, "config default", "Gone"), "no configuration 'Gone'"));
  EXPECT_TRUE(Has(On(1, "config connection", "Debug nowhere"), "no connection named 'nowhere'"));
  On(2, "config add", "''");
  Expect(2, "config frobnicate " + Quote(File()));
  EXPECT_EQ(Saved(), project);
  EXPECT_EQ(ReadFile(Record()), record);

  On(0, "config remove", "Staging");
  On(0, "config remove", "debug");
  EXPECT_FALSE(Has(ReadFile(Record()), "Staging"));
  EXPECT_TRUE(Has(On(1, "config remove", "Release"), "keeps at least one configuration"));
}

TEST_F(ConfigVerbsTest, TheRunOrderIsEditedByItemAndFollowsRenames) {
  WriteFile(Path("p/Tables/a.kv7tbl"), "--\n");
  WriteFile(Path("p/Views/v.kv7vw"), "--\n");
  On(0, "add", Quote(Path("p/Tables/a.kv7tbl")) + " --to Tables");
  On(0, "add", Quote(Path("p/Views/v.kv7vw")) + " --to Views");
  EXPECT_TRUE(Has(On(0, "run-order", "Debug"), "none (a build deploys every item in tree order)"));
  EXPECT_EQ(On(0, "run-order", "Debug --set Views/v.kv7vw Tables/a.kv7tbl"),
            "run order of Debug|Win32:\n  1. Views\\v.kv7vw\n  2. Tables\\a.kv7tbl\n");
  EXPECT_TRUE(Has(Saved(), "<FileName>Views\\v.kv7vw</FileName>"));

  // An item that is not in the project, or already listed: nothing changes.
  const std::string saved = Saved();
  EXPECT_TRUE(Has(On(1, "run-order", "Debug --add Tables/none.kv7tbl"), "no item 'Tables/none.kv7tbl'"));
  EXPECT_TRUE(Has(On(1, "run-order", "Debug --add Views/v.kv7vw"), "already"));
  EXPECT_TRUE(Has(On(1, "run-order", "Release --remove Views/v.kv7vw"), "not in the run order"));
  On(2, "run-order", "Debug --set");
  On(2, "run-order", "Debug --clear --add Views/v.kv7vw");
  EXPECT_EQ(Saved(), saved);

  // Renamed folders and items keep their places.
  On(0, "rename", "Views Shown");
  On(0, "rename", "Tables/a.kv7tbl b.kv7tbl");
  EXPECT_EQ(On(0, "run-order", "Debug"),
            "run order of Debug|Win32:\n  1. Shown\\v.kv7vw\n  2. Tables\\b.kv7tbl\n");
  On(0, "remove", "Tables/b.kv7tbl");
  EXPECT_TRUE(Has(On(0, "run-order", "Debug"), "2. Tables\\b.kv7tbl  (names no item of the project)"));
  On(0, "run-order", "Debug --remove Shown/v.kv7vw");
  EXPECT_EQ(On(0, "run-order", "Debug --clear"),
            "run order of Debug|Win32: none (a build deploys every item in tree order)\n");
}

TEST_F(ConfigVerbsTest, StartupSettingsKeepMarkupCharactersThroughSaveAndReload) {
  On(0, "startup", "Debug app.place_order --param 'customer=<42 & more>' --param qty=3 "
                   "--build-for-debug false");
  const std::string shown = On(0, "startup", "Debug");
  EXPECT_TRUE(Has(shown, "startup procedure: app.place_order\n")) << shown;
  EXPECT_TRUE(Has(shown, "  IN customer = <42 & more>\n")) << shown;
  EXPECT_TRUE(Has(shown, "  IN qty = 3\n")) << shown;
  EXPECT_TRUE(Has(shown, "build for debug: false\n")) << shown;
  On(0, "startup", "Debug --param qty=4");
  EXPECT_TRUE(Has(On(0, "startup", "Debug"), "  IN qty = 4\n"));
  const std::string listed = On(0, "show");
  EXPECT_TRUE(Has(listed, "startup procedure: app.place_order")) << listed;
  On(2, "startup", "Debug --param novalue");
  On(2, "startup", "Debug --build-for-debug maybe");
  EXPECT_TRUE(Has(On(1, "startup", "Nightly"), "no configuration 'Nightly'"));
}

TEST_F(ConfigVerbsTest, ARecordThatDoesNotParseIsReportedAndKeptUntilTheNextSave) {
  WriteFile(Record(), "<KV7ProjectBuiltFiles version=\"1\"><Configurations>");
  const std::string shown = On(0, "show");
  EXPECT_TRUE(Has(shown, "could not be read")) << shown;
  EXPECT_TRUE(Has(shown, Record().string())) << shown;
  EXPECT_TRUE(Has(shown, "built items: 0")) << shown;
  EXPECT_EQ(ReadFile(Record()), "<KV7ProjectBuiltFiles version=\"1\"><Configurations>");
  On(0, "config add", "Test");
  EXPECT_TRUE(Has(ReadFile(Record()), "<Configuration val=\"Test|Win32\">"));
}

}  // namespace
}  // namespace kv7::test
