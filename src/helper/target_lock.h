// One deployment at a time per target: the lock that a build takes on the
// database it deploys to, behind CCommandHelperHook::LockDeploymentTarget.
//
// A SQLite target is its database file, locked through a lock file beside
// it ("<database>.kv7lock", kv7::CFileLock); a PostgreSQL target is its
// database, locked with a session advisory lock (postgres_driver.h). Both
// are held by whoever holds the TargetLock object, other processes and other
// TargetLock objects of this process being kept out alike, and are let go
// when it is destroyed (or its process ends).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "connection_catalogue.h"
#include "kv7/platform/hresult.h"

namespace kv7::helper {

class TargetLock {
 public:
  virtual ~TargetLock() = default;

  // Takes the lock, waiting up to `waitSeconds` for its holder to let go.
  // S_OK (also when this object holds it already); KV7_E_LOCKED with
  // *holder naming who holds it ("kv7 pid 4711 on build1 since 12/06/2026
  // 21:40:02") when the wait ran out; another failure with *holder saying
  // why the lock could not be taken.
  [[nodiscard]] virtual HRESULT Acquire(double waitSeconds, std::string* holder) = 0;
};

// The lock of a connection's target: DBTYPE chooses its kind; a relative
// SQLite database is taken from the project folder. Nothing is locked yet.
// On failure *message names the connection and says why, and *lock is left
// empty.
[[nodiscard]] HRESULT OpenTargetLock(const Connection& connection, WStringView projectFolder,
                                     std::unique_ptr<TargetLock>* lock, std::string* message);

// The target locks that this process holds, by connection document and
// project folder. Any thread.
class TargetLocks {
 public:
  static TargetLocks& Instance();

  // Takes the lock of the connection document's target (see TargetLock::
  // Acquire); S_OK at once when this process holds it under the same
  // document and folder. On failure *message names the connection and says
  // why; with KV7_E_LOCKED *holder names who holds the lock.
  [[nodiscard]] HRESULT Lock(WStringView connectionXml, WStringView projectFolder,
                             double waitSeconds, std::string* holder, std::string* message);
  // Lets the lock go; S_FALSE when this process held none under them.
  HRESULT Unlock(WStringView connectionXml, WStringView projectFolder);

 private:
  std::mutex mutex_;
  std::unordered_map<WString, std::unique_ptr<TargetLock>> held_;  // guarded by mutex_
};

}  // namespace kv7::helper
