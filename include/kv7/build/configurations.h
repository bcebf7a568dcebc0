// A project's configurations. CCfgProvider, owned by the project
// hierarchy, lists, adds, renames and deletes configuration names over the
// project's platforms ("Win32"); CMyProjectCfg is one configuration (a name
// on a platform, full name "Debug|Win32") with its own connection, run
// order and debugging info, and the callbacks of its builds.
//
// Changes ask the IDE first whether the project file may be edited and mark
// the project dirty; the built-files record follows every configuration
// that is added, renamed or deleted. A configuration hears renames of the
// project's files and folders as a project listener, and passes them to its
// run order. UI thread only.
#pragma once

#include <array>
#include <vector>

#include "kv7/build/run_order.h"
#include "kv7/document/conn_info.h"
#include "kv7/document/debugging_info.h"
#include "kv7/hierarchy/project_listeners.h"
#include "kv7/host/ide.h"

class CMyProjectHierarchy;

// The configurations and platform of a new project.
inline constexpr char16_t kDefaultPlatform[] = u"Win32";
inline constexpr const char16_t* kDefaultConfigurations[] = {u"Debug", u"Release"};

// The full name of a configuration: the name, then "|" and the platform
// when there is one.
WString MakeCfgFullName(WStringView name, WStringView platform);

class CMyProjectCfg final
    : public kv7::ComObject<IVsProjectCfg, IVsBuildableProjectCfg, IVsDebuggableProjectCfg,
                            IKV7ProjectListener, IVsDebuggerEvents> {
 public:
  // A configuration of the hierarchy (not owned), registered with it as a
  // project listener until Detach. One named "Debug" (ignoring case)
  // starts with BuildForDebug set.
  static ComPtr<CMyProjectCfg> CreateInstance(CMyProjectHierarchy* hierarchy, WStringView name,
                                              WStringView platform);

  const WString& GetCfgName() const { return name_; }
  const WString& GetPlatformName() const { return platform_; }
  const WString& GetName() const { return full_name_; }
  // Takes a new configuration name (a rename); the full name follows.
  void SetCfgName(WStringView name);
  CMyProjectHierarchy* get_Hierachy() const { return hierarchy_; }
  CKV7ConnInfo* get_ConnInfo() { return &connection_; }
  CKV7DebuggingInfo* get_DebuggingInfo() { return &debugging_; }
  CRunOrder* GetRunOrder() { return &run_order_; }

  // Connects the configuration to a connection (a DATACONNECTION element,
  // password plain). What the project's items deployed went to the old
  // database, so every item of every configuration counts as not built
  // again; the project is marked dirty. The parse's status; the connection
  // is unchanged when the text is not one.
  HRESULT SetConnection(const char16_t* connectionXml);

  // The connection document a deployment sends: the connection is first
  // brought up to date with the catalogue (a change marks the project
  // dirty). KV7_E_CONNECTION_NOT_FOUND when the catalogue no longer has it.
  HRESULT GetDeploymentConnection(WString& connectionXml);

  // Copies another configuration's connection, run order and debugging
  // info (not its name, not what its items built). The status of copying
  // the connection; a configuration without one leaves this one's empty.
  HRESULT CopyFrom(CMyProjectCfg* other);

  // The configuration's element of the project file at `indent`.
  HRESULT SaveAsXML(WStringView indent, WString& buffer) const;
  // Reads a Configuration element's connection, run order and debugging
  // info; its name is the caller's (see CCfgProvider::LoadFromXML). The
  // connection is decrypted, brought up to date with the catalogue (a
  // change marks the project dirty) and, for a project file older than
  // the current format, upgraded.
  HRESULT LoadFromXML(IXMLDOMNode* element, LONG formatVersion);

  // Build-begin: each advised callback in slot order until one clears the
  // continue flag; *continueBuild tells whether the build may start.
  void FireBuildBegin(BOOL* continueBuild);
  // Build-end: every advised callback, with the outcome.
  void FireBuildEnd(BOOL success);

  // Leaves the hierarchy: unregisters the listener and forgets the
  // hierarchy (which is closing).
  void Detach();

  // ---- IVsCfg / IVsProjectCfg ---------------------------------------------
  HRESULT get_DisplayName(BSTR* name) override;
  HRESULT get_IsDebugOnly(BOOL* debugOnly) override;
  HRESULT get_IsReleaseOnly(BOOL* releaseOnly) override;
  HRESULT get_CanonicalName(BSTR* name) override;
  // ---- IVsBuildableProjectCfg --------------------------------------------
  // Five slots; the cookie is the slot number + 1; a sixth callback is
  // refused with CONNECT_E_ADVISELIMIT.
  HRESULT AdviseBuildStatusCallback(IVsBuildStatusCallback* callback, DWORD* cookie) override;
  HRESULT UnadviseBuildStatusCallback(DWORD cookie) override;
  // Always supported and ready.
  HRESULT QueryStartBuild(DWORD options, BOOL* supported, BOOL* ready) override;
  HRESULT QueryStartClean(DWORD options, BOOL* supported, BOOL* ready) override;
  HRESULT QueryStartUpToDateCheck(DWORD options, BOOL* supported, BOOL* ready) override;
  // A build of the configuration's changed items (options: 1 for a
  // rebuild of every item); build-end comes when the last task completes,
  // or at once when the build ends without starting one.
  HRESULT StartBuild(IVsOutputWindowPane* pane, DWORD options) override;
  // Marks every item not built in this configuration; nothing reaches the
  // database.
  HRESULT StartClean(IVsOutputWindowPane* pane, DWORD options) override;
  // Build-end tells whether the build is up to date (never).
  HRESULT StartUpToDateCheck(IVsOutputWindowPane* pane, DWORD options) override;
  // Reports that the build is not done.
  HRESULT QueryStatus(BOOL* done) override;
  HRESULT Stop(BOOL sync) override;
  HRESULT Wait(DWORD milliseconds, BOOL tickWhenMessagesWait) override;
  // ---- IVsDebuggableProjectCfg -------------------------------------------
  HRESULT QueryDebugLaunch(ULONG flags, BOOL* canLaunch) override;
  // Starts the startup procedure of the debugging info on the
  // configuration's connection with its saved parameter values: with
  // DBGLAUNCH_NoDebug it runs as a task of the project (its end is the
  // hierarchy's, IsCompileInProgress), otherwise the IDE debugger gets it.
  // A configuration without a connection, with one the catalogue lacks,
  // without a startup procedure, or with input parameters lacking values
  // is refused through the IDE's error report with that status.
  HRESULT DebugLaunch(ULONG flags) override;
  // The one target a debug launch hands the debugger: the procedure debug
  // engine, launched as a custom operation.
  HRESULT GetDebugLaunchTargets(VsDebugTargetInfo* target) const;
  // ---- IVsDebuggerEvents: a debug launch follows the debugger until it
  // returns to design mode.
  HRESULT OnModeChange(DBGMODE mode) override;
  // ---- IKV7ProjectListener: renames reach the run order ------------------
  HRESULT FileAdded(const char16_t*) override { return S_OK; }
  HRESULT FileDeleted(const char16_t*) override { return S_OK; }
  HRESULT FileRenamed(const char16_t* oldPath, const char16_t* newPath) override;
  HRESULT FolderAdded(const char16_t*) override { return S_OK; }
  HRESULT FolderDeleted(const char16_t*) override { return S_OK; }
  HRESULT FolderRenamed(const char16_t* oldPath, const char16_t* newPath) override;
  HRESULT ProjectAdded(const char16_t*) override { return S_OK; }
  HRESULT ProjectDeleted(const char16_t*) override { return S_OK; }
  HRESULT ProjectRenamed(const char16_t*, const char16_t*) override { return S_OK; }
  HRESULT ShuttingDown() override;
  HRESULT TrackingDOMChanged() override { return S_OK; }
  HRESULT SetTrackingDOM(IXMLDOMDocument*) override { return S_OK; }

 private:
  CMyProjectCfg(CMyProjectHierarchy* hierarchy, WStringView name, WStringView platform);
  ~CMyProjectCfg() override;

  // The project-relative form ("\\"-separated) of a path below the project
  // folder; the path itself otherwise.
  WString RunOrderName(WStringView path) const;

  CMyProjectHierarchy* hierarchy_;
  WString name_;
  WString platform_;
  WString full_name_;
  CKV7ConnInfo connection_;
  CRunOrder run_order_;
  CKV7DebuggingInfo debugging_;
  std::array<ComPtr<IVsBuildStatusCallback>, 5> callbacks_;
  // The debugger this configuration listens to during a debug launch.
  ComPtr<IVsDebugger> debugger_;
  DWORD debugger_cookie_ = 0;
};

// Statuses of a refused start.
inline constexpr HRESULT KV7_E_NO_CONNECTION = MakeHResult(0x8004041D);
inline constexpr HRESULT KV7_E_NO_STARTUP_PROCEDURE = MakeHResult(0x800404E3);
inline constexpr HRESULT KV7_E_STARTUP_VALUES_MISSING = MakeHResult(0x800404E7);
// The debug engine of database procedures.
inline constexpr GUID GUID_KV7ProcedureDebugEngine =
    kv7::MakeGuid("F9971293-7298-11D6-837C-00C04F6BCBA2");

class CCfgProvider final : public kv7::ComObject<IVsCfgProvider2> {
 public:
  static ComPtr<CCfgProvider> CreateInstance(CMyProjectHierarchy* hierarchy);

  // The platform list starts as "Win32"; configurations come from
  // CreateDefaultConfigurations or LoadFromXML.
  HRESULT Initialize();
  // "Debug" and "Release" on every platform. S_FALSE when the provider has
  // configurations already. The project enters them in its built-files
  // record.
  HRESULT CreateDefaultConfigurations();

  // The configurations in order; lookups ignore case.
  const std::vector<ComPtr<CMyProjectCfg>>& GetConfigurations() const { return cfgs_; }
  const std::vector<WString>& GetConfigurationNames() const { return names_; }
  const std::vector<WString>& GetPlatforms() const { return platforms_; }
  // The configuration of that full name, or null.
  CMyProjectCfg* FindCfg(WStringView fullName) const;
  bool HasCfgName(WStringView name) const;

  // The Configurations element at `indent`, one Configuration per
  // configuration.
  HRESULT SaveAsXML(WStringView indent, WString& buffer) const;
  // Reads a Configurations element: each Configuration named by its full
  // name is read into the configuration of that name, which is created
  // (with its configuration name and platform) when there is none.
  HRESULT LoadFromXML(IXMLDOMNode* element, LONG formatVersion);

  // Leaves the hierarchy: every configuration detaches, the sinks go.
  void Close();

  // ---- IVsCfgProvider2 ---------------------------------------------------
  HRESULT GetCfgs(ULONG count, IVsCfg** cfgs, ULONG* actual, DWORD* flags) override;
  HRESULT GetCfgNames(ULONG count, BSTR* names, ULONG* actual) override;
  HRESULT GetPlatformNames(ULONG count, BSTR* names, ULONG* actual) override;
  HRESULT GetSupportedPlatformNames(ULONG count, BSTR* names, ULONG* actual) override;
  HRESULT GetCfgOfName(const char16_t* name, const char16_t* platform, IVsCfg** cfg) override;
  HRESULT OpenProjectCfg(const char16_t* fullName, IVsProjectCfg** cfg) override;
  // Fails with ERROR_ALREADY_EXISTS for a name in use (ignoring case),
  // ERROR_NOT_FOUND for a clone-from name that does not exist, and
  // OLE_E_PROMPTSAVECANCELLED when the project file may not be edited;
  // error information names the configuration. A failure partway deletes
  // the configurations made so far.
  HRESULT AddCfgsOfCfgName(const char16_t* name, const char16_t* cloneName,
                           BOOL isPrivate) override;
  // ERROR_NOT_FOUND for a name not in use.
  HRESULT DeleteCfgsOfCfgName(const char16_t* name) override;
  HRESULT RenameCfgsOfCfgName(const char16_t* oldName, const char16_t* newName) override;
  // Platforms are fixed: accepted, nothing done.
  HRESULT AddCfgsOfPlatformName(const char16_t* name, const char16_t* clonePlatform) override;
  HRESULT DeleteCfgsOfPlatformName(const char16_t* name) override;
  // A boolean: true for -16002, -16003, -16004 and 1, false otherwise.
  HRESULT GetCfgProviderProperty(LONG property, VARIANT* value) override;
  // Up to five sinks; a sixth is refused with CONNECT_E_ADVISELIMIT.
  HRESULT AdviseCfgProviderEvents(IVsCfgProviderEvents* sink, DWORD* cookie) override;
  HRESULT UnadviseCfgProviderEvents(DWORD cookie) override;
  HRESULT get_UsesIndependentConfigurations(BOOL* independent) override;

 private:
  explicit CCfgProvider(CMyProjectHierarchy* hierarchy);
  ~CCfgProvider() override;

  // Creates the configurations of a name on every platform (cloning the
  // same platform's configuration of `cloneName` when given) and enters
  // them in the record; undoes all of them on a failure.
  HRESULT AddConfigurations(WStringView name, const WString* cloneName);
  // Appends a configuration (entering it in the record when `record`).
  CMyProjectCfg* Append(WStringView name, WStringView platform, bool record);
  void NoteName(WStringView name);
  void NotePlatform(WStringView platform);
  // Refusals of the name operations: sets error information.
  HRESULT Refuse(HRESULT status, WStringView text) const;
  template <class Call>
  void TellSinks(Call call);

  CMyProjectHierarchy* hierarchy_;
  std::vector<ComPtr<CMyProjectCfg>> cfgs_;
  std::vector<WString> names_;
  std::vector<WString> platforms_;
  std::array<ComPtr<IVsCfgProviderEvents>, 5> sinks_;
};
