// Thread error information: the description of the last failure that an
// operation of this thread chose to report, with its status, as the
// platform's per-thread COM error object kept it. The system leaves the
// system's message text for a status here so that the host can show it.
#pragma once

#include "kv7/platform/hresult.h"
#include "kv7/platform/wstring.h"

namespace kv7 {

// Replaces this thread's error information.
void SetErrorInfo(HRESULT status, WStringView description);
// Copies this thread's error information; returns false (outputs untouched)
// when none is set.
bool GetErrorInfo(HRESULT* status, WString* description);
// Forgets this thread's error information.
void ClearErrorInfo();

// The system's message text for a status: for the standard codes, their
// platform text ("Unspecified error" for E_FAIL, "Access is denied." for
// E_ACCESSDENIED); for another Win32-style status, the C library's text of
// the errno behind it ("No such file or directory" for
// ERROR_FILE_NOT_FOUND); otherwise "Error 0x%08X".
WString SystemMessageText(HRESULT status);
// The reason of a failure as the Unix tools word it, in lower case and
// without a final period: "permission denied" for the errno behind a
// Win32-style status, "the file is read-only" for ERROR_FILE_READ_ONLY,
// the system's message text for any other status ("unspecified error").
WString UnixMessageText(HRESULT status);
// Sets this thread's error information to the system's text for a status
// and returns the status, so that callers can `return ReportError(hr);`.
HRESULT ReportError(HRESULT status);

// Sets this thread's error information to name the file and what was being
// done, as the Unix tools do ("cannot write /x/options.xml: the file is
// read-only"), and returns the status. `doing` is a verb: "read", "write".
HRESULT ReportFileError(HRESULT status, WStringView doing, WStringView path);

// The Win32 error number for an errno value, and back. Unknown errno values,
// 0 included, map to ERROR_INVALID_FUNCTION, so that a failure never reads
// as success; unknown Win32 errors map to EIO.
DWORD Win32ErrorFromErrno(int error);
int ErrnoFromWin32Error(DWORD error);
// HRESULT_FROM_WIN32 of the errno value.
HRESULT HResultFromErrno(int error);

}  // namespace kv7
