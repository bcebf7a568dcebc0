// The headless IDE: one per process. It offers the services that the system
// asks the IDE for through one service provider, keeps the open projects,
// listens to their events as a solution explorer would, and shows message
// boxes and error reports as lines on stderr. What it was asked to show is
// kept, so that tests and the command line can read it back.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "kv7/helper/helper.h"
#include "kv7/host/ide.h"
#include "kv7/platform/dispatcher.h"
#include "kv7/platform/messagebox.h"

namespace kv7::host {

// The IDE's registry root; the system reads its switches under
// HKEY_CURRENT_USER and this key.
inline constexpr char16_t kIdeRegistryRoot[] = u"Software\\kv7\\IDE\\7.1";

// One event that a project sent to the solution explorer.
struct HierarchyEvent {
  enum class Kind { ItemAdded, ItemsAppended, ItemDeleted, PropertyChanged, ItemsInvalidated };

  Kind kind = Kind::ItemAdded;
  // Names the project that sent the event; not a reference.
  IVsHierarchy* hierarchy = nullptr;
  // The item added, deleted or changed; the parent for appended and
  // invalidated items.
  VSITEMID item = VSITEMID_NIL;
  // Where an added item went.
  VSITEMID parent = VSITEMID_NIL;
  VSITEMID previousSibling = VSITEMID_NIL;
  // The property that changed.
  VSHPROPID property = 0;

  friend bool operator==(const HierarchyEvent&, const HierarchyEvent&) = default;
};

// A message box that was shown and the button it answered with.
struct ShownMessageBox {
  WString caption;
  WString text;
  UINT style = MB_OK;
  int answer = IDOK;
};

// A document that moved when an item was renamed.
struct DocumentRename {
  WString oldPath;
  WString newPath;
};

// A change that a project asked the IDE's document tracking about, or told
// it of.
struct TrackedChange {
  enum class Kind { QueryAdd, Added, QueryRename, Renamed, QueryRemove, Removed };

  Kind kind = Kind::QueryAdd;
  WString path;
  WString newPath;  // renames only
  DWORD flags = 0;

  friend bool operator==(const TrackedChange&, const TrackedChange&) = default;
};

class SolutionService;
class ProjectTypesService;
class OutputWindowService;
class StatusbarService;
class BuildManagerService;
class TrackingService;
class ExplorerService;
class DocumentService;
class QueryEditService;
class FileChangeService;
class ShellService;
class EnvironmentOptionsService;
class DebuggerService;
class UIDispatcher;

class CHost {
 public:
  // Creates the services and installs the host's message box presenter.
  CHost();
  // Closes every project still open and restores the previous presenter.
  ~CHost();
  CHost(const CHost&) = delete;
  CHost& operator=(const CHost&) = delete;

  // The provider to hand to the system; unknown services are E_NOINTERFACE.
  IServiceProvider* ServiceProvider() const;
  IVsSolution* Solution() const;
  IVsUIHierarchyWindow* HierarchyWindow() const;

  // The open projects, in the order they were added.
  std::vector<IVsHierarchy*> Projects() const;
  // Every event the open and closed projects sent, oldest first.
  const std::vector<HierarchyEvent>& HierarchyEvents() const;
  bool IsExpanded(IVsHierarchy* hierarchy, VSITEMID item) const;

  void OpenDocument(WStringView path);
  bool IsDocumentOpen(WStringView path) const;
  // Opens the document when needed and gives it text a user typed and has
  // not saved.
  void EditDocument(WStringView path, WStringView text);
  // Changes one of the IDE's environment options (the system reads
  // Environment / ProjectsAndSolution / OnRunOrPreview); false for an
  // option the IDE does not have.
  bool SetEnvironmentOption(WStringView category, WStringView page, WStringView name,
                            LONG value);
  const std::vector<DocumentRename>& DocumentRenames() const;

  // Makes every edit query answer "no", as if the user refused each one.
  void RefuseEdits(bool refuse);
  // Makes document tracking refuse every add, rename and removal (as source
  // control may), and lists what it was asked and told, oldest first.
  void RefuseTrackedChanges(bool refuse);
  const std::vector<TrackedChange>& TrackedChanges() const;

  // The configuration (full name) that the solution builds and runs;
  // empty for none, so that a project falls back to its own default.
  void SetActiveConfiguration(WStringView fullName);
  // Whether changes to the file are being ignored (IVsFileChangeEx::IgnoreFile).
  bool IsFileIgnored(WStringView path) const;

  // The message boxes shown so far, oldest first.
  const std::vector<ShownMessageBox>& MessageBoxes() const;
  // The next message box answers with `button` instead of its default one;
  // queued answers are used in order.
  void QueueMessageBoxAnswer(int button);
  // The next list chooser takes the entry of that text (when it lists it)
  // instead of the one it starts on; queued choices are used in order.
  void QueueListChoice(WStringView entry);
  // The descriptions shown by IVsUIShell::ReportErrorInfo, oldest first.
  const std::vector<WString>& ErrorReports() const;
  // A quiet host records message boxes, error reports and output but
  // prints nothing.
  void SetQuiet(bool quiet);
  // The build pane prints to stderr instead of stdout.
  void SetBuildPaneToStderr(bool toStderr);

  // What the output window's pane was given so far; null when the pane
  // was never created.
  const WString* PaneText(REFGUID pane) const;
  // What the debugger was asked to launch, oldest first.
  const std::vector<VsDebugTargetInfo>& DebugLaunches() const;
  // The status bar's text and last progress (complete, total).
  const WString& StatusText() const;
  std::pair<ULONG, ULONG> StatusProgress() const;

  // ---- The UI thread's message loop ------------------------------------------
  // The host is the process's UI dispatcher while it lives. This runs the
  // work other threads posted (task completions), on the calling thread,
  // until `finished` answers true (then true), or until nothing is queued
  // and `inFlight` answers false, so that nothing will be posted (then
  // false).
  bool RunDispatcher(const std::function<bool()>& finished,
                     const std::function<bool()>& inFlight);
  // What each deployment task did, oldest first, as the helper library
  // reported it; the build pane shows each before the task's completion.
  const std::vector<KV7TaskReport>& TaskReports() const { return *reports_; }
  void ClearTaskReports() { reports_->clear(); }

 private:
  ComPtr<ExplorerService> explorer_;
  ComPtr<ProjectTypesService> projectTypes_;
  ComPtr<SolutionService> solution_;
  ComPtr<OutputWindowService> outputWindow_;
  ComPtr<StatusbarService> statusbar_;
  ComPtr<DocumentService> documents_;
  ComPtr<QueryEditService> queryEdit_;
  ComPtr<FileChangeService> fileChange_;
  ComPtr<ShellService> shell_;
  ComPtr<TrackingService> tracking_;
  ComPtr<BuildManagerService> buildManager_;
  ComPtr<EnvironmentOptionsService> environment_;
  ComPtr<DebuggerService> debugger_;
  ComPtr<IServiceProvider> provider_;
  MessageBoxPresenter previousPresenter_;
  std::unique_ptr<UIDispatcher> dispatcher_;
  IDispatcher* previousDispatcher_ = nullptr;
  std::shared_ptr<std::vector<KV7TaskReport>> reports_;
};

}  // namespace kv7::host
