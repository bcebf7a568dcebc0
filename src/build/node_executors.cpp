// The build's node executors.
#include "kv7/build/node_executors.h"

#include <algorithm>

#include "kv7/trace/trace.h"

WString BackslashSeparated(WStringView path) {
  WString text(path);
  std::replace(text.begin(), text.end(), u'/', u'\\');
  return text;
}

CKV7NE_FindNodeForFileName::CKV7NE_FindNodeForFileName(WStringView path, bool matchRelativePath)
    : path_(matchRelativePath ? BackslashSeparated(path) : WString(path)),
      relative_(matchRelativePath) {
  KV7_TRACE_ENTRY("CKV7NE_FindNodeForFileName::CKV7NE_FindNodeForFileName", 6, "KV7NodeExecutors");
}

CKV7NE_FindNodeForFileName::~CKV7NE_FindNodeForFileName() {
  KV7_TRACE_ENTRY("CKV7NE_FindNodeForFileName::~CKV7NE_FindNodeForFileName", 6,
                  "KV7NodeExecutors");
}

HRESULT CKV7NE_FindNodeForFileName::DoWork(CFileVwFileNode* node) {
  KV7_TRACE_ENTRY("CKV7NE_FindNodeForFileName::DoWork", 2, "KV7NodeExecutors");
  WString relative;
  if (relative_) (void)node->GetProjRelativePath(relative);
  if (!kv7::EqualsNoCase(relative_ ? relative : node->GetFullPath(), path_))
    return KV7_TRACE_RETURN(S_OK);
  found_ = node;
  return KV7_TRACE_RETURN(E_FAIL);
}
