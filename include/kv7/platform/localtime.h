// Clock and calendar: the platform's two time values and the local-time
// text that the system shows and reads back.
//
// FILETIME is an instant: 100-nanosecond intervals since 1601-01-01 UTC,
// split in two 32-bit halves as the platform lays it out. SYSTEMTIME is a
// calendar date and time of day, in local time or UTC depending on where it
// came from. Local time follows the C library's time zone (TZ, else
// /etc/localtime); daylight saving is left to it.
#pragma once

#include <chrono>
#include <compare>
#include <cstdint>

#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"

struct FILETIME {
  DWORD dwLowDateTime = 0;
  DWORD dwHighDateTime = 0;

  // The 64-bit count of 100-ns intervals.
  constexpr std::uint64_t Ticks() const {
    return std::uint64_t{dwHighDateTime} << 32 | dwLowDateTime;
  }
  static constexpr FILETIME FromTicks(std::uint64_t ticks) {
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  }
  friend constexpr bool operator==(const FILETIME&, const FILETIME&) = default;
  friend constexpr auto operator<=>(const FILETIME& a, const FILETIME& b) {
    return a.Ticks() <=> b.Ticks();
  }
};

struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;      // 1..12
  WORD wDayOfWeek = 0;  // 0 = Sunday; ignored on input
  WORD wDay = 0;        // 1..31
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};

namespace kv7 {

using TimePoint = std::chrono::system_clock::time_point;

// The clock reaches from 1677 to 2262; FromFileTime clamps to that range.
FILETIME ToFileTime(TimePoint time);
TimePoint FromFileTime(const FILETIME& time);

enum class TimeZone { Local, Utc };

// The calendar form of an instant in the given zone (milliseconds truncated).
SYSTEMTIME ToSystemTime(TimePoint time, TimeZone zone);
inline SYSTEMTIME ToSystemTime(const FILETIME& time, TimeZone zone) {
  return ToSystemTime(FromFileTime(time), zone);
}
// The instant of a calendar time in the given zone. Returns S_OK with
// *time set, or E_INVALIDARG (*time untouched) when a field is out of range.
// A local time that a daylight-saving change skips or repeats is resolved
// as the C library's mktime does.
HRESULT FromSystemTime(const SYSTEMTIME& calendar, TimeZone zone, TimePoint* time);
inline HRESULT FromSystemTime(const SYSTEMTIME& calendar, TimeZone zone, FILETIME* time) {
  TimePoint instant;
  HRESULT hr = FromSystemTime(calendar, zone, &instant);
  if (SUCCEEDED(hr)) *time = ToFileTime(instant);
  return hr;
}

// The current local time.
SYSTEMTIME CurrentLocalTime();

// Formats with strftime conversions; the system uses "%m/%d/%Y %H:%M:%S"
// ("03/07/2026 14:05:09"). The instant form shows it in local time; the
// calendar form shows the fields as given, taken as local time (for %Z, %a).
WString FormatLocalTime(TimePoint time, const char16_t* format);
WString FormatLocalTime(const SYSTEMTIME& calendar, const char16_t* format);

// Reads "month/day/year hour:minute:second" as the system writes it. Numbers
// missing at the end count as 0 ("03/07/2026" is midnight); values out of
// range roll over as mktime does. Returns S_OK with *time set, or
// E_INVALIDARG (*time untouched) when the text does not start with a number.
HRESULT ParseLocalTime(WStringView text, TimePoint* time);

}  // namespace kv7
