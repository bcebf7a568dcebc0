// The project file: what is read back is written again in the system's
// layout, older versions are upgraded, and nothing is written when the
// text would not parse.
#include <gtest/gtest.h>

#include "kv7/build/configurations.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/util/connection_strings.h"
#include "kv7/platform/errorinfo.h"
#include "support/project_fixture.h"
#include "support/project_text.h"

namespace kv7::test {
namespace {

using ProjectFileTest = ProjectFixture;

TEST_F(ProjectFileTest, CurrentFileIsWrittenBackByteForByte) {
  // Given a project with every item element, nested and typed folders, an
  // item outside the project and one whose directory differs only in case.
  for (const char* file : {"Top.kv7tbl", "notes.txt", "Objects/v.kv7vw", "Objects/f.kv7udf",
                           "Objects/t.kv7tr", "Objects/Nested/i.kv7ind", "Objects/Nested/s.kv7st",
                           "Objects/Nested/c.kv7cset", "Objects/Nested/u.dat", "Misc/run.kv7"})
    WriteFile(Path("proj") / file, "--\n");
  WriteFile(Path("elsewhere/Abs.kv7sp"), "--\n");
  WriteFile(Path("Proj/Case.kv7tbl"), "--\n");
  const std::string text = Layout(
      Project("Round",
              Item(2, "TableFile", "Top.kv7tbl") + Item(2, "UnknownFile", "notes.txt") +
                  Item(2, "ProcedureFile", Path("elsewhere/Abs.kv7sp").string(), false) +
                  Item(2, "TableFile", Path("Proj/Case.kv7tbl").string(), false),
              Folder(2, "Objects", "ViewsFolder",
                     Item(4, "ViewFile", "Objects\\v.kv7vw") +
                         Item(4, "FunctionFile", "Objects\\f.kv7udf") +
                         Item(4, "TriggerFile", "Objects\\t.kv7tr"),
                     Folder(4, "Nested", "IndexesFolder",
                            Item(6, "IndexFile", "Objects\\Nested\\i.kv7ind") +
                                Item(6, "StatementFile", "Objects\\Nested\\s.kv7st") +
                                Item(6, "CommandSetFile", "Objects\\Nested\\c.kv7cset") +
                                Item(6, "UnknownFile", "Objects\\Nested\\u.dat"))) +
                  Folder(2, "Misc", "UnknownFolder", Item(4, "ScriptFile", "Misc\\run.kv7")),
              " version=\"3\"", kGeneral + kDefaultConfigurations));
  const auto file = Path("proj/Round.kv7p");
  CMyProjectHierarchy* project = OpenText(file, text);
  ASSERT_NE(project, nullptr);

  // Then it loads clean, with each item of its kind and each folder typed.
  EXPECT_FALSE(Dirty(project));
  EXPECT_TRUE(project->GetMissingOnLoad().empty());
  CFileVwFolderNode* nested = project->FindFolder(u"Objects\\Nested");
  ASSERT_NE(nested, nullptr);
  EXPECT_EQ(static_cast<CKV7FolderNode*>(nested)->GetFolderType(), eKV7FolderIndexes);
  EXPECT_EQ(static_cast<CKV7FolderNode*>(project->FindFolder(u"Misc"))->GetFolderType(),
            eKV7FolderOther);
  std::vector<std::string> kinds;
  for (CHierNode* child = nested->FirstChildNoPopulate(); child; child = child->GetNext())
    kinds.push_back(ToUtf8(ItemKindName(static_cast<CFileVwFileNode*>(child))));
  EXPECT_EQ(kinds, (std::vector<std::string>{"index", "statement", "command set", "file"}));

  // When saved unchanged, the file is byte-identical; saving what was
  // saved and read again changes nothing either.
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  EXPECT_EQ(ReadFile(file), text);
  ASSERT_EQ(project->Close(), S_OK);
  CMyProjectHierarchy* again = Open(file);
  ASSERT_NE(again, nullptr);
  ASSERT_EQ(again->Save(nullptr, FALSE, 0), S_OK);
  EXPECT_EQ(ReadFile(file), text);
}

TEST_F(ProjectFileTest, ConfigurationsAndAssemblyRecordsAreWrittenBackByteForByte) {
  // A connection with an enciphered password, a run order, a default
  // configuration and assembly records, all in the written layout.
  WString password = u"s3cret";
  EncryptPassword(password);
  const std::string connection =
      "&lt;DATACONNECTION DBCONNNAME=\"shop\" DBUSER=\"app\" DBPASSWORD=\"" + ToUtf8(password) +
      "\" DATABASE=\"a&amp;amp;b\"/&gt;";
  const std::string configurations = List(
      1, "Configurations",
      Configuration(2, "Debug|Win32", true, connection, {"Tables\\a.kv7tbl", "b.kv7"}) +
          Configuration(2, "Release|Win32", false));
  const std::string extra = "  <DefaultConfiguration>Release|Win32</DefaultConfiguration>\n";
  const std::string assemblies = List(
      1, "AssemblyInfos",
      AssemblyInfo(2, "C:\\lib\\Tools.dll", true, "03/07/2026 14:05:09", "Shop.Tools") +
          AssemblyInfo(2, "/opt/lib/Billing.dll", false, "", ""));
  std::string text = Project("Cfg", "", "", " version=\"3\"", kGeneral + configurations, extra);
  text.insert(text.rfind("</KV7Project>"), assemblies);
  text = Layout(text);
  const auto file = Path("Cfg.kv7p");
  CMyProjectHierarchy* project = OpenText(file, text);
  ASSERT_NE(project, nullptr);
  EXPECT_FALSE(Dirty(project));
  ASSERT_EQ(project->GetActiveProjectConfig(), project->GetCfgProvider()->FindCfg(u"release|win32"));
  CMyProjectCfg* debug = project->GetCfgProvider()->FindCfg(u"Debug|Win32");
  ASSERT_NE(debug, nullptr);
  EXPECT_EQ(debug->get_ConnInfo()->GetPassword(), u"s3cret");
  EXPECT_EQ(debug->get_ConnInfo()->GetDatabase(), u"a&b");
  EXPECT_EQ(debug->GetRunOrder()->GetCount(), 2);
  const CKV7AssemblyInfoList& records = project->GetAssemblyInfoList();
  ASSERT_EQ(records.GetCount(), 2);
  EXPECT_EQ(records.GetAt(0)->GetExternalName(), u"Shop.Tools");
  EXPECT_TRUE(records.GetAt(0)->GetLastInstallSucceeded());
  EXPECT_EQ(records.GetAt(1)->GetFullSourcePath(), u"/opt/lib/Billing.dll");
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  EXPECT_EQ(ReadFile(file), text);
}

TEST_F(ProjectFileTest, AnElementThatOccursTwiceIsReadTwice) {
  WriteFile(Path("two/a.kv7tbl"), "--\n");
  WriteFile(Path("two/b.kv7vw"), "--\n");
  const std::string first =
      "  <Configurations>\n    <Configuration>\n      <Name>Debug</Name>\n"
      "    </Configuration>\n  </Configurations>\n";
  const std::string second =
      "  <Configurations>\n    <Configuration>\n      <Name>Release</Name>\n"
      "    </Configuration>\n  </Configurations>\n";
  std::string text = Project("Two", Item(2, "TableFile", "a.kv7tbl"), "", " version=\"3\"",
                             kGeneral + first + second);
  text.insert(text.rfind("</KV7Project>"),
              List(1, "Files", Item(2, "ViewFile", "b.kv7vw")) +
                  List(1, "AssemblyInfos", AssemblyInfo(2, "/lib/A.dll", false, "", "")) +
                  List(1, "AssemblyInfos", AssemblyInfo(2, "/lib/B.dll", false, "", "")));
  const auto file = Path("two/Two.kv7p");
  CMyProjectHierarchy* project = OpenText(file, Layout(text));
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(ChildNames(project->GetProjectNode()), (std::vector<std::string>{"a.kv7tbl", "b.kv7vw"}));
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  const std::string saved = ReadFile(file);
  EXPECT_NE(saved.find("<Name>Debug</Name>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<Name>Release</Name>"), std::string::npos) << saved;
  // The records of both elements, written back as one.
  ASSERT_EQ(project->GetAssemblyInfoList().GetCount(), 2);
  EXPECT_EQ(project->GetAssemblyInfoList().GetAt(1)->GetFullSourcePath(), u"/lib/B.dll");
  EXPECT_EQ(saved.find("<AssemblyInfos>"), saved.rfind("<AssemblyInfos>")) << saved;
  EXPECT_LT(saved.find("/lib/A.dll"), saved.find("/lib/B.dll")) << saved;
}

TEST_F(ProjectFileTest, AProjectWithoutAssemblyRecordsWritesNoAssemblyInfos) {
  std::string text = Project("None", "", "");
  text.insert(text.rfind("</KV7Project>"), "  <AssemblyInfos>\n  </AssemblyInfos>\n");
  const auto file = Path("None.kv7p");
  CMyProjectHierarchy* project = OpenText(file, Layout(text));
  ASSERT_NE(project, nullptr);
  EXPECT_TRUE(project->GetAssemblyInfoList().IsEmpty());
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  EXPECT_EQ(ReadFile(file).find("AssemblyInfos"), std::string::npos) << ReadFile(file);
}

TEST_F(ProjectFileTest, AFileWhoseRootIsNotAProjectLoadsNothingAndSaysWhatItIs) {
  WriteFile(Path("other.kv7p"), "<?xml version=\"1.0\"?>\n<!-- not ours -->\n<Other/>\n");
  CMyProjectHierarchy* project = Open(Path("other.kv7p"));
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->GetDocumentElementName(), u"Other");
  EXPECT_EQ(project->GetProjectNode()->FirstChildNoPopulate(), nullptr);
}

TEST_F(ProjectFileTest, OlderVersionsLoadDirtyAndTheirConnectionGoesToTheConfigurations) {
  WriteFile(Path("Tables/a.kv7tbl"), "--\n");
  WriteFile(Path("b.kv7"), "--\n");
  // Version 1 and 2 files, written with plain line ends, spaces and "/",
  // whose one connection was the project's.
  const std::string folders =
      Folder(2, "Tables", "TablesFolder", Item(4, "TableFile", "Tables/a.kv7tbl"));
  const std::string files = Item(2, "ScriptFile", "b.kv7");
  std::string general_with_connection = kGeneral;
  general_with_connection.insert(
      general_with_connection.find("    <Scc"),
      "    <ConnInfo>&lt;DATACONNECTION DBCONNNAME=\"legacy\" DBALIAS=\"SALES\"/&gt;</ConnInfo>\n");
  // One configuration read from the file already has a connection of its own.
  const std::string own = "&lt;DATACONNECTION DBCONNNAME=\"own\"/&gt;";
  const std::string configurations =
      List(1, "Configurations", Configuration(2, "Release|Win32", false, own));
  struct Case {
    std::string version;
    LONG expected;
    std::string configurations;
  };
  for (const Case& c : {Case{"", 1, ""}, Case{" version=\"2\"", 2, ""},
                        Case{" version=\"2\"", 2, configurations},
                        Case{" version=\"3\"", 3, ""}}) {
    SCOPED_TRACE(c.expected);
    SCOPED_TRACE(c.configurations);
    const auto file = Path("Old" + std::to_string(c.expected) + ".kv7p");
    CMyProjectHierarchy* project = OpenText(
        file, Project("Whatever", files, folders, c.version, general_with_connection + c.configurations));
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(project->GetFormatVersion(), c.expected);
    EXPECT_EQ(Dirty(project), c.expected < 3);
    ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
    EXPECT_EQ(project->GetFormatVersion(), 3);
    const std::string saved = ReadFile(file);
    EXPECT_EQ(saved.find("<General>\r\n\t\t<SccProjectName>"), saved.find("<General>")) << saved;

    // Read again: every configuration that had no connection has the old
    // project's; version 1 also upgraded it (its alias became its database).
    project = Open(file);
    ASSERT_NE(project, nullptr);
    for (const ComPtr<CMyProjectCfg>& cfg : project->GetCfgProvider()->GetConfigurations()) {
      SCOPED_TRACE(ToUtf8(cfg->GetName()));
      const CKV7ConnInfo& connection = *cfg->get_ConnInfo();
      if (c.expected == 3) {
        EXPECT_TRUE(connection.GetConnName().empty());
      } else if (!c.configurations.empty() && cfg->GetCfgName() == u"Release") {
        EXPECT_EQ(connection.GetConnName(), u"own");
      } else {
        EXPECT_EQ(connection.GetConnName(), u"legacy");
        EXPECT_EQ(connection.GetDatabase(), c.expected == 1 ? u"SALES" : u"");
      }
    }
  }
}

TEST_F(ProjectFileTest, MissingItemsAndFoldersAreReportedAndLeftOut) {
  WriteFile(Path("here.kv7tbl"), "--\n");
  std::filesystem::create_directories(Path("Kept"));
  const std::string text =
      Project("Gaps", Item(2, "TableFile", "gone.kv7tbl") + Item(2, "TableFile", "here.kv7tbl"),
              Folder(2, "Vanished", "TablesFolder", Item(4, "TableFile", "Vanished\\x.kv7tbl")) +
                  Folder(2, "Kept", "ViewsFolder", Item(4, "ViewFile", "Kept\\lost.kv7vw")));
  CMyProjectHierarchy* project = OpenText(Path("Gaps.kv7p"), Layout(text));
  ASSERT_NE(project, nullptr);

  const std::vector<WString> missing{W(Path("gone.kv7tbl")), W(Path("Vanished")),
                                     W(Path("Kept/lost.kv7vw"))};
  EXPECT_EQ(project->GetMissingOnLoad(), missing);
  const auto& boxes = host_.MessageBoxes();
  ASSERT_EQ(boxes.size(), missing.size());
  for (size_t i = 0; i < boxes.size(); ++i)
    EXPECT_NE(boxes[i].text.find(missing[i]), WString::npos) << ToUtf8(boxes[i].text);
  EXPECT_EQ(ChildNames(project->GetProjectNode()),
            (std::vector<std::string>{"here.kv7tbl", "Kept"}));
}

TEST_F(ProjectFileTest, MalformedFileFailsWithItsPositionAndIsNotWritten) {
  const std::string text =
      "<?xml version=\"1.0\"?>\n<KV7Project version=\"3\">\n<Name>x</Nme>\n</KV7Project>\n";
  const auto file = Path("Bad.kv7p");
  WriteFile(file, text);
  ClearErrorInfo();
  HRESULT status = S_OK;
  EXPECT_EQ(Open(file, &status), nullptr);
  EXPECT_EQ(status, E_FAIL);
  HRESULT recorded = S_OK;
  WString description;
  ASSERT_TRUE(GetErrorInfo(&recorded, &description));
  EXPECT_NE(description.find(u"line 3"), WString::npos) << ToUtf8(description);
  EXPECT_NE(description.find(u"position"), WString::npos) << ToUtf8(description);
  EXPECT_EQ(ReadFile(file), text);
}

TEST_F(ProjectFileTest, TextThatWouldNotParseIsNeverWritten) {
  const auto file = Path("Guard.kv7p");
  const std::string text = Layout(Project("Guard", "", ""));
  CMyProjectHierarchy* project = OpenText(file, text);
  ASSERT_NE(project, nullptr);
  CFileVwProjNode* root = project->GetProjectNode();
  for (const char* name : {"fish&chips.txt", "a<b.txt"}) {
    SCOPED_TRACE(name);
    CFileVwFileNode* node = AddFile(project, root, name);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(project->Save(nullptr, FALSE, 0), E_FAIL);
    EXPECT_EQ(ReadFile(file), text);
    EXPECT_TRUE(Dirty(project));
    ASSERT_EQ(root->DeleteNode(node, false), S_OK);
  }
  EXPECT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
}

TEST_F(ProjectFileTest, NameElementDoesNotRenameTheProject) {
  // Given a file copied under another name, its Name element still the old one.
  const auto file = Path("Copy.kv7p");
  CMyProjectHierarchy* project = OpenText(file, Layout(Project("Original", "", "")));
  ASSERT_NE(project, nullptr);
  CComBSTR name;
  ASSERT_EQ(project->get_Name(name.Put()), S_OK);
  EXPECT_EQ(name.ToString(), u"Copy");
  EXPECT_EQ(CMyProjectHierarchy::GlobalFindProjectByName(u"original"), nullptr);
  ASSERT_EQ(project->Save(nullptr, FALSE, 0), S_OK);
  // Then the new base name is saved; no default configuration is written.
  EXPECT_EQ(ReadFile(file),
            Layout(Project("Copy", "", "", " version=\"3\"", kGeneral + kDefaultConfigurations)));
}

}  // namespace
}  // namespace kv7::test
