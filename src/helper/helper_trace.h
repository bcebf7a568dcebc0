// Tracing inside the helper library: its operations are traced under the
// helper's component number, and operations that this build of the library
// does not offer yet answer E_NOTIMPL with a trace text that says so.
#pragma once

#include "kv7/trace/trace.h"

#define KV7_HELPER_TRACE_ENTRY(name, file) \
  KV7_TRACE_ENTRY_IN(::kv7::kTraceHelperComponent, name, 2, file)

#define KV7_HELPER_NOT_AVAILABLE(what)                                              \
  do {                                                                              \
    KV7_TRACE_TEXT(what " is not available in this build of the helper library"); \
    return KV7_TRACE_RETURN(E_NOTIMPL);                                             \
  } while (0)
