// The project verbs: each opens the project, acts as a person would in the
// Solution Explorer, saves when the project changed, and closes it.
#include <cstdio>
#include <string>

#include "arguments.h"
#include "kv7/build/configurations.h"
#include "kv7/document/built_files.h"
#include "kv7/document/folders.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/platform/files.h"
#include "kv7/util/path_names.h"
#include "project_session.h"
#include "project_verbs.h"
#include "verbs.h"

namespace kv7::cli {
namespace {

std::string Utf8(WStringView text) { return ToUtf8(text); }

}  // namespace

// ---- new ------------------------------------------------------------------

int RunNew(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 1, 1, &parsed, &error)) return BadUsage("new", error);
  WString file_name(FileNameOf(AbsolutePath(parsed.positional[0])));
  if (!kv7::EndsWithNoCase(file_name, u".kv7p") || BaseNameOf(file_name).empty())
    return BadUsage("new", "a project file is named NAME.kv7p, not '" + Utf8(file_name) + "'");
  ProjectSession session("new");
  int code = session.Create(parsed.positional[0]);
  if (code == kExitOk)
    std::printf("created %s\n", Utf8(session.project()->GetProjectFilePath()).c_str());
  return code;
}

// ---- show -----------------------------------------------------------------

namespace {

void ShowTree(CHierNode* container, int depth) {
  std::string indent(static_cast<size_t>(depth) * 2, ' ');
  for (CHierNode* child = static_cast<CHierContainer*>(container)->FirstChildNoPopulate(); child;
       child = child->GetNext()) {
    if (IsKV7FolderKind(child->GetKindOf())) {
      WString type;
      MapFolderTypeToXMLName(static_cast<CKV7FolderNode*>(child)->GetFolderType(), type);
      std::printf("%s%s/  [%s]\n", indent.c_str(), Utf8(child->GetName()).c_str(),
                  Utf8(type).c_str());
      ShowTree(child, depth + 1);
    } else if (IsFileKind(child->GetKindOf())) {
      auto* file = static_cast<CFileVwFileNode*>(child);
      std::printf("%s%s  (%s)\n", indent.c_str(), Utf8(file->GetDisplayCaption()).c_str(),
                  Utf8(ItemKindName(file)).c_str());
    }
  }
}

// Each configuration: its connection, run order, startup procedure and how
// many items the record holds as built in it.
void ShowConfigurations(CMyProjectHierarchy* project) {
  std::printf("configurations:\n");
  CMyProjectCfg* active = project->GetActiveProjectConfig();
  for (const ComPtr<CMyProjectCfg>& cfg : project->GetCfgProvider()->GetConfigurations()) {
    const WString& connection = cfg->get_ConnInfo()->GetConnName();
    std::printf("  %s%s\n", Utf8(cfg->GetName()).c_str(), cfg.Get() == active ? "  (used by default)" : "");
    std::printf("    connection: %s\n", connection.empty() ? "(none)" : Utf8(connection).c_str());
    std::string order;
    for (const auto& item : cfg->GetRunOrder()->GetItems())
      order += (order.empty() ? "" : ", ") + Utf8(item->GetFileName());
    std::printf("    run order: %s\n", order.empty() ? "(none: every item in tree order)" : order.c_str());
    WString procedure;
    cfg->get_DebuggingInfo()->GetStartupProcedure(procedure);
    std::printf("    startup procedure: %s\n", procedure.empty() ? "(none)" : Utf8(procedure).c_str());
    std::printf("    build for debug: %s\n", cfg->get_DebuggingInfo()->GetBuildForDebug() ? "true" : "false");
    std::printf("    built items: %d\n", project->GetBuiltFiles()->BuiltFileCount(cfg->GetName()));
  }
}

}  // namespace

int RunShow(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 1, 1, &parsed, &error)) return BadUsage("show", error);
  ProjectSession session("show");
  if (int code = session.Open(parsed.positional[0])) return code;
  CMyProjectHierarchy* project = session.project();
  auto or_none = [](const WString& text) { return text.empty() ? std::string("(none)") : Utf8(text); };
  std::printf("project: %s\n", Utf8(session.root()->GetName()).c_str());
  std::printf("file: %s\n", Utf8(project->GetProjectFilePath()).c_str());
  const bool newer = project->GetFormatVersion() > kProjectFormatVersion;
  std::printf("format version: %d%s\n", project->GetFormatVersion(),
              newer ? " (newer than this kv7 writes: read only)" : "");
  std::printf("default configuration: %s\n", or_none(project->GetDefaultConfigurationName()).c_str());
  std::printf("source control: project %s, local path %s, aux path %s, provider %s\n",
              or_none(project->GetSccProjectName()).c_str(), or_none(project->GetSccLocalPath()).c_str(),
              or_none(project->GetSccAuxPath()).c_str(), or_none(project->GetSccProvider()).c_str());
  ShowConfigurations(project);
  std::printf("items:\n");
  ShowTree(session.root(), 1);
  for (const WString& path : project->GetMissingOnLoad())
    std::printf("missing: %s\n", Utf8(path).c_str());
  return kExitOk;
}

// ---- add ------------------------------------------------------------------

namespace {

// Where a node stands in the project, for messages: "in folder Tables/Sub"
// or "at the project's top level".
std::string PlaceOf(const ProjectSession& session, CFileVwBaseNode* node) {
  std::string folders;
  for (CHierNode* parent = node->GetParent(); parent && parent != session.root();
       parent = parent->GetParent())
    folders = Utf8(parent->GetName()) + (folders.empty() ? "" : "/") + folders;
  return folders.empty() ? "at the project's top level" : "in folder " + folders;
}

}  // namespace

int RunAdd(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {"--to"}, 2, -1, &parsed, &error))
    return BadUsage("add", error);
  ProjectSession session("add");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  std::string folder_name = parsed.Option("--to");
  CFileVwFolderNode* folder = session.FindFolder(folder_name);
  if (folder == nullptr) return Fail("add", "the project has no folder '" + folder_name + "'");
  // A file is in a project once: two entries for one file part ways at the
  // first rename, leaving one pointing at nothing.
  for (size_t i = 1; i < parsed.positional.size(); ++i) {
    const std::string& file = parsed.positional[i];
    WString path = AbsolutePath(file);
    if (!FileExists(path)) return Fail("add", "cannot add " + Utf8(path) + ": no such file");
    CFileVwBaseNode* existing = session.root()->GetNodeByFullPath(path);
    if (existing != nullptr && existing->GetFullPath() == path)
      return Fail("add", "cannot add " + Utf8(path) + ": it is in the project already, " +
                             PlaceOf(session, existing));
    if (CFileVwFileNode* namesake = folder->FindFile(path))
      return Fail("add", "cannot add " + Utf8(path) + ": " + PlaceOf(session, namesake) +
                             " there is an item named " + Utf8(namesake->GetFileName()) +
                             " already");
    HRESULT hr = session.root()->AddExistingFile(folder, path);
    if (FAILED(hr)) return FailStatus("add", hr, "cannot add " + Utf8(path));
  }
  return session.SaveIfDirty();
}

// ---- mkdir ----------------------------------------------------------------

int RunMkdir(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {}, 2, 2, &parsed, &error))
    return BadUsage("mkdir", error);
  ProjectSession session("mkdir");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  std::string path = parsed.positional[1];
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  size_t slash = path.find_last_of("/\\");
  std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  CFileVwFolderNode* container = session.FindFolder(parent);
  if (container == nullptr) return Fail("mkdir", "the project has no folder '" + parent + "'");
  HRESULT hr = session.root()->CreateAndAddFolder(container, FromUtf8(name));
  if (FAILED(hr)) return FailStatus("mkdir", hr, "cannot create folder '" + path + "'");
  return session.SaveIfDirty();
}

// ---- rename ---------------------------------------------------------------

int RunRename(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {}, 3, 3, &parsed, &error))
    return BadUsage("rename", error);
  ProjectSession session("rename");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  CFileVwBaseNode* node = session.FindNode(parsed.positional[1]);
  if (node == nullptr || node == session.root())
    return Fail("rename", "the project has no item or folder '" + parsed.positional[1] + "'");
  const std::string old_path = Utf8(node->GetFullPath());
  const bool is_file = IsFileKind(node->GetKindOf());
  const std::string old_kind = is_file ? Utf8(ItemKindName(static_cast<CFileVwFileNode*>(node))) : "";
  HRESULT hr = session.project()->SetProperty(node->GetVsItemID(), VSHPROPID_EditLabel,
                                              VARIANT::FromString(FromUtf8(parsed.positional[2])));
  if (FAILED(hr)) return FailStatus("rename", hr, "cannot rename " + old_path);
  if (int code = session.SaveIfDirty()) return code;
  const std::string new_path = Utf8(node->GetFullPath());
  std::printf("renamed %s to %s\n", old_path.c_str(), new_path.c_str());
  const std::string new_kind = Utf8(ItemKindNameForPath(node->GetFullPath()));
  if (is_file && new_kind != old_kind)
    std::printf("note: the item was a %s and is a %s from now on: an item's kind follows its "
                "extension\n", old_kind.c_str(), new_kind.c_str());
  return kExitOk;
}

// ---- remove ---------------------------------------------------------------

int RunRemove(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--delete", "--drop-missing"}, {}, 2, 2, &parsed, &error))
    return BadUsage("remove", error);
  ProjectSession session("remove");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  CFileVwBaseNode* node = session.FindNode(parsed.positional[1]);
  if (node == nullptr || node == session.root())
    return Fail("remove", "the project has no item or folder '" + parsed.positional[1] + "'");
  DWORD operation = parsed.Has("--delete") ? DELITEMOP_DeleteFromStorage : DELITEMOP_RemoveFromProject;
  HRESULT hr = session.project()->DeleteItem(operation, node->GetVsItemID());
  if (FAILED(hr)) return FailStatus("remove", hr, "cannot remove '" + parsed.positional[1] + "'");
  return session.SaveIfDirty();
}

// ---- upgrade --------------------------------------------------------------

int RunUpgrade(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {}, 1, 1, &parsed, &error))
    return BadUsage("upgrade", error);
  ProjectSession session("upgrade");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  if (session.project()->GetFormatVersion() == kProjectFormatVersion) {
    std::printf("%s is at version %d already: nothing to do\n",
                Utf8(session.project()->GetProjectFilePath()).c_str(), kProjectFormatVersion);
    return kExitOk;
  }
  (void)session.project()->put_IsDirty(VARIANT_TRUE);
  int code = session.SaveIfDirty();
  if (code == kExitOk)
    std::printf("saved %s as version %d\n", Utf8(session.project()->GetProjectFilePath()).c_str(),
                kProjectFormatVersion);
  return code;
}

}  // namespace kv7::cli
