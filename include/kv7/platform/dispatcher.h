// The UI thread's dispatcher: work that another thread hands to the UI
// thread (a deployment task's completion) is posted here and runs there,
// in the order posted. The host installs the process's dispatcher at
// start-up and runs it (its message loop); libraries below the host post
// through this interface without knowing the host.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kv7 {

class IDispatcher {
 public:
  virtual ~IDispatcher() = default;
  // Queues the work for the UI thread; callable from any thread. Never runs
  // the work before returning.
  virtual void Post(std::function<void()> work) = 0;
};

// Installs the process's dispatcher (null to remove it); returns the one it
// replaces. The dispatcher must outlive its installation.
IDispatcher* SetUIDispatcher(IDispatcher* dispatcher);
// The installed dispatcher, or null.
IDispatcher* GetUIDispatcher();

// The signal between the two sides of a handoff (the UI thread and a
// worker): a task's completion and the next task follow each other within
// microseconds, while a sleeping thread takes tens to hundreds of
// microseconds to wake (most on a virtual machine, whose idle processor
// halts). Wait therefore watches for a Notify for a while, yielding and
// without the lock, before it sleeps on the condition as usual: long enough
// to span an ordinary item's deployment, so that only long statements let
// the waiting side sleep.
class Handoff {
 public:
  // How long Wait watches before it sleeps: a little more than a small
  // item takes on an embedded database.
  static constexpr std::chrono::microseconds kSpin{2000};

  // Wakes the waiting side; call after changing, under the lock, what it
  // waits for.
  void Notify() {
    changes_.fetch_add(1, std::memory_order_release);
    condition_.notify_all();
  }

  // Returns under `lock` once `ready()`, as std::condition_variable::wait.
  template <class Predicate>
  void Wait(std::unique_lock<std::mutex>& lock, Predicate ready) {
    if (ready()) return;
    const std::uint64_t seen = changes_.load(std::memory_order_acquire);
    lock.unlock();
    const auto until = std::chrono::steady_clock::now() + kSpin;
    while (changes_.load(std::memory_order_acquire) == seen &&
           std::chrono::steady_clock::now() < until)
      std::this_thread::yield();
    lock.lock();
    condition_.wait(lock, ready);
  }

 private:
  std::condition_variable condition_;
  std::atomic<std::uint64_t> changes_{0};
};

}  // namespace kv7
