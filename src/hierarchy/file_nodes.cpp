#include "kv7/hierarchy/file_nodes.h"

#include <iterator>

#include "kv7/document/built_files.h"
#include "kv7/document/folders.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/options/global_options.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/platform/messagebox.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/utilities.h"

namespace {

// Fails with the text `id` naming `what` as the thread's error information.
HRESULT FailWithText(UINT id, WStringView what, HRESULT status = E_FAIL) {
  kv7::SetErrorInfo(status, FormatUIString(id, what));
  return status;
}

// Tells the user text `id` naming `what`, in a message box.
void TellUser(UINT id, WStringView what) {
  WString text = FormatUIString(id, what);
  MessageBoxW(nullptr, text.c_str(), LoadUIString(36).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

// Checks a new name for an item or folder in `container` at `newPath`.
HRESULT CheckNewName(WStringView label, WStringView newPath) {
  if (!IsValidItemName(label)) return FailWithText(10, label);
  if (kv7::FileExists(newPath) || kv7::DirectoryExists(newPath)) return FailWithText(780, label);
  return S_OK;
}

// Renames a node's file or directory on disk and in the tree, after the
// checks every rename shares. `apply` moves the tree's paths.
template <class Apply>
HRESULT RenameOnDisk(CFileVwBaseNode* node, WStringView label, Apply apply) {
  if (label == node->GetFileName()) return S_OK;
  CMyProjectHierarchy* hierarchy = node->GetCVsHierarchy();
  if (hierarchy == nullptr) return E_UNEXPECTED;
  WString old_path = node->GetFullPath();
  WString new_path = WString(DirectoryWithSlash(old_path)) + WString(label);
  // A rename that only changes letter case is the same entry on disk.
  if (!kv7::EqualsNoCase(old_path, new_path)) {
    HRESULT hr = CheckNewName(label, new_path);
    if (FAILED(hr)) return hr;
  } else if (!IsValidItemName(label)) {
    return FailWithText(10, label);
  }
  if (!hierarchy->QueryEditProjectFile()) return OLE_E_PROMPTSAVECANCELLED;
  HRESULT hr = hierarchy->DocumentTracker().CanRenameItem(old_path.c_str(), new_path.c_str());
  if (FAILED(hr)) return hr;
  hr = kv7::MoveFile(old_path, new_path);
  if (FAILED(hr)) return kv7::ReportError(hr);
  apply(old_path, new_path);
  (void)hierarchy->DocumentTracker().OnAfterItemRenamed(old_path.c_str(), new_path.c_str());
  hierarchy->NotifyDocumentMoved(old_path, new_path, node);
  hierarchy->NotifyPropertyChanged(node, VSHPROPID_Caption);
  hierarchy->SetDirty();
  return S_OK;
}

}  // namespace

bool IsValidItemName(WStringView name) {
  KV7_TRACE_ENTRY("IsValidItemName", 2, "FileVwBaseNode");
  return KV7_TRACE_RETURN(!name.empty() && name != u"." && name != u".." &&
                          name.find_first_of(u"\\/:*?\"<>|") == WStringView::npos);
}

// ---- CFileVwBaseNode ------------------------------------------------------

void CFileVwBaseNode::SetFullPath(WStringView path) {
  KV7_TRACE_ENTRY("CFileVwBaseNode::SetFullPath", 2, "FileVwBaseNode");
  full_path_ = path;
  file_name_ = FileNameOf(full_path_);
}

HRESULT CFileVwBaseNode::GetProjRelativePath(WString& path) const {
  KV7_TRACE_ENTRY("CFileVwBaseNode::GetProjRelativePath", 2, "FileVwBaseNode");
  CMyProjectHierarchy* hierarchy = GetCVsHierarchy();
  const WString prefix = hierarchy ? hierarchy->GetProjectFolderPath() : WString();
  if (prefix.empty() || full_path_.compare(0, prefix.size(), prefix) != 0) {
    path = full_path_;
    return KV7_TRACE_RETURN(S_FALSE);
  }
  path = full_path_.substr(prefix.size());
  std::replace(path.begin(), path.end(), u'/', u'\\');
  return KV7_TRACE_RETURN(S_OK);
}

CFileVwProjNode* CFileVwBaseNode::GetProjectNode() const {
  KV7_TRACE_ENTRY("CFileVwBaseNode::GetProjectNode", 2, "FileVwBaseNode");
  const CHierNode* node = this;
  while (node->GetParent() != nullptr) node = node->GetParent();
  return node->GetKindOf() == kKindProject
             ? static_cast<CFileVwProjNode*>(const_cast<CHierNode*>(node))
             : nullptr;
}

CFileVwBaseNode* CFileVwBaseNode::GetNodeByFullPath(WStringView path) {
  KV7_TRACE_ENTRY("CFileVwBaseNode::GetNodeByFullPath", 2, "FileVwBaseNode");
  CFileVwBaseNode* folded = nullptr;
  std::vector<CFileVwBaseNode*> pending{this};
  while (!pending.empty()) {
    CFileVwBaseNode* node = pending.back();
    pending.pop_back();
    if (node->full_path_ == path) return node;
    if (folded == nullptr && kv7::EqualsNoCase(node->full_path_, path)) folded = node;
    for (CHierNode* child = node->FirstChildNoPopulate(); child; child = child->GetNext())
      pending.push_back(static_cast<CFileVwBaseNode*>(child));
  }
  return folded;
}

// ---- CFileVwFileNode ------------------------------------------------------

ComPtr<CFileVwFileNode> CFileVwFileNode::CreateInstance(WStringView path) {
  KV7_TRACE_ENTRY("CFileVwFileNode::CreateInstance", 2, "FileVwFileNode");
  ComPtr<CFileVwFileNode> node = kv7::AdoptNew(new CFileVwFileNode);
  node->SetFullPath(path);
  return node;
}

void CFileVwFileNode::SetFullPath(WStringView path) {
  KV7_TRACE_ENTRY("CFileVwFileNode::SetFullPath", 2, "FileVwFileNode");
  // The container indexes its files by name: out under the old, in under the new.
  auto* container = dynamic_cast<CFileVwFolderNode*>(GetParent());
  if (container) container->ChildUnlinking(this);
  CFileVwBaseNode::SetFullPath(path);
  SetName(GetFileName());
  if (container) container->ChildLinked(this);
}

LONG CFileVwFileNode::GetIconIndex(int) const {
  KV7_TRACE_ENTRY("CFileVwFileNode::GetIconIndex", 2, "FileVwFileNode");
  return KV7_TRACE_RETURN(-1);
}

WString CFileVwFileNode::GetDisplayCaption() const {
  KV7_TRACE_ENTRY("CFileVwFileNode::GetDisplayCaption", 2, "FileVwFileNode");
  BOOL hide = FALSE;
  (void)GetKV7GlobalOptions()->GetHideExt(&hide);
  const WString& name = GetName();
  // The extension starts at the last dot; a name that only starts with a
  // dot has none.
  size_t dot = name.find_last_of(u'.');
  if (!hide || dot == WString::npos || dot == 0) return name;
  return name.substr(0, dot);
}

HRESULT CFileVwFileNode::SetEditLabel(WStringView label) {
  KV7_TRACE_ENTRY("CFileVwFileNode::SetEditLabel", 2, "FileVwFileNode");
  auto* container = static_cast<CFileVwFolderNode*>(GetParent());
  if (container == nullptr) return KV7_TRACE_RETURN(E_UNEXPECTED);
  if (CFileVwFileNode* other = container->FindFile(WString(u"/") + WString(label));
      other != nullptr && other != this)
    return KV7_TRACE_RETURN(FailWithText(13, label));
  return KV7_TRACE_RETURN(RenameOnDisk(this, label, [this](const WString& from, const WString& to) {
    SetFullPath(to);
    OnItemRenamed(from, to);
  }));
}

void CFileVwFileNode::OnItemRenamed(WStringView oldPath, WStringView newPath) {
  KV7_TRACE_ENTRY("CFileVwFileNode::OnItemRenamed", 2, "FileVwFileNode");
  CMyProjectHierarchy* hierarchy = GetCVsHierarchy();
  if (hierarchy == nullptr) return;
  (void)hierarchy->GetBuiltFiles()->FileRenamed(oldPath, newPath);
  hierarchy->FileRenamed(oldPath, newPath);
}

HRESULT CFileVwFileNode::SaveAsXMLForProject(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CFileVwFileNode::SaveAsXMLForProject", 2, "FileVwFileNode");
  const char16_t* element = ProjectFileElement();
  buffer.append(indent).append(u"<").append(element).append(u">\r\n");
  HRESULT hr = SaveBaseXMLInfoForProject(WString(indent) + u"\t", buffer);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  buffer.append(indent).append(u"</").append(element).append(u">\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwFileNode::SaveBaseXMLInfoForProject(WStringView indent, WString& buffer) const {
  KV7_TRACE_ENTRY("CFileVwFileNode::SaveBaseXMLInfoForProject", 2, "FileVwFileNode");
  WString reference;
  bool relative = GetProjRelativePath(reference) == S_OK;
  WString inner = WString(indent) + u"\t";
  buffer.append(indent).append(u"<FileInfo>\r\n");
  buffer.append(inner).append(u"<Reference>").append(reference).append(u"</Reference>\r\n");
  buffer.append(inner)
      .append(u"<IsReferenceRelative>")
      .append(relative ? u"1" : u"0")
      .append(u"</IsReferenceRelative>\r\n");
  buffer.append(indent).append(u"</FileInfo>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwFileNode::LoadFromXMLForProject(IXMLDOMNode*) {
  KV7_TRACE_ENTRY("CFileVwFileNode::LoadFromXMLForProject", 2, "FileVwFileNode");
  // The plain item keeps nothing in the project file beyond its path.
  return KV7_TRACE_RETURN(S_OK);
}

// ---- CFileVwFolderNode ----------------------------------------------------

void CFileVwFolderNode::SetFullPath(WStringView path) {
  KV7_TRACE_ENTRY("CFileVwFolderNode::SetFullPath", 2, "FileVwFolderNode");
  CFileVwBaseNode::SetFullPath(path);
  SetName(GetFileName());
}

bool CFileVwFolderNode::Expandable() const {
  KV7_TRACE_ENTRY("CFileVwFolderNode::Expandable", 2, "FileVwFolderNode");
  for (CHierNode* child = FirstChildNoPopulate(); child; child = child->GetNext())
    if (child->IsVisible()) return KV7_TRACE_RETURN(true);
  return KV7_TRACE_RETURN(false);
}

HRESULT CFileVwFolderNode::GetProperty(VSHPROPID property, VARIANT* value) {
  KV7_TRACE_ENTRY("CFileVwFolderNode::GetProperty", 2, "FileVwFolderNode");
  return KV7_TRACE_RETURN(CFileVwBaseNode::GetProperty(property, value));
}

CFileVwFolderNode* CFileVwFolderNode::FindFolder(WStringView name) const {
  KV7_TRACE_ENTRY("CFileVwFolderNode::FindFolder", 2, "FileVwFolderNode");
  for (CHierNode* child = FirstChildNoPopulate(); child; child = child->GetNext())
    if (IsFolderKind(child->GetKindOf()) && kv7::EqualsNoCase(child->GetName(), name))
      return static_cast<CFileVwFolderNode*>(child);
  return nullptr;
}

// Paths that match ignoring case end in names that match ignoring case, so
// the name decides.
CFileVwFileNode* CFileVwFolderNode::FindFile(WStringView path) const {
  KV7_TRACE_ENTRY("CFileVwFolderNode::FindFile", 2, "FileVwFolderNode");
  WStringView file_name = FileNameOf(path);
  auto [first, last] = files_by_name_.equal_range(kv7::FoldCase(file_name));
  if (first == last) return nullptr;
  if (std::next(first) == last) return first->second;
  // Several children share the name: the first in the list wins.
  for (CHierNode* child = FirstChildNoPopulate(); child; child = child->GetNext()) {
    if (!IsFileKind(child->GetKindOf())) continue;
    auto* file = static_cast<CFileVwFileNode*>(child);
    if (kv7::EqualsNoCase(file->GetFileName(), file_name)) return file;
  }
  return nullptr;
}

void CFileVwFolderNode::ChildLinked(CHierNode* child) {
  if (!IsFileKind(child->GetKindOf())) return;
  auto* file = static_cast<CFileVwFileNode*>(child);
  files_by_name_.emplace(kv7::FoldCase(file->GetFileName()), file);
}

void CFileVwFolderNode::ChildUnlinking(CHierNode* child) {
  if (!IsFileKind(child->GetKindOf())) return;
  auto [first, last] = files_by_name_.equal_range(kv7::FoldCase(
      static_cast<CFileVwFileNode*>(child)->GetFileName()));
  for (; first != last; ++first) {
    if (first->second == child) {
      files_by_name_.erase(first);
      return;
    }
  }
}

void CFileVwFolderNode::AllChildrenUnlinking() { files_by_name_.clear(); }

void CFileVwFolderNode::FolderWasRenamed(WStringView oldPath, WStringView newPath) {
  KV7_TRACE_ENTRY("CFileVwFolderNode::FolderWasRenamed", 2, "FileVwFolderNode");
  const WString old_prefix = WString(oldPath) + u"/";
  const WString new_prefix = WString(newPath) + u"/";
  for (CHierNode* child = FirstChildNoPopulate(); child; child = child->GetNext()) {
    auto* node = static_cast<CFileVwBaseNode*>(child);
    // Subfolders move too, so that items added to them later land below the
    // new directory.
    if (kv7::StartsWithNoCase(node->GetFullPath(), old_prefix)) {
      WString moved = new_prefix + node->GetFullPath().substr(old_prefix.size());
      // What an item built stays built under its new path.
      if (IsFileKind(child->GetKindOf()))
        if (CMyProjectHierarchy* hierarchy = GetCVsHierarchy())
          (void)hierarchy->GetBuiltFiles()->FileRenamed(node->GetFullPath(), moved);
      node->SetFullPath(moved);
    }
    if (IsFolderKind(child->GetKindOf()))
      static_cast<CFileVwFolderNode*>(child)->FolderWasRenamed(oldPath, newPath);
  }
}

HRESULT CFileVwFolderNode::SetEditLabel(WStringView label) {
  KV7_TRACE_ENTRY("CFileVwFolderNode::SetEditLabel", 2, "FileVwFolderNode");
  auto* container = static_cast<CFileVwFolderNode*>(GetParent());
  if (container == nullptr) return KV7_TRACE_RETURN(E_UNEXPECTED);
  if (CFileVwFolderNode* other = container->FindFolder(label); other != nullptr && other != this)
    return KV7_TRACE_RETURN(FailWithText(13, label));
  return KV7_TRACE_RETURN(
      RenameOnDisk(this, label, [this](const WString& from, const WString& to) {
        SetFullPath(to);
        GetCVsHierarchy()->FolderWasRenamed(from, to);
        GetCVsHierarchy()->FolderRenamed(from, to);
      }));
}

// ---- CFileVwProjNode ------------------------------------------------------

ComPtr<CFileVwProjNode> CFileVwProjNode::CreateInstance(CMyProjectHierarchy* hierarchy) {
  KV7_TRACE_ENTRY("CFileVwProjNode::CreateInstance", 2, "FileVwProjNode");
  return kv7::AdoptNew(new CFileVwProjNode(hierarchy));
}

void CFileVwProjNode::SetFullPath(WStringView path) {
  KV7_TRACE_ENTRY("CFileVwProjNode::SetFullPath", 2, "FileVwProjNode");
  CFileVwBaseNode::SetFullPath(path);
  SetName(BaseNameOf(GetFileName()));
}

WString CFileVwProjNode::GetFolderPath() const {
  KV7_TRACE_ENTRY("CFileVwProjNode::GetFolderPath", 2, "FileVwProjNode");
  return hierarchy_ ? hierarchy_->GetProjectFolderPath() : WString();
}

HRESULT CFileVwProjNode::GetGuidProperty(VSHPROPID property, GUID* value) {
  KV7_TRACE_ENTRY("CFileVwProjNode::GetGuidProperty", 2, "FileVwProjNode");
  if (property != VSHPROPID_ProjectIDGuid)
    return KV7_TRACE_RETURN(CFileVwFolderNode::GetGuidProperty(property, value));
  if (GetProjectGuid() == GUID_NULL) return KV7_TRACE_RETURN(E_FAIL);
  *value = GetProjectGuid();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwProjNode::SetEditLabel(WStringView label) {
  KV7_TRACE_ENTRY("CFileVwProjNode::SetEditLabel", 2, "FileVwProjNode");
  return KV7_TRACE_RETURN(RenameProject(label));
}

HRESULT CFileVwProjNode::AddExistingFile(CFileVwFolderNode* container, WStringView path,
                                         CFileVwFileNode** added) {
  KV7_TRACE_ENTRY("CFileVwProjNode::AddExistingFile", 2, "FileVwProjNode");
  if (CFileVwFileNode* present = container->FindFile(path)) {
    // The user is told of the same file by its path, of a namesake by name.
    TellUser(13, kv7::EqualsNoCase(present->GetFullPath(), path) ? path : FileNameOf(path));
    return KV7_TRACE_RETURN(E_FAIL);
  }
  const bool loading = hierarchy_ == nullptr || hierarchy_->IsLoading();
  WString file(path);
  if (!loading) {
    HRESULT hr = hierarchy_->DocumentTracker().CanAddItem(file.c_str());
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  ComPtr<CFileVwFileNode> node = CreateFileNodeForPath(path);
  container->AddChild(node.Get());
  if (!loading) (void)hierarchy_->DocumentTracker().OnItemAdded(file.c_str());
  // A database object item enters the project's tracking document.
  if (auto* object = dynamic_cast<CKV7Object*>(node.Get())) (void)object->SyncTrackingDOM();
  if (hierarchy_) {
    hierarchy_->NotifyPropertyChanged(container, VSHPROPID_Expandable);
    hierarchy_->SetDirty();
  }
  if (added) *added = node.Get();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwProjNode::AddExistingKV7Folder(CFileVwFolderNode* container, WStringView path,
                                              CFileVwFolderNode** added) {
  KV7_TRACE_ENTRY("CFileVwProjNode::AddExistingKV7Folder", 2, "FileVwProjNode");
  ComPtr<CKV7FolderNode> folder = CKV7FolderNode::CreateInstance(path);
  container->AddChild(folder.Get());
  if (hierarchy_) hierarchy_->SetDirty();
  if (added) *added = folder.Get();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwProjNode::CreateAndAddFolder(CFileVwFolderNode* container, WStringView name,
                                            CFileVwFolderNode** added) {
  KV7_TRACE_ENTRY("CFileVwProjNode::CreateAndAddFolder", 2, "FileVwProjNode");
  if (!IsValidItemName(name)) return KV7_TRACE_RETURN(FailWithText(10, name));
  if (container->DoesFolderAlreadyExist(name)) return KV7_TRACE_RETURN(FailWithText(13, name));
  WString directory = container->GetItemDirectory() + WString(name);
  if (kv7::FileExists(directory)) return KV7_TRACE_RETURN(FailWithText(780, directory));
  HRESULT hr = kv7::CreateDirectories(directory);
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
  hr = AddExistingKV7Folder(container, directory, added);
  if (SUCCEEDED(hr) && hierarchy_) hierarchy_->FolderAdded(directory);
  return KV7_TRACE_RETURN(hr);
}

HRESULT CFileVwProjNode::DeleteNode(CFileVwFileNode* node, bool deleteFromDisk) {
  KV7_TRACE_ENTRY("CFileVwProjNode::DeleteNode", 2, "FileVwProjNode");
  if (hierarchy_ && !hierarchy_->QueryEditProjectFile())
    return KV7_TRACE_RETURN(OLE_E_PROMPTSAVECANCELLED);
  ComPtr<CFileVwFileNode> keep(node);
  WString path = node->GetFullPath();
  if (hierarchy_) {
    HRESULT hr = hierarchy_->DocumentTracker().CanDeleteItem(path.c_str());
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
    hierarchy_->FileDeleted(path);
  }
  auto* object = dynamic_cast<CKV7Object*>(node);
  if (object) (void)object->RemoveInfoFromMainDOM(true);
  if (hierarchy_) hierarchy_->NotifyItemDeleted(node);
  HRESULT hr = node->GetParent()->DeleteChild(node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  if (hierarchy_) {
    (void)hierarchy_->DocumentTracker().OnItemDeleted(path.c_str());
    (void)hierarchy_->GetBuiltFiles()->SetFileAsNotBuilt(path);
    hierarchy_->SetDirty();
  }
  if (deleteFromDisk) {
    hr = kv7::DeleteFile(path);
    if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
    // A database object's metadata document goes with it.
    WString metadata = path + u"x";
    if (object && kv7::FileExists(metadata)) (void)kv7::DeleteFile(metadata);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwProjNode::DeleteFolder(CFileVwFolderNode* folder, bool deleteFromDisk) {
  KV7_TRACE_ENTRY("CFileVwProjNode::DeleteFolder", 2, "FileVwProjNode");
  if (hierarchy_ && !hierarchy_->QueryEditProjectFile())
    return KV7_TRACE_RETURN(OLE_E_PROMPTSAVECANCELLED);
  ComPtr<CFileVwFolderNode> keep(folder);
  WString path = folder->GetFullPath();
  if (hierarchy_) {
    HRESULT hr = hierarchy_->DocumentTracker().CanDeleteItem(path.c_str(), 1);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
    hierarchy_->FolderDeleted(path);
  }
  std::vector<CFileVwFileNode*> items;
  if (auto* kv7_folder = dynamic_cast<CKV7FolderNode*>(folder)) kv7_folder->AddEveryFileNode(items);
  for (CFileVwFileNode* item : items) {
    if (auto* object = dynamic_cast<CKV7Object*>(item)) (void)object->RemoveInfoFromMainDOM(true);
    if (hierarchy_) (void)hierarchy_->GetBuiltFiles()->SetFileAsNotBuilt(item->GetFullPath());
  }
  if (hierarchy_) hierarchy_->NotifyItemDeleted(folder);
  HRESULT hr = folder->GetParent()->DeleteChild(folder);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  if (hierarchy_) {
    (void)hierarchy_->DocumentTracker().OnItemDeleted(path.c_str(), 1);
    hierarchy_->SetDirty();
  }
  if (deleteFromDisk && !RemoveDirectoryAndContents(path.c_str()))
    return KV7_TRACE_RETURN(FailWithText(768, path));
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwProjNode::RenameProject(WStringView newName) {
  KV7_TRACE_ENTRY("CFileVwProjNode::RenameProject", 2, "FileVwProjNode");
  if (hierarchy_ == nullptr) return KV7_TRACE_RETURN(E_UNEXPECTED);
  WString file_name(newName);
  if (!kv7::EndsWithNoCase(file_name, u".kv7p")) file_name += u".kv7p";
  if (!IsValidItemName(file_name)) return KV7_TRACE_RETURN(FailWithText(10, newName));
  WString old_path = GetFullPath();
  WString new_path = GetFolderPath() + file_name;
  if (new_path == old_path) return KV7_TRACE_RETURN(S_OK);
  if (!kv7::EqualsNoCase(old_path, new_path) && kv7::FileExists(new_path))
    return KV7_TRACE_RETURN(FailWithText(780, file_name));
  if (kv7::FileExists(old_path)) {
    HRESULT hr = kv7::MoveFile(old_path, new_path);
    if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
  }
  WString old_name = GetName();
  SetFullPath(new_path);
  hierarchy_->SetProjectFilePath(new_path);
  hierarchy_->NotifyPropertyChanged(this, VSHPROPID_Caption);
  // The record's file follows the project file's name.
  CKV7BuiltFiles* record = hierarchy_->GetBuiltFiles();
  WString old_record = record->GenerateDefaultName(old_path, false);
  WString new_record = record->GenerateDefaultName(new_path, true);
  if (kv7::FileExists(old_record) && !kv7::FileExists(new_record))
    (void)kv7::MoveFile(old_record, new_record);
  hierarchy_->ProjectRenamed(old_name, GetName());
  SetDirty(true);
  return KV7_TRACE_RETURN(S_OK);
}
