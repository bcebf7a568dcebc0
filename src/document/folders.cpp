#include "kv7/document/folders.h"

#include <algorithm>

#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/platform/files.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/xml_helpers.h"

namespace {

struct FolderTypeInfo {
  CeKV7FolderInfoType type;
  const char16_t* xmlName;   // null: written as UnknownFolder
  UINT displayNameId;        // 0: no default folder
  UINT directoryNameId;
  UINT baseFileNameId;
};

constexpr FolderTypeInfo kFolderTypes[] = {
    {eKV7FolderTables, u"TablesFolder", 501, 502, 302},
    {eKV7FolderViews, u"ViewsFolder", 503, 504, 305},
    {eKV7FolderProcedures, u"ProceduresFolder", 505, 506, 308},
    {eKV7FolderFunctions, u"FunctionsFolder", 507, 508, 311},
    {eKV7FolderTriggers, u"TriggersFolder", 509, 510, 314},
    {eKV7FolderStatements, u"StatementsFolder", 0, 0, 320},
    {eKV7FolderScripts, u"ScriptsFolder", 513, 514, 320},
    {eKV7FolderCommandSets, u"CommandSetsFolder", 0, 0, 320},
    {eKV7FolderUnnamed, nullptr, 1188, 1189, 320},
    {eKV7FolderIndexes, u"IndexesFolder", 1208, 1209, 1213},
};

constexpr UINT kOtherBaseFileNameId = 320;

const FolderTypeInfo* InfoOf(LONG type) {
  for (const FolderTypeInfo& info : kFolderTypes)
    if (info.type == type) return &info;
  return nullptr;
}

// The order of a new project's default folders.
constexpr CeKV7FolderInfoType kDefaultFolderOrder[] = {
    eKV7FolderTables,     eKV7FolderIndexes,   eKV7FolderTriggers, eKV7FolderViews,
    eKV7FolderProcedures, eKV7FolderFunctions, eKV7FolderScripts,
};

int CompareByName(CHierNode* a, CHierNode* b) { return kv7::CompareNoCase(a->GetName(), b->GetName()); }

int CompareByExtension(CHierNode* a, CHierNode* b) {
  WStringView ea = ExtensionOf(static_cast<CFileVwBaseNode*>(a)->GetFullPath());
  WStringView eb = ExtensionOf(static_cast<CFileVwBaseNode*>(b)->GetFullPath());
  if (ea.empty() && eb.empty()) return CompareByName(a, b);
  if (ea.empty()) return -1;
  if (eb.empty()) return 1;
  return kv7::CompareNoCase(ea, eb);
}

bool IsReadOnly(CHierNode* node) {
  DWORD attributes = 0;
  return SUCCEEDED(kv7::GetFileAttributes(static_cast<CFileVwBaseNode*>(node)->GetFullPath(),
                                          &attributes)) &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

int CompareReadOnlyFirst(CHierNode* a, CHierNode* b) {
  bool ra = IsReadOnly(a), rb = IsReadOnly(b);
  if (ra != rb) return ra ? -1 : 1;
  return CompareByName(a, b);
}

}  // namespace

CeKV7FolderInfoType MapFolderTypeNameToType(const char16_t* name) {
  KV7_TRACE_ENTRY("MapFolderTypeNameToType", 2, "KV7FolderNode");
  for (const FolderTypeInfo& info : kFolderTypes)
    if (info.xmlName && name && WStringView(name) == info.xmlName)
      return KV7_TRACE_RETURN(info.type);
  return KV7_TRACE_RETURN(eKV7FolderOther);
}

void MapFolderTypeToXMLName(LONG type, WString& name) {
  KV7_TRACE_ENTRY("MapFolderTypeToXMLName", 2, "KV7FolderNode");
  const FolderTypeInfo* info = InfoOf(type);
  name = info && info->xmlName ? info->xmlName : u"UnknownFolder";
}

void GetBaseFileNameForFolder(WString& name, LONG type) {
  KV7_TRACE_ENTRY("GetBaseFileNameForFolder", 2, "KV7FolderNode");
  const FolderTypeInfo* info = InfoOf(type);
  name = LoadUIString(info ? info->baseFileNameId : kOtherBaseFileNameId);
}

CeKV7FolderInfoType FolderTypeForExtension(WStringView extension) {
  KV7_TRACE_ENTRY("FolderTypeForExtension", 2, "KV7FolderNode");
  struct Placement {
    const char16_t* extension;
    CeKV7FolderInfoType type;
  };
  static constexpr Placement kPlacements[] = {
      {u".kv7sp", eKV7FolderProcedures}, {u".kv7udf", eKV7FolderFunctions},
      {u".kv7", eKV7FolderScripts},      {u".kv7tbl", eKV7FolderTables},
      {u".kv7vw", eKV7FolderViews},      {u".kv7tr", eKV7FolderTriggers},
      {u".kv7ind", eKV7FolderIndexes},
  };
  for (const Placement& placement : kPlacements)
    if (kv7::EqualsNoCase(extension, placement.extension)) return KV7_TRACE_RETURN(placement.type);
  return KV7_TRACE_RETURN(eKV7FolderOther);
}

bool GetDefaultFolderNames(LONG type, WString& displayName, WString& directoryName) {
  KV7_TRACE_ENTRY("GetDefaultFolderNames", 2, "KV7FolderNode");
  const FolderTypeInfo* info = InfoOf(type);
  if (info == nullptr || info->displayNameId == 0) return KV7_TRACE_RETURN(false);
  displayName = LoadUIString(info->displayNameId);
  directoryName = LoadUIString(info->directoryNameId);
  return KV7_TRACE_RETURN(true);
}

void CKV7FolderInfoList::LoadFromRC() {
  KV7_TRACE_ENTRY("CKV7FolderInfoList::LoadFromRC", 2, "KV7FolderNode");
  items_.clear();
  for (CeKV7FolderInfoType type : kDefaultFolderOrder) {
    CKV7FolderInfo info{{}, {}, type};
    if (GetDefaultFolderNames(type, info.displayName, info.directoryName))
      items_.push_back(std::move(info));
  }
}

// ---- CKV7FolderNode -------------------------------------------------------

ComPtr<CKV7FolderNode> CKV7FolderNode::CreateInstance(WStringView path) {
  KV7_TRACE_ENTRY("CKV7FolderNode::CreateInstance", 2, "KV7FolderNode");
  ComPtr<CKV7FolderNode> folder = kv7::AdoptNew(new CKV7FolderNode);
  folder->SetFullPath(path);
  return folder;
}

LONG CKV7FolderNode::GetIconIndex(int state) const {
  KV7_TRACE_ENTRY("CKV7FolderNode::GetIconIndex", 2, "KV7FolderNode");
  constexpr int kStateIcon = 2;
  if (state == kStateIcon) return KV7_TRACE_RETURN(0);
  return KV7_TRACE_RETURN(CFileVwFolderNode::GetIconIndex(state));
}

HRESULT CKV7FolderNode::OnSortFiles(LONG mode) {
  KV7_TRACE_ENTRY("CKV7FolderNode::OnSortFiles", 2, "KV7FolderNode");
  int (*compare)(CHierNode*, CHierNode*) = mode == eKV7SortByName        ? CompareByName
                                           : mode == eKV7SortByExtension ? CompareByExtension
                                           : mode == eKV7SortReadOnlyFirst ? CompareReadOnlyFirst
                                                                           : nullptr;
  if (compare == nullptr) return KV7_TRACE_RETURN(E_FAIL);
  sort_mode_ = static_cast<CeKV7SortMode>(mode);
  std::vector<ComPtr<CHierNode>> folders, files;
  for (CHierNode* child = FirstChildNoPopulate(); child; child = child->GetNext())
    (IsFolderKind(child->GetKindOf()) ? folders : files).emplace_back(child);
  for (auto& child : folders) (void)RemoveChild(child.Get());
  for (auto& child : files) (void)RemoveChild(child.Get());
  auto by_mode = [compare](const ComPtr<CHierNode>& a, const ComPtr<CHierNode>& b) {
    return compare(a.Get(), b.Get()) < 0;
  };
  std::stable_sort(folders.begin(), folders.end(), by_mode);
  std::stable_sort(files.begin(), files.end(), by_mode);
  for (auto& child : folders) Append(child.Get());
  for (auto& child : files) Append(child.Get());
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7FolderNode::ExecSortCommand(DWORD command) {
  KV7_TRACE_ENTRY("CKV7FolderNode::ExecSortCommand", 2, "KV7FolderNode");
  if (command < kCmdSortByName || command > kCmdSortNone) return KV7_TRACE_RETURN(E_INVALIDARG);
  LONG mode = command == kCmdSortNone ? eKV7SortNone : static_cast<LONG>(command - kCmdSortByName + 1);
  if (mode == sort_mode_) return KV7_TRACE_RETURN(S_OK);
  if (mode == eKV7SortNone) {
    sort_mode_ = eKV7SortNone;
    return KV7_TRACE_RETURN(S_OK);
  }
  return KV7_TRACE_RETURN(OnSortFiles(mode));
}

bool CKV7FolderNode::IsSortCommandChecked(DWORD command) const {
  KV7_TRACE_ENTRY("CKV7FolderNode::IsSortCommandChecked", 2, "KV7FolderNode");
  DWORD current = sort_mode_ == eKV7SortNone ? kCmdSortNone : kCmdSortByName + sort_mode_ - 1;
  return KV7_TRACE_RETURN(command == current);
}

HRESULT ProcessFileNodesBelow(CHierContainer* container, CKV7NodeExecutor* executor,
                              bool stopOnError) {
  KV7_TRACE_ENTRY("ProcessFileNodesBelow", 2, "KV7FolderNode");
  for (CHierNode* child = container->FirstChildNoPopulate(); child; child = child->GetNext()) {
    HRESULT hr = S_OK;
    if (IsFileKind(child->GetKindOf()))
      hr = executor->DoWork(static_cast<CFileVwFileNode*>(child));
    else if (IsKV7FolderKind(child->GetKindOf()))
      hr = ProcessFileNodesBelow(static_cast<CHierContainer*>(child), executor, stopOnError);
    if (stopOnError && FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7FolderNode::ProcessEveryFileNode(CKV7NodeExecutor* executor, bool stopOnError) {
  KV7_TRACE_ENTRY("CKV7FolderNode::ProcessEveryFileNode", 2, "KV7FolderNode");
  return KV7_TRACE_RETURN(ProcessFileNodesBelow(this, executor, stopOnError));
}

void AddFileNodesBelow(CHierContainer* container, std::vector<CFileVwFileNode*>& nodes) {
  for (CHierNode* child = container->FirstChildNoPopulate(); child; child = child->GetNext()) {
    if (IsFileKind(child->GetKindOf())) nodes.push_back(static_cast<CFileVwFileNode*>(child));
    else if (IsKV7FolderKind(child->GetKindOf()))
      AddFileNodesBelow(static_cast<CHierContainer*>(child), nodes);
  }
}

void CKV7FolderNode::AddEveryFileNode(std::vector<CFileVwFileNode*>& nodes) {
  KV7_TRACE_ENTRY("CKV7FolderNode::AddEveryFileNode", 2, "KV7FolderNode");
  AddFileNodesBelow(this, nodes);
}

void CKV7FolderNode::GetAllFileNames(std::vector<WString>& paths) {
  KV7_TRACE_ENTRY("CKV7FolderNode::GetAllFileNames", 2, "KV7FolderNode");
  std::vector<CFileVwFileNode*> nodes;
  AddEveryFileNode(nodes);
  for (CFileVwFileNode* node : nodes) paths.push_back(node->GetFullPath());
}

HRESULT CKV7FolderNode::SaveAsXMLForProject(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CKV7FolderNode::SaveAsXMLForProject", 2, "KV7FolderNode");
  WString inner = WString(indent) + u"\t";
  WString leaf = inner + u"\t";
  WString type_name;
  MapFolderTypeToXMLName(folder_type_, type_name);
  buffer.append(indent).append(u"<Folder>\r\n");
  buffer.append(inner).append(u"<Info>\r\n");
  buffer.append(leaf).append(u"<Name>").append(GetName()).append(u"</Name>\r\n");
  buffer.append(leaf).append(u"<Type>").append(type_name).append(u"</Type>\r\n");
  buffer.append(inner).append(u"</Info>\r\n");
  HRESULT hr = SaveFilesAsXMLForProject(inner, buffer);
  if (SUCCEEDED(hr)) hr = SaveFoldersAsXMLForProject(inner, buffer);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  buffer.append(indent).append(u"</Folder>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT SaveFilesOfContainerAsXML(const CHierContainer* container, WStringView indent,
                                  WString& buffer) {
  KV7_TRACE_ENTRY("SaveFilesOfContainerAsXML", 2, "KV7FolderNode");
  WString inner = WString(indent) + u"\t";
  buffer.append(indent).append(u"<Files>\r\n");
  for (CHierNode* child = container->FirstChildNoPopulate(); child; child = child->GetNext()) {
    if (!IsFileKind(child->GetKindOf())) continue;
    HRESULT hr = static_cast<CFileVwFileNode*>(child)->SaveAsXMLForProject(inner, buffer);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  buffer.append(indent).append(u"</Files>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT SaveFoldersOfContainerAsXML(const CHierContainer* container, WStringView indent,
                                    WString& buffer) {
  KV7_TRACE_ENTRY("SaveFoldersOfContainerAsXML", 2, "KV7FolderNode");
  WString inner = WString(indent) + u"\t";
  buffer.append(indent).append(u"<Folders>\r\n");
  for (CHierNode* child = container->FirstChildNoPopulate(); child; child = child->GetNext()) {
    if (!IsKV7FolderKind(child->GetKindOf())) continue;
    HRESULT hr = static_cast<CKV7FolderNode*>(child)->SaveAsXMLForProject(inner, buffer);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  buffer.append(indent).append(u"</Folders>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7FolderNode::SaveFilesAsXMLForProject(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CKV7FolderNode::SaveFilesAsXMLForProject", 2, "KV7FolderNode");
  return KV7_TRACE_RETURN(SaveFilesOfContainerAsXML(this, indent, buffer));
}

HRESULT CKV7FolderNode::SaveFoldersAsXMLForProject(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CKV7FolderNode::SaveFoldersAsXMLForProject", 2, "KV7FolderNode");
  return KV7_TRACE_RETURN(SaveFoldersOfContainerAsXML(this, indent, buffer));
}

HRESULT CKV7FolderNode::LoadFromXMLForProject(IXMLDOMNode* folder) {
  KV7_TRACE_ENTRY("CKV7FolderNode::LoadFromXMLForProject", 2, "KV7FolderNode");
  ComPtr<IXMLDOMNodeList> children;
  HRESULT hr = folder->get_childNodes(children.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  ComPtr<IXMLDOMNode> child;
  while (children->nextNode(child.Put()) == S_OK && child) {
    CComBSTR name;
    if (FAILED(child->get_nodeName(name.Put()))) continue;
    WString element = name.ToString();
    if (element == u"Files") hr = LoadFilesFromXMLForProject(child.Get());
    else if (element == u"Folders") hr = LoadFoldersFromXMLForProject(child.Get());
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7FolderNode::LoadFilesFromXMLForProject(IXMLDOMNode* files) {
  KV7_TRACE_ENTRY("CKV7FolderNode::LoadFilesFromXMLForProject", 2, "KV7FolderNode");
  CMyProjectHierarchy* hierarchy = GetCVsHierarchy();
  if (hierarchy == nullptr) return KV7_TRACE_RETURN(E_UNEXPECTED);
  return KV7_TRACE_RETURN(hierarchy->LoadFileItems(this, files));
}

HRESULT CKV7FolderNode::LoadFoldersFromXMLForProject(IXMLDOMNode* folders) {
  KV7_TRACE_ENTRY("CKV7FolderNode::LoadFoldersFromXMLForProject", 2, "KV7FolderNode");
  CMyProjectHierarchy* hierarchy = GetCVsHierarchy();
  if (hierarchy == nullptr) return KV7_TRACE_RETURN(E_UNEXPECTED);
  return KV7_TRACE_RETURN(hierarchy->LoadFolderItems(this, folders));
}
