// CKV7SelHelper: remembers the IDE's selection and selects it again after
// an operation that disturbs the tree (the options refreshing every open
// project, a paste). UI thread only; a stack object of the operation.
#pragma once

#include <utility>
#include <vector>

#include "kv7/host/ide.h"

class CKV7SelHelper {
 public:
  // Reads the IDE's current selection from its selection monitor: the
  // single item, or the count and the (hierarchy, item) pairs of several.
  // Without a selection monitor nothing is remembered; the status says why.
  HRESULT Remember();
  // Selects the remembered items again through the IDE's hierarchy window:
  // every one of several, or the single one. Items of a project that has
  // no project node any more (closed meanwhile) are skipped.
  HRESULT Restore();

 private:
  ComPtr<IVsHierarchy> hierarchy_;
  VSITEMID item_ = VSITEMID_NIL;
  ComPtr<IVsMultiItemSelect> multi_;
  ULONG count_ = 0;
  std::vector<std::pair<ComPtr<IVsHierarchy>, VSITEMID>> items_;
};
