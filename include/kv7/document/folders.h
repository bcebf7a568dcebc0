// Typed folders: the folder types with their project-file names, the
// default folders of a new project, and the folder node of database
// projects with its sorting.
#pragma once

#include <vector>

#include "kv7/hierarchy/file_nodes.h"

// The kind of database object a folder is meant to hold.
enum CeKV7FolderInfoType : LONG {
  eKV7FolderOther = 0,
  eKV7FolderTables = 1,
  eKV7FolderViews = 2,
  eKV7FolderProcedures = 3,
  eKV7FolderFunctions = 4,
  eKV7FolderTriggers = 5,
  eKV7FolderStatements = 6,
  eKV7FolderScripts = 7,
  eKV7FolderCommandSets = 8,
  eKV7FolderUnnamed = 9,  // has no project-file name: saved as UnknownFolder
  eKV7FolderIndexes = 10,
};

// The type of a project-file folder name (exact, case-sensitive); every
// other text, "UnknownFolder" included, gives eKV7FolderOther.
CeKV7FolderInfoType MapFolderTypeNameToType(const char16_t* name);
// The project-file name of a type; "UnknownFolder" for types without one.
void MapFolderTypeToXMLName(LONG type, WString& name);
// The base name from which new item names of a folder type are made.
void GetBaseFileNameForFolder(WString& name, LONG type);

// A default folder: display name, directory name, type.
struct CKV7FolderInfo {
  WString displayName;
  WString directoryName;
  CeKV7FolderInfoType type;
};

// The default folders of a new project, in their order.
class CKV7FolderInfoList {
 public:
  // Fills the list from the string resources: tables, indexes, triggers,
  // views, procedures, functions, scripts.
  void LoadFromRC();
  const std::vector<CKV7FolderInfo>& Items() const { return items_; }

 private:
  std::vector<CKV7FolderInfo> items_;
};

// The folder type whose default folder takes new items of an extension
// (".kv7sp", dot included, any letter case); eKV7FolderOther for every
// extension that has no folder of its own (statements, command sets, plain
// files), whose new items go to the project node.
CeKV7FolderInfoType FolderTypeForExtension(WStringView extension);

// The display and directory names of a type's default folder; false for
// the types that have none (0, 6, 8).
bool GetDefaultFolderNames(LONG type, WString& displayName, WString& directoryName);

// Sort modes of a folder.
enum CeKV7SortMode : LONG {
  eKV7SortNone = 0,
  eKV7SortByName = 1,
  eKV7SortByExtension = 2,
  eKV7SortReadOnlyFirst = 3,
};

// The sort commands of the package command set.
inline constexpr DWORD kCmdSortByName = 8192;
inline constexpr DWORD kCmdSortByExtension = 8193;
inline constexpr DWORD kCmdSortReadOnlyFirst = 8194;
inline constexpr DWORD kCmdSortNone = 8195;

// Visits file nodes (the build's node executor).
class CKV7NodeExecutor {
 public:
  // How DoWork carries out server work: at once, or by starting a task
  // whose completion comes later.
  enum ExecutionMode : LONG { kSynchronous = 0, kAsynchronous = 1 };

  virtual ~CKV7NodeExecutor() = default;
  virtual HRESULT DoWork(CFileVwFileNode* node) = 0;

  LONG GetExecutionMode() const { return execution_mode_; }
  void SetExecutionMode(LONG mode) { execution_mode_ = mode; }
  // Set by DoWork when the item needed no server work, so that the waiting
  // list moves on without waiting for a task's completion.
  bool GetContinueAtOnce() const { return continue_at_once_; }

 protected:
  void SetContinueAtOnce(bool value) { continue_at_once_ = value; }

 private:
  LONG execution_mode_ = kAsynchronous;
  bool continue_at_once_ = false;
};

// Applies the executor to every file node below a container (the project
// node or a database folder), entering database folders depth first in
// child order; with stopOnError the walk ends at the first failing visit.
HRESULT ProcessFileNodesBelow(CHierContainer* container, CKV7NodeExecutor* executor,
                              bool stopOnError);

// Appends every file node below a container in the same order.
void AddFileNodesBelow(CHierContainer* container, std::vector<CFileVwFileNode*>& nodes);

// Append a container's Files element (its file children) and its Folders
// element (its database folders), in child order, at `indent`.
HRESULT SaveFilesOfContainerAsXML(const CHierContainer* container, WStringView indent,
                                  WString& buffer);
HRESULT SaveFoldersOfContainerAsXML(const CHierContainer* container, WStringView indent,
                                    WString& buffer);

inline constexpr GUID GUID_KV7FolderNode = kv7::MakeGuid("232E4A2D-8D48-11D6-A979-00B0D0E90F40");

// The folder node of database projects.
class CKV7FolderNode : public CFileVwFolderNode {
 public:
  DWORD GetKindOf() const override { return kKindKV7Folder; }
  const GUID& PGuidGetType() const override { return GUID_KV7FolderNode; }
  // Images come from the package's shared image list, which has none to
  // give (-1); the state icon is 0: a folder carries no source-control glyph.
  LONG GetIconIndex(int state) const override;

  CeKV7FolderInfoType GetFolderType() const { return folder_type_; }
  void SetFolderType(CeKV7FolderInfoType type) { folder_type_ = type; }
  CeKV7SortMode GetSortMode() const { return sort_mode_; }
  bool IsFolderSorted() const { return sort_mode_ != eKV7SortNone; }

  // Sorts the children by a mode 1-3: folders first, then files, each by
  // the mode's comparison. E_FAIL for any other mode, changing nothing.
  HRESULT OnSortFiles(LONG mode);
  // Runs a sort command (8192-8195); choosing the current mode again does
  // nothing, and 8195 only clears the mode.
  HRESULT ExecSortCommand(DWORD command);
  // Whether a sort command shows as checked.
  bool IsSortCommandChecked(DWORD command) const;

  // Applies the executor to every file node below, depth first in child
  // order; with stopOnError the walk ends at the first failing visit.
  HRESULT ProcessEveryFileNode(CKV7NodeExecutor* executor, bool stopOnError);
  void AddEveryFileNode(std::vector<CFileVwFileNode*>& nodes);
  void GetAllFileNames(std::vector<WString>& paths);

  // The folder's part of the project file.
  HRESULT SaveAsXMLForProject(WStringView indent, WString& buffer) const;
  HRESULT SaveFilesAsXMLForProject(WStringView indent, WString& buffer) const;
  HRESULT SaveFoldersAsXMLForProject(WStringView indent, WString& buffer) const;
  HRESULT LoadFromXMLForProject(IXMLDOMNode* folder);
  HRESULT LoadFilesFromXMLForProject(IXMLDOMNode* files);
  HRESULT LoadFoldersFromXMLForProject(IXMLDOMNode* folders);

  static ComPtr<CKV7FolderNode> CreateInstance(WStringView path);

 private:
  CKV7FolderNode() = default;

  CeKV7FolderInfoType folder_type_ = eKV7FolderOther;
  CeKV7SortMode sort_mode_ = eKV7SortNone;
};
