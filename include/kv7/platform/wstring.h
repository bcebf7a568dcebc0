// The system's text: UTF-16 code units in a growable value type.
//
// WString is the wide string of every interface of the system; WStringView
// is its read-only view. The helpers here are the string operations that the
// system's algorithms are written in: printf-style formatting with the
// platform's wide conversions, replace-all, and comparisons that ignore case
// (Unicode simple case folding, one code point to one) or follow the user's
// locale (a collator that ignores case, for name ordering).
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

using WString = std::u16string;
using WStringView = std::u16string_view;

namespace kv7 {

// UTF-8 <-> UTF-16. Ill-formed input becomes U+FFFD, never an error.
WString FromUtf8(std::string_view text);
std::string ToUtf8(WStringView text);

// printf-style formatting of wide text with the platform's wide conversions:
// "%s" takes a const char16_t* (null prints "(null)"), "%hs" a const char*,
// "%c" a char16_t passed as int; "%d %i %u %x %X %o %e %f %g %p %%" behave as
// in C, with flags, width, precision and the h, l, ll, I64 size prefixes.
WString FormatW(const char16_t* format, ...);
WString FormatWV(const char16_t* format, va_list args);

// Replaces every non-overlapping occurrence of `from`, scanning left to right
// without rescanning replaced text. Returns the number of replacements; an
// empty `from` replaces nothing.
int ReplaceAll(WString& text, WStringView from, WStringView to);

// Compares code point by code point after Unicode simple case folding (one
// code point to one, so "straße" and "STRASSE" differ): <0, 0 or >0.
int CompareNoCase(WStringView a, WStringView b);
inline bool EqualsNoCase(WStringView a, WStringView b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}
// Whether `text` starts with `prefix` / ends with `suffix`, ignoring case.
bool StartsWithNoCase(WStringView text, WStringView prefix);
bool EndsWithNoCase(WStringView text, WStringView suffix);
// Simple-case-folded copy, for keys of maps that ignore case; two texts
// that EqualsNoCase fold to the same key.
WString FoldCase(WStringView text);
WString ToUpper(WStringView text);
WString ToLower(WStringView text);

// Orders names as the user's locale does, ignoring case (sorted insertion,
// folder sorting): <0, 0 or >0.
int CompareLocale(WStringView a, WStringView b);

// Length of a null-terminated wide text; 0 for null.
size_t WLen(const char16_t* text);

}  // namespace kv7
