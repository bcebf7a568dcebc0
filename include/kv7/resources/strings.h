// The user-interface resource library (libkv7ui): the system's user-visible
// texts (messages, captions, pane titles, default folder names, copy-name
// formats), looked up by number as the platform's string resources were.
#pragma once

#include "kv7/platform/types.h"

extern "C" {

// The text of string resource `id`, or null when the table has none.
// The text lives as long as the library stays loaded.
const char16_t* KV7UIGetString(UINT id);

}  // extern "C"
