// The add-item flow: the IDE's add-item request (existing files, clones of
// templates, the item wizard) and the items that tools create, each checked,
// added to its container and announced.
#include "kv7/build/configurations.h"
#include "kv7/helper/helper.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/codepage.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/platform/messagebox.h"
#include "kv7/trace/trace.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/utilities.h"

namespace {

constexpr UINT kInvalidNameText = 10;
constexpr UINT kExistsText = 780;
constexpr UINT kExistsCaption = 781;

// Checks the name of an item about to be created in a container and gives
// its path: a name the file system would not take fails with text 10 as
// error information; a name already held on disk is refused in a warning
// box (780, 781) with E_ABORT.
HRESULT PrepareNewTarget(CFileVwFolderNode* container, WStringView name, WString& target) {
  if (!IsValidItemName(name)) {
    kv7::SetErrorInfo(E_FAIL, FormatUIString(kInvalidNameText, name));
    return E_FAIL;
  }
  target = container->GetItemDirectory() + WString(name);
  if (kv7::FileExists(target) || kv7::DirectoryExists(target)) {
    MessageBoxW(nullptr, FormatUIString(kExistsText, name).c_str(),
                LoadUIString(kExistsCaption).c_str(), MB_OK | MB_ICONWARNING);
    return E_ABORT;
  }
  return S_OK;
}

// Adds a file that was just created for the container; a file the project
// does not take is deleted again, so that a failed add leaves nothing.
HRESULT AddCreatedFile(CFileVwProjNode* root, CFileVwFolderNode* container, WStringView path,
                       CFileVwFileNode** added) {
  HRESULT hr = root->AddExistingFile(container, path, added);
  if (FAILED(hr)) (void)kv7::DeleteFile(path);
  return hr;
}

// What the IDE hears of an add-item request's status.
VSADDRESULT AddResultOf(HRESULT status) {
  if (SUCCEEDED(status)) return ADDRESULT_Success;
  return status == E_ABORT || status == OLE_E_PROMPTSAVECANCELLED ? ADDRESULT_Cancel
                                                                  : ADDRESULT_Failure;
}

// Listeners first, so that they know the item by the time the IDE selects
// and opens it.
void AnnounceNewItem(CMyProjectHierarchy* hierarchy, CFileVwFileNode* node, bool openInEditor) {
  if (hierarchy == nullptr) return;
  hierarchy->FileAdded(node->GetFullPath());
  ComPtr<IVsUIHierarchyWindow> window;
  if (SUCCEEDED(QueryPackageService(SID_SVsUIHierarchyWindow, &window)))
    (void)window->ExpandItem(hierarchy, node->GetVsItemID(), EXPF_SelectItem);
  // The item is in the project whether or not an editor can show it.
  if (openInEditor) (void)node->OnCmdOpen();
}

// The steps that a clone and a new item share: check the name, let `create`
// make the file at its path and add it to the container, then announce it.
template <class Create>
HRESULT CreateAddAndAnnounce(CFileVwProjNode* root, CFileVwFolderNode* container, WStringView name,
                             bool openInEditor, Create create, CFileVwFileNode** added) {
  WString target;
  HRESULT hr = PrepareNewTarget(container, name, target);
  if (FAILED(hr)) return hr;
  CFileVwFileNode* node = nullptr;
  hr = create(target, &node);
  if (FAILED(hr)) return hr;
  AnnounceNewItem(root->GetCVsHierarchy(), node, openInEditor);
  if (added) *added = node;
  return S_OK;
}

// Adds listed files where they are, going on after one that cannot be
// added; the first failure's status.
HRESULT AddListedFiles(CFileVwProjNode* root, CFileVwFolderNode* folder, ULONG fileCount,
                       const char16_t* const* files) {
  HRESULT first_failure = S_OK;
  for (ULONG i = 0; i < fileCount; ++i) {
    CFileVwFileNode* node = nullptr;
    HRESULT hr = files[i] ? root->AddExistingFile(folder, files[i], &node) : E_INVALIDARG;
    if (SUCCEEDED(hr))
      AnnounceNewItem(root->GetCVsHierarchy(), node, true);
    else if (SUCCEEDED(first_failure))
      first_failure = hr;
  }
  return first_failure;
}

// Carries out an add-item request for a container of the project.
HRESULT AddItemsOfRequest(CFileVwProjNode* root, CFileVwFolderNode* folder,
                          VSADDITEMOPERATION operation, WStringView itemName, ULONG fileCount,
                          const char16_t* const* files) {
  CMyProjectHierarchy* hierarchy = root->GetCVsHierarchy();
  if (hierarchy && !hierarchy->QueryEditProjectFile()) return OLE_E_PROMPTSAVECANCELLED;
  if (files == nullptr) fileCount = 0;
  switch (operation) {
    case VSADDITEMOP_OPENFILE:
    case VSADDITEMOP_LINKTOFILE:
      return AddListedFiles(root, folder, fileCount, files);
    case VSADDITEMOP_CLONEFILE:
      if (fileCount == 0 || files[0] == nullptr) return E_INVALIDARG;
      return CreateAddAndAnnounce(
          root, folder, itemName, true,
          [root, folder, files](const WString& target, CFileVwFileNode** node) {
            return root->AddNewFile(folder, files[0], target, node);
          },
          nullptr);
    case VSADDITEMOP_RUNWIZARD: {
      WString target;
      HRESULT hr = PrepareNewTarget(folder, itemName, target);
      return FAILED(hr) ? hr : root->RunWizard(folder);
    }
    default:
      return E_INVALIDARG;
  }
}

}  // namespace

// ---- CFileVwProjNode ----------------------------------------------------------

HRESULT CFileVwProjNode::AddItem(VSADDITEMOPERATION operation, const char16_t* itemName,
                                 ULONG fileCount, const char16_t* const* files,
                                 VSADDRESULT* result) {
  KV7_TRACE_ENTRY("CFileVwProjNode::AddItem", 2, "FileVwProjNode");
  return KV7_TRACE_RETURN(AddItemToFolder(this, operation, itemName, fileCount, files, result));
}

HRESULT CFileVwProjNode::AddItemToFolder(CFileVwFolderNode* folder, VSADDITEMOPERATION operation,
                                         const char16_t* itemName, ULONG fileCount,
                                         const char16_t* const* files, VSADDRESULT* result) {
  KV7_TRACE_ENTRY("CFileVwProjNode::AddItemToFolder", 2, "FileVwProjNode");
  HRESULT hr =
      AddItemsOfRequest(this, folder, operation, itemName ? itemName : u"", fileCount, files);
  if (result) *result = AddResultOf(hr);
  return KV7_TRACE_RETURN(hr);
}

HRESULT CFileVwProjNode::AddNewFile(CFileVwFolderNode* container, WStringView templatePath,
                                    WStringView target, CFileVwFileNode** added) {
  KV7_TRACE_ENTRY("CFileVwProjNode::AddNewFile", 2, "FileVwProjNode");
  HRESULT hr = kv7::CopyFileNoOverwrite(templatePath, target);
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportFileError(hr, u"create", target));
  // A template may be read-only; the new item is the user's to edit.
  (void)kv7::SetFileAttributes(target, FILE_ATTRIBUTE_ARCHIVE);
  WString path(target);
  (void)SetFileToCurrentTime(path.c_str());
  return KV7_TRACE_RETURN(AddCreatedFile(this, container, target, added));
}

HRESULT CFileVwProjNode::RunWizard(CFileVwFolderNode* container) {
  KV7_TRACE_ENTRY("CFileVwProjNode::RunWizard", 2, "FileVwProjNode");
  WString connection;
  if (CKV7ConnInfo* info = hierarchy_ ? hierarchy_->GetActiveConnInfo() : nullptr)
    (void)info->ExtractXML(connection, TRUE, FALSE, FALSE);
  const WString directory = container->GetItemDirectory();
  return KV7_TRACE_RETURN(
      CCommandHelperHook().RunProcedureScriptWizard(connection.c_str(), directory.c_str(), u""));
}

HRESULT CFileVwProjNode::AddNewItem(CFileVwFolderNode* container, WStringView fileName,
                                    WStringView contents, bool openInEditor,
                                    CFileVwFileNode** added) {
  KV7_TRACE_ENTRY("CFileVwProjNode::AddNewItem", 2, "FileVwProjNode");
  if (hierarchy_ && !hierarchy_->QueryEditProjectFile())
    return KV7_TRACE_RETURN(OLE_E_PROMPTSAVECANCELLED);
  return KV7_TRACE_RETURN(CreateAddAndAnnounce(
      this, container, fileName, openInEditor,
      [this, container, contents](const WString& target, CFileVwFileNode** node) {
        HRESULT hr = kv7::WriteFileBytes(target, kv7::WideToAnsi(contents));
        if (FAILED(hr)) return kv7::ReportFileError(hr, u"create", target);
        return AddCreatedFile(this, container, target, node);
      },
      added));
}

// ---- CMyProjectHierarchy ------------------------------------------------------

HRESULT CMyProjectHierarchy::AddItem(VSITEMID location, VSADDITEMOPERATION operation,
                                     const char16_t* itemName, ULONG fileCount,
                                     const char16_t* const* files, VSADDRESULT* result) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::AddItem", 2, "PrjHier");
  if (!project_node_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  CHierNode* node = nullptr;
  HRESULT hr = VSITEMID2Node(location, &node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  if (IsKV7FolderKind(node->GetKindOf()))
    return KV7_TRACE_RETURN(project_node_->AddItemToFolder(
        static_cast<CFileVwFolderNode*>(node), operation, itemName, fileCount, files, result));
  return KV7_TRACE_RETURN(project_node_->AddItem(operation, itemName, fileCount, files, result));
}
