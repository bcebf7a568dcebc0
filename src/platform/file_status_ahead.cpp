#include "kv7/platform/file_status_ahead.h"

#include <system_error>
#include <utility>

namespace kv7 {

namespace {

// The walk wakes a waiting thread only when it crosses half a window, so a
// walk slower than the looks does not wake the thread for every answer.
constexpr size_t kWakeEvery = FileStatusAhead::kWindow / 2;
// How far past a walk that caught up the thread goes on looking.
constexpr size_t kCatchUp = 16;

}  // namespace

FileStatusAhead::FileStatusAhead(std::vector<WString> paths)
    : paths_(std::move(paths)), answers_(std::make_unique<Answer[]>(paths_.size())) {
  if (paths_.size() < kMinimumForThread) return;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to be had: every path is looked at when asked.
  }
}

FileStatusAhead::~FileStatusAhead() {
  if (!thread_.joinable()) return;
  stop_.store(true, std::memory_order_relaxed);
  asked_.store(paths_.size(), std::memory_order_release);
  asked_.notify_one();
  thread_.join();
}

void FileStatusAhead::Run() {
  for (size_t i = 0; i < paths_.size(); ++i) {
    size_t asked = asked_.load(std::memory_order_acquire);
    while (i >= asked + kWindow) {
      asked_.wait(asked, std::memory_order_acquire);
      asked = asked_.load(std::memory_order_acquire);
    }
    if (stop_.load(std::memory_order_relaxed)) return;
    // Paths the walk has passed were looked at by the walk itself. A walk
    // that has caught up is passed by a little: taking the very path it
    // asks for next would have the two look at each path in turn.
    if (i < asked) i = asked + kCatchUp;
    if (i >= paths_.size()) return;
    Answer& answer = answers_[i];
    answer.status = GetFileStatus(paths_[i]);
    answer.taken = std::chrono::steady_clock::now();
    answer.ready.store(true, std::memory_order_release);
  }
}

FileStatus FileStatusAhead::Get(size_t index) {
  const size_t asked = asked_.load(std::memory_order_relaxed);
  if (index + 1 > asked) {
    asked_.store(index + 1, std::memory_order_release);
    if ((index + 1) / kWakeEvery != asked / kWakeEvery) asked_.notify_one();
  }
  const Answer& answer = answers_[index];
  if (answer.ready.load(std::memory_order_acquire) &&
      std::chrono::steady_clock::now() - answer.taken <= kMaxAge)
    return answer.status;
  return GetFileStatus(paths_[index]);
}

}  // namespace kv7
