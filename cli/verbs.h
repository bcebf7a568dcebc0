// The CLI's verb table: one entry per verb with its help and the function
// that runs it. `kv7 --help` lists the verbs; `kv7 VERB --help` and
// `kv7 help VERB` print one verb's help.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report.h"

namespace kv7::cli {

using Arguments = std::vector<std::string>;

struct Verb {
  const char* name;
  // The arguments after the verb, as the usage line shows them.
  const char* arguments;
  // One line: what the verb does.
  const char* summary;
  // What each argument and option means, one per line.
  const char* details;
  const char* example;
  // Which positional argument names a project file (the one after a
  // subcommand for "config"); -1 for none.
  int projectArgument;
  int (*run)(const Arguments& args);
};

// Every verb, in the order `kv7 --help` lists them.
std::span<const Verb> Verbs();
// The verb of that name, or null.
const Verb* FindVerb(std::string_view name);
// Prints the verb's usage line, summary, details and example.
void PrintVerbHelp(const Verb& verb, std::FILE* out);
// Runs a verb as the command line does: its help when the arguments ask
// for it, else the verb, with one line in the diagnostic log. The exit code.
int RunVerb(const Verb& verb, const Arguments& args);

}  // namespace kv7::cli
