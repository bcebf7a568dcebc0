#include "kv7/helper/password_cipher.h"

#include <algorithm>
#include <iterator>

#include "helper_trace.h"

namespace kv7::helper {
namespace {

// Passwords stored with other key or pad values do not decode: these two
// constants are part of the stored form and never change.
constexpr char16_t kKey[] = u"Qz7#kP2m!\x05\x0e\x1bVr8&Lw4^Tn1*Hb6%Jd0";
static_assert(std::size(kKey) - 1 == 31, "the key text has 31 characters");
constexpr size_t kKeyLength = std::size(kKey) - 1;

// Only the low 8 bits of each entry are used.
constexpr unsigned kPad[] = {
    0x3ff, 0x3d7, 0x19b, 0x1c8, 0x2b4, 0x3ce, 0x06e, 0x22e,
    0x37f, 0x1ca, 0x01a, 0x19d, 0x337, 0x2a1, 0x295, 0x1e7,
    0x162, 0x3e7, 0x145, 0x3fb, 0x0e2, 0x06e, 0x060, 0x274,
    0x1c1, 0x24f, 0x2e7, 0x3ee, 0x34f, 0x24f, 0x24b, 0x0e0,
    0x23b, 0x374, 0x3cf, 0x1da, 0x1d1, 0x143, 0x0ca, 0x3e5,
    0x347, 0x0ef, 0x25b, 0x306, 0x39c, 0x0e6, 0x3e8, 0x0e8,
    0x055, 0x306, 0x0cd, 0x0b9, 0x057, 0x033, 0x120, 0x179,
    0x01b, 0x292, 0x23e, 0x07e, 0x2e3, 0x3ee, 0x1ed, 0x39a,
};
constexpr size_t kPadLength = std::size(kPad);
static_assert(kPadLength == 64, "the pad has 64 entries");

// XOR with the key and the pad is its own inverse; units from the 64th on
// are left as they are.
void XorUnits(WString& text) {
  size_t end = std::min(text.size(), kPadLength);
  for (size_t i = 0; i < end; ++i)
    text[i] = static_cast<char16_t>(text[i] ^ kKey[i % kKeyLength] ^ (kPad[i] & 0xFFu));
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

void AppendHexForm(const char16_t* units, size_t count, WString& out) {
  KV7_HELPER_TRACE_ENTRY("AppendHexForm", "PasswordCipher");
  constexpr char16_t kDigits[] = u"0123456789abcdef";
  out.reserve(out.size() + 2 * count);
  for (size_t i = 0; i < count; ++i) {
    unsigned low = units[i] & 0xFFu;
    out += kDigits[low >> 4];
    out += kDigits[low & 0xFu];
  }
}

void AppendFromHexForm(const char16_t* text, size_t count, WString& out) {
  KV7_HELPER_TRACE_ENTRY("AppendFromHexForm", "PasswordCipher");
  for (size_t i = 0; i < count; i += 2) {
    unsigned value = 0;
    for (size_t j = i; j < std::min(i + 2, count); ++j) {
      int digit = HexDigit(static_cast<char16_t>(text[j] & 0xFFu));
      if (digit < 0) break;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    out += static_cast<char16_t>(value);
  }
}

WString EncipherPassword(WStringView plain) {
  KV7_HELPER_TRACE_ENTRY("EncipherPassword", "PasswordCipher");
  WString units(plain);
  XorUnits(units);
  WString stored;
  AppendHexForm(units.data(), units.size(), stored);
  return stored;
}

WString DecipherPassword(WStringView stored) {
  KV7_HELPER_TRACE_ENTRY("DecipherPassword", "PasswordCipher");
  WString plain;
  AppendFromHexForm(stored.data(), stored.size(), plain);
  XorUnits(plain);
  return plain;
}

}  // namespace kv7::helper
