#include "kv7/host/host.h"

#include <algorithm>
#include <utility>

#include "services.h"

namespace kv7::host {
namespace {

// Hands out each service by its identifier. A service not offered is
// E_NOINTERFACE, as is an offered one without the interface asked for:
// either way the caller cannot have what it asked for.
class Provider final : public ComObject<IServiceProvider> {
 public:
  void Offer(REFGUID service, IUnknown* object) { services_.emplace_back(service, object); }

  HRESULT QueryService(REFGUID service, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    auto found = std::ranges::find(services_, service, &Offered::first);
    if (found == services_.end()) return E_NOINTERFACE;
    return found->second->QueryInterface(riid, object);
  }

 private:
  using Offered = std::pair<GUID, ComPtr<IUnknown>>;
  std::vector<Offered> services_;
};

// A deployment report on the build pane: the item and what became of it,
// then each further line indented.
void WriteTaskReport(OutputWindowService& output, const KV7TaskReport& report) {
  ComPtr<IVsOutputWindowPane> pane;
  if (FAILED(output.CreatePane(GUID_BuildOutputWindowPane, u"Build", TRUE, TRUE)) ||
      FAILED(output.GetPane(GUID_BuildOutputWindowPane, pane.Put())))
    return;
  WString text = report.objectName + u": " + report.result + u"\n";
  for (const WString& note : report.notes) text += u"    " + note + u"\n";
  (void)pane->OutputString(text.c_str());
}

}  // namespace

CHost::CHost()
    : explorer_(MakeCom<ExplorerService>()),
      projectTypes_(MakeCom<ProjectTypesService>()),
      solution_(MakeCom<SolutionService>(explorer_, projectTypes_)),
      outputWindow_(MakeCom<OutputWindowService>()),
      statusbar_(MakeCom<StatusbarService>()),
      documents_(MakeCom<DocumentService>()),
      queryEdit_(MakeCom<QueryEditService>()),
      fileChange_(MakeCom<FileChangeService>()),
      shell_(MakeCom<ShellService>()),
      tracking_(MakeCom<TrackingService>()),
      buildManager_(MakeCom<BuildManagerService>()),
      environment_(MakeCom<EnvironmentOptionsService>()),
      debugger_(MakeCom<DebuggerService>()),
      dispatcher_(std::make_unique<UIDispatcher>()),
      reports_(std::make_shared<std::vector<KV7TaskReport>>()) {
  auto provider = MakeCom<Provider>();
  provider->Offer(SID_SVsSolution, solution_.Get());
  // The explorer also reports the IDE's current selection.
  IUnknown* explorer = static_cast<IVsUIHierarchyWindow*>(explorer_.Get());
  provider->Offer(SID_SVsUIHierarchyWindow, explorer);
  provider->Offer(SID_SVsShellMonitorSelection, explorer);
  // One object serves both document services.
  IUnknown* documents = static_cast<IVsRunningDocumentTable*>(documents_.Get());
  provider->Offer(SID_SVsRunningDocumentTable, documents);
  provider->Offer(SID_SVsUIShellOpenDocument, documents);
  provider->Offer(SID_SVsQueryEditQuerySave, queryEdit_.Get());
  provider->Offer(SID_SVsFileChangeEx, fileChange_.Get());
  provider->Offer(SID_SVsUIShell, shell_.Get());
  provider->Offer(SID_SLocalRegistry, MakeCom<RegistryService>().Get());
  provider->Offer(SID_SVsMonitorUserContext, MakeCom<HelpService>().Get());
  provider->Offer(SID_SVsTrackProjectDocuments, tracking_.Get());
  provider->Offer(SID_SVsSolutionBuildManager, buildManager_.Get());
  provider->Offer(SID_SVsRegisterProjectTypes, projectTypes_.Get());
  provider->Offer(SID_SVsOutputWindow, outputWindow_.Get());
  provider->Offer(SID_SVsStatusbar, statusbar_.Get());
  provider->Offer(SID_SVsEnvironmentOptions, environment_.Get());
  provider->Offer(SID_SVsShellDebugger, debugger_.Get());
  provider_ = provider;
  previousDispatcher_ = SetUIDispatcher(dispatcher_.get());
  (void)CCommandHelperHook().SetTaskReportSink(
      [reports = reports_, output = outputWindow_](const KV7TaskReport& report) {
        reports->push_back(report);
        WriteTaskReport(*output, report);
      });
  previousPresenter_ =
      SetMessageBoxPresenter([shell = shell_](WStringView caption, WStringView text, UINT style) {
        return shell->Present(caption, text, style);
      });
}

CHost::~CHost() {
  solution_->CloseAll();
  (void)CCommandHelperHook().SetTaskReportSink(nullptr);
  SetUIDispatcher(previousDispatcher_);
  SetMessageBoxPresenter(std::move(previousPresenter_));
}

IServiceProvider* CHost::ServiceProvider() const { return provider_.Get(); }
IVsSolution* CHost::Solution() const { return solution_.Get(); }
IVsUIHierarchyWindow* CHost::HierarchyWindow() const { return explorer_.Get(); }

std::vector<IVsHierarchy*> CHost::Projects() const {
  std::vector<IVsHierarchy*> projects;
  for (const auto& project : solution_->Projects()) projects.push_back(project.Get());
  return projects;
}

const std::vector<HierarchyEvent>& CHost::HierarchyEvents() const { return explorer_->Events(); }

bool CHost::IsExpanded(IVsHierarchy* hierarchy, VSITEMID item) const {
  return explorer_->IsExpanded(hierarchy, item);
}

void CHost::OpenDocument(WStringView path) { documents_->Open(path); }
bool CHost::IsDocumentOpen(WStringView path) const { return documents_->IsOpen(path); }
const std::vector<DocumentRename>& CHost::DocumentRenames() const { return documents_->Renames(); }

void CHost::EditDocument(WStringView path, WStringView text) { documents_->Edit(path, text); }

bool CHost::SetEnvironmentOption(WStringView category, WStringView page, WStringView name,
                                 LONG value) {
  return environment_->Set(category, page, name, value);
}

void CHost::RefuseEdits(bool refuse) { queryEdit_->RefuseEdits(refuse); }

void CHost::RefuseTrackedChanges(bool refuse) { tracking_->Refuse(refuse); }

const std::vector<TrackedChange>& CHost::TrackedChanges() const { return tracking_->Changes(); }

void CHost::SetActiveConfiguration(WStringView fullName) { buildManager_->SetActive(fullName); }
bool CHost::IsFileIgnored(WStringView path) const { return fileChange_->IsIgnored(path); }

const std::vector<ShownMessageBox>& CHost::MessageBoxes() const { return shell_->Shown(); }
void CHost::QueueMessageBoxAnswer(int button) { shell_->QueueAnswer(button); }
void CHost::QueueListChoice(WStringView entry) { shell_->QueueChoice(entry); }
const std::vector<WString>& CHost::ErrorReports() const { return shell_->ErrorReports(); }
void CHost::SetQuiet(bool quiet) {
  shell_->SetQuiet(quiet);
  outputWindow_->SetQuiet(quiet);
  statusbar_->SetQuiet(quiet);
}

void CHost::SetBuildPaneToStderr(bool toStderr) { outputWindow_->SetBuildPaneToStderr(toStderr); }

const WString* CHost::PaneText(REFGUID pane) const {
  const OutputPane* found = outputWindow_->Pane(pane);
  return found ? &found->Text() : nullptr;
}

const std::vector<VsDebugTargetInfo>& CHost::DebugLaunches() const {
  return debugger_->Launched();
}

const WString& CHost::StatusText() const { return statusbar_->Text(); }
std::pair<ULONG, ULONG> CHost::StatusProgress() const { return statusbar_->LastProgress(); }

bool CHost::RunDispatcher(const std::function<bool()>& finished,
                          const std::function<bool()>& inFlight) {
  return dispatcher_->Run(finished, inFlight);
}

}  // namespace kv7::host
