// The build verbs: build, plan, clean, compile and run.
#pragma once

#include "verbs.h"

namespace kv7::cli {

// build PROJECT [--config NAME] [--rebuild] [--json]
int RunBuild(const Arguments& args);
// clean PROJECT [--config NAME] [--json]
int RunClean(const Arguments& args);
// compile PROJECT ITEM [--config NAME]
int RunCompile(const Arguments& args);
// plan PROJECT [--config NAME] [--rebuild] [--json]
int RunPlan(const Arguments& args);
// run PROJECT [--config NAME] [--json]
int RunRun(const Arguments& args);

}  // namespace kv7::cli
