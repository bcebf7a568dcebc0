#include <charconv>
#include <cstdlib>
#include <cwctype>

#include "kv7/helper/helper.h"
#include "kv7/trace/trace.h"
#include "kv7/util/utilities.h"
#include "util/text_input.h"

namespace {

// The text from its first character that is not white space, as scanf
// conversions start reading.
std::string SkipLeadingSpace(const char16_t* text) {
  WStringView view = TextOf(text);
  size_t start = 0;
  while (start < view.size() && std::iswspace(static_cast<wint_t>(view[start]))) ++start;
  return kv7::ToUtf8(view.substr(start));
}

}  // namespace

void IntToString(int value, WString& out) {
  KV7_TRACE_ENTRY("IntToString", 2, "Utilities");
  out = kv7::FormatW(u"%i", value);
}

void StringToInt(const char16_t* text, int& out) {
  KV7_TRACE_ENTRY("StringToInt", 2, "Utilities");
  std::string narrow = SkipLeadingSpace(text);
  char* end = nullptr;
  // Base 0 reads the sign and the "0x" and "0" prefixes as "%i" does; an int
  // keeps the low 32 bits of a larger value, as that conversion stores it.
  long value = std::strtol(narrow.c_str(), &end, 0);
  if (end != narrow.c_str()) out = static_cast<int>(value);
}

void BoolToString(BOOL value, WString& out) {
  KV7_TRACE_ENTRY("BoolToString", 2, "Utilities");
  out = value ? u"TRUE" : u"FALSE";
}

void StringToBool(const char16_t* text, BOOL& out) {
  KV7_TRACE_ENTRY("StringToBool", 2, "Utilities");
  out = kv7::EqualsNoCase(TextOf(text), u"TRUE") ? TRUE : FALSE;
}

void DoubleToString(double value, WString& out) {
  KV7_TRACE_ENTRY("DoubleToString", 2, "Utilities");
  out = kv7::FormatW(u"%f", value);
}

void StringToDouble(const char16_t* text, double& out) {
  KV7_TRACE_ENTRY("StringToDouble", 2, "Utilities");
  std::string narrow = SkipLeadingSpace(text);
  // from_chars reads a "." whatever the process locale and rounds to the
  // nearest float, leaving the value alone when there is no number; it takes
  // a "-" but not a "+", which the "%f" conversion also takes.
  const char* first = narrow.data();
  const char* last = first + narrow.size();
  const bool plus = first != last && *first == '+';
  if (plus) ++first;
  float value = 0;
  if (!plus || first == last || *first != '-') std::from_chars(first, last, value);
  out = value;
}

HRESULT VariantBSTRArrayToCStringArray(const VARIANT& value, CVxStringArray& out) {
  KV7_TRACE_ENTRY("VariantBSTRArrayToCStringArray", 2, "Utilities");
  if (value.vt() != (VT_ARRAY | VT_BSTR)) return KV7_TRACE_RETURN(E_INVALIDARG);
  for (const WString& text : value.strings()) out.Add(text);
  return KV7_TRACE_RETURN(S_OK);
}

BOOL KV7ParseFolders(const char16_t* path, CVxStringArray& out) {
  KV7_TRACE_ENTRY("KV7ParseFolders", 2, "Utilities");
  // With a backslash appended every component, the last one too, ends at one.
  WString text = WString(TextOf(path)) + u'\\';
  size_t start = 0;
  for (size_t cut = text.find(u'\\'); cut != WString::npos; cut = text.find(u'\\', start)) {
    out.Add(WStringView(text).substr(start, cut - start));
    start = cut + 1;
  }
  return KV7_TRACE_RETURN(TRUE);
}

HRESULT NLSLoadString(UINT key, WString& out) {
  KV7_TRACE_ENTRY("NLSLoadString", 2, "Utilities");
  CNLSStringHelperHook loader;
  CComBSTR text;
  if (SUCCEEDED(loader.DoLoadString(key, text.Put())) && !text.IsNull()) out = text.ToString();
  return KV7_TRACE_RETURN(S_OK);
}
