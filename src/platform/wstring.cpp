#include "kv7/platform/wstring.h"

#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <cstdio>
#include <memory>
#include <string>

namespace kv7 {
namespace {

void AppendCodePoint(WString& out, UChar32 c) {
  if (c <= 0xFFFF) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    out.push_back(U16_LEAD(c));
    out.push_back(U16_TRAIL(c));
  }
}

}  // namespace

WString FromUtf8(std::string_view text) {
  WString out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t at = 0;
  while (at < length) {
    UChar32 c;
    U8_NEXT(s, at, length, c);
    AppendCodePoint(out, c < 0 ? 0xFFFD : c);
  }
  return out;
}

std::string ToUtf8(WStringView text) {
  std::string out;
  out.reserve(text.size());
  const auto length = static_cast<int32_t>(text.size());
  int32_t at = 0;
  while (at < length) {
    UChar32 c;
    U16_NEXT(text.data(), at, length, c);
    if (U_IS_SURROGATE(c)) c = 0xFFFD;
    uint8_t bytes[4];
    int32_t n = 0;
    U8_APPEND_UNSAFE(bytes, n, c);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
  }
  return out;
}

size_t WLen(const char16_t* text) {
  return text ? std::char_traits<char16_t>::length(text) : 0;
}

namespace {

// One conversion of a format: flags, width, precision and size prefix as
// written, and the conversion letter.
struct Conversion {
  std::string spec;  // "%" + flags + width + precision, no size prefix
  int size = 0;      // 0 none, 'h', 'l', 'L' (ll or I64)
  char letter = 0;
};

void AppendNumber(WString& out, const Conversion& c, va_list& args) {
  std::string spec = c.spec;
  char buffer[512];
  int n = 0;
  switch (c.letter) {
    case 'd':
    case 'i':
      if (c.size == 'L') {
        spec += "lld";
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(), va_arg(args, long long));
      } else if (c.size == 'l') {
        spec += "ld";
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(), va_arg(args, long));
      } else {
        spec += "d";
        int v = va_arg(args, int);
        if (c.size == 'h') v = static_cast<short>(v);
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(), v);
      }
      break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      if (c.size == 'L') {
        spec += "ll";
        spec += c.letter;
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(),
                          va_arg(args, unsigned long long));
      } else if (c.size == 'l') {
        // The platform's long is 32 bits: %lu and %lx take a 32-bit value.
        spec += c.letter;
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(),
                          static_cast<unsigned>(va_arg(args, unsigned long)));
      } else {
        spec += c.letter;
        unsigned v = va_arg(args, unsigned);
        if (c.size == 'h') v = static_cast<unsigned short>(v);
        n = std::snprintf(buffer, sizeof buffer, spec.c_str(), v);
      }
      break;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
      spec += c.letter;
      n = std::snprintf(buffer, sizeof buffer, spec.c_str(), va_arg(args, double));
      break;
    case 'p':
      spec += 'p';
      n = std::snprintf(buffer, sizeof buffer, spec.c_str(), va_arg(args, void*));
      break;
    default:
      break;
  }
  if (n < 0) return;
  if (static_cast<size_t>(n) >= sizeof buffer) n = sizeof buffer - 1;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<unsigned char>(buffer[i]));
}

// Pads or cuts a text argument by the conversion's width and precision.
void AppendText(WString& out, const Conversion& c, WStringView text) {
  bool left = false;
  size_t at = 1;
  while (at < c.spec.size() && std::string_view("-+ #0").find(c.spec[at]) != std::string_view::npos) {
    if (c.spec[at] == '-') left = true;
    ++at;
  }
  size_t width = 0;
  while (at < c.spec.size() && c.spec[at] >= '0' && c.spec[at] <= '9')
    width = width * 10 + static_cast<size_t>(c.spec[at++] - '0');
  if (at < c.spec.size() && c.spec[at] == '.') {
    size_t precision = 0;
    ++at;
    while (at < c.spec.size() && c.spec[at] >= '0' && c.spec[at] <= '9')
      precision = precision * 10 + static_cast<size_t>(c.spec[at++] - '0');
    if (text.size() > precision) text = text.substr(0, precision);
  }
  size_t pad = width > text.size() ? width - text.size() : 0;
  if (!left) out.append(pad, u' ');
  out.append(text);
  if (left) out.append(pad, u' ');
}

}  // namespace

WString FormatWV(const char16_t* format, va_list args) {
  WString out;
  if (format == nullptr) return out;
  va_list ap;
  va_copy(ap, args);
  for (const char16_t* p = format; *p;) {
    if (*p != u'%') {
      out.push_back(*p++);
      continue;
    }
    if (p[1] == u'%') {
      out.push_back(u'%');
      p += 2;
      continue;
    }
    Conversion c;
    c.spec = "%";
    ++p;
    while (*p && std::u16string_view(u"-+ #0").find(*p) != std::u16string_view::npos)
      c.spec.push_back(static_cast<char>(*p++));
    if (*p == u'*') {
      c.spec += std::to_string(va_arg(ap, int));
      ++p;
    }
    while (*p >= u'0' && *p <= u'9') c.spec.push_back(static_cast<char>(*p++));
    if (*p == u'.') {
      c.spec.push_back('.');
      ++p;
      if (*p == u'*') {
        c.spec += std::to_string(va_arg(ap, int));
        ++p;
      }
      while (*p >= u'0' && *p <= u'9') c.spec.push_back(static_cast<char>(*p++));
    }
    if (*p == u'h') {
      c.size = 'h';
      ++p;
    } else if (*p == u'l') {
      c.size = 'l';
      ++p;
      if (*p == u'l') {
        c.size = 'L';
        ++p;
      }
    } else if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
      c.size = 'L';
      p += 3;
    } else if (*p == u'w') {
      ++p;
    }
    if (*p == 0) break;
    c.letter = static_cast<char>(*p++);
    switch (c.letter) {
      case 's':
      case 'S':
        if (c.size == 'h') {
          const char* narrow = va_arg(ap, const char*);
          AppendText(out, c, narrow ? FromUtf8(narrow) : WString(u"(null)"));
        } else {
          const char16_t* wide = va_arg(ap, const char16_t*);
          AppendText(out, c, wide ? WStringView(wide) : WStringView(u"(null)"));
        }
        break;
      case 'c':
      case 'C': {
        char16_t ch = static_cast<char16_t>(va_arg(ap, int));
        AppendText(out, c, WStringView(&ch, 1));
        break;
      }
      default:
        AppendNumber(out, c, ap);
        break;
    }
  }
  va_end(ap);
  return out;
}

WString FormatW(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  WString out = FormatWV(format, args);
  va_end(args);
  return out;
}

int ReplaceAll(WString& text, WStringView from, WStringView to) {
  if (from.empty()) return 0;
  size_t at = text.find(from);
  if (at == WString::npos) return 0;
  WString out;
  out.reserve(text.size());
  size_t start = 0;
  int count = 0;
  for (; at != WString::npos; at = text.find(from, start)) {
    out.append(text, start, at - start);
    out.append(to);
    start = at + from.size();
    ++count;
  }
  out.append(text, start, WString::npos);
  text.swap(out);
  return count;
}

int CompareNoCase(WStringView a, WStringView b) {
  const auto a_length = static_cast<int32_t>(a.size());
  const auto b_length = static_cast<int32_t>(b.size());
  int32_t i = 0, j = 0;
  while (i < a_length && j < b_length) {
    UChar32 ca, cb;
    U16_NEXT(a.data(), i, a_length, ca);
    U16_NEXT(b.data(), j, b_length, cb);
    ca = u_foldCase(ca, U_FOLD_CASE_DEFAULT);
    cb = u_foldCase(cb, U_FOLD_CASE_DEFAULT);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < a_length) return 1;
  if (j < b_length) return -1;
  return 0;
}

bool StartsWithNoCase(WStringView text, WStringView prefix) {
  if (text.size() < prefix.size()) return false;
  return CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

bool EndsWithNoCase(WStringView text, WStringView suffix) {
  if (text.size() < suffix.size()) return false;
  return CompareNoCase(text.substr(text.size() - suffix.size()), suffix) == 0;
}

namespace {

template <class Map>
WString MapCase(WStringView text, Map map) {
  WString out(text.size(), u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = map(out.data(), static_cast<int32_t>(out.size()), text.data(),
                  static_cast<int32_t>(text.size()), &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(static_cast<size_t>(n));
    status = U_ZERO_ERROR;
    n = map(out.data(), n, text.data(), static_cast<int32_t>(text.size()), &status);
  }
  if (U_FAILURE(status)) return WString(text);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

WString FoldCase(WStringView text) {
  WString out;
  out.reserve(text.size());
  const auto length = static_cast<int32_t>(text.size());
  int32_t at = 0;
  // Paths and names are mostly ASCII, which folds without ICU.
  for (; at < length && text[at] < 0x80; ++at)
    out.push_back(text[at] >= u'A' && text[at] <= u'Z' ? text[at] + (u'a' - u'A') : text[at]);
  while (at < length) {
    UChar32 c;
    U16_NEXT(text.data(), at, length, c);
    AppendCodePoint(out, u_foldCase(c, U_FOLD_CASE_DEFAULT));
  }
  return out;
}

WString ToUpper(WStringView text) {
  return MapCase(text, [](UChar* d, int32_t dn, const UChar* s, int32_t sn,
                          UErrorCode* st) { return u_strToUpper(d, dn, s, sn, "", st); });
}

WString ToLower(WStringView text) {
  return MapCase(text, [](UChar* d, int32_t dn, const UChar* s, int32_t sn,
                          UErrorCode* st) { return u_strToLower(d, dn, s, sn, "", st); });
}

int CompareLocale(WStringView a, WStringView b) {
  // One collator per thread: ICU collators are not safe to share for writes.
  thread_local std::unique_ptr<icu::Collator> collator = [] {
    UErrorCode status = U_ZERO_ERROR;
    // The C and POSIX locales give ICU's POSIX collation, which orders by
    // code unit and keeps case apart; names then sort by the root order.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string_view(locale.getName()) == "en_US_POSIX") locale = icu::Locale::getRoot();
    std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(locale, status));
    if (U_SUCCESS(status)) c->setStrength(icu::Collator::SECONDARY);
    else c.reset();
    return c;
  }();
  if (!collator) return CompareNoCase(a, b);
  UErrorCode status = U_ZERO_ERROR;
  UCollationResult r = collator->compare(a.data(), static_cast<int32_t>(a.size()),
                                         b.data(), static_cast<int32_t>(b.size()), status);
  if (U_FAILURE(status)) return CompareNoCase(a, b);
  return r;
}

}  // namespace kv7
