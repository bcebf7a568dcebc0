// What every project verb does around its work: a host with its services
// handed to the system, the project opened through the project factory,
// saved when it changed, and closed.
#pragma once

#include <string>
#include <vector>

#include "kv7/build/configurations.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "cli_host.h"
#include "kv7/host/host.h"
#include "kv7/platform/file_lock.h"
#include "report.h"

namespace kv7::cli {

// An absolute, normalised native path for a FILE argument (relative to the
// current directory).
WString AbsolutePath(const std::string& path);

// One verb's project: opened (or created), saved when it changed, closed
// with the session. While a shell runs (kv7 shell), every verb's session
// works on the shell's open project instead, which stays open between the
// shell's lines.
class ProjectSession {
 public:
  explicit ProjectSession(const char* verb);
  ~ProjectSession();
  ProjectSession(const ProjectSession&) = delete;
  ProjectSession& operator=(const ProjectSession&) = delete;

  // Opens an existing project file; an exit code (0 when open). An XML
  // file whose root is not a project is refused.
  int Open(const std::string& projectPath);
  // Opens a project that the verb will change. Refuses (exit 1, nothing
  // touched) a file of a newer format version, which saving would cut down
  // to version 3; a project file that the IDE may not edit (read-only to
  // this user); and, unless `dropMissing`, a project whose loading left out
  // items or folders missing on disk, which saving would drop from the file.
  int OpenForChange(const std::string& projectPath, bool dropMissing);
  // Creates a new project from the template as `path`; an exit code.
  int Create(const std::string& path);

  CMyProjectHierarchy* project() const { return owner_->project_.Get(); }
  CFileVwProjNode* root() const { return project()->GetProjectNode(); }
  host::CHost& Host() const { return owner_->cli_host_->Host(); }

  // The node named by an ITEM or FOLDER argument: a path relative to the
  // project folder (either separator) or absolute; null when the project
  // has no such node.
  CFileVwBaseNode* FindNode(const std::string& argument) const;
  // The folder named by a FOLDER argument, or the project node for "" / ".".
  CFileVwFolderNode* FindFolder(const std::string& argument) const;

  // The configuration named by a CONFIG argument: a full name
  // ("Release|Win32") or a configuration name on the project's only
  // platform, ignoring case. Null with *error naming what is wrong.
  CMyProjectCfg* FindConfiguration(const std::string& argument, std::string* error) const;

  // The item named by an ITEM argument (as FindNode); null, with the
  // failure reported, when the project has no such item.
  CFileVwFileNode* FindItem(const std::string& argument) const;
  // The configuration named by a --config value (as FindConfiguration), or
  // for an empty value the one builds use by default (the project's
  // default, else its first). Null with *error naming what is wrong.
  CMyProjectCfg* ConfigurationOrDefault(const std::string& argument, std::string* error) const;

  // Makes this verb the only one reading and writing the project's
  // built-files record while the session lives: takes the lock file beside
  // the project file ("NAME.kv7lock"), waiting up to `waitSeconds` for
  // another kv7 that holds it. Called before the project is opened, so that
  // the record read is the one the holder left. An exit code: 1, naming the
  // holder, when the wait runs out.
  int LockRecord(const std::string& projectPath, double waitSeconds);

  // Saves the project when it changed.
  int SaveIfDirty();

  // Makes this session the shell's: sessions made while it lives work on
  // its project.
  void ServeAsShell();

 private:
  WString ProjectRelative(const std::string& argument) const;

  const char* verb_;
  // The session whose project and host this one uses: itself, or the shell's.
  ProjectSession* owner_;
  std::unique_ptr<CliHost> cli_host_;
  ComPtr<CMyProjectHierarchy> project_;
  kv7::CFileLock record_lock_;
  static ProjectSession* shell_;
};

}  // namespace kv7::cli
