// The parts of a native path ("/" separated) that the system names items
// and projects by, and the numbered series from which it picks names that
// are not in use yet. Each part function returns a view into the given path.
#pragma once

#include <utility>

#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"
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

// The first free name of a numbered series: `bare` when it is not empty and
// `taken` does not claim it, else the first numbered(n), n = first, first +
// 1, ..., last, that `taken` does not claim; stored in `out`. E_FAIL (out
// untouched) when every one is taken: a series that runs up to the largest
// UINT ends there rather than wrap around to a name it already tried.
template <class Numbered, class Taken>
HRESULT FirstFreeName(const WString& bare, UINT first, UINT last, Numbered numbered, Taken taken,
                      WString& out) {
  if (!bare.empty() && !taken(bare)) {
    out = bare;
    return S_OK;
  }
  for (UINT n = first;; ++n) {
    WString candidate = numbered(n);
    if (!taken(candidate)) {
      out = std::move(candidate);
      return S_OK;
    }
    if (n == last) return E_FAIL;
  }
}
