#include "interrupt.h"

#include <unistd.h>

#include "kv7/helper/helper.h"

namespace kv7::cli {
namespace {

// The write end of the running watcher's pipe; a signal handler may only
// write to it.
std::atomic<int> g_signal_pipe{-1};

void OnSignal(int) {
  const char interrupt = 1;
  int fd = g_signal_pipe.load();
  if (fd >= 0) (void)!write(fd, &interrupt, 1);
}

}  // namespace

CancelOnInterrupt::CancelOnInterrupt() {
  if (pipe(pipe_) != 0) return;
  g_signal_pipe = pipe_[1];
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous_int_);
  sigaction(SIGTERM, &action, &previous_term_);
  watcher_ = std::thread([this] { Watch(); });
}

CancelOnInterrupt::~CancelOnInterrupt() {
  if (!watcher_.joinable()) return;
  sigaction(SIGINT, &previous_int_, nullptr);
  sigaction(SIGTERM, &previous_term_, nullptr);
  g_signal_pipe = -1;
  const char stop = 0;
  (void)!write(pipe_[1], &stop, 1);
  watcher_.join();
  close(pipe_[0]);
  close(pipe_[1]);
}

void CancelOnInterrupt::Watch() {
  char byte = 0;
  while (read(pipe_[0], &byte, 1) == 1 && byte != 0) {
    interrupted_ = true;
    (void)CCommandHelperHook().CancelTasks();
  }
}

}  // namespace kv7::cli
