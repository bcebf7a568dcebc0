// The build verbs: deploy a configuration's changed items (or all of them),
// show what a build would do, forget what a configuration built, deploy one
// item alone, and run the startup procedure. Each drives the configuration
// as the IDE's commands do, runs the UI thread's message loop until the
// work ends, and saves the built-files record with what committed.
#include "build_verbs.h"

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "arguments.h"
#include "interrupt.h"
#include "json_output.h"
#include "kv7/build/build_manager.h"
#include "kv7/build/configurations.h"
#include "kv7/helper/helper.h"
#include "kv7/platform/file_lock.h"
#include "kv7/package/package_site.h"
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

// How long a verb that writes the record waits for another that holds it.
constexpr double kDefaultWaitSeconds = 30;

// The options every verb here shares: the configuration, the output and
// the wait for another build.
struct VerbOptions {
  ParsedArguments parsed;
  bool json = false;
  double waitSeconds = kDefaultWaitSeconds;
};

// Parses the arguments; with --json the build pane and the human lines go
// to stderr, stdout being the events'. An exit code.
int Parse(const char* verb, const Arguments& args, std::vector<const char*> flags, int positional,
          VerbOptions* options) {
  flags.push_back("--json");
  std::string error;
  if (!ParseArguments(args, flags, {"--config", "--wait"}, positional, positional,
                      &options->parsed, &error))
    return BadUsage(verb, error);
  options->json = options->parsed.Has("--json");
  if (options->parsed.HasOption("--wait")) {
    const std::string wait = options->parsed.Option("--wait");
    char* end = nullptr;
    options->waitSeconds = std::strtod(wait.c_str(), &end);
    if (wait.empty() || *end != '\0' || !(options->waitSeconds >= 0))
      return BadUsage(verb, "--wait takes a number of seconds, not '" + wait + "'");
  }
  return kExitOk;
}

// Where the human lines go.
std::FILE* HumanStream(const VerbOptions& options) { return options.json ? stderr : stdout; }

// Whether a verb only reads the built-files record or may change it.
enum class RecordUse { kRead, kWrite };

// Opens the project and finds the configuration of --config (else the
// default); an exit code. A verb that may change the record first takes
// the project's lock, before the record is read, waiting up to --wait.
int OpenWithConfiguration(ProjectSession& session, const char* verb, const VerbOptions& options,
                          CMyProjectCfg** cfg, RecordUse use = RecordUse::kRead) {
  if (use == RecordUse::kWrite)
    if (int code = session.LockRecord(options.parsed.positional[0], options.waitSeconds))
      return code;
  if (int code = session.Open(options.parsed.positional[0])) return code;
  session.Host().SetBuildPaneToStderr(options.json);
  std::string error;
  *cfg = session.ConfigurationOrDefault(options.parsed.Option("--config"), &error);
  return *cfg ? kExitOk : Fail(verb, error);
}

// The deployment target of a configuration, locked for one verb: no other
// kv7 deploys to the same database meanwhile.
class TargetLock {
 public:
  ~TargetLock() {
    if (locked_)
      (void)CCommandHelperHook().UnlockDeploymentTarget(connection_.c_str(), folder_.c_str());
  }
  // An exit code: 1, naming the holder, when the wait runs out. A
  // configuration whose connection cannot be had is left to the build,
  // which says why.
  int Acquire(const char* verb, ProjectSession& session, CMyProjectCfg* cfg, double waitSeconds) {
    if (cfg->get_ConnInfo()->GetConnName().empty() ||
        FAILED(cfg->GetDeploymentConnection(connection_)))
      return kExitOk;
    folder_ = session.project()->GetProjectFolderPath();
    CComBSTR holder;
    HRESULT hr = CCommandHelperHook().LockDeploymentTarget(connection_.c_str(), folder_.c_str(),
                                                           waitSeconds, holder.Put());
    if (hr == kv7::KV7_E_LOCKED)
      return Fail(verb, "another kv7 is deploying to " +
                            Utf8(cfg->get_ConnInfo()->GetConnName()) + " (" +
                            Utf8(holder.ToString()) + "); waited " +
                            std::to_string(static_cast<long>(waitSeconds)) + " s");
    if (FAILED(hr)) return kExitOk;  // the build meets the same failure and reports it
    locked_ = true;
    return kExitOk;
  }

 private:
  WString connection_;
  WString folder_;
  bool locked_ = false;
};

// Runs the message loop until `finished`, showing on the status bar how
// many of the `expected` tasks reported. False when the loop ran dry
// first: no task in flight and nothing posted, so the work stopped
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

// The item's path as a person reads it: relative to the project folder,
// "/"-separated.
std::string ItemPath(CFileVwFileNode* node) {
  WString path;
  (void)node->GetProjRelativePath(path);
  kv7::ReplaceAll(path, u"\\", u"/");
  return Utf8(path);
}

// Why a build deploys or passes over an item, as a stable code.
const char* ReasonCode(CeKV7BuildDecision decision) {
  switch (decision) {
    case CeKV7BuildDecision::kNeverBuilt: return "never-built";
    case CeKV7BuildDecision::kChanged: return "changed";
    case CeKV7BuildDecision::kForced: return "forced";
    case CeKV7BuildDecision::kExcluded: return "excluded";
    case CeKV7BuildDecision::kNotInRunOrder: return "not-in-run-order";
    case CeKV7BuildDecision::kUnchanged: return "unchanged";
  }
  return "";
}

// The same as a text (the build time, when known, says since when it is
// unchanged).
std::string ReasonText(CeKV7BuildDecision decision, WStringView builtTime, WStringView cfgName) {
  const std::string since = builtTime.empty() ? "" : " at " + Utf8(builtTime);
  switch (decision) {
    case CeKV7BuildDecision::kNeverBuilt: return "never built in " + Utf8(cfgName);
    case CeKV7BuildDecision::kChanged: return "changed since its last build" + since;
    case CeKV7BuildDecision::kForced: return "deployed on request";
    case CeKV7BuildDecision::kExcluded: return "excluded from the build of " + Utf8(cfgName);
    case CeKV7BuildDecision::kNotInRunOrder: return "not in the run order";
    case CeKV7BuildDecision::kUnchanged: return "unchanged since its last build" + since;
  }
  return "";
}

// What became of one item of a build.
struct ItemOutcome {
  CFileVwFileNode* item = nullptr;  // its path is worked out only for --json
  const char* action = "skip";  // "deploy": handed to the database; "skip"
  std::string_view status;      // deployed, unchanged, failed; or why it was skipped
  double seconds = 0;
  std::string message;
  long line = 0;
};

// The decisions a build made, by item.
using Decisions = std::unordered_map<CFileVwFileNode*, CeKV7BuildDecision>;

// Every item in build order with what became of it: an item that the build
// decided to deploy takes the next report of its object name (reports come
// in build order); one without, or one the build never reached, is
// skipped as not deployed. The skipped items' messages are only printed
// with --json, and only made for it (`withMessages`).
std::vector<ItemOutcome> Outcomes(const std::vector<CFileVwFileNode*>& order, size_t taken,
                                  const Decisions& decisions,
                                  const std::vector<KV7TaskReport>& reports, WStringView cfgName,
                                  bool withMessages) {
  std::vector<ItemOutcome> outcomes;
  outcomes.reserve(order.size());
  size_t next = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    ItemOutcome& outcome = outcomes.emplace_back();
    outcome.item = order[i];
    auto decided = decisions.find(order[i]);
    const CeKV7BuildDecision decision =
        i >= taken ? CeKV7BuildDecision::kNotInRunOrder
                   : decided != decisions.end() ? decided->second : CeKV7BuildDecision::kForced;
    const bool reported = DecisionDeploys(decision) && next < reports.size() &&
                          reports[next].objectName == ObjectNameOfItem(order[i]->GetFullPath());
    if (!reported) {
      const bool notReached = DecisionDeploys(decision);
      outcome.status = notReached ? "not-deployed" : ReasonCode(decision);
      if (withMessages)
        outcome.message = notReached ? "not deployed: the build ended before it"
                                     : ReasonText(decision, u"", cfgName);
      continue;
    }
    const KV7TaskReport& report = reports[next++];
    outcome.action = "deploy";
    outcome.status = report.status != 1 ? "failed" : report.unchanged ? "unchanged" : "deployed";
    outcome.seconds = report.seconds;
    outcome.message = Utf8(report.result);
    outcome.line = report.line;
  }
  return outcomes;
}

struct BuildCounts {
  size_t deployed = 0;
  size_t unchanged = 0;
  size_t failed = 0;
  size_t skipped = 0;
};

BuildCounts Count(const std::vector<ItemOutcome>& outcomes) {
  BuildCounts counts;
  for (const ItemOutcome& outcome : outcomes) {
    if (outcome.status == "deployed") ++counts.deployed;
    else if (outcome.status == "unchanged") ++counts.unchanged;
    else if (outcome.status == "failed") ++counts.failed;
    else ++counts.skipped;
  }
  return counts;
}

size_t DeployCount(const std::vector<KV7PlannedItem>& plan) {
  size_t count = 0;
  for (const KV7PlannedItem& item : plan) count += DecisionDeploys(item.decision) ? 1 : 0;
  return count;
}

void PrintItemEvent(const ItemOutcome& outcome, WStringView cfgName) {
  JsonEvent("item")
      .Text("item", ItemPath(outcome.item))
      .Text("configuration", Utf8(cfgName))
      .Text("action", outcome.action)
      .Text("status", outcome.status)
      .Number("seconds", outcome.seconds)
      .Text("message", outcome.message)
      .Integer("line", outcome.line)
      .Print();
}

}  // namespace

// ---- plan -----------------------------------------------------------------------

int RunPlan(const Arguments& args) {
  VerbOptions options;
  if (int code = Parse("plan", args, {"--rebuild"}, 1, &options)) return code;
  ProjectSession session("plan");
  CMyProjectCfg* cfg = nullptr;
  if (int code = OpenWithConfiguration(session, "plan", options, &cfg)) return code;
  std::vector<KV7PlannedItem> plan;
  HRESULT hr =
      CKV7BuildManager().Plan(session.project(), cfg, options.parsed.Has("--rebuild"), plan);
  if (FAILED(hr)) return FailStatus("plan", hr, "cannot plan the build");
  size_t width = 0;
  for (const KV7PlannedItem& item : plan) width = std::max(width, ItemPath(item.node.Get()).size());
  std::FILE* out = HumanStream(options);
  for (const KV7PlannedItem& item : plan) {
    const bool deploy = DecisionDeploys(item.decision);
    const std::string text = ReasonText(item.decision, item.builtTime, cfg->GetName());
    std::fprintf(out, "%-6s  %-*s  %s\n", deploy ? "deploy" : "skip", static_cast<int>(width),
                 ItemPath(item.node.Get()).c_str(), text.c_str());
    if (options.json)
      JsonEvent("item")
          .Text("item", ItemPath(item.node.Get()))
          .Text("configuration", Utf8(cfg->GetName()))
          .Text("action", deploy ? "deploy" : "skip")
          .Text("status", ReasonCode(item.decision))
          .Number("seconds", 0)
          .Text("message", text)
          .Integer("line", 0)
          .Print();
  }
  const size_t deploy = DeployCount(plan);
  std::fprintf(out, "%s: %zu to deploy, %zu to skip\n", Utf8(cfg->GetName()).c_str(), deploy,
               plan.size() - deploy);
  if (options.json)
    JsonEvent("summary")
        .Text("configuration", Utf8(cfg->GetName()))
        .Integer("deploy", static_cast<long long>(deploy))
        .Integer("skip", static_cast<long long>(plan.size() - deploy))
        .Print();
  return kExitOk;
}

// ---- build ------------------------------------------------------------------------

int RunBuild(const Arguments& args) {
  VerbOptions options;
  if (int code = Parse("build", args, {"--rebuild"}, 1, &options)) return code;
  const auto start = std::chrono::steady_clock::now();
  ProjectSession session("build");
  CMyProjectCfg* cfg = nullptr;
  if (int code = OpenWithConfiguration(session, "build", options, &cfg, RecordUse::kWrite))
    return code;
  TargetLock target;
  if (int code = target.Acquire("build", session, cfg, options.waitSeconds)) return code;
  const bool rebuild = options.parsed.Has("--rebuild");
  std::vector<CFileVwFileNode*> order;
  size_t taken = 0;
  (void)CKV7BuildManager().ItemOrder(session.project(), cfg, order, &taken);

  CancelOnInterrupt interrupt;
  session.Host().ClearTaskReports();
  Decisions decisions;
  SetBuildDecisionSink([&decisions](CFileVwFileNode* node, CeKV7BuildDecision decision) {
    decisions.emplace(node, decision);
  });
  BuildWatch watch(cfg);
  HRESULT hr = cfg->StartBuild(nullptr, rebuild ? kBuildOptionRebuild : 0);
  bool stopped = false;
  if (SUCCEEDED(hr) && !watch.Listener().Ended())
    stopped = !RunUntil(session, [&watch] { return watch.Listener().Ended(); }, taken);
  SetBuildDecisionSink(nullptr);
  // What committed is recorded, whatever became of the rest.
  const int saved = session.SaveIfDirty();

  // The run order as the build left it (entries naming no item dropped).
  (void)CKV7BuildManager().ItemOrder(session.project(), cfg, order, &taken);
  const std::vector<ItemOutcome> outcomes =
      Outcomes(order, taken, decisions, session.Host().TaskReports(), cfg->GetName(),
               options.json);
  const BuildCounts counts = Count(outcomes);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const bool succeeded = SUCCEEDED(hr) && !stopped && watch.Listener().Succeeded();
  std::fprintf(HumanStream(options),
               "%s %s: %zu deployed, %zu unchanged, %zu failed, %zu skipped in %.2f s\n",
               Utf8(cfg->GetName()).c_str(), succeeded ? "succeeded" : "failed", counts.deployed,
               counts.unchanged, counts.failed, counts.skipped, seconds);
  if (options.json) {
    for (const ItemOutcome& outcome : outcomes) PrintItemEvent(outcome, cfg->GetName());
    JsonEvent("summary")
        .Text("configuration", Utf8(cfg->GetName()))
        .Flag("succeeded", succeeded)
        .Integer("deployed", static_cast<long long>(counts.deployed))
        .Integer("unchanged", static_cast<long long>(counts.unchanged))
        .Integer("failed", static_cast<long long>(counts.failed))
        .Integer("skipped", static_cast<long long>(counts.skipped))
        .Number("seconds", seconds)
        .Print();
  }
  if (interrupt.Interrupted()) return Fail("build", "interrupted; the record holds what committed");
  if (stopped) return Fail("build", "the build stopped: an item could not start its deployment");
  if (FAILED(hr)) return FailStatus("build", hr, "cannot build " + Utf8(cfg->GetName()));
  if (saved != kExitOk) return saved;
  return succeeded ? kExitOk : kExitFailed;
}

// ---- clean ------------------------------------------------------------------------

int RunClean(const Arguments& args) {
  VerbOptions options;
  if (int code = Parse("clean", args, {}, 1, &options)) return code;
  ProjectSession session("clean");
  CMyProjectCfg* cfg = nullptr;
  if (int code = OpenWithConfiguration(session, "clean", options, &cfg, RecordUse::kWrite))
    return code;
  HRESULT hr = cfg->StartClean(nullptr, 0);
  if (FAILED(hr)) return FailStatus("clean", hr, "cannot clean " + Utf8(cfg->GetName()));
  if (int code = session.SaveIfDirty()) return code;
  std::fprintf(HumanStream(options), "%s: every item deploys again on its next build\n",
               Utf8(cfg->GetName()).c_str());
  if (options.json)
    JsonEvent("summary")
        .Text("configuration", Utf8(cfg->GetName()))
        .Text("action", "clean")
        .Flag("succeeded", true)
        .Print();
  return kExitOk;
}

// ---- compile ----------------------------------------------------------------------

int RunCompile(const Arguments& args) {
  VerbOptions options;
  if (int code = Parse("compile", args, {}, 2, &options)) return code;
  ProjectSession session("compile");
  CMyProjectCfg* cfg = nullptr;
  if (int code = OpenWithConfiguration(session, "compile", options, &cfg, RecordUse::kWrite))
    return code;
  TargetLock target;
  if (int code = target.Acquire("compile", session, cfg, options.waitSeconds)) return code;
  CFileVwFileNode* item = session.FindItem(options.parsed.positional[1]);
  if (item == nullptr) return kExitFailed;
  // The compile asks which configuration; the answer is --config's.
  session.Host().QueueListChoice(cfg->GetName());

  CancelOnInterrupt interrupt;
  session.Host().ClearTaskReports();
  CMyProjectHierarchy* project = session.project();
  HRESULT hr = item->Compile(false, nullptr, nullptr);
  bool stopped = false;
  const auto idle = [project] {
    return !project->IsThereWorkToDo() && !project->IsCompileInProgress();
  };
  if (hr == S_OK) stopped = !RunUntil(session, idle, 1);
  const int saved = session.SaveIfDirty();
  if (interrupt.Interrupted()) return Fail("compile", "interrupted; the item rolled back");
  if (stopped) return Fail("compile", "the item could not start its deployment");
  if (FAILED(hr))
    return FailStatus("compile", hr, "cannot compile " + options.parsed.positional[1]);
  if (hr != S_OK) return Fail("compile", "no configuration was chosen");
  if (saved != kExitOk) return saved;
  return project->GetBuildSucceeded() ? kExitOk : kExitFailed;
}

// ---- run ----------------------------------------------------------------------------

int RunRun(const Arguments& args) {
  VerbOptions options;
  if (int code = Parse("run", args, {}, 1, &options)) return code;
  const auto start = std::chrono::steady_clock::now();
  ProjectSession session("run");
  CMyProjectCfg* cfg = nullptr;
  if (int code = OpenWithConfiguration(session, "run", options, &cfg)) return code;
  CancelOnInterrupt interrupt;
  session.Host().ClearTaskReports();
  CMyProjectHierarchy* project = session.project();
  // A refusal has been reported already, with its reason.
  if (FAILED(cfg->DebugLaunch(DBGLAUNCH_NoDebug))) return kExitFailed;
  const bool stopped =
      !RunUntil(session, [project] { return !project->IsCompileInProgress(); }, 1);
  const auto& reports = session.Host().TaskReports();
  const bool succeeded = !stopped && !reports.empty() && reports.back().status == 1;
  if (options.json) {
    JsonEvent run("run");
    run.Text("configuration", Utf8(cfg->GetName()));
    if (!reports.empty()) {
      std::vector<std::string> notes;
      for (const WString& note : reports.back().notes) notes.push_back(Utf8(note));
      run.Text("procedure", Utf8(reports.back().objectName))
          .Text("status", succeeded ? "succeeded" : "failed")
          .Number("seconds", reports.back().seconds)
          .Text("message", Utf8(reports.back().result))
          .Integer("line", reports.back().line)
          .Texts("notes", notes);
    }
    run.Print();
    JsonEvent("summary")
        .Text("configuration", Utf8(cfg->GetName()))
        .Flag("succeeded", succeeded)
        .Number("seconds",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count())
        .Print();
  }
  if (interrupt.Interrupted()) return Fail("run", "interrupted");
  if (stopped) return Fail("run", "the procedure's run ended without an answer");
  return succeeded ? kExitOk : kExitFailed;
}

}  // namespace kv7::cli
