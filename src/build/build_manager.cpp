#include "kv7/build/build_manager.h"

#include <unordered_set>

#include "kv7/build/configurations.h"
#include "kv7/build/node_executors.h"
#include "kv7/build/procedure_metadata.h"
#include "kv7/build/task_documents.h"
#include "kv7/build/task_listener.h"
#include "kv7/document/assembly_info.h"
#include "kv7/document/built_files.h"
#include "kv7/helper/helper.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/options/global_options.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/file_status_ahead.h"
#include "kv7/platform/messagebox.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/utilities.h"

namespace {

constexpr UINT kDoneText = 1045;               // an empty item; a synchronous success
constexpr UINT kRunOrderText = 1046;           // the build follows the run order
constexpr UINT kAnnounceText = 1052;           // "%1" deploys in "%2"
constexpr UINT kNoConnectionText = 1053;
constexpr UINT kNoConnectionCaption = 1054;
constexpr UINT kItemFailedText = 1143;
constexpr UINT kSeeAboveText = 1145;
constexpr UINT kUnchangedText = 1162;          // "%s" unchanged since its last build
constexpr UINT kSaveFailedText = 1217;         // "%s" could not be saved
constexpr UINT kCLRMismatchText = 1221;        // "%1" does not match "%2"

constexpr UINT kSaveQuestionText = 2003;       // save "%s" before it deploys?

// The sequence that marks a procedure implemented by a CLR method.
constexpr char16_t kCLRProcedureMark[] = u"type=\"clr\" guid=\"";

// What the IDE does with a changed open document before a build or a run.
LONG OnRunOrPreviewSetting() {
  ComPtr<IVsEnvironmentOptions> options;
  VARIANT value;
  if (FAILED(QueryPackageService(SID_SVsEnvironmentOptions, &options)) ||
      FAILED(options->GetOption(u"Environment", u"ProjectsAndSolution", u"OnRunOrPreview",
                                &value)))
    return kSaveChangesAlways;
  return value.vt() == VT_I4 ? value.lVal() : kSaveChangesAlways;
}

// Lines for the pane, from the hierarchy's assembly steps.
KV7OutputSink PaneSink(CKV7OutputWindow* pane) {
  return [pane](WStringView text) {
    if (pane) (void)pane->OutputString(WString(text).c_str());
  };
}

CKV7ObjectFileNode* ObjectNodeOf(CFileVwFileNode* node) {
  return dynamic_cast<CKV7ObjectFileNode*>(node);
}

}  // namespace

namespace {

KV7BuildDecisionSink& DecisionSink() {
  static KV7BuildDecisionSink sink;
  return sink;
}

}  // namespace

void SetBuildDecisionSink(KV7BuildDecisionSink sink) { DecisionSink() = std::move(sink); }

bool DecisionDeploys(CeKV7BuildDecision decision) {
  return decision == CeKV7BuildDecision::kNeverBuilt || decision == CeKV7BuildDecision::kChanged ||
         decision == CeKV7BuildDecision::kForced;
}

WString ObjectNameOfItem(WStringView path) { return WString(BaseNameOf(path)); }

// ---- CKV7NE_RunItem -----------------------------------------------------------

CKV7NE_RunItem::CKV7NE_RunItem(WStringView cfgName, std::shared_ptr<CKV7OutputWindow> pane,
                               WStringView connectionXml, CMyProjectHierarchy* hierarchy)
    : cfg_name_(cfgName), pane_(std::move(pane)), connection_xml_(connectionXml),
      hierarchy_(hierarchy) {
  KV7_TRACE_ENTRY("CKV7NE_RunItem::CKV7NE_RunItem", 6, "KV7NodeExecutors");
}

CKV7NE_RunItem::~CKV7NE_RunItem() {
  KV7_TRACE_ENTRY("CKV7NE_RunItem::~CKV7NE_RunItem", 6, "KV7NodeExecutors");
}

void CKV7NE_RunItem::SetConfiguration(CMyProjectCfg* cfg) { cfg_ = cfg; }

void CKV7NE_RunItem::Write(const WString& text) const {
  if (pane_) (void)pane_->OutputString(text.c_str());
}

CeKV7BuildDecision CKV7NE_RunItem::Decide(CFileVwFileNode* node, const kv7::FileStatus& file,
                                          WString* builtTime) const {
  KV7_TRACE_ENTRY("CKV7NE_RunItem::Decide", 2, "KV7NodeExecutors");
  if (builtTime) builtTime->clear();
  if (force_) return CeKV7BuildDecision::kForced;
  CKV7ObjectFileNode* object = ObjectNodeOf(node);
  CKV7BaseCfg* settings = object ? object->FindSettings(cfg_name_) : nullptr;
  if (settings && settings->GetExcludeFromBuild()) return CeKV7BuildDecision::kExcluded;
  if (!incremental_) return CeKV7BuildDecision::kForced;
  CKV7BuiltFiles* record = hierarchy_->GetBuiltFiles();
  BOOL updated = TRUE;
  (void)record->HasFileBeenUpdatedSinceLastBuildTime(cfg_name_, node->GetFullPath(), file,
                                                     &updated);
  if (!updated) return CeKV7BuildDecision::kUnchanged;
  WString time;
  if (record->GetBuiltTime(cfg_name_, node->GetFullPath(), &time) != S_OK)
    return CeKV7BuildDecision::kNeverBuilt;
  if (builtTime) *builtTime = std::move(time);
  return CeKV7BuildDecision::kChanged;
}

// The item is looked at in the order that costs least for the items that
// do not deploy: its settings, then the record, and only then its file.
HRESULT CKV7NE_RunItem::DoWork(CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("CKV7NE_RunItem::DoWork", 2, "KV7NodeExecutors");
  SetContinueAtOnce(false);
  if (node == nullptr || hierarchy_ == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  const WString& path = node->GetFullPath();
  const CeKV7BuildDecision decision =
      Decide(node, hierarchy_->GetWaitingFileStatus(node), nullptr);
  if (DecisionSink()) DecisionSink()(node, decision);
  if (decision == CeKV7BuildDecision::kExcluded) {
    SetContinueAtOnce(true);
    return KV7_TRACE_RETURN(S_OK);
  }
  // An open document's unsaved text is what the user means to deploy: once
  // saved, the item deploys whatever the record says.
  HRESULT hr = SaveOpenDocument(node);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  if (hr == S_FALSE && decision == CeKV7BuildDecision::kUnchanged) {
    Write(FormatUIString(kUnchangedText, FileNameOf(path)) + u"\n");
    SetContinueAtOnce(true);
    return KV7_TRACE_RETURN(S_OK);
  }
  WString text;
  hr = LoadSource(node, text);
  if (hr != S_OK) return KV7_TRACE_RETURN(hr);
  WString note;
  if (FAILED(hierarchy_->DoExtNameReplacements(path, text, note, PaneSink(pane_.get()))))
    return KV7_TRACE_RETURN(E_FAIL);
  WString configuration;
  if (cfg_) (void)BuildConfigurationDocument(node, cfg_.Get(), configuration);
  WarnOfCLRMismatch(node, text);
  if (announce_ && cfg_) {
    WString cfgName = cfg_->GetName();
    kv7::ReplaceAll(cfgName, u"|", u" ");
    Write(FormatUIStringInserts(kAnnounceText, nullptr, {FileNameOf(path), cfgName}) + u"\n");
  }
  // Until the task says otherwise, the database may hold part of anything.
  (void)hierarchy_->GetBuiltFiles()->SetFileAsNotBuilt(path, cfg_name_);
  return KV7_TRACE_RETURN(Execute(node, text, configuration));
}

// S_OK when the document was saved, S_FALSE when nothing was to be saved.
HRESULT CKV7NE_RunItem::SaveOpenDocument(CFileVwFileNode* node) const {
  const WString& path = node->GetFullPath();
  ComPtr<IVsRunningDocumentTable> documents;
  BOOL dirty = FALSE;
  if (FAILED(QueryPackageService(SID_SVsRunningDocumentTable, &documents)) ||
      documents->IsDocumentDirty(path.c_str(), &dirty) != S_OK || !dirty)
    return S_FALSE;
  switch (OnRunOrPreviewSetting()) {
    case kSaveChangesNever:
      return S_FALSE;
    case kSaveChangesPrompt:
      if (MessageBoxW(nullptr, FormatUIString(kSaveQuestionText, FileNameOf(path)).c_str(),
                      LoadUIString(36).c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return S_FALSE;
      break;
    default:
      break;
  }
  if (SUCCEEDED(documents->SaveDocument(path.c_str()))) return S_OK;
  Write(FormatUIString(kSaveFailedText, FileNameOf(path)) + u"\n");
  return E_FAIL;
}

// S_OK with the text; otherwise the pane says why and the list moves on.
HRESULT CKV7NE_RunItem::LoadSource(CFileVwFileNode* node, WString& text) {
  HRESULT hr = LoadTextFromFile(node->GetFullPath().c_str(), text);
  if (FAILED(hr)) {
    WString description;
    if (kv7::GetErrorInfo(nullptr, &description)) Write(description + u"\n");
  } else if (text.empty()) {
    Write(LoadUIString(kDoneText) + u"\n");
    hr = S_FALSE;
  }
  if (hr != S_OK) SetContinueAtOnce(true);
  return hr;
}

void CKV7NE_RunItem::WarnOfCLRMismatch(CFileVwFileNode* node, const WString& text) const {
  auto* procedure = dynamic_cast<CKV7StoredProcFileNode*>(node);
  BOOL validate = FALSE;
  if (procedure == nullptr || text.find(kCLRProcedureMark) == WString::npos ||
      FAILED(GetKV7GlobalOptions()->GetValidateCLROnBuild(&validate)) || !validate)
    return;
  WString description;
  if (FAILED(LoadTextFromFile((node->GetFullPath() + u"x").c_str(), description))) return;
  CKV7StoredProcInfoParser declared(description.c_str());
  CKV7CLRXMLParser clr(procedure->GetCLRDescription().c_str());
  WString procedureName, clrName;
  if (!declared.CompareWithCLR(clr, procedureName, clrName))
    Write(FormatUIStringInserts(kCLRMismatchText, nullptr, {procedureName, clrName}) + u"\n");
}

HRESULT CKV7NE_RunItem::Execute(CFileVwFileNode* node, const WString& text,
                                const WString& configuration) {
  const WString& path = node->GetFullPath();
  const WString objectName = ObjectNameOfItem(path);
  if (GetExecutionMode() == kSynchronous) {
    CTaskHelperHook hook;
    CComBSTR result;
    last_status_ = 0;
    HRESULT hr = hook.ExecuteTask(connection_xml_.c_str(), text.c_str(), configuration.c_str(),
                                  u"", objectName.c_str(), &last_status_, result.Put());
    last_result_ = result.ToString();
    Write(LoadUIString(last_status_ == 1 ? kDoneText : kItemFailedText) + u"\n");
    Write(LoadUIString(kSeeAboveText) + u"\n");
    if (last_status_ == 1) (void)hierarchy_->GetBuiltFiles()->SetFileAsBuilt(path, cfg_name_);
    return hr;
  }
  auto hook = std::make_unique<CTaskHelperHook>();
  ComPtr<CKV7TaskListener> listener =
      CKV7TaskListener::CreateInstance(hierarchy_, path, cfg_name_, false);
  (void)hook->setTaskExecutionListener(listener.Get());
  CComBSTR taskId;
  HRESULT hr = hook->ExecuteTaskAsync(connection_xml_.c_str(), text.c_str(),
                                      configuration.c_str(), u"", objectName.c_str(),
                                      taskId.Put());
  if (FAILED(hr)) return hr;
  return hierarchy_->AddTaskHelperToList(std::move(hook), taskId.ToString());
}

// ---- CKV7NE_RunProcedure -------------------------------------------------------

CKV7NE_RunProcedure::CKV7NE_RunProcedure(WStringView procedure, LONG mode,
                                         WStringView parametersXml, WStringView cfgName,
                                         WStringView connectionXml,
                                         std::shared_ptr<CKV7OutputWindow> pane,
                                         CMyProjectHierarchy* hierarchy)
    : procedure_(procedure), mode_(mode), parameters_xml_(parametersXml), cfg_name_(cfgName),
      connection_xml_(connectionXml), pane_(std::move(pane)), hierarchy_(hierarchy) {
  KV7_TRACE_ENTRY("CKV7NE_RunProcedure::CKV7NE_RunProcedure", 6, "KV7NodeExecutors");
}

CKV7NE_RunProcedure::~CKV7NE_RunProcedure() {
  KV7_TRACE_ENTRY("CKV7NE_RunProcedure::~CKV7NE_RunProcedure", 6, "KV7NodeExecutors");
}

HRESULT CKV7NE_RunProcedure::DoWork(CFileVwFileNode*) {
  KV7_TRACE_ENTRY("CKV7NE_RunProcedure::DoWork", 2, "KV7NodeExecutors");
  if (GetExecutionMode() == kSynchronous || hierarchy_ == nullptr)
    return KV7_TRACE_RETURN(E_FAIL);
  auto hook = std::make_unique<CTaskHelperHook>();
  ComPtr<CKV7TaskListener> listener =
      CKV7TaskListener::CreateInstance(hierarchy_, procedure_, cfg_name_, true);
  (void)hook->setTaskExecutionListener(listener.Get());
  CComBSTR taskId;
  HRESULT hr = hook->ExecuteTaskRoutineAsync(procedure_.c_str(), mode_, parameters_xml_.c_str(),
                                             connection_xml_.c_str(), procedure_.c_str(),
                                             taskId.Put());
  if (FAILED(hr)) {
    // The run never started, so no completion will say why.
    WString description;
    if (pane_ && kv7::GetErrorInfo(nullptr, &description))
      (void)pane_->OutputString((description + u"\n").c_str());
    return KV7_TRACE_RETURN(hr);
  }
  return KV7_TRACE_RETURN(hierarchy_->AddTaskHelperToList(std::move(hook), taskId.ToString()));
}

// ---- CKV7BuildManager ---------------------------------------------------------

HRESULT CKV7BuildManager::GetAbsoluteOutputDirectory(CMyProjectHierarchy* hierarchy,
                                                     WStringView, WString& directory) {
  KV7_TRACE_ENTRY("CKV7BuildManager::GetAbsoluteOutputDirectory", 2, "KV7BuildManager");
  if (hierarchy == nullptr || hierarchy->GetProjectFolderPath().empty())
    return KV7_TRACE_RETURN(E_UNEXPECTED);
  directory = hierarchy->GetProjectFolderPath();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7BuildManager::IsBuildUpToDate(CMyProjectCfg*, BOOL* upToDate) {
  KV7_TRACE_ENTRY("CKV7BuildManager::IsBuildUpToDate", 2, "KV7BuildManager");
  if (upToDate == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *upToDate = FALSE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7BuildManager::Clean(CMyProjectHierarchy* hierarchy, CMyProjectCfg* cfg) {
  KV7_TRACE_ENTRY("CKV7BuildManager::Clean", 2, "KV7BuildManager");
  if (hierarchy == nullptr || cfg == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  (void)hierarchy->GetBuiltFiles()->SetConfigAsNotBuilt(cfg->GetName());
  if (hierarchy->GetAssemblyInfoList().ClearAllTimestamps(false)) hierarchy->SetDirty();
  return KV7_TRACE_RETURN(S_OK);
}


HRESULT CKV7BuildManager::Build(WStringView cfgName, CMyProjectCfg*,
                                std::shared_ptr<CKV7OutputWindow> pane,
                                CMyProjectHierarchy* hierarchy) {
  KV7_TRACE_ENTRY("CKV7BuildManager::Build", 2, "KV7BuildManager");
  if (hierarchy == nullptr || hierarchy->GetProjectNode() == nullptr)
    return KV7_TRACE_RETURN(E_UNEXPECTED);
  WString folder;
  HRESULT hr = GetAbsoluteOutputDirectory(hierarchy, cfgName, folder);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);

  CMyProjectCfg* cfg = hierarchy->GetCfgProvider()->FindCfg(cfgName);
  if (cfg == nullptr || cfg->get_ConnInfo()->GetConnName().empty()) {
    (void)MessageBoxW(nullptr, LoadUIString(kNoConnectionText).c_str(),
                      LoadUIString(kNoConnectionCaption).c_str(), MB_OK | MB_ICONEXCLAMATION);
    return KV7_TRACE_RETURN(KV7_S_BUILD_FAILED);
  }
  WString connection;
  hr = cfg->GetDeploymentConnection(connection);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  CKV7AssemblyInfoList installed;
  if (FAILED(hierarchy->ProcessAssembliesForBuild(connection.c_str(), PaneSink(pane.get()),
                                                  installed)))
    return KV7_TRACE_RETURN(KV7_S_BUILD_FAILED);
  if (!installed.IsEmpty()) {
    CKV7NE_DirtyIfHasAssemblyReference dirty(hierarchy, installed);
    (void)hierarchy->ProcessEveryFileNode(&dirty, false);
  }
  (void)CCommandHelperHook().SetDeploymentContext(folder.c_str(), redeploy_unchanged_);

  auto executor = std::make_unique<CKV7NE_RunItem>(cfg->GetName(), pane, connection, hierarchy);
  executor->SetConfiguration(cfg);
  // The run order's entries that name no item go for good; the rest decide.
  CRunOrder* runOrder = cfg->GetRunOrder();
  if (runOrder->DeleteObsoleteItems(hierarchy) == S_OK) hierarchy->SetDirty();
  std::vector<CFileVwFileNode*> nodes = runOrder->FindNodes(hierarchy);
  hierarchy->SetBuildingConfiguration(cfg);
  if (!nodes.empty()) {
    (void)pane->OutputString((LoadUIString(kRunOrderText) + u"\n").c_str());
    hr = hierarchy->ProcessSelectedFileNodesAsync(nodes, std::move(executor), true);
  } else {
    hr = hierarchy->ProcessEveryFileNodeAsync(std::move(executor), true);
  }
  if (!hierarchy->IsThereWorkToDo() && !hierarchy->IsCompileInProgress()) {
    hierarchy->SetBuildingConfiguration(nullptr);
    return KV7_TRACE_RETURN(SUCCEEDED(hr) ? KV7_S_BUILD_SUCCEEDED : KV7_S_BUILD_FAILED);
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT CKV7BuildManager::ItemOrder(CMyProjectHierarchy* hierarchy, CMyProjectCfg* cfg,
                                    std::vector<CFileVwFileNode*>& order, size_t* taken) {
  KV7_TRACE_ENTRY("CKV7BuildManager::ItemOrder", 2, "KV7BuildManager");
  if (hierarchy == nullptr || cfg == nullptr || hierarchy->GetProjectNode() == nullptr ||
      taken == nullptr)
    return KV7_TRACE_RETURN(E_UNEXPECTED);
  order = cfg->GetRunOrder()->FindNodes(hierarchy);
  *taken = order.size();
  std::vector<CFileVwFileNode*> every;
  AddFileNodesBelow(hierarchy->GetProjectNode(), every);
  if (order.empty()) {
    order = std::move(every);
    *taken = order.size();
    return KV7_TRACE_RETURN(S_OK);
  }
  std::unordered_set<CFileVwFileNode*> inRunOrder(order.begin(), order.end());
  for (CFileVwFileNode* node : every)
    if (!inRunOrder.contains(node)) order.push_back(node);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7BuildManager::Plan(CMyProjectHierarchy* hierarchy, CMyProjectCfg* cfg, bool rebuild,
                               std::vector<KV7PlannedItem>& plan) {
  KV7_TRACE_ENTRY("CKV7BuildManager::Plan", 2, "KV7BuildManager");
  std::vector<CFileVwFileNode*> order;
  size_t taken = 0;
  HRESULT hr = ItemOrder(hierarchy, cfg, order, &taken);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  CKV7NE_RunItem judge(cfg->GetName(), nullptr, u"", hierarchy);
  judge.SetIncremental(!rebuild);
  plan.clear();
  plan.reserve(order.size());
  std::vector<WString> paths;
  paths.reserve(taken);
  for (size_t i = 0; i < taken; ++i) paths.push_back(order[i]->GetFullPath());
  kv7::FileStatusAhead files(std::move(paths));
  for (size_t i = 0; i < order.size(); ++i) {
    KV7PlannedItem& item = plan.emplace_back();
    item.node = order[i];
    if (i >= taken) {
      item.decision = CeKV7BuildDecision::kNotInRunOrder;
      continue;
    }
    item.decision = judge.Decide(order[i], files.Get(i), &item.builtTime);
    if (rebuild && item.decision == CeKV7BuildDecision::kForced)
      item.decision = CeKV7BuildDecision::kNeverBuilt;
    // The build does not need the time of an unchanged item; a plan says it.
    if (item.decision == CeKV7BuildDecision::kUnchanged)
      (void)hierarchy->GetBuiltFiles()->GetBuiltTime(cfg->GetName(), order[i]->GetFullPath(),
                                                     &item.builtTime);
  }
  return KV7_TRACE_RETURN(S_OK);
}
