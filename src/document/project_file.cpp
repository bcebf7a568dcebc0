// The project file: written as text in the system's layout (one element per
// line, tab indents, CR LF), checked by the DOM and saved through it; read
// back through the DOM, element by element, by exact names.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "kv7/build/configurations.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/file_status_ahead.h"
#include "kv7/platform/files.h"
#include "kv7/platform/messagebox.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/trace_printf.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/xml_helpers.h"

namespace {

// The item elements a Files element may hold.
constexpr const char16_t* kItemElements[] = {
    u"TableFile",   u"ViewFile",   u"ProcedureFile", u"FunctionFile",   u"TriggerFile",
    u"StatementFile", u"ScriptFile", u"CommandSetFile", u"IndexFile",   u"UnknownFile",
};

bool IsItemElement(WStringView name) {
  return std::any_of(std::begin(kItemElements), std::end(kItemElements),
                     [name](const char16_t* element) { return name == element; });
}

// Appends <name>value</name> at the indent.
void AppendTextElement(WString& buffer, WStringView indent, WStringView name, WStringView value) {
  buffer.append(indent).append(u"<").append(name).append(u">").append(value);
  buffer.append(u"</").append(name).append(u">\r\n");
}

// Calls `visit(name, child)` for each child of a node, in document order,
// stopping at the first failure.
template <class Visit>
HRESULT ForEachChild(IXMLDOMNode* node, Visit visit) {
  ComPtr<IXMLDOMNodeList> children;
  HRESULT hr = node->get_childNodes(children.Put());
  if (FAILED(hr)) return hr;
  ComPtr<IXMLDOMNode> child;
  while ((hr = children->nextNode(child.Put())) == S_OK && child) {
    HRESULT visited = visit(GetNodeName(child.Get()), child.Get());
    if (FAILED(visited)) return visited;
  }
  return hr;
}

// A relative reference as read: either separator, native on disk.
WString NativeReference(WStringView reference) {
  WString path(reference);
  std::replace(path.begin(), path.end(), u'\\', u'/');
  return path;
}

// Reads the text of two children of an element's info child; the outputs
// stay unchanged when the info child is missing.
HRESULT ReadInfoPair(IXMLDOMNode* element, const char16_t* infoName, const char16_t* firstName,
                     WString& first, const char16_t* secondName, WString& second) {
  ComPtr<IXMLDOMNode> info;
  HRESULT hr = GetSingleNode(element, infoName, info.Put());
  if (!info) return hr;
  (void)GetSimpleNodeValue(info.Get(), firstName, first);
  return GetSimpleNodeValue(info.Get(), secondName, second);
}

}  // namespace

HRESULT GetFileInfoFromNode(IXMLDOMNode* item, WString& reference, WString& isRelative) {
  KV7_TRACE_ENTRY("GetFileInfoFromNode", 2, "PrjHier");
  return KV7_TRACE_RETURN(ReadInfoPair(item, u"FileInfo", u"Reference", reference,
                                       u"IsReferenceRelative", isRelative));
}

HRESULT GetFolderInfoFromNode(IXMLDOMNode* folder, WString& name, WString& type) {
  KV7_TRACE_ENTRY("GetFolderInfoFromNode", 2, "PrjHier");
  return KV7_TRACE_RETURN(ReadInfoPair(folder, u"Info", u"Name", name, u"Type", type));
}

// ---- Writing --------------------------------------------------------------

HRESULT CMyProjectHierarchy::SaveAsXML(const char16_t* fileName) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SaveAsXML", 2, "PrjHier");
  WString buffer;
  WString declaration;
  (void)GetXMLEncoding(declaration);
  buffer.append(declaration).append(u"\r\n");
  format_version_ = kProjectFormatVersion;
  buffer.append(kv7::FormatW(u"<KV7Project version=\"%d\">", format_version_)).append(u"\r\n");

  AppendTextElement(buffer, u"\t", u"Name", BaseNameOf(fileName));
  if (!default_configuration_.empty())
    AppendTextElement(buffer, u"\t", u"DefaultConfiguration", default_configuration_);
  HRESULT hr = SaveGeneralPropertiesAsXML(u"\t", buffer);
  if (SUCCEEDED(hr) && cfg_provider_) hr = cfg_provider_->SaveAsXML(u"\t", buffer);
  if (SUCCEEDED(hr)) hr = SaveFilesAsXML(u"\t", buffer);
  if (SUCCEEDED(hr)) hr = SaveFoldersAsXML(u"\t", buffer);
  if (SUCCEEDED(hr) && !assembly_infos_.IsEmpty()) hr = assembly_infos_.SaveAsXML(u"\t", buffer);
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
  buffer.append(u"</KV7Project>");

  ComPtr<IXMLDOMDocument> document;
  hr = CreateXMLDOMDocument(document.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
  VARIANT_BOOL parsed = VARIANT_FALSE;
  if (document->loadXML(buffer.c_str(), &parsed) != S_OK || parsed != VARIANT_TRUE) {
    ComPtr<IXMLDOMParseError> error;
    CComBSTR reason;
    if (SUCCEEDED(document->get_parseError(error.Put())) && error)
      (void)error->get_reason(reason.Put());
    kv7::SetErrorInfo(E_FAIL, kv7::FormatW(u"the project text does not parse: %s",
                                           reason.IsNull() ? u"" : reason.Get()));
    return KV7_TRACE_RETURN(E_FAIL);
  }
  hr = DumpDOMDocToDisk(document.Get(), fileName);
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::SaveGeneralPropertiesAsXML(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SaveGeneralPropertiesAsXML", 2, "PrjHier");
  static constexpr const char16_t* kSccElements[] = {u"SccProjectName", u"SccLocalPath",
                                                     u"SccAuxPath", u"SccProvider"};
  WString inner = WString(indent) + u"\t";
  buffer.append(indent).append(u"<General>\r\n");
  for (int i = 0; i < 4; ++i) AppendTextElement(buffer, inner, kSccElements[i], scc_[i]);
  buffer.append(indent).append(u"</General>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::SaveFilesAsXML(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SaveFilesAsXML", 2, "PrjHier");
  return KV7_TRACE_RETURN(SaveFilesOfContainerAsXML(project_node_.Get(), indent, buffer));
}

HRESULT CMyProjectHierarchy::SaveFoldersAsXML(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SaveFoldersAsXML", 2, "PrjHier");
  return KV7_TRACE_RETURN(SaveFoldersOfContainerAsXML(project_node_.Get(), indent, buffer));
}

// ---- Reading --------------------------------------------------------------

HRESULT CMyProjectHierarchy::LoadFromXML(const char16_t* fileName) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::LoadFromXML", 2, "PrjHier");
  ComPtr<IXMLDOMDocument> document;
  HRESULT hr = CreateXMLDOMDocument(document.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  // The project is written back from the hierarchy, never from this
  // document, so the layout between its elements need not be kept.
  (void)document->put_preserveWhiteSpace(VARIANT_FALSE);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (document->load(fileName, &loaded) != S_OK || loaded != VARIANT_TRUE) {
    ComPtr<IXMLDOMParseError> error;
    CComBSTR reason, url;
    LONG filepos = 0;
    if (SUCCEEDED(document->get_parseError(error.Put())) && error) {
      (void)error->get_reason(reason.Put());
      (void)error->get_filepos(&filepos);
      (void)error->get_url(url.Put());
    }
    KV7_TRACE_TEXTW(reason.ToString().c_str());
    tracePrintfW(0, u"at position %lu in %s", static_cast<unsigned long>(filepos),
                 url.IsNull() ? u"" : url.Get());
    kv7::SetErrorInfo(E_FAIL, DescribeParseError(document.Get(), fileName));
    return KV7_TRACE_RETURN(E_FAIL);
  }
  ComPtr<IXMLDOMNode> element;
  if (document->get_documentElement(element.Put()) == S_OK && element)
    document_element_ = GetNodeName(element.Get());
  // The first top-level node named exactly KV7Project is the project.
  ComPtr<IXMLDOMNode> root;
  hr = ForEachChild(document.Get(), [&](const WString& name, IXMLDOMNode* child) {
    if (name == u"KV7Project" && !root) root = child;
    return S_OK;
  });
  if (!root) return KV7_TRACE_RETURN(hr);
  return KV7_TRACE_RETURN(LoadKV7ProjectNode(root.Get()));
}

HRESULT CMyProjectHierarchy::LoadKV7ProjectNode(IXMLDOMNode* root) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::LoadKV7ProjectNode", 2, "PrjHier");
  WString version;
  (void)GetAttrFromNode(root, u"version", version);
  format_version_ =
      version.empty() ? 1 : static_cast<LONG>(std::strtol(kv7::ToUtf8(version).c_str(), nullptr, 10));
  HRESULT hr = ForEachChild(root, [this](const WString& name, IXMLDOMNode* child) {
    if (name == u"DefaultConfiguration") return LoadKV7DefaultConfigurationFromXML(child);
    if (name == u"General") return LoadGeneralFromXML(child);
    if (name == u"Configurations") return LoadConfigurationsFromXML(child);
    if (name == u"Files") return LoadFilesFromXML(child);
    if (name == u"Folders") return LoadFoldersFromXML(child);
    if (name == u"AssemblyInfos") return LoadAssemblyInfosFromXML(child);
    return S_OK;  // Name is read and discarded; unknown elements are skipped
  });
  return KV7_TRACE_RETURN(FAILED(hr) ? hr : S_OK);
}

HRESULT CMyProjectHierarchy::LoadKV7DefaultConfigurationFromXML(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::LoadKV7DefaultConfigurationFromXML", 2, "PrjHier");
  CComBSTR text;
  HRESULT hr = element->get_text(text.Put());
  if (SUCCEEDED(hr) && !text.IsNull()) default_configuration_ = text.ToString();
  return KV7_TRACE_RETURN(hr);
}

HRESULT CMyProjectHierarchy::LoadGeneralFromXML(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::LoadGeneralFromXML", 2, "PrjHier");
  static constexpr const char16_t* kSccElements[] = {u"SccProjectName", u"SccLocalPath",
                                                     u"SccAuxPath", u"SccProvider"};
  // A file older than version 3 kept one connection for the whole project.
  ComPtr<IXMLDOMNode> connection;
  if (format_version_ < kProjectFormatVersion &&
      GetChildNodeByName(element, u"ConnInfo", connection.Put()) == S_OK && connection) {
    BOOL changed = FALSE;
    (void)LoadConnInfoFromXML(connection.Get(), format_version_, project_connection_, &changed);
    if (changed) SetDirty();
  }
  for (int i = 0; i < 4; ++i) {
    WString value;
    (void)GetSimpleNodeValue(element, kSccElements[i], value);
    if (!value.empty()) scc_[i] = value;
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::LoadConfigurationsFromXML(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::LoadConfigurationsFromXML", 2, "PrjHier");
  if (!cfg_provider_) return KV7_TRACE_RETURN(S_OK);
  return KV7_TRACE_RETURN(cfg_provider_->LoadFromXML(element, format_version_));
}

HRESULT CMyProjectHierarchy::LoadAssemblyInfosFromXML(IXMLDOMNode* element) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::LoadAssemblyInfosFromXML", 2, "PrjHier");
  return KV7_TRACE_RETURN(assembly_infos_.LoadFromXML(element));
}

HRESULT CMyProjectHierarchy::LoadFilesFromXML(IXMLDOMNode* files) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::LoadFilesFromXML", 2, "PrjHier");
  return KV7_TRACE_RETURN(LoadFileItems(project_node_.Get(), files));
}

HRESULT CMyProjectHierarchy::LoadFoldersFromXML(IXMLDOMNode* folders) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::LoadFoldersFromXML", 2, "PrjHier");
  return KV7_TRACE_RETURN(LoadFolderItems(project_node_.Get(), folders));
}

void CMyProjectHierarchy::ReportMissing(WStringView path, UINT textId, UINT captionId,
                                        UINT fallbackTextId) {
  missing_on_load_.emplace_back(path);
  WString text = FormatUIString(textId, path, fallbackTextId);
  WString caption = LoadUIString(captionId);
  if (caption.empty()) caption = LoadUIString(36);
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

// The items' files are looked at on a second thread while their nodes are
// made here: each look is a system call, as costly as making the node.
HRESULT CMyProjectHierarchy::LoadFileItems(CFileVwFolderNode* container, IXMLDOMNode* files) {
  std::vector<ComPtr<IXMLDOMNode>> items;
  std::vector<WString> paths;
  HRESULT hr = ForEachChild(files, [&](const WString& name, IXMLDOMNode* item) -> HRESULT {
    if (!IsItemElement(name)) return S_OK;
    WString reference, relative;
    (void)GetFileInfoFromNode(item, reference, relative);
    items.emplace_back(item);
    paths.push_back(relative == u"1" ? project_folder_ + NativeReference(reference) : reference);
    return S_OK;
  });
  if (FAILED(hr)) return hr;
  kv7::FileStatusAhead files_ahead(std::move(paths));
  for (size_t i = 0; i < items.size(); ++i) {
    const WString& path = files_ahead.path(i);
    if (!files_ahead.Get(i).IsFile()) {
      ReportMissing(path, 1160, 1161, 10);
      continue;
    }
    CFileVwFileNode* node = nullptr;
    if (FAILED(project_node_->AddExistingFile(container, path, &node))) continue;
    if (HRESULT loaded = node->LoadFromXMLForProject(items[i].Get()); FAILED(loaded)) return loaded;
  }
  return hr;
}

HRESULT CMyProjectHierarchy::LoadFolderItems(CFileVwFolderNode* container, IXMLDOMNode* folders) {
  return ForEachChild(folders, [&](const WString& name, IXMLDOMNode* element) -> HRESULT {
    if (name != u"Folder") return S_OK;
    WString folder_name, type;
    (void)GetFolderInfoFromNode(element, folder_name, type);
    if (folder_name.empty()) return S_OK;
    WString path = container == project_node_.Get()
                       ? project_folder_ + folder_name
                       : container->GetFullPath() + u"/" + folder_name;
    if (!kv7::DirectoryExists(path)) {
      ReportMissing(path, 1158, 1159, 768);
      return S_OK;
    }
    CFileVwFolderNode* folder = nullptr;
    HRESULT hr = project_node_->AddExistingKV7Folder(container, path, &folder);
    if (FAILED(hr)) return hr;
    auto* kv7_folder = static_cast<CKV7FolderNode*>(folder);
    kv7_folder->SetFolderType(MapFolderTypeNameToType(type.c_str()));
    return kv7_folder->LoadFromXMLForProject(element);
  });
}
