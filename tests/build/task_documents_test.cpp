// Project command documents run against the open projects and the IDE's
// solution, and the configuration documents that deployments send.
#include <gtest/gtest.h>

#include "kv7/build/configurations.h"
#include "kv7/build/task_documents.h"
#include "kv7/document/built_files.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/options/global_options.h"
#include "support/project_fixture.h"

namespace kv7::test {
namespace {

class TaskDocumentsTest : public ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    // The project type, as the package registers it with the IDE.
    ComPtr<IVsRegisterProjectTypes> types;
    ASSERT_EQ(QueryServiceFor(host_.ServiceProvider(), SID_SVsRegisterProjectTypes, &types), S_OK);
    ASSERT_EQ(types->RegisterProjectType(GUID_MyProjectType, MakeCom<CMyProjectFactory>().Get(),
                                         &cookie_),
              S_OK);
  }
  // Runs a command document; the status of each command in `statuses`.
  HRESULT Run(const std::string& commands, std::vector<HRESULT>* statuses = nullptr,
              const char16_t* contents = u"") {
    CKV7PrjXMLParser parser;
    HRESULT hr = parser.Parse(FromUtf8("<KV7PROJECT_XML_TO_PROCESS>" + commands +
                                       "</KV7PROJECT_XML_TO_PROCESS>")
                                  .c_str());
    if (FAILED(hr)) return hr;
    return parser.Execute(contents, [statuses](const CKV7PrjXMLParserCmd&, HRESULT status) {
      if (statuses) statuses->push_back(status);
    });
  }
  static std::string ProjectCommand(const std::string& action, const std::string& name = "",
                                    const std::string& more = "") {
    return "<KV7PROJECT_COMMAND><KV7PROJECT_ACTION>" + action + "</KV7PROJECT_ACTION>" +
           "<KV7PROJECT_NAME>" + name + "</KV7PROJECT_NAME>" + more + "</KV7PROJECT_COMMAND>";
  }
  static std::string FileCommand(const std::string& project, const std::string& type,
                                 const std::string& more = "") {
    return "<kv7file_command><KV7FILE_ACTION>create_and_add_to_project</KV7FILE_ACTION>"
           "<KV7PROJECT_NAME>" + project + "</KV7PROJECT_NAME><KV7FILE_TYPE>" + type +
           "</KV7FILE_TYPE>" + more + "</kv7file_command>";
  }
  CMyProjectHierarchy* Opened(const std::u16string& name) {
    return CMyProjectHierarchy::GlobalFindProjectByName(name);
  }

  DWORD cookie_ = 0;
};

TEST_F(TaskDocumentsTest, ProjectCommandsCreateOpenAndListProjects) {
  // With no project open, the names document holds the empty list.
  const std::string names = Path("names.xml").string();
  ASSERT_EQ(Run(ProjectCommand("GETALLDBPROJECTNAMES", "",
                               "<KV7OUTPUTFILE_NAME>" + names + "</KV7OUTPUTFILE_NAME>")),
            S_OK);
  EXPECT_EQ(ReadFile(Path("names.xml")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<ALLKV7PROJECTNAMES>\r\n"
            "</ALLKV7PROJECTNAMES>\r\n");

  // A new project in a folder of its own takes the connection handed in.
  const std::string created = Path("made/Made.kv7p").string();
  ASSERT_EQ(Run(ProjectCommand("create_new", created,
                               "<DATACONNECTION DBCONNNAME=\"shop\" DATABASE=\"s.db\"/>")),
            S_OK);
  CMyProjectHierarchy* made = Opened(u"Made");
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->GetActiveConnInfo()->GetConnName(), u"shop");
  EXPECT_TRUE(std::filesystem::exists(created));
  EXPECT_NE(made->FindDefaultFolderByType(eKV7FolderTables, false), nullptr);
  // ... and refuses a folder that exists.
  EXPECT_EQ(Run(ProjectCommand("CREATE_NEW", created)),
            HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));

  // An existing project opens once; a name that is no path opens nothing.
  Create(Path("old"), u"Old.kv7p")->Save(nullptr, FALSE, 0);
  projects_.back()->Close();
  ASSERT_EQ(Opened(u"Old"), nullptr);
  const std::string old = Path("old/Old.kv7p").string();
  std::vector<HRESULT> statuses;
  ASSERT_EQ(Run(ProjectCommand("LOAD_EXISTING", old) + ProjectCommand("LOAD_EXISTING", old) +
                    ProjectCommand("LOAD_EXISTING", "Old"),
                &statuses),
            S_OK);
  EXPECT_EQ(statuses, (std::vector<HRESULT>{S_OK, S_OK, S_OK}));
  ASSERT_NE(Opened(u"Old"), nullptr);
  EXPECT_EQ(host_.Projects().size(), 2u);

  // A failing command stops the run: the later ones do not run.
  statuses.clear();
  const std::string later = Path("later.xml").string();
  EXPECT_EQ(Run(ProjectCommand("LOAD_EXISTING", old) + ProjectCommand("FROBNICATE") +
                    ProjectCommand("GETALLDBPROJECTNAMES", "",
                                   "<KV7OUTPUTFILE_NAME>" + later + "</KV7OUTPUTFILE_NAME>"),
                &statuses),
            E_FAIL);
  EXPECT_EQ(statuses, (std::vector<HRESULT>{S_OK, E_FAIL}));
  EXPECT_FALSE(std::filesystem::exists(later));
  // Listing names needs a file to write to.
  EXPECT_EQ(Run(ProjectCommand("GETALLDBPROJECTNAMES")), E_FAIL);
  ASSERT_EQ(Run(ProjectCommand("GETALLDBPROJECTNAMES", "",
                               "<KV7OUTPUTFILE_NAME>" + names + "</KV7OUTPUTFILE_NAME>")),
            S_OK);
  EXPECT_NE(ReadFile(Path("names.xml")).find("\t<PROJECTNAME>Old</PROJECTNAME>\r\n"),
            std::string::npos);

  // A document that carries its own declaration, or another root, does not load.
  CKV7PrjXMLParser parser;
  EXPECT_EQ(parser.Parse(u"<?xml version=\"1.0\"?><KV7PROJECT_XML_TO_PROCESS/>"), E_FAIL);
  EXPECT_EQ(parser.Parse(u"<OTHER/>"), E_FAIL);
  EXPECT_EQ(parser.GetCount(), 0u);
}

TEST_F(TaskDocumentsTest, FileCommandsCreateItemsInTheFolderOfTheirKind) {
  CMyProjectHierarchy* project = Create(Path("p"), u"Shop.kv7p");
  ASSERT_NE(project, nullptr);
  std::vector<HRESULT> statuses;
  ASSERT_EQ(Run(FileCommand("Shop", "sp", "<KV7FILE_NAME>place</KV7FILE_NAME>") +
                    FileCommand(Path("p/Shop.kv7p").string(), "sp",
                                "<KV7FILE_NAME>place</KV7FILE_NAME>"
                                "<KV7FILE_CONTENTS>create procedure x</KV7FILE_CONTENTS>") +
                    FileCommand("Shop", "Gadget") +
                    FileCommand("Shop", "VIEW", "<KV7FILE_GENERATENAME>NO</KV7FILE_GENERATENAME>") +
                    FileCommand("Shop", "TABLE",
                                "<KV7FILE_NAME>t</KV7FILE_NAME>"
                                "<KV7FILE_TARGETFOLDERNAME>Views</KV7FILE_TARGETFOLDERNAME>"),
                &statuses, u"-- default"),
            S_OK);
  EXPECT_EQ(statuses.size(), 5u);
  EXPECT_EQ(ReadFile(Path("p/Procedures/place.kv7sp")), "-- default");
  EXPECT_EQ(ReadFile(Path("p/Procedures/place1.kv7sp")), "create procedure x");
  EXPECT_TRUE(std::filesystem::exists(Path("p/Scripts/Script.kv7")));
  EXPECT_TRUE(std::filesystem::exists(Path("p/Views/t.kv7tbl")));
  EXPECT_EQ(ChildNames(project->FindFolder(u"Views")), std::vector<std::string>{"t.kv7tbl"});
  EXPECT_EQ(ChildNames(project->FindFolder(u"Procedures")),
            (std::vector<std::string>{"place.kv7sp", "place1.kv7sp"}));

  statuses.clear();
  EXPECT_EQ(Run(FileCommand("Nowhere", "sp"), &statuses), E_FAIL);
  EXPECT_EQ(Run(FileCommand("Shop", "sp", "<KV7FILE_TARGETFOLDERNAME>None</KV7FILE_TARGETFOLDERNAME>")),
            E_NOTIMPL);
  EXPECT_EQ(Run("<KV7FILE_COMMAND><KV7FILE_ACTION>CREATE_ONLY</KV7FILE_ACTION></KV7FILE_COMMAND>"),
            E_NOTIMPL);
  EXPECT_EQ(Run("<KV7FILE_COMMAND><KV7FILE_ACTION>OTHER</KV7FILE_ACTION></KV7FILE_COMMAND>"), E_FAIL);

  WString extension;
  CeKV7FolderInfoType type = eKV7FolderOther;
  MapKV7FileType(u"udf", true, &extension, &type);
  EXPECT_EQ(extension, u".kv7udf");
  EXPECT_EQ(type, eKV7FolderFunctions);
  MapKV7FileType(u"nonsense", false, &extension, &type);
  EXPECT_EQ(extension, u"kv7");
  EXPECT_EQ(type, eKV7FolderScripts);
}

TEST_F(TaskDocumentsTest, ConfigurationDocumentsCarryWhatEachKindSends) {
  CMyProjectHierarchy* project = Create(Path("p"), u"Shop.kv7p");
  ASSERT_NE(project, nullptr);
  auto add = [&](const char* name) {
    return static_cast<CKV7ObjectFileNode*>(AddFile(project, nullptr, std::string("p/") + name));
  };
  CKV7ObjectFileNode* procedure = add("p.kv7sp");
  CKV7ObjectFileNode* function = add("f.kv7udf");
  CKV7ObjectFileNode* table = add("t.kv7tbl");
  CMyProjectCfg* debug = project->GetCfgProvider()->FindCfg(u"Debug|Win32");
  CMyProjectCfg* release = project->GetCfgProvider()->FindCfg(u"Release|Win32");
  const std::string no_options = "<CONFIG>\r\n\t<STATEMENTSEP>@</STATEMENTSEP>\r\n"
                                 "\t<BUILDFORDEBUG>TRUE</BUILDFORDEBUG>\r\n</CONFIG>\r\n";
  auto document = [&](CKV7ObjectFileNode* item, CMyProjectCfg* cfg) {
    WString text;
    EXPECT_EQ(BuildConfigurationDocument(item, cfg, text), S_OK);
    return ToUtf8(text);
  };
  // No settings yet, or a procedure that takes its connection's: no options.
  EXPECT_EQ(document(procedure, debug), no_options);
  ASSERT_EQ(procedure->EditSetting(u"Debug|Win32", CeKV7Setting::kBindOptions, u"Q"), S_OK);
  EXPECT_EQ(document(procedure, debug), no_options);
  ASSERT_EQ(table->EditSetting(u"Debug|Win32", CeKV7Setting::kExcludeFromBuild, u"false"), S_OK);
  EXPECT_EQ(document(table, debug), no_options);

  const std::string options =
      "\t<OSM77OPTIONS>\r\n\t\t<EXTERNAL_SECURITY></EXTERNAL_SECURITY>\r\n"
      "\t\t<BUILD_OWNER></BUILD_OWNER>\r\n\t\t<PRECOMPILE_OPTIONS></PRECOMPILE_OPTIONS>\r\n"
      "\t\t<LINK_OPTIONS></LINK_OPTIONS>\r\n\t\t<BIND_OPTIONS>Q</BIND_OPTIONS>\r\n"
      "\t\t<PRELINK_OPTIONS></PRELINK_OPTIONS>\r\n\t\t<COMPILE_OPTIONS></COMPILE_OPTIONS>\r\n"
      "\t\t<SELECTED_BUILT_UTILITY></SELECTED_BUILT_UTILITY>\r\n"
      "\t\t<OSM77BUILD_UTILITYLIST>\r\n\t\t\t<BUILD_UTILITY_NAME>U</BUILD_UTILITY_NAME>\r\n"
      "\t\t</OSM77BUILD_UTILITYLIST>\r\n\t</OSM77OPTIONS>\r\n";
  ASSERT_EQ(procedure->EditSetting(u"Debug|Win32", CeKV7Setting::kUseConnectionSettings, u"false"),
            S_OK);
  ASSERT_EQ(procedure->EditSetting(u"Debug|Win32", CeKV7Setting::kBuildUtilities, u"U"), S_OK);
  EXPECT_EQ(document(procedure, debug),
            "<CONFIG>\r\n\t<STATEMENTSEP>@</STATEMENTSEP>\r\n" + options +
                "\t<BUILDFORDEBUG>TRUE</BUILDFORDEBUG>\r\n</CONFIG>\r\n");
  // A function always sends its options; the separator is the global option's.
  ASSERT_EQ(function->EditSetting(u"Release|Win32", CeKV7Setting::kBindOptions, u"Q"), S_OK);
  ASSERT_EQ(function->EditSetting(u"Release|Win32", CeKV7Setting::kBuildUtilities, u"U"), S_OK);
  CKV7GlobalOptionsClass* global = GetKV7GlobalOptions();
  ASSERT_EQ(global->SetStatementSeparator(CComBSTR(u"GO").Get()), S_OK);
  EXPECT_EQ(document(function, release),
            "<CONFIG>\r\n\t<STATEMENTSEP>GO</STATEMENTSEP>\r\n" + options +
                "\t<BUILDFORDEBUG>FALSE</BUILDFORDEBUG>\r\n</CONFIG>\r\n");
  ASSERT_EQ(global->SetStatementSeparator(CComBSTR(u"").Get()), S_OK);
  EXPECT_EQ(document(table, debug), no_options);
  ASSERT_EQ(global->SetStatementSeparator(CComBSTR(u"@").Get()), S_OK);
}

}  // namespace
}  // namespace kv7::test
