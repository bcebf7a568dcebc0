#include <chrono>

#include "kv7/platform/files.h"
#include "kv7/trace/trace.h"
#include "kv7/util/utilities.h"
#include "util/text_input.h"

using Clock = std::chrono::system_clock;

WString CTime::Format(const char16_t* format) const {
  return kv7::FormatLocalTime(Clock::from_time_t(time_), format);
}

HRESULT GetFileModifiedDate(const char16_t* path, SYSTEMTIME& out) {
  KV7_TRACE_ENTRY("GetFileModifiedDate", 2, "Utilities");
  FILETIME written;
  if (FAILED(kv7::GetLastWriteTime(TextOf(path), &written))) return KV7_TRACE_RETURN(E_FAIL);
  out = kv7::ToSystemTime(written, kv7::TimeZone::Local);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT GetFileModifiedDate(const char16_t* path, WString& out) {
  KV7_TRACE_ENTRY("GetFileModifiedDate", 2, "Utilities");
  SYSTEMTIME written;
  HRESULT hr = GetFileModifiedDate(path, written);
  if (SUCCEEDED(hr)) out = kv7::FormatLocalTime(written, kKV7TimeFormat);
  return KV7_TRACE_RETURN(hr);
}

void GetCurrentTimeAsString(WString& out) {
  KV7_TRACE_ENTRY("GetCurrentTimeAsString", 2, "Utilities");
  out = kv7::FormatLocalTime(Clock::now(), kKV7TimeFormat);
}

CTime* CTimeFromString(const char16_t* text) {
  KV7_TRACE_ENTRY("CTimeFromString", 2, "Utilities");
  kv7::TimePoint time;
  if (FAILED(kv7::ParseLocalTime(TextOf(text), &time))) return new CTime();
  return new CTime(Clock::to_time_t(time));
}
