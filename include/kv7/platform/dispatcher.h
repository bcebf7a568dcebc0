// The UI thread's dispatcher: work that another thread hands to the UI
// thread (a deployment task's completion) is posted here and runs there,
// in the order posted. The host installs the process's dispatcher at
// start-up and runs it (its message loop); libraries below the host post
// through this interface without knowing the host.
#pragma once

#include <functional>

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

}  // namespace kv7
