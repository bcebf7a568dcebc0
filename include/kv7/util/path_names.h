// The parts of a native path ("/" separated) that the system names items
// and projects by. Each returns a view into the given path.
#pragma once

#include "kv7/platform/wstring.h"

// The directory of a path with its trailing "/"; empty when it has none.
WStringView DirectoryWithSlash(WStringView path);
// The last component of a path.
WStringView FileNameOf(WStringView path);
// The extension of a path: from the last dot of its last component, dot
// included; empty when that component has no dot.
WStringView ExtensionOf(WStringView path);
// The last component without its extension.
WStringView BaseNameOf(WStringView path);
// Whether a name written into a project or a command document is a full
// path: it holds ":" (a Windows drive) or starts with "/". Any other name
// is relative to the project folder, or a plain name.
bool IsFullPathName(WStringView name);
