// The diagnostic log: formatted lines appended to a file that the registry
// names, for diagnostics in the field.
//
// The settings live under HKEY_LOCAL_MACHINE, key kKV7LoggingKey: the
// REG_DWORD "Logging" (non-zero enables the log) and the REG_SZ
// "LoggingFile" (the log file's full path, at most kKV7LoggingFileMaxChars
// characters). Both must be present with those types for the log to be on.
// They are read on first need and again after UpdateLoggingSettings; a
// re-read may switch the log on or move it, never off, so a process that
// has logged keeps logging until it ends.
//
// The log file is ANSI text, one message per line ending in CR LF, with one
// zero byte at its end. The writer holds the file exclusively while it
// appends, so another process holding it makes LOGINFO fail.
#pragma once

#include <cstddef>

#include "kv7/platform/wstring.h"

inline constexpr char16_t kKV7LoggingKey[] = u"SOFTWARE\\QZN\\KV7VSNET\\1.0";
inline constexpr char16_t kKV7LoggingValue[] = u"Logging";
inline constexpr char16_t kKV7LoggingFileValue[] = u"LoggingFile";
inline constexpr size_t kKV7LoggingFileMaxChars = 261;

// Appends a printf-style formatted message (wide conversions, as
// kv7::FormatW) as one line. True when the line was written; false when
// the log is off or the file cannot be opened or written.
bool LOGINFO(const char16_t* format, ...);
// Whether the log is on (reading the settings when needed).
bool IsLoggingEnabledW();
// The log file's path, empty while the log has never been on (reading the
// settings when needed).
void GetLoggingFile(WString& path);
// Has the next use read the settings again.
void UpdateLoggingSettings();
