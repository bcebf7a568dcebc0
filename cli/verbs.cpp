#include "verbs.h"

#include <algorithm>

#include "config_verbs.h"
#include "connection_verbs.h"
#include "options_verbs.h"
#include "project_verbs.h"

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
    {"connection", "list|show|add|remove ...",
     "list, show, add and remove the connections of the catalogue",
     "  list                       the connections; the default one is marked '*'\n"
     "  show NAME                  one connection (never its password)\n"
     "  add NAME --type sqlite|postgresql --database DB [--server HOST[:PORT]]\n"
     "      [--user USER] [--password-stdin] [--default]\n"
     "                             add a connection; a sqlite DB is a file, stored with\n"
     "                             its absolute path; the password is read from stdin\n"
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

}  // namespace kv7::cli
