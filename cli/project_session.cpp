#include "project_session.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/util/path_names.h"
#include "verbs.h"

namespace kv7::cli {

WString AbsolutePath(const std::string& path) {
  std::error_code ignored;
  std::filesystem::path absolute = std::filesystem::absolute(path, ignored).lexically_normal();
  std::string text = absolute.string();
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  return FromUtf8(text);
}

ProjectSession* ProjectSession::shell_ = nullptr;

ProjectSession::ProjectSession(const char* verb)
    : verb_(verb), owner_(shell_ ? shell_ : this) {
  if (owner_ == this) cli_host_ = std::make_unique<CliHost>();
}

ProjectSession::~ProjectSession() {
  if (shell_ == this) shell_ = nullptr;
  if (owner_ != this) return;
  if (project_) (void)Host().Solution()->CloseSolutionElement(0, project_.Get(), 0);
  project_.Reset();
}

void ProjectSession::ServeAsShell() { shell_ = this; }

int ProjectSession::Open(const std::string& projectPath) {
  WString path = AbsolutePath(projectPath);
  if (owner_ != this) {
    // The shell's project is open already; a verb names no other.
    if (path == project()->GetProjectFilePath()) return kExitOk;
    return Fail(verb_, "the shell works on " + ToUtf8(project()->GetProjectFilePath()) +
                           ", not " + ToUtf8(path));
  }
  if (!FileExists(path))
    return Fail(verb_, "cannot open " + ToUtf8(path) + ": " +
                           (DirectoryExists(path) ? "it is a directory" : "no such file"));
  HRESULT hr = cli_host_->OpenProject(path, &project_);
  if (FAILED(hr)) return FailStatus(verb_, hr, "cannot open " + ToUtf8(path));
  const WString& root = project_->GetDocumentElementName();
  if (root != u"KV7Project")
    return Fail(verb_, "cannot open " + ToUtf8(path) + ": not a project file: its root is " +
                           (root.empty() ? std::string("missing") : ToUtf8(root)));
  return kExitOk;
}

int ProjectSession::Create(const std::string& path) {
  WString target = AbsolutePath(path);
  if (owner_ != this) return Fail(verb_, "a new project cannot be made inside the shell");
  if (FileExists(target) || DirectoryExists(target))
    return Fail(verb_, "cannot create " + ToUtf8(target) + ": it exists already");
  WString directory = target.substr(0, target.find_last_of(u'/') + 1);
  HRESULT hr = CreateDirectories(directory);
  if (FAILED(hr)) return FailStatus(verb_, hr, "cannot create " + ToUtf8(directory));
  hr = cli_host_->CreateProject(target, &project_);
  if (FAILED(hr)) {
    // A template copied before the failure is not left behind.
    if (!project_) (void)DeleteFile(target);
    return FailStatus(verb_, hr, "cannot create " + ToUtf8(target) +
                                     (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
                                          ? " (the project template is missing; set KV7_TEMPLATES)"
                                          : ""));
  }
  return kExitOk;
}

WString ProjectSession::ProjectRelative(const std::string& argument) const {
  WString text = FromUtf8(argument);
  std::replace(text.begin(), text.end(), u'\\', u'/');
  while (text.size() > 1 && text.back() == u'/') text.pop_back();
  if (!text.empty() && text.front() == u'/') return text;
  std::filesystem::path joined = std::filesystem::path(ToUtf8(project()->GetProjectFolderPath())) /
                                 ToUtf8(text);
  std::string normal = joined.lexically_normal().string();
  if (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return FromUtf8(normal);
}

CFileVwBaseNode* ProjectSession::FindNode(const std::string& argument) const {
  return root()->GetNodeByFullPath(ProjectRelative(argument));
}

CFileVwFolderNode* ProjectSession::FindFolder(const std::string& argument) const {
  if (argument.empty() || argument == ".") return root();
  CFileVwBaseNode* node = FindNode(argument);
  if (node == nullptr || !IsFolderKind(node->GetKindOf())) return nullptr;
  return static_cast<CFileVwFolderNode*>(node);
}

int ProjectSession::OpenForChange(const std::string& projectPath, bool dropMissing) {
  if (int code = Open(projectPath)) return code;
  const std::string file = ToUtf8(project()->GetProjectFilePath());
  if (project()->GetFormatVersion() > kProjectFormatVersion)
    return Fail(verb_, "cannot change " + file + ": its format version " +
                           std::to_string(project()->GetFormatVersion()) +
                           " is newer than this kv7 writes (" +
                           std::to_string(kProjectFormatVersion) +
                           "); saving would drop what the newer format holds");
  if (!project()->QueryEditProjectFile()) {
    HRESULT why = CheckFileWritable(project()->GetProjectFilePath());
    return Fail(verb_, "cannot change " + file + ": " +
                           (FAILED(why) ? ToUtf8(UnixMessageText(why))
                                        : std::string("the IDE refused to let it be edited")));
  }
  const auto& missing = project()->GetMissingOnLoad();
  if (missing.empty() || dropMissing) return kExitOk;
  for (const WString& path : missing)
    std::fprintf(stderr, "kv7 %s: missing on disk: %s\n", verb_, ToUtf8(path).c_str());
  return Fail(verb_, "nothing done: the project lists items or folders that are missing on disk, "
                     "and saving would drop them (use --drop-missing to go on without them)");
}

CMyProjectCfg* ProjectSession::FindConfiguration(const std::string& argument,
                                                 std::string* error) const {
  CCfgProvider* provider = project()->GetCfgProvider();
  const WString wanted = FromUtf8(argument);
  CMyProjectCfg* found = provider->FindCfg(wanted);
  std::string known;
  int matches = 0;
  for (const ComPtr<CMyProjectCfg>& cfg : provider->GetConfigurations()) {
    known += (known.empty() ? "" : ", ") + ToUtf8(cfg->GetName());
    if (found == nullptr && EqualsNoCase(cfg->GetCfgName(), wanted) && ++matches == 1)
      found = cfg.Get();
  }
  if (matches > 1) {
    *error = "'" + argument + "' is on several platforms: name one of " + known;
    return nullptr;
  }
  if (found == nullptr)
    *error = "no configuration '" + argument + "' (the configurations are " +
             (known.empty() ? std::string("none") : known) + ")";
  return found;
}

CFileVwFileNode* ProjectSession::FindItem(const std::string& argument) const {
  CFileVwBaseNode* node = FindNode(argument);
  if (node != nullptr && IsFileKind(node->GetKindOf())) return static_cast<CFileVwFileNode*>(node);
  (void)Fail(verb_, "the project has no item '" + argument + "'");
  return nullptr;
}

CMyProjectCfg* ProjectSession::ConfigurationOrDefault(const std::string& argument,
                                                      std::string* error) const {
  if (!argument.empty()) return FindConfiguration(argument, error);
  CMyProjectCfg* cfg = project()->GetActiveProjectConfig();
  if (cfg == nullptr) *error = "the project has no configuration";
  return cfg;
}

int ProjectSession::LockRecord(const std::string& projectPath, double waitSeconds) {
  const WString file = AbsolutePath(projectPath);
  const WString lock = WString(DirectoryWithSlash(file)) + WString(BaseNameOf(file)) + u".kv7lock";
  std::string holder;
  HRESULT hr = record_lock_.Acquire(lock, waitSeconds, &holder);
  if (hr == kv7::KV7_E_LOCKED)
    return Fail(verb_, "another kv7 is building " + ToUtf8(file) + " (" + holder + "); waited " +
                           std::to_string(static_cast<long>(waitSeconds)) + " s");
  if (FAILED(hr)) return FailStatus(verb_, hr, "cannot lock " + ToUtf8(lock));
  return kExitOk;
}

int ProjectSession::SaveIfDirty() {
  BOOL dirty = FALSE;
  if (FAILED(project()->IsDirty(&dirty)) || !dirty) return kExitOk;
  HRESULT hr = project()->Save(nullptr, FALSE, 0);
  if (FAILED(hr))
    return FailStatus(verb_, hr, "cannot write " + ToUtf8(project()->GetProjectFilePath()));
  return kExitOk;
}

}  // namespace kv7::cli
