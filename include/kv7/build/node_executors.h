// Node executors of the build: visitors that the hierarchy applies to its
// file nodes (CMyProjectHierarchy::ProcessEveryFileNode) to find or act on
// items. Each lives on the UI thread for the length of one walk.
#pragma once

#include "kv7/document/folders.h"

class CKV7AssemblyInfoList;
class CMyProjectHierarchy;

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

// After a build installed assemblies: every item whose text refers to one
// of them (CKV7AssemblyInfoList::IsAnyReferencedIn: a placeholder naming
// it, its DLL's file name or its external name) is marked not built in
// every configuration of the project's built-files record, so that the
// build deploys it again. An item whose text cannot be read is left to the
// build, which reports it. The hierarchy and the list must outlive the
// executor.
class CKV7NE_DirtyIfHasAssemblyReference : public CKV7NodeExecutor {
 public:
  CKV7NE_DirtyIfHasAssemblyReference(CMyProjectHierarchy* hierarchy,
                                     const CKV7AssemblyInfoList& assemblies);
  ~CKV7NE_DirtyIfHasAssemblyReference() override;

  // S_OK.
  HRESULT DoWork(CFileVwFileNode* node) override;

 private:
  CMyProjectHierarchy* hierarchy_;
  const CKV7AssemblyInfoList& assemblies_;
};

// Follow the project's configuration changes in every item's build
// settings (item_settings.h), names compared ignoring case. A node of a
// kind without settings is passed over; DoWork answers S_OK.
//
// Records of configuration `oldName` take `newName`, keeping their platform.
class CKV7NE_CfgNameRenamed : public CKV7NodeExecutor {
 public:
  CKV7NE_CfgNameRenamed(WStringView oldName, WStringView newName);
  ~CKV7NE_CfgNameRenamed() override;
  HRESULT DoWork(CFileVwFileNode* node) override;

 private:
  WString old_name_;
  WString new_name_;
};

// Records of configuration `name` go.
class CKV7NE_CfgNameDeleted : public CKV7NodeExecutor {
 public:
  explicit CKV7NE_CfgNameDeleted(WStringView name);
  ~CKV7NE_CfgNameDeleted() override;
  HRESULT DoWork(CFileVwFileNode* node) override;

 private:
  WString name_;
};

// Records on `platform` keep their bare configuration name ("Debug|Win32"
// becomes "Debug"); a node with such a record counts as changed locally.
class CKV7NE_PlatformNameDeleted : public CKV7NodeExecutor {
 public:
  explicit CKV7NE_PlatformNameDeleted(WStringView platform);
  ~CKV7NE_PlatformNameDeleted() override;
  HRESULT DoWork(CFileVwFileNode* node) override;

 private:
  WString platform_;
};
