// The verbs that act on one project.
#pragma once

#include "verbs.h"

namespace kv7::cli {

int RunNew(const Arguments& args);
int RunShow(const Arguments& args);
int RunAdd(const Arguments& args);
int RunMkdir(const Arguments& args);
int RunRename(const Arguments& args);
int RunRemove(const Arguments& args);
int RunUpgrade(const Arguments& args);

}  // namespace kv7::cli
