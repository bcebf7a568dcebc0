#include "project_session.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "kv7/host/install_paths.h"
#include "kv7/package/package_site.h"
#include "kv7/package/project_factory.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "verbs.h"

namespace kv7::cli {

WString AbsolutePath(const std::string& path) {
  std::error_code ignored;
  std::filesystem::path absolute = std::filesystem::absolute(path, ignored).lexically_normal();
  std::string text = absolute.string();
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  return FromUtf8(text);
}

ProjectSession::ProjectSession(const char* verb) : verb_(verb) {
  SetPackageServiceProvider(host_.ServiceProvider());
}

ProjectSession::~ProjectSession() {
  if (project_) (void)host_.Solution()->CloseSolutionElement(0, project_.Get(), 0);
  project_.Reset();
  SetPackageServiceProvider(nullptr);
}

int ProjectSession::Open(const std::string& projectPath) {
  WString path = AbsolutePath(projectPath);
  if (!FileExists(path))
    return Fail(verb_, "cannot open " + ToUtf8(path) + ": " +
                           (DirectoryExists(path) ? "it is a directory" : "no such file"));
  CMyProjectFactory factory;
  BOOL canceled = FALSE;
  HRESULT hr = factory.CreateProject(path.c_str(), u"", u"", CPF_OPENFILE, project_.Put(), &canceled);
  if (FAILED(hr)) return FailStatus(verb_, hr, "cannot open " + ToUtf8(path));
  (void)host_.Solution()->AddProject(project_.Get());
  const WString& root = project_->GetDocumentElementName();
  if (root != u"KV7Project")
    return Fail(verb_, "cannot open " + ToUtf8(path) + ": not a project file: its root is " +
                           (root.empty() ? std::string("missing") : ToUtf8(root)));
  return kExitOk;
}

int ProjectSession::Create(const std::string& path) {
  WString target = AbsolutePath(path);
  if (FileExists(target) || DirectoryExists(target))
    return Fail(verb_, "cannot create " + ToUtf8(target) + ": it exists already");
  std::string templates = host::TemplatesDirectory();
  WString template_path = FromUtf8(templates) + u"/" + kKV7ProjectTemplate;
  if (templates.empty() || !FileExists(template_path))
    return Fail(verb_, "the project template is missing (looked in '" + templates +
                           "'; set KV7_TEMPLATES)");
  size_t slash = target.find_last_of(u'/');
  WString directory = target.substr(0, slash + 1);
  WString name = target.substr(slash + 1);
  HRESULT hr = CreateDirectories(directory);
  if (FAILED(hr)) return FailStatus(verb_, hr, "cannot create " + ToUtf8(directory));
  CMyProjectFactory factory;
  BOOL canceled = FALSE;
  hr = factory.CreateProject(template_path.c_str(), directory.c_str(), name.c_str(), CPF_CLONEFILE,
                             project_.Put(), &canceled);
  if (SUCCEEDED(hr)) hr = project_->InitNew(0);
  if (SUCCEEDED(hr)) hr = project_->Save(nullptr, FALSE, 0);
  if (FAILED(hr)) {
    (void)DeleteFile(target);
    return FailStatus(verb_, hr, "cannot create " + ToUtf8(target));
  }
  (void)host_.Solution()->AddProject(project_.Get());
  return kExitOk;
}

WString ProjectSession::ProjectRelative(const std::string& argument) const {
  WString text = FromUtf8(argument);
  std::replace(text.begin(), text.end(), u'\\', u'/');
  while (text.size() > 1 && text.back() == u'/') text.pop_back();
  if (!text.empty() && text.front() == u'/') return text;
  std::filesystem::path joined = std::filesystem::path(ToUtf8(project_->GetProjectFolderPath())) /
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
  const std::string file = ToUtf8(project_->GetProjectFilePath());
  if (project_->GetFormatVersion() > kProjectFormatVersion)
    return Fail(verb_, "cannot change " + file + ": its format version " +
                           std::to_string(project_->GetFormatVersion()) +
                           " is newer than this kv7 writes (" +
                           std::to_string(kProjectFormatVersion) +
                           "); saving would drop what the newer format holds");
  if (!project_->QueryEditProjectFile()) {
    HRESULT why = CheckFileWritable(project_->GetProjectFilePath());
    return Fail(verb_, "cannot change " + file + ": " +
                           (FAILED(why) ? ToUtf8(UnixMessageText(why))
                                        : std::string("the IDE refused to let it be edited")));
  }
  const auto& missing = project_->GetMissingOnLoad();
  if (missing.empty() || dropMissing) return kExitOk;
  for (const WString& path : missing)
    std::fprintf(stderr, "kv7 %s: missing on disk: %s\n", verb_, ToUtf8(path).c_str());
  return Fail(verb_, "nothing done: the project lists items or folders that are missing on disk, "
                     "and saving would drop them (use --drop-missing to go on without them)");
}

CMyProjectCfg* ProjectSession::FindConfiguration(const std::string& argument,
                                                 std::string* error) const {
  CCfgProvider* provider = project_->GetCfgProvider();
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

int ProjectSession::SaveIfDirty() {
  BOOL dirty = FALSE;
  if (FAILED(project_->IsDirty(&dirty)) || !dirty) return kExitOk;
  HRESULT hr = project_->Save(nullptr, FALSE, 0);
  if (FAILED(hr))
    return FailStatus(verb_, hr, "cannot write " + ToUtf8(project_->GetProjectFilePath()));
  return kExitOk;
}

}  // namespace kv7::cli
