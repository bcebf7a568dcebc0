#include "kv7/platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/localtime.h"

namespace kv7 {
namespace {

// Who takes the lock, for whoever waits on it.
std::string HolderText() {
  char host[256] = "";
  (void)gethostname(host, sizeof host - 1);
  return "pid " + std::to_string(getpid()) + " on " + host + " since " +
         ToUtf8(FormatLocalTime(CurrentLocalTime(), u"%m/%d/%Y %H:%M:%S"));
}

std::string ReadHolder(int fd) {
  std::string text(512, '\0');
  ssize_t n = pread(fd, text.data(), text.size(), 0);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text.empty() ? "another process" : text;
}

// Whether the open file is still the one at `path`: a holder that let go
// removed the file, and a lock on the removed file guards nothing.
bool StillAtPath(int fd, const std::string& path) {
  struct stat opened {}, named {};
  return fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

HRESULT CFileLock::Acquire(WStringView path, double waitSeconds, std::string* holder) {
  if (IsHeld()) return S_OK;
  const std::string native = ToUtf8(path);
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration<double>(waitSeconds > 0 ? waitSeconds : 0);
  for (;;) {
    int fd = open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return HResultFromErrno(errno);
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (!StillAtPath(fd, native)) {
        close(fd);
        continue;
      }
      // Without the note the lock still holds; waiters read "another process".
      const std::string text = HolderText();
      if (ftruncate(fd, 0) == 0) (void)!pwrite(fd, text.data(), text.size(), 0);
      fd_ = fd;
      path_ = native;
      return S_OK;
    }
    const int error = errno;
    if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
      if (holder) *holder = ReadHolder(fd);
      close(fd);
      return error == EWOULDBLOCK ? KV7_E_LOCKED : HResultFromErrno(error);
    }
    close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void CFileLock::Release() {
  if (!IsHeld()) return;
  (void)unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace kv7
