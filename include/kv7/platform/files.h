// Files and directories as the system uses them: existence checks, copies
// and moves that never leave a half-written target, whole-file reads and
// atomic writes, attributes as far as Linux shows them, last-write times,
// temporary files and the tool's home directory.
//
// Paths are UTF-16 and reach the system calls as UTF-8. Every operation
// returns S_OK or HRESULT_FROM_WIN32 of the Win32 error behind the failing
// call's errno (see errorinfo.h), and leaves its out-arguments untouched on
// failure. An empty path fails with ERROR_PATH_NOT_FOUND, one holding a NUL
// character with ERROR_INVALID_NAME.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kv7/platform/hresult.h"
#include "kv7/platform/localtime.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"

// File attributes with the platform's values. Linux shows: READONLY when no
// one has write permission, HIDDEN when the name starts with ".", DIRECTORY,
// ARCHIVE on every regular file, and NORMAL alone when none of these apply.
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

namespace kv7 {

// Whether the path names an existing non-directory (symbolic links followed).
bool FileExists(WStringView path);
// Whether the path names an existing directory (symbolic links followed).
bool DirectoryExists(WStringView path);

// Creates the directory and its missing parents. S_OK when it already
// exists; ERROR_ALREADY_EXISTS when the path is a file.
HRESULT CreateDirectories(WStringView path);

// Copies a file's content, permissions and last-write time to a new file.
// Fails with ERROR_FILE_EXISTS when the target exists. The copy is written
// under a temporary name and then linked into place, so the target either
// does not exist or is complete.
HRESULT CopyFileNoOverwrite(WStringView from, WStringView to);

// Renames a file or directory; a file moves across file systems by copy and
// delete. Fails with ERROR_ALREADY_EXISTS when the target exists, as the
// platform's MoveFile does.
HRESULT MoveFile(WStringView from, WStringView to);

// Deletes a file. A read-only file is refused with ERROR_ACCESS_DENIED, as
// on the platform: clear the attribute first.
HRESULT DeleteFile(WStringView path);
// Removes an empty directory (ERROR_DIR_NOT_EMPTY otherwise).
HRESULT RemoveDirectory(WStringView path);

struct DirectoryEntry {
  WString name;
  bool isDirectory = false;  // symbolic links followed
};
// The entries of a directory, "." and ".." left out, ordered by name
// ignoring case so that listings do not depend on the file system.
HRESULT ListDirectory(WStringView path, std::vector<DirectoryEntry>* entries);

// The FILE_ATTRIBUTE_* bits of a file or directory.
HRESULT GetFileAttributes(WStringView path, DWORD* attributes);
// Applies FILE_ATTRIBUTE_READONLY: setting it removes every write
// permission; clearing it gives the owner write permission back when no
// one has it. The other bits cannot be changed on Linux and are ignored.
HRESULT SetFileAttributes(WStringView path, DWORD attributes);

// Last-write time, to the file system's precision.
HRESULT GetLastWriteTime(WStringView path, FILETIME* time);
HRESULT SetLastWriteTime(WStringView path, const FILETIME& time);

HRESULT GetFileSize(WStringView path, std::uint64_t* size);

// What one look at a path tells: whether it names something (`result`, a
// failure as the operations above report it), a directory or not, and its
// last-write time.
struct FileStatus {
  HRESULT result = E_FAIL;
  bool directory = false;
  FILETIME written{};

  bool IsFile() const { return SUCCEEDED(result) && !directory; }
};
FileStatus GetFileStatus(WStringView path);

// Reads a whole file into *bytes.
HRESULT ReadFileBytes(WStringView path, std::string* bytes);
// S_OK when the current user may replace the file's content: it exists and
// is writable to the user, or it does not exist yet and its directory
// exists and takes new entries. ERROR_FILE_READ_ONLY when no one may write
// it (its read-only attribute); otherwise the access error (permission
// denied, no such directory).
HRESULT CheckFileWritable(WStringView path);
// Replaces a file's content atomically: the bytes go to a temporary file in
// the same directory, which is flushed to disk and renamed over the target.
// On failure the target is untouched. A new file gets the default
// permissions, an existing one keeps its own. A target that
// CheckFileWritable refuses is refused with its status: the rename would
// otherwise replace a file that the user may not write.
HRESULT WriteFileBytes(WStringView path, std::string_view bytes);
// The same for a file that only its owner may read (secrets): the file is
// made readable and writable by the owner alone on every write, even when
// someone loosened its permissions.
HRESULT WritePrivateFileBytes(WStringView path, std::string_view bytes);

// $TMPDIR, else "/tmp", ending in "/".
WString GetTempDirectory();
// Creates a new empty file named prefix + four hex digits + ".tmp" in the
// directory, trying other digits while the name is taken; *path receives
// its full path. The file has the default permissions of a new file, so
// that it can be moved into place as a document. ERROR_FILE_EXISTS when
// every name is taken.
HRESULT CreateTempFile(WStringView directory, WStringView prefix, WString* path);

// The tool's home directory: $KV7_HOME, else $XDG_CONFIG_HOME/kv7, else
// $HOME/.config/kv7. The environment is read on every call. The directory
// is not created.
WString Kv7HomeDirectory();

}  // namespace kv7
