// The password cipher shared by the system and the helper library: the form
// in which a password is written into project files, task documents and the
// helper library's connection catalogue.
//
// The stored form of a password is a fixed-key XOR of its first 64 UTF-16
// units (key text and pad are constants of the program), followed by the
// hexadecimal text form: two lowercase hexadecimal digits per unit, of the
// unit's low 8 bits only. A password whose units all lie in 0..255 therefore
// survives EncipherPassword then DecipherPassword unchanged; the empty
// password is stored as the empty text.
//
// The cipher lives in the helper library because both the system (above it)
// and the library's own catalogue write this form and must agree on it.
#pragma once

#include <cstddef>

#include "kv7/platform/wstring.h"

namespace kv7::helper {

// Appends, for each of the `count` units, its low 8 bits as exactly two
// lowercase hexadecimal digits ("%2.2x").
void AppendHexForm(const char16_t* units, size_t count, WString& out);

// Reads `count` characters of hexadecimal text two at a time: the low bytes
// of the two characters are read as a hexadecimal number (digits up to the
// first non-digit; a pair that starts with a non-digit reads as 0) and
// appended as one unit. An odd final character is read alone.
void AppendFromHexForm(const char16_t* text, size_t count, WString& out);

// The stored form of a plain password.
WString EncipherPassword(WStringView plain);
// The plain password of a stored form.
WString DecipherPassword(WStringView stored);

}  // namespace kv7::helper
