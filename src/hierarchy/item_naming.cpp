// Names and places for new items: fresh names for the IDE's add-item dialog,
// for items that tools create and for pasted copies; the container that
// items of a kind go to; an item saved under a new name.
#include <climits>

#include "kv7/document/folders.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/platform/files.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/ui_strings.h"

namespace {

// A name held by a directory cannot be given to a new file either.
bool PathTaken(WStringView path) { return kv7::FileExists(path) || kv7::DirectoryExists(path); }

// Copy names when the string table has none.
constexpr char16_t kCopyOfText[] = u"Copy of %1";
constexpr char16_t kNumberedCopyOfText[] = u"Copy (%1) of %2";

}  // namespace

// ---- CFileVwFolderNode ------------------------------------------------------

WString CFileVwFolderNode::GetItemDirectory() const {
  KV7_TRACE_ENTRY("CFileVwFolderNode::GetItemDirectory", 2, "FileVwFolderNode");
  return GetFullPath() + u"/";
}

HRESULT CFileVwFolderNode::GenerateUniqueFileName(WStringView baseName, WStringView extension,
                                                  LONG folderType, WString& fullPath) const {
  KV7_TRACE_ENTRY("CFileVwFolderNode::GenerateUniqueFileName", 2, "FileVwFolderNode");
  WString base(baseName);
  if (base.empty()) GetBaseFileNameForFolder(base, folderType);
  if (base.empty()) return KV7_TRACE_RETURN(E_FAIL);
  if (extension.starts_with(u'.')) extension.remove_prefix(1);
  const WString directory = GetItemDirectory();
  const WString dot_extension = u"." + WString(extension);
  auto numbered = [&](UINT n) { return directory + base + kv7::FormatW(u"%u", n) + dot_extension; };
  auto taken = [this](const WString& path) { return FindFile(path) != nullptr || PathTaken(path); };
  return KV7_TRACE_RETURN(
      FirstFreeName(directory + base + dot_extension, 1, UINT_MAX, numbered, taken, fullPath));
}

// ---- CMyProjectHierarchy ------------------------------------------------------

HRESULT CMyProjectHierarchy::GenerateUniqueItemName(VSITEMID location, const char16_t* extension,
                                                    const char16_t* suggestedRoot, BSTR* itemName) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GenerateUniqueItemName", 2, "PrjHier");
  if (itemName == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  CHierNode* node = nullptr;
  if (FAILED(CheckOpen()) || FAILED(VSITEMID2Node(location, &node)))
    return KV7_TRACE_RETURN(E_UNEXPECTED);
  // Names at other nodes are tried relative to the current directory.
  WString directory;
  if (node == project_node_.Get())
    directory = project_folder_;
  else if (IsKV7FolderKind(node->GetKindOf()))
    directory = static_cast<CFileVwFolderNode*>(node)->GetItemDirectory();
  const WString root = suggestedRoot && *suggestedRoot ? WString(suggestedRoot) : WString(u"File");
  const WString ext = extension ? WString(extension) : WString();
  auto numbered = [&](UINT n) {
    return kv7::FormatW(u"%s%i%s", root.c_str(), static_cast<int>(n), ext.c_str());
  };
  auto taken = [&directory](const WString& name) { return PathTaken(directory + name); };
  WString name;
  HRESULT hr = FirstFreeName(WString(), 1, INT_MAX, numbered, taken, name);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  *itemName = SysAllocWString(name);
  return KV7_TRACE_RETURN(S_OK);
}

CFileVwFolderNode* CMyProjectHierarchy::DefaultContainerForType(LONG folderType) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::DefaultContainerForType", 2, "PrjHier");
  if (FAILED(CheckOpen())) return nullptr;
  if (CKV7FolderNode* folder = FindDefaultFolderByType(folderType, true)) return folder;
  return project_node_.Get();
}

HRESULT CMyProjectHierarchy::SuggestLocationForExtension(const char16_t* fileName,
                                                         VSITEMID* location, BSTR* newPath) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SuggestLocationForExtension", 2, "PrjHier");
  if (location == nullptr || newPath == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *location = VSITEMID_ROOT;
  *newPath = nullptr;
  HRESULT hr = CheckOpen();
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  const WStringView name = fileName ? FileNameOf(fileName) : WStringView();
  const WString base(BaseNameOf(name)), extension(ExtensionOf(name));
  CFileVwFolderNode* container = DefaultContainerForType(FolderTypeForExtension(extension));
  const WString directory = container->GetItemDirectory();
  auto numbered = [&](UINT n) {
    return kv7::FormatW(u"%s%s%u%s", directory.c_str(), base.c_str(), n, extension.c_str());
  };
  WString path;
  hr = FirstFreeName(
      directory + base + extension, 1, UINT_MAX, numbered,
      [](const WString& candidate) { return PathTaken(candidate); }, path);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  *location = container->GetVsItemID();
  *newPath = SysAllocWString(path);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::CheckFileOrNodeExistanceForPaste(WStringView sourcePath,
                                                              CFileVwFolderNode* targetFolder,
                                                              bool* exists) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::CheckFileOrNodeExistanceForPaste", 2, "PrjHier");
  if (!project_node_) return KV7_TRACE_RETURN(E_FAIL);
  CFileVwFolderNode* container = targetFolder ? targetFolder : project_node_.Get();
  const WString target = container->GetItemDirectory() + WString(FileNameOf(sourcePath));
  // A paste onto itself meets the source.
  if (target == sourcePath) {
    *exists = true;
    return KV7_TRACE_RETURN(S_OK);
  }
  return KV7_TRACE_RETURN(CheckFileOrNodeExistanceForPaste2(target, container, exists));
}

HRESULT CMyProjectHierarchy::CheckFileOrNodeExistanceForPaste2(WStringView candidatePath,
                                                               CFileVwFolderNode* targetFolder,
                                                               bool* exists) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::CheckFileOrNodeExistanceForPaste2", 2, "PrjHier");
  if (!project_node_) return KV7_TRACE_RETURN(E_FAIL);
  CFileVwFolderNode* container = targetFolder ? targetFolder : project_node_.Get();
  *exists = kv7::FileExists(candidatePath) || container->FindFile(candidatePath) != nullptr;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::GenerateUniqueNameForPaste(WStringView sourcePath,
                                                        CFileVwFolderNode* targetFolder,
                                                        WString& newPath) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GenerateUniqueNameForPaste", 2, "PrjHier");
  if (!project_node_) return KV7_TRACE_RETURN(E_FAIL);
  CFileVwFolderNode* container = targetFolder ? targetFolder : project_node_.Get();
  const WString directory = container->GetItemDirectory();
  const WStringView file_name = FileNameOf(sourcePath);
  auto numbered = [&](UINT n) {
    WString number = kv7::FormatW(u"%d", static_cast<int>(n));
    return directory + FormatUIStringInserts(1147, kNumberedCopyOfText, {number, file_name});
  };
  auto taken = [&](const WString& candidate) {
    bool exists = true;
    return FAILED(CheckFileOrNodeExistanceForPaste2(candidate, container, &exists)) || exists;
  };
  const WString first = directory + FormatUIStringInserts(1146, kCopyOfText, {file_name});
  return KV7_TRACE_RETURN(FirstFreeName(first, 2, INT_MAX, numbered, taken, newPath));
}

HRESULT CMyProjectHierarchy::OnHandleSaveItemRename(VSITEMID item, const char16_t* newPath) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::OnHandleSaveItemRename", 2, "PrjHier");
  CHierNode* node = nullptr;
  HRESULT hr = VSITEMID2Node(item, &node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  auto* item_node = static_cast<CFileVwBaseNode*>(node);
  const WString old_path = item_node->GetFullPath();
  const WString new_path = newPath ? WString(newPath) : WString();
  if (kv7::EqualsNoCase(new_path, old_path)) return KV7_TRACE_RETURN(S_OK);
  item_node->SetFullPath(new_path);
  NotifyDocumentMoved(old_path, new_path, node);
  // The IDE shows the caption only of items whose parent it has opened.
  CHierContainer* parent = node->GetParent();
  if (parent == nullptr || (parent->GetFlags() & kNodePopulated) != 0)
    NotifyPropertyChanged(node, VSHPROPID_Caption);
  SetDirty();
  FileRenamed(old_path, new_path);
  return KV7_TRACE_RETURN(S_OK);
}
