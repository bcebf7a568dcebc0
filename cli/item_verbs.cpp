// The item verbs: a new item with a name of its own in the folder of its
// kind, an item's build settings per configuration, and the configuration
// document a deployment of an item would send.
#include "item_verbs.h"

#include <cstdio>
#include <string>

#include "arguments.h"
#include "kv7/build/configurations.h"
#include "kv7/build/item_settings.h"
#include "kv7/build/task_documents.h"
#include "kv7/hierarchy/object_nodes.h"
#include "kv7/util/path_names.h"
#include "kv7/util/ui_strings.h"
#include "project_session.h"

namespace kv7::cli {
namespace {

std::string Utf8(WStringView text) { return ToUtf8(text); }

}  // namespace

// ---- new-item -------------------------------------------------------------

int RunNewItem(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {"--to"}, 2, 2, &parsed, &error))
    return BadUsage("new-item", error);
  // A kind ("view") names a file of that kind's base name ("View.kv7vw").
  WString file_name = FromUtf8(parsed.positional[1]);
  if (ExtensionOf(file_name).empty()) {
    WString kind_file = ItemFileNameForKind(file_name);
    if (kind_file.empty())
      return BadUsage("new-item", "'" + parsed.positional[1] + "' is neither a file name nor a kind (" +
                                      Utf8(ItemKindNames()) + ")");
    file_name = kind_file;
  }
  if (!IsValidItemName(file_name)) return BadUsage("new-item", Utf8(FormatUIString(10, file_name)));
  ProjectSession session("new-item");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  CFileVwFolderNode* folder = nullptr;
  WString path;
  HRESULT hr = S_OK;
  if (parsed.HasOption("--to")) {
    folder = session.FindFolder(parsed.Option("--to"));
    if (folder == nullptr)
      return Fail("new-item", "the project has no folder '" + parsed.Option("--to") + "'");
    hr = folder->GenerateUniqueFileName(BaseNameOf(file_name), ExtensionOf(file_name).substr(1),
                                        eKV7FolderOther, path);
  } else {
    // The folder of the kind, made when the project has none.
    VSITEMID location = VSITEMID_ROOT;
    CComBSTR suggested;
    hr = session.project()->SuggestLocationForExtension(file_name.c_str(), &location,
                                                        suggested.Put());
    path = suggested.ToString();
    if (SUCCEEDED(hr))
      folder = location == VSITEMID_ROOT ? session.root()
                                         : session.project()->VSITEMID2FolderNode(location);
  }
  if (FAILED(hr) || folder == nullptr || path.empty())
    return FailStatus("new-item", FAILED(hr) ? hr : E_FAIL, "cannot name " + Utf8(file_name));
  CFileVwFileNode* added = nullptr;
  hr = session.root()->AddNewItem(folder, FileNameOf(path), u"", false, &added);
  if (FAILED(hr)) return FailStatus("new-item", hr, "cannot create " + Utf8(path));
  if (int code = session.SaveIfDirty()) return code;
  std::printf("created %s  (%s)\n", Utf8(path).c_str(), Utf8(ItemKindName(added)).c_str());
  return kExitOk;
}

// ---- item-settings --------------------------------------------------------

int RunItemSettings(const Arguments& args) {
  // Every setting is an option of its own ("--bind-options VALUE").
  std::vector<std::string> names;
  for (const KV7ItemSetting& setting : ItemSettings()) names.push_back("--" + Utf8(setting.option));
  std::vector<const char*> options{"--config"};
  for (const std::string& name : names) options.push_back(name.c_str());
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, options, 2, 2, &parsed, &error)) {
    std::string valid;
    for (const std::string& name : names) valid += (valid.empty() ? "" : ", ") + name;
    return BadUsage("item-settings", error + " (the settings are " + valid + ")");
  }
  const bool changes = parsed.options.size() > (parsed.HasOption("--config") ? 1u : 0u);
  ProjectSession session("item-settings");
  int code = changes ? session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing"))
                     : session.Open(parsed.positional[0]);
  if (code != kExitOk) return code;
  CFileVwFileNode* item = session.FindItem(parsed.positional[1]);
  if (item == nullptr) return kExitFailed;
  CMyProjectCfg* cfg = session.ConfigurationOrDefault(parsed.Option("--config"), &error);
  if (cfg == nullptr) return Fail("item-settings", error);
  auto* object = dynamic_cast<CKV7ObjectFileNode*>(item);
  if (object == nullptr || object->GetSettingsList() == nullptr)
    return Fail("item-settings", "a " + Utf8(ItemKindName(item)) + " item has no build settings");
  for (const KV7ItemSetting& setting : ItemSettings()) {
    const std::string option = "--" + Utf8(setting.option);
    if (!parsed.HasOption(option)) continue;
    HRESULT hr = object->EditSetting(cfg->GetName(), setting.id, FromUtf8(parsed.Option(option)));
    if (FAILED(hr))
      return BadUsage("item-settings", "'" + parsed.Option(option) + "' is not a value of " + option +
                                           " for a " + Utf8(ItemKindName(item)));
  }
  if (changes && session.SaveIfDirty() != kExitOk) return kExitFailed;
  CKV7BaseCfg* record = nullptr;
  (void)object->GetOrCreateSettings(cfg->GetName(), &record);
  WString text;
  record->PrintSettings(text);
  std::printf("item: %s  (%s)\nconfiguration: %s\n%s", Utf8(item->GetFullPath()).c_str(),
              Utf8(ItemKindName(item)).c_str(), Utf8(cfg->GetName()).c_str(), Utf8(text).c_str());
  return kExitOk;
}

// ---- config-doc -----------------------------------------------------------

int RunConfigDoc(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {"--config"}, 2, 2, &parsed, &error))
    return BadUsage("config-doc", error);
  ProjectSession session("config-doc");
  if (int code = session.Open(parsed.positional[0])) return code;
  CFileVwFileNode* item = session.FindItem(parsed.positional[1]);
  if (item == nullptr) return kExitFailed;
  CMyProjectCfg* cfg = session.ConfigurationOrDefault(parsed.Option("--config"), &error);
  if (cfg == nullptr) return Fail("config-doc", error);
  WString document;
  HRESULT hr = BuildConfigurationDocument(item, cfg, document);
  if (FAILED(hr)) return FailStatus("config-doc", hr, "cannot build the configuration document");
  std::printf("%s", Utf8(document).c_str());
  return kExitOk;
}

}  // namespace kv7::cli
