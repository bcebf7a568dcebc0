// What the helper library's asynchronous tasks complete through, for the
// tests: a UI dispatcher that the test runs, a listener that writes each
// completion down, and a fixture that installs both with a report sink.
#pragma once

#include <chrono>
#include <condition_variable>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kv7/helper/helper.h"
#include "kv7/platform/dispatcher.h"
#include "support/test_support.h"

namespace kv7::test {

// The UI thread's dispatcher, run by the test.
class QueueDispatcher : public IDispatcher {
 public:
  void Post(std::function<void()> work) override {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
    posted_.notify_all();
  }
  // Runs posted work, waiting for more, until `done` holds; false when
  // nothing more comes within 20 seconds.
  bool RunUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      std::function<void()> work;
      {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) return false;
        work = std::move(queue_.front());
        queue_.pop_front();
      }
      work();
    }
    return true;
  }
  bool Empty() {
    std::lock_guard lock(mutex_);
    return queue_.empty();
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};

class RecordingListener : public ComObject<ITaskExecutionListener> {
 public:
  explicit RecordingListener(std::vector<std::string>* events) : events_(events) {}
  HRESULT taskMessageAdded(const char16_t*, const char16_t*) override { return S_OK; }
  HRESULT taskCompleted(const char16_t* taskId, LONG status) override {
    events_->push_back("done " + ToUtf8(taskId) + " " + std::to_string(status));
    return S_OK;
  }

 private:
  std::vector<std::string>* events_;
};

// A scratch directory that is the deployments' project folder, the UI
// dispatcher installed, and every report written down.
class TaskHooksTest : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    SetUIDispatcher(&dispatcher_);
    ASSERT_EQ(command_.SetDeploymentContext(FromUtf8(dir().string()).c_str(), FALSE), S_OK);
    ASSERT_EQ(command_.SetTaskReportSink([this](const KV7TaskReport& report) {
      events_.push_back("report " + ToUtf8(report.taskId) + " " + ToUtf8(report.result));
      reports_.push_back(report);
    }),
              S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(command_.SetTaskReportSink({}), S_OK);
    EXPECT_EQ(command_.CollectGarbage(), S_OK);
    SetUIDispatcher(nullptr);
    ScratchDir::TearDown();
  }

  // A hook whose listener writes to events_; it may go at once, as the
  // completion does not need it.
  std::unique_ptr<CTaskHelperHook> Hook() {
    auto hook = std::make_unique<CTaskHelperHook>();
    EXPECT_EQ(hook->setTaskExecutionListener(MakeCom<RecordingListener>(&events_).Get()), S_OK);
    return hook;
  }
  // Starts a deployment task; its identifier.
  std::string StartTask(const char16_t* connection, const char16_t* config,
                        const std::string& name, const std::string& text) {
    CComBSTR id;
    EXPECT_EQ(Hook()->ExecuteTaskAsync(connection, FromUtf8(text).c_str(), config, u"",
                                       FromUtf8(name).c_str(), id.Put()),
              S_OK);
    return ToUtf8(id.ToString());
  }
  bool WaitForCompletions(std::size_t count) {
    return dispatcher_.RunUntil([&] {
      return std::size_t(std::count_if(events_.begin(), events_.end(), [](const std::string& e) {
               return e.starts_with("done ");
             })) >= count;
    });
  }

  QueueDispatcher dispatcher_;
  CCommandHelperHook command_;
  std::vector<std::string> events_;
  std::vector<KV7TaskReport> reports_;
};

}  // namespace kv7::test
