// The deployment operations of the helper library's hooks: tasks run by the
// process's DeploymentTasks (deploy_tasks.h), target locks held by its
// TargetLocks (target_lock.h).
#include "deploy_tasks.h"
#include "helper_trace.h"
#include "kv7/helper/helper.h"
#include "kv7/platform/errorinfo.h"
#include "routine_run.h"
#include "target_lock.h"

namespace {

WStringView Text(const char16_t* value) { return value ? value : u""; }

kv7::helper::DeployTaskTexts TaskTexts(const char16_t* connectionXml, const char16_t* source,
                                       const char16_t* configurationXml,
                                       const char16_t* objectName) {
  return {Text(connectionXml), Text(source), Text(configurationXml), Text(objectName)};
}

// Sets this thread's error information and returns the status.
HRESULT Refuse(HRESULT status, const std::string& why) {
  kv7::SetErrorInfo(status, kv7::FromUtf8(why));
  return status;
}

// The routine run's texts, or the reason they cannot make one.
HRESULT RoutineTexts(const char16_t* procedure, LONG mode, const char16_t* parametersXml,
                     const char16_t* connectionXml, const char16_t* objectName,
                     kv7::helper::RoutineTaskTexts* texts) {
  if (mode != 0)
    return Refuse(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED),
                  "no procedure debug engine is installed: kv7 runs procedures (mode 0) but "
                  "cannot debug them (mode " + std::to_string(mode) + ")");
  texts->call.routine = kv7::ToUtf8(Text(procedure));
  if (texts->call.routine.empty()) return Refuse(E_INVALIDARG, "no procedure to run was named");
  std::string message;
  if (FAILED(kv7::helper::ReadRoutineParameters(Text(parametersXml), &texts->call.parameters,
                                                &message)))
    return Refuse(E_INVALIDARG, message);
  texts->connectionXml = Text(connectionXml);
  texts->objectName = Text(objectName);
  return S_OK;
}

}  // namespace

// The fourth text, which the system always passes empty, has no use here.
HRESULT CTaskHelperHook::ExecuteTask(const char16_t* connectionXml, const char16_t* source,
                                     const char16_t* configurationXml, const char16_t*,
                                     const char16_t* objectName, LONG* status, BSTR* result) {
  KV7_HELPER_TRACE_ENTRY("CTaskHelperHook::ExecuteTask", "TaskHelperHook");
  if (status == nullptr || result == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  KV7TaskReport report;
  kv7::helper::DeploymentTasks::Instance().Run(
      TaskTexts(connectionXml, source, configurationXml, objectName), &report);
  *status = report.status;
  *result = SysAllocWString(report.result);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CTaskHelperHook::ExecuteTaskAsync(const char16_t* connectionXml, const char16_t* source,
                                          const char16_t* configurationXml, const char16_t*,
                                          const char16_t* objectName, BSTR* taskId) {
  KV7_HELPER_TRACE_ENTRY("CTaskHelperHook::ExecuteTaskAsync", "TaskHelperHook");
  if (taskId == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  WString id;
  HRESULT hr = kv7::helper::DeploymentTasks::Instance().Start(
      TaskTexts(connectionXml, source, configurationXml, objectName), listener_, &id);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  *taskId = SysAllocWString(id);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CTaskHelperHook::ExecuteTaskRoutineAsync(const char16_t* procedure, LONG mode,
                                                 const char16_t* parametersXml,
                                                 const char16_t* connectionXml,
                                                 const char16_t* objectName, BSTR* taskId) {
  KV7_HELPER_TRACE_ENTRY("CTaskHelperHook::ExecuteTaskRoutineAsync", "TaskHelperHook");
  if (taskId == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  kv7::helper::RoutineTaskTexts texts;
  HRESULT hr = RoutineTexts(procedure, mode, parametersXml, connectionXml, objectName, &texts);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  WString id;
  hr = kv7::helper::DeploymentTasks::Instance().StartRoutine(std::move(texts), listener_, &id);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  *taskId = SysAllocWString(id);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::CollectGarbage() {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::CollectGarbage", "CommandHelperHook");
  kv7::helper::DeploymentTasks::Instance().CloseIdle();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::SetTaskReportSink(KV7TaskReportSink sink) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::SetTaskReportSink", "CommandHelperHook");
  kv7::helper::DeploymentTasks::Instance().SetReportSink(std::move(sink));
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::SetDeploymentContext(const char16_t* projectFolder,
                                                 BOOL redeployUnchanged) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::SetDeploymentContext", "CommandHelperHook");
  kv7::helper::DeploymentTasks::Instance().SetContext(projectFolder ? projectFolder : u"",
                                                     redeployUnchanged != FALSE);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::CancelTasks() {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::CancelTasks", "CommandHelperHook");
  kv7::helper::DeploymentTasks::Instance().CancelAll();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::LockDeploymentTarget(const char16_t* connectionXml,
                                                 const char16_t* projectFolder,
                                                 double waitSeconds, BSTR* holder) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::LockDeploymentTarget", "CommandHelperHook");
  if (holder == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  std::string held, message;
  HRESULT hr = kv7::helper::TargetLocks::Instance().Lock(Text(connectionXml), Text(projectFolder),
                                                         waitSeconds, &held, &message);
  if (hr == kv7::KV7_E_LOCKED) *holder = SysAllocWString(kv7::FromUtf8(held));
  if (FAILED(hr)) return KV7_TRACE_RETURN(Refuse(hr, message));
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::UnlockDeploymentTarget(const char16_t* connectionXml,
                                                   const char16_t* projectFolder) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::UnlockDeploymentTarget", "CommandHelperHook");
  return KV7_TRACE_RETURN(
      kv7::helper::TargetLocks::Instance().Unlock(Text(connectionXml), Text(projectFolder)));
}
