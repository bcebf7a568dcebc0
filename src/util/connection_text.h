// Reading the two textual forms of a connection, shared by the
// connection-string functions and the connection record.
#pragma once

#include <cstddef>
#include <functional>
#include <span>

#include "kv7/platform/hresult.h"
#include "kv7/platform/wstring.h"
#include "kv7/platform/xmldom.h"

namespace kv7 {

// The value that follows the first occurrence of `key` (a plain,
// case-sensitive substring search) and runs up to the next `terminator`:
// [*begin, *end). False, with both untouched, when the key or the
// terminator after it is missing.
bool FindValueRegion(WStringView text, WStringView key, char16_t terminator, size_t* begin,
                     size_t* end);

// Steps through the element's attributes in document order and calls
// take(index, value) for each whose local name equals names[index] ignoring
// case and whose value is a non-null string; stops once every name had its
// value. Returns the status of the last DOM call.
HRESULT TakeNamedAttributes(IXMLDOMNode* element, std::span<const char16_t* const> names,
                            const std::function<void(size_t index, WString value)>& take);

}  // namespace kv7
