#include "kv7/platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <utility>

#include "kv7/platform/errorinfo.h"

namespace kv7 {

namespace {

HRESULT LastError() { return HResultFromErrno(errno); }

// The path as the system calls take it.
HRESULT ToNative(WStringView path, std::string* native) {
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  if (path.find(u'\0') != WStringView::npos) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
  *native = ToUtf8(path);
  return S_OK;
}

// The native path and the status of what it names (symbolic links followed).
HRESULT StatNative(WStringView path, std::string* native, struct stat* st) {
  if (HRESULT hr = ToNative(path, native); FAILED(hr)) return hr;
  return stat(native->c_str(), st) == 0 ? S_OK : LastError();
}

bool IsReadOnly(mode_t mode) { return (mode & 0222) == 0; }

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(-1); }

  int get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  // Closes now, reporting the error that close() may bring (a delayed write
  // error on some file systems).
  HRESULT Close() {
    int fd = std::exchange(fd_, -1);
    return close(fd) == 0 ? S_OK : LastError();
  }

 private:
  int fd_ = -1;
};

HRESULT WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return S_OK;
}

HRESULT CopyContent(int from, int to) {
  char buffer[65536];
  for (;;) {
    ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    if (n == 0) return S_OK;
    if (HRESULT hr = WriteAll(to, std::string_view(buffer, static_cast<size_t>(n))); FAILED(hr))
      return hr;
  }
}

// Creates pathPrefix + four hex digits + ".tmp" with O_EXCL, starting at a
// random number and trying the following ones while the name is taken.
HRESULT CreateUniqueFile(const std::string& pathPrefix, mode_t mode, UniqueFd* fd,
                         std::string* path) {
  thread_local std::minstd_rand random{std::random_device{}()};
  const unsigned start = static_cast<unsigned>(random());
  for (unsigned i = 0; i < 0x10000; ++i) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", (start + i) & 0xFFFFu);
    std::string candidate = pathPrefix + digits + ".tmp";
    int created = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (created >= 0) {
      fd->Reset(created);
      *path = std::move(candidate);
      return S_OK;
    }
    if (errno != EEXIST) return LastError();
  }
  return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
}

// A new file written under a temporary name next to its target and put in
// place by Commit; removed if it is never committed.
class PendingFile {
 public:
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  explicit PendingFile(std::string target) : target_(std::move(target)) {}
  ~PendingFile() {
    if (!temp_.empty()) unlink(temp_.c_str());
  }

  HRESULT Create(mode_t mode) {
    size_t slash = target_.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    return CreateUniqueFile(dir + ".kv7~", mode, &fd_, &temp_);
  }
  int fd() const { return fd_.get(); }

  // Flushes the content to disk, then renames it over the target (replace)
  // or links it in place, which fails when the target exists.
  HRESULT Commit(bool replace) {
    if (fsync(fd_.get()) != 0) return LastError();
    if (HRESULT hr = fd_.Close(); FAILED(hr)) return hr;
    if (replace) {
      if (rename(temp_.c_str(), target_.c_str()) != 0) return LastError();
      temp_.clear();
      return S_OK;
    }
    return link(temp_.c_str(), target_.c_str()) == 0 ? S_OK : LastError();
  }

 private:
  std::string target_;
  std::string temp_;
  UniqueFd fd_;
};

// Renames unless the target exists: 0, or the errno value of the failure.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system that cannot refuse to replace: check, then rename.
  struct stat existing;
  if (lstat(to.c_str(), &existing) == 0) return EEXIST;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// The last component of a path, trailing slashes ignored.
std::string_view BaseName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsHiddenName(std::string_view name) {
  return name.size() > 1 && name[0] == '.' && name != "..";
}

bool NameLess(const DirectoryEntry& a, const DirectoryEntry& b) {
  int order = CompareNoCase(a.name, b.name);
  return order != 0 ? order < 0 : a.name < b.name;
}

// The home directory of the user from the password database.
std::string PasswordHome() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return std::string();
  return found->pw_dir;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

bool FileExists(WStringView path) { return GetFileStatus(path).IsFile(); }

bool DirectoryExists(WStringView path) {
  const FileStatus status = GetFileStatus(path);
  return SUCCEEDED(status.result) && status.directory;
}

HRESULT CreateDirectories(WStringView path) {
  std::string native;
  if (HRESULT hr = ToNative(path, &native); FAILED(hr)) return hr;
  if (DirectoryExists(path)) return S_OK;
  // Each prefix that ends before a "/", then the whole path; empty
  // components ("a//b", "a/") are skipped.
  for (size_t end = native.find('/', 1);; end = native.find('/', end + 1)) {
    std::string prefix = native.substr(0, end);
    if (prefix.back() != '/' && mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
      return LastError();
    if (end == std::string::npos) break;
  }
  return DirectoryExists(path) ? S_OK : HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
}

HRESULT CopyFileNoOverwrite(WStringView from, WStringView to) {
  std::string source, target;
  if (HRESULT hr = ToNative(from, &source); FAILED(hr)) return hr;
  if (HRESULT hr = ToNative(to, &target); FAILED(hr)) return hr;
  UniqueFd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (in.get() < 0 || fstat(in.get(), &st) != 0) return LastError();
  if (S_ISDIR(st.st_mode)) return HResultFromErrno(EISDIR);
  // Checked early to spare a useless copy; the link below is the guard.
  struct stat existing;
  if (lstat(target.c_str(), &existing) == 0) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
  PendingFile out(target);
  const timespec times[2] = {st.st_atim, st.st_mtim};
  HRESULT hr = out.Create(st.st_mode & 07777);
  if (SUCCEEDED(hr)) hr = CopyContent(in.get(), out.fd());
  if (SUCCEEDED(hr) && futimens(out.fd(), times) != 0) hr = LastError();
  return SUCCEEDED(hr) ? out.Commit(false) : hr;
}

HRESULT MoveFile(WStringView from, WStringView to) {
  std::string source, target;
  if (HRESULT hr = ToNative(from, &source); FAILED(hr)) return hr;
  if (HRESULT hr = ToNative(to, &target); FAILED(hr)) return hr;
  int error = RenameNoReplace(source, target);
  if (error == 0) return S_OK;
  if (error == EEXIST) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
  if (error != EXDEV || DirectoryExists(from)) return HResultFromErrno(error);
  HRESULT hr = CopyFileNoOverwrite(from, to);
  if (hr == HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
  if (FAILED(hr)) return hr;
  if (unlink(source.c_str()) == 0) return S_OK;
  // Leave one file, not two.
  hr = LastError();
  unlink(target.c_str());
  return hr;
}

HRESULT DeleteFile(WStringView path) {
  std::string native;
  if (HRESULT hr = ToNative(path, &native); FAILED(hr)) return hr;
  struct stat st;
  if (lstat(native.c_str(), &st) != 0) return LastError();
  if (S_ISREG(st.st_mode) && IsReadOnly(st.st_mode)) return E_ACCESSDENIED;
  return unlink(native.c_str()) == 0 ? S_OK : LastError();
}

HRESULT RemoveDirectory(WStringView path) {
  std::string native;
  if (HRESULT hr = ToNative(path, &native); FAILED(hr)) return hr;
  return rmdir(native.c_str()) == 0 ? S_OK : LastError();
}

HRESULT ListDirectory(WStringView path, std::vector<DirectoryEntry>* entries) {
  std::string native;
  if (HRESULT hr = ToNative(path, &native); FAILED(hr)) return hr;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(native.c_str()), closedir);
  if (!dir) return LastError();
  std::vector<DirectoryEntry> found;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) break;
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isDirectory = entry->d_type == DT_DIR;
    struct stat st;
    if ((entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) &&
        fstatat(dirfd(dir.get()), entry->d_name, &st, 0) == 0)
      isDirectory = S_ISDIR(st.st_mode);
    found.push_back({FromUtf8(name), isDirectory});
  }
  if (errno != 0) return LastError();
  std::sort(found.begin(), found.end(), NameLess);
  *entries = std::move(found);
  return S_OK;
}

HRESULT GetFileAttributes(WStringView path, DWORD* attributes) {
  std::string native;
  struct stat st;
  if (HRESULT hr = StatNative(path, &native, &st); FAILED(hr)) return hr;
  DWORD bits = 0;
  if (IsReadOnly(st.st_mode)) bits |= FILE_ATTRIBUTE_READONLY;
  if (IsHiddenName(BaseName(native))) bits |= FILE_ATTRIBUTE_HIDDEN;
  if (S_ISDIR(st.st_mode)) bits |= FILE_ATTRIBUTE_DIRECTORY;
  if (S_ISREG(st.st_mode)) bits |= FILE_ATTRIBUTE_ARCHIVE;
  *attributes = bits != 0 ? bits : FILE_ATTRIBUTE_NORMAL;
  return S_OK;
}

HRESULT SetFileAttributes(WStringView path, DWORD attributes) {
  std::string native;
  struct stat st;
  if (HRESULT hr = StatNative(path, &native, &st); FAILED(hr)) return hr;
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly == IsReadOnly(st.st_mode)) return S_OK;
  mode_t mode = readOnly ? st.st_mode & ~mode_t{0222} : st.st_mode | S_IWUSR;
  return chmod(native.c_str(), mode & 07777) == 0 ? S_OK : LastError();
}

HRESULT GetLastWriteTime(WStringView path, FILETIME* time) {
  FileStatus status = GetFileStatus(path);
  if (SUCCEEDED(status.result)) *time = status.written;
  return status.result;
}

FileStatus GetFileStatus(WStringView path) {
  FileStatus status;
  std::string native;
  struct stat st;
  status.result = StatNative(path, &native, &st);
  if (FAILED(status.result)) return status;
  status.directory = S_ISDIR(st.st_mode);
  status.written = ToFileTime(TimePoint(std::chrono::seconds(st.st_mtim.tv_sec) +
                                        std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
  return status;
}

HRESULT SetLastWriteTime(WStringView path, const FILETIME& time) {
  std::string native;
  if (HRESULT hr = ToNative(path, &native); FAILED(hr)) return hr;
  auto sinceEpoch = FromFileTime(time).time_since_epoch();
  auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  timespec times[2] = {{0, UTIME_OMIT}, {}};
  times[1].tv_sec = static_cast<time_t>(seconds.count());
  times[1].tv_nsec = static_cast<long>((sinceEpoch - seconds).count());
  return utimensat(AT_FDCWD, native.c_str(), times, 0) == 0 ? S_OK : LastError();
}

HRESULT GetFileSize(WStringView path, std::uint64_t* size) {
  std::string native;
  struct stat st;
  if (HRESULT hr = StatNative(path, &native, &st); FAILED(hr)) return hr;
  *size = static_cast<std::uint64_t>(st.st_size);
  return S_OK;
}

HRESULT ReadFileBytes(WStringView path, std::string* bytes) {
  std::string native;
  if (HRESULT hr = ToNative(path, &native); FAILED(hr)) return hr;
  UniqueFd in(open(native.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (in.get() < 0 || fstat(in.get(), &st) != 0) return LastError();
  if (S_ISDIR(st.st_mode)) return HResultFromErrno(EISDIR);
  // One byte beyond the size lets the final read see the end without
  // growing; files that report no size (/proc) grow as they are read.
  std::string data(static_cast<size_t>(st.st_size) + 1, '\0');
  size_t used = 0;
  for (;;) {
    if (used == data.size()) data.resize(data.size() * 2);
    ssize_t n = read(in.get(), data.data() + used, data.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    if (n == 0) break;
    used += static_cast<size_t>(n);
    // A regular file reads short only at its end: no read to confirm it.
    if (S_ISREG(st.st_mode) && used < data.size()) break;
  }
  data.resize(used);
  bytes->swap(data);
  return S_OK;
}

namespace {

// Writes a whole file atomically. A new file is made with `mode`; an
// existing one keeps its permissions unless `forceMode`.
HRESULT WriteWholeFile(WStringView path, std::string_view bytes, mode_t mode, bool forceMode) {
  std::string native;
  if (HRESULT hr = ToNative(path, &native); FAILED(hr)) return hr;
  if (HRESULT hr = CheckFileWritable(path); FAILED(hr)) return hr;
  struct stat st;
  const bool keep = !forceMode && stat(native.c_str(), &st) == 0;
  PendingFile out(native);
  HRESULT hr = out.Create(mode);
  // A new file takes `mode` under the umask; a forced mode is set whole.
  if (SUCCEEDED(hr) && (keep || forceMode) && fchmod(out.fd(), keep ? st.st_mode & 07777 : mode))
    hr = LastError();
  if (SUCCEEDED(hr)) hr = WriteAll(out.fd(), bytes);
  return SUCCEEDED(hr) ? out.Commit(true) : hr;
}

}  // namespace

HRESULT CheckFileWritable(WStringView path) {
  std::string native;
  struct stat st;
  if (HRESULT hr = StatNative(path, &native, &st); FAILED(hr)) {
    if (hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return hr;
    // A new file: its directory must exist and take new entries.
    size_t slash = native.find_last_of('/');
    std::string directory = slash == std::string::npos ? "." : native.substr(0, slash + 1);
    return faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? S_OK
                                                                                : LastError();
  }
  if (S_ISDIR(st.st_mode)) return HResultFromErrno(EISDIR);
  if (IsReadOnly(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_FILE_READ_ONLY);
  // Replacing the file renames over it, which its own permissions do not
  // stop: ask them first, as the effective user.
  return faccessat(AT_FDCWD, native.c_str(), W_OK, AT_EACCESS) == 0 ? S_OK : LastError();
}

HRESULT WriteFileBytes(WStringView path, std::string_view bytes) {
  return WriteWholeFile(path, bytes, 0666, false);
}

HRESULT WritePrivateFileBytes(WStringView path, std::string_view bytes) {
  return WriteWholeFile(path, bytes, 0600, true);
}

WString GetTempDirectory() {
  std::string dir = Environment("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return FromUtf8(dir);
}

HRESULT CreateTempFile(WStringView directory, WStringView prefix, WString* path) {
  std::string dir;
  if (HRESULT hr = ToNative(directory, &dir); FAILED(hr)) return hr;
  if (prefix.find(u'\0') != WStringView::npos || prefix.find(u'/') != WStringView::npos)
    return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
  if (dir.back() != '/') dir += '/';
  UniqueFd fd;
  std::string created;
  if (HRESULT hr = CreateUniqueFile(dir + ToUtf8(prefix), 0666, &fd, &created); FAILED(hr))
    return hr;
  *path = FromUtf8(created);
  return S_OK;
}

WString Kv7HomeDirectory() {
  std::string home = Environment("KV7_HOME");
  if (!home.empty()) return FromUtf8(home);
  // A relative XDG_CONFIG_HOME is invalid and ignored, as XDG tools do.
  std::string config = Environment("XDG_CONFIG_HOME");
  if (!config.empty() && config[0] == '/') return FromUtf8(config + "/kv7");
  home = Environment("HOME");
  if (home.empty()) home = PasswordHome();
  return FromUtf8(home + "/.config/kv7");
}

}  // namespace kv7
