// The system's user-visible texts, loaded by number from the user-interface
// resource library.
#pragma once

#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"

// The text of string resource `id`; empty when there is none.
WString LoadUIString(UINT id);

// The text of `id` with its "%s" filled by `argument`; `fallbackId` serves
// when `id` has no text.
WString FormatUIString(UINT id, WStringView argument, UINT fallbackId = 0);
