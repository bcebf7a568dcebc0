// The file-view layers of the node tree: nodes with a path on disk (items,
// folders and the project node). Paths are native ("/"); a folder's path is
// its directory, without a trailing separator.
#pragma once

#include <unordered_map>
#include <vector>

#include "kv7/hierarchy/hier_node.h"
#include "kv7/platform/xmldom.h"
#include "kv7/util/utilities.h"

class CFileVwProjNode;
class CFileVwFolderNode;

// A node with a full path and a file name (the path's last component).
class CFileVwBaseNode : public CHierContainer {
 public:
  const WString& GetFullPath() const { return full_path_; }
  const WString& GetFileName() const { return file_name_; }
  // Sets the full path and the file name; folders also take the file name
  // as their name.
  virtual void SetFullPath(WStringView path);

  // The path to store in the project file: relative to the project folder
  // (S_OK) when the full path starts with it exactly, else the full path
  // (S_FALSE). Relative paths use "\" as the project file does.
  HRESULT GetProjRelativePath(WString& path) const;
  // The project node above this node, or null when not in a project.
  CFileVwProjNode* GetProjectNode() const;
  // This node or the first node below it whose full path equals `path`
  // (exactly, else ignoring case); null when none.
  CFileVwBaseNode* GetNodeByFullPath(WStringView path);

  // The project identifier that the IDE set on this node (all zero until
  // set). Every node of the file view keeps what it is given; only the
  // project node's answers the project identifier property.
  const GUID& GetProjectGuid() const { return project_guid_; }
  void SetProjectGuid(const GUID& guid) { project_guid_ = guid; }

 protected:
  CFileVwBaseNode() = default;

 private:
  WString full_path_;
  WString file_name_;
  GUID project_guid_{};
};

// Dispatch identifiers of an item's automation properties.
inline constexpr DISPID DISPID_KV7FileName = 0;
inline constexpr DISPID DISPID_KV7FilePath = 1;
inline constexpr DISPID DISPID_KV7ModifiedDate = 2;
inline constexpr DISPID DISPID_KV7Size = 3;
inline constexpr DISPID DISPID_KV7FileType = 4;
inline constexpr DISPID DISPID_KV7ReadOnly = 5;
inline constexpr DISPID DISPID_KV7Extender = 7;
inline constexpr DISPID DISPID_KV7ExtenderNames = 8;
inline constexpr DISPID DISPID_KV7ExtenderCATID = 9;

// A plain item file: the base of every database object node. Its
// automation object (the browse object of the Properties window) is the
// node itself.
class CFileVwFileNode : public CFileVwBaseNode, public IDispatch {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return CFileVwBaseNode::AddRef(); }
  ULONG Release() override { return CFileVwBaseNode::Release(); }

  DWORD GetKindOf() const override { return kKindFile; }
  const GUID& PGuidGetType() const override { return GUID_FileViewNode; }
  LONG GetIconIndex(int state) const override;
  void SetFullPath(WStringView path) override;
  // The name, without its extension when the user hides extensions.
  WString GetDisplayCaption() const override;
  // Renames the item's file in its directory, keeping the tree, the IDE's
  // documents and the project file in step.
  HRESULT SetEditLabel(WStringView label) override;
  // The item's file moved from `oldPath` to `newPath`: the project's
  // listeners hear it and the built-files record follows.
  void OnItemRenamed(WStringView oldPath, WStringView newPath);
  HRESULT GetProperty(VSHPROPID property, VARIANT* value) override;
  // Open (261), Open With (199), View Code (333) and View Form (332).
  HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands) override;
  HRESULT Exec(const GUID* group, DWORD command, DWORD options, const VARIANT* in,
               VARIANT* out) override;

  // The item's document opened in its editor, in a view.
  HRESULT OnCmdOpen();
  HRESULT OnCmdOpenWith();
  HRESULT OnCmdViewCode();
  HRESULT OnCmdViewForm();

  // ---- Single-item compile ------------------------------------------------
  // Deploys this item alone in the default configuration, or in the one the
  // user picks when the global option PromptForConfig is set: announced,
  // and forced (deployed even when excluded or unchanged). Synchronously
  // the task's status and result text come back at once. Otherwise the
  // item joins the build under way, or starts one of its own whose end is
  // the hierarchy's (IsThereWorkToDo, IsCompileInProgress). E_UNEXPECTED
  // outside a project; S_FALSE when the user cancels the choice; the
  // status of a configuration without a usable connection.
  HRESULT Compile(bool synchronous, LONG* status, WString* result);

  // ---- Automation ----------------------------------------------------------
  HRESULT GetIDsOfNames(const char16_t* name, DISPID* id) override;
  HRESULT Invoke(DISPID id, WORD flags, const VARIANT* args, UINT argCount,
                 VARIANT* result) override;
  HRESULT get_FileName(BSTR* name);
  // Renames the item.
  HRESULT put_FileName(const char16_t* name);
  HRESULT get_FilePath(BSTR* path);
  HRESULT get_ModifiedDate(VARIANT* date);
  HRESULT get_Size(double* size);
  HRESULT get_FileType(BSTR* type);
  HRESULT get_ReadOnly(VARIANT_BOOL* readOnly);
  HRESULT put_ReadOnly(VARIANT_BOOL readOnly);
  // Items carry no extenders: E_INVALIDARG for any name.
  HRESULT get_Extender(const char16_t* name, IDispatch** extender);
  HRESULT get_ExtenderNames(VARIANT* names);
  HRESULT get_ExtenderCATID(BSTR* catid);

  // ---- Project file ----------------------------------------------------------
  // The project file element that holds this item.
  virtual const char16_t* ProjectFileElement() const { return u"UnknownFile"; }
  // Appends this item's element (with its FileInfo block) at `indent`.
  virtual HRESULT SaveAsXMLForProject(WStringView indent, WString& buffer) const;
  // Reads what the item keeps in its element beyond its path.
  virtual HRESULT LoadFromXMLForProject(IXMLDOMNode* element);
  // Appends the FileInfo block shared by every kind.
  HRESULT SaveBaseXMLInfoForProject(WStringView indent, WString& buffer) const;

  static ComPtr<CFileVwFileNode> CreateInstance(WStringView path);

 protected:
  CFileVwFileNode() = default;

  // A help context holding the keyword under the attribute "keyword".
  HRESULT SetupF1KeywordContext(const char16_t* keyword, IVsUserContext** context);
  // Answers the automation properties that every item has.
  HRESULT InvokeFileProperty(DISPID id, WORD flags, const VARIANT* args, UINT argCount,
                             VARIANT* result);
  HRESULT OpenDocument(REFGUID logicalView);
};

// A folder: a directory below the project folder.
class CFileVwFolderNode : public CFileVwBaseNode {
 public:
  DWORD GetKindOf() const override { return kKindFolder; }
  const GUID& PGuidGetType() const override { return GUID_FileViewNode; }
  bool Expandable() const override;
  void SetFullPath(WStringView path) override;
  // Renames the folder's directory; the paths of everything below follow.
  HRESULT SetEditLabel(WStringView label) override;
  HRESULT GetProperty(VSHPROPID property, VARIANT* value) override;

  // The folder's directory.
  const WString& GetFolderPath() const { return GetFullPath(); }
  // A folder child named `name` (ignoring case), or null.
  CFileVwFolderNode* FindFolder(WStringView name) const;
  // A file child whose full path (ignoring case) or file name equals the
  // given path's, or null.
  CFileVwFileNode* FindFile(WStringView path) const;
  bool DoesFolderAlreadyExist(WStringView name) const { return FindFolder(name) != nullptr; }
  bool DoesFileAlreadyExist(WStringView path) const { return FindFile(path) != nullptr; }
  // Moves the paths below a renamed folder: every file child whose full path
  // starts (ignoring case) with old + "/" gets new + "/" + the rest; folder
  // children do the same for their own children.
  void FolderWasRenamed(WStringView oldPath, WStringView newPath);

  // The directory that new items of this container go to, with a trailing
  // "/": the folder's directory; for the project node the project folder.
  virtual WString GetItemDirectory() const;
  // A full path for a new item in this container: the directory, the base
  // name, "." and the extension (given without its dot; a leading dot is
  // ignored); while a child has that file name or a file or directory has
  // that path, the base name is followed by 1, 2, ... An empty base name
  // is replaced by the folder type's base file name. E_FAIL (`fullPath`
  // untouched) when that is empty too, or when every number is taken.
  HRESULT GenerateUniqueFileName(WStringView baseName, WStringView extension, LONG folderType,
                                 WString& fullPath) const;

 protected:
  CFileVwFolderNode() = default;
  void ChildLinked(CHierNode* child) override;
  void ChildUnlinking(CHierNode* child) override;
  void AllChildrenUnlinking() override;

 private:
  friend class CFileVwFileNode;  // re-indexes itself when its path changes

  // The file children by case-folded file name, so that FindFile does not
  // walk every child.
  std::unordered_multimap<WString, CFileVwFileNode*> files_by_name_;
};

// The project node: the root of a project's tree, named by the project file.
class CFileVwProjNode : public CFileVwFolderNode {
 public:
  DWORD GetKindOf() const override { return kKindProject; }
  VSITEMID GetVsItemID() const override { return VSITEMID_ROOT; }
  CMyProjectHierarchy* GetCVsHierarchy() const override { return hierarchy_; }
  const GUID& PGuidGetType() const override { return GUID_KV7ProjectType; }
  bool ExpandByDefault() const override { return true; }
  HRESULT SetEditLabel(WStringView label) override;
  HRESULT GetGuidProperty(VSHPROPID property, GUID* value) override;
  // The project's name is the project file's base name.
  void SetFullPath(WStringView path) override;

  // The project folder path: the project file's directory with a trailing "/".
  WString GetFolderPath() const;

  bool IsDirty() const { return dirty_ != 0; }
  // Marks the project changed (or saved).
  void SetDirty(bool dirty) { dirty_ = dirty ? 1 : 0; }

  // Adds an existing file to the project node or a folder (the container),
  // choosing the node class by the file's extension. E_FAIL (after telling
  // the user) when the container already holds that path or file name.
  HRESULT AddExistingFile(CFileVwFolderNode* container, WStringView path,
                          CFileVwFileNode** added = nullptr);
  // Adds an existing directory as a folder of the container.
  HRESULT AddExistingKV7Folder(CFileVwFolderNode* container, WStringView path,
                               CFileVwFolderNode** added = nullptr);
  // Creates a new folder `name` (and its directory) in the container; E_FAIL
  // with error information when the name is not a valid folder name or the
  // folder or directory exists already.
  HRESULT CreateAndAddFolder(CFileVwFolderNode* container, WStringView name,
                             CFileVwFolderNode** added = nullptr);
  // Takes an item out of the project, deleting its file too when asked.
  HRESULT DeleteNode(CFileVwFileNode* node, bool deleteFromDisk);
  // Takes a folder with everything below it out of the project, deleting
  // its directory too when asked.
  HRESULT DeleteFolder(CFileVwFolderNode* folder, bool deleteFromDisk);
  // Renames the project file (in its directory) and the project.
  HRESULT RenameProject(WStringView newName);

  WString GetItemDirectory() const override { return GetFolderPath(); }

  // ---- Adding items ----------------------------------------------------------
  // AddItem, AddItemToFolder and AddNewItem first ask the IDE whether the
  // project file may be edited, and answer OLE_E_PROMPTSAVECANCELLED, adding
  // nothing, when it may not. Every item they add is announced: the
  // project's listeners hear FileAdded with its path, the item is selected
  // in the IDE's tree and (unless a caller says otherwise) opened in its
  // editor.

  // The IDE's add-item request at the project node, or at a database folder.
  // VSADDITEMOP_OPENFILE and _LINKTOFILE add each listed file where it is,
  // going on after a file that cannot be added; the status is the first
  // failure's. _CLONEFILE copies the first listed file (the template) to
  // `itemName` in the container's directory (AddNewFile); _RUNWIZARD runs
  // the item wizard (RunWizard). For these two a name that is not a valid
  // item name fails with text 10 as error information (E_FAIL), and a name
  // that exists in the directory is refused with text 780 and caption 781
  // in a warning message box (E_ABORT). E_INVALIDARG for another operation
  // or a clone without a template. *result (may be null) tells the IDE:
  // ADDRESULT_Success, _Cancel (E_ABORT, OLE_E_PROMPTSAVECANCELLED) or
  // _Failure.
  HRESULT AddItem(VSADDITEMOPERATION operation, const char16_t* itemName, ULONG fileCount,
                  const char16_t* const* files, VSADDRESULT* result);
  HRESULT AddItemToFolder(CFileVwFolderNode* folder, VSADDITEMOPERATION operation,
                          const char16_t* itemName, ULONG fileCount, const char16_t* const* files,
                          VSADDRESULT* result);
  // Copies a template to `target` (failing when it exists), makes the copy
  // writable and stamps it with the current time, then adds it to the
  // container (AddExistingFile). A copy that cannot be added is deleted
  // again. Not announced: the callers announce what they add.
  HRESULT AddNewFile(CFileVwFolderNode* container, WStringView templatePath, WStringView target,
                     CFileVwFileNode** added = nullptr);
  // Runs the helper library's item wizard on the container's directory
  // with the active configuration's connection; the library's status
  // (E_NOTIMPL while it offers no such wizard).
  HRESULT RunWizard(CFileVwFolderNode* container);
  // Creates the item file `fileName` in the container's directory holding
  // `contents` (in the system's ANSI code page; empty for an empty item)
  // and adds it as AddItem adds a clone: the same refusals (text 10 with
  // E_FAIL, 780/781 with E_ABORT, nothing created), then announced, opened
  // in its editor only when `openInEditor`. A file that cannot be added is
  // deleted again. The entry point of tools that create items (the command
  // line's new-item, project command documents): they choose the container
  // (CMyProjectHierarchy::DefaultContainerForType) and a free name
  // (GenerateUniqueFileName) first.
  HRESULT AddNewItem(CFileVwFolderNode* container, WStringView fileName, WStringView contents,
                     bool openInEditor, CFileVwFileNode** added = nullptr);

  static ComPtr<CFileVwProjNode> CreateInstance(CMyProjectHierarchy* hierarchy);

 private:
  explicit CFileVwProjNode(CMyProjectHierarchy* hierarchy) : hierarchy_(hierarchy) {}

  CMyProjectHierarchy* hierarchy_;  // owns this node
  DWORD dirty_ = 0;
};

// A name the file system and the project accept for an item or folder: not
// empty, not ".", none of \ / : * ? " < > |.
bool IsValidItemName(WStringView name);
