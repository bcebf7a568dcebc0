#include "verbs.h"

#include "connection_verbs.h"
#include "options_verbs.h"
#include "project_verbs.h"

namespace kv7::cli {
namespace {

constexpr Verb kVerbs[] = {
    {"new", "new DIR/NAME.kv7p", "create a project with its default folders", RunNew},
    {"show", "show PROJECT", "print the project's settings and its tree of folders and items",
     RunShow},
    {"add", "add PROJECT FILE... [--to FOLDER]", "add existing files where they are", RunAdd},
    {"mkdir", "mkdir PROJECT FOLDER", "create a folder and its directory", RunMkdir},
    {"rename", "rename PROJECT ITEM|FOLDER NEWNAME",
     "rename an item or folder on disk and in the project", RunRename},
    {"remove", "remove PROJECT ITEM|FOLDER [--delete]",
     "take an item or folder out of the project (--delete: from disk too)", RunRemove},
    {"upgrade", "upgrade PROJECT", "save a project of an older format version as version 3",
     RunUpgrade},
    {"connection", "connection list|show|add|remove ...",
     "list, show, add and remove catalogue connections (see 'kv7 connection --help')",
     RunConnection},
    {"options", "options [NAME [VALUE]]",
     "list the global options, print one, or set one and save it", RunOptions},
    {"log", "log [on FILE | off]", "show whether the diagnostic log is on, or switch it",
     RunLog},
};

}  // namespace

std::span<const Verb> Verbs() { return kVerbs; }

}  // namespace kv7::cli
