// The IDE as the system sees it: item identifiers, hierarchy properties, the
// hierarchy and its events, the service provider, and the services that the
// system asks the IDE for. The headless host (kv7host) implements the
// services; the system implements the hierarchy. Everything lives on the UI
// thread.
#pragma once

#include "kv7/platform/bstr.h"
#include "kv7/platform/com.h"
#include "kv7/platform/messagebox.h"
#include "kv7/platform/variant.h"

// ---- Item identifiers -----------------------------------------------------

// The IDE's 32-bit name of a node of a hierarchy.
using VSITEMID = DWORD;
inline constexpr VSITEMID VSITEMID_NIL = 0xFFFFFFFF;
inline constexpr VSITEMID VSITEMID_ROOT = 0xFFFFFFFE;
inline constexpr VSITEMID VSITEMID_SELECTION = 0xFFFFFFFD;

// ---- Hierarchy properties -------------------------------------------------

using VSHPROPID = LONG;
inline constexpr VSHPROPID VSHPROPID_Parent = -1000;
inline constexpr VSHPROPID VSHPROPID_FirstChild = -1001;
inline constexpr VSHPROPID VSHPROPID_NextSibling = -1002;
inline constexpr VSHPROPID VSHPROPID_Root = -1003;
inline constexpr VSHPROPID VSHPROPID_TypeGuid = -1004;
inline constexpr VSHPROPID VSHPROPID_SaveName = -2002;
inline constexpr VSHPROPID VSHPROPID_Caption = -2003;
inline constexpr VSHPROPID VSHPROPID_IconImgList = -2004;
inline constexpr VSHPROPID VSHPROPID_IconIndex = -2005;
inline constexpr VSHPROPID VSHPROPID_Expandable = -2006;
inline constexpr VSHPROPID VSHPROPID_ExpandByDefault = -2011;
inline constexpr VSHPROPID VSHPROPID_Name = -2012;
inline constexpr VSHPROPID VSHPROPID_OpenFolderIconIndex = -2015;
inline constexpr VSHPROPID VSHPROPID_CmdUIGuid = -2016;
inline constexpr VSHPROPID VSHPROPID_BrowseObject = -2018;
inline constexpr VSHPROPID VSHPROPID_ProjectDir = -2021;
inline constexpr VSHPROPID VSHPROPID_UserContext = -2023;
inline constexpr VSHPROPID VSHPROPID_EditLabel = -2026;
inline constexpr VSHPROPID VSHPROPID_ExtObject = -2027;
inline constexpr VSHPROPID VSHPROPID_StateIconIndex = -2029;
inline constexpr VSHPROPID VSHPROPID_TypeName = -2030;
inline constexpr VSHPROPID VSHPROPID_ConfigurationProvider = -2036;
inline constexpr VSHPROPID VSHPROPID_OwnerKey = -2038;
inline constexpr VSHPROPID VSHPROPID_IsHiddenItem = -2043;
inline constexpr VSHPROPID VSHPROPID_ProjectIDGuid = -2059;

// The user cancelled an edit or save prompt.
inline constexpr HRESULT OLE_E_PROMPTSAVECANCELLED = MakeHResult(0x8004000C);

// ---- Hierarchy and its events ---------------------------------------------

// What a hierarchy tells the IDE (the Solution Explorer) about its items.
struct IVsHierarchyEvents : IUnknown {
  KV7_INTERFACE(IUnknown, "6DDD8DC3-32B2-4BF1-A1E1-B6DA40F529D1")

  virtual HRESULT OnItemAdded(VSITEMID parent, VSITEMID previousSibling, VSITEMID added) = 0;
  virtual HRESULT OnItemsAppended(VSITEMID parent) = 0;
  virtual HRESULT OnItemDeleted(VSITEMID item) = 0;
  virtual HRESULT OnPropertyChanged(VSITEMID item, VSHPROPID property, DWORD flags) = 0;
  virtual HRESULT OnInvalidateItems(VSITEMID parent) = 0;
};

struct IServiceProvider;

// A tree of items that the IDE shows and asks about.
struct IVsHierarchy : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DD4")

  virtual HRESULT SetSite(IServiceProvider* site) = 0;
  virtual HRESULT GetSite(IServiceProvider** site) = 0;
  virtual HRESULT QueryClose(BOOL* canClose) = 0;
  virtual HRESULT Close() = 0;
  virtual HRESULT GetGuidProperty(VSITEMID item, VSHPROPID property, GUID* value) = 0;
  virtual HRESULT SetGuidProperty(VSITEMID item, VSHPROPID property, REFGUID value) = 0;
  virtual HRESULT GetProperty(VSITEMID item, VSHPROPID property, VARIANT* value) = 0;
  virtual HRESULT SetProperty(VSITEMID item, VSHPROPID property, const VARIANT& value) = 0;
  virtual HRESULT GetCanonicalName(VSITEMID item, BSTR* name) = 0;
  virtual HRESULT ParseCanonicalName(const char16_t* name, VSITEMID* item) = 0;
  virtual HRESULT AdviseHierarchyEvents(IVsHierarchyEvents* sink, DWORD* cookie) = 0;
  virtual HRESULT UnadviseHierarchyEvents(DWORD cookie) = 0;
};

// A document the IDE loads and saves: a project's own file.
struct IPersistFileFormat : IUnknown {
  KV7_INTERFACE(IUnknown, "3AFAE242-B530-11D0-8199-00A0C91BBEE3")

  virtual HRESULT IsDirty(BOOL* dirty) = 0;
  virtual HRESULT InitNew(DWORD formatIndex) = 0;
  virtual HRESULT Load(const char16_t* fileName, DWORD mode, BOOL readOnly) = 0;
  // Saves to the current file (null name) or under a new name.
  virtual HRESULT Save(const char16_t* fileName, BOOL remember, DWORD formatIndex) = 0;
  virtual HRESULT SaveCompleted(const char16_t* fileName) = 0;
  virtual HRESULT GetCurFile(BSTR* fileName, DWORD* formatIndex) = 0;
};

// Makes the projects of one project type.
struct IVsProjectFactory : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DEF")

  virtual HRESULT CanCreateProject(const char16_t* fileName, DWORD flags, BOOL* canCreate) = 0;
  // Opens (CPF_OPENFILE) or creates from a template (CPF_CLONEFILE) a
  // project; *project carries a reference for the caller.
  virtual HRESULT CreateProject(const char16_t* fileName, const char16_t* location,
                                const char16_t* name, DWORD flags, IVsHierarchy** project,
                                BOOL* canceled) = 0;
};

// The IDE's register of project types: a package registers its factory.
struct IVsRegisterProjectTypes : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DF0")

  virtual HRESULT RegisterProjectType(REFGUID type, IVsProjectFactory* factory, DWORD* cookie) = 0;
  virtual HRESULT UnregisterProjectType(DWORD cookie) = 0;
};

// ---- Services -------------------------------------------------------------

// Hands out the IDE's services by service identifier and interface.
struct IServiceProvider : IUnknown {
  KV7_INTERFACE(IUnknown, "6D5140C1-7436-11CE-8034-00AA006009FA")

  virtual HRESULT QueryService(REFGUID service, REFIID riid, void** object) = 0;
};

// Asks a service provider for a service, typed.
template <class I>
HRESULT QueryServiceFor(IServiceProvider* provider, REFGUID service, ComPtr<I>* out) {
  if (provider == nullptr) return E_UNEXPECTED;
  return provider->QueryService(service, I::iid(), reinterpret_cast<void**>(out->Put()));
}

// Steps through the hierarchies of the solution.
struct IEnumHierarchies : IUnknown {
  KV7_INTERFACE(IUnknown, "C4CB2FE7-5F3F-4E1C-A2B8-90B5DB9F3B75")

  // Fills up to `count` hierarchies; S_FALSE when fewer were left.
  virtual HRESULT Next(ULONG count, IVsHierarchy** hierarchies, ULONG* fetched) = 0;
  virtual HRESULT Reset() = 0;
};

// How a project is created (IVsSolution::CreateProject, the project
// factory, the hierarchy's Init).
inline constexpr DWORD CPF_CLONEFILE = 0x1;  // a new project made from a template
inline constexpr DWORD CPF_OPENFILE = 0x2;   // an existing project file
inline constexpr DWORD CPF_SILENT = 0x4;

// Enumeration flags of IVsSolution::GetProjectEnum.
inline constexpr DWORD EPF_ALLPROJECTS = 27;
// Close options of IVsSolution::CloseSolutionElement.
inline constexpr DWORD SLNSAVEOPT_PromptSave = 0x2;

// The open solution: its projects.
struct IVsSolution : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DD5")

  // Every project (of `type`, or of any type when it is GUID_NULL).
  virtual HRESULT GetProjectEnum(DWORD flags, REFGUID type, IEnumHierarchies** projects) = 0;
  // Adds an opened project to the solution.
  virtual HRESULT AddProject(IVsHierarchy* project) = 0;
  // Closes a project and takes it out of the solution.
  virtual HRESULT CloseSolutionElement(DWORD options, IVsHierarchy* project, DWORD cookie) = 0;
  // Starts a new solution in a folder; VS_E_SOLUTIONALREADYOPEN when one is
  // open already (which callers may take as success).
  virtual HRESULT CreateSolution(const char16_t* folder, const char16_t* name, DWORD flags) = 0;
  // Creates a project of the type from a template file (CPF_CLONEFILE: the
  // template is copied to `location` as `name`) or opens a project file
  // (CPF_OPENFILE: `path` is the file), adds it to the solution, and hands
  // it out with a reference for the caller (project may be null).
  virtual HRESULT CreateProject(REFGUID type, const char16_t* path, const char16_t* location,
                                const char16_t* name, DWORD flags, IVsHierarchy** project) = 0;
  // The full path of a project template ("KV7PrjProjects\\KV7Project.kv7p")
  // below the templates directory the project type registered.
  virtual HRESULT GetProjectTemplateFile(const char16_t* templateName, BSTR* fullPath) = 0;
};
// The solution is open already.
inline constexpr HRESULT VS_E_SOLUTIONALREADYOPEN = MakeHResult(0x80041FE4);

// The documents the IDE holds open.
struct IVsRunningDocumentTable : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DD6")

  // A document moved from one path to another (an item was renamed).
  virtual HRESULT RenameDocument(const char16_t* oldPath, const char16_t* newPath,
                                 IVsHierarchy* hierarchy, VSITEMID newItem) = 0;
  // Whether the document of a path holds changes not yet saved: S_OK with
  // *dirty; S_FALSE (*dirty FALSE) when it is not open.
  virtual HRESULT IsDocumentDirty(const char16_t* path, BOOL* dirty) = 0;
  // Saves the open document of a path to its file.
  virtual HRESULT SaveDocument(const char16_t* path) = 0;
};

// The IDE's environment options, by category, page and name.
struct IVsEnvironmentOptions : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515E01")

  // E_INVALIDARG for an option the IDE does not have.
  virtual HRESULT GetOption(const char16_t* category, const char16_t* page, const char16_t* name,
                            VARIANT* value) = 0;
};
inline constexpr GUID SID_SVsEnvironmentOptions = IVsEnvironmentOptions::iid();

// Environment / ProjectsAndSolution / OnRunOrPreview: what becomes of
// changed open documents when something is built or run.
inline constexpr LONG kSaveChangesAlways = 0;
inline constexpr LONG kSaveChangesPrompt = 1;
inline constexpr LONG kSaveChangesNever = 2;

// Verdicts of IVsQueryEditQuerySave2::QueryEditFiles.
inline constexpr DWORD QER_EditOK = 0;
inline constexpr DWORD QER_NoEdit_UserCanceled = 1;

// Asks whether files may be edited (source control, read-only files).
struct IVsQueryEditQuerySave2 : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DD7")

  virtual HRESULT QueryEditFiles(DWORD flags, ULONG count, const char16_t* const* paths,
                                 DWORD* verdict) = 0;
};

// Change notifications of files on disk.
struct IVsFileChangeEx : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DD8")

  // While ignored, changes made to `path` are not reported (the caller is
  // writing the file itself).
  virtual HRESULT IgnoreFile(const char16_t* path, BOOL ignore) = 0;
};

// Message box buttons and icons (IVsUIShell::ShowMessageBox).
enum OLEMSGBUTTON : LONG { OLEMSGBUTTON_OK = 0, OLEMSGBUTTON_OKCANCEL = 1, OLEMSGBUTTON_YESNO = 4 };
enum OLEMSGICON : LONG {
  OLEMSGICON_NOICON = 0,
  OLEMSGICON_CRITICAL = 1,
  OLEMSGICON_QUERY = 2,
  OLEMSGICON_WARNING = 3,
  OLEMSGICON_INFO = 4,
};

// The IDE's shell UI: message boxes, error reports, the wait cursor.
struct IVsUIShell : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DD9")

  // Shows a message; *result is the button chosen (IDOK, IDYES, ...).
  virtual HRESULT ShowMessageBox(const char16_t* title, const char16_t* text, OLEMSGBUTTON buttons,
                                 OLEMSGICON icon, LONG* result) = 0;
  // Shows the thread's error information for a failure.
  virtual HRESULT ReportErrorInfo(HRESULT status) = 0;
  virtual HRESULT SetWaitCursor() = 0;
  // A modal choice of one entry of a list, starting on *chosen: S_OK with
  // *chosen the entry taken; S_FALSE when the user cancels.
  virtual HRESULT ChooseFromList(const char16_t* title, ULONG count,
                                 const char16_t* const* entries, ULONG* chosen) = 0;
};

// The IDE's own registry root under HKEY_CURRENT_USER / HKEY_LOCAL_MACHINE.
struct ILocalRegistry2 : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DDA")

  virtual HRESULT GetLocalRegistryRoot(BSTR* root) = 0;
};

// The Solution Explorer window: selection and expansion of items.
inline constexpr DWORD EXPF_SelectItem = 0x3;
inline constexpr DWORD EXPF_ExpandFolder = 0x1;
inline constexpr DWORD EXPF_EditLabel = 0x8;
// Adds the item to the selection instead of making it the only one.
inline constexpr DWORD EXPF_AddSelectItem = 0x10;

struct IVsUIHierarchyWindow : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DDB")

  virtual HRESULT ExpandItem(IVsHierarchy* hierarchy, VSITEMID item, DWORD flags) = 0;
  // The selected items of one hierarchy, in selection order.
  virtual HRESULT GetSelectedItems(IVsHierarchy* hierarchy, ULONG capacity, VSITEMID* items,
                                   ULONG* count) = 0;
};

// One selected item.
struct VSITEMSELECTION {
  VSITEMID itemid;
  IVsHierarchy* pHier;
};

// A selection of several items.
struct IVsMultiItemSelect : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE1")

  // How many items are selected, and whether they all lie in one hierarchy.
  virtual HRESULT GetSelectionInfo(ULONG* count, BOOL* singleHierarchy) = 0;
  // Fills `count` entries in selection order; each hierarchy carries a
  // reference for the caller.
  virtual HRESULT GetSelectedItems(DWORD flags, ULONG count, VSITEMSELECTION* items) = 0;
};

// The IDE's current selection.
struct IVsMonitorSelection : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE2")

  // One selected item: its hierarchy (with a reference) and identifier,
  // *multi null. Several: *hierarchy null, VSITEMID_SELECTION and *multi.
  // None: null, VSITEMID_NIL, null.
  virtual HRESULT GetCurrentSelection(IVsHierarchy** hierarchy, VSITEMID* item,
                                      IVsMultiItemSelect** multi) = 0;
};

// Service identifiers.
inline constexpr GUID SID_SVsSolution = IVsSolution::iid();
inline constexpr GUID SID_SVsRunningDocumentTable = IVsRunningDocumentTable::iid();
inline constexpr GUID SID_SVsQueryEditQuerySave = IVsQueryEditQuerySave2::iid();
inline constexpr GUID SID_SVsFileChangeEx = IVsFileChangeEx::iid();
inline constexpr GUID SID_SVsUIShell = IVsUIShell::iid();
inline constexpr GUID SID_SLocalRegistry = ILocalRegistry2::iid();
inline constexpr GUID SID_SVsUIHierarchyWindow = IVsUIHierarchyWindow::iid();
inline constexpr GUID SID_SVsShellMonitorSelection = IVsMonitorSelection::iid();

// ---- Commands -------------------------------------------------------------

// One command asked about in a QueryStatus: its id, and the state answered.
struct OLECMD {
  ULONG cmdID;
  DWORD cmdf;
};
inline constexpr DWORD OLECMDF_SUPPORTED = 0x1;
inline constexpr DWORD OLECMDF_ENABLED = 0x2;
inline constexpr DWORD OLECMDF_LATCHED = 0x4;
inline constexpr DWORD OLECMDF_INVISIBLE = 0x10;
inline constexpr HRESULT OLECMDERR_E_NOTSUPPORTED = MakeHResult(0x80040100);
inline constexpr HRESULT OLECMDERR_E_UNKNOWNGROUP = MakeHResult(0x80040104);

// The IDE's standard command set and the product's own.
inline constexpr GUID CMDSETID_StandardCommandSet97 =
    kv7::MakeGuid("5EFC7975-14BC-11CF-9B2B-00AA00573819");
inline constexpr GUID CMDSETID_StandardCommandSet2K =
    kv7::MakeGuid("1496A755-94DE-11D0-8C3F-00C04FC2AAE2");
inline constexpr GUID GUID_KV7PackageCommandSet =
    kv7::MakeGuid("43F39C38-9F4E-11D6-A97B-00B0D0E90F40");

// Standard commands that items answer.
inline constexpr ULONG cmdidCopy = 15;
inline constexpr ULONG cmdidCut = 16;
inline constexpr ULONG cmdidPaste = 26;
inline constexpr ULONG cmdidOpenWith = 199;
inline constexpr ULONG cmdidOpen = 261;
inline constexpr ULONG cmdidViewForm = 332;
inline constexpr ULONG cmdidViewCode = 333;

// ---- Help context ---------------------------------------------------------

// Attributes that tell the IDE's help which topic fits what is selected.
struct IVsUserContext : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DDC")

  virtual HRESULT AddAttribute(LONG usage, const char16_t* name, const char16_t* value) = 0;
  // The value of the first attribute named `name`; S_FALSE with null when absent.
  virtual HRESULT GetAttribute(const char16_t* name, BSTR* value) = 0;
};

// The IDE's help context service: makes empty contexts.
struct IVsMonitorUserContext : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DDD")

  virtual HRESULT CreateEmptyContext(IVsUserContext** context) = 0;
};
inline constexpr GUID SID_SVsMonitorUserContext = IVsMonitorUserContext::iid();

// ---- Properties window ----------------------------------------------------

using PROPCAT = LONG;
inline constexpr PROPCAT PROPCAT_Misc = -2;
using LCID = DWORD;

// Groups an object's properties into categories.
struct ICategorizeProperties : IUnknown {
  KV7_INTERFACE(IUnknown, "4D07FC10-F931-11CE-B001-00AA006884E5")

  virtual HRESULT MapPropertyToCategory(DISPID id, PROPCAT* category) = 0;
  virtual HRESULT GetCategoryName(PROPCAT category, LCID locale, BSTR* name) = 0;
};

// Display strings and predefined values of properties.
struct IPerPropertyBrowsing : IUnknown {
  KV7_INTERFACE(IUnknown, "376BD3AA-3845-101B-84ED-08002B2EC713")

  virtual HRESULT GetDisplayString(DISPID id, BSTR* text) = 0;
  virtual HRESULT MapPropertyToPage(DISPID id, CLSID* page) = 0;
  // The predefined values' texts and cookies (null when none).
  virtual HRESULT GetPredefinedStrings(DISPID id, VARIANT* strings, VARIANT* cookies) = 0;
  virtual HRESULT GetPredefinedValue(DISPID id, DWORD cookie, VARIANT* value) = 0;
};

// The IDE's own questions about properties.
struct IVsPerPropertyBrowsing : IUnknown {
  KV7_INTERFACE(IUnknown, "0FF510A3-5FA5-49F1-8CCC-190D71C1C571")

  virtual HRESULT HideProperty(DISPID id, BOOL* hide) = 0;
  virtual HRESULT DisplayChildProperties(DISPID id, BOOL* display) = 0;
  virtual HRESULT GetLocalizedPropertyInfo(DISPID id, LCID locale, BSTR* name,
                                           BSTR* description) = 0;
  virtual HRESULT HasDefaultValue(DISPID id, BOOL* isDefault) = 0;
  virtual HRESULT IsPropertyReadOnly(DISPID id, BOOL* readOnly) = 0;
  virtual HRESULT GetClassName(BSTR* name) = 0;
  virtual HRESULT CanResetPropertyValue(DISPID id, BOOL* canReset) = 0;
  virtual HRESULT ResetPropertyValue(DISPID id) = 0;
};

// Builders ("..." buttons) of properties.
inline constexpr LONG CTLBLDTYPE_FINTERNALBUILDER = 2;

struct IProvidePropertyBuilder : IUnknown {
  KV7_INTERFACE(IUnknown, "33C0C1D8-33CF-11D3-BFF2-00C04F990235")

  virtual HRESULT MapPropertyToBuilder(LONG id, LONG* builderType, BSTR* builderGuid,
                                       VARIANT_BOOL* canBuild) = 0;
  virtual HRESULT ExecuteBuilder(LONG id, const char16_t* builderGuid, IDispatch* object,
                                 HWND owner, VARIANT* value, VARIANT_BOOL* changed) = 0;
};

// ---- Configurations -------------------------------------------------------

// One configuration of a project: a configuration name on a platform.
struct IVsCfg : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE3")

  // The configuration's name and platform, as the IDE lists them.
  virtual HRESULT get_DisplayName(BSTR* name) = 0;
  virtual HRESULT get_IsDebugOnly(BOOL* debugOnly) = 0;
  virtual HRESULT get_IsReleaseOnly(BOOL* releaseOnly) = 0;
};

// A configuration of a project.
struct IVsProjectCfg : IVsCfg {
  KV7_INTERFACE(IVsCfg, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE4")

  // The full name: the configuration name, "|" and the platform name.
  virtual HRESULT get_CanonicalName(BSTR* name) = 0;
};

// What a build tells those who asked to follow it.
struct IVsBuildStatusCallback : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE5")

  // The build is about to start; clearing *continueBuild stops it.
  virtual HRESULT BuildBegin(BOOL* continueBuild) = 0;
  virtual HRESULT BuildEnd(BOOL success) = 0;
  virtual HRESULT Tick(BOOL* continueBuild) = 0;
};

// The status of a sixth advise where five are the limit.
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHResult(0x80040201);

struct IVsOutputWindowPane;

// A configuration that builds.
struct IVsBuildableProjectCfg : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE6")

  virtual HRESULT AdviseBuildStatusCallback(IVsBuildStatusCallback* callback, DWORD* cookie) = 0;
  virtual HRESULT UnadviseBuildStatusCallback(DWORD cookie) = 0;
  virtual HRESULT QueryStartBuild(DWORD options, BOOL* supported, BOOL* ready) = 0;
  virtual HRESULT QueryStartClean(DWORD options, BOOL* supported, BOOL* ready) = 0;
  virtual HRESULT QueryStartUpToDateCheck(DWORD options, BOOL* supported, BOOL* ready) = 0;
  // Start a build (options: 1 for a rebuild), a clean, an up-to-date
  // check; the advised callbacks hear their begin and end.
  virtual HRESULT StartBuild(IVsOutputWindowPane* pane, DWORD options) = 0;
  virtual HRESULT StartClean(IVsOutputWindowPane* pane, DWORD options) = 0;
  virtual HRESULT StartUpToDateCheck(IVsOutputWindowPane* pane, DWORD options) = 0;
  // *done: whether the last build has ended.
  virtual HRESULT QueryStatus(BOOL* done) = 0;
  virtual HRESULT Stop(BOOL sync) = 0;
  virtual HRESULT Wait(DWORD milliseconds, BOOL tickWhenMessagesWait) = 0;
};

// A configuration that the IDE's start command launches.
struct IVsDebuggableProjectCfg : IVsCfg {
  KV7_INTERFACE(IVsCfg, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE7")

  virtual HRESULT QueryDebugLaunch(ULONG flags, BOOL* canLaunch) = 0;
  // Starts the configuration: with DBGLAUNCH_NoDebug runs it, otherwise
  // debugs it.
  virtual HRESULT DebugLaunch(ULONG flags) = 0;
};

// What a configuration provider tells its listeners.
struct IVsCfgProviderEvents : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE8")

  virtual HRESULT OnCfgNameAdded(const char16_t* name) = 0;
  virtual HRESULT OnCfgNameDeleted(const char16_t* name) = 0;
  virtual HRESULT OnCfgNameRenamed(const char16_t* oldName, const char16_t* newName) = 0;
  virtual HRESULT OnPlatformNameAdded(const char16_t* name) = 0;
  virtual HRESULT OnPlatformNameDeleted(const char16_t* name) = 0;
};

// A project's configurations, as the IDE sees them.
struct IVsCfgProvider : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DDE")

  // Fills up to `count` configurations (each with a reference for the
  // caller); *actual is how many there are. With count 0, only *actual.
  virtual HRESULT GetCfgs(ULONG count, IVsCfg** cfgs, ULONG* actual, DWORD* flags) = 0;
};

// Configuration providers that edit names and platforms.
struct IVsCfgProvider2 : IVsCfgProvider {
  KV7_INTERFACE(IVsCfgProvider, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE9")

  // Names as BSTRs for the caller to free; count 0 asks only for *actual.
  virtual HRESULT GetCfgNames(ULONG count, BSTR* names, ULONG* actual) = 0;
  virtual HRESULT GetPlatformNames(ULONG count, BSTR* names, ULONG* actual) = 0;
  virtual HRESULT GetSupportedPlatformNames(ULONG count, BSTR* names, ULONG* actual) = 0;
  virtual HRESULT GetCfgOfName(const char16_t* name, const char16_t* platform, IVsCfg** cfg) = 0;
  // Opens a configuration by its full name ("Debug|Win32").
  virtual HRESULT OpenProjectCfg(const char16_t* fullName, IVsProjectCfg** cfg) = 0;
  virtual HRESULT AddCfgsOfCfgName(const char16_t* name, const char16_t* cloneName,
                                   BOOL isPrivate) = 0;
  virtual HRESULT DeleteCfgsOfCfgName(const char16_t* name) = 0;
  virtual HRESULT RenameCfgsOfCfgName(const char16_t* oldName, const char16_t* newName) = 0;
  virtual HRESULT AddCfgsOfPlatformName(const char16_t* name, const char16_t* clonePlatform) = 0;
  virtual HRESULT DeleteCfgsOfPlatformName(const char16_t* name) = 0;
  virtual HRESULT GetCfgProviderProperty(LONG property, VARIANT* value) = 0;
  virtual HRESULT AdviseCfgProviderEvents(IVsCfgProviderEvents* sink, DWORD* cookie) = 0;
  virtual HRESULT UnadviseCfgProviderEvents(DWORD cookie) = 0;
  virtual HRESULT get_UsesIndependentConfigurations(BOOL* independent) = 0;
};

// The solution's build settings: which configuration of a project is active.
struct IVsSolutionBuildManager : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DEA")

  // The project's active configuration; S_FALSE with null when the
  // solution names none that the project has.
  virtual HRESULT FindActiveProjectCfg(IVsHierarchy* project, IVsProjectCfg** cfg) = 0;
};
inline constexpr GUID SID_SVsSolutionBuildManager = IVsSolutionBuildManager::iid();
inline constexpr GUID SID_SVsRegisterProjectTypes = IVsRegisterProjectTypes::iid();

// ---- Output window and status bar -----------------------------------------

// One pane of the IDE's output window.
struct IVsOutputWindowPane : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DEC")

  // Writes the text as it is; callers end their lines with "\n".
  virtual HRESULT OutputString(const char16_t* text) = 0;
  // Brings the pane forward in the output window.
  virtual HRESULT Activate() = 0;
};

// The IDE's output window: its panes by identifier.
struct IVsOutputWindow : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DED")

  // E_INVALIDARG (pane null) when there is no pane of that identifier.
  virtual HRESULT GetPane(REFGUID pane, IVsOutputWindowPane** found) = 0;
  virtual HRESULT CreatePane(REFGUID pane, const char16_t* title, BOOL visible,
                             BOOL clearWithSolution) = 0;
  virtual HRESULT DeletePane(REFGUID pane) = 0;
  // Shows the output window itself.
  virtual HRESULT Show() = 0;
};
inline constexpr GUID SID_SVsOutputWindow = IVsOutputWindow::iid();
// The IDE's build pane.
inline constexpr GUID GUID_BuildOutputWindowPane =
    kv7::MakeGuid("1BD8A850-02D1-11D1-BEE7-00A0C913D1F8");

// The IDE's status bar.
struct IVsStatusbar : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DEE")

  virtual HRESULT Clear() = 0;
  virtual HRESULT SetText(const char16_t* text) = 0;
  // A progress bar: *cookie names it (0 asks for a new one); `inProgress`
  // FALSE takes it away.
  virtual HRESULT Progress(DWORD* cookie, BOOL inProgress, const char16_t* label, ULONG complete,
                           ULONG total) = 0;
  virtual HRESULT Animation(BOOL on, short index) = 0;
  virtual HRESULT SetInsMode(short mode) = 0;
  virtual HRESULT SetLineChar(LONG line, LONG column) = 0;
  virtual HRESULT SetColorText(const char16_t* text, DWORD foreground, DWORD background) = 0;
};
inline constexpr GUID SID_SVsStatusbar = IVsStatusbar::iid();

// ---- Document tracking ----------------------------------------------------

// Flags of the tracking calls, as the IDE takes them.
inline constexpr DWORD VSQUERYADDFILEFLAGS_IsSpecialFile = 0x2;
inline constexpr DWORD VSREMOVEFILEFLAGS_IsDirectoryBased = 0x8;

// The IDE's document tracking: a project asks before it adds, renames or
// removes a file and tells it afterwards, so that source control and other
// IDE clients can take part.
struct IVsTrackProjectDocuments2 : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DEB")

  // *allowed: FALSE when the change is refused.
  virtual HRESULT OnQueryAddFiles(IVsHierarchy* project, const char16_t* path, DWORD flags,
                                  BOOL* allowed) = 0;
  virtual HRESULT OnAfterAddFilesEx(IVsHierarchy* project, const char16_t* path, DWORD flags) = 0;
  virtual HRESULT OnQueryRenameFile(IVsHierarchy* project, const char16_t* oldPath,
                                    const char16_t* newPath, DWORD flags, BOOL* allowed) = 0;
  virtual HRESULT OnAfterRenameFile(IVsHierarchy* project, const char16_t* oldPath,
                                    const char16_t* newPath, DWORD flags) = 0;
  virtual HRESULT OnQueryRemoveFiles(IVsHierarchy* project, const char16_t* path, DWORD flags,
                                     BOOL* allowed) = 0;
  virtual HRESULT OnAfterRemoveFiles(IVsHierarchy* project, const char16_t* path, DWORD flags) = 0;
};
inline constexpr GUID SID_SVsTrackProjectDocuments = IVsTrackProjectDocuments2::iid();

// Reaches the configuration provider of the project an object belongs to.
struct IVsGetCfgProvider : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DDF")

  virtual HRESULT GetCfgProvider(IVsCfgProvider** provider) = 0;
};

// ---- Adding items ---------------------------------------------------------

// What the IDE's add-item request asks a project to do with its file list.
using VSADDITEMOPERATION = DWORD;
inline constexpr VSADDITEMOPERATION VSADDITEMOP_LINKTOFILE = 1;  // add the files where they are
inline constexpr VSADDITEMOPERATION VSADDITEMOP_OPENFILE = 2;    // the same, from an open dialog
inline constexpr VSADDITEMOPERATION VSADDITEMOP_CLONEFILE = 3;   // copy a template to the new name
inline constexpr VSADDITEMOPERATION VSADDITEMOP_RUNWIZARD = 4;   // run the item wizard

// What became of an add-item request.
using VSADDRESULT = LONG;
inline constexpr VSADDRESULT ADDRESULT_Failure = 0;
inline constexpr VSADDRESULT ADDRESULT_Success = -1;
inline constexpr VSADDRESULT ADDRESULT_Cancel = 1;

// ---- Opening documents ----------------------------------------------------

// Logical views of a document.
inline constexpr GUID LOGVIEWID_Primary = GUID_NULL;
inline constexpr GUID LOGVIEWID_Code = kv7::MakeGuid("7651A701-06E5-11D1-8EBD-00A0C90F26EA");
inline constexpr GUID LOGVIEWID_Designer = kv7::MakeGuid("7651A702-06E5-11D1-8EBD-00A0C90F26EA");

// Opens documents in their editors.
struct IVsUIShellOpenDocument : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515DE0")

  // Opens the file of a project item in the editor for the view.
  virtual HRESULT OpenDocumentViaProject(const char16_t* path, REFGUID logicalView,
                                         IVsHierarchy* hierarchy, VSITEMID item) = 0;
};
inline constexpr GUID SID_SVsUIShellOpenDocument = IVsUIShellOpenDocument::iid();

// ---- Debugging ------------------------------------------------------------

// Launch flags of IVsDebuggableProjectCfg::DebugLaunch.
inline constexpr ULONG DBGLAUNCH_NoDebug = 0x4;
// The debugger's launch operation that starts a custom debug engine.
inline constexpr DWORD DLO_Custom = 4;

// What the debugger launches: an operation, its flags, the debug engine,
// the program and its arguments (what the engine reads), and whether the
// program's output goes to the output window.
struct VsDebugTargetInfo {
  DWORD launchOperation = 0;
  DWORD launchFlags = 0;
  GUID debugEngine{};
  WString executable;
  WString arguments;
  BOOL sendToOutputWindow = FALSE;
};

// The debugger's modes, for those who follow them.
enum DBGMODE : LONG { DBGMODE_Design = 0, DBGMODE_Break = 1, DBGMODE_Run = 2 };

struct IVsDebuggerEvents : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515E02")

  virtual HRESULT OnModeChange(DBGMODE mode) = 0;
};

// The IDE's debugger.
struct IVsDebugger : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515E03")

  // Launches the targets with their debug engines.
  virtual HRESULT LaunchDebugTargets(ULONG count, VsDebugTargetInfo* targets) = 0;
  virtual HRESULT AdviseDebuggerEvents(IVsDebuggerEvents* sink, DWORD* cookie) = 0;
  virtual HRESULT UnadviseDebuggerEvents(DWORD cookie) = 0;
};
inline constexpr GUID SID_SVsShellDebugger = IVsDebugger::iid();

// ---- Project startup services ---------------------------------------------

// Named values that an object saves itself into and loads itself from.
struct IPropertyBag : IUnknown {
  KV7_INTERFACE(IUnknown, "55272A00-42CB-11CE-8135-00AA004BB851")

  // E_INVALIDARG when the bag holds no value of that name.
  virtual HRESULT Read(const char16_t* name, VARIANT* value) = 0;
  virtual HRESULT Write(const char16_t* name, const VARIANT& value) = 0;
};

// An enumerator of GUIDs.
struct IEnumProjectStartupServices : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515E04")

  // Fills up to `count` GUIDs; S_FALSE when fewer were left.
  virtual HRESULT Next(ULONG count, GUID* services, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumProjectStartupServices** copy) = 0;
};

// The services a project wants running while it is open.
struct IVsProjectStartupServices : IUnknown {
  KV7_INTERFACE(IUnknown, "7F7CD0DB-91EF-49DC-9FA9-02D128515E05")

  virtual HRESULT AddStartupService(REFGUID service) = 0;
  virtual HRESULT RemoveStartupService(REFGUID service) = 0;
  virtual HRESULT GetStartupServiceEnum(IEnumProjectStartupServices** services) = 0;
};
