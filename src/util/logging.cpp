#include "kv7/util/logging.h"

#include <cstdarg>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kv7/platform/codepage.h"
#include "kv7/platform/critsec.h"
#include "kv7/platform/registry.h"
#include "kv7/trace/trace.h"

namespace {

// The process's logging state, as the library loads it: settings not read,
// log off. The lock serialises writers with each other and with re-reads.
CCriticalSection g_loggingLock;
bool g_settingsRead = false;
bool g_loggingEnabled = false;
WString g_loggingFile;

// Reads the settings once per UpdateLoggingSettings; call under the lock.
void ReadSettingsIfNeeded() {
  if (g_settingsRead) return;
  g_settingsRead = true;
  CRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kKV7LoggingKey, KEY_READ | KEY_WRITE) != ERROR_SUCCESS) return;
  DWORD logging = 0;
  WString file;
  if (key.QueryDWORDValue(kKV7LoggingValue, logging) == ERROR_SUCCESS &&
      key.QueryStringValue(kKV7LoggingFileValue, file, kKV7LoggingFileMaxChars) ==
          ERROR_SUCCESS &&
      logging != 0) {
    g_loggingEnabled = true;
    g_loggingFile = std::move(file);
  }
  (void)key.Close();
}

// Appends the bytes to the log file, overwriting the zero byte that ends a
// non-empty file. False when the file cannot be opened, is held by another
// writer, or the write falls short.
bool AppendToLogFile(const WString& path, const std::string& bytes) {
  int file = ::open(kv7::ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (file < 0) return false;
  bool written = false;
  struct stat status {};
  if (::flock(file, LOCK_EX | LOCK_NB) == 0 && ::fstat(file, &status) == 0 &&
      (status.st_size == 0 || ::lseek(file, status.st_size - 1, SEEK_SET) >= 0)) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(file, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    written = done == bytes.size();
  }
  ::close(file);
  return written;
}

}  // namespace

bool LOGINFO(const char16_t* format, ...) {
  KV7_TRACE_ENTRY("LOGINFO", 2, "Logging");
  CCritSecLock lock(g_loggingLock);
  ReadSettingsIfNeeded();
  if (!g_loggingEnabled) return KV7_TRACE_RETURN(false);
  va_list args;
  va_start(args, format);
  WString message = kv7::FormatWV(format, args);
  va_end(args);
  message += u"\r\n";
  std::string bytes = kv7::WideToAnsi(message);
  bytes.push_back('\0');
  return KV7_TRACE_RETURN(AppendToLogFile(g_loggingFile, bytes));
}

bool IsLoggingEnabledW() {
  KV7_TRACE_ENTRY("IsLoggingEnabledW", 2, "Logging");
  CCritSecLock lock(g_loggingLock);
  ReadSettingsIfNeeded();
  return KV7_TRACE_RETURN(g_loggingEnabled);
}

void GetLoggingFile(WString& path) {
  KV7_TRACE_ENTRY("GetLoggingFile", 2, "Logging");
  CCritSecLock lock(g_loggingLock);
  ReadSettingsIfNeeded();
  path = g_loggingFile;
}

void UpdateLoggingSettings() {
  KV7_TRACE_ENTRY("UpdateLoggingSettings", 2, "Logging");
  CCritSecLock lock(g_loggingLock);
  g_settingsRead = false;
}
