// The options document store: the user's options document lives in
// $KV7_HOME/options.xml (UTF-8). When the store holds no document (no file,
// or an empty one) it is seeded with every option element at its default,
// each with its `val` attribute, so that the options class can update them.
#pragma once

#include "kv7/platform/hresult.h"
#include "kv7/platform/wstring.h"

namespace kv7::helper {

// The seed document, in the system's text layout.
WString DefaultOptionsDocument();

// Reads the stored document into *text, seeding the store first when it
// holds none. Returns S_OK, or the file system's status (text untouched)
// with error information naming the file.
[[nodiscard]] HRESULT ReadOptionsDocument(WString* text);

// Replaces the stored document; the old one stays whole when writing fails
// (error information then names the file).
[[nodiscard]] HRESULT WriteOptionsDocument(WStringView text);

}  // namespace kv7::helper
