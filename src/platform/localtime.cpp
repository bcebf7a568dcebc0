#include "kv7/platform/localtime.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

namespace kv7 {

namespace {

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
// 1601-01-01 to 1970-01-01 in 100-ns intervals.
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000;

// strftime into a growing buffer. A space is appended to the format so
// that an empty result is told apart from a buffer too small.
WString Strftime(const std::tm& fields, const char16_t* format) {
  if (format == nullptr) return WString();
  std::string pattern = ToUtf8(format) + " ";
  std::string buffer(128, '\0');
  while (buffer.size() <= 65536) {
    size_t n = std::strftime(buffer.data(), buffer.size(), pattern.c_str(), &fields);
    if (n > 0) return FromUtf8(std::string_view(buffer.data(), n - 1));
    buffer.resize(buffer.size() * 4);
  }
  return WString();
}

SYSTEMTIME FromFields(const std::tm& fields, std::chrono::milliseconds ms) {
  SYSTEMTIME out;
  out.wYear = static_cast<WORD>(fields.tm_year + 1900);
  out.wMonth = static_cast<WORD>(fields.tm_mon + 1);
  out.wDayOfWeek = static_cast<WORD>(fields.tm_wday);
  out.wDay = static_cast<WORD>(fields.tm_mday);
  out.wHour = static_cast<WORD>(fields.tm_hour);
  out.wMinute = static_cast<WORD>(fields.tm_min);
  out.wSecond = static_cast<WORD>(fields.tm_sec);
  out.wMilliseconds = static_cast<WORD>(ms.count());
  return out;
}

std::tm ToFields(const SYSTEMTIME& calendar) {
  std::tm fields{};
  fields.tm_year = calendar.wYear - 1900;
  fields.tm_mon = calendar.wMonth - 1;
  fields.tm_mday = calendar.wDay;
  fields.tm_hour = calendar.wHour;
  fields.tm_min = calendar.wMinute;
  fields.tm_sec = calendar.wSecond;
  fields.tm_isdst = -1;
  return fields;
}

// mktime on local fields; false when the time cannot be represented. The
// weekday, which mktime always sets on success, tells failure apart from
// the valid result -1 (one second before 1970 UTC).
bool MakeLocalTime(std::tm& fields, std::time_t* out) {
  fields.tm_wday = -1;
  *out = std::mktime(&fields);
  return fields.tm_wday != -1;
}

bool IsValid(const SYSTEMTIME& c) {
  using namespace std::chrono;
  return c.wYear >= 1601 && c.wYear <= 30827 &&
         year_month_day(year(c.wYear), month(c.wMonth), day(c.wDay)).ok() &&
         c.wHour < 24 && c.wMinute < 60 && c.wSecond < 60 && c.wMilliseconds < 1000;
}

}  // namespace

FILETIME ToFileTime(TimePoint time) {
  // The clock starts no earlier than 1677: the count is never negative.
  std::int64_t ticks =
      std::chrono::floor<Ticks>(time.time_since_epoch()).count() + kUnixEpochTicks;
  return FILETIME::FromTicks(static_cast<std::uint64_t>(ticks));
}

TimePoint FromFileTime(const FILETIME& time) {
  // The clock counts nanoseconds, which reach only from 1677 to 2262:
  // instants outside that range clamp to its ends.
  constexpr std::int64_t kLimit =
      std::chrono::duration_cast<Ticks>(TimePoint::duration::max()).count();
  std::uint64_t ticks = time.Ticks();
  std::int64_t sinceEpoch = ticks > static_cast<std::uint64_t>(kLimit + kUnixEpochTicks)
                                ? kLimit
                                : std::max(static_cast<std::int64_t>(ticks) - kUnixEpochTicks,
                                           -kLimit);
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(Ticks(sinceEpoch)));
}

SYSTEMTIME ToSystemTime(TimePoint time, TimeZone zone) {
  auto seconds = std::chrono::floor<std::chrono::seconds>(time);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time - seconds);
  std::time_t t = seconds.time_since_epoch().count();
  std::tm fields{};
  if (zone == TimeZone::Local) localtime_r(&t, &fields);
  else gmtime_r(&t, &fields);
  return FromFields(fields, ms);
}

HRESULT FromSystemTime(const SYSTEMTIME& calendar, TimeZone zone, TimePoint* time) {
  if (time == nullptr) return E_POINTER;
  if (!IsValid(calendar)) return E_INVALIDARG;
  std::tm fields = ToFields(calendar);
  std::time_t t = 0;
  if (zone == TimeZone::Utc) t = timegm(&fields);
  else if (!MakeLocalTime(fields, &t)) return E_INVALIDARG;
  *time = std::chrono::system_clock::from_time_t(t) +
          std::chrono::milliseconds(calendar.wMilliseconds);
  return S_OK;
}

SYSTEMTIME CurrentLocalTime() {
  return ToSystemTime(std::chrono::system_clock::now(), TimeZone::Local);
}

WString FormatLocalTime(TimePoint time, const char16_t* format) {
  std::time_t t = std::chrono::floor<std::chrono::seconds>(time).time_since_epoch().count();
  std::tm fields{};
  localtime_r(&t, &fields);
  return Strftime(fields, format);
}

WString FormatLocalTime(const SYSTEMTIME& calendar, const char16_t* format) {
  std::tm fields = ToFields(calendar);
  // mktime supplies the weekday, day of year and zone of these fields; the
  // fields themselves are shown as given, even in a daylight-saving gap.
  std::tm resolved = fields;
  std::time_t ignored;
  if (MakeLocalTime(resolved, &ignored)) {
    fields.tm_wday = resolved.tm_wday;
    fields.tm_yday = resolved.tm_yday;
    fields.tm_isdst = resolved.tm_isdst;
    fields.tm_gmtoff = resolved.tm_gmtoff;
    fields.tm_zone = resolved.tm_zone;
  }
  return Strftime(fields, format);
}

HRESULT ParseLocalTime(WStringView text, TimePoint* time) {
  if (time == nullptr) return E_POINTER;
  int n[6] = {};
  std::string narrow = ToUtf8(text);
  if (std::sscanf(narrow.c_str(), "%d/%d/%d %d:%d:%d", &n[0], &n[1], &n[2], &n[3], &n[4],
                  &n[5]) < 1)
    return E_INVALIDARG;
  std::tm fields{};
  fields.tm_mon = n[0] - 1;
  fields.tm_mday = n[1];
  fields.tm_year = n[2] - 1900;
  fields.tm_hour = n[3];
  fields.tm_min = n[4];
  fields.tm_sec = n[5];
  fields.tm_isdst = -1;
  std::time_t t = 0;
  if (!MakeLocalTime(fields, &t)) return E_INVALIDARG;
  *time = std::chrono::system_clock::from_time_t(t);
  return S_OK;
}

}  // namespace kv7
