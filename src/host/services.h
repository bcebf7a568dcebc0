// The services of the headless IDE, one object each. CHost creates them and
// its provider hands them out. Each service keeps its own state, so one that
// the system still holds stays usable after the host is gone.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "kv7/host/host.h"
#include "kv7/platform/dispatcher.h"

namespace kv7::host {

// The UI thread's message loop: work posted from any thread waits in a
// queue until the UI thread runs it, in the order posted.
class UIDispatcher final : public IDispatcher {
 public:
  void Post(std::function<void()> work) override;
  // See CHost::RunDispatcher.
  bool Run(const std::function<bool()>& finished, const std::function<bool()>& inFlight);

 private:
  std::mutex mutex_;
  Handoff posted_;
  std::deque<std::function<void()>> queue_;
};

// The solution explorer: listens to the open projects' events and keeps
// the window's selection and expanded items, which it also reports as the
// IDE's current selection.
class ExplorerService final : public ComObject<IVsUIHierarchyWindow, IVsMonitorSelection> {
 public:
  // Starts listening to a project; its items can then be selected.
  HRESULT Watch(IVsHierarchy* hierarchy);
  // Stops listening and forgets the project's selected and expanded items.
  void Unwatch(IVsHierarchy* hierarchy);
  void Record(const HierarchyEvent& event);

  const std::vector<HierarchyEvent>& Events() const { return events_; }
  bool IsExpanded(IVsHierarchy* hierarchy, VSITEMID item) const;

  HRESULT ExpandItem(IVsHierarchy* hierarchy, VSITEMID item, DWORD flags) override;
  HRESULT GetSelectedItems(IVsHierarchy* hierarchy, ULONG capacity, VSITEMID* items,
                           ULONG* count) override;
  HRESULT GetCurrentSelection(IVsHierarchy** hierarchy, VSITEMID* item,
                              IVsMultiItemSelect** multi) override;

 private:
  using Item = std::pair<IVsHierarchy*, VSITEMID>;
  template <class Predicate>
  void Forget(Predicate matches);

  // Watched projects and their advise cookies. Selected and expanded items
  // only name watched projects, so plain pointers cannot dangle.
  std::map<IVsHierarchy*, DWORD> cookies_;
  std::vector<HierarchyEvent> events_;
  std::vector<Item> selection_;
  std::set<Item> expanded_;
};

// The register of project types: the factory of each type, as packages
// registered them.
class ProjectTypesService final : public ComObject<IVsRegisterProjectTypes> {
 public:
  // The factory of the type, or null.
  IVsProjectFactory* Find(REFGUID type) const;

  HRESULT RegisterProjectType(REFGUID type, IVsProjectFactory* factory, DWORD* cookie) override;
  HRESULT UnregisterProjectType(DWORD cookie) override;

 private:
  struct Registration {
    GUID type;
    ComPtr<IVsProjectFactory> factory;
    DWORD cookie;
  };
  std::vector<Registration> registrations_;
  DWORD next_cookie_ = 1;
};

// The open projects.
class SolutionService final : public ComObject<IVsSolution> {
 public:
  SolutionService(ComPtr<ExplorerService> explorer, ComPtr<ProjectTypesService> types)
      : explorer_(std::move(explorer)), types_(std::move(types)) {}

  const std::vector<ComPtr<IVsHierarchy>>& Projects() const { return projects_; }
  // Closes every project, last opened first, without asking them.
  void CloseAll();

  HRESULT GetProjectEnum(DWORD flags, REFGUID type, IEnumHierarchies** projects) override;
  HRESULT AddProject(IVsHierarchy* project) override;
  HRESULT CloseSolutionElement(DWORD options, IVsHierarchy* project, DWORD cookie) override;
  // A solution without projects is a new one; with projects it is open.
  HRESULT CreateSolution(const char16_t* folder, const char16_t* name, DWORD flags) override;
  // Through the factory registered for the type; a new project is saved
  // at once, as a person creating one in the IDE finds it on disk.
  HRESULT CreateProject(REFGUID type, const char16_t* path, const char16_t* location,
                        const char16_t* name, DWORD flags, IVsHierarchy** project) override;
  // Below the host's templates directory ("\\" or "/" separated names).
  HRESULT GetProjectTemplateFile(const char16_t* templateName, BSTR* fullPath) override;

 private:
  bool Contains(IVsHierarchy* project) const;
  HRESULT CloseProject(IVsHierarchy* project);

  ComPtr<ExplorerService> explorer_;
  ComPtr<ProjectTypesService> types_;
  std::vector<ComPtr<IVsHierarchy>> projects_;
};

// How the output window's panes print: quiet keeps the text only; the
// build pane goes to stdout unless sent to stderr (machine-readable output
// owns stdout then); the other panes go to stderr.
struct PaneStreams {
  bool quiet = false;
  bool build_to_stderr = false;
};

// One pane of the output window.
class OutputPane final : public ComObject<IVsOutputWindowPane> {
 public:
  OutputPane(bool buildPane, const PaneStreams* streams)
      : build_pane_(buildPane), streams_(streams) {}

  const WString& Text() const { return text_; }

  HRESULT OutputString(const char16_t* text) override;
  HRESULT Activate() override { return S_OK; }

 private:
  bool build_pane_;
  const PaneStreams* streams_;
  WString text_;
};

class OutputWindowService final : public ComObject<IVsOutputWindow> {
 public:
  void SetQuiet(bool quiet) { streams_.quiet = quiet; }
  void SetBuildPaneToStderr(bool toStderr) { streams_.build_to_stderr = toStderr; }
  // What a pane was given, or null when there is no such pane.
  const OutputPane* Pane(REFGUID pane) const;

  HRESULT GetPane(REFGUID pane, IVsOutputWindowPane** found) override;
  HRESULT CreatePane(REFGUID pane, const char16_t* title, BOOL visible,
                     BOOL clearWithSolution) override;
  HRESULT DeletePane(REFGUID pane) override;
  HRESULT Show() override { return S_OK; }

 private:
  // Shared with the panes, which the window outlives.
  PaneStreams streams_;
  std::vector<std::pair<GUID, ComPtr<OutputPane>>> panes_;
};

// The status bar: keeps its text and progress; on a terminal, shows the
// progress on stderr as one line that it rewrites.
class StatusbarService final : public ComObject<IVsStatusbar> {
 public:
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  const WString& Text() const { return text_; }
  // The last progress shown: complete of total, 0 of 0 when none.
  std::pair<ULONG, ULONG> LastProgress() const { return progress_; }

  HRESULT Clear() override;
  HRESULT SetText(const char16_t* text) override;
  HRESULT Progress(DWORD* cookie, BOOL inProgress, const char16_t* label, ULONG complete,
                   ULONG total) override;
  HRESULT Animation(BOOL, short) override { return S_OK; }
  HRESULT SetInsMode(short) override { return S_OK; }
  HRESULT SetLineChar(LONG, LONG) override { return S_OK; }
  HRESULT SetColorText(const char16_t* text, DWORD, DWORD) override { return SetText(text); }

 private:
  bool quiet_ = false;
  bool shown_ = false;
  WString text_;
  std::pair<ULONG, ULONG> progress_{0, 0};
};

// The open documents, each with the text a user typed and has not saved
// (none while the document matches its file).
class DocumentService final
    : public ComObject<IVsRunningDocumentTable, IVsUIShellOpenDocument> {
 public:
  void Open(WStringView path) { open_.try_emplace(WString(path)); }
  bool IsOpen(WStringView path) const { return open_.contains(path); }
  // Opens the document when needed and gives it unsaved text.
  void Edit(WStringView path, WStringView text) { open_[WString(path)] = WString(text); }
  const std::vector<DocumentRename>& Renames() const { return renames_; }

  // Opening a document in the headless IDE records it as open.
  HRESULT OpenDocumentViaProject(const char16_t* path, REFGUID logicalView,
                                 IVsHierarchy* hierarchy, VSITEMID item) override;
  HRESULT RenameDocument(const char16_t* oldPath, const char16_t* newPath,
                         IVsHierarchy* hierarchy, VSITEMID newItem) override;
  HRESULT IsDocumentDirty(const char16_t* path, BOOL* dirty) override;
  // Writes the unsaved text to the file (UTF-8); the document is then clean.
  HRESULT SaveDocument(const char16_t* path) override;

 private:
  std::map<WString, std::optional<WString>, std::less<>> open_;
  std::vector<DocumentRename> renames_;
};

// The IDE's environment options that the system reads, with their values.
class EnvironmentOptionsService final : public ComObject<IVsEnvironmentOptions> {
 public:
  EnvironmentOptionsService();
  // Changes a known option; false for an option the IDE does not have.
  bool Set(WStringView category, WStringView page, WStringView name, LONG value);

  HRESULT GetOption(const char16_t* category, const char16_t* page, const char16_t* name,
                    VARIANT* value) override;

 private:
  static WString Key(WStringView category, WStringView page, WStringView name);
  std::map<WString, LONG, std::less<>> options_;
};

class QueryEditService final : public ComObject<IVsQueryEditQuerySave2> {
 public:
  void RefuseEdits(bool refuse) { refuseAll_ = refuse; }

  HRESULT QueryEditFiles(DWORD flags, ULONG count, const char16_t* const* paths,
                         DWORD* verdict) override;

 private:
  bool MayEdit(const char16_t* path) const;

  bool refuseAll_ = false;
};

// Document tracking: answers every query yes unless told to refuse, and
// keeps what it was asked and told.
class TrackingService final : public ComObject<IVsTrackProjectDocuments2> {
 public:
  void Refuse(bool refuse) { refuse_ = refuse; }
  const std::vector<TrackedChange>& Changes() const { return changes_; }

  HRESULT OnQueryAddFiles(IVsHierarchy* project, const char16_t* path, DWORD flags,
                          BOOL* allowed) override;
  HRESULT OnAfterAddFilesEx(IVsHierarchy* project, const char16_t* path, DWORD flags) override;
  HRESULT OnQueryRenameFile(IVsHierarchy* project, const char16_t* oldPath,
                            const char16_t* newPath, DWORD flags, BOOL* allowed) override;
  HRESULT OnAfterRenameFile(IVsHierarchy* project, const char16_t* oldPath,
                            const char16_t* newPath, DWORD flags) override;
  HRESULT OnQueryRemoveFiles(IVsHierarchy* project, const char16_t* path, DWORD flags,
                             BOOL* allowed) override;
  HRESULT OnAfterRemoveFiles(IVsHierarchy* project, const char16_t* path, DWORD flags) override;

 private:
  HRESULT Note(TrackedChange::Kind kind, const char16_t* path, const char16_t* newPath,
               DWORD flags, BOOL* allowed);

  bool refuse_ = false;
  std::vector<TrackedChange> changes_;
};

// The solution's active configuration: one full name for every project.
class BuildManagerService final : public ComObject<IVsSolutionBuildManager> {
 public:
  void SetActive(WStringView fullName) { active_ = fullName; }

  HRESULT FindActiveProjectCfg(IVsHierarchy* project, IVsProjectCfg** cfg) override;

 private:
  WString active_;
};

class FileChangeService final : public ComObject<IVsFileChangeEx> {
 public:
  bool IsIgnored(WStringView path) const { return ignored_.contains(path); }

  HRESULT IgnoreFile(const char16_t* path, BOOL ignore) override;

 private:
  // How many callers ignore each path; a path leaves the map at zero.
  std::map<WString, int, std::less<>> ignored_;
};

// Message boxes and error reports: the host's message sink and the
// platform's message box presenter while the host lives.
class ShellService final : public ComObject<IVsUIShell> {
 public:
  // Records a message box, prints it unless quiet, and answers it.
  int Present(WStringView caption, WStringView text, UINT style);
  void QueueAnswer(int button) { answers_.push_back(button); }
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  const std::vector<ShownMessageBox>& Shown() const { return shown_; }
  const std::vector<WString>& ErrorReports() const { return errorReports_; }

  HRESULT ShowMessageBox(const char16_t* title, const char16_t* text, OLEMSGBUTTON buttons,
                         OLEMSGICON icon, LONG* result) override;
  HRESULT ReportErrorInfo(HRESULT status) override;
  HRESULT SetWaitCursor() override { return S_OK; }
  // Takes the entry named by the next queued choice, when the list has it;
  // otherwise the entry it starts on, as a person pressing Enter would.
  HRESULT ChooseFromList(const char16_t* title, ULONG count, const char16_t* const* entries,
                         ULONG* chosen) override;
  void QueueChoice(WStringView entry) { choices_.emplace_back(entry); }

 private:
  void Print(WStringView line) const;

  bool quiet_ = false;
  std::deque<int> answers_;
  std::deque<WString> choices_;
  std::vector<ShownMessageBox> shown_;
  std::vector<WString> errorReports_;
};

// The IDE's debugger without debug engines: it keeps what it was asked to
// launch and refuses, saying that no engine for the target is installed.
class DebuggerService final : public ComObject<IVsDebugger> {
 public:
  const std::vector<VsDebugTargetInfo>& Launched() const { return launched_; }

  HRESULT LaunchDebugTargets(ULONG count, VsDebugTargetInfo* targets) override;
  HRESULT AdviseDebuggerEvents(IVsDebuggerEvents* sink, DWORD* cookie) override;
  HRESULT UnadviseDebuggerEvents(DWORD cookie) override;

 private:
  std::vector<VsDebugTargetInfo> launched_;
  std::map<DWORD, ComPtr<IVsDebuggerEvents>> sinks_;
  DWORD next_cookie_ = 1;
};

class RegistryService final : public ComObject<ILocalRegistry2> {
 public:
  HRESULT GetLocalRegistryRoot(BSTR* root) override;
};

// A help context: the attributes a node gives for its help topic.
class UserContext final : public ComObject<IVsUserContext> {
 public:
  HRESULT AddAttribute(LONG usage, const char16_t* name, const char16_t* value) override;
  HRESULT GetAttribute(const char16_t* name, BSTR* value) override;

 private:
  struct Attribute {
    LONG usage;
    WString name;
    WString value;
  };
  std::vector<Attribute> attributes_;
};

class HelpService final : public ComObject<IVsMonitorUserContext> {
 public:
  HRESULT CreateEmptyContext(IVsUserContext** context) override;
};

}  // namespace kv7::host
