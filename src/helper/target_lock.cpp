#include "target_lock.h"

#include "deploy_driver.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/file_lock.h"
#include "postgres_driver.h"
#include "sqlite_driver.h"

namespace kv7::helper {
namespace {

// A SQLite target: the lock file beside the database file.
class SqliteTargetLock final : public TargetLock {
 public:
  explicit SqliteTargetLock(std::filesystem::path path) : path_(std::move(path)) {}

  HRESULT Acquire(double waitSeconds, std::string* holder) override {
    HRESULT hr = lock_.Acquire(FromUtf8(path_.string()), waitSeconds, holder);
    if (FAILED(hr) && hr != KV7_E_LOCKED)
      *holder = "cannot open the lock file " + path_.string() + ": " +
                ToUtf8(UnixMessageText(hr));
    return hr;
  }

 private:
  const std::filesystem::path path_;
  CFileLock lock_;
};

// The table's key of a lock: the texts that named its target.
WString Key(WStringView connectionXml, WStringView projectFolder) {
  return WString(connectionXml) + u'\n' + WString(projectFolder);
}

}  // namespace

HRESULT OpenTargetLock(const Connection& connection, WStringView projectFolder,
                       std::unique_ptr<TargetLock>* lock, std::string* message) {
  DatabaseType type;
  HRESULT hr = DatabaseTypeOf(connection, &type, message);
  if (FAILED(hr)) return hr;
  if (type == DatabaseType::kPostgres) return OpenPostgresTargetLock(connection, lock, message);
  std::filesystem::path database;
  hr = SqliteDatabasePath(connection, projectFolder, &database, message);
  if (FAILED(hr)) return hr;
  *lock = std::make_unique<SqliteTargetLock>(database.string() + ".kv7lock");
  return S_OK;
}

TargetLocks& TargetLocks::Instance() {
  static TargetLocks locks;
  return locks;
}

HRESULT TargetLocks::Lock(WStringView connectionXml, WStringView projectFolder,
                          double waitSeconds, std::string* holder, std::string* message) {
  const WString key = Key(connectionXml, projectFolder);
  {
    std::lock_guard guard(mutex_);
    if (held_.count(key) != 0) return S_OK;
  }
  Connection connection;
  if (FAILED(ReadConnectionElement(connectionXml, &connection))) {
    *message = "the connection document is not a DATACONNECTION element";
    return E_INVALIDARG;
  }
  // Connecting and waiting happen outside the table's lock.
  std::unique_ptr<TargetLock> lock;
  HRESULT hr = OpenTargetLock(connection, projectFolder, &lock, message);
  if (FAILED(hr)) return hr;
  std::string answer;
  hr = lock->Acquire(waitSeconds, &answer);
  if (hr == KV7_E_LOCKED) {
    *holder = answer;
    *message = ConnectionMessage(connection, "another deployment to its database is running: " +
                                                 answer + " holds its lock");
  } else if (FAILED(hr)) {
    *message = ConnectionMessage(connection, answer);
  }
  if (FAILED(hr)) return hr;
  std::lock_guard guard(mutex_);
  held_.emplace(key, std::move(lock));
  return S_OK;
}

HRESULT TargetLocks::Unlock(WStringView connectionXml, WStringView projectFolder) {
  std::unique_ptr<TargetLock> released;
  std::lock_guard guard(mutex_);
  auto found = held_.find(Key(connectionXml, projectFolder));
  if (found == held_.end()) return S_FALSE;
  released = std::move(found->second);
  held_.erase(found);
  return S_OK;
}

}  // namespace kv7::helper
