// The platform's critical section: a lock that the thread holding it may
// take again (each Enter needs its Leave), with a scoped guard.
#pragma once

#include <mutex>

class CCriticalSection {
 public:
  CCriticalSection() = default;
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  // Takes the lock if it is free or already this thread's; never waits.
  bool TryEnter() { return mutex_.try_lock(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for its lifetime.
class CCritSecLock {
 public:
  explicit CCritSecLock(CCriticalSection& section) : section_(section) { section_.Enter(); }
  CCritSecLock(const CCritSecLock&) = delete;
  CCritSecLock& operator=(const CCritSecLock&) = delete;
  ~CCritSecLock() { section_.Leave(); }

 private:
  CCriticalSection& section_;
};
