// The running tasks of a project: each asynchronous deployment or procedure
// run is filed in the hierarchy's task list as a CKV7TaskHelperMgr under
// the identifier the helper library gave it, and hears of its end through
// a CKV7TaskListener, which hands the completion to the hierarchy.
#pragma once

#include <memory>

#include "kv7/helper/helper.h"

class CMyProjectHierarchy;

class CKV7TaskListener : public kv7::ComObject<ITaskExecutionListener> {
 public:
  // For the item at `path` (a build item, or a procedure run) of the
  // configuration; the hierarchy is not held.
  static ComPtr<CKV7TaskListener> CreateInstance(CMyProjectHierarchy* hierarchy, WStringView path,
                                                 WStringView cfgName, bool procedureRun);

  const WString& GetPath() const { return path_; }
  const WString& GetCfgName() const { return cfg_name_; }
  bool IsProcedureRun() const { return procedure_run_; }

  // The project closed: a later completion is dropped.
  void Detach() { hierarchy_ = nullptr; }

  // Accepted and ignored: the library writes its messages itself.
  HRESULT taskMessageAdded(const char16_t* taskId, const char16_t* message) override;
  // Passes the completion to the hierarchy.
  HRESULT taskCompleted(const char16_t* taskId, LONG status) override;

 private:
  CKV7TaskListener(CMyProjectHierarchy* hierarchy, WStringView path, WStringView cfgName,
                   bool procedureRun);
  ~CKV7TaskListener() override;

  CMyProjectHierarchy* hierarchy_;
  WString path_;
  WString cfg_name_;
  bool procedure_run_;
};

// One entry of the task list: the hook that runs the task and its identifier.
class CKV7TaskHelperMgr {
 public:
  CKV7TaskHelperMgr(std::unique_ptr<CTaskHelperHook> hook, WStringView taskId);
  ~CKV7TaskHelperMgr();
  CKV7TaskHelperMgr(const CKV7TaskHelperMgr&) = delete;
  CKV7TaskHelperMgr& operator=(const CKV7TaskHelperMgr&) = delete;

  CTaskHelperHook* GetHook() const { return hook_.get(); }
  const WString& GetTaskId() const { return task_id_; }

 private:
  std::unique_ptr<CTaskHelperHook> hook_;
  WString task_id_;
};
