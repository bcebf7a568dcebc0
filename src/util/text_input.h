// Text inputs of the exported utilities are null-terminated wide strings in
// which null reads as empty.
#pragma once

#include "kv7/platform/wstring.h"

inline WStringView TextOf(const char16_t* text) {
  return text ? WStringView(text) : WStringView();
}
