// kv7 options and kv7 log, end to end: each run is a new process, so what
// one run sets, the next reads from the options document or the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "cli/project_cli_test.h"
#include "support/test_support.h"

namespace kv7::test {
namespace {

using OptionsVerbsTest = ProjectCliTest;

TEST_F(OptionsVerbsTest, ListsShowsAndSetsOptionsThroughTheDocument) {
  std::string list = Expect(0, "options");
  EXPECT_EQ(list.rfind("HideExt = false\nStatementSeparator = @\nPromptForConfig = true\n", 0), 0u);
  for (const char* line : {"\nDialogFontSize = 9.00\n", "\nMaxRowsToPreview = 100\n",
                           "\nDefaultOwner = (none)\n", "\nDebuggingLoggingEnabled = false\n"})
    EXPECT_NE(list.find(line), std::string::npos) << line;
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 29);

  EXPECT_EQ(Expect(0, "options hideext TRUE"), "HideExt = true\n");
  EXPECT_EQ(Expect(0, "options HIDEEXT"), "HideExt = true\n");
  EXPECT_EQ(Expect(0, "options MaxRowsToPreview 250.9"), "MaxRowsToPreview = 250\n");
  EXPECT_EQ(Expect(0, "options DefaultOwner dbo"), "DefaultOwner = dbo\n");
  EXPECT_EQ(Expect(0, "options StatementSeparator ''"),
            "StatementSeparator cleared: it reads as its default, @\n");
  EXPECT_NE(ReadFile(Path("home/options.xml")).find("<StatementSeparator val=\"\"/>"),
            std::string::npos);
  EXPECT_EQ(Expect(0, "options DefaultOwner ''"), "DefaultOwner cleared: it has no value now\n");
  EXPECT_NE(ReadFile(Path("home/options.xml")).find("<MaxRows val=\"250\"/>"), std::string::npos);

  // Refusals leave the document as it was.
  std::string unknown = Expect(1, "options Nope 1");
  EXPECT_NE(unknown.find("kv7 options: no option 'Nope'"), std::string::npos);
  EXPECT_NE(unknown.find("HideExt, StatementSeparator"), std::string::npos);
  EXPECT_NE(Expect(2, "options HideExt yes").find("'yes'"), std::string::npos);
  EXPECT_NE(Expect(2, "options Timeout 12abc").find("'12abc'"), std::string::npos);
  Expect(2, "options MaxRowsToPreview abc");
  Expect(2, "options MaxRowsToPreview -5");
  Expect(2, "options Timeout -1");
  Expect(2, "options HideExt ''");
  EXPECT_NE(Expect(1, "options PromptForConfig false").find("PromptForConfig"), std::string::npos);
  EXPECT_NE(Expect(1, "options SaveUserInfo false").find("SaveUserAndPassword"), std::string::npos);
  Expect(2, "options HideExt true extra");
  EXPECT_EQ(Expect(0, "options HideExt"), "HideExt = true\n");
  EXPECT_EQ(Expect(0, "options Timeout"), "Timeout = 30\n");
}

TEST_F(OptionsVerbsTest, AReadOnlyOptionsDocumentIsLeftAsItIs) {
  Expect(0, "options HideExt true");
  const auto document = Path("home/options.xml");
  const std::string before = ReadFile(document);
  std::filesystem::permissions(document, std::filesystem::perms::owner_read);
  std::string refused = Expect(1, "options HideExt false");
  EXPECT_NE(refused.find("cannot write " + document.string() + ": the file is read-only"),
            std::string::npos)
      << refused;
  EXPECT_EQ(refused.find("userOptions"), std::string::npos) << refused;
  EXPECT_EQ(ReadFile(document), before);
  EXPECT_EQ(Expect(0, "options HideExt"), "HideExt = true\n");
}

TEST_F(OptionsVerbsTest, HidingExtensionsChangesItemCaptions) {
  WriteFile(Path("proj/Orders.kv7tbl"), "--\n");
  Expect(0, "new " + Quote(Path("proj/Sales.kv7p")));
  Expect(0, "add " + Quote(Path("proj/Sales.kv7p")) + " " + Quote(Path("proj/Orders.kv7tbl")));
  EXPECT_NE(Expect(0, "show " + Quote(Path("proj/Sales.kv7p"))).find(" Orders.kv7tbl  ("),
            std::string::npos);
  Expect(0, "options HideExt true");
  std::string shown = Expect(0, "show " + Quote(Path("proj/Sales.kv7p")));
  EXPECT_NE(shown.find(" Orders  ("), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Orders.kv7tbl"), std::string::npos);
}

TEST_F(OptionsVerbsTest, LogIsSwitchedInTheRegistryAndTakesALinePerRun) {
  EXPECT_EQ(Expect(0, "log"), "logging: off\n");
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir());
  std::string refused = Expect(1, "log on logs/kv7.log");
  std::filesystem::create_directories(Path("logs"));
  std::string on = Expect(0, "log on logs/kv7.log");
  std::filesystem::current_path(previous);
  EXPECT_NE(refused.find("cannot write " + Path("logs/kv7.log").string() +
                         ": no such file or directory"),
            std::string::npos)
      << refused;
  const std::string state = "logging: on\nfile: " + Path("logs/kv7.log").string() + "\n";
  EXPECT_EQ(on, state);
  EXPECT_EQ(Expect(0, "log"), state);
  Expect(0, "new " + Quote(Path("p/P.kv7p")));
  Expect(1, "add " + Quote(Path("p/P.kv7p")) + " " + Quote(Path("p/none.kv7tbl")));
  Expect(2, "options HideExt maybe");
  EXPECT_EQ(Expect(0, "log off"), "logging: off\n");
  EXPECT_EQ(Expect(0, "log"), "logging: off\n");

  // One CR LF line per run while the log was on, then the closing zero byte.
  const std::string log = ReadFile(Path("logs/kv7.log"));
  const std::string project = Path("p/P.kv7p").string();
  for (const std::string& line : std::vector<std::string>{
           "kv7 log: ok\r\n", "kv7 new " + project + ": ok\r\n",
        "kv7 add " + project + ": failed\r\n", "kv7 options: bad usage\r\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5) << log;
  EXPECT_EQ(log.back(), '\0');

  Expect(2, "log on");
  Expect(2, "log sideways");
  EXPECT_NE(Expect(2, "log on /" + std::string(300, 'x')).find("kv7 log: "), std::string::npos);
}

}  // namespace
}  // namespace kv7::test
