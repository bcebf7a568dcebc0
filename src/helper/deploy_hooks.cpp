// The deployment operations of the helper library's hooks: tasks run by the
// process's DeploymentTasks (deploy_tasks.h).
#include "deploy_tasks.h"
#include "helper_trace.h"
#include "kv7/helper/helper.h"

namespace {

kv7::helper::DeployTaskTexts TaskTexts(const char16_t* connectionXml, const char16_t* source,
                                       const char16_t* configurationXml,
                                       const char16_t* objectName) {
  auto text = [](const char16_t* value) { return WStringView(value ? value : u""); };
  return {text(connectionXml), text(source), text(configurationXml), text(objectName)};
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
