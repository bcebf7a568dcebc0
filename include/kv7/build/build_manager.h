// The build: CKV7BuildManager decides which items of a configuration deploy
// and in which order, and hands them with a CKV7NE_RunItem to the
// hierarchy's waiting list; CKV7NE_RunItem deploys one item through the
// helper library, as a task whose completion moves the list on
// (CMyProjectHierarchy::taskCompleted). UI thread only.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "kv7/build/output.h"
#include "kv7/document/folders.h"
#include "kv7/platform/files.h"

class CMyProjectCfg;
class CMyProjectHierarchy;

// A build that ended at once, without starting a task.
inline constexpr HRESULT KV7_S_BUILD_SUCCEEDED = static_cast<HRESULT>(0x00040415);
inline constexpr HRESULT KV7_S_BUILD_FAILED = static_cast<HRESULT>(0x00040413);

// The options bit of StartBuild that asks for a rebuild.
inline constexpr DWORD kBuildOptionRebuild = 1;

// Why a build deploys an item or passes it over.
enum class CeKV7BuildDecision {
  kNeverBuilt,      // deploys: not built in this configuration
  kChanged,         // deploys: its file changed since its last build
  kForced,          // deploys: compiled on its own
  kExcluded,        // passed over: excluded from the configuration's build
  kNotInRunOrder,   // passed over: the run order names other items
  kUnchanged,       // passed over: not changed since its last build
};
bool DecisionDeploys(CeKV7BuildDecision decision);

// Hears every decision that a build's run item executors make, in the order
// they make them (a front end counting and listing what a build did); an
// empty function removes it. UI thread.
using KV7BuildDecisionSink =
    std::function<void(CFileVwFileNode* node, CeKV7BuildDecision decision)>;
void SetBuildDecisionSink(KV7BuildDecisionSink sink);

// One item of a build's plan (CKV7BuildManager::Plan).
struct KV7PlannedItem {
  ComPtr<CFileVwFileNode> node;
  CeKV7BuildDecision decision = CeKV7BuildDecision::kNeverBuilt;
  // The record's build time of the item ("%m/%d/%Y %H:%M:%S") when it
  // changed since or is unchanged; empty otherwise.
  WString builtTime;
};

// Deploys one item of a configuration.
class CKV7NE_RunItem : public CKV7NodeExecutor {
 public:
  // The pane is shared with whoever started the executor: a build's
  // executor outlives the call that made it.
  CKV7NE_RunItem(WStringView cfgName, std::shared_ptr<CKV7OutputWindow> pane,
                 WStringView connectionXml, CMyProjectHierarchy* hierarchy);
  ~CKV7NE_RunItem() override;

  // Incremental (the default): an item whose file has not changed since
  // its last build is passed over. Force: an excluded item deploys too.
  // Announce: each deployment is announced on the pane with the
  // configuration's name.
  void SetIncremental(bool incremental) { incremental_ = incremental; }
  void SetForce(bool force) { force_ = force; }
  void SetAnnounce(bool announce) { announce_ = announce; }
  void SetConfiguration(CMyProjectCfg* cfg);

  // Deploys the item: synchronously (the task's status and result are then
  // kept) or by starting a task filed in the hierarchy's task list.
  HRESULT DoWork(CFileVwFileNode* node) override;
  // What the last synchronous deployment answered.
  LONG GetLastStatus() const { return last_status_; }
  const WString& GetLastResult() const { return last_result_; }

  // Whether DoWork would deploy the node, its file as `file` tells, and
  // why; changes nothing. With `builtTime`, the record's build time of the
  // item (empty when none).
  CeKV7BuildDecision Decide(CFileVwFileNode* node, const kv7::FileStatus& file,
                            WString* builtTime) const;

 private:
  void Write(const WString& text) const;
  // Steps of DoWork once the item must deploy.
  HRESULT SaveOpenDocument(CFileVwFileNode* node) const;
  HRESULT LoadSource(CFileVwFileNode* node, WString& text);
  void WarnOfCLRMismatch(CFileVwFileNode* node, const WString& text) const;
  HRESULT Execute(CFileVwFileNode* node, const WString& text, const WString& configuration);

  WString cfg_name_;
  std::shared_ptr<CKV7OutputWindow> pane_;
  WString connection_xml_;
  CMyProjectHierarchy* hierarchy_;
  bool incremental_ = true;
  bool force_ = false;
  bool announce_ = false;
  ComPtr<CMyProjectCfg> cfg_;
  LONG last_status_ = 0;
  WString last_result_;
};

// Runs a stored procedure as a task of the project; its completion is the
// hierarchy's (taskCompleted). Asynchronous only: in synchronous mode
// DoWork answers E_FAIL.
class CKV7NE_RunProcedure : public CKV7NodeExecutor {
 public:
  // The procedure as the system displays it, the run's mode (0: run), its
  // parameter values document, the configuration's full name and its
  // connection document.
  CKV7NE_RunProcedure(WStringView procedure, LONG mode, WStringView parametersXml,
                      WStringView cfgName, WStringView connectionXml,
                      std::shared_ptr<CKV7OutputWindow> pane, CMyProjectHierarchy* hierarchy);
  ~CKV7NE_RunProcedure() override;

  // Starts the run; the node is not used.
  HRESULT DoWork(CFileVwFileNode* node) override;

 private:
  WString procedure_;
  LONG mode_;
  WString parameters_xml_;
  WString cfg_name_;
  WString connection_xml_;
  std::shared_ptr<CKV7OutputWindow> pane_;
  CMyProjectHierarchy* hierarchy_;
};

// The object name the helper library is given for an item: its file name
// without folder and extension.
WString ObjectNameOfItem(WStringView path);

class CKV7BuildManager {
 public:
  // A rebuild: items whose text matches what the database holds deploy
  // again too (tables aside); the helper library hears it when Build starts.
  void SetRedeployUnchanged(bool redeploy) { redeploy_unchanged_ = redeploy; }
  // Starts deploying the configuration's items. S_OK when tasks were
  // started (build-end comes from the completions); KV7_S_BUILD_SUCCEEDED
  // or KV7_S_BUILD_FAILED when the build ended at once; a failure status
  // otherwise (KV7_E_CONNECTION_NOT_FOUND when the configuration's
  // connection is gone from the catalogue).
  HRESULT Build(WStringView cfgName, CMyProjectCfg* cfg, std::shared_ptr<CKV7OutputWindow> pane,
                CMyProjectHierarchy* hierarchy);
  // Marks every item of the configuration not built and forgets when each
  // assembly was installed; nothing reaches the database.
  HRESULT Clean(CMyProjectHierarchy* hierarchy, CMyProjectCfg* cfg);
  // A database build is never up to date: *upToDate is FALSE.
  HRESULT IsBuildUpToDate(CMyProjectCfg* cfg, BOOL* upToDate);
  // Where the configuration's build puts what it makes: the project folder
  // (a relative SQLite database lies there). E_UNEXPECTED without a project.
  HRESULT GetAbsoluteOutputDirectory(CMyProjectHierarchy* hierarchy, WStringView cfgName,
                                     WString& directory);
  // Every item of the project in build order, changing nothing: the items
  // a build takes (the run order's items that exist, else every item in
  // tree order), then the items the run order leaves out; *taken counts
  // the first.
  HRESULT ItemOrder(CMyProjectHierarchy* hierarchy, CMyProjectCfg* cfg,
                    std::vector<CFileVwFileNode*>& order, size_t* taken);
  // What a build of the configuration would do to each item of ItemOrder,
  // changing nothing. With `rebuild`, as after every item was marked not
  // built.
  HRESULT Plan(CMyProjectHierarchy* hierarchy, CMyProjectCfg* cfg, bool rebuild,
               std::vector<KV7PlannedItem>& plan);

 private:
  bool redeploy_unchanged_ = false;
};
