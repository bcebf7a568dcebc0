#include "kv7/build/task_documents.h"

#include <algorithm>

#include "kv7/build/configurations.h"
#include "kv7/build/item_settings.h"
#include "kv7/document/debugging_info.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/options/global_options.h"
#include "kv7/package/package_site.h"
#include "kv7/package/project_factory.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/utilities.h"
#include "kv7/util/xml_helpers.h"

namespace {

// The declaration the parser puts before a command document.
constexpr char16_t kCommandDeclaration[] = u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";

// The project command documents' answers are written under this template
// below the templates directory the project type registered.
constexpr char16_t kProjectTemplateName[] = u"KV7PrjProjects\\KV7Project.kv7p";

// A project named in a command: a full path gives its file name without
// extension; any other text is the name itself.
WString ProjectNameOf(WStringView name) {
  return WString(IsFullPathName(name) ? BaseNameOf(FileNameOf(name)) : name);
}

// Writes an answer document (UTF-8, as its declaration says) to a file.
HRESULT WriteAnswer(WStringView path, const WString& text) {
  HRESULT hr = kv7::WriteFileBytes(path, kv7::ToUtf8(text));
  return FAILED(hr) ? kv7::ReportFileError(hr, u"write", path) : S_OK;
}

// The words that are not empty, parted by blanks.
WString JoinWords(std::initializer_list<WStringView> words) {
  WString joined;
  for (WStringView word : words)
    if (!word.empty()) joined.append(joined.empty() ? u"" : u" ").append(word);
  return joined;
}

WString DeclarationLine() {
  WString declaration;
  (void)GetXMLEncoding(declaration);
  return declaration + u"\r\n";
}

}  // namespace

// ---- Commands -------------------------------------------------------------

CKV7PrjXMLParserCmd::~CKV7PrjXMLParserCmd() = default;

HRESULT CKV7PrjXMLParserCmd::ReadFields(IXMLDOMNode* element, const char16_t* const* names,
                                        WString* const* fields, size_t count) {
  CComBSTR xml;
  if (SUCCEEDED(element->get_xml(xml.Put()))) element_xml_ = xml.ToString();
  return ForEachChildElement(element, nullptr, [&](IXMLDOMNode* child) {
    const WString name = GetNodeName(child);
    for (size_t i = 0; i < count; ++i) {
      if (!kv7::EqualsNoCase(name, names[i])) continue;
      CComBSTR value;
      // The connection is a DATACONNECTION element; every other field is text.
      (void)(kv7::EqualsNoCase(name, u"DATACONNECTION") ? child->get_xml(value.Put())
                                                         : child->get_text(value.Put()));
      *fields[i] = value.ToString();
    }
    return S_OK;
  });
}

HRESULT CKV7PrjXMLCmd::Parse(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CKV7PrjXMLCmd::Parse", 2, "KV7PrjXMLCmd");
  static constexpr const char16_t* kNames[] = {u"KV7PROJECT_NAME", u"KV7PROJECT_ACTION",
                                               u"KV7COMMAND_ID", u"DATACONNECTION",
                                               u"KV7OUTPUTFILE_NAME"};
  WString* const fields[] = {&projectName, &projectAction, &commandId, &connection, &outputFile};
  return KV7_TRACE_RETURN(ReadFields(element, kNames, fields, std::size(kNames)));
}

HRESULT CKV7PrjXMLCmd::Execute(const char16_t*) {
  KV7_TRACE_ENTRY("CKV7PrjXMLCmd::Execute", 2, "KV7PrjXMLCmd");
  if (kv7::EqualsNoCase(projectAction, u"CREATE_NEW")) return KV7_TRACE_RETURN(CreateNew());
  if (kv7::EqualsNoCase(projectAction, u"LOAD_EXISTING")) return KV7_TRACE_RETURN(LoadExisting());
  if (kv7::EqualsNoCase(projectAction, u"GETALLDBPROJECTNAMES"))
    return KV7_TRACE_RETURN(WriteProjectNames());
  if (kv7::EqualsNoCase(projectAction, u"GETKV7PROJECTMETADATA"))
    return KV7_TRACE_RETURN(WriteProjectMetadata());
  return KV7_TRACE_RETURN(E_FAIL);
}

WString CKV7PrjXMLCmd::Describe() const {
  return JoinWords({u"KV7PROJECT_COMMAND", projectAction, projectName});
}

HRESULT CKV7PrjXMLCmd::CreateNew() {
  const WString folder(DirectoryWithSlash(projectName));
  const WString name(BaseNameOf(FileNameOf(projectName)));
  if (folder.empty() || name.empty()) return E_FAIL;
  // A new project needs a folder of its own.
  if (kv7::DirectoryExists(folder) || kv7::FileExists(folder))
    return kv7::ReportFileError(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), u"create", folder);
  HRESULT hr = kv7::CreateDirectories(folder);
  if (FAILED(hr)) return kv7::ReportFileError(hr, u"create", folder);
  ComPtr<IVsSolution> solution;
  CComBSTR template_file;
  hr = QueryPackageService(SID_SVsSolution, &solution);
  if (SUCCEEDED(hr)) hr = solution->GetProjectTemplateFile(kProjectTemplateName, template_file.Put());
  if (SUCCEEDED(hr)) hr = solution->CreateSolution(folder.c_str(), name.c_str(), 0);
  if (hr == VS_E_SOLUTIONALREADYOPEN) hr = S_OK;
  if (FAILED(hr)) return hr;
  if (!connection.empty()) SetPendingProjectConnection(connection);
  hr = solution->CreateProject(GUID_MyProjectType, template_file.Get(), folder.c_str(),
                               name.c_str(), CPF_CLONEFILE, nullptr);
  // Whatever became of it, no later project takes this connection.
  WString unused;
  (void)TakePendingProjectConnection(&unused);
  return hr;
}

HRESULT CKV7PrjXMLCmd::LoadExisting() {
  if (!IsFullPathName(projectName)) return S_OK;
  if (!kv7::FileExists(projectName) ||
      CMyProjectHierarchy::GlobalFindProjectByName(ProjectNameOf(projectName)) != nullptr)
    return S_OK;
  ComPtr<IVsSolution> solution;
  HRESULT hr = QueryPackageService(SID_SVsSolution, &solution);
  if (FAILED(hr)) return hr;
  return solution->CreateProject(GUID_MyProjectType, projectName.c_str(), u"", u"", CPF_OPENFILE,
                                 nullptr);
}

HRESULT CKV7PrjXMLCmd::WriteProjectNames() {
  if (outputFile.empty()) return E_FAIL;
  std::vector<WString> names;
  CMyProjectHierarchy::GetAllProjectNames(names);
  WString text = DeclarationLine() + u"<ALLKV7PROJECTNAMES>\r\n";
  for (const WString& name : names) text += u"\t<PROJECTNAME>" + name + u"</PROJECTNAME>\r\n";
  return WriteAnswer(outputFile, text + u"</ALLKV7PROJECTNAMES>\r\n");
}

HRESULT CKV7PrjXMLCmd::WriteProjectMetadata() {
  if (outputFile.empty()) return E_FAIL;
  std::vector<WString> names;
  if (projectName.empty()) CMyProjectHierarchy::GetAllProjectNames(names);
  else names.push_back(ProjectNameOf(projectName));
  WString text = DeclarationLine() + u"<KV7DOMTracker>\r\n";
  for (const WString& name : names) {
    CMyProjectHierarchy* project = CMyProjectHierarchy::GlobalFindProjectByName(name);
    if (project == nullptr) return E_FAIL;
    text += u"<KV7PROJECT>\r\n<PROJECTNAME>" + name + u"</PROJECTNAME>\r\n";
    ComPtr<IXMLDOMNodeList> entries;
    if (GetMultiNodes(project->GetDOMDocument(), u"KV7DOMTracker/SOURCEINFO", entries.Put()) ==
        S_OK) {
      for (ComPtr<IXMLDOMNode> entry; entries->nextNode(entry.Put()) == S_OK && entry;) {
        CComBSTR xml;
        if (SUCCEEDED(entry->get_xml(xml.Put()))) text += xml.ToString() + u"\r\n";
      }
    }
    text += u"</KV7PROJECT>\r\n";
  }
  return WriteAnswer(outputFile, text + u"</KV7DOMTracker>\r\n");
}

HRESULT CKV7FileXMLCmd::Parse(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CKV7FileXMLCmd::Parse", 2, "KV7FileXMLCmd");
  static constexpr const char16_t* kNames[] = {
      u"KV7FILE_ACTION",           u"KV7PROJECT_NAME",         u"KV7FILE_TYPE",
      u"KV7FILE_NAME",             u"KV7FILE_GENERATENAME",    u"KV7FILE_TARGETFOLDERTYPE",
      u"KV7FILE_TARGETFOLDERNAME", u"KV7FILE_POSTACTION",      u"KV7FILE_CONTENTS",
      u"KV7COMMAND_ID",            u"KV7FILE_ISDIRTY",         u"KV7OUTPUTFILE_NAME"};
  WString* const fields[] = {&fileAction,       &projectName, &fileType,    &fileName,
                             &generateName,     &targetFolderType, &targetFolderName,
                             &postAction,       &contents,    &commandId,   &isDirty,
                             &outputFile};
  return KV7_TRACE_RETURN(ReadFields(element, kNames, fields, std::size(kNames)));
}

HRESULT CKV7FileXMLCmd::Execute(const char16_t* defaultContents) {
  KV7_TRACE_ENTRY("CKV7FileXMLCmd::Execute", 2, "KV7FileXMLCmd");
  if (kv7::EqualsNoCase(fileAction, u"CREATE_AND_ADD_TO_PROJECT"))
    return KV7_TRACE_RETURN(CreateAndAddToProject(defaultContents));
  if (kv7::EqualsNoCase(fileAction, u"CREATE_ONLY") ||
      kv7::EqualsNoCase(fileAction, u"GENMETADATAFROMSOURCE"))
    return KV7_TRACE_RETURN(E_NOTIMPL);
  return KV7_TRACE_RETURN(E_FAIL);
}

WString CKV7FileXMLCmd::Describe() const {
  return JoinWords({u"KV7FILE_COMMAND", fileAction, fileType, fileName, projectName});
}

HRESULT CKV7FileXMLCmd::CreateAndAddToProject(const char16_t* defaultContents) {
  if (projectName.empty()) return E_FAIL;
  CMyProjectHierarchy* project = CMyProjectHierarchy::GlobalFindProjectByName(ProjectNameOf(projectName));
  if (project == nullptr) return E_FAIL;
  WString extension;
  CeKV7FolderInfoType folder_type = eKV7FolderOther;
  MapKV7FileType(fileType, false, &extension, &folder_type);
  CFileVwFolderNode* folder = targetFolderName.empty()
                                  ? project->FindDefaultFolderByType(folder_type, false)
                                  : project->FindFolder(targetFolderName);
  if (folder == nullptr) return E_NOTIMPL;
  // Without a generated name the command adds nothing.
  if (kv7::EqualsNoCase(generateName, u"NO")) return S_OK;
  WString path;
  HRESULT hr = folder->GenerateUniqueFileName(fileName, extension, folder_type, path);
  if (FAILED(hr) || path.empty()) return E_FAIL;
  const WString& text = contents.empty() ? WString(defaultContents ? defaultContents : u"")
                                         : contents;
  hr = project->GetProjectNode()->AddNewItem(folder, FileNameOf(path), text,
                                             kv7::EqualsNoCase(postAction, u"EDIT"));
  // A new item's node starts clean (nothing of it changed locally), which
  // is what KV7FILE_ISDIRTY "NO" asks for.
  return hr;
}

// ---- The parser -----------------------------------------------------------

HRESULT CKV7PrjXMLParser::Parse(const char16_t* text) {
  KV7_TRACE_ENTRY("CKV7PrjXMLParser::Parse", 2, "KV7PrjXMLParser");
  commands_.clear();
  ComPtr<IXMLDOMDocument> document;
  HRESULT hr = CreateXMLDOMDocument(document.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(E_FAIL);
  WString whole = WString(kCommandDeclaration) + (text ? text : u"");
  VARIANT_BOOL loaded = VARIANT_FALSE;
  ComPtr<IXMLDOMNode> root;
  if (document->loadXML(whole.c_str(), &loaded) != S_OK ||
      document->get_documentElement(root.Put()) != S_OK ||
      !kv7::EqualsNoCase(GetNodeName(root.Get()), u"KV7PROJECT_XML_TO_PROCESS")) {
    kv7::SetErrorInfo(E_FAIL, DescribeParseError(document.Get(), u"the command document"));
    return KV7_TRACE_RETURN(E_FAIL);
  }
  return KV7_TRACE_RETURN(ForEachChildElement(root.Get(), nullptr, [this](IXMLDOMNode* element) {
    const WString name = GetNodeName(element);
    if (kv7::EqualsNoCase(name, u"KV7PROJECT_COMMAND")) {
      auto command = std::make_unique<CKV7PrjXMLCmd>();
      if (SUCCEEDED(command->Parse(element))) commands_.push_back(std::move(command));
    } else if (kv7::EqualsNoCase(name, u"KV7FILE_COMMAND")) {
      auto command = std::make_unique<CKV7FileXMLCmd>();
      if (SUCCEEDED(command->Parse(element))) commands_.push_back(std::move(command));
    }
    return S_OK;
  }));
}

HRESULT CKV7PrjXMLParser::Execute(
    const char16_t* defaultContents,
    const std::function<void(const CKV7PrjXMLParserCmd&, HRESULT)>& report) {
  KV7_TRACE_ENTRY("CKV7PrjXMLParser::Execute", 2, "KV7PrjXMLParser");
  for (const auto& command : commands_) {
    HRESULT hr = command->Execute(defaultContents);
    if (report) report(*command, hr);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT ProcessKV7ProjectXML(const char16_t* commands, const char16_t* defaultContents) {
  KV7_TRACE_ENTRY("ProcessKV7ProjectXML", 2, "KV7PrjXMLParser");
  CKV7PrjXMLParser parser;
  HRESULT hr = parser.Parse(commands);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  return KV7_TRACE_RETURN(parser.Execute(defaultContents));
}

// ---- Types and configuration documents ------------------------------------------

void MapKV7FileType(WStringView fileType, bool withDot, WString* extension,
                    CeKV7FolderInfoType* folderType) {
  KV7_TRACE_ENTRY("MapKV7FileType", 2, "KV7PrjXMLParser");
  struct FileType {
    const char16_t* names[2];
    const char16_t* extension;
    CeKV7FolderInfoType folder;
  };
  static constexpr FileType kTypes[] = {
      {{u"PROCEDURE", u"SP"}, u"kv7sp", eKV7FolderProcedures},
      {{u"FUNCTION", u"UDF"}, u"kv7udf", eKV7FolderFunctions},
      {{u"SCRIPT", u"SCRIPT"}, u"kv7", eKV7FolderScripts},
      {{u"TABLE", u"TABLE"}, u"kv7tbl", eKV7FolderTables},
      {{u"VIEW", u"VIEW"}, u"kv7vw", eKV7FolderViews},
      {{u"TRIGGER", u"TRIGGER"}, u"kv7tr", eKV7FolderTriggers},
      {{u"INDEX", u"INDEX"}, u"kv7ind", eKV7FolderIndexes},
  };
  const FileType* found = std::find_if(std::begin(kTypes), std::end(kTypes), [&](const FileType& t) {
    return kv7::EqualsNoCase(fileType, t.names[0]) || kv7::EqualsNoCase(fileType, t.names[1]);
  });
  // Anything else is a script.
  if (found == std::end(kTypes)) found = &kTypes[2];
  *extension = WString(withDot ? u"." : u"") + found->extension;
  *folderType = found->folder;
}

HRESULT BuildConfigurationDocument(CFileVwFileNode* item, CMyProjectCfg* cfg, WString& out) {
  KV7_TRACE_ENTRY("BuildConfigurationDocument", 2, "KV7PrjXMLParser");
  if (item == nullptr || cfg == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  CComBSTR separator;
  (void)GetKV7GlobalOptions()->GetStatementSeparator(separator.Put());
  WString statement_separator = separator.ToString();
  if (statement_separator.empty()) statement_separator = u"@";
  out.assign(u"<CONFIG>\r\n\t<STATEMENTSEP>").append(statement_separator);
  out.append(u"</STATEMENTSEP>\r\n");
  // An item without settings for the configuration sends no options.
  auto* object = dynamic_cast<CKV7ObjectFileNode*>(item);
  if (CKV7BaseCfg* settings = object ? object->FindSettings(cfg->GetName()) : nullptr)
    (void)settings->ConfigurationDocumentOptions(u"\t", out);
  out += kv7::FormatW(u"\t<BUILDFORDEBUG>%s</BUILDFORDEBUG>\r\n</CONFIG>\r\n",
                      cfg->get_DebuggingInfo()->GetBuildForDebug() ? u"TRUE" : u"FALSE");
  return KV7_TRACE_RETURN(S_OK);
}
