#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "kv7/options/global_options.h"
#include "kv7/platform/codepage.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/trace/trace.h"
#include "kv7/util/path_names.h"
#include "kv7/util/utilities.h"
#include "util/text_input.h"

namespace {

// The longest path the system's temporary directory may have.
constexpr size_t kMaxPath = 260;

// `name` inside `directory`, with exactly one "/" between them.
WString JoinPath(WStringView directory, WStringView name) {
  WString path(directory);
  if (!path.empty() && path.back() != u'/') path += u'/';
  return path.append(name);
}

bool IsSymbolicLink(const WString& path) {
  struct stat st;
  return lstat(kv7::ToUtf8(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// The user's statement separator; "@" when the options give none.
WString CurrentStatementSeparator() {
  CComBSTR separator;
  (void)GetKV7GlobalOptions()->GetStatementSeparator(separator.Put());
  if (separator.IsNull() || separator.Length() == 0) return u"@";
  return separator.ToString();
}

}  // namespace

HRESULT LoadTextFromFile(const char16_t* path, WString& out) {
  KV7_TRACE_ENTRY("LoadTextFromFile", 2, "Utilities");
  std::string bytes;
  HRESULT hr = kv7::ReadFileBytes(TextOf(path), &bytes);
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
  out = kv7::AnsiToWide(bytes);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT SaveTextToFile(const char16_t* path, const char16_t* text) {
  KV7_TRACE_ENTRY("SaveTextToFile", 2, "Utilities");
  // The file is replaced whole, so a failed write leaves it as it was.
  HRESULT hr = kv7::WriteFileBytes(TextOf(path), kv7::WideToAnsi(TextOf(text)));
  if (FAILED(hr)) KV7_TRACE_ERROR("cannot write the file", hr);
  return KV7_TRACE_RETURN(SUCCEEDED(hr) ? S_OK : E_FAIL);
}

BOOL ReplaceStringInFile(const char16_t* path, const char16_t* from, const char16_t* to) {
  KV7_TRACE_ENTRY("ReplaceStringInFile", 2, "Utilities");
  WString text;
  if (FAILED(LoadTextFromFile(path, text))) return KV7_TRACE_RETURN(FALSE);
  if (!text.empty()) {
    kv7::ReplaceAll(text, TextOf(from), TextOf(to));
    HRESULT hr = SaveTextToFile(path, text.c_str());
    if (FAILED(hr)) KV7_TRACE_ERROR("cannot save the replaced text", hr);
  }
  return KV7_TRACE_RETURN(TRUE);
}

BOOL FixUpSeparator(const char16_t* path) {
  KV7_TRACE_ENTRY("FixUpSeparator", 2, "Utilities");
  WString text;
  if (FAILED(LoadTextFromFile(path, text))) return KV7_TRACE_RETURN(FALSE);
  const WString separator = CurrentStatementSeparator();
  constexpr WStringView kMarker = u"statementSeparator=\"";
  size_t marker = text.find(kMarker);
  size_t at = marker + kMarker.size();
  // A marker at the very start of the text names no separator of the
  // template's; nor does one that ends the text.
  if (marker == WString::npos || marker == 0 || at >= text.size()) return KV7_TRACE_RETURN(TRUE);
  const WString template_separator(1, text[at]);
  if (kv7::EqualsNoCase(template_separator, separator)) return KV7_TRACE_RETURN(TRUE);
  kv7::ReplaceAll(text, template_separator, separator);
  return KV7_TRACE_RETURN(SUCCEEDED(SaveTextToFile(path, text.c_str())) ? TRUE : FALSE);
}

HRESULT UtilGetTempFileName(WString& out) {
  KV7_TRACE_ENTRY("UtilGetTempFileName", 2, "Utilities");
  WString directory = kv7::GetTempDirectory();
  if (directory.empty() || directory.size() > kMaxPath) return KV7_TRACE_RETURN(E_FAIL);
  return KV7_TRACE_RETURN(kv7::CreateTempFile(directory, u"VST", &out));
}

BOOL KV7UtilGetTempDirInDir(WString& out, const char16_t* baseName, const char16_t* directory) {
  KV7_TRACE_ENTRY("KV7UtilGetTempDirInDir", 2, "Utilities");
  const char16_t* base = baseName && *baseName ? baseName : u"Dir";
  auto numbered = [base](UINT n) { return kv7::FormatW(u"%s (%u)", base, n); };
  auto taken = [directory](const WString& name) {
    WString path = JoinPath(TextOf(directory), name);
    return kv7::FileExists(path) || kv7::DirectoryExists(path);
  };
  HRESULT hr = FirstFreeName(WString(), 2, 9999, numbered, taken, out);
  return KV7_TRACE_RETURN(SUCCEEDED(hr) ? TRUE : FALSE);
}

BOOL EmptyDirectory(const char16_t* path) {
  KV7_TRACE_ENTRY("EmptyDirectory", 2, "Utilities");
  std::vector<kv7::DirectoryEntry> entries;
  if (FAILED(kv7::ListDirectory(TextOf(path), &entries))) return KV7_TRACE_RETURN(FALSE);
  for (const kv7::DirectoryEntry& entry : entries) {
    WString child = JoinPath(TextOf(path), entry.name);
    // A link to a directory goes as a file: what it points to is not ours.
    if (entry.isDirectory && !IsSymbolicLink(child)) {
      EmptyDirectory(child.c_str());
      (void)kv7::RemoveDirectory(child);
    } else {
      (void)kv7::DeleteFile(child);
    }
  }
  return KV7_TRACE_RETURN(TRUE);
}

BOOL RemoveDirectoryAndContents(const char16_t* path) {
  KV7_TRACE_ENTRY("RemoveDirectoryAndContents", 2, "Utilities");
  BOOL removed = EmptyDirectory(path) && SUCCEEDED(kv7::RemoveDirectory(TextOf(path)));
  return KV7_TRACE_RETURN(removed);
}

BOOL SetFileToCurrentTime(int file) {
  KV7_TRACE_ENTRY("SetFileToCurrentTime", 2, "Utilities");
  const timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  return KV7_TRACE_RETURN(futimens(file, times) == 0 ? TRUE : FALSE);
}

BOOL SetFileToCurrentTime(const char16_t* path) {
  KV7_TRACE_ENTRY("SetFileToCurrentTime", 2, "Utilities");
  int file = open(kv7::ToUtf8(TextOf(path)).c_str(), O_RDWR | O_CLOEXEC);
  if (file < 0) return KV7_TRACE_RETURN(FALSE);
  BOOL touched = SetFileToCurrentTime(file);
  close(file);
  return KV7_TRACE_RETURN(touched);
}

HRESULT IsDriveFAT(const char16_t*, bool& out) {
  KV7_TRACE_ENTRY("IsDriveFAT", 2, "Utilities");
  out = false;
  return KV7_TRACE_RETURN(S_OK);
}
