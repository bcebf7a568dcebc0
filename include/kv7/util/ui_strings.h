// The system's user-visible texts, loaded by number from the user-interface
// resource library.
#pragma once

#include <initializer_list>

#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"

// The text of string resource `id`; empty when there is none.
WString LoadUIString(UINT id);

// The text of `id` with its "%s" filled by `argument`; `fallbackId` serves
// when `id` has no text.
WString FormatUIString(UINT id, WStringView argument, UINT fallbackId = 0);

// The text of `id` (or `fallback` when it has none) as a message format:
// each numbered insert "%1" ... "%99" takes the insert of that number and
// "%%" stands for "%"; anything else, an insert without a value included,
// stays as written.
WString FormatUIStringInserts(UINT id, const char16_t* fallback,
                              std::initializer_list<WStringView> inserts);
