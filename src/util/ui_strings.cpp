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

WString FormatUIStringInserts(UINT id, const char16_t* fallback,
                              std::initializer_list<WStringView> inserts) {
  KV7_TRACE_ENTRY("FormatUIStringInserts", 2, "UIStrings");
  WString format = LoadUIString(id);
  if (format.empty() && fallback != nullptr) format = fallback;
  // The digit at `at` as a number; -1 past the end or for another character.
  auto digit = [&format](size_t at) {
    return at < format.size() && format[at] >= u'0' && format[at] <= u'9' ? format[at] - u'0'
                                                                           : -1;
  };
  WString text;
  for (size_t at = 0; at < format.size(); ++at) {
    if (format[at] == u'%' && at + 1 < format.size() && format[at + 1] == u'%') {
      text += u'%';
      ++at;
      continue;
    }
    int number = format[at] == u'%' ? digit(at + 1) : -1;
    if (number <= 0) {
      text += format[at];
      continue;
    }
    size_t length = 2;
    if (digit(at + 2) >= 0) {
      number = number * 10 + digit(at + 2);
      length = 3;
    }
    if (static_cast<size_t>(number) <= inserts.size())
      text += inserts.begin()[number - 1];
    else
      text.append(format, at, length);
    at += length - 1;
  }
  return text;
}
