// The verbs of a project's items: a new item, an item's build settings,
// and the configuration document a deployment of an item sends.
#pragma once

#include "verbs.h"

namespace kv7::cli {

// new-item PROJECT FILENAME|KIND [--to FOLDER]
int RunNewItem(const Arguments& args);
// item-settings PROJECT ITEM [--config NAME] [--SETTING VALUE ...]
int RunItemSettings(const Arguments& args);
// config-doc PROJECT ITEM [--config NAME]
int RunConfigDoc(const Arguments& args);

}  // namespace kv7::cli
