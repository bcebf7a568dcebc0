#include "deploy_tasks.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <system_error>
#include <thread>

#include "connection_catalogue.h"
#include "deploy_driver.h"
#include "deploy_engine.h"
#include "routine_run.h"
#include "kv7/platform/dispatcher.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/guid.h"
#include "kv7/platform/xmldom.h"

namespace kv7::helper {

using Clock = std::chrono::steady_clock;

// One task, as plain copies of what it needs.
struct PendingTask {
  WString id;
  WString objectName;
  std::string text;  // UTF-8, as the drivers take it
  std::string separator;
  std::string objectNameUtf8;
  bool redeployUnchanged = false;
  // A procedure run instead of a deployment.
  std::optional<RoutineCall> routine;
  // The connection's cancel generation when the task was queued; a task
  // whose generation is behind was cancelled. Guarded by the connection's mutex.
  std::uint64_t generation = 0;
};

namespace {

DeployOutcome FailedOutcome(std::string message) {
  DeployOutcome outcome;
  outcome.result = std::move(message);
  return outcome;
}

KV7TaskReport MakeReport(const PendingTask& task, const DeployOutcome& outcome,
                         Clock::time_point started) {
  KV7TaskReport report;
  report.taskId = task.id;
  report.objectName = task.objectName;
  report.status = outcome.succeeded ? 1 : 0;
  report.unchanged = outcome.unchanged;
  report.result = FromUtf8(outcome.result);
  for (const std::string& note : outcome.notes) report.notes.push_back(FromUtf8(note));
  report.line = outcome.line;
  report.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return report;
}

std::shared_ptr<PendingTask> NewTask(WStringView objectName) {
  auto task = std::make_shared<PendingTask>();
  task->id = GuidToString(NewGuid());
  task->objectName = objectName;
  return task;
}

void PostReport(KV7TaskReport report) {
  // Without a dispatcher the host has gone, and nobody waits for the completion.
  IDispatcher* dispatcher = GetUIDispatcher();
  if (dispatcher == nullptr) return;
  dispatcher->Post([report = std::move(report)] { DeploymentTasks::Instance().Deliver(report); });
}

// The statement separator of a configuration document; "@" when it gives none.
std::string SeparatorOf(WStringView configurationXml) {
  ComPtr<IXMLDOMDocument> document;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  ComPtr<IXMLDOMNode> element;
  CComBSTR text;
  if (SUCCEEDED(CreateXMLDOMDocument(document.Put())) &&
      document->loadXML(WString(configurationXml).c_str(), &loaded) == S_OK &&
      document->selectSingleNode(u"CONFIG/STATEMENTSEP", element.Put()) == S_OK &&
      SUCCEEDED(element->get_text(text.Put()))) {
    std::string separator = ToUtf8(text.ToString());
    std::size_t first = separator.find_first_not_of(" \t\r\n");
    if (first != std::string::npos)
      return separator.substr(first, separator.find_last_not_of(" \t\r\n") + 1 - first);
  }
  return "@";
}

}  // namespace

// One database connection and its worker.
class DeployConnection {
 public:
  // `description` is empty when the connection document could not be read.
  DeployConnection(std::optional<Connection> description, WString projectFolder)
      : description_(std::move(description)), projectFolder_(std::move(projectFolder)) {}
  ~DeployConnection() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.Notify();
    if (worker_.joinable()) worker_.join();
  }
  DeployConnection(const DeployConnection&) = delete;
  DeployConnection& operator=(const DeployConnection&) = delete;

  // Queues a task for the worker, which starts with the first. Throws
  // std::system_error when the worker cannot start.
  void Enqueue(std::shared_ptr<PendingTask> task) {
    std::lock_guard lock(mutex_);
    if (!worker_.joinable()) worker_ = std::thread(&DeployConnection::Work, this);
    task->generation = generation_;
    queue_.push_back(std::move(task));
    wake_.Notify();
  }

  // Runs a task on the calling thread.
  KV7TaskReport RunHere(PendingTask& task) {
    {
      std::lock_guard lock(mutex_);
      task.generation = generation_;
      ++active_;
    }
    KV7TaskReport report = Run(task);
    std::lock_guard lock(mutex_);
    --active_;
    return report;
  }

  void Cancel() {
    std::lock_guard lock(mutex_);
    ++generation_;
    if (driver_ && active_ > 0) driver_->Interrupt();
  }

  // Marks the connection stopping when it has no task; true then.
  bool StopIfIdle() {
    std::lock_guard lock(mutex_);
    if (!queue_.empty() || active_ > 0) return false;
    stopping_ = true;
    wake_.Notify();
    return true;
  }

 private:
  void Work() {
    for (;;) {
      std::shared_ptr<PendingTask> task;
      {
        std::unique_lock lock(mutex_);
        wake_.Wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        task = std::move(queue_.front());
        queue_.pop_front();
        ++active_;
      }
      KV7TaskReport report = Run(*task);
      // The task counts as active until its completion is posted, so that
      // CloseIdle cannot stop the connection in between. Stopping while a
      // task is active is unloading: nobody waits for the completion then.
      std::lock_guard lock(mutex_);
      if (!stopping_) PostReport(std::move(report));
      --active_;
    }
  }

  KV7TaskReport Run(const PendingTask& task) {
    Clock::time_point started = Clock::now();
    DeployOutcome outcome = Deploy(task);
    return MakeReport(task, outcome, started);
  }

  DeployOutcome Deploy(const PendingTask& task) {
    std::lock_guard execution(execution_);
    std::string message;
    if (!driver_ && FAILED(Open(&message))) return FailedOutcome(message);
    {
      std::lock_guard lock(mutex_);
      if (task.generation != generation_) return FailedOutcome("cancelled before it ran");
      driver_->ClearInterrupt();
    }
    if (task.routine) return RunRoutine(*driver_, *task.routine);
    return DeployItem(*driver_, {task.text, task.separator, task.objectNameUtf8,
                                 task.redeployUnchanged});
  }

  HRESULT Open(std::string* message) {
    if (!description_) {
      *message = "the task's connection document is not a DATACONNECTION element";
      return E_INVALIDARG;
    }
    std::unique_ptr<DeployDriver> opened;
    HRESULT hr = OpenDeployDriver(*description_, projectFolder_, &opened, message);
    if (FAILED(hr)) return hr;
    std::lock_guard lock(mutex_);
    driver_ = std::move(opened);
    return S_OK;
  }

  const std::optional<Connection> description_;
  const WString projectFolder_;
  // Held while a task runs on the database: one at a time.
  std::mutex execution_;
  std::mutex mutex_;
  Handoff wake_;
  // Made under execution_; set and interrupted under mutex_.
  std::unique_ptr<DeployDriver> driver_;
  std::deque<std::shared_ptr<PendingTask>> queue_;  // guarded by mutex_
  int active_ = 0;                                  // tasks taken to run; guarded by mutex_
  std::uint64_t generation_ = 0;                    // guarded by mutex_
  bool stopping_ = false;                           // guarded by mutex_
  std::thread worker_;
};

DeploymentTasks& DeploymentTasks::Instance() {
  static DeploymentTasks tasks;
  return tasks;
}

DeploymentTasks::~DeploymentTasks() {
  CancelAll();
  std::unordered_map<WString, std::shared_ptr<DeployConnection>> closing;
  {
    std::lock_guard lock(mutex_);
    closing.swap(connections_);
  }
}

std::shared_ptr<PendingTask> DeploymentTasks::MakeTask(const DeployTaskTexts& texts) {
  std::shared_ptr<PendingTask> task = NewTask(texts.objectName);
  WStringView source = texts.source;
  if (!source.empty() && source.front() == u'\uFEFF') source.remove_prefix(1);
  task->text = ToUtf8(source);
  task->objectNameUtf8 = ToUtf8(texts.objectName);
  std::lock_guard lock(mutex_);
  task->separator = Separator(texts.configurationXml);
  task->redeployUnchanged = redeployUnchanged_;
  return task;
}

// Called with mutex_ held.
std::string DeploymentTasks::Separator(WStringView configurationXml) {
  if (configurationXml != lastConfiguration_) {
    lastSeparator_ = SeparatorOf(configurationXml);
    lastConfiguration_ = configurationXml;
  }
  return lastSeparator_;
}

// Called with mutex_ held.
std::shared_ptr<DeployConnection> DeploymentTasks::ConnectionFor(WStringView connectionXml) {
  WString key = WString(connectionXml) + u'\n' + projectFolder_;
  std::shared_ptr<DeployConnection>& connection = connections_[key];
  if (!connection) {
    std::optional<Connection> description(std::in_place);
    if (FAILED(ReadConnectionElement(connectionXml, &*description))) description.reset();
    connection = std::make_shared<DeployConnection>(std::move(description), projectFolder_);
  }
  return connection;
}

void DeploymentTasks::Run(const DeployTaskTexts& texts, KV7TaskReport* report) {
  std::shared_ptr<PendingTask> task = MakeTask(texts);
  std::shared_ptr<DeployConnection> connection;
  KV7TaskReportSink sink;
  {
    std::lock_guard lock(mutex_);
    connection = ConnectionFor(texts.connectionXml);
    sink = sink_;
  }
  *report = connection->RunHere(*task);
  if (sink) sink(*report);
}

HRESULT DeploymentTasks::Start(const DeployTaskTexts& texts,
                               ComPtr<ITaskExecutionListener> listener, WString* taskId) {
  return Queue(MakeTask(texts), texts.connectionXml, std::move(listener), taskId);
}

HRESULT DeploymentTasks::StartRoutine(RoutineTaskTexts texts,
                                      ComPtr<ITaskExecutionListener> listener, WString* taskId) {
  std::shared_ptr<PendingTask> task = NewTask(texts.objectName);
  task->routine = std::move(texts.call);
  return Queue(std::move(task), texts.connectionXml, std::move(listener), taskId);
}

HRESULT DeploymentTasks::Queue(std::shared_ptr<PendingTask> task, WStringView connectionXml,
                               ComPtr<ITaskExecutionListener> listener, WString* taskId) {
  if (GetUIDispatcher() == nullptr) {
    SetErrorInfo(E_UNEXPECTED,
                 u"a deployment task completes on the UI thread, and no UI dispatcher is installed");
    return E_UNEXPECTED;
  }
  listeners_[task->id] = std::move(listener);
  try {
    std::lock_guard lock(mutex_);
    ConnectionFor(connectionXml)->Enqueue(task);
  } catch (const std::system_error&) {
    listeners_.erase(task->id);
    return E_OUTOFMEMORY;
  }
  *taskId = task->id;
  return S_OK;
}

void DeploymentTasks::Deliver(const KV7TaskReport& report) {
  ComPtr<ITaskExecutionListener> listener;
  if (auto found = listeners_.find(report.taskId); found != listeners_.end()) {
    listener = std::move(found->second);
    listeners_.erase(found);
  }
  KV7TaskReportSink sink;
  {
    std::lock_guard lock(mutex_);
    sink = sink_;
  }
  if (sink) sink(report);
  if (listener) listener->taskCompleted(report.taskId.c_str(), report.status);
}

void DeploymentTasks::SetReportSink(KV7TaskReportSink sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

void DeploymentTasks::SetContext(WStringView projectFolder, bool redeployUnchanged) {
  std::lock_guard lock(mutex_);
  projectFolder_ = projectFolder;
  redeployUnchanged_ = redeployUnchanged;
}

void DeploymentTasks::CancelAll() {
  std::lock_guard lock(mutex_);
  for (auto& entry : connections_) entry.second->Cancel();
}

void DeploymentTasks::CloseIdle() {
  // Closed outside the lock: closing waits for the worker thread to end.
  std::vector<std::shared_ptr<DeployConnection>> closing;
  std::lock_guard lock(mutex_);
  for (auto entry = connections_.begin(); entry != connections_.end();) {
    if (entry->second->StopIfIdle()) {
      closing.push_back(std::move(entry->second));
      entry = connections_.erase(entry);
    } else {
      ++entry;
    }
  }
}

}  // namespace kv7::helper
