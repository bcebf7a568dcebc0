// The helper library (libkv7vwizh): deployment tasks, procedure runs,
// connections, the options document and string loading, behind three plain
// classes. A call site creates an instance, calls one operation and
// destroys it.
//
// Conventions: operations return an HRESULT (negative = failure); input
// texts are null-terminated wide strings (null reads as empty); output
// texts are BSTRs that the caller frees with SysFreeString and that are left
// untouched when the operation fails. The library's own state (connection
// catalogue, options document) lives under $KV7_HOME.
#pragma once

#include "kv7/platform/bstr.h"
#include "kv7/platform/com.h"
#include "kv7/platform/hresult.h"

// The callback interface of an asynchronous task. Slot order after
// IUnknown: taskMessageAdded, taskCompleted.
struct ITaskExecutionListener : IUnknown {
  KV7_INTERFACE(IUnknown, "6A3C1E52-5B0D-4C77-9A51-2F0D8E7B4C11")

  // A progress message of the task (the system accepts and ignores it).
  virtual HRESULT taskMessageAdded(const char16_t* taskId, const char16_t* message) = 0;
  // The task ended; status 1 is success, any other value failure.
  virtual HRESULT taskCompleted(const char16_t* taskId, LONG status) = 0;
};

// Task execution: deployments, procedure runs, CLR assemblies, connections.
class CTaskHelperHook {
 public:
  CTaskHelperHook();
  ~CTaskHelperHook();
  CTaskHelperHook(const CTaskHelperHook&) = delete;
  CTaskHelperHook& operator=(const CTaskHelperHook&) = delete;

  // Deploys one item synchronously. *status is 1 on success; *result holds
  // the task's messages.
  HRESULT ExecuteTask(const char16_t* connectionXml, const char16_t* source,
                      const char16_t* configurationXml, const char16_t* extra,
                      const char16_t* objectName, LONG* status, BSTR* result);
  // Starts the same work and returns at once with the task identifier (a
  // GUID in registry form); completion reaches the listener.
  HRESULT ExecuteTaskAsync(const char16_t* connectionXml, const char16_t* source,
                           const char16_t* configurationXml, const char16_t* extra,
                           const char16_t* objectName, BSTR* taskId);
  // Starts running a stored procedure (to execute or to debug).
  HRESULT ExecuteTaskRoutineAsync(const char16_t* connectionXml, LONG mode,
                                  const char16_t* procedure, const char16_t* parameters,
                                  const char16_t* options, BSTR* taskId);
  HRESULT setTaskExecutionListener(ITaskExecutionListener* listener);
  // Stores the listener (with a reference for the caller, or null) in *listener.
  HRESULT getTaskExecutionListener(ITaskExecutionListener** listener);
  // Installs one CLR assembly; *status 0 means installed.
  HRESULT InstallCLRAssembly(const char16_t* connectionXml, const char16_t* assemblyPath,
                             const char16_t* assemblyName, const char16_t* options,
                             BSTR* message, BSTR* details, LONG* status, BSTR* result);
  // The stored connection description of that name.
  HRESULT GetConnXML(const char16_t* connectionName, BSTR* connectionXml);
  // Every known connection.
  HRESULT GetAllConnectionInfo(BSTR* connectionsXml);

 private:
  ComPtr<ITaskExecutionListener> listener_;
};

// Commands and options.
class CCommandHelperHook {
 public:
  HRESULT SelectConnection(const char16_t* connectionXml, BSTR* chosenXml);
  // TRUE when the library's connection services are at hand.
  HRESULT IsAddinAvailable(BOOL* available);
  // The XML declaration line that starts the system's generated documents.
  HRESULT GetXMLEncoding(BSTR* declaration);
  // The options document; seeded with every option at its default when the
  // store holds none.
  HRESULT GetOptionsFileXML(BSTR* optionsXml);
  // Replaces the stored options document.
  HRESULT SetOptionsFileXML(const char16_t* optionsXml);
  HRESULT MyChooseFont(const char16_t* fontName, float fontSize, BSTR* chosenName,
                       float* chosenSize);
  HRESULT ConvertConnectionXML(const char16_t* fromVersion, const char16_t* toVersion,
                               const char16_t* connectionXml, BSTR* convertedXml);
  HRESULT GetModelXML(const char16_t* request, BSTR* modelXml);
  HRESULT FormatModelIdentifier(const char16_t* identifier, BSTR* formatted);
  HRESULT GetQuotedNameForObject(const char16_t* name, BSTR* quotedName);
  HRESULT RunParameterValueDialog(const char16_t* parametersXml, const char16_t* valuesXml,
                                  BSTR* chosenXml, BOOL* accepted);
  HRESULT RunProcedureScriptWizard(const char16_t* connectionXml, const char16_t* folder,
                                   const char16_t* settingsXml);
  HRESULT ModifyProcedureScriptWizard(const char16_t* wizardXml, BSTR* newWizardXml,
                                      BSTR* scriptText, BOOL* changed);
  // Drops the library's in-memory caches (a project closed).
  HRESULT CollectGarbage();
  // Writes the library's stores through to disk.
  HRESULT ForceCacheSave();
  // The companion administration tools, one command each (package commands
  // 1 to 8 and 10).
  HRESULT LaunchCompanionTool1();
  HRESULT LaunchCompanionTool2();
  HRESULT LaunchCompanionTool3();
  HRESULT LaunchCompanionTool4();
  HRESULT LaunchCompanionTool5();
  HRESULT LaunchCompanionTool6();
  HRESULT LaunchCompanionTool7();
  HRESULT LaunchCompanionTool8();
  HRESULT LaunchCompanionTool10();
};

// String loading.
class CNLSStringHelperHook {
 public:
  // The localised text of string `key`; E_INVALIDARG when there is none.
  HRESULT DoLoadString(UINT key, BSTR* text);
};
