#include "services.h"

namespace kv7::host {

void UIDispatcher::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(work));
  }
  posted_.Notify();
}

// Work runs outside the queue's lock: it may post more work itself.
bool UIDispatcher::Run(const std::function<bool()>& finished,
                       const std::function<bool()>& inFlight) {
  for (;;) {
    if (finished()) return true;
    std::function<void()> work;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // Whatever is in flight posts its completion; nothing in flight and
      // nothing queued means nothing will come.
      posted_.Wait(lock, [&] { return !queue_.empty() || !inFlight(); });
      if (queue_.empty()) return false;
      work = std::move(queue_.front());
      queue_.pop_front();
    }
    work();
  }
}

}  // namespace kv7::host
