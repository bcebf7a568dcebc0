// The process's deployment tasks, behind CTaskHelperHook::ExecuteTask[Async]
// and the deployment operations of CCommandHelperHook; also the procedure
// runs of CTaskHelperHook::ExecuteTaskRoutineAsync, which take the same
// connections, workers and completion path.
//
// One connection per distinct connection document and project folder, open
// for the life of the process (CloseIdle closes those with nothing to do;
// unloading the library closes all). Each connection has one worker thread
// that runs its asynchronous tasks one at a time, in the order started; a
// synchronous task runs on its caller's thread, between two of the worker's.
//
// Threads: Start, Deliver and the listener table belong to the UI thread.
// The workers hold plain copies of the task's texts and never touch the
// system's objects or their reference counts: a finished task's report
// goes to the UI dispatcher in one posted closure, which calls the report
// sink and then the listener kept for the task here, on the UI thread.
// Run, SetReportSink, SetContext, CancelAll and CloseIdle may be called from
// any thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "deploy_driver.h"
#include "kv7/helper/helper.h"
#include "kv7/platform/com.h"

namespace kv7::helper {

class DeployConnection;
struct PendingTask;

// The texts of one deployment task as the system hands them over.
struct DeployTaskTexts {
  WStringView connectionXml;
  WStringView source;
  WStringView configurationXml;
  WStringView objectName;  // the item's file name without folder and extension
};

// A procedure run as the system hands it over, its parameters read.
struct RoutineTaskTexts {
  WStringView connectionXml;
  RoutineCall call;
  WStringView objectName;  // the name its report carries
};

class DeploymentTasks {
 public:
  // The process's instance, made on first use and closed at unload.
  static DeploymentTasks& Instance();

  DeploymentTasks() = default;
  ~DeploymentTasks();
  DeploymentTasks(const DeploymentTasks&) = delete;
  DeploymentTasks& operator=(const DeploymentTasks&) = delete;

  // Runs a task on the calling thread and stores its report in *report,
  // after handing it to the report sink on this thread.
  void Run(const DeployTaskTexts& texts, KV7TaskReport* report);
  // Queues a task for its connection's worker and stores its identifier (a
  // GUID in registry form) in *taskId. E_UNEXPECTED, with error information
  // saying why, when no UI dispatcher is installed to take its completion;
  // E_OUTOFMEMORY when no worker thread can be started.
  [[nodiscard]] HRESULT Start(const DeployTaskTexts& texts,
                              ComPtr<ITaskExecutionListener> listener, WString* taskId);
  // Queues a procedure run as Start queues a deployment.
  [[nodiscard]] HRESULT StartRoutine(RoutineTaskTexts texts,
                                     ComPtr<ITaskExecutionListener> listener, WString* taskId);
  // On the UI thread, for a finished task: the report to the sink, then the
  // completion to the task's listener.
  void Deliver(const KV7TaskReport& report);

  void SetReportSink(KV7TaskReportSink sink);
  // The project folder and redeploy flag of the tasks started from now on.
  void SetContext(WStringView projectFolder, bool redeployUnchanged);
  // Interrupts the running tasks (each rolls back and fails); the tasks
  // queued now fail without running.
  void CancelAll();
  // Closes the connections that have no task running or queued.
  void CloseIdle();

 private:
  std::shared_ptr<PendingTask> MakeTask(const DeployTaskTexts& texts);
  HRESULT Queue(std::shared_ptr<PendingTask> task, WStringView connectionXml,
                ComPtr<ITaskExecutionListener> listener, WString* taskId);
  std::string Separator(WStringView configurationXml);
  std::shared_ptr<DeployConnection> ConnectionFor(WStringView connectionXml);

  std::mutex mutex_;
  // Keyed by connection document and project folder; guarded by mutex_.
  std::unordered_map<WString, std::shared_ptr<DeployConnection>> connections_;
  KV7TaskReportSink sink_;          // guarded by mutex_
  WString projectFolder_;           // guarded by mutex_
  bool redeployUnchanged_ = false;  // guarded by mutex_
  // The last configuration document read and its separator: a build sends
  // the same document with most items. Guarded by mutex_.
  WString lastConfiguration_;
  std::string lastSeparator_ = "@";
  // The listeners of started tasks until their completion; UI thread only.
  std::unordered_map<WString, ComPtr<ITaskExecutionListener>> listeners_;
};

}  // namespace kv7::helper
