// Writing names as SQL needs them: the servers fold unquoted names (to
// lower case) and refuse reserved words, so any other name is quoted.
#include <algorithm>
#include <iterator>

#include "helper_trace.h"
#include "kv7/helper/helper.h"

namespace {

// Words reserved by the SQL standard and by the servers the library
// deploys to, upper case and sorted for the binary search.
constexpr WStringView kReservedWords[] = {
    u"ALL",          u"ALTER",        u"AND",          u"ANY",
    u"AS",           u"ASC",          u"BETWEEN",      u"BY",
    u"CASE",         u"CAST",         u"CHECK",        u"COLLATE",
    u"COLUMN",       u"CONSTRAINT",   u"CREATE",       u"CROSS",
    u"CURRENT_DATE", u"CURRENT_TIME", u"CURRENT_TIMESTAMP", u"CURRENT_USER",
    u"DEFAULT",      u"DELETE",       u"DESC",         u"DISTINCT",
    u"DO",           u"DROP",         u"ELSE",         u"END",
    u"EXCEPT",       u"EXISTS",       u"FALSE",        u"FETCH",
    u"FOR",          u"FOREIGN",      u"FROM",         u"FULL",
    u"GRANT",        u"GROUP",        u"HAVING",       u"IN",
    u"INDEX",        u"INNER",        u"INSERT",       u"INTERSECT",
    u"INTO",         u"IS",           u"JOIN",         u"LEFT",
    u"LIKE",         u"LIMIT",        u"NATURAL",      u"NOT",
    u"NULL",         u"OFFSET",       u"ON",           u"OR",
    u"ORDER",        u"OUTER",        u"PRIMARY",      u"REFERENCES",
    u"RETURNING",    u"RIGHT",        u"SELECT",       u"SESSION_USER",
    u"SET",          u"SOME",         u"TABLE",        u"THEN",
    u"TO",           u"TRIGGER",      u"TRUE",         u"UNION",
    u"UNIQUE",       u"UPDATE",       u"USER",         u"USING",
    u"VALUES",       u"VIEW",         u"WHEN",         u"WHERE",
    u"WITH",
};

bool IsLower(char16_t c) { return c >= u'a' && c <= u'z'; }
bool IsUpper(char16_t c) { return c >= u'A' && c <= u'Z'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A word the servers take unquoted and keep as written.
bool IsPlainWord(WStringView name) {
  if (name.empty() || IsDigit(name.front())) return false;
  bool lower = false, upper = false;
  for (char16_t c : name) {
    lower |= IsLower(c);
    upper |= IsUpper(c);
    if (!IsLower(c) && !IsUpper(c) && !IsDigit(c) && c != u'_') return false;
  }
  if (lower && upper) return false;
  WString key(name);
  for (char16_t& c : key)
    if (IsLower(c)) c = static_cast<char16_t>(c - u'a' + u'A');
  return !std::binary_search(std::begin(kReservedWords), std::end(kReservedWords),
                             WStringView(key));
}

WString QuotedName(WStringView name) {
  if (name.empty() || IsPlainWord(name)) return WString(name);
  WString quoted = u"\"";
  for (char16_t c : name) {
    if (c == u'"') quoted += u'"';
    quoted += c;
  }
  quoted += u'"';
  return quoted;
}

bool IsQuoted(WStringView part) {
  return part.size() >= 2 && part.front() == u'"' && part.back() == u'"';
}

}  // namespace

HRESULT CCommandHelperHook::GetQuotedNameForObject(const char16_t* name, BSTR* quotedName) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::GetQuotedNameForObject", "CommandHelperHook");
  if (quotedName == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *quotedName = CComBSTR(QuotedName(name ? name : u"")).Detach();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::FormatModelIdentifier(const char16_t* identifier, BSTR* formatted) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::FormatModelIdentifier", "CommandHelperHook");
  if (formatted == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  WStringView text = identifier ? identifier : u"";
  WString result;
  size_t part_start = 0;
  bool in_quotes = false;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] == u'"') in_quotes = !in_quotes;
    if (i < text.size() && (text[i] != u'.' || in_quotes)) continue;
    WStringView part = text.substr(part_start, i - part_start);
    result += IsQuoted(part) ? WString(part) : QuotedName(part);
    if (i < text.size()) result += u'.';
    part_start = i + 1;
  }
  *formatted = CComBSTR(result).Detach();
  return KV7_TRACE_RETURN(S_OK);
}
