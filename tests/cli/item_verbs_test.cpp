// kv7 new-item, item-settings, config-doc, process-xml and shell, end to
// end.
#include <gtest/gtest.h>

#include "cli/project_cli_test.h"

namespace kv7::test {
namespace {

using ItemVerbsTest = NewProjectCliTest;

TEST_F(ItemVerbsTest, NewItemsGetNamesOfTheirOwnInTheFolderOfTheirKind) {
  EXPECT_TRUE(Has(On(0, "new-item", "view"), "Views/View.kv7vw  (view)"));
  EXPECT_TRUE(Has(On(0, "new-item", "VIEW"), "Views/View1.kv7vw  (view)"));
  EXPECT_TRUE(Has(On(0, "new-item", "orders.kv7tbl"), "Tables/orders.kv7tbl  (table)"));
  EXPECT_TRUE(Has(On(0, "new-item", "orders.kv7tbl"), "Tables/orders1.kv7tbl"));
  EXPECT_TRUE(Has(On(0, "new-item", "'command set'"), "p/Script.kv7cset  (command set)"));
  EXPECT_TRUE(Has(On(0, "new-item", "notes.txt --to Scripts"), "Scripts/notes.txt  (file)"));
  // The folder of a kind is made when the project has none.
  On(0, "remove", "Indexes --delete");
  EXPECT_TRUE(Has(On(0, "new-item", "index"), "Indexes/Index.kv7ind"));
  EXPECT_TRUE(Has(Saved(), "<Reference>Views\\View1.kv7vw</Reference>"));
  EXPECT_TRUE(Has(Saved(), "<Name>Indexes</Name>"));

  const std::string saved = Saved();
  EXPECT_TRUE(Has(On(2, "new-item", "gadget"), "neither a file name nor a kind"));
  EXPECT_TRUE(Has(On(2, "new-item", "'a<b.kv7tbl'"), "'a<b.kv7tbl': the name is not valid"));
  EXPECT_TRUE(Has(On(1, "new-item", "x.kv7tbl --to Nowhere"), "no folder 'Nowhere'"));
  EXPECT_EQ(Saved(), saved);
}

TEST_F(ItemVerbsTest, SettingsAndTheConfigurationDocumentOfAnItem) {
  On(0, "new-item", "place.kv7sp");
  const std::string shown = On(0, "item-settings", "Procedures/place.kv7sp --config Release");
  EXPECT_TRUE(Has(shown, "configuration: Release|Win32\nexclude = false\n"
                         "use-connection-settings = true\n"))
      << shown;
  EXPECT_TRUE(Has(On(2, "item-settings", "Procedures/place.kv7sp --colour blue"),
                  "--exclude, --use-connection-settings, --external-security"));
  On(2, "item-settings", "Procedures/place.kv7sp --exclude perhaps");
  On(0, "new-item", "t.kv7tbl");
  On(2, "item-settings", "Tables/t.kv7tbl --bind-options X");
  EXPECT_TRUE(Has(On(1, "item-settings", "Tables/none.kv7tbl"), "no item 'Tables/none.kv7tbl'"));

  EXPECT_EQ(On(0, "config-doc", "Procedures/place.kv7sp --config Release"),
            "<CONFIG>\r\n\t<STATEMENTSEP>@</STATEMENTSEP>\r\n"
            "\t<BUILDFORDEBUG>FALSE</BUILDFORDEBUG>\r\n</CONFIG>\r\n");
}

TEST_F(ItemVerbsTest, TheShellKeepsSettingsAcrossItsLines) {
  CliRun run = Shell(
      "new-item place.kv7sp\n"
      "# settings last as long as the shell\n"
      "item-settings Procedures/place.kv7sp --use-connection-settings false --bind-options 'Q(1)'\n"
      "config-doc Procedures/place.kv7sp\n"
      "frobnicate\n"
      "item-settings \"unclosed\n"
      "new other/Other.kv7p\n"
      "item-settings Procedures/place.kv7sp\n");
  EXPECT_EQ(run.exit_code, 1) << run.out;
  EXPECT_TRUE(Has(run.out, "\t\t<BIND_OPTIONS>Q(1)</BIND_OPTIONS>\r\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "kv7 shell: line 5: unknown command 'frobnicate'")) << run.out;
  EXPECT_TRUE(Has(run.out, "kv7 shell: line 6: a quote (\") is not closed")) << run.out;
  EXPECT_TRUE(Has(run.out, "kv7 shell: line 7: 'new' is not for the shell")) << run.out;
  // The last line still sees the settings of the third.
  const size_t last = run.out.rfind("configuration: Debug|Win32");
  ASSERT_NE(last, std::string::npos);
  EXPECT_NE(run.out.find("bind-options = Q(1)", last), std::string::npos) << run.out;
  EXPECT_TRUE(Has(Saved(), "<Reference>Procedures\\place.kv7sp</Reference>"));
  // Another run starts without them: they lived with the open project.
  EXPECT_TRUE(Has(On(0, "item-settings", "Procedures/place.kv7sp"), "bind-options = \n"));
}

TEST_F(ItemVerbsTest, ProcessXmlRunsCommandDocuments) {
  WriteFile(Path("commands.xml"),
            "<KV7PROJECT_XML_TO_PROCESS>\n"
            "  <KV7PROJECT_COMMAND><KV7PROJECT_NAME>" + File().string() +
                "</KV7PROJECT_NAME><KV7PROJECT_ACTION>LOAD_EXISTING</KV7PROJECT_ACTION>"
                "</KV7PROJECT_COMMAND>\n"
                "  <KV7FILE_COMMAND><KV7FILE_ACTION>CREATE_AND_ADD_TO_PROJECT</KV7FILE_ACTION>"
                "<KV7PROJECT_NAME>Shop</KV7PROJECT_NAME><KV7FILE_TYPE>sp</KV7FILE_TYPE>"
                "<KV7FILE_NAME>place</KV7FILE_NAME></KV7FILE_COMMAND>\n"
                "  <KV7PROJECT_COMMAND><KV7PROJECT_ACTION>OOPS</KV7PROJECT_ACTION></KV7PROJECT_COMMAND>\n"
                "</KV7PROJECT_XML_TO_PROCESS>\n");
  CliRun run = Kv7("process-xml " + Quote(Path("commands.xml")) + " --contents '-- new'");
  EXPECT_EQ(run.exit_code, 1) << run.out;
  EXPECT_TRUE(Has(run.out, "KV7FILE_COMMAND CREATE_AND_ADD_TO_PROJECT sp place Shop: ok"))
      << run.out;
  EXPECT_TRUE(Has(run.out, "KV7PROJECT_COMMAND OOPS (0x80004005)")) << run.out;
  EXPECT_TRUE(Has(run.out, "in <KV7PROJECT_COMMAND><KV7PROJECT_ACTION>OOPS")) << run.out;
  EXPECT_EQ(ReadFile(Path("p/Procedures/place.kv7sp")), "-- new");
  EXPECT_TRUE(Has(Saved(), "<Reference>Procedures\\place.kv7sp</Reference>"));

  WriteFile(Path("declared.xml"), "<?xml version=\"1.0\"?><KV7PROJECT_XML_TO_PROCESS/>");
  EXPECT_TRUE(Has(Expect(1, "process-xml " + Quote(Path("declared.xml"))), "cannot read the commands"));
  Expect(1, "process-xml " + Quote(Path("none.xml")));
}

}  // namespace
}  // namespace kv7::test
