#include "kv7/build/task_listener.h"

#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/trace/trace.h"

ComPtr<CKV7TaskListener> CKV7TaskListener::CreateInstance(CMyProjectHierarchy* hierarchy,
                                                          WStringView path, WStringView cfgName,
                                                          bool procedureRun) {
  KV7_TRACE_ENTRY("CKV7TaskListener::CreateInstance", 2, "KV7TaskListener");
  return kv7::AdoptNew(new CKV7TaskListener(hierarchy, path, cfgName, procedureRun));
}

CKV7TaskListener::CKV7TaskListener(CMyProjectHierarchy* hierarchy, WStringView path,
                                   WStringView cfgName, bool procedureRun)
    : hierarchy_(hierarchy), path_(path), cfg_name_(cfgName), procedure_run_(procedureRun) {}

CKV7TaskListener::~CKV7TaskListener() = default;

HRESULT CKV7TaskListener::taskMessageAdded(const char16_t*, const char16_t*) {
  KV7_TRACE_ENTRY("CKV7TaskListener::taskMessageAdded", 2, "KV7TaskListener");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7TaskListener::taskCompleted(const char16_t* taskId, LONG status) {
  KV7_TRACE_ENTRY("CKV7TaskListener::taskCompleted", 2, "KV7TaskListener");
  if (hierarchy_ == nullptr) return KV7_TRACE_RETURN(S_OK);
  // The hierarchy may release this listener while it handles the
  // completion; stay alive until the call returns.
  ComPtr<CKV7TaskListener> self(this);
  return KV7_TRACE_RETURN(hierarchy_->taskCompleted(taskId, status));
}

CKV7TaskHelperMgr::CKV7TaskHelperMgr(std::unique_ptr<CTaskHelperHook> hook, WStringView taskId)
    : hook_(std::move(hook)), task_id_(taskId) {}

CKV7TaskHelperMgr::~CKV7TaskHelperMgr() = default;
