// The verbs that keep projects open across several steps: a project
// command document run against the projects it names, and the shell.
#pragma once

#include "verbs.h"

namespace kv7::cli {

// process-xml FILE [--contents TEXT]
int RunProcessXml(const Arguments& args);
// shell PROJECT: verbs read from stdin, one a line, on one open project.
int RunShell(const Arguments& args);

}  // namespace kv7::cli
