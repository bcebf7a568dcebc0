#include "kv7/hierarchy/project_hierarchy.h"

#include <algorithm>
#include <future>
#include <system_error>

#include "kv7/build/configurations.h"
#include "kv7/build/node_executors.h"
#include "kv7/build/startup_services.h"
#include "kv7/build/task_listener.h"
#include "kv7/document/built_files.h"
#include "kv7/helper/helper.h"
#include "kv7/options/global_options.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/platform/messagebox.h"
#include "kv7/platform/registry.h"
#include "kv7/trace/trace.h"
#include "kv7/util/connection_strings.h"
#include "kv7/util/path_names.h"
#include "kv7/util/string_array.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/utilities.h"
#include "kv7/util/xml_helpers.h"

namespace {

// The message shown when the built-files record does not load.
constexpr UINT kRecordUnreadableText = 2001;

// The open hierarchies of the process, in the order they were created.
std::vector<CMyProjectHierarchy*>& OpenHierarchies() {
  static std::vector<CMyProjectHierarchy*> open;
  return open;
}

// Closes a container's subtree, deepest first, letting go of every node.
void CloseTree(CHierContainer* container) {
  for (CHierNode* child = container->FirstChildNoPopulate(); child; child = child->GetNext())
    if (auto* inner = dynamic_cast<CHierContainer*>(child)) CloseTree(inner);
  container->DeleteAllChildren();
}

// The editor map covers scripts, procedures and functions.
bool UsesPackageEditor(const char16_t* path) {
  WStringView view(path);
  size_t dot = view.find_last_of(u'.');
  if (dot == WStringView::npos) return false;
  WStringView extension = view.substr(dot);
  return kv7::EqualsNoCase(extension, u".kv7") || kv7::EqualsNoCase(extension, u".kv7udf") ||
         kv7::EqualsNoCase(extension, u".kv7sp");
}

}  // namespace

// Hands the provider's events to the hierarchy that owns the provider.
class CMyProjectHierarchy::CfgProviderEvents final : public kv7::ComObject<IVsCfgProviderEvents> {
 public:
  explicit CfgProviderEvents(CMyProjectHierarchy* hierarchy) : hierarchy_(hierarchy) {}

  HRESULT OnCfgNameAdded(const char16_t*) override { return S_OK; }
  HRESULT OnCfgNameDeleted(const char16_t* name) override {
    hierarchy_->OnCfgNameDeleted(name);
    return S_OK;
  }
  HRESULT OnCfgNameRenamed(const char16_t* oldName, const char16_t* newName) override {
    hierarchy_->OnCfgNameRenamed(oldName, newName);
    return S_OK;
  }
  HRESULT OnPlatformNameAdded(const char16_t*) override { return S_OK; }
  HRESULT OnPlatformNameDeleted(const char16_t* platform) override {
    hierarchy_->OnPlatformNameDeleted(platform);
    return S_OK;
  }

 private:
  CMyProjectHierarchy* hierarchy_;
};

ComPtr<CMyProjectHierarchy> CMyProjectHierarchy::CreateInstance() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::CreateInstance", 2, "PrjHier");
  return kv7::AdoptNew(new CMyProjectHierarchy);
}

CMyProjectHierarchy::CMyProjectHierarchy()
    : built_files_(std::make_unique<CKV7BuiltFiles>()),
      startup_services_(CVsProjectStartupServices::CreateInstance()) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::CMyProjectHierarchy", 6, "PrjHier");
  if (SUCCEEDED(CreateXMLDOMDocument(tracking_document_.Put()))) {
    VARIANT_BOOL ok;
    (void)tracking_document_->loadXML(u"<KV7DOMTracker/>", &ok);
  }
  OpenHierarchies().push_back(this);
}

CMyProjectHierarchy::~CMyProjectHierarchy() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::~CMyProjectHierarchy", 6, "PrjHier");
  if (project_node_) CloseTree(project_node_.Get());
  (void)CloseCleanup();
}

HRESULT CMyProjectHierarchy::CheckOpen() const {
  return initialized_ && project_node_ && !closed_ ? S_OK : E_UNEXPECTED;
}

void CMyProjectHierarchy::SetProjectFilePath(WStringView path) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SetProjectFilePath", 2, "PrjHier");
  project_file_ = path;
  project_folder_ = DirectoryWithSlash(path);
}

// ---- Life -----------------------------------------------------------------

HRESULT CMyProjectHierarchy::Init(const char16_t* fileName, const char16_t* location,
                                  const char16_t* name, DWORD flags, BOOL* canceled) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::Init", 2, "PrjHier");
  if (fileName == nullptr || location == nullptr || canceled == nullptr)
    return KV7_TRACE_RETURN(E_INVALIDARG);
  (void)name;
  *canceled = FALSE;
  if (initialized_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  project_node_ = CFileVwProjNode::CreateInstance(this);
  SetProjectFilePath(fileName);
  project_node_->SetFullPath(fileName);
  initialized_ = true;
  (void)InitProjectSpecificEditorMap();
  CreateCfgProvider();
  if ((flags & CPF_OPENFILE) != 0) {
    HRESULT hr = Load(fileName, 0, FALSE);
    if (FAILED(hr)) {
      HRESULT status = hr;
      WString reason;
      (void)kv7::GetErrorInfo(&status, &reason);
      WString text = FormatUIString(35, fileName);
      if (!reason.empty()) text += u" " + reason;
      kv7::SetErrorInfo(hr, text);
      return KV7_TRACE_RETURN(hr);
    }
  }
  // A file without configurations (a new project, or an old file whose
  // connection was the project's) gets the default ones.
  if (cfg_provider_->CreateDefaultConfigurations() == S_OK) {
    GiveProjectConnectionToConfigurations();
    EnterConfigurationsInRecord();
  }
  if ((flags & CPF_OPENFILE) == 0) (void)AddDefaultFolders();
  ProjectAdded(project_node_->GetName());
  if ((flags & CPF_OPENFILE) == 0) TakeNewProjectConnection();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::InitNew(DWORD) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::InitNew", 2, "PrjHier");
  SetDirty();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::Load(const char16_t* fileName, DWORD mode, BOOL) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::Load", 2, "PrjHier");
  if (mode != 0) return KV7_TRACE_RETURN(E_INVALIDARG);
  if (!initialized_ || !project_node_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  loading_ = true;
  missing_on_load_.clear();
  // The record is read beside the project file meanwhile: for a large
  // project both files are large, and neither needs the other. Without a
  // thread to be had it is read after the project file.
  const WString project_file(fileName ? fileName : u"");
  std::future<BuiltFilesRead> record;
  try {
    record = std::async(std::launch::async, ReadBuiltFiles, project_file);
  } catch (const std::system_error&) {
    record = std::async(std::launch::deferred, ReadBuiltFiles, project_file);
  }
  HRESULT hr = LoadFromXML(fileName);
  loading_ = false;
  BuiltFilesRead read = record.get();
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  GiveProjectConnectionToConfigurations();
  TakeBuiltFiles(std::move(read));
  EnterConfigurationsInRecord();
  project_node_->SetDirty(format_version_ < kProjectFormatVersion);
  BOOL save_user_and_password = TRUE;
  (void)GetKV7GlobalOptions()->GetSaveUserAndPassword(&save_user_and_password);
  save_user_and_password_ = save_user_and_password != FALSE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::Save(const char16_t* fileName, BOOL remember, DWORD) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::Save", 2, "PrjHier");
  HRESULT hr = CheckOpen();
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  // A clean project whose record alone changed writes only the record.
  if (!project_node_->IsDirty() && built_files_->IsDirty()) {
    WString project_file = fileName && *fileName ? WString(fileName) : project_file_;
    return KV7_TRACE_RETURN(
        built_files_->SaveToFile(built_files_->GenerateDefaultName(project_file, false).c_str()));
  }
  if (fileName == nullptr || *fileName == 0) {
    if (project_file_.empty()) return KV7_TRACE_RETURN(E_UNEXPECTED);
    return KV7_TRACE_RETURN(WriteProjectFile(project_file_));
  }
  WString target(fileName);
  if (!kv7::EqualsNoCase(DirectoryWithSlash(target), project_folder_)) {
    kv7::SetErrorInfo(E_FAIL, FormatUIString(34, target));
    return KV7_TRACE_RETURN(E_FAIL);
  }
  if (remember && !kv7::EqualsNoCase(target, project_file_)) {
    WString name = target.substr(project_folder_.size());
    hr = project_node_->RenameProject(name);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  } else if (remember) {
    SetProjectFilePath(target);
    project_node_->SetFullPath(target);
  }
  return KV7_TRACE_RETURN(WriteProjectFile(target));
}

HRESULT CMyProjectHierarchy::WriteProjectFile(const WString& path) {
  ComPtr<IVsFileChangeEx> changes;
  bool suspended = SUCCEEDED(QueryPackageService(SID_SVsFileChangeEx, &changes));
  if (suspended) (void)changes->IgnoreFile(path.c_str(), TRUE);
  HRESULT hr = SaveAsXML(path.c_str());
  if (SUCCEEDED(hr)) project_node_->SetDirty(false);
  // The record is written beside the project file under its name.
  if (SUCCEEDED(hr))
    hr = built_files_->SaveToFile(built_files_->GenerateDefaultName(path, true).c_str());
  // (Dirty item documents are saved here.)
  if (suspended) (void)changes->IgnoreFile(path.c_str(), FALSE);
  return hr;
}

HRESULT CMyProjectHierarchy::SaveCompleted(const char16_t*) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SaveCompleted", 2, "PrjHier");
  return KV7_TRACE_RETURN(initialized_ ? S_OK : E_UNEXPECTED);
}

HRESULT CMyProjectHierarchy::GetCurFile(BSTR* fileName, DWORD* formatIndex) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetCurFile", 2, "PrjHier");
  if (fileName == nullptr || formatIndex == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  *fileName = SysAllocWString(project_file_);
  *formatIndex = 0;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::IsDirty(BOOL* dirty) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::IsDirty", 2, "PrjHier");
  if (dirty == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  if (!initialized_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  *dirty = (project_node_ && project_node_->IsDirty()) || IsBuiltFilesObjectDirty();
  return KV7_TRACE_RETURN(S_OK);
}

bool CMyProjectHierarchy::IsBuiltFilesObjectDirty() const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::IsBuiltFilesObjectDirty", 2, "PrjHier");
  return KV7_TRACE_RETURN(built_files_->IsDirty());
}

HRESULT CMyProjectHierarchy::IsProjectReallyDirty(BOOL* dirty) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::IsProjectReallyDirty", 2, "PrjHier");
  if (dirty == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  *dirty = project_node_ ? project_node_->IsDirty() : TRUE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::QueryClose(BOOL* canClose) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::QueryClose", 2, "PrjHier");
  if (canClose == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  *canClose = TRUE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::Close() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::Close", 2, "PrjHier");
  if (closed_) return KV7_TRACE_RETURN(S_OK);
  if (built_files_->IsDirty() && !project_file_.empty())
    (void)built_files_->SaveToFile(built_files_->GenerateDefaultName(project_file_, false).c_str());
  // (The automation project-removed event is raised and source control let
  // go here.)
  if (cfg_provider_) {
    (void)cfg_provider_->UnadviseCfgProviderEvents(cfg_provider_cookie_);
    cfg_provider_->Close();
    cfg_provider_.Reset();
  }
  if (project_node_) {
    CloseTree(project_node_.Get());
    project_node_.Reset();
  }
  event_sinks_.clear();
  return KV7_TRACE_RETURN(CloseCleanup());
}

HRESULT CMyProjectHierarchy::CloseCleanup() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::CloseCleanup", 2, "PrjHier");
  if (closed_) return KV7_TRACE_RETURN(S_OK);
  ProjectDeleted(BaseNameOf(project_file_));
  ShutDownListeners();
  auto& open = OpenHierarchies();
  open.erase(std::remove(open.begin(), open.end(), this), open.end());
  tracking_document_.Reset();
  // A task still running must not call back into a closed project.
  for (const auto& task : tasks_) {
    ComPtr<ITaskExecutionListener> listener;
    (void)task->GetHook()->getTaskExecutionListener(listener.Put());
    if (listener) static_cast<CKV7TaskListener*>(listener.Get())->Detach();
  }
  DeleteWaitingList();
  building_cfg_.Reset();
  closed_ = true;
  (void)CCommandHelperHook().CollectGarbage();
  return KV7_TRACE_RETURN(S_OK);
}

// ---- IVsHierarchy ---------------------------------------------------------

HRESULT CMyProjectHierarchy::SetSite(IServiceProvider* site) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SetSite", 2, "PrjHier");
  site_ = site;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::GetSite(IServiceProvider** site) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetSite", 2, "PrjHier");
  return KV7_TRACE_RETURN(site_.CopyTo(site));
}

HRESULT CMyProjectHierarchy::VSITEMID2Node(VSITEMID item, CHierNode** node) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::VSITEMID2Node", 2, "PrjHier");
  if (item == VSITEMID_SELECTION || !project_node_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  if (item == VSITEMID_ROOT) {
    *node = project_node_.Get();
    return KV7_TRACE_RETURN(S_OK);
  }
  CHierNode* found = item == VSITEMID_NIL ? nullptr : CHierNode::FromRegisteredID(item);
  if (found == nullptr || found->GetParent() == nullptr) return KV7_TRACE_RETURN(E_FAIL);
  *node = found;
  return KV7_TRACE_RETURN(S_OK);
}

CFileVwFileNode* CMyProjectHierarchy::VSITEMID2FileNode(VSITEMID item) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::VSITEMID2FileNode", 2, "PrjHier");
  CHierNode* node = nullptr;
  if (FAILED(VSITEMID2Node(item, &node)) || !IsFileKind(node->GetKindOf())) return nullptr;
  return static_cast<CFileVwFileNode*>(node);
}

CFileVwFolderNode* CMyProjectHierarchy::VSITEMID2FolderNode(VSITEMID item) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::VSITEMID2FolderNode", 2, "PrjHier");
  CHierNode* node = nullptr;
  if (FAILED(VSITEMID2Node(item, &node)) || !IsFolderKind(node->GetKindOf())) return nullptr;
  return static_cast<CFileVwFolderNode*>(node);
}

HRESULT CMyProjectHierarchy::GetProperty(VSITEMID item, VSHPROPID property, VARIANT* value) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetProperty", 2, "PrjHier");
  if (value == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  CHierNode* node = nullptr;
  HRESULT hr = VSITEMID2Node(item, &node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  auto id_of = [](CHierNode* n) { return static_cast<LONG>(n ? n->GetVsItemID() : VSITEMID_NIL); };
  switch (property) {
    case VSHPROPID_Parent:
      *value = VARIANT::FromInt(id_of(node->GetParent()));
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_FirstChild: {
      auto* container = dynamic_cast<CHierContainer*>(node);
      *value = VARIANT::FromInt(
          static_cast<LONG>(container ? container->GetFirstListedChildID() : VSITEMID_NIL));
      return KV7_TRACE_RETURN(S_OK);
    }
    case VSHPROPID_NextSibling: {
      CHierNode* next = node->GetNext();
      while (next && (next->GetFlags() & kNodeListed) == 0) next = next->GetNext();
      *value = VARIANT::FromInt(id_of(next));
      return KV7_TRACE_RETURN(S_OK);
    }
    case VSHPROPID_Root:
      *value = VARIANT::FromInt(static_cast<LONG>(VSITEMID_ROOT));
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_ProjectDir:
      *value = VARIANT::FromString(project_folder_);
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_OwnerKey:
      *value = VARIANT::FromString(owner_key_);
      return KV7_TRACE_RETURN(S_OK);
    case VSHPROPID_IconImgList:
      return KV7_TRACE_RETURN(DISP_E_MEMBERNOTFOUND);
    case VSHPROPID_ConfigurationProvider:
      if (!cfg_provider_) return KV7_TRACE_RETURN(E_UNEXPECTED);
      *value = VARIANT::FromUnknown(static_cast<IVsCfgProvider2*>(cfg_provider_.Get()));
      return KV7_TRACE_RETURN(S_OK);
    default:
      return KV7_TRACE_RETURN(node->GetProperty(property, value));
  }
}

HRESULT CMyProjectHierarchy::SetProperty(VSITEMID item, VSHPROPID property, const VARIANT& value) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SetProperty", 2, "PrjHier");
  CHierNode* node = nullptr;
  HRESULT hr = VSITEMID2Node(item, &node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  if (property == VSHPROPID_OwnerKey) {
    if (value.vt() != VT_BSTR) return KV7_TRACE_RETURN(E_INVALIDARG);
    WString key(value.bstrVal(), SysStringLen(value.bstrVal()));
    if (!kv7::EqualsNoCase(key, owner_key_) && QueryEditProjectFile()) {
      owner_key_ = key;
      SetDirty();
    }
  } else if (property == VSHPROPID_EditLabel) {
    if (value.vt() != VT_BSTR) return KV7_TRACE_RETURN(E_INVALIDARG);
    hr = node->SetEditLabel(WStringView(value.bstrVal(), SysStringLen(value.bstrVal())));
  } else {
    hr = node->SetProperty(property, value);
  }
  if (SUCCEEDED(hr)) NotifyPropertyChanged(node, property);
  return KV7_TRACE_RETURN(hr);
}

HRESULT CMyProjectHierarchy::GetGuidProperty(VSITEMID item, VSHPROPID property, GUID* value) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetGuidProperty", 2, "PrjHier");
  if (value == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  if (property == VSHPROPID_CmdUIGuid) {
    *value = GUID_KV7CmdUI;
    return KV7_TRACE_RETURN(S_OK);
  }
  CHierNode* node = nullptr;
  HRESULT hr = VSITEMID2Node(item, &node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  return KV7_TRACE_RETURN(node->GetGuidProperty(property, value));
}

HRESULT CMyProjectHierarchy::SetGuidProperty(VSITEMID item, VSHPROPID property, REFGUID value) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SetGuidProperty", 2, "PrjHier");
  if (closed_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  CHierNode* node = nullptr;
  HRESULT hr = VSITEMID2Node(item, &node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  if (property != VSHPROPID_ProjectIDGuid || !HasKind(node->GetKindOf(), kKindFileView))
    return KV7_TRACE_RETURN(DISP_E_MEMBERNOTFOUND);
  static_cast<CFileVwBaseNode*>(node)->SetProjectGuid(value);
  NotifyPropertyChanged(node, property);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::GetCanonicalName(VSITEMID item, BSTR* name) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetCanonicalName", 2, "PrjHier");
  if (name == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  CHierNode* node = nullptr;
  HRESULT hr = VSITEMID2Node(item, &node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  const WString& path = static_cast<CFileVwBaseNode*>(node)->GetFullPath();
  *name = SysAllocWString(path);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::ParseCanonicalName(const char16_t* name, VSITEMID* item) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ParseCanonicalName", 2, "PrjHier");
  WStringView text = name ? WStringView(name) : WStringView();
  if (!text.empty() && text.find(u'\\') != WStringView::npos && item &&
      FindFolderBasedItem(text, item))
    return KV7_TRACE_RETURN(S_OK);
  if (item == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  if (!project_node_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  for (CHierNode* child = project_node_->FirstChildNoPopulate(); child; child = child->GetNext()) {
    if (static_cast<CFileVwBaseNode*>(child)->GetFullPath() == text) {
      *item = child->GetVsItemID();
      return KV7_TRACE_RETURN(S_OK);
    }
  }
  return KV7_TRACE_RETURN(E_FAIL);
}

HRESULT CMyProjectHierarchy::AdviseHierarchyEvents(IVsHierarchyEvents* sink, DWORD* cookie) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::AdviseHierarchyEvents", 2, "PrjHier");
  if (sink == nullptr || cookie == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  *cookie = next_cookie_++;
  event_sinks_.emplace_back(*cookie, sink);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::UnadviseHierarchyEvents(DWORD cookie) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::UnadviseHierarchyEvents", 2, "PrjHier");
  auto it = std::find_if(event_sinks_.begin(), event_sinks_.end(),
                         [cookie](const auto& entry) { return entry.first == cookie; });
  if (it == event_sinks_.end()) return KV7_TRACE_RETURN(E_INVALIDARG);
  event_sinks_.erase(it);
  return KV7_TRACE_RETURN(S_OK);
}

template <class Call>
static void ForEachSink(const std::vector<std::pair<DWORD, ComPtr<IVsHierarchyEvents>>>& sinks,
                        Call call) {
  // A sink may unadvise while it is told: walk a copy.
  auto copy = sinks;
  for (auto& entry : copy) call(entry.second.Get());
}

void CMyProjectHierarchy::NotifyItemAdded(CHierNode* parent, CHierNode* previous, CHierNode* child) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::NotifyItemAdded", 2, "PrjHier");
  VSITEMID previous_id = previous ? previous->GetVsItemID() : VSITEMID_NIL;
  ForEachSink(event_sinks_, [&](IVsHierarchyEvents* sink) {
    (void)sink->OnItemAdded(parent->GetVsItemID(), previous_id, child->GetVsItemID());
  });
}

void CMyProjectHierarchy::NotifyItemDeleted(CHierNode* node) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::NotifyItemDeleted", 2, "PrjHier");
  ForEachSink(event_sinks_,
              [&](IVsHierarchyEvents* sink) { (void)sink->OnItemDeleted(node->GetVsItemID()); });
}

void CMyProjectHierarchy::NotifyPropertyChanged(CHierNode* node, VSHPROPID property) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::NotifyPropertyChanged", 2, "PrjHier");
  ForEachSink(event_sinks_, [&](IVsHierarchyEvents* sink) {
    (void)sink->OnPropertyChanged(node->GetVsItemID(), property, 0);
  });
}

void CMyProjectHierarchy::NotifyInvalidateItems(CHierNode* parent) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::NotifyInvalidateItems", 2, "PrjHier");
  ForEachSink(event_sinks_,
              [&](IVsHierarchyEvents* sink) { (void)sink->OnInvalidateItems(parent->GetVsItemID()); });
}

void CMyProjectHierarchy::NotifyDocumentMoved(WStringView oldPath, WStringView newPath,
                                              CHierNode* node) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::NotifyDocumentMoved", 2, "PrjHier");
  ComPtr<IVsRunningDocumentTable> documents;
  if (FAILED(QueryPackageService(SID_SVsRunningDocumentTable, &documents))) return;
  WString from(oldPath), to(newPath);
  (void)documents->RenameDocument(from.c_str(), to.c_str(), this, node->GetVsItemID());
}

bool CMyProjectHierarchy::QueryEditProjectFile() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::QueryEditProjectFile", 2, "PrjHier");
  ComPtr<IVsQueryEditQuerySave2> query;
  if (FAILED(QueryPackageService(SID_SVsQueryEditQuerySave, &query)))
    return KV7_TRACE_RETURN(true);
  const char16_t* paths[] = {project_file_.c_str()};
  DWORD verdict = QER_EditOK;
  return KV7_TRACE_RETURN(SUCCEEDED(query->QueryEditFiles(0, 1, paths, &verdict)) &&
                          verdict == QER_EditOK);
}

// ---- Tree -----------------------------------------------------------------

HRESULT CMyProjectHierarchy::ProcessEveryFileNode(CKV7NodeExecutor* executor, bool stopOnError) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ProcessEveryFileNode", 2, "PrjHier");
  if (!project_node_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  return KV7_TRACE_RETURN(ProcessFileNodesBelow(project_node_.Get(), executor, stopOnError));
}

HRESULT CMyProjectHierarchy::ProcessSelectedFileNodes(const std::vector<CFileVwFileNode*>& nodes,
                                                      CKV7NodeExecutor* executor,
                                                      bool stopOnError) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ProcessSelectedFileNodes", 2, "PrjHier");
  for (CFileVwFileNode* node : nodes) {
    HRESULT hr = executor->DoWork(node);
    if (stopOnError && FAILED(hr)) return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(S_OK);
}

CFileVwFolderNode* CMyProjectHierarchy::FindFolder(WStringView folderPath) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FindFolder", 2, "PrjHier");
  CVxStringArray segments;
  WString path(folderPath);
  (void)KV7ParseFolders(path.c_str(), segments);
  if (segments.GetSize() == 0 || !project_node_) return nullptr;
  CFileVwFolderNode* folder = project_node_.Get();
  for (const WString& segment : segments) {
    folder = folder->FindFolder(segment);
    if (folder == nullptr) return nullptr;
  }
  return folder;
}

bool CMyProjectHierarchy::FindFolderBasedItem(WStringView itemPath, VSITEMID* item) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FindFolderBasedItem", 2, "PrjHier");
  size_t last = itemPath.find_last_of(u'\\');
  if (last == WStringView::npos) return KV7_TRACE_RETURN(false);
  CFileVwFolderNode* folder = FindFolder(itemPath.substr(0, last));
  if (folder == nullptr) return KV7_TRACE_RETURN(false);
  // The folder's name index finds the file; its name must match exactly. A
  // last segment holding "/" names no file of the folder.
  WStringView file_name = itemPath.substr(last + 1);
  CFileVwFileNode* file = file_name.find(u'/') == WStringView::npos
                              ? folder->FindFile(file_name)
                              : nullptr;
  if (file == nullptr || file->GetFileName() != file_name) return KV7_TRACE_RETURN(false);
  *item = file->GetVsItemID();
  return KV7_TRACE_RETURN(true);
}

void CMyProjectHierarchy::FolderWasRenamed(WStringView oldPath, WStringView newPath) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FolderWasRenamed", 2, "PrjHier");
  if (project_node_) project_node_->FolderWasRenamed(oldPath, newPath);
}

// ---- Folders --------------------------------------------------------------

HRESULT CMyProjectHierarchy::AddDefaultFolders() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::AddDefaultFolders", 2, "PrjHier");
  CKV7FolderInfoList defaults;
  defaults.LoadFromRC();
  HRESULT hr = S_OK;
  for (const CKV7FolderInfo& info : defaults.Items()) {
    CKV7FolderNode* folder = nullptr;
    hr = CreateBaseFolder(info.displayName, info.directoryName, info.type, &folder);
  }
  return KV7_TRACE_RETURN(hr);
}

CKV7FolderNode* CMyProjectHierarchy::FindDefaultFolderByType(LONG type, bool create) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FindDefaultFolderByType", 2, "PrjHier");
  WString display_name, directory_name;
  if (!project_node_ || !GetDefaultFolderNames(type, display_name, directory_name))
    return nullptr;
  // Exactly the default name, as the folder's directory bears it: where file
  // names tell case apart, "procedures" is another directory.
  for (CHierNode* child = project_node_->FirstChildNoPopulate(); child; child = child->GetNext())
    if (IsKV7FolderKind(child->GetKindOf()) && child->GetName() == display_name)
      return static_cast<CKV7FolderNode*>(child);
  CKV7FolderNode* folder = nullptr;
  if (create)
    (void)CreateBaseFolder(display_name, directory_name, static_cast<CeKV7FolderInfoType>(type),
                           &folder);
  return folder;
}

HRESULT CMyProjectHierarchy::CreateBaseFolder(WStringView displayName, WStringView directoryName,
                                              CeKV7FolderInfoType type, CKV7FolderNode** folder) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::CreateBaseFolder", 2, "PrjHier");
  WString directory = project_folder_ + WString(directoryName);
  if (FAILED(kv7::CreateDirectories(directory))) return KV7_TRACE_RETURN(E_FAIL);
  ComPtr<CKV7FolderNode> node = CKV7FolderNode::CreateInstance(directory);
  (void)displayName;  // the folder is named by its directory once its path is set
  node->SetFolderType(type);
  project_node_->AddChild(node.Get());
  SetDirty();
  *folder = node.Get();
  return KV7_TRACE_RETURN(S_OK);
}

// ---- Removing -------------------------------------------------------------

HRESULT CMyProjectHierarchy::QueryDeleteItem(DWORD operation, VSITEMID item, BOOL* allowed) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::QueryDeleteItem", 2, "PrjHier");
  if (allowed == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  CHierNode* node = nullptr;
  HRESULT hr = VSITEMID2Node(item, &node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  bool is_project = node == project_node_.Get();
  *allowed = operation == DELITEMOP_RemoveFromProject ||
             (!is_project && operation == DELITEMOP_DeleteFromStorage);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::DeleteItem(DWORD operation, VSITEMID item) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::DeleteItem", 2, "PrjHier");
  if ((operation != DELITEMOP_DeleteFromStorage && operation != DELITEMOP_RemoveFromProject) ||
      item == VSITEMID_NIL || item == VSITEMID_SELECTION)
    return KV7_TRACE_RETURN(E_INVALIDARG);
  CHierNode* node = nullptr;
  HRESULT hr = VSITEMID2Node(item, &node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  bool from_disk = operation == DELITEMOP_DeleteFromStorage;
  if (node == project_node_.Get()) {
    if (from_disk) return KV7_TRACE_RETURN(E_ABORT);
    ComPtr<IVsSolution> solution;
    hr = QueryPackageService(SID_SVsSolution, &solution);
    if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
    return KV7_TRACE_RETURN(solution->CloseSolutionElement(SLNSAVEOPT_PromptSave, this, 0));
  }
  // (An item's open document is closed first.)
  if (IsFileKind(node->GetKindOf()))
    return KV7_TRACE_RETURN(
        project_node_->DeleteNode(static_cast<CFileVwFileNode*>(node), from_disk));
  return KV7_TRACE_RETURN(
      project_node_->DeleteFolder(static_cast<CFileVwFolderNode*>(node), from_disk));
}

// ---- Editors --------------------------------------------------------------

HRESULT CMyProjectHierarchy::GetSpecificEditorType(const char16_t* path, GUID* editor) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetSpecificEditorType", 2, "PrjHier");
  if (path == nullptr || editor == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  if (!UsesPackageEditor(path)) return KV7_TRACE_RETURN(E_FAIL);
  *editor = GUID_KV7SqlEditorFactory;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::GetSpecificLanguageService(const char16_t* path,
                                                        GUID* languageService) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetSpecificLanguageService", 2, "PrjHier");
  return KV7_TRACE_RETURN(GetSpecificEditorType(path, languageService));
}

HRESULT CMyProjectHierarchy::GetProjectEditorsKeyStringW(WString& key) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetProjectEditorsKeyStringW", 2, "PrjHier");
  ComPtr<ILocalRegistry2> registry;
  HRESULT hr = QueryPackageService(SID_SLocalRegistry, &registry);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  CComBSTR root;
  hr = registry->GetLocalRegistryRoot(root.Put());
  if (FAILED(hr) || root.IsNull()) return KV7_TRACE_RETURN(E_UNEXPECTED);
  key = root.ToString() + u"\\Projects\\" + kv7::GuidToString(GUID_MyProjectType) + u"\\Editors";
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::InitProjectSpecificEditorMap() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::InitProjectSpecificEditorMap", 2, "PrjHier");
  global_editor_extensions_.clear();
  WString key_path;
  HRESULT hr = GetProjectEditorsKeyStringW(key_path);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  CRegKey editors;
  if (editors.Open(HKEY_CURRENT_USER, key_path, KEY_READ) != ERROR_SUCCESS)
    return KV7_TRACE_RETURN(S_FALSE);
  for (const char16_t* extension : {u".kv7", u".kv7sp", u".kv7udf"}) {
    CRegKey settings;
    DWORD use_global = 0;
    if (settings.Open(editors, extension, KEY_READ) == ERROR_SUCCESS &&
        settings.QueryDWORDValue(u"UseGlobalEditorByDefault", use_global) == ERROR_SUCCESS &&
        use_global != 0)
      global_editor_extensions_.emplace_back(extension);
  }
  return KV7_TRACE_RETURN(S_OK);
}

bool CMyProjectHierarchy::UsesGlobalEditorByDefault(WStringView extension) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::UsesGlobalEditorByDefault", 2, "PrjHier");
  return KV7_TRACE_RETURN(
      std::any_of(global_editor_extensions_.begin(), global_editor_extensions_.end(),
                  [extension](const WString& e) { return kv7::EqualsNoCase(e, extension); }));
}

// ---- Automation -----------------------------------------------------------

HRESULT CMyProjectHierarchy::get_Name(BSTR* name) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::get_Name", 2, "PrjHier");
  if (name == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  if (!project_node_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  WString caption = project_node_->GetDisplayCaption();
  *name = SysAllocWString(caption);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::put_Name(const char16_t* name) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::put_Name", 2, "PrjHier");
  if (!project_node_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  return KV7_TRACE_RETURN(project_node_->RenameProject(name ? name : u""));
}

HRESULT CMyProjectHierarchy::get_ProjectPath(BSTR* path) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::get_ProjectPath", 2, "PrjHier");
  if (path == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *path = SysAllocWString(project_folder_);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::get_IsDirty(VARIANT_BOOL* dirty) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::get_IsDirty", 2, "PrjHier");
  if (dirty == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  if (!project_node_) return KV7_TRACE_RETURN(E_FAIL);
  *dirty = project_node_->IsDirty() ? VARIANT_TRUE : VARIANT_FALSE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectHierarchy::put_IsDirty(VARIANT_BOOL dirty) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::put_IsDirty", 2, "PrjHier");
  if (!project_node_) return KV7_TRACE_RETURN(E_FAIL);
  project_node_->SetDirty(dirty == VARIANT_TRUE);
  return KV7_TRACE_RETURN(S_OK);
}

// ---- Configurations -------------------------------------------------------

void CMyProjectHierarchy::CreateCfgProvider() {
  cfg_provider_ = CCfgProvider::CreateInstance(this);
  (void)cfg_provider_->Initialize();
  auto sink = kv7::MakeCom<CfgProviderEvents>(this);
  (void)cfg_provider_->AdviseCfgProviderEvents(sink.Get(), &cfg_provider_cookie_);
}

void CMyProjectHierarchy::TakeNewProjectConnection() {
  CMyProjectCfg* cfg = GetActiveProjectConfig();
  if (cfg == nullptr) return;
  WString connection;
  if (TakePendingProjectConnection(&connection)) {
    (void)cfg->SetConnection(connection.c_str());
    return;
  }
  // Asked to choose one: the chooser answers the catalogue's default
  // connection, or nothing when the catalogue is empty.
  BOOL prompt = TRUE;
  (void)GetKV7GlobalOptions()->GetPromptConnOnNew(&prompt);
  WString chosen;
  ComPtr<IXMLDOMDocument> document;
  ComPtr<IXMLDOMNode> element;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  CComBSTR text;
  if (!prompt || SelectConnection(u"", chosen) != S_OK ||
      FAILED(CreateXMLDOMDocument(document.Put())) ||
      document->loadXML(chosen.c_str(), &loaded) != S_OK ||
      GetSingleNode(document.Get(), u"DATACONNECTIONS/DATACONNECTION", element.Put()) != S_OK ||
      FAILED(element->get_xml(text.Put())))
    return;
  (void)cfg->SetConnection(text.Get());
}

void CMyProjectHierarchy::GiveProjectConnectionToConfigurations() {
  if (format_version_ >= kProjectFormatVersion || project_connection_.GetConnName().empty())
    return;
  for (const ComPtr<CMyProjectCfg>& cfg : cfg_provider_->GetConfigurations())
    if (cfg->get_ConnInfo()->GetConnName().empty())
      (void)cfg->get_ConnInfo()->CopyFrom(project_connection_);
}

CMyProjectHierarchy::BuiltFilesRead CMyProjectHierarchy::ReadBuiltFiles(WString projectFile) {
  BuiltFilesRead read{std::make_unique<CKV7BuiltFiles>(), S_OK, WString()};
  WString path = read.record->GenerateDefaultName(projectFile, true);
  if (!kv7::FileExists(path)) return read;
  read.status = read.record->LoadFromFile(path.c_str());
  // Error information belongs to the thread that read; the reason travels.
  if (FAILED(read.status)) {
    (void)kv7::GetErrorInfo(&read.status, &read.reason);
    kv7::ClearErrorInfo();
  }
  return read;
}

void CMyProjectHierarchy::TakeBuiltFiles(BuiltFilesRead read) {
  built_files_ = std::move(read.record);
  if (SUCCEEDED(read.status)) return;
  // Every item then counts as changed; the file stays until the record is
  // next saved.
  MessageBoxW(nullptr, FormatUIString(kRecordUnreadableText, read.reason).c_str(),
              LoadUIString(36).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void CMyProjectHierarchy::EnterConfigurationsInRecord() {
  const bool was_dirty = built_files_->IsDirty();
  for (const ComPtr<CMyProjectCfg>& cfg : cfg_provider_->GetConfigurations()) {
    ComPtr<IXMLDOMNode> present;
    if (built_files_->GetConfigNode(cfg->GetName(), present.Put()) == S_FALSE)
      (void)built_files_->ConfigAdded(cfg->GetName());
  }
  if (!was_dirty) built_files_->ClearDirty();
}

void CMyProjectHierarchy::OnCfgNameRenamed(WStringView oldName, WStringView newName) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::OnCfgNameRenamed", 2, "PrjHier");
  // The default configuration keeps its platform under the new name.
  size_t bar = default_configuration_.find(u'|');
  if (kv7::EqualsNoCase(WStringView(default_configuration_).substr(0, bar), oldName))
    default_configuration_ = WString(newName) + (bar == WString::npos ? WString()
                                                     : default_configuration_.substr(bar));
  CKV7NE_CfgNameRenamed executor(oldName, newName);
  (void)ProcessEveryFileNode(&executor, false);
}

void CMyProjectHierarchy::OnCfgNameDeleted(WStringView name) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::OnCfgNameDeleted", 2, "PrjHier");
  size_t bar = default_configuration_.find(u'|');
  if (kv7::EqualsNoCase(WStringView(default_configuration_).substr(0, bar), name))
    default_configuration_.clear();
  CKV7NE_CfgNameDeleted executor(name);
  (void)ProcessEveryFileNode(&executor, false);
}

void CMyProjectHierarchy::OnPlatformNameDeleted(WStringView platform) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::OnPlatformNameDeleted", 2, "PrjHier");
  CKV7NE_PlatformNameDeleted executor(platform);
  (void)ProcessEveryFileNode(&executor, false);
}

CMyProjectCfg* CMyProjectHierarchy::GetDefaultConfiguration() const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetDefaultConfiguration", 2, "PrjHier");
  if (!cfg_provider_) return nullptr;
  if (!default_configuration_.empty()) return cfg_provider_->FindCfg(default_configuration_);
  ComPtr<IVsSolutionBuildManager> builds;
  ComPtr<IVsProjectCfg> active;
  CComBSTR name;
  if (FAILED(QueryPackageService(SID_SVsSolutionBuildManager, &builds)) ||
      builds->FindActiveProjectCfg(const_cast<CMyProjectHierarchy*>(this), active.Put()) != S_OK ||
      !active || FAILED(active->get_CanonicalName(name.Put())))
    return nullptr;
  return cfg_provider_->FindCfg(name.ToString());
}

CMyProjectCfg* CMyProjectHierarchy::GetActiveProjectConfig() const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetActiveProjectConfig", 2, "PrjHier");
  if (CMyProjectCfg* cfg = GetDefaultConfiguration()) return cfg;
  if (!cfg_provider_ || cfg_provider_->GetConfigurations().empty()) return nullptr;
  return cfg_provider_->GetConfigurations().front().Get();
}

CKV7ConnInfo* CMyProjectHierarchy::GetActiveConnInfo() const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetActiveConnInfo", 2, "PrjHier");
  CMyProjectCfg* cfg = GetActiveProjectConfig();
  return cfg ? cfg->get_ConnInfo() : nullptr;
}

CKV7DebuggingInfo* CMyProjectHierarchy::GetActiveDebuggingInfo() const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetActiveDebuggingInfo", 2, "PrjHier");
  CMyProjectCfg* cfg = GetActiveProjectConfig();
  return cfg ? cfg->get_DebuggingInfo() : nullptr;
}

void CMyProjectHierarchy::SetDefaultConfigurationName(WStringView fullName) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SetDefaultConfigurationName", 2, "PrjHier");
  default_configuration_ = fullName;
  SetDirty();
}

// ---- The open hierarchies -------------------------------------------------

CMyProjectHierarchy* CMyProjectHierarchy::GlobalFindProjectByName(WStringView name) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GlobalFindProjectByName", 2, "PrjHier");
  for (CMyProjectHierarchy* hierarchy : OpenHierarchies()) {
    CComBSTR project_name;
    if (SUCCEEDED(hierarchy->get_Name(project_name.Put())) &&
        kv7::EqualsNoCase(project_name.ToString(), name))
      return hierarchy;
  }
  return nullptr;
}

bool CMyProjectHierarchy::HasSelection() const {
  ComPtr<IVsUIHierarchyWindow> window;
  if (FAILED(QueryPackageService(SID_SVsUIHierarchyWindow, &window))) return false;
  ULONG count = 0;
  VSITEMID first = VSITEMID_NIL;
  return SUCCEEDED(window->GetSelectedItems(const_cast<CMyProjectHierarchy*>(this), 1, &first,
                                            &count)) &&
         count > 0;
}

CMyProjectHierarchy* CMyProjectHierarchy::GlobalFirstProjectWithSelection() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GlobalFirstProjectWithSelection", 2, "PrjHier");
  for (CMyProjectHierarchy* hierarchy : OpenHierarchies())
    if (hierarchy->HasSelection()) return hierarchy;
  return nullptr;
}

void CMyProjectHierarchy::GetAllProjectNames(std::vector<WString>& names) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetAllProjectNames", 2, "PrjHier");
  for (CMyProjectHierarchy* hierarchy : OpenHierarchies()) {
    CComBSTR name;
    if (SUCCEEDED(hierarchy->get_Name(name.Put()))) names.push_back(name.ToString());
  }
}
