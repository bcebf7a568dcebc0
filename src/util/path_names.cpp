#include "kv7/util/path_names.h"

WStringView DirectoryWithSlash(WStringView path) {
  size_t slash = path.find_last_of(u'/');
  return slash == WStringView::npos ? WStringView() : path.substr(0, slash + 1);
}

WStringView FileNameOf(WStringView path) { return path.substr(path.find_last_of(u'/') + 1); }

WStringView ExtensionOf(WStringView path) {
  WStringView name = FileNameOf(path);
  size_t dot = name.find_last_of(u'.');
  return dot == WStringView::npos ? WStringView() : name.substr(dot);
}

WStringView BaseNameOf(WStringView path) {
  WStringView name = FileNameOf(path);
  return name.substr(0, name.size() - ExtensionOf(name).size());
}

bool IsFullPathName(WStringView name) {
  return name.find(u':') != WStringView::npos || name.starts_with(u'/');
}
