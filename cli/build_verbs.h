// The build verbs: build, clean, compile and plan.
#pragma once

#include "verbs.h"

namespace kv7::cli {

// build PROJECT [--config NAME] [--rebuild]
int RunBuild(const Arguments& args);
// clean PROJECT [--config NAME]
int RunClean(const Arguments& args);
// compile PROJECT ITEM [--config NAME]
int RunCompile(const Arguments& args);
// plan PROJECT [--config NAME] [--rebuild]
int RunPlan(const Arguments& args);

}  // namespace kv7::cli
