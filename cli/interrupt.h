// Ctrl-C during a deployment: instead of killing the process (which would
// leave the built-files record unsaved), an interrupt asks the helper
// library to cancel its tasks. The running item rolls back and fails, the
// build ends as failed, and the verb saves what committed.
#pragma once

#include <atomic>
#include <csignal>
#include <thread>

namespace kv7::cli {

class CancelOnInterrupt {
 public:
  // Takes over SIGINT (and SIGTERM) until destroyed.
  CancelOnInterrupt();
  ~CancelOnInterrupt();
  CancelOnInterrupt(const CancelOnInterrupt&) = delete;
  CancelOnInterrupt& operator=(const CancelOnInterrupt&) = delete;

  bool Interrupted() const { return interrupted_.load(); }

 private:
  // Waits for the signal handler's byte and cancels; a zero byte ends it.
  void Watch();

  int pipe_[2] = {-1, -1};
  std::atomic<bool> interrupted_{false};
  struct sigaction previous_int_ {};
  struct sigaction previous_term_ {};
  std::thread watcher_;
};

}  // namespace kv7::cli
