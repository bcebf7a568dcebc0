// The single-item compile: one item deployed through the build's machinery.
#include "kv7/build/build_manager.h"
#include "kv7/build/configurations.h"
#include "kv7/helper/helper.h"
#include "kv7/hierarchy/file_nodes.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/options/global_options.h"
#include "kv7/package/package_site.h"
#include "kv7/trace/trace.h"
#include "kv7/util/ui_strings.h"

namespace {

constexpr UINT kChooseConfigurationTitle = 2002;

// The configuration a compile deploys in: the default one, or the one the
// user picks from the project's list (starting on the default) when the
// global option asks. S_FALSE when the user cancels.
HRESULT ChooseCompileConfiguration(CMyProjectHierarchy* hierarchy, CMyProjectCfg** chosen) {
  CMyProjectCfg* cfg = hierarchy->GetActiveProjectConfig();
  BOOL prompt = FALSE;
  (void)GetKV7GlobalOptions()->GetPromptForConfig(&prompt);
  ComPtr<IVsUIShell> shell;
  if (prompt && SUCCEEDED(QueryPackageService(SID_SVsUIShell, &shell))) {
    const auto& cfgs = hierarchy->GetCfgProvider()->GetConfigurations();
    std::vector<const char16_t*> names;
    ULONG index = 0;
    for (const ComPtr<CMyProjectCfg>& each : cfgs) {
      if (each.Get() == cfg) index = static_cast<ULONG>(names.size());
      names.push_back(each->GetName().c_str());
    }
    HRESULT hr = shell->ChooseFromList(LoadUIString(kChooseConfigurationTitle).c_str(),
                                       static_cast<ULONG>(names.size()), names.data(), &index);
    if (hr != S_OK) return hr;
    cfg = index < cfgs.size() ? cfgs[index].Get() : nullptr;
  }
  *chosen = cfg;
  return cfg ? S_OK : E_FAIL;
}

}  // namespace

HRESULT CFileVwFileNode::Compile(bool synchronous, LONG* status, WString* result) {
  KV7_TRACE_ENTRY("CFileVwFileNode::Compile", 2, "FileVwFileNode");
  CMyProjectHierarchy* hierarchy = GetCVsHierarchy();
  if (hierarchy == nullptr || hierarchy->GetProjectNode() == nullptr)
    return KV7_TRACE_RETURN(E_UNEXPECTED);
  CMyProjectCfg* cfg = nullptr;
  HRESULT hr = ChooseCompileConfiguration(hierarchy, &cfg);
  if (hr != S_OK) return KV7_TRACE_RETURN(hr);
  WString connection;
  hr = cfg->GetDeploymentConnection(connection);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  auto executor = std::make_unique<CKV7NE_RunItem>(
      cfg->GetName(), std::make_shared<CKV7OutputWindow>(true, eKV7PaneBuild, false, false),
      connection, hierarchy);
  executor->SetIncremental(false);
  executor->SetForce(true);
  executor->SetAnnounce(true);
  executor->SetConfiguration(cfg);
  if (synchronous) {
    executor->SetExecutionMode(CKV7NodeExecutor::kSynchronous);
    (void)CCommandHelperHook().SetDeploymentContext(hierarchy->GetProjectFolderPath().c_str(),
                                                    TRUE);
    hr = executor->DoWork(this);
    if (status) *status = executor->GetLastStatus();
    if (result) *result = executor->GetLastResult();
    return KV7_TRACE_RETURN(hr);
  }
  CCritSecLock lock(hierarchy->GetTaskLock());
  // A build under way takes the item at the end of its list.
  if (hierarchy->IsCompileInProgress() && hierarchy->AppendWaitingNode(this))
    return KV7_TRACE_RETURN(S_OK);
  (void)CCommandHelperHook().SetDeploymentContext(hierarchy->GetProjectFolderPath().c_str(), TRUE);
  return KV7_TRACE_RETURN(
      hierarchy->ProcessSelectedFileNodesAsync({this}, std::move(executor), true));
}
