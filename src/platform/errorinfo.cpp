#include "kv7/platform/errorinfo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace kv7 {

namespace {

struct ThreadErrorInfo {
  bool set = false;
  HRESULT status = S_OK;
  WString description;
};

thread_local ThreadErrorInfo t_error;

// One table for both directions: each direction takes the first row that
// matches, so a row whose errno (or Win32 error) already appeared above only
// serves the other direction. ENOENT -> ERROR_FILE_NOT_FOUND comes first,
// so ERROR_PATH_NOT_FOUND still maps back to ENOENT ("No such file or
// directory", its meaning) while ENOTDIR maps to ERROR_PATH_NOT_FOUND.
struct ErrorPair {
  int errnoValue;
  DWORD win32;
};

constexpr ErrorPair kErrors[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOENT, ERROR_PATH_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EACCES, ERROR_FILE_READ_ONLY},
    {EPERM, ERROR_ACCESS_DENIED},
    {EEXIST, ERROR_FILE_EXISTS},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EBUSY, ERROR_BUSY},
    {EROFS, ERROR_WRITE_PROTECT},
    // A directory where a file was expected: the platform's "directory name
    // is invalid" keeps the message ("Is a directory") truthful.
    {EISDIR, ERROR_DIRECTORY},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {ENOMEM, ERROR_OUTOFMEMORY},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EIO, ERROR_CANTREAD},
    {EIO, ERROR_CANTWRITE},
    {ECONNREFUSED, ERROR_CONNECTION_REFUSED},
    {ETIMEDOUT, ERROR_TIMEOUT},
    // A lock held by someone else (flock with LOCK_NB).
    {EWOULDBLOCK, ERROR_SHARING_VIOLATION},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EBADF, ERROR_INVALID_HANDLE},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ERANGE, ERROR_INSUFFICIENT_BUFFER},
    {EILSEQ, ERROR_INVALID_DATA},
    {ENOSYS, ERROR_INVALID_FUNCTION},
};

struct StandardText {
  HRESULT status;
  const char16_t* text;
};

// Checked before the Win32 mapping: some of these are facility-7 statuses
// (E_ACCESSDENIED is HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) whose platform
// text callers expect.
constexpr StandardText kStandardTexts[] = {
    {E_FAIL, u"Unspecified error"},
    {E_OUTOFMEMORY, u"Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, u"The parameter is incorrect."},
    {E_NOTIMPL, u"Not implemented"},
    {E_UNEXPECTED, u"Catastrophic failure"},
    {E_POINTER, u"Invalid pointer"},
    {E_NOINTERFACE, u"No such interface supported"},
    {E_ABORT, u"Operation aborted"},
    {E_ACCESSDENIED, u"Access is denied."},
    {HRESULT_FROM_WIN32(ERROR_FILE_READ_ONLY), u"The specified file is read only."},
};

}  // namespace

void SetErrorInfo(HRESULT status, WStringView description) {
  t_error.set = true;
  t_error.status = status;
  t_error.description.assign(description);
}

bool GetErrorInfo(HRESULT* status, WString* description) {
  if (!t_error.set) return false;
  if (status) *status = t_error.status;
  if (description) *description = t_error.description;
  return true;
}

void ClearErrorInfo() { t_error = ThreadErrorInfo(); }

WString SystemMessageText(HRESULT status) {
  for (const StandardText& entry : kStandardTexts)
    if (entry.status == status) return entry.text;
  if (DWORD win32 = Win32FromHResult(status)) {
    char buffer[256];
    // The GNU strerror_r: returns the text, which may not be in `buffer`.
    return FromUtf8(strerror_r(ErrnoFromWin32Error(win32), buffer, sizeof buffer));
  }
  return FormatW(u"Error 0x%08X", static_cast<unsigned>(status));
}

WString UnixMessageText(HRESULT status) {
  if (status == HRESULT_FROM_WIN32(ERROR_FILE_READ_ONLY)) return u"the file is read-only";
  WString text;
  if (DWORD win32 = Win32FromHResult(status)) {
    char buffer[256];
    text = FromUtf8(strerror_r(ErrnoFromWin32Error(win32), buffer, sizeof buffer));
  } else {
    text = SystemMessageText(status);
  }
  if (!text.empty() && text.back() == u'.') text.pop_back();
  if (!text.empty() && text[0] >= u'A' && text[0] <= u'Z') text[0] = text[0] - u'A' + u'a';
  return text;
}

HRESULT ReportError(HRESULT status) {
  SetErrorInfo(status, SystemMessageText(status));
  return status;
}

HRESULT ReportFileError(HRESULT status, WStringView doing, WStringView path) {
  SetErrorInfo(status, u"cannot " + WString(doing) + u" " + WString(path) + u": " +
                           UnixMessageText(status));
  return status;
}

DWORD Win32ErrorFromErrno(int error) {
  const auto* row = std::find_if(std::begin(kErrors), std::end(kErrors),
                                 [&](const ErrorPair& p) { return p.errnoValue == error; });
  return row != std::end(kErrors) ? row->win32 : ERROR_INVALID_FUNCTION;
}

int ErrnoFromWin32Error(DWORD error) {
  const auto* row = std::find_if(std::begin(kErrors), std::end(kErrors),
                                 [&](const ErrorPair& p) { return p.win32 == error; });
  return row != std::end(kErrors) ? row->errnoValue : EIO;
}

HRESULT HResultFromErrno(int error) { return HRESULT_FROM_WIN32(Win32ErrorFromErrno(error)); }

}  // namespace kv7
