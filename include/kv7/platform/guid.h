// GUIDs in the platform's layout, parsed from and formatted to the registry
// form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hex digits).
#pragma once

#include <compare>
#include <cstdint>

#include "kv7/platform/hresult.h"
#include "kv7/platform/wstring.h"

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
  friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

namespace kv7 {

// Builds a GUID at compile time from its registry form without braces,
// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX". A malformed literal fails to compile.
consteval GUID MakeGuid(const char (&text)[37]) {
  auto hex = [&](int at, int digits) {
    std::uint64_t value = 0;
    for (int i = at; i < at + digits; ++i) {
      char c = text[i];
      int digit = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : throw "bad GUID digit";
      value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value;
  };
  if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
    throw "bad GUID layout";
  GUID g;
  g.Data1 = static_cast<std::uint32_t>(hex(0, 8));
  g.Data2 = static_cast<std::uint16_t>(hex(9, 4));
  g.Data3 = static_cast<std::uint16_t>(hex(14, 4));
  g.Data4[0] = static_cast<std::uint8_t>(hex(19, 2));
  g.Data4[1] = static_cast<std::uint8_t>(hex(21, 2));
  for (int i = 0; i < 6; ++i)
    g.Data4[2 + i] = static_cast<std::uint8_t>(hex(24 + 2 * i, 2));
  return g;
}

// Formats in registry form with braces and upper-case digits.
WString GuidToString(const GUID& guid);

// Parses the registry form; braces are required, digits of either case are
// accepted. Returns S_OK and fills *guid, or E_INVALIDARG and leaves it as it
// was when the text is not a GUID.
[[nodiscard]] HRESULT GuidFromString(WStringView text, GUID* guid);

// A new random (version 4) GUID, as the platform's CoCreateGuid gives.
GUID NewGuid();

}  // namespace kv7
