#include "kv7/util/ui_strings.h"

#include "kv7/resources/strings.h"
#include "kv7/trace/trace.h"

WString LoadUIString(UINT id) {
  KV7_TRACE_ENTRY("LoadUIString", 2, "UIStrings");
  const char16_t* text = KV7UIGetString(id);
  return text ? WString(text) : WString();
}

WString FormatUIString(UINT id, WStringView argument, UINT fallbackId) {
  KV7_TRACE_ENTRY("FormatUIString", 2, "UIStrings");
  WString format = LoadUIString(id);
  if (format.empty() && fallbackId != 0) format = LoadUIString(fallbackId);
  WString value(argument);
  return kv7::FormatW(format.c_str(), value.c_str());
}
