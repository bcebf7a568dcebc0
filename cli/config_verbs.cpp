// The configuration verbs: each opens the project, acts on one of its
// configurations as the IDE's configuration manager and property pages
// would, saves when the project changed, and closes it.
#include "config_verbs.h"

#include <cstdio>
#include <string>

#include "arguments.h"
#include "connection_verbs.h"
#include "kv7/build/configurations.h"
#include "kv7/helper/helper.h"
#include "project_session.h"

namespace kv7::cli {
namespace {

std::string Utf8(WStringView text) { return ToUtf8(text); }

std::string OrNone(WStringView text) { return text.empty() ? "(none)" : Utf8(text); }

// A configuration name argument: the name itself, also when given with its
// platform ("Debug|Win32" names "Debug").
WString CfgNameOf(const std::string& argument) {
  return FromUtf8(argument.substr(0, argument.find('|')));
}

// Runs a provider operation and reports it; saves on success.
int ChangeConfigurations(ProjectSession& session, const std::string& verb, HRESULT hr,
                         const std::string& doing, const std::string& done) {
  if (FAILED(hr)) return FailStatus(verb, hr, doing);
  if (int code = session.SaveIfDirty()) return code;
  std::printf("%s\n", done.c_str());
  return kExitOk;
}

// ---- config list ----------------------------------------------------------

int ConfigList(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {}, {}, 1, 1, &parsed, &error)) return BadUsage("config list", error);
  ProjectSession session("config list");
  if (int code = session.Open(parsed.positional[0])) return code;
  CMyProjectCfg* active = session.project()->GetActiveProjectConfig();
  size_t width = 0;
  const auto& cfgs = session.project()->GetCfgProvider()->GetConfigurations();
  for (const ComPtr<CMyProjectCfg>& cfg : cfgs) width = std::max(width, cfg->GetName().size());
  for (const ComPtr<CMyProjectCfg>& cfg : cfgs)
    std::printf("%s %-*s  connection: %s\n", cfg.Get() == active ? "*" : " ",
                static_cast<int>(width), Utf8(cfg->GetName()).c_str(),
                OrNone(cfg->get_ConnInfo()->GetConnName()).c_str());
  return kExitOk;
}

// ---- config add / rename / remove -------------------------------------------

int ConfigAdd(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {"--clone"}, 2, 2, &parsed, &error))
    return BadUsage("config add", error);
  const WString name = CfgNameOf(parsed.positional[1]);
  if (name.empty()) return BadUsage("config add", "a configuration needs a name");
  ProjectSession session("config add");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  const WString clone = CfgNameOf(parsed.Option("--clone"));
  HRESULT hr = session.project()->GetCfgProvider()->AddCfgsOfCfgName(
      name.c_str(), clone.empty() ? nullptr : clone.c_str(), FALSE);
  return ChangeConfigurations(session, "config add", hr,
                              "cannot add configuration '" + Utf8(name) + "'",
                              "added configuration " + Utf8(name));
}

int ConfigRename(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {}, 3, 3, &parsed, &error))
    return BadUsage("config rename", error);
  const WString from = CfgNameOf(parsed.positional[1]), to = CfgNameOf(parsed.positional[2]);
  if (to.empty()) return BadUsage("config rename", "a configuration needs a name");
  ProjectSession session("config rename");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  HRESULT hr = session.project()->GetCfgProvider()->RenameCfgsOfCfgName(from.c_str(), to.c_str());
  return ChangeConfigurations(session, "config rename", hr,
                              "cannot rename configuration '" + Utf8(from) + "'",
                              "renamed configuration " + Utf8(from) + " to " + Utf8(to));
}

int ConfigRemove(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {}, 2, 2, &parsed, &error))
    return BadUsage("config remove", error);
  const WString name = CfgNameOf(parsed.positional[1]);
  ProjectSession session("config remove");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  CCfgProvider* provider = session.project()->GetCfgProvider();
  // Without a configuration a project has nothing to build, and would get
  // the default ones back when it is next opened.
  if (provider->HasCfgName(name) && provider->GetConfigurationNames().size() == 1)
    return Fail("config remove", "cannot remove configuration '" + Utf8(name) +
                                     "': a project keeps at least one configuration");
  HRESULT hr = provider->DeleteCfgsOfCfgName(name.c_str());
  return ChangeConfigurations(session, "config remove", hr,
                              "cannot remove configuration '" + Utf8(name) + "'",
                              "removed configuration " + Utf8(name));
}

// ---- config default / connection --------------------------------------------

int ConfigDefault(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {}, 2, 2, &parsed, &error))
    return BadUsage("config default", error);
  ProjectSession session("config default");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  CMyProjectCfg* cfg = session.FindConfiguration(parsed.positional[1], &error);
  if (cfg == nullptr) return Fail("config default", error);
  // The default is looked up by full name.
  session.project()->SetDefaultConfigurationName(cfg->GetName());
  return ChangeConfigurations(session, "config default", S_OK, "",
                              "default configuration: " + Utf8(cfg->GetName()));
}

int ConfigConnection(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {}, 3, 3, &parsed, &error))
    return BadUsage("config connection", error);
  ProjectSession session("config connection");
  if (int code = session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing")))
    return code;
  CMyProjectCfg* cfg = session.FindConfiguration(parsed.positional[1], &error);
  if (cfg == nullptr) return Fail("config connection", error);
  const std::string& name = parsed.positional[2];
  CComBSTR element;
  HRESULT hr = CTaskHelperHook().GetConnXML(FromUtf8(name).c_str(), element.Put());
  if (hr == KV7_E_CONNECTION_NOT_FOUND) return UnknownConnection("config connection", name);
  if (FAILED(hr)) return FailStatus("config connection", hr, "cannot read the connection catalogue");
  hr = cfg->SetConnection(element.Get());
  if (FAILED(hr))
    return FailStatus("config connection", hr,
                      "the catalogue's entry for '" + name + "' is not a connection");
  return ChangeConfigurations(session, "config connection", S_OK, "",
                              Utf8(cfg->GetName()) + " connects to " + name);
}

struct Subcommand {
  const char* name;
  int (*run)(const Arguments& args);
};

constexpr Subcommand kConfigSubcommands[] = {
    {"list", ConfigList},       {"add", ConfigAdd},         {"rename", ConfigRename},
    {"remove", ConfigRemove},   {"default", ConfigDefault}, {"connection", ConfigConnection},
};

// ---- run-order ------------------------------------------------------------

void PrintRunOrder(ProjectSession& session, CMyProjectCfg* cfg) {
  const CRunOrder& run_order = *cfg->GetRunOrder();
  if (run_order.IsEmpty()) {
    std::printf("run order of %s: none (a build deploys every item in tree order)\n",
                Utf8(cfg->GetName()).c_str());
    return;
  }
  std::printf("run order of %s:\n", Utf8(cfg->GetName()).c_str());
  std::vector<CFileVwFileNode*> nodes = run_order.GetItemList().FindEntryNodes(session.project());
  int number = 0;
  for (const auto& item : run_order.GetItems()) {
    std::printf("  %d. %s%s\n", number + 1, Utf8(item->GetFileName()).c_str(),
                nodes[static_cast<size_t>(number)] ? "" : "  (names no item of the project)");
    ++number;
  }
}

// The run-order name of an ITEM argument: the item's path relative to the
// project folder ("\"-separated, as the project file writes it), or its
// full path outside it. Empty with *error when the project has no such item.
WString RunOrderName(ProjectSession& session, const std::string& argument, std::string* error) {
  CFileVwBaseNode* node = session.FindNode(argument);
  if (node == nullptr || !IsFileKind(node->GetKindOf())) {
    *error = "the project has no item '" + argument + "'";
    return {};
  }
  WString name;
  (void)node->GetProjRelativePath(name);
  return name;
}

}  // namespace

int RunConfig(const Arguments& args) {
  if (args.empty())
    return BadUsage("config", "expected list, add, rename, remove, default or connection");
  for (const Subcommand& subcommand : kConfigSubcommands)
    if (args[0] == subcommand.name) return subcommand.run(Arguments(args.begin() + 1, args.end()));
  return BadUsage("config", "unknown subcommand '" + args[0] + "'");
}

int RunRunOrder(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--set", "--add", "--remove", "--clear", "--drop-missing"}, {}, 2, -1,
                      &parsed, &error))
    return BadUsage("run-order", error);
  const int edits = parsed.Has("--set") + parsed.Has("--add") + parsed.Has("--remove") +
                    parsed.Has("--clear");
  const bool takes_items = parsed.Has("--set") || parsed.Has("--add") || parsed.Has("--remove");
  if (edits > 1) return BadUsage("run-order", "give one of --set, --add, --remove and --clear");
  if (takes_items != (parsed.positional.size() > 2))
    return BadUsage("run-order", takes_items ? "name the items" : "items are given with --set, "
                                                                   "--add or --remove");
  ProjectSession session("run-order");
  int code = edits == 0 ? session.Open(parsed.positional[0])
                        : session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing"));
  if (code != kExitOk) return code;
  CMyProjectCfg* cfg = session.FindConfiguration(parsed.positional[1], &error);
  if (cfg == nullptr) return Fail("run-order", error);
  CRunOrder& run_order = *cfg->GetRunOrder();
  std::vector<WString> names;
  for (size_t i = 2; i < parsed.positional.size(); ++i) {
    names.push_back(RunOrderName(session, parsed.positional[i], &error));
    if (names.back().empty()) return Fail("run-order", error);
  }
  if (parsed.Has("--set") || parsed.Has("--clear")) run_order.Reset();
  for (const WString& name : names) {
    CRunOrderItem* present = run_order.GetItemList().FindByFileName(name);
    if (parsed.Has("--remove")) {
      if (present == nullptr)
        return Fail("run-order", "'" + Utf8(name) + "' is not in the run order of " +
                                     Utf8(cfg->GetName()));
      (void)run_order.GetItemList().DeleteItem(present);
    } else if (present != nullptr) {
      return Fail("run-order", "'" + Utf8(name) + "' is in the run order of " +
                                   Utf8(cfg->GetName()) + " already");
    } else {
      run_order.Add(name);
    }
  }
  if (edits > 0) {
    session.project()->SetDirty();
    if (int saved = session.SaveIfDirty()) return saved;
  }
  PrintRunOrder(session, cfg);
  return kExitOk;
}

namespace {

void PrintStartup(CMyProjectCfg* cfg) {
  CKV7DebuggingInfo& debugging = *cfg->get_DebuggingInfo();
  WString procedure;
  debugging.GetStartupProcedure(procedure);
  std::printf("configuration: %s\n", Utf8(cfg->GetName()).c_str());
  std::printf("startup procedure: %s\n", OrNone(procedure).c_str());
  for (const CParameter& parameter : debugging.GetStoredProcedure().GetParameters())
    std::printf("  %s %s = %s\n", Utf8(parameter.mode).c_str(), Utf8(parameter.name).c_str(),
                parameter.ValueIsDefined() ? Utf8(parameter.value).c_str() : "(no value)");
  std::printf("build for debug: %s\n", debugging.GetBuildForDebug() ? "true" : "false");
  std::printf("debug session timeout: %d\n", static_cast<int>(debugging.GetDebugSessionTimeout()));
  std::printf("longest variable value shown: %d\n",
              static_cast<int>(debugging.GetMaxVariableLengthDisplay()));
}

}  // namespace

int RunStartup(const Arguments& args) {
  ParsedArguments parsed;
  std::string error;
  if (!ParseArguments(args, {"--drop-missing"}, {"--param", "--build-for-debug"}, 2, 3, &parsed,
                      &error))
    return BadUsage("startup", error);
  const std::string build_for_debug = parsed.Option("--build-for-debug");
  if (parsed.HasOption("--build-for-debug") && build_for_debug != "true" &&
      build_for_debug != "false")
    return BadUsage("startup", "--build-for-debug takes true or false");
  for (const std::string& param : parsed.Values("--param"))
    if (param.find('=') == std::string::npos || param.front() == '=')
      return BadUsage("startup", "--param takes NAME=VALUE, not '" + param + "'");
  const bool changes = parsed.positional.size() == 3 || !parsed.options.empty();
  ProjectSession session("startup");
  int code = changes ? session.OpenForChange(parsed.positional[0], parsed.Has("--drop-missing"))
                     : session.Open(parsed.positional[0]);
  if (code != kExitOk) return code;
  CMyProjectCfg* cfg = session.FindConfiguration(parsed.positional[1], &error);
  if (cfg == nullptr) return Fail("startup", error);
  CKV7DebuggingInfo& debugging = *cfg->get_DebuggingInfo();
  if (parsed.positional.size() == 3) {
    // "schema.name" or a name alone.
    const std::string& procedure = parsed.positional[2];
    size_t dot = procedure.find('.');
    debugging.SetProcSchema(dot == std::string::npos ? u"" : FromUtf8(procedure.substr(0, dot)));
    debugging.SetProcName(FromUtf8(dot == std::string::npos ? procedure : procedure.substr(dot + 1)));
  }
  for (const std::string& param : parsed.Values("--param")) {
    size_t equals = param.find('=');
    HRESULT hr = debugging.SetParameterValue(FromUtf8(param.substr(0, equals)).c_str(),
                                             FromUtf8(param.substr(equals + 1)).c_str());
    if (FAILED(hr)) return FailStatus("startup", hr, "cannot set parameter '" + param + "'");
  }
  if (parsed.HasOption("--build-for-debug"))
    debugging.SetBuildForDebug(build_for_debug == "true" ? TRUE : FALSE);
  if (changes) {
    session.project()->SetDirty();
    if (int saved = session.SaveIfDirty()) return saved;
  }
  PrintStartup(cfg);
  return kExitOk;
}

}  // namespace kv7::cli
