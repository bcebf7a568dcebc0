// The hierarchy's side of a build: the waiting list of nodes, the list of
// running tasks and the completion that moves the build on.
#include <algorithm>

#include "kv7/build/configurations.h"
#include "kv7/build/output.h"
#include "kv7/build/task_listener.h"
#include "kv7/document/built_files.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/utilities.h"

namespace {

// Lines that the completion writes.
constexpr UINT kItemFailedText = 1143;          // an item failed, file name unknown
constexpr UINT kSeeAboveText = 1145;            // follows every failure line
constexpr UINT kItemNamedFailedText = 1156;     // "%s" failed
constexpr UINT kProcedureFailedText = 1241;     // a procedure run failed ("%s")
constexpr UINT kProcedureRanText = 1242;        // a procedure ran ("%s")
constexpr UINT kProcedureRanUnnamedText = 1244;
constexpr UINT kProcedureFailedUnnamedText = 1245;
constexpr UINT kItemSucceededText = 1309;

// The line a completion writes: its text with the file name when the text
// takes one and there is a name, else the text without one.
WString CompletionLine(UINT namedId, UINT unnamedId, WStringView fileName) {
  return (fileName.empty() ? LoadUIString(unnamedId) : FormatUIString(namedId, fileName)) + u"\n";
}

}  // namespace

HRESULT CMyProjectHierarchy::StartWaitingList(std::deque<ComPtr<CFileVwFileNode>> nodes,
                                              std::unique_ptr<CKV7NodeExecutor> executor,
                                              bool stopOnError) {
  if (!executor) return E_POINTER;
  if (!waiting_ && tasks_.empty()) build_success_ = true;
  std::vector<WString> paths;
  paths.reserve(nodes.size());
  for (const auto& node : nodes) paths.push_back(node->GetFullPath());
  waiting_files_ = std::make_unique<kv7::FileStatusAhead>(std::move(paths));
  waiting_handed_ = 0;
  waiting_ = std::make_unique<std::deque<ComPtr<CFileVwFileNode>>>(std::move(nodes));
  executor_ = std::move(executor);
  stop_on_error_ = stopOnError;
  return ProcessNextWaitingCommand();
}

HRESULT CMyProjectHierarchy::ProcessEveryFileNodeAsync(std::unique_ptr<CKV7NodeExecutor> executor,
                                                       bool stopOnError) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ProcessEveryFileNodeAsync", 2, "PrjHier");
  if (!project_node_) return KV7_TRACE_RETURN(E_UNEXPECTED);
  std::vector<CFileVwFileNode*> nodes;
  AddFileNodesBelow(project_node_.Get(), nodes);
  return KV7_TRACE_RETURN(StartWaitingList({nodes.begin(), nodes.end()}, std::move(executor),
                                           stopOnError));
}

HRESULT CMyProjectHierarchy::ProcessSelectedFileNodesAsync(
    const std::vector<CFileVwFileNode*>& nodes, std::unique_ptr<CKV7NodeExecutor> executor,
    bool stopOnError) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ProcessSelectedFileNodesAsync", 2, "PrjHier");
  return KV7_TRACE_RETURN(StartWaitingList({nodes.begin(), nodes.end()}, std::move(executor),
                                           stopOnError));
}

void CMyProjectHierarchy::DeleteWaitingList() {
  waiting_.reset();
  waiting_files_.reset();
  executor_.reset();
}

// Processes nodes in a loop rather than by recursion: a build of fifty
// thousand unchanged items passes over each at once, and each pass would
// otherwise deepen the stack.
HRESULT CMyProjectHierarchy::ProcessNextWaitingCommand() {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::ProcessNextWaitingCommand", 2, "PrjHier");
  if (!waiting_ || !executor_) return KV7_TRACE_RETURN(S_OK);
  HRESULT hr = S_OK;
  for (;;) {
    if (waiting_->empty()) {
      DeleteWaitingList();
      return KV7_TRACE_RETURN(S_OK);
    }
    ComPtr<CFileVwFileNode> node = std::move(waiting_->front());
    waiting_->pop_front();
    ++waiting_handed_;
    hr = executor_->DoWork(node.Get());
    if (FAILED(hr)) build_success_ = false;
    if (hr != S_OK && waiting_->empty()) {
      DeleteWaitingList();
      return KV7_TRACE_RETURN(hr);
    }
    bool goOn = (SUCCEEDED(hr) || !stop_on_error_) && executor_->GetContinueAtOnce();
    if (!goOn) break;
  }
  if (FAILED(hr) && !stop_on_error_) DeleteWaitingList();
  return KV7_TRACE_RETURN(hr);
}

kv7::FileStatus CMyProjectHierarchy::GetWaitingFileStatus(CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::GetWaitingFileStatus", 2, "PrjHier");
  const WString& path = node->GetFullPath();
  // A node appended to the list, or renamed since it started, is looked at now.
  const size_t index = waiting_handed_ - 1;
  if (waiting_files_ && waiting_handed_ > 0 && index < waiting_files_->size() &&
      waiting_files_->path(index) == path)
    return waiting_files_->Get(index);
  return kv7::GetFileStatus(path);
}

bool CMyProjectHierarchy::AppendWaitingNode(CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::AppendWaitingNode", 2, "PrjHier");
  if (!waiting_) return false;
  waiting_->emplace_back(node);
  return true;
}

HRESULT CMyProjectHierarchy::AddTaskHelperToList(std::unique_ptr<CTaskHelperHook> hook,
                                                 WStringView taskId) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::AddTaskHelperToList", 2, "PrjHier");
  if (!hook) return KV7_TRACE_RETURN(E_POINTER);
  tasks_.push_back(std::make_unique<CKV7TaskHelperMgr>(std::move(hook), taskId));
  return KV7_TRACE_RETURN(S_OK);
}

CKV7TaskHelperMgr* CMyProjectHierarchy::FindTaskHelpMgrByTaskGuid(WStringView taskId) const {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::FindTaskHelpMgrByTaskGuid", 2, "PrjHier");
  auto found = std::ranges::find_if(tasks_, [taskId](const auto& task) {
    return kv7::EqualsNoCase(task->GetTaskId(), taskId);
  });
  return found == tasks_.end() ? nullptr : found->get();
}

void CMyProjectHierarchy::SetBuildingConfiguration(CMyProjectCfg* cfg) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::SetBuildingConfiguration", 2, "PrjHier");
  building_cfg_ = cfg;
}

void CMyProjectHierarchy::EndBuild(bool success) {
  ComPtr<CMyProjectCfg> cfg = std::move(building_cfg_);
  if (cfg) cfg->FireBuildEnd(success ? TRUE : FALSE);
}

HRESULT CMyProjectHierarchy::taskCompleted(const char16_t* taskId, LONG status) {
  KV7_TRACE_ENTRY("CMyProjectHierarchy::taskCompleted", 2, "PrjHier");
  CCritSecLock lock(task_lock_);
  CKV7TaskHelperMgr* task = FindTaskHelpMgrByTaskGuid(taskId ? taskId : u"");
  if (task == nullptr) return KV7_TRACE_RETURN(S_OK);

  ComPtr<ITaskExecutionListener> listener;
  (void)task->GetHook()->getTaskExecutionListener(listener.Put());
  WString path, cfgName;
  bool procedureRun = false;
  if (auto* ours = static_cast<CKV7TaskListener*>(listener.Get())) {
    path = ours->GetPath();
    cfgName = ours->GetCfgName();
    procedureRun = ours->IsProcedureRun();
  }
  listener.Reset();
  (void)task->GetHook()->setTaskExecutionListener(nullptr);

  const WString fileName(FileNameOf(path));
  CKV7OutputWindow pane(true, eKV7PaneBuild, false, false);
  if (status == 1) {
    (void)pane.OutputString(
        (procedureRun ? CompletionLine(kProcedureRanText, kProcedureRanUnnamedText, fileName)
                      : LoadUIString(kItemSucceededText) + u"\n")
            .c_str());
    if (!procedureRun) (void)built_files_->SetFileAsBuilt(path, cfgName);
  } else {
    (void)pane.OutputString(
        (procedureRun ? CompletionLine(kProcedureFailedText, kProcedureFailedUnnamedText, fileName)
                      : CompletionLine(kItemNamedFailedText, kItemFailedText, fileName))
            .c_str());
    (void)pane.OutputString((LoadUIString(kSeeAboveText) + u"\n").c_str());
  }
  std::erase_if(tasks_, [task](const auto& entry) { return entry.get() == task; });

  if (status != 1) {
    build_success_ = false;
    if (stop_on_error_) {
      DeleteWaitingList();
      EndBuild(false);
      return KV7_TRACE_RETURN(E_FAIL);
    }
  }
  (void)ProcessNextWaitingCommand();
  if (!waiting_ && !IsCompileInProgress()) EndBuild(build_success_);
  return KV7_TRACE_RETURN(S_OK);
}
