// The system's exported utilities: conversions between values and text,
// whole text files, directory housekeeping, time stamps, registry switches
// of the IDE's user settings, and a few small lookups.
//
// Conventions: text inputs are null-terminated wide strings (null reads as
// empty); outputs are WString references, left unchanged where a function
// says so. Text files are in the system's ANSI code page (codepage.h):
// reading converts from it, writing converts to it.
#pragma once

#include <ctime>

#include "kv7/host/ide.h"
#include "kv7/platform/hresult.h"
#include "kv7/platform/localtime.h"
#include "kv7/platform/messagebox.h"
#include "kv7/platform/variant.h"
#include "kv7/platform/wstring.h"
#include "kv7/util/string_array.h"

// The project type of this package's projects.
inline constexpr GUID GUID_KV7ProjectType = kv7::MakeGuid("DE64B6B3-0658-11D7-A99C-00B0D0E90F40");

// Registry switches under the IDE's user registry root (REG_DWORD, non-zero
// is on): keep the Compile command enabled; dump the script after a CLR
// assembly is replaced; adapt new files from templates to the user's
// statement separator.
inline constexpr char16_t kSwitchAlwaysEnableCompile[] = u"KV7AlwaysEnableCompile";
inline constexpr char16_t kSwitchDumpScriptAfterCLRRep[] = u"DumpScriptAfterCLRRep";
inline constexpr char16_t kSwitchDynSepChangeTemplate[] = u"DynSepChangeTemplate";

// The text form of time stamps: month first, 24-hour clock, local time.
inline constexpr char16_t kKV7TimeFormat[] = u"%m/%d/%Y %H:%M:%S";

// A point in time to the second.
class CTime {
 public:
  CTime() = default;
  explicit CTime(std::time_t time) : time_(time) {}

  std::time_t GetTime() const { return time_; }
  // Formats in local time with strftime conversions (kKV7TimeFormat).
  WString Format(const char16_t* format) const;

 private:
  std::time_t time_ = 0;
};

// A font handle; the system's windows have no fonts of their own.
using HFONT = void*;

// ---- Values and text --------------------------------------------------------

// Formats with "%i".
void IntToString(int value, WString& out);
// Reads as "%i" does: leading white space, an optional sign, then "0x"
// hexadecimal, a leading 0 octal, or decimal. `out` is unchanged when the
// text does not start with a number.
void StringToInt(const char16_t* text, int& out);
// "TRUE" or "FALSE".
void BoolToString(BOOL value, WString& out);
// TRUE exactly when the text is "TRUE" ignoring case.
void StringToBool(const char16_t* text, BOOL& out);
// Formats with "%f" (six decimals).
void DoubleToString(double value, WString& out);
// Reads as "%f" does into a single-precision value, widened to double;
// 0 when the text does not start with a number.
void StringToDouble(const char16_t* text, double& out);

// Appends every string of a VT_ARRAY|VT_BSTR variant, in order;
// E_INVALIDARG for a variant of another type.
HRESULT VariantBSTRArrayToCStringArray(const VARIANT& value, CVxStringArray& out);
// Appends the components of a backslash-separated folder path, empty ones
// included ("a\\" gives "a" and ""). Returns TRUE.
BOOL KV7ParseFolders(const char16_t* path, CVxStringArray& out);
// The helper library's text for `key`, assigned when it has one. Always S_OK.
HRESULT NLSLoadString(UINT key, WString& out);

// ---- Files and directories --------------------------------------------------

// Reads the whole file and converts it from ANSI. On failure returns the
// Win32 error as a status and leaves it, with the system's message text,
// as this thread's error information.
HRESULT LoadTextFromFile(const char16_t* path, WString& out);
// Creates or replaces the file with the text in ANSI, without a terminating
// zero. E_FAIL when it cannot be written; the file is then as it was.
HRESULT SaveTextToFile(const char16_t* path, const char16_t* text);
// Replaces every occurrence of `from` by `to` in a non-empty file and saves
// it. TRUE when the file could be read.
BOOL ReplaceStringInFile(const char16_t* path, const char16_t* from, const char16_t* to);
// Adapts a file made from a template to the user's statement separator (the
// process-wide option, "@" when it has none). The template names its own
// separator as the character after the first `statementSeparator="` of the
// text; when that character differs (ignoring case) from the user's, every
// occurrence of it anywhere in the file becomes the user's separator. A text
// without the marker, or with the marker at its very start, is left alone.
// TRUE when there was nothing to change or the file was saved; FALSE when
// it cannot be read or saved.
BOOL FixUpSeparator(const char16_t* path);
// Creates a new empty file "VST....tmp" in the system's temporary directory
// and puts its full path in `out` (unchanged on failure).
HRESULT UtilGetTempFileName(WString& out);
// Finds the first name "<baseName> (n)", n = 2..9999, that nothing in
// `directory` is called, and puts the name in `out`. The base name defaults
// to "Dir". FALSE when every name is taken.
BOOL KV7UtilGetTempDirInDir(WString& out, const char16_t* baseName, const char16_t* directory);
// Deletes the directory's files and, depth first, its subdirectories;
// symbolic links are removed, never followed. Single failures are skipped.
// TRUE when the directory could be listed.
BOOL EmptyDirectory(const char16_t* path);
// EmptyDirectory, then removes the directory. TRUE when both succeeded.
BOOL RemoveDirectoryAndContents(const char16_t* path);
// Sets the last-write time of an open file (descriptor) to now.
BOOL SetFileToCurrentTime(int file);
// The same for a file by path; FALSE when it cannot be opened for writing.
BOOL SetFileToCurrentTime(const char16_t* path);
// Reports false: no drive of this system is treated as FAT. S_OK.
HRESULT IsDriveFAT(const char16_t* path, bool& out);

// ---- Times ------------------------------------------------------------------

// The file's last-write time in local time; S_OK or E_FAIL.
HRESULT GetFileModifiedDate(const char16_t* path, SYSTEMTIME& out);
// The same as text in kKV7TimeFormat.
HRESULT GetFileModifiedDate(const char16_t* path, WString& out);
// The current local time in kKV7TimeFormat.
void GetCurrentTimeAsString(WString& out);
// Reads "month/day/year hour:minute:second" (missing numbers at the end
// count as 0) as local time, daylight saving left to the system. A text
// that does not start with a number, or names no representable time, gives
// the zero time. The caller deletes the result.
[[nodiscard]] CTime* CTimeFromString(const char16_t* text);

// ---- IDE, registry switches, clipboard and windows --------------------------

// TRUE when the hierarchy's type GUID is GUID_KV7ProjectType.
BOOL IsThisMyProjectHierarchy(IVsHierarchy* hierarchy);
// TRUE when the switch kSwitchAlwaysEnableCompile is on.
BOOL ShouldCompileAlwaysBeEnabled();
// Sets `out` to FALSE, then to the switch's state under the IDE's user
// registry root. TRUE when the value was read.
BOOL GetRegistryFlag(const char16_t* name, BOOL& out);
// Whether the helper library's connection services are at hand.
BOOL IsAddinAvailable();
// TRUE when the clipboard holds project items or dropped files.
BOOL ClipboardHasDropFormat();
// Shows resource text `textId` with caption `captionId` as a warning.
void SimpleMessageBox(UINT textId, UINT captionId);
// Returns no font and changes nothing.
HFONT SetupDialogFont(HWND window);
// Adds nothing; FALSE.
BOOL GetExistingTemplateFileNames(CVxStringArray& out);

// A project item reference, "<project>|<project file>|<item file>": the
// text before the first "|", between the first and the second, and after
// the last. Without two separators every field stays empty.
class CKV7ProjRefInfo {
 public:
  explicit CKV7ProjRefInfo(const char16_t* reference);

  WString projectId;
  WString projectPath;
  WString itemPath;
};
