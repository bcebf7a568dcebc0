// Node executors of the build: visitors that the hierarchy applies to its
// file nodes (CMyProjectHierarchy::ProcessEveryFileNode) to find or act on
// items. Each lives on the UI thread for the length of one walk.
#pragma once

#include "kv7/document/folders.h"

// Finds the file node of a name. In relative mode a node matches when its
// path relative to the project folder (CFileVwBaseNode::GetProjRelativePath)
// equals the name ignoring case, "/" and "\" counting as one separator;
// otherwise when its full path equals the name ignoring case. The first
// match ends the walk: DoWork stores the node and answers E_FAIL, which a
// walk with stopOnError takes as its end.
class CKV7NE_FindNodeForFileName : public CKV7NodeExecutor {
 public:
  CKV7NE_FindNodeForFileName(WStringView path, bool matchRelativePath);
  ~CKV7NE_FindNodeForFileName() override;

  // E_FAIL on a match, S_OK otherwise.
  HRESULT DoWork(CFileVwFileNode* node) override;
  // The node found, or null; the tree owns it.
  CFileVwFileNode* GetFoundNode() const { return found_; }

 private:
  WString path_;  // in relative mode with "\" separators
  bool relative_;
  CFileVwFileNode* found_ = nullptr;
};

// A relative path with "\" separators, the form that GetProjRelativePath
// gives and the project file stores.
WString BackslashSeparated(WStringView path);
