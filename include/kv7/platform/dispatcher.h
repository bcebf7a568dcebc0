// The UI thread's dispatcher: work that another thread hands to the UI
// thread (a deployment task's completion) is posted here and runs there,
// in the order posted. The host installs the process's dispatcher at
// start-up and runs it (its message loop); libraries below the host post
// through this interface without knowing the host.
#pragma once

#include <chrono>
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

// How long WaitForHandoff looks again before it sleeps.
inline constexpr std::chrono::microseconds kHandoffSpin{200};

// Waits under `lock` until `ready()`, as `condition.wait` does, but first
// looks again for a short while, yielding in between, before it sleeps. A
// task's completion and the next task follow each other within
// microseconds on the two sides of a handoff (the UI thread and a worker);
// a sleep and a wake-up at each would cost more than an unchanged item's
// whole work.
template <class Predicate>
void WaitForHandoff(std::unique_lock<std::mutex>& lock, std::condition_variable& condition,
                    Predicate ready) {
  const auto until = std::chrono::steady_clock::now() + kHandoffSpin;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= until) {
      condition.wait(lock, ready);
      return;
    }
    lock.unlock();
    std::this_thread::yield();
    lock.lock();
  }
}

}  // namespace kv7
