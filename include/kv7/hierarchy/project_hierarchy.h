// CMyProjectHierarchy: the one object per open database project. It owns
// the node tree, the project file's contents and the tracking document, and
// runs the project's life: creation, loading, dirty tracking, saving,
// closing. The IDE reaches it as an IVsHierarchy; sibling modules, the host
// and the CLI through the operations below. UI thread only.
//
// Life: CreateInstance -> Init (new or existing file) -> open -> Close
// (which runs CloseCleanup once). Entry points that need the project node
// answer E_UNEXPECTED before Init and after Close.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "kv7/document/assembly_info.h"
#include "kv7/document/conn_info.h"
#include "kv7/document/folders.h"
#include "kv7/hierarchy/file_nodes.h"
#include "kv7/hierarchy/project_listeners.h"
#include "kv7/platform/critsec.h"
#include "kv7/platform/file_status_ahead.h"
#include "kv7/platform/xmldom.h"

class CCfgProvider;
class CMyProjectCfg;
class CKV7BuiltFiles;
class CKV7DebuggingInfo;
class CKV7TaskHelperMgr;
class CVsProjectStartupServices;
class CTaskHelperHook;

// Delete operations of QueryDeleteItem / DeleteItem.
inline constexpr DWORD DELITEMOP_DeleteFromStorage = 1;
inline constexpr DWORD DELITEMOP_RemoveFromProject = 2;

// The project type registered with the IDE, and the type GUID the
// hierarchies report.
inline constexpr GUID GUID_MyProjectType = kv7::MakeGuid("DE64B6B2-0658-11D7-A99C-00B0D0E90F40");
// The command-UI GUID of the project.
inline constexpr GUID GUID_KV7CmdUI = kv7::MakeGuid("F52A9ABB-3EDC-11D7-A9C0-00B0D0E90F40");
// The package's SQL editor, which opens scripts, procedures and functions.
inline constexpr GUID GUID_KV7SqlEditorFactory = kv7::MakeGuid("5E0C7D61-3A6F-4C1B-9D55-8B1F2C4E7A10");

// The current project file format.
inline constexpr LONG kProjectFormatVersion = 3;

// Where build texts go (the build pane): each call writes one text as it
// is, lines ending in "\n".
using KV7OutputSink = std::function<void(WStringView text)>;
// Installs one assembly on the server, as the helper library's
// CTaskHelperHook::InstallCLRAssembly does (the same arguments; *status 0
// means installed).
using KV7AssemblyInstaller = std::function<HRESULT(
    const char16_t* connectionXml, const char16_t* assemblyPath, const char16_t* assemblyName,
    const char16_t* options, BSTR* message, BSTR* details, LONG* status, BSTR* result)>;

class CMyProjectHierarchy : public kv7::ComObject<IVsHierarchy, IPersistFileFormat> {
 public:
  static ComPtr<CMyProjectHierarchy> CreateInstance();

  // ---- Life --------------------------------------------------------------
  // Creates the project node, then loads the file (CPF_OPENFILE) or starts
  // a new project with its default folders (CPF_CLONEFILE). *canceled is
  // FALSE. A load failure leaves error information naming the file.
  HRESULT Init(const char16_t* fileName, const char16_t* location, const char16_t* name,
               DWORD flags, BOOL* canceled);
  // Marks a new project dirty.
  HRESULT InitNew(DWORD formatIndex) override;
  // Reads the project file (mode must be 0).
  HRESULT Load(const char16_t* fileName, DWORD mode, BOOL readOnly) override;
  // Writes the project file: to the current file (null name) or under a new
  // name in the same directory (which renames the project when `remember`).
  HRESULT Save(const char16_t* fileName, BOOL remember, DWORD formatIndex) override;
  HRESULT SaveCompleted(const char16_t* fileName) override;
  HRESULT GetCurFile(BSTR* fileName, DWORD* formatIndex) override;
  // Whether the project or its built-files record needs saving.
  HRESULT IsDirty(BOOL* dirty) override;
  // Whether the project itself needs saving.
  HRESULT IsProjectReallyDirty(BOOL* dirty);
  bool IsBuiltFilesObjectDirty() const;
  HRESULT CloseCleanup();

  // ---- IVsHierarchy ------------------------------------------------------
  HRESULT SetSite(IServiceProvider* site) override;
  HRESULT GetSite(IServiceProvider** site) override;
  HRESULT QueryClose(BOOL* canClose) override;
  HRESULT Close() override;
  HRESULT GetGuidProperty(VSITEMID item, VSHPROPID property, GUID* value) override;
  HRESULT SetGuidProperty(VSITEMID item, VSHPROPID property, REFGUID value) override;
  HRESULT GetProperty(VSITEMID item, VSHPROPID property, VARIANT* value) override;
  HRESULT SetProperty(VSITEMID item, VSHPROPID property, const VARIANT& value) override;
  HRESULT GetCanonicalName(VSITEMID item, BSTR* name) override;
  HRESULT ParseCanonicalName(const char16_t* name, VSITEMID* item) override;
  HRESULT AdviseHierarchyEvents(IVsHierarchyEvents* sink, DWORD* cookie) override;
  HRESULT UnadviseHierarchyEvents(DWORD cookie) override;

  // ---- Tree --------------------------------------------------------------
  CFileVwProjNode* GetProjectNode() const { return project_node_.Get(); }
  // The node of an identifier: E_UNEXPECTED for the selection or before a
  // project node exists; E_FAIL for nil, unknown or detached identifiers.
  HRESULT VSITEMID2Node(VSITEMID item, CHierNode** node) const;
  CFileVwFileNode* VSITEMID2FileNode(VSITEMID item) const;
  CFileVwFolderNode* VSITEMID2FolderNode(VSITEMID item) const;
  // Applies the executor to every file node, entering database folders
  // depth first; with stopOnError the walk ends at the first failure.
  HRESULT ProcessEveryFileNode(CKV7NodeExecutor* executor, bool stopOnError);
  HRESULT ProcessSelectedFileNodes(const std::vector<CFileVwFileNode*>& nodes,
                                   CKV7NodeExecutor* executor, bool stopOnError);
  // The folder at a backslash-separated folder path ("Tables\\Sub"), or null.
  CFileVwFolderNode* FindFolder(WStringView folderPath) const;
  // The item at a folder path ending in a file name; false when any step is missing.
  bool FindFolderBasedItem(WStringView itemPath, VSITEMID* item) const;
  // Moves every item path below a renamed folder.
  void FolderWasRenamed(WStringView oldPath, WStringView newPath);

  // ---- Build and task execution --------------------------------------------
  // A build runs from a waiting list of nodes and an executor applied to
  // each in turn; an item deployed as a task holds the list until the
  // task's completion (taskCompleted) moves it on. Build-end goes to the
  // building configuration once the list is gone and no task runs.
  //
  // Install the waiting list (every file node in tree order, depth first,
  // or the given nodes) and its executor, which the hierarchy owns until
  // the list goes, then process it. The success flag is set when no build
  // was under way. With stopOnError a failed task ends the build.
  HRESULT ProcessEveryFileNodeAsync(std::unique_ptr<CKV7NodeExecutor> executor, bool stopOnError);
  HRESULT ProcessSelectedFileNodesAsync(const std::vector<CFileVwFileNode*>& nodes,
                                        std::unique_ptr<CKV7NodeExecutor> executor,
                                        bool stopOnError);
  // Hands waiting nodes to the executor, one after another while each needs
  // no server work, and stops at the one that started a task (or failed).
  HRESULT ProcessNextWaitingCommand();
  // A single-item compile joining the build under way: the node waits at
  // the end of its list. False when no build waits.
  bool AppendWaitingNode(CFileVwFileNode* node);
  // Files a started task.
  HRESULT AddTaskHelperToList(std::unique_ptr<CTaskHelperHook> hook, WStringView taskId);
  // The task of an identifier (ignoring case), or null.
  CKV7TaskHelperMgr* FindTaskHelpMgrByTaskGuid(WStringView taskId) const;
  // A task runs.
  bool IsCompileInProgress() const { return !tasks_.empty(); }
  // Nodes wait.
  bool IsThereWorkToDo() const { return waiting_ != nullptr && !waiting_->empty(); }
  // The status of the file of the node the waiting list handed out last:
  // for the nodes the list started with, looked at ahead of the walk.
  kv7::FileStatus GetWaitingFileStatus(CFileVwFileNode* node);
  // A task ended (status 1: success): the build pane hears it, a deployed
  // item is marked built, and the waiting list moves on or, after a
  // failure, the build ends. Under the task lock.
  HRESULT taskCompleted(const char16_t* taskId, LONG status);
  HRESULT taskMessageAdded(const char16_t*, const char16_t*) { return S_OK; }
  // The configuration that hears build-end; null when none.
  void SetBuildingConfiguration(CMyProjectCfg* cfg);
  CMyProjectCfg* GetBuildingConfiguration() const { return building_cfg_.Get(); }
  // Whether every item of the last build went well so far.
  bool GetBuildSucceeded() const { return build_success_; }

  // ---- Naming and placement of new items ------------------------------------
  // The IDE's request for a fresh item name at a location: the suggested
  // root ("File" when none) followed by 1, 2, ... and the extension, the
  // first that names nothing in the location's directory (a database
  // folder's, the project folder; for other nodes the current directory).
  // The bare root is never offered. E_INVALIDARG without `itemName`;
  // E_UNEXPECTED before Init or when the location is not a node; E_FAIL
  // when every number is taken.
  HRESULT GenerateUniqueItemName(VSITEMID location, const char16_t* extension,
                                 const char16_t* suggestedRoot, BSTR* itemName);
  // Where a new file of that name belongs: an extension with a default
  // folder (FolderTypeForExtension, any letter case) goes to that folder,
  // which is created when missing; anything else to the project node.
  // *newPath is the container's directory with the file's base name and
  // extension, numbered 1, 2, ... before the extension while that path is
  // taken on disk. E_POINTER without an output (*location is VSITEMID_ROOT
  // and *newPath null unless S_OK); E_UNEXPECTED before Init; E_FAIL when
  // every number is taken.
  HRESULT SuggestLocationForExtension(const char16_t* fileName, VSITEMID* location,
                                      BSTR* newPath);
  // The container that new items of a folder type go to: the type's default
  // folder, created when missing; the project node for the types without
  // one (statements, command sets, other files) and when the folder cannot
  // be created. Null before Init.
  CFileVwFolderNode* DefaultContainerForType(LONG folderType);
  // Whether pasting `sourcePath` into the target folder (null: the project
  // node) would meet a namesake: true for a paste onto itself (the same
  // path, exactly), for a file at the target path and for a child of the
  // target with that file name. E_FAIL before Init.
  HRESULT CheckFileOrNodeExistanceForPaste(WStringView sourcePath, CFileVwFolderNode* targetFolder,
                                           bool* exists) const;
  // Whether a candidate path is taken: a file there, or a child of the
  // target folder (null: the project node) with its file name. E_FAIL
  // before Init.
  HRESULT CheckFileOrNodeExistanceForPaste2(WStringView candidatePath,
                                            CFileVwFolderNode* targetFolder, bool* exists) const;
  // The path of a pasted copy in the target folder (null: the project
  // node): text 1146 ("Copy of %1") with the source's file name, else text
  // 1147 ("Copy (%1) of %2") with 2, 3, ... and the file name, the first
  // that is not taken (CheckFileOrNodeExistanceForPaste2). E_FAIL (newPath
  // untouched) before Init or when every number is taken.
  HRESULT GenerateUniqueNameForPaste(WStringView sourcePath, CFileVwFolderNode* targetFolder,
                                     WString& newPath) const;
  // An item's document was saved under a new name: the item takes the new
  // path, the running document table and the tree hear of it, the project
  // is dirty and the listeners hear FileRenamed. Nothing happens (S_OK)
  // when the path only differs in letter case; the lookup's status when
  // the identifier is not a node. What the item built stays recorded under
  // the old path: the new file has not been deployed.
  HRESULT OnHandleSaveItemRename(VSITEMID item, const char16_t* newPath);

  // ---- Adding items --------------------------------------------------------
  // The IDE's add-item request: at a database folder it is served by that
  // folder (CFileVwProjNode::AddItemToFolder), anywhere else by the project
  // node (CFileVwProjNode::AddItem). E_UNEXPECTED before Init; the lookup's
  // status when the location is not a node.
  HRESULT AddItem(VSITEMID location, VSADDITEMOPERATION operation, const char16_t* itemName,
                  ULONG fileCount, const char16_t* const* files, VSADDRESULT* result);

  // ---- Folders -----------------------------------------------------------
  HRESULT AddDefaultFolders();
  CKV7FolderNode* FindDefaultFolderByType(LONG type, bool create);
  HRESULT CreateBaseFolder(WStringView displayName, WStringView directoryName,
                           CeKV7FolderInfoType type, CKV7FolderNode** folder);

  // ---- Removing ----------------------------------------------------------
  HRESULT QueryDeleteItem(DWORD operation, VSITEMID item, BOOL* allowed);
  HRESULT DeleteItem(DWORD operation, VSITEMID item);

  // ---- Editors -----------------------------------------------------------
  // The package's editor for scripts, procedures and functions; E_FAIL for
  // other documents.
  HRESULT GetSpecificEditorType(const char16_t* path, GUID* editor);
  HRESULT GetSpecificLanguageService(const char16_t* path, GUID* languageService);
  // The registry key of the project type's editor settings: the IDE's root,
  // "\\Projects\\", the project type GUID, "\\Editors". E_UNEXPECTED when
  // the IDE gives no root.
  HRESULT GetProjectEditorsKeyStringW(WString& key);
  // Reads, under HKEY_CURRENT_USER, whether the user chose the IDE's global
  // editor by default for scripts, procedures and functions.
  HRESULT InitProjectSpecificEditorMap();
  // What InitProjectSpecificEditorMap read for an extension (".kv7sp").
  bool UsesGlobalEditorByDefault(WStringView extension) const;

  // ---- Configurations ----------------------------------------------------
  // The provider, created at Init and let go at Close (null then).
  CCfgProvider* GetCfgProvider() const { return cfg_provider_.Get(); }
  // What the project's items deployed, per configuration; the file beside
  // the project file. Lives as long as the hierarchy.
  CKV7BuiltFiles* GetBuiltFiles() const { return built_files_.get(); }
  // The configuration named by the default configuration name (its full
  // name, ignoring case); without one, the configuration the IDE's
  // solution build manager has active for the project; null when neither
  // names one of the provider's.
  CMyProjectCfg* GetDefaultConfiguration() const;
  // The IDE services the project wants running while it is open.
  CVsProjectStartupServices* GetStartupServices() const { return startup_services_.Get(); }
  // The default configuration, else the provider's first, else null.
  CMyProjectCfg* GetActiveProjectConfig() const;
  CKV7ConnInfo* GetActiveConnInfo() const;
  CKV7DebuggingInfo* GetActiveDebuggingInfo() const;
  // Names the default configuration (a full name, "Release|Win32"; empty
  // for none) and marks the project dirty.
  void SetDefaultConfigurationName(WStringView fullName);

  // ---- Assemblies ----------------------------------------------------------
  // The project's assembly records, read from and written to the project
  // file. Lives as long as the hierarchy.
  CKV7AssemblyInfoList& GetAssemblyInfoList() { return assembly_infos_; }
  const CKV7AssemblyInfoList& GetAssemblyInfoList() const { return assembly_infos_; }
  // Installs, before a build, every assembly that needs it, in list order,
  // through `installer` (the helper library when empty) with the texts:
  // the building configuration's connection document, the DLL's path (a
  // relative source path is taken from the project folder), the external
  // name (the file name without extension when there is none) and the
  // target directory. A record is skipped when it is marked do not install
  // on build, when its DLL does not exist, and when it was installed and
  // its DLL's last-write time is the recorded timestamp (without one: not
  // later than the install time). An older DLL than the one installed is
  // installed again with text 1265 on `output`; a record not installed yet
  // without a source path gets text 1266 and is left alone.
  // On status 0 the record is installed: succeeded, install time now,
  // timestamp the DLL's time, and the installer's non-empty result and
  // details become its external name and GUID; its message, when there is
  // one, goes to `output`. A clone of each record installed is appended to
  // `installed` (so that the build can mark the items that use them not
  // built), and the project is dirty.
  // The first failing install (a failure status, or a status other than 0)
  // ends the walk: text 1304 names the DLL and the reason, the record
  // counts as not installed, and the failure status (E_FAIL for a status
  // other than 0) is returned. S_OK otherwise; E_UNEXPECTED before Init.
  HRESULT ProcessAssembliesForBuild(const char16_t* connectionXml, const KV7OutputSink& output,
                                    CKV7AssemblyInfoList& installed,
                                    const KV7AssemblyInstaller& installer = {});
  // Rewrites an item's text before it deploys: every assembly placeholder
  // (assembly_info.h) becomes what its record names. S_OK with `text`
  // rewritten and `note` holding the assemblies that stand by their target
  // path (written to `output` with text 1271 when not empty). E_FAIL when
  // a placeholder does not resolve: texts 1272 (the item's path and the
  // placeholder) and 1043 go to `output`, `text` and `note` stay.
  HRESULT DoExtNameReplacements(WStringView path, WString& text, WString& note,
                                const KV7OutputSink& output) const;

  // ---- Project listeners ---------------------------------------------------
  // Appends the listener (the list holds no reference) and hands it the
  // tracking document.
  HRESULT RegisterProjectListener(IKV7ProjectListener* listener);
  // Removes the first entry of the listener; an unknown one is ignored.
  HRESULT UnRegisterProjectListener(IKV7ProjectListener* listener);
  // Each tells every listener, in registration order.
  void FileAdded(WStringView path);
  void FileDeleted(WStringView path);
  void FileRenamed(WStringView oldPath, WStringView newPath);
  void FolderAdded(WStringView path);
  void FolderDeleted(WStringView path);
  void FolderRenamed(WStringView oldPath, WStringView newPath);
  void ProjectAdded(WStringView name);
  void ProjectDeleted(WStringView name);
  void ProjectRenamed(WStringView oldName, WStringView newName);
  void TrackingDOMChanged();
  // The IDE's document tracking, for this project. The helper holds the
  // project while it lives: keep it for one operation only.
  CVsTrackProjectDocuments2Helper DocumentTracker() { return CVsTrackProjectDocuments2Helper(this); }

  // ---- Automation --------------------------------------------------------
  HRESULT get_Name(BSTR* name);
  HRESULT put_Name(const char16_t* name);
  HRESULT get_ProjectPath(BSTR* path);
  HRESULT get_IsDirty(VARIANT_BOOL* dirty);
  HRESULT put_IsDirty(VARIANT_BOOL dirty);

  // ---- Project file ------------------------------------------------------
  HRESULT SaveAsXML(const char16_t* fileName);
  HRESULT SaveGeneralPropertiesAsXML(WStringView indent, WString& buffer) const;
  HRESULT SaveFilesAsXML(WStringView indent, WString& buffer) const;
  HRESULT SaveFoldersAsXML(WStringView indent, WString& buffer) const;
  HRESULT LoadFromXML(const char16_t* fileName);

  // ---- Fields ------------------------------------------------------------
  const WString& GetProjectFilePath() const { return project_file_; }
  // The project file's directory with a trailing "/".
  const WString& GetProjectFolderPath() const { return project_folder_; }
  LONG GetFormatVersion() const { return format_version_; }
  const WString& GetDefaultConfigurationName() const { return default_configuration_; }
  const WString& GetSccProjectName() const { return scc_[0]; }
  const WString& GetSccLocalPath() const { return scc_[1]; }
  const WString& GetSccAuxPath() const { return scc_[2]; }
  const WString& GetSccProvider() const { return scc_[3]; }
  const WString& GetOwnerKey() const { return owner_key_; }
  IXMLDOMDocument* GetDOMDocument() const { return tracking_document_.Get(); }
  // Items and folders that loading left out because they were missing on
  // disk (their paths, in the order met); saving would drop them.
  const std::vector<WString>& GetMissingOnLoad() const { return missing_on_load_; }
  bool IsLoading() const { return loading_; }
  // The name of the loaded file's document element: "KV7Project" for a
  // project file; another name for an XML file that is not one (which
  // loads as an empty project); empty before a load.
  const WString& GetDocumentElementName() const { return document_element_; }
  // The global option SaveUserAndPassword as it was when the project was
  // loaded: whether saved connections keep their user and password.
  bool GetSaveUserAndPassword() const { return save_user_and_password_; }
  // The connection of a project file older than version 3, which its
  // configurations without a connection take over; empty otherwise.
  const CKV7ConnInfo& GetProjectLevelConnection() const { return project_connection_; }
  bool IsClosed() const { return closed_; }
  void SetDirty() { if (project_node_) project_node_->SetDirty(true); }

  void DoEnterCriticalSection() { task_lock_.Enter(); }
  void DoLeaveCriticalSection() { task_lock_.Leave(); }
  CCriticalSection& GetTaskLock() { return task_lock_; }

  // Tells the IDE that a child was inserted (after `previous`, or first).
  void NotifyItemAdded(CHierNode* parent, CHierNode* previous, CHierNode* child);
  void NotifyItemDeleted(CHierNode* node);
  void NotifyPropertyChanged(CHierNode* node, VSHPROPID property);
  // Tells the IDE to read a node's children (captions, icons) again.
  void NotifyInvalidateItems(CHierNode* parent);
  // Tells the IDE's running document table that a node's document moved.
  void NotifyDocumentMoved(WStringView oldPath, WStringView newPath, CHierNode* node);
  // Asks the IDE whether the project file may be edited.
  bool QueryEditProjectFile();
  // The project file path changed (a rename): keeps the folder path too.
  void SetProjectFilePath(WStringView path);

  // ---- The open hierarchies of the process --------------------------------
  static CMyProjectHierarchy* GlobalFindProjectByName(WStringView name);
  static CMyProjectHierarchy* GlobalFirstProjectWithSelection();
  static void GetAllProjectNames(std::vector<WString>& names);

 private:
  CMyProjectHierarchy();
  ~CMyProjectHierarchy() override;

  class CfgProviderEvents;

  HRESULT CheckOpen() const;
  // Installs a waiting list and its executor for the Async walks.
  HRESULT StartWaitingList(std::deque<ComPtr<CFileVwFileNode>> nodes,
                           std::unique_ptr<CKV7NodeExecutor> executor, bool stopOnError);
  void DeleteWaitingList();
  // Build-end to the building configuration, which is then forgotten.
  void EndBuild(bool success);
  HRESULT WriteProjectFile(const WString& path);
  // Creates the configuration provider and listens to it.
  void CreateCfgProvider();
  // A new project takes the connection handed in for it, or else (when the
  // global option asks for one) the connection the chooser gives.
  void TakeNewProjectConnection();
  // Gives a connection read from an old project file to every
  // configuration that has none.
  void GiveProjectConnectionToConfigurations();
  // The built-files record beside a project file, read on its own (the
  // reason of a failure taken out of that thread's error information).
  struct BuiltFilesRead {
    std::unique_ptr<CKV7BuiltFiles> record;
    HRESULT status;
    WString reason;
  };
  static BuiltFilesRead ReadBuiltFiles(WString projectFile);
  // Takes a record read; one that did not load is reported and the project
  // goes on with it empty.
  void TakeBuiltFiles(BuiltFilesRead read);
  // Enters every configuration that the record lacks; opening the project
  // changes nothing that would need saving.
  void EnterConfigurationsInRecord();
  // The provider told that a configuration name changed or went, or a
  // platform went: the default configuration and every item's build
  // settings follow.
  void OnCfgNameRenamed(WStringView oldName, WStringView newName);
  void OnCfgNameDeleted(WStringView name);
  void OnPlatformNameDeleted(WStringView platform);
  template <class Call>
  void TellListeners(Call call);
  // Sends ShuttingDown to every listener and forgets them all.
  void ShutDownListeners();
  bool HasSelection() const;
  // Project file reading, by element.
  HRESULT LoadKV7ProjectNode(IXMLDOMNode* root);
  HRESULT LoadKV7DefaultConfigurationFromXML(IXMLDOMNode* element);
  HRESULT LoadGeneralFromXML(IXMLDOMNode* element);
  HRESULT LoadConfigurationsFromXML(IXMLDOMNode* element);
  HRESULT LoadAssemblyInfosFromXML(IXMLDOMNode* element);
  HRESULT LoadFilesFromXML(IXMLDOMNode* files);
  HRESULT LoadFoldersFromXML(IXMLDOMNode* folders);
  void ReportMissing(WStringView path, UINT textId, UINT captionId, UINT fallbackTextId);

  friend class CKV7FolderNode;  // loads folders through the shared readers below
  // Adds the items of a Files element to a container (project node or folder).
  HRESULT LoadFileItems(CFileVwFolderNode* container, IXMLDOMNode* files);
  // Adds the folders of a Folders element below a container.
  HRESULT LoadFolderItems(CFileVwFolderNode* container, IXMLDOMNode* folders);

  ComPtr<IServiceProvider> site_;
  ComPtr<CFileVwProjNode> project_node_;
  WString project_file_;
  WString project_folder_;
  WString scc_[4];
  WString owner_key_;
  WString default_configuration_;
  LONG format_version_ = kProjectFormatVersion;
  CKV7AssemblyInfoList assembly_infos_;
  WString document_element_;
  // The single connection of a project file older than version 3.
  CKV7ConnInfo project_connection_;
  ComPtr<CCfgProvider> cfg_provider_;
  DWORD cfg_provider_cookie_ = 0;
  std::unique_ptr<CKV7BuiltFiles> built_files_;
  ComPtr<CVsProjectStartupServices> startup_services_;
  // Registered project listeners, in registration order; not referenced.
  std::vector<IKV7ProjectListener*> listeners_;
  ComPtr<IXMLDOMDocument> tracking_document_;
  std::vector<WString> missing_on_load_;
  std::vector<WString> global_editor_extensions_;
  std::vector<std::pair<DWORD, ComPtr<IVsHierarchyEvents>>> event_sinks_;
  DWORD next_cookie_ = 1;
  CCriticalSection task_lock_;
  // Build state (see "Build and task execution").
  std::unique_ptr<std::deque<ComPtr<CFileVwFileNode>>> waiting_;
  // The files of the nodes the waiting list started with, in its order, and
  // how many nodes the list has handed out.
  std::unique_ptr<kv7::FileStatusAhead> waiting_files_;
  size_t waiting_handed_ = 0;
  std::unique_ptr<CKV7NodeExecutor> executor_;
  std::vector<std::unique_ptr<CKV7TaskHelperMgr>> tasks_;
  ComPtr<CMyProjectCfg> building_cfg_;
  bool stop_on_error_ = true;
  bool build_success_ = true;
  bool save_user_and_password_ = true;
  bool initialized_ = false;
  bool loading_ = false;
  bool closed_ = false;
};
