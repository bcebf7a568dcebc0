// The build verbs: deploy a configuration's changed items (or all of them),
// forget what a configuration built, deploy one item alone, and show what a
// build would do. Each drives the configuration as the IDE's build commands
// do, runs the UI thread's message loop until the build ends, and saves the
// built-files record with what committed.
#include "build_verbs.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "arguments.h"
#include "interrupt.h"
#include "kv7/build/build_manager.h"
#include "kv7/build/configurations.h"
#include "kv7/document/built_files.h"
#include "kv7/package/package_site.h"
#include "kv7/util/path_names.h"
#include "project_session.h"

namespace kv7::cli {
namespace {

std::string Utf8(WStringView text) { return ToUtf8(text); }

// Hears the end of the build it is advised to.
class BuildEndListener final : public ComObject<IVsBuildStatusCallback> {
 public:
  bool Ended() const { return ended_; }
  bool Succeeded() const { return succeeded_; }

  HRESULT BuildBegin(BOOL* continueBuild) override {
    if (continueBuild) *continueBuild = TRUE;
    return S_OK;
  }
  HRESULT BuildEnd(BOOL success) override {
    ended_ = true;
    succeeded_ = success != FALSE;
    return S_OK;
  }
  HRESULT Tick(BOOL* continueBuild) override { return BuildBegin(continueBuild); }

 private:
  bool ended_ = false;
  bool succeeded_ = false;
};

// Advises a listener to a configuration for one build.
class BuildWatch {
 public:
  explicit BuildWatch(CMyProjectCfg* cfg) : cfg_(cfg), listener_(MakeCom<BuildEndListener>()) {
    (void)cfg_->AdviseBuildStatusCallback(listener_.Get(), &cookie_);
  }
  ~BuildWatch() { (void)cfg_->UnadviseBuildStatusCallback(cookie_); }
  BuildWatch(const BuildWatch&) = delete;
  BuildWatch& operator=(const BuildWatch&) = delete;

  const BuildEndListener& Listener() const { return *listener_; }

 private:
  CMyProjectCfg* cfg_;
  ComPtr<BuildEndListener> listener_;
  DWORD cookie_ = 0;
};

// Runs the message loop until `finished`, showing on the status bar how
// many of the `expected` deployments reported. False when the loop ran dry
// first: no task in flight and nothing posted, so the build stopped
// without an end.
template <class Finished>
bool RunUntil(ProjectSession& session, Finished finished, size_t expected) {
  CMyProjectHierarchy* project = session.project();
  const auto& reports = session.Host().TaskReports();
  ComPtr<IVsStatusbar> status;
  (void)QueryPackageService(SID_SVsStatusbar, &status);
  DWORD cookie = 0;
  size_t shown = 0;
  bool ended = session.Host().RunDispatcher(
      [&] {
        if (status && reports.size() != shown) {
          shown = reports.size();
          (void)status->Progress(&cookie, TRUE, reports.back().objectName.c_str(),
                                 static_cast<ULONG>(shown), static_cast<ULONG>(expected));
        }
        return finished();
      },
      [project] { return project->IsCompileInProgress(); });
  if (status && cookie != 0) (void)status->Progress(&cookie, FALSE, u"", 0, 0);
  return ended;
}

// What a build did, counted from its plan and the library's reports.
struct BuildCounts {
  size_t deployed = 0;
  size_t unchanged = 0;
  size_t failed = 0;
  size_t skipped = 0;
};

BuildCounts CountBuild(const std::vector<KV7PlannedItem>& plan,
                       const std::vector<KV7TaskReport>& reports) {
  BuildCounts counts;
  for (const KV7PlannedItem& item : plan)
    if (item.decision == CeKV7BuildDecision::kUnchanged) ++counts.unchanged;
  for (const KV7TaskReport& report : reports) {
    if (report.status != 1) ++counts.failed;
    else if (report.unchanged) ++counts.unchanged;
    else ++counts.deployed;
  }
  const size_t done = counts.deployed + counts.unchanged + counts.failed;
  counts.skipped = plan.size() > done ? plan.size() - done : 0;
  return counts;
}

size_t DeployCount(const std::vector<KV7PlannedItem>& plan) {
  size_t count = 0;
  for (const KV7PlannedItem& item : plan) count += DecisionDeploys(item.decision) ? 1 : 0;
  return count;
}

// Opens the project and finds the configuration of --config (else the
// default); an exit code.
int OpenWithConfiguration(ProjectSession& session, const char* verb,
                          const ParsedArguments& parsed, CMyProjectCfg** cfg) {
  if (int code = session.Open(parsed.positional[0])) return code;
  std::string error;
  *cfg = session.ConfigurationOrDefault(parsed.Option("--config"), &error);
  return *cfg ? kExitOk : Fail(verb, error);
}

// ---- plan -------------------------------------------------------------------

std::string Reason(const KV7PlannedItem& item, WStringView cfgName) {
  switch (item.decision) {
    case CeKV7BuildDecision::kNeverBuilt:
      return "never built in " + Utf8(cfgName);
    case CeKV7BuildDecision::kChanged:
      return "changed since its last build at " + Utf8(item.builtTime);
    case CeKV7BuildDecision::kForced:
      return "deployed on request";
    case CeKV7BuildDecision::kExcluded:
      return "excluded from the build of " + Utf8(cfgName);
    case CeKV7BuildDecision::kNotInRunOrder:
      return "not in the run order";
    case CeKV7BuildDecision::kUnchanged:
      return "unchanged since its last build at " + Utf8(item.builtTime);
  }
  return "";
}

// The item's path as a person reads it: relative to the project folder,
// "/"-separated.
std::string ItemPath(CFileVwFileNode* node) {
  WString path;
  (void)node->GetProjRelativePath(path);
  kv7::ReplaceAll(path, u"\\", u"/");
  return Utf8(path);
}

}  // namespace

int RunPlan(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--rebuild"}, {"--config"}, 1, 1, &parsed, &error))
    return BadUsage("plan", error);
  ProjectSession session("plan");
  CMyProjectCfg* cfg = nullptr;
  if (int code = OpenWithConfiguration(session, "plan", parsed, &cfg)) return code;
  std::vector<KV7PlannedItem> plan;
  HRESULT hr = CKV7BuildManager().Plan(session.project(), cfg, parsed.Has("--rebuild"), plan);
  if (FAILED(hr)) return FailStatus("plan", hr, "cannot plan the build");
  // Unchanged items keep their build time: show it as the record has it.
  for (KV7PlannedItem& item : plan)
    if (item.decision == CeKV7BuildDecision::kUnchanged && item.builtTime.empty())
      (void)session.project()->GetBuiltFiles()->GetBuiltTime(cfg->GetName(),
                                                             item.node->GetFullPath(),
                                                             &item.builtTime);
  size_t width = 0;
  for (const KV7PlannedItem& item : plan) width = std::max(width, ItemPath(item.node.Get()).size());
  for (const KV7PlannedItem& item : plan)
    std::printf("%-6s  %-*s  %s\n", DecisionDeploys(item.decision) ? "deploy" : "skip",
                static_cast<int>(width), ItemPath(item.node.Get()).c_str(),
                Reason(item, cfg->GetName()).c_str());
  const size_t deploy = DeployCount(plan);
  std::printf("%s: %zu to deploy, %zu to skip\n", Utf8(cfg->GetName()).c_str(), deploy,
              plan.size() - deploy);
  return kExitOk;
}

// ---- build --------------------------------------------------------------------

int RunBuild(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--rebuild"}, {"--config"}, 1, 1, &parsed, &error))
    return BadUsage("build", error);
  const auto start = std::chrono::steady_clock::now();
  ProjectSession session("build");
  CMyProjectCfg* cfg = nullptr;
  if (int code = OpenWithConfiguration(session, "build", parsed, &cfg)) return code;
  const bool rebuild = parsed.Has("--rebuild");
  std::vector<KV7PlannedItem> plan;
  (void)CKV7BuildManager().Plan(session.project(), cfg, rebuild, plan);

  CancelOnInterrupt interrupt;
  session.Host().ClearTaskReports();
  BuildWatch watch(cfg);
  HRESULT hr = cfg->StartBuild(nullptr, rebuild ? kBuildOptionRebuild : 0);
  bool stopped = false;
  if (SUCCEEDED(hr) && !watch.Listener().Ended())
    stopped = !RunUntil(session, [&watch] { return watch.Listener().Ended(); }, DeployCount(plan));
  // What committed is recorded, whatever became of the rest.
  const int saved = session.SaveIfDirty();

  const BuildCounts counts = CountBuild(plan, session.Host().TaskReports());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const bool succeeded = SUCCEEDED(hr) && !stopped && watch.Listener().Succeeded();
  std::printf("%s %s: %zu deployed, %zu unchanged, %zu failed, %zu skipped in %.2f s\n",
              Utf8(cfg->GetName()).c_str(), succeeded ? "succeeded" : "failed", counts.deployed,
              counts.unchanged, counts.failed, counts.skipped, seconds);
  if (interrupt.Interrupted()) return Fail("build", "interrupted; the record holds what committed");
  if (stopped) return Fail("build", "the build stopped: an item could not start its deployment");
  if (FAILED(hr)) return FailStatus("build", hr, "cannot build " + Utf8(cfg->GetName()));
  if (saved != kExitOk) return saved;
  return succeeded ? kExitOk : kExitFailed;
}

// ---- clean ----------------------------------------------------------------------

int RunClean(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {"--config"}, 1, 1, &parsed, &error))
    return BadUsage("clean", error);
  ProjectSession session("clean");
  CMyProjectCfg* cfg = nullptr;
  if (int code = OpenWithConfiguration(session, "clean", parsed, &cfg)) return code;
  HRESULT hr = cfg->StartClean(nullptr, 0);
  if (FAILED(hr)) return FailStatus("clean", hr, "cannot clean " + Utf8(cfg->GetName()));
  if (int code = session.SaveIfDirty()) return code;
  std::printf("%s: every item deploys again on its next build\n", Utf8(cfg->GetName()).c_str());
  return kExitOk;
}

// ---- compile ----------------------------------------------------------------------

int RunCompile(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {"--config"}, 2, 2, &parsed, &error))
    return BadUsage("compile", error);
  ProjectSession session("compile");
  CMyProjectCfg* cfg = nullptr;
  if (int code = OpenWithConfiguration(session, "compile", parsed, &cfg)) return code;
  CFileVwFileNode* item = session.FindItem(parsed.positional[1]);
  if (item == nullptr) return kExitFailed;
  // The compile asks which configuration; the answer is --config's.
  session.Host().QueueListChoice(cfg->GetName());

  CancelOnInterrupt interrupt;
  session.Host().ClearTaskReports();
  CMyProjectHierarchy* project = session.project();
  HRESULT hr = item->Compile(false, nullptr, nullptr);
  bool stopped = false;
  if (hr == S_OK)
    stopped = !RunUntil(
        session, [project] { return !project->IsThereWorkToDo() && !project->IsCompileInProgress(); },
        1);
  const int saved = session.SaveIfDirty();
  if (interrupt.Interrupted()) return Fail("compile", "interrupted; the item rolled back");
  if (stopped) return Fail("compile", "the item could not start its deployment");
  if (FAILED(hr)) return FailStatus("compile", hr, "cannot compile " + parsed.positional[1]);
  if (hr != S_OK) return Fail("compile", "no configuration was chosen");
  if (saved != kExitOk) return saved;
  return project->GetBuildSucceeded() ? kExitOk : kExitFailed;
}

}  // namespace kv7::cli
