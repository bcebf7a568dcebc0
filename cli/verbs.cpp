#include "verbs.h"

#include <algorithm>

#include "build_verbs.h"
#include "config_verbs.h"
#include "connection_verbs.h"
#include "item_verbs.h"
#include "kv7/util/logging.h"
#include "kv7/util/utilities.h"
#include "options_verbs.h"
#include "project_session.h"
#include "project_verbs.h"
#include "session_verbs.h"

namespace kv7::cli {
namespace {

constexpr const char kDropMissing[] =
    "  --drop-missing  go on when items or folders listed in the project are missing on\n"
    "                  disk; saving then drops them from the project file\n";

constexpr Verb kVerbs[] = {
    {"new", "DIR/NAME.kv7p", "create a project with its default folders",
     "  DIR/NAME.kv7p   the project file to create; DIR is created when missing, and the\n"
     "                  folders Tables, Indexes, Triggers, Views, Procedures, Functions\n"
     "                  and Scripts are made beside the file\n",
     "kv7 new shop/Shop.kv7p", 0, RunNew},
    {"show", "PROJECT", "print the project's settings and its tree of folders and items",
     "  PROJECT  the project file (.kv7p); a file of a newer format opens for reading\n",
     "kv7 show shop/Shop.kv7p", 0, RunShow},
    {"add", "PROJECT FILE... [--to FOLDER] [--drop-missing]",
     "add existing files to the project where they are",
     "  FILE...         files to add, relative to the current directory; a file already\n"
     "                  in the project, in any folder, is refused\n"
     "  --to FOLDER     the project folder to add them to (a path inside the project,\n"
     "                  \"/\" or \"\\\" separated); default: the project's top level\n",
     "kv7 add shop/Shop.kv7p shop/Tables/orders.kv7tbl --to Tables", 0, RunAdd},
    {"mkdir", "PROJECT FOLDER [--drop-missing]", "create a folder and its directory",
     "  FOLDER  the new folder: a name (made at the project's top level) or a path whose\n"
     "          parent is an existing folder of the project\n",
     "kv7 mkdir shop/Shop.kv7p Tables/Archive", 0, RunMkdir},
    {"rename", "PROJECT ITEM|FOLDER NEWNAME [--drop-missing]",
     "rename an item or folder on disk and in the project",
     "  ITEM|FOLDER  what to rename: a path inside the project or an absolute path\n"
     "  NEWNAME      the new file or directory name; an item's kind follows its\n"
     "               extension, so a new extension may change it\n",
     "kv7 rename shop/Shop.kv7p Tables/orders.kv7tbl order.kv7tbl", 0, RunRename},
    {"remove", "PROJECT ITEM|FOLDER [--delete] [--drop-missing]",
     "take an item or folder out of the project",
     "  ITEM|FOLDER  what to remove: a path inside the project or an absolute path\n"
     "  --delete     delete it from disk too\n",
     "kv7 remove shop/Shop.kv7p Tables/old.kv7tbl --delete", 0, RunRemove},
    {"upgrade", "PROJECT [--drop-missing]",
     "save a project of an older format version as version 3",
     "  PROJECT  the project file; one already at version 3 is left as it is\n",
     "kv7 upgrade old/Legacy.kv7p", 0, RunUpgrade},
    {"config", "list|add|rename|remove|default|connection PROJECT ...",
     "list a project's configurations, add, rename or remove one, name the default, or set "
     "one's connection",
     "  list PROJECT                      the configurations (full names, \"Debug|Win32\") and\n"
     "                                    their connections; '*' marks the one builds use when\n"
     "                                    none is named (the default, else the first)\n"
     "  add PROJECT NAME [--clone FROM]   a configuration on every platform, empty or a copy\n"
     "                                    of FROM's connection, run order and startup settings\n"
     "                                    (never of what FROM built)\n"
     "  rename PROJECT OLD NEW            rename; what it built stays built\n"
     "  remove PROJECT NAME               remove (a project keeps at least one)\n"
     "  default PROJECT CONFIG            make CONFIG the project's default configuration\n"
     "  connection PROJECT CONFIG NAME    connect CONFIG to the catalogue's connection NAME;\n"
     "                                    every item then counts as not built\n"
     "  CONFIG is a full name or a configuration name; names compare ignoring case.\n"
     "  --drop-missing                    (changes) go on when items or folders listed in the\n"
     "                                    project are missing on disk\n",
     "kv7 config add shop/Shop.kv7p Test --clone Debug", 1, RunConfig},
    {"run-order", "PROJECT CONFIG [--set|--add|--remove ITEM... | --clear] [--drop-missing]",
     "print or edit the order in which a configuration deploys its items",
     "  CONFIG    a full name (\"Debug|Win32\") or a configuration name\n"
     "  --set     the run order becomes the ITEMs, in the order given\n"
     "  --add     append the ITEMs\n"
     "  --remove  take the ITEMs out\n"
     "  --clear   empty it: a build then deploys every item in tree order\n"
     "  ITEM      an item of the project (a path inside it, or absolute); when the run order\n"
     "            names at least one item, a build deploys exactly those, in that order\n",
     "kv7 run-order shop/Shop.kv7p Debug --set Tables/customers.kv7tbl Tables/orders.kv7tbl",
     0, RunRunOrder},
    {"startup", "PROJECT CONFIG [PROCEDURE] [--param NAME=VALUE ...] "
                "[--build-for-debug true|false] [--drop-missing]",
     "print or edit a configuration's startup procedure and debugging settings",
     "  PROCEDURE            the procedure that starting the project runs: NAME or SCHEMA.NAME\n"
     "  --param NAME=VALUE   the value the procedure's parameter NAME is run with (a new\n"
     "                       name adds an input parameter); may be given several times\n"
     "  --build-for-debug    whether items are deployed for debugging\n",
     "kv7 startup shop/Shop.kv7p Debug app.place_order --param customer=42", 0, RunStartup},
    {"build", "PROJECT [--config NAME] [--rebuild] [--json]",
     "deploy the configuration's changed items to its database, in run order",
     "  --config NAME  the configuration (default: the one builds use by default)\n"
     "  --rebuild      deploy every item again, also those the database holds as they\n"
     "                 are (a table that holds rows is never replaced)\n"
     "  --json         JSON Lines on stdout: an item event per item, then a summary\n"
     "                 event (see the README); the build pane goes to stderr\n"
     "  The build pane shows each item's result; a summary line follows. The build\n"
     "  stops at the first item that fails, which rolls back whole. Ctrl-C rolls back\n"
     "  the running item and ends the build. Exit 0 when the build succeeded, 1 when\n"
     "  it failed.\n",
     "kv7 build shop/Shop.kv7p --config Debug", 0, RunBuild},
    {"plan", "PROJECT [--config NAME] [--rebuild] [--json]",
     "show what a build would deploy and why, changing nothing",
     "  --config NAME  the configuration (default: the one builds use by default)\n"
     "  --rebuild      plan a rebuild\n"
     "  --json         JSON Lines on stdout, as build writes them\n"
     "  Each item in build order: deploy (never built, changed since its last build) or\n"
     "  skip (excluded, not in the run order, unchanged). The database is not asked:\n"
     "  an item whose file changed but whose text did not is deployed as unchanged.\n",
     "kv7 plan shop/Shop.kv7p", 0, RunPlan},
    {"clean", "PROJECT [--config NAME] [--json]",
     "forget what the configuration built, so that its next build deploys every item",
     "  --config NAME  the configuration (default: the one builds use by default)\n"
     "  --json         a summary event on stdout\n"
     "  Nothing in the database changes.\n",
     "kv7 clean shop/Shop.kv7p --config Release", 0, RunClean},
    {"compile", "PROJECT ITEM [--config NAME]",
     "deploy one item now, even when it is excluded or unchanged",
     "  ITEM           the item (a path inside the project, or absolute)\n"
     "  --config NAME  the configuration (default: the one builds use by default)\n",
     "kv7 compile shop/Shop.kv7p Views/order_totals.kv7vw", 0, RunCompile},
    {"run", "PROJECT [--config NAME] [--json]",
     "run the configuration's startup procedure with its saved parameter values",
     "  --config NAME  the configuration (default: the one builds use by default)\n"
     "  --json         a run event (result, rows, out values, notices) and a summary\n"
     "                 event on stdout; the build pane goes to stderr\n"
     "  The procedure is named with kv7 startup; every input parameter needs a value.\n"
     "  Exit 0 when it ran, 1 when it was refused or failed.\n",
     "kv7 run shop/Shop.kv7p --config Release", 0, RunRun},
    {"new-item", "PROJECT FILENAME|KIND [--to FOLDER] [--drop-missing]",
     "create an empty item with a name of its own and add it to the project",
     "  FILENAME     the new file's name (\"orders.kv7tbl\"); a number is added when the\n"
     "               name is taken\n"
     "  KIND         table, procedure, view, trigger, function, statement, script,\n"
     "               command set or index: a file named after the kind (\"View.kv7vw\")\n"
     "  --to FOLDER  the folder to create it in; default: the folder of its kind, made\n"
     "               when the project has none (statements and command sets: the\n"
     "               project's top level)\n",
     "kv7 new-item shop/Shop.kv7p view", 0, RunNewItem},
    {"item-settings", "PROJECT ITEM [--config NAME] [--SETTING VALUE ...] [--drop-missing]",
     "print or set an item's build settings in one configuration",
     "  --config NAME   the configuration (default: the one builds use by default)\n"
     "  --exclude true|false                  leave the item out of builds\n"
     "  --use-connection-settings true|false  (procedures) take the options of the\n"
     "                                        connection instead of the item's own\n"
     "  --external-security, --build-owner, --precompile-options, --link-options,\n"
     "  --bind-options, --prelink-options, --compile-options, --selected-build-utility,\n"
     "  --build-utilities A,B, --runtime-options, --wlm-environment, --stay-resident,\n"
     "  --collection-id      (procedures and functions) their build options\n"
     "  Settings live with the open project only: they reach the builds run while it\n"
     "  is open; use kv7 shell to keep them across commands.\n",
     "kv7 item-settings shop/Shop.kv7p Tables/orders.kv7tbl --exclude true", 0,
     RunItemSettings},
    {"config-doc", "PROJECT ITEM [--config NAME]",
     "print the configuration document a deployment of an item would send",
     "  --config NAME  the configuration (default: the one builds use by default)\n",
     "kv7 config-doc shop/Shop.kv7p Procedures/place_order.kv7sp --config Release", 0,
     RunConfigDoc},
    {"process-xml", "FILE [--contents TEXT]",
     "run a project command document against the projects it names",
     "  FILE            a KV7PROJECT_XML_TO_PROCESS document (without an XML declaration)\n"
     "                  whose commands create or open projects, write project lists, or\n"
     "                  create items in open projects; each command's result is printed,\n"
     "                  and the run stops at the first that fails\n"
     "  --contents TEXT the text of an item created without contents of its own\n",
     "kv7 process-xml commands.xml", -1, RunProcessXml},
    {"shell", "PROJECT",
     "keep a project open and run commands read from stdin, one a line",
     "  PROJECT  the project every line works on; a line is a command with its arguments\n"
     "           but without PROJECT (\"add Tables/a.kv7tbl --to Tables\"); quotes and\n"
     "           backslashes work as in a shell, \"#\" starts a comment. A line that fails\n"
     "           is reported with its number and the shell goes on; the project is saved\n"
     "           when a line changes it and at the end. Item build settings last as long\n"
     "           as the shell.\n",
     "kv7 shell Shop.kv7p < steps.txt", 0, RunShell},
    {"connection", "list|show|add|remove ...",
     "list, show, add and remove the connections of the catalogue",
     "  list                       the connections; the default one is marked '*'\n"
     "  show NAME                  one connection (never its password)\n"
     "  add NAME --type sqlite|postgresql --database DB [--server HOST[:PORT]]\n"
     "      [--user USER] [--password-stdin] [--default] [--project-relative]\n"
     "                             add a connection; a sqlite DB is a file, stored with\n"
     "                             its absolute path, or with --project-relative as given:\n"
     "                             each project then deploys to that file in its own\n"
     "                             folder; the password is read from stdin\n"
     "                             with --password-stdin, else from KV7_PASSWORD; the\n"
     "                             first connection, or one added with --default, is\n"
     "                             the default\n"
     "  remove NAME                remove a connection\n",
     "kv7 connection add shop --type sqlite --database shop.db", -1, RunConnection},
    {"options", "[NAME [VALUE]]", "list the global options, print one, or set one and save it",
     "  NAME   an option as listed, in any letter case\n"
     "  VALUE  true or false for a boolean; a whole number, not negative, for a number;\n"
     "         any text for a text option, where \"\" clears it (it then reads as its\n"
     "         default when it has one)\n",
     "kv7 options HideExt true", -1, RunOptions},
    {"log", "[on FILE | off]", "show whether the diagnostic log is on, or switch it",
     "  on FILE  switch the log on, writing to FILE (it must be writable); every kv7 run\n"
     "           then appends one line: time, verb, project, result\n"
     "  off      switch the log off for later runs\n",
     "kv7 log on /tmp/kv7.log", -1, RunLog},
};

}  // namespace

std::span<const Verb> Verbs() { return kVerbs; }

const Verb* FindVerb(std::string_view name) {
  auto found = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                            [name](const Verb& verb) { return name == verb.name; });
  return found == std::end(kVerbs) ? nullptr : found;
}

void PrintVerbHelp(const Verb& verb, std::FILE* out) {
  std::fprintf(out, "usage: kv7 %s %s\n\n%s\n\n%s", verb.name, verb.arguments, verb.summary,
               verb.details);
  if (std::string_view(verb.arguments).find("--drop-missing") != std::string_view::npos)
    std::fputs(kDropMissing, out);
  std::fprintf(out, "\nexample:\n  %s\n", verb.example);
}

namespace {

// Whether the arguments ask for the verb's help.
bool AsksForHelp(const Arguments& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

// One line per run in the diagnostic log, when it is on: time, verb,
// project and result.
void LogRun(const Verb& verb, const Arguments& args, int code) {
  std::string project;
  int positional = 0;
  for (const std::string& arg : args) {
    if (arg.starts_with("--")) continue;
    if (positional++ == verb.projectArgument) {
      project = ' ' + ToUtf8(AbsolutePath(arg));
      break;
    }
  }
  static constexpr const char16_t* kResults[] = {u"ok", u"failed", u"bad usage"};
  WString time;
  GetCurrentTimeAsString(time);
  (void)LOGINFO(u"%s kv7 %s%s: %s", time.c_str(), FromUtf8(verb.name).c_str(),
                FromUtf8(project).c_str(), kResults[code >= 0 && code <= 2 ? code : 1]);
}

}  // namespace

int RunVerb(const Verb& verb, const Arguments& args) {
  if (AsksForHelp(args)) {
    PrintVerbHelp(verb, stdout);
    return kExitOk;
  }
  int code = verb.run(args);
  LogRun(verb, args, code);
  return code;
}

}  // namespace kv7::cli
