// The verbs of the user's global settings: the global options and the
// diagnostic log.
#pragma once

#include "verbs.h"

namespace kv7::cli {

// options [NAME [VALUE]]: lists every option, prints one, or sets one,
// saves the options document and has the system take the change.
int RunOptions(const Arguments& args);
// log [on FILE | off]: prints whether the log is on, or switches it.
int RunLog(const Arguments& args);

}  // namespace kv7::cli
