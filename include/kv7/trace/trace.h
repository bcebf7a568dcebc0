// The trace library (libkv7vutil) and the bracket that every public
// operation of the system puts around its body.
//
// The library is switched on by KV7_TRACE=<max level> (1..9) when it loads
// and writes one line per record to KV7_TRACE_FILE, or to stderr. Each
// traced operation owns one static handle, zero until its first recorded
// entry; the library hands out handles and remembers the operation's name.
//
// Usage, at the top of an operation:
//   KV7_TRACE_ENTRY("CKV7ConnInfo::ParseXML", 2, "KV7ConnInfo");
//   ...
//   return KV7_TRACE_RETURN(hr);    // records the result and the line
// Exit is recorded on every path when the handle is non-zero; a path that
// returns without KV7_TRACE_RETURN records 0 at the entry's line. When tracing is off the entry
// costs a load and a compare, and so does the exit.
#pragma once

#include <cstdint>

#include "kv7/platform/hresult.h"

extern "C" {

// Non-zero when tracing is switched on.
extern std::int32_t traceOn;
// Highest level that is traced.
extern std::int32_t traceMaxLevel;

// Registers an entry of the operation `name` (component, level, source unit
// and line); returns the operation's handle (the given one when non-zero).
std::int32_t traceEntryAPI(std::int32_t handle, const char* name, std::int32_t component,
                           std::int32_t level, const char* file, std::int32_t line);
void traceExitAPI(std::int32_t handle, std::int32_t result, std::int32_t line);
void traceErrorAPI(std::int32_t handle, std::int32_t flags, const char* message,
                   std::int32_t status, std::int32_t line);
void traceTextAPI(std::int32_t handle, std::int32_t flags, const char* text, std::int32_t line);
void traceTextWAPI(std::int32_t handle, std::int32_t flags, const char16_t* text,
                   std::int32_t line);
void traceXMLWAPI(std::int32_t handle, std::int32_t kind, const char16_t* xml,
                  std::int32_t line);

}  // extern "C"

namespace kv7 {

// Component numbers: the system's own operations, the system's formatted
// trace helper, and the helper library.
inline constexpr std::int32_t kTraceComponent = 1;
inline constexpr std::int32_t kTracePrintfComponent = 8;
inline constexpr std::int32_t kTraceHelperComponent = 2;

// The entry/exit bracket of one call of a traced operation.
class TraceScope {
 public:
  TraceScope(std::int32_t& handle, const char* name, std::int32_t level, const char* file,
             std::int32_t line, std::int32_t component = kTraceComponent)
      : handle_(handle), line_(line) {
    if (traceOn != 0 && traceMaxLevel >= level) [[unlikely]] {
      handle_ = traceEntryAPI(handle_, name, component, level, file, line);
      entered_ = true;
    }
  }
  ~TraceScope() {
    if (handle_ != 0) [[unlikely]]
      traceExitAPI(handle_, result_, line_);
  }
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;

  // Records the result and the line of the return, and passes the result on.
  template <class T>
  T Return(T result, std::int32_t line) {
    result_ = static_cast<std::int32_t>(result);
    line_ = line;
    return result;
  }

  // Whether this call's entry was recorded.
  bool entered() const { return entered_; }
  void Error(const char* message, HRESULT status, std::int32_t line) const {
    if (handle_ != 0) traceErrorAPI(handle_, 0, message, status, line);
  }
  void Text(const char* text, std::int32_t line) const {
    if (handle_ != 0) traceTextAPI(handle_, 0, text, line);
  }
  void TextW(const char16_t* text, std::int32_t line) const {
    if (handle_ != 0) traceTextWAPI(handle_, 0, text, line);
  }
  void XML(std::int32_t kind, const char16_t* xml, std::int32_t line) const {
    if (handle_ != 0) traceXMLWAPI(handle_, kind, xml, line);
  }

 private:
  std::int32_t& handle_;
  std::int32_t line_;
  std::int32_t result_ = 0;
  bool entered_ = false;
};

}  // namespace kv7

#define KV7_TRACE_ENTRY_IN(component, name, level, file) \
  static std::int32_t kv7TraceHandle_ = 0;               \
  ::kv7::TraceScope kv7Trace_(kv7TraceHandle_, name, level, file, __LINE__, component)
#define KV7_TRACE_ENTRY(name, level, file) \
  KV7_TRACE_ENTRY_IN(::kv7::kTraceComponent, name, level, file)
#define KV7_TRACE_RETURN(result) kv7Trace_.Return(result, __LINE__)
#define KV7_TRACE_ERROR(message, status) kv7Trace_.Error(message, status, __LINE__)
#define KV7_TRACE_TEXT(text) kv7Trace_.Text(text, __LINE__)
#define KV7_TRACE_TEXTW(text) kv7Trace_.TextW(text, __LINE__)
#define KV7_TRACE_XML(kind, xml) kv7Trace_.XML(kind, xml, __LINE__)
