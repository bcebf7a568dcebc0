// One process at a time: an advisory lock on a lock file (flock), held while
// the object lives or until Release. The file says who holds the lock
// ("pid 4711 on host since 12/06/2026 21:40:02"), so that whoever waits in
// vain can be told; it is removed when the lock is released. A process that
// dies loses its lock with it.
#pragma once

#include <string>

#include "kv7/platform/hresult.h"
#include "kv7/platform/wstring.h"

namespace kv7 {

// The status of a lock that another process held for the whole wait.
inline constexpr HRESULT KV7_E_LOCKED = HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);

class CFileLock {
 public:
  CFileLock() = default;
  ~CFileLock() { Release(); }
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;

  // Takes the lock of `path` (the file is made when missing; its directory
  // must exist), waiting up to `waitSeconds` for another holder to let go.
  // S_OK; KV7_E_LOCKED with *holder what the holder wrote when the wait
  // ran out; the failure of opening the file otherwise. Taking a lock
  // already held by this object is S_OK.
  HRESULT Acquire(WStringView path, double waitSeconds, std::string* holder);
  // Lets the lock go and removes the file; nothing when not held.
  void Release();
  bool IsHeld() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace kv7
