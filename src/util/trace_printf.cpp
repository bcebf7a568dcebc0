#include "kv7/util/trace_printf.h"

#include <cstdarg>

#include "kv7/platform/wstring.h"
#include "kv7/trace/trace.h"

std::int32_t tracePrintfW(std::int32_t flags, const char16_t* format, ...) {
  KV7_TRACE_ENTRY_IN(::kv7::kTracePrintfComponent, "tracePrintfW", 9, "Trace");
  if (!kv7Trace_.entered()) return KV7_TRACE_RETURN(0);
  va_list args;
  va_start(args, format);
  WString text = kv7::FormatWV(format, args);
  va_end(args);
  if (text.size() > kTracePrintfLimit) text.resize(kTracePrintfLimit);
  traceTextWAPI(kv7TraceHandle_, flags, text.c_str(), __LINE__);
  return KV7_TRACE_RETURN(static_cast<std::int32_t>(text.size()));
}
