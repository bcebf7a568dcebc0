#include "kv7/platform/guid.h"

#include <cstdint>
#include <random>

namespace kv7 {

namespace {

// Writes `value` as `digits` upper-case hex digits at `out`; returns the end.
char16_t* PutHex(char16_t* out, std::uint32_t value, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) *out++ = kDigits[(value >> shift) & 0xF];
  return out;
}

}  // namespace

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, written directly: every task and
// every saved item asks for one.
WString GuidToString(const GUID& g) {
  WString text(38, u'-');
  char16_t* out = text.data();
  *out++ = u'{';
  out = PutHex(out, g.Data1, 8) + 1;
  out = PutHex(out, g.Data2, 4) + 1;
  out = PutHex(out, g.Data3, 4) + 1;
  out = PutHex(PutHex(out, g.Data4[0], 2), g.Data4[1], 2) + 1;
  for (int i = 2; i < 8; ++i) out = PutHex(out, g.Data4[i], 2);
  *out = u'}';
  return text;
}

HRESULT GuidFromString(WStringView text, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
    return E_INVALIDARG;
  uint8_t bytes[16];
  int count = 0;
  for (size_t i = 1; i < 37;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (text[i] != u'-') return E_INVALIDARG;
      ++i;
      continue;
    }
    int value = 0;
    for (int k = 0; k < 2; ++k, ++i) {
      char16_t c = text[i];
      int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                  : c >= u'a' && c <= u'f' ? c - u'a' + 10
                  : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                           : -1;
      if (digit < 0) return E_INVALIDARG;
      value = value * 16 + digit;
    }
    bytes[count++] = static_cast<uint8_t>(value);
  }
  GUID g;
  g.Data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
            static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  g.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  g.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  *guid = g;
  return S_OK;
}

GUID NewGuid() {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  uint64_t high = engine();
  uint64_t low = engine();
  GUID g;
  g.Data1 = static_cast<uint32_t>(high >> 32);
  g.Data2 = static_cast<uint16_t>(high >> 16);
  g.Data3 = static_cast<uint16_t>((high & 0x0FFF) | 0x4000);  // version 4
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(low >> (56 - 8 * i));
  g.Data4[0] = static_cast<uint8_t>((g.Data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
  return g;
}

}  // namespace kv7
