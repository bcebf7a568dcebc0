// The clipboard: formats registered by name and one piece of data per
// format. The headless host has no desktop clipboard, so this one lives in
// the process for as long as it runs and is shared by all its threads.
//
// As on the platform, data is placed and read only between OpenClipboard
// and CloseClipboard by the thread that opened it; whether a format is
// present can be asked at any time.
#pragma once

#include <string>

#include "kv7/platform/messagebox.h"
#include "kv7/platform/types.h"

// The file-drop format (a list of file names).
inline constexpr UINT CF_HDROP = 15;

// The identifier of a named format, registering it on first use; the same
// name ignoring case gives the same identifier. Identifiers start at 0xC000;
// 0 for a null or empty name.
UINT RegisterClipboardFormatW(const char16_t* name);

// Opens the clipboard for this thread; FALSE while another thread has it open.
BOOL OpenClipboard(HWND owner);
// FALSE unless this thread has it open.
BOOL CloseClipboard();
// Removes every format's data; FALSE unless this thread has it open.
BOOL EmptyClipboard();
// Places data under a format, replacing what it held; FALSE unless this
// thread has the clipboard open.
BOOL SetClipboardData(UINT format, std::string bytes);
// Copies a format's data into *bytes; FALSE (*bytes untouched) unless this
// thread has the clipboard open and the format is present.
BOOL GetClipboardData(UINT format, std::string* bytes);
// Whether the clipboard holds data under the format.
BOOL IsClipboardFormatAvailable(UINT format);
