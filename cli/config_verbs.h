// The verbs of a project's configurations: the configurations themselves
// with their connections, the run order of each, and each one's startup
// procedure and debugging settings.
#pragma once

#include "verbs.h"

namespace kv7::cli {

// config list|add|rename|remove|default|connection PROJECT ...
int RunConfig(const Arguments& args);
// run-order PROJECT CONFIG [--set|--add|--remove ITEM... | --clear]
int RunRunOrder(const Arguments& args);
// startup PROJECT CONFIG [PROCEDURE] [--param NAME=VALUE ...] [--build-for-debug true|false]
int RunStartup(const Arguments& args);

}  // namespace kv7::cli
