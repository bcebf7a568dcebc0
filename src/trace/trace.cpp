// The trace library: switched on by KV7_TRACE=<max level> when the library
// loads; records go to KV7_TRACE_FILE (appended) or to stderr, one line each:
//   <seconds.micros> <thread> ENTER <name> [<component>/<level>] <file>:<line>
//   <seconds.micros> <thread> EXIT  <name> = 0x<result> :<line>
// and ERROR, TEXT and XML records in the same shape.
#include "kv7/trace/trace.h"

#include <unicode/ustring.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

std::int32_t traceOn = 0;
std::int32_t traceMaxLevel = 0;

namespace {

struct TraceState {
  std::mutex lock;
  std::FILE* out = stderr;
  std::vector<std::string> operations;  // handle n names operations[n - 1]
};

TraceState& State() {
  static TraceState* state = new TraceState;  // lives until exit, never freed
  return *state;
}

__attribute__((constructor)) void SwitchOnFromEnvironment() {
  const char* level = std::getenv("KV7_TRACE");
  if (level == nullptr || *level == 0) return;
  long max = std::strtol(level, nullptr, 10);
  if (max <= 0) return;
  TraceState& state = State();
  if (const char* file = std::getenv("KV7_TRACE_FILE"); file && *file) {
    if (std::FILE* out = std::fopen(file, "a")) state.out = out;
  }
  traceMaxLevel = static_cast<std::int32_t>(max);
  traceOn = 1;
}

const char* NameOf(TraceState& state, std::int32_t handle) {
  if (handle <= 0 || static_cast<size_t>(handle) > state.operations.size()) return "?";
  return state.operations[static_cast<size_t>(handle) - 1].c_str();
}

// Writes one record under the lock: time, thread, then the caller's text.
template <class... Args>
void Write(TraceState& state, const char* format, Args... args) {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  long long micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
  std::fprintf(state.out, "%lld.%06lld %ld ", micros / 1000000, micros % 1000000,
               static_cast<long>(syscall(SYS_gettid)));
  std::fprintf(state.out, format, args...);
  std::fputc('\n', state.out);
  std::fflush(state.out);
}

std::string Narrow(const char16_t* text) {
  if (text == nullptr) return "(null)";
  std::string out;
  int32_t needed = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(nullptr, 0, &needed, text, -1, 0xFFFD, nullptr, &status);
  out.resize(static_cast<size_t>(needed));
  status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), needed, &needed, text, -1, 0xFFFD, nullptr, &status);
  return out;
}

}  // namespace

extern "C" {

std::int32_t traceEntryAPI(std::int32_t handle, const char* name, std::int32_t component,
                           std::int32_t level, const char* file, std::int32_t line) {
  TraceState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  if (handle == 0) {
    state.operations.emplace_back(name ? name : "?");
    handle = static_cast<std::int32_t>(state.operations.size());
  }
  Write(state, "ENTER %s [%d/%d] %s:%d", NameOf(state, handle), component, level,
        file ? file : "?", line);
  return handle;
}

void traceExitAPI(std::int32_t handle, std::int32_t result, std::int32_t line) {
  TraceState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Write(state, "EXIT  %s = 0x%08X :%d", NameOf(state, handle),
        static_cast<unsigned>(result), line);
}

void traceErrorAPI(std::int32_t handle, std::int32_t flags, const char* message,
                   std::int32_t status, std::int32_t line) {
  TraceState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Write(state, "ERROR %s (%d) %s = 0x%08X :%d", NameOf(state, handle), flags,
        message ? message : "", static_cast<unsigned>(status), line);
}

void traceTextAPI(std::int32_t handle, std::int32_t flags, const char* text, std::int32_t line) {
  TraceState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Write(state, "TEXT  %s (%d) %s :%d", NameOf(state, handle), flags, text ? text : "", line);
}

void traceTextWAPI(std::int32_t handle, std::int32_t flags, const char16_t* text,
                   std::int32_t line) {
  std::string narrow = Narrow(text);
  TraceState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Write(state, "TEXT  %s (%d) %s :%d", NameOf(state, handle), flags, narrow.c_str(), line);
}

void traceXMLWAPI(std::int32_t handle, std::int32_t kind, const char16_t* xml,
                  std::int32_t line) {
  std::string narrow = Narrow(xml);
  TraceState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Write(state, "XML   %s (%d) %s :%d", NameOf(state, handle), kind, narrow.c_str(), line);
}

}  // extern "C"
