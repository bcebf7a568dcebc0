// Starting a configuration: its startup procedure run as a task of the
// project, or handed to the IDE debugger.
#include "kv7/build/build_manager.h"
#include "kv7/build/configurations.h"
#include "kv7/helper/helper.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/trace/trace.h"
#include "kv7/util/ui_strings.h"
#include "kv7/util/utilities.h"

namespace {

constexpr UINT kNoConnectionText = 1053;
constexpr UINT kConnectionGoneText = 1257;
constexpr UINT kNoStartupProcedureText = 1251;
constexpr UINT kStartupValuesMissingText = 1255;
constexpr UINT kRunningText = 1240;  // "%1": the configuration, "%2": the procedure

// What the debugger answers when the user stops the launch.
constexpr HRESULT kLaunchCanceled = MakeHResult(0x8004000C);

// A refused start: the IDE's error report shows the text, and the status
// is the answer.
HRESULT Refuse(HRESULT status, UINT textId) {
  kv7::SetErrorInfo(status, LoadUIString(textId));
  ComPtr<IVsUIShell> shell;
  if (SUCCEEDED(QueryPackageService(SID_SVsUIShell, &shell))) (void)shell->ReportErrorInfo(status);
  return status;
}

}  // namespace

HRESULT CMyProjectCfg::GetDebugLaunchTargets(VsDebugTargetInfo* target) const {
  KV7_TRACE_ENTRY("CMyProjectCfg::GetDebugLaunchTargets", 2, "MyProjectCfg");
  if (target == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *target = VsDebugTargetInfo{DLO_Custom, 1, GUID_KV7ProcedureDebugEngine, WString(), WString(),
                              TRUE};
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CMyProjectCfg::DebugLaunch(ULONG flags) {
  KV7_TRACE_ENTRY("CMyProjectCfg::DebugLaunch", 2, "MyProjectCfg");
  if (hierarchy_ == nullptr) return KV7_TRACE_RETURN(E_UNEXPECTED);
  if (connection_.GetConnName().empty())
    return KV7_TRACE_RETURN(Refuse(KV7_E_NO_CONNECTION, kNoConnectionText));
  CComBSTR described;
  if (FAILED(CTaskHelperHook().GetConnXML(connection_.GetConnName().c_str(), described.Put())) ||
      described.ToString().empty())
    return KV7_TRACE_RETURN(Refuse(KV7_E_CONNECTION_NOT_FOUND, kConnectionGoneText));
  VsDebugTargetInfo target;
  (void)GetDebugLaunchTargets(&target);
  if (!debugging_.HasProcName())
    return KV7_TRACE_RETURN(Refuse(KV7_E_NO_STARTUP_PROCEDURE, kNoStartupProcedureText));
  if (debugging_.NeedsParameters() && !debugging_.HasParameters())
    return KV7_TRACE_RETURN(Refuse(KV7_E_STARTUP_VALUES_MISSING, kStartupValuesMissingText));

  WString connection;
  (void)connection_.ExtractXML(connection, FALSE, FALSE, FALSE);
  HRESULT hr = S_OK;
  if (flags & DBGLAUNCH_NoDebug) {
    WString procedure;
    debugging_.GetStartupProcedure(procedure);
    if (procedure.empty())
      return KV7_TRACE_RETURN(Refuse(KV7_E_NO_STARTUP_PROCEDURE, kNoStartupProcedureText));
    auto pane = std::make_shared<CKV7OutputWindow>(true, eKV7PaneBuild, false, false);
    WString cfgName = full_name_;
    kv7::ReplaceAll(cfgName, u"|", u" ");
    (void)pane->OutputString(
        (FormatUIStringInserts(kRunningText, nullptr, {cfgName, procedure}) + u"\n").c_str());
    CKV7NE_RunProcedure run(procedure, 0, debugging_.GetParametersXML(), full_name_, connection,
                            pane, hierarchy_);
    hr = run.DoWork(nullptr);
  } else {
    hr = QueryPackageService(SID_SVsShellDebugger, &debugger_);
    WString document;
    if (SUCCEEDED(hr)) hr = debugging_.AsXmlDocument(document);
    if (SUCCEEDED(hr) && debugger_cookie_ == 0)
      hr = debugger_->AdviseDebuggerEvents(this, &debugger_cookie_);
    if (SUCCEEDED(hr)) {
      debugging_.GetStartupProcedure(target.executable);
      target.arguments = document;
      hr = debugger_->LaunchDebugTargets(1, &target);
    }
    // A launch that did not start has no mode to follow.
    if (FAILED(hr)) (void)OnModeChange(DBGMODE_Design);
  }
  return KV7_TRACE_RETURN(hr == kLaunchCanceled ? E_ABORT : hr);
}

HRESULT CMyProjectCfg::OnModeChange(DBGMODE mode) {
  KV7_TRACE_ENTRY("CMyProjectCfg::OnModeChange", 2, "MyProjectCfg");
  if (mode == DBGMODE_Design && debugger_ && debugger_cookie_ != 0) {
    (void)debugger_->UnadviseDebuggerEvents(debugger_cookie_);
    debugger_cookie_ = 0;
    debugger_.Reset();
  }
  return KV7_TRACE_RETURN(S_OK);
}
