// Looking at many files ahead of a walk over them. A project's load and a
// build each look at every item's file once, in an order known before they
// start, and each look is a system call: on a project of tens of thousands
// of items the looks alone take longer than the rest of the walk. A thread
// of its own takes them a little ahead of the walk, which finds each answer
// waiting.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include "kv7/platform/files.h"

namespace kv7 {

class FileStatusAhead {
 public:
  // The thread keeps at most kWindow answers ahead of the walk, and an
  // answer older than kMaxAge is not used: a walk held up (by a deployment,
  // say) looks again rather than trust what the file was a while ago.
  static constexpr size_t kWindow = 256;
  static constexpr std::chrono::milliseconds kMaxAge{20};
  // Shorter lists do not repay a thread: each path is looked at when asked.
  static constexpr size_t kMinimumForThread = 64;

  // Starts looking at `paths`, in their order.
  explicit FileStatusAhead(std::vector<WString> paths);
  ~FileStatusAhead();
  FileStatusAhead(const FileStatusAhead&) = delete;
  FileStatusAhead& operator=(const FileStatusAhead&) = delete;

  size_t size() const { return paths_.size(); }
  const WString& path(size_t index) const { return paths_[index]; }

  // The status of path(index) as GetFileStatus gives it: the answer waiting
  // when a fresh one is there, else one taken now. Asked from one thread;
  // asking in the paths' order is what lets the answers wait.
  FileStatus Get(size_t index);

 private:
  struct Answer {
    std::atomic<bool> ready{false};
    FileStatus status;
    std::chrono::steady_clock::time_point taken;
  };

  void Run();

  std::vector<WString> paths_;
  std::unique_ptr<Answer[]> answers_;
  std::atomic<size_t> asked_{0};  // one past the furthest index asked
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kv7
