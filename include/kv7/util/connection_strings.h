// Connection strings and credential encoding: the two textual forms of a
// database connection and the encoded form of its password, exported so
// that sibling modules read and write them by the same rules.
//
//  - A connection string is pairs "key=value" separated by ";". Keys are
//    matched literally and case-sensitively as plain substrings ("user Id=",
//    not "User ID="), and a value runs to the next ";", so no value can hold
//    a ";".
//  - Connection XML is the helper library's DATACONNECTIONS document of
//    DATACONNECTION elements, whose attributes (names matched ignoring case)
//    carry the connection's name (DBCONNNAME), alias (DBALIAS), user
//    (DBUSER) and password (DBPASSWORD, in the encoded form).
//  - The encoded form of a password (EncryptPassword) is the one written
//    into project files and task documents; see kv7/helper/password_cipher.h.
//
// Text inputs are null-terminated wide strings (null reads as empty);
// outputs are WString references, left unchanged where a function says so.
#pragma once

#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"
#include "kv7/util/string_array.h"

// Reads the values of "database=", "user Id=" and "password=" (each from its
// first occurrence, up to the next ";"). A key that is absent leaves its
// output unchanged; an empty string leaves all three. Always S_OK.
HRESULT ParseConnectionStringInfo(const char16_t* connectionString, WString& database,
                                  WString& userId, WString& password);

// Reads DBCONNNAME, DBALIAS, DBUSER and DBPASSWORD (still encoded) of the
// first DATACONNECTIONS/DATACONNECTION of a connection document. Outputs
// whose attribute is absent, and all of them when the document does not
// load or holds no connection, are unchanged. Returns the status of the
// last DOM call (S_FALSE when there is no connection).
HRESULT ParseConnectionInfo(const char16_t* connectionXml, WString& connectionName,
                            WString& alias, WString& user, WString& password);

// Appends the name and the alias of every connection that the helper
// library knows, in its order. The arrays run parallel only when every
// connection has both attributes. Returns the helper library's failure, or
// the status of the last DOM call.
HRESULT GetAllConnectionNames(CVxStringArray& names, CVxStringArray& aliases);

// Runs the helper library's connection chooser preset with `initial`; on
// success with a text, `chosen` receives the chosen connection document.
// Returns the library's status (S_FALSE: nothing chosen).
HRESULT SelectConnection(const char16_t* initial, WString& chosen);

// Choosing a database alias is not offered: always E_FAIL, nothing changes.
HRESULT SelectDBAlias(const char16_t* alias, WString& chosenAlias);

// Splits a text around its first DATACONNECTION element in empty-element
// form: `before` gets the text up to "<DATACONNECTION", `element` the
// element up to and including the next "/>", `after` the rest. Without
// "<DATACONNECTION" nothing is written; without a following "/>" only
// `before` is.
void ParseOutDataConnection(const char16_t* text, WString& before, WString& element,
                            WString& after);

// Replaces a plain password by its encoded form, and back.
void EncryptPassword(WString& password);
void DecryptPassword(WString& password);

// The hexadecimal text form of a password, appended to `encoded`, which an
// empty password empties instead. Always true.
bool PasswordToUrlFormat(const char16_t* password, WString& encoded);
// The units of a hexadecimal text form, appended to `password`, which an
// empty text empties instead. Always true.
bool PasswordFromUrlFormat(const char16_t* encoded, WString& password);
// Appends the hexadecimal text form of `unitCount` UTF-16 units (only the
// low 8 bits of each are kept). Always true.
bool BufferToUrlFormat(const BYTE* buffer, UINT unitCount, WString& encoded);
// Appends the units read from hexadecimal UTF-16 text of `byteLength` bytes.
// Always true.
bool BufferFromUrlFormat(const BYTE* buffer, UINT byteLength, WString& decoded);
