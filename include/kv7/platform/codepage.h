// Byte text in the system's "ANSI code page": the character set of the
// user's locale, in which text files without a byte-order mark and byte
// strings from the outside are read and written. Conversions go through
// ICU converters named by charset ("UTF-8", "windows-1252", "ISO-8859-15").
#pragma once

#include <string>
#include <string_view>

#include "kv7/platform/wstring.h"

namespace kv7 {

// The charset of the user's locale (LC_ALL, LC_CTYPE, LANG), found once.
// A plain-ASCII locale (C, POSIX) and a locale this machine does not have
// count as "UTF-8".
const std::string& AnsiCodePageName();

// Decodes bytes in the ANSI code page. Bytes that are not valid in it make
// the whole text decode as windows-1252 instead, the code page of projects
// made on the platform.
WString AnsiToWide(std::string_view bytes);
// Encodes in the ANSI code page; characters it cannot write become "?".
std::string WideToAnsi(WStringView text);

// Decodes bytes in the named charset into *text. Returns false when the
// charset is unknown (*text untouched) or when some bytes are not valid in
// it (*text then holds U+FFFD in their place).
bool DecodeText(std::string_view bytes, const char* charset, WString* text);
// Encodes into *bytes in the named charset, "?" standing for each character
// it cannot write. Returns false (*bytes untouched) when the charset is
// unknown.
bool EncodeText(WStringView text, const char* charset, std::string* bytes);

}  // namespace kv7
