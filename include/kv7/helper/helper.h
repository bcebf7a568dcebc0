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

#include <functional>
#include <vector>

#include "kv7/platform/bstr.h"
#include "kv7/platform/com.h"
#include "kv7/platform/file_lock.h"  // KV7_E_LOCKED
#include "kv7/platform/hresult.h"

// The catalogue has no connection of the name asked for (also the system's
// status for a project connection that no longer exists).
inline constexpr HRESULT KV7_E_CONNECTION_NOT_FOUND = MakeHResult(0x800404E9);

// The attributes of a DATACONNECTION element (connection format 2), in the
// order of the system's connection record and of the library's answers.
inline constexpr const char16_t* kConnectionAttributeNames[15] = {
    u"DBALIAS",        u"DBCONNNAME",        u"DBUSER",
    u"DBPASSWORD",     u"DBCONNSTRING",      u"DBPLATFORMNAME",
    u"DBPLATFORMVERSION", u"DBDEFAULTOWNER",  u"DBPACKAGEOWNER",
    u"DBBUILDOWNER",   u"DBCONNISONLINE",    u"SERVER",
    u"DATABASE",       u"TIMEOUT",           u"DBTYPE",
};

// The callback interface of an asynchronous task. Slot order after
// IUnknown: taskMessageAdded, taskCompleted.
struct ITaskExecutionListener : IUnknown {
  KV7_INTERFACE(IUnknown, "6A3C1E52-5B0D-4C77-9A51-2F0D8E7B4C11")

  // A progress message of the task (the system accepts and ignores it).
  virtual HRESULT taskMessageAdded(const char16_t* taskId, const char16_t* message) = 0;
  // The task ended; status 1 is success, any other value failure.
  virtual HRESULT taskCompleted(const char16_t* taskId, LONG status) = 0;
};

// What became of one deployment task. The library hands it to the host's
// report sink on the UI thread, just before the task's completion reaches
// its listener, so that the host can show and count what happened.
struct KV7TaskReport {
  WString taskId;
  WString objectName;
  LONG status = 0;          // 1 success, 0 failure (as the completion says)
  bool unchanged = false;   // nothing ran: the database holds the item as it is
  WString result;           // one line: what was created or replaced, or why it failed
  std::vector<WString> notes;  // further lines ("ran without the item transaction")
  LONG line = 0;            // the line of the item's text a failure points at; 0 none
  double seconds = 0;       // how long the task ran
};
using KV7TaskReportSink = std::function<void(const KV7TaskReport&)>;

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
  // Starts running a stored procedure (mode 0: to execute it) on the
  // connection: the procedure as the system displays it ("schema"."name"),
  // its parameter values document (/SP/COLUMNS/COLUMN elements with
  // TYPENAME, LENGTH, SCALE, PARM_MODE, PARMNAME and PARAM_VALUE; a value
  // "(null)" or empty is NULL), and the name its report carries. Returns at
  // once with the task identifier; the report and the completion come as
  // for ExecuteTaskAsync, on the connection's worker. On PostgreSQL a
  // procedure is called (CALL, its OUT parameters as NULL placeholders) and
  // a function queried (SELECT * FROM), the values cast to their TYPENAMEs;
  // the report's result says what ran ("called app.place_order",
  // "app.order_lines returned 3 rows") and its notes list a function's rows
  // (a header line, one line per row, at most 100), a procedure's OUT and
  // INOUT values ("total = 42") and the server's notices. A SQLite
  // connection has no procedures: the task fails saying so.
  // E_INVALIDARG for an empty procedure name or a parameter document that
  // is not one; HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED) for another mode
  // (debugging), as no procedure debug engine is installed; E_UNEXPECTED
  // as ExecuteTaskAsync. Error information says why.
  HRESULT ExecuteTaskRoutineAsync(const char16_t* procedure, LONG mode,
                                  const char16_t* parametersXml, const char16_t* connectionXml,
                                  const char16_t* objectName, BSTR* taskId);
  HRESULT setTaskExecutionListener(ITaskExecutionListener* listener);
  // Stores the listener (with a reference for the caller, or null) in *listener.
  HRESULT getTaskExecutionListener(ITaskExecutionListener** listener);
  // Installs one CLR assembly; *status 0 means installed. Neither engine
  // that the library deploys to runs .NET code: the answer is always
  // HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), with error information saying
  // so, and the outputs untouched.
  HRESULT InstallCLRAssembly(const char16_t* connectionXml, const char16_t* assemblyPath,
                             const char16_t* assemblyName, const char16_t* options,
                             BSTR* message, BSTR* details, LONG* status, BSTR* result);
  // The connection of that name (matched ignoring case): its DATACONNECTION
  // element alone, password in plain, as a project configuration holds it
  // (so that the system can compare the two texts).
  // KV7_E_CONNECTION_NOT_FOUND, with error information naming the
  // connection, when the catalogue has none of that name.
  HRESULT GetConnXML(const char16_t* connectionName, BSTR* connectionXml);
  // The whole catalogue as a DATACONNECTIONS document (passwords in plain),
  // its DEFAULT attribute naming the default connection.
  HRESULT GetAllConnectionInfo(BSTR* connectionsXml);

 private:
  ComPtr<ITaskExecutionListener> listener_;
};

// Commands and options.
class CCommandHelperHook {
 public:
  // The connection chooser, without a display: answers the catalogue's
  // connection named by the preset's DBCONNNAME (a DATACONNECTION element or
  // a DATACONNECTIONS document), else the default connection, as a
  // DATACONNECTIONS document holding that one connection (password in
  // plain). S_FALSE with *chosenXml untouched when the catalogue is empty,
  // as when a person closes the chooser without choosing.
  HRESULT SelectConnection(const char16_t* connectionXml, BSTR* chosenXml);
  // Adds a connection to the catalogue from a DATACONNECTION element with
  // the password in plain. The element is completed as ConvertConnectionXML
  // completes one to format 2; any connection string is dropped, so that the
  // password is stored in one place only (enciphered). The first connection
  // becomes the default, as does this one with makeDefault. E_INVALIDARG for
  // a text that is not such an element or has no DBCONNNAME;
  // HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when the name is taken.
  HRESULT AddConnection(const char16_t* connectionXml, BOOL makeDefault);
  // Removes the connection of that name; when it was the default, the first
  // remaining connection becomes the default. KV7_E_CONNECTION_NOT_FOUND as
  // GetConnXML.
  HRESULT RemoveConnection(const char16_t* connectionName);
  // TRUE when the library's connection services are at hand.
  HRESULT IsAddinAvailable(BOOL* available);
  // The XML declaration line that starts the system's generated documents.
  HRESULT GetXMLEncoding(BSTR* declaration);
  // The options document; seeded with every option at its default when the
  // store holds none.
  HRESULT GetOptionsFileXML(BSTR* optionsXml);
  // Replaces the stored options document.
  HRESULT SetOptionsFileXML(const char16_t* optionsXml);
  // The seed options document (every option at its default), whatever the
  // store holds: a complete document to start again from.
  HRESULT GetDefaultOptionsFileXML(BSTR* optionsXml);
  HRESULT MyChooseFont(const char16_t* fontName, float fontSize, BSTR* chosenName,
                       float* chosenSize);
  // Converts a DATACONNECTION element from connection format "1" to "2",
  // the only conversion there is: format 2 has every attribute of the
  // connection record; the missing ones are added, DATABASE taking the
  // value of DBALIAS, DBTYPE "SQLITE", the others empty. The answer is the
  // element alone, attributes in the record's order, then any others.
  // E_INVALIDARG for other versions, E_FAIL for a text that is neither a
  // DATACONNECTION element nor a DATACONNECTIONS document holding one.
  HRESULT ConvertConnectionXML(const char16_t* fromVersion, const char16_t* toVersion,
                               const char16_t* connectionXml, BSTR* convertedXml);
  HRESULT GetModelXML(const char16_t* request, BSTR* modelXml);
  // A possibly qualified identifier ("schema.name") as SQL needs it
  // written: each part between dots (dots inside double quotes do not
  // count) is quoted as GetQuotedNameForObject quotes a name; a part that is
  // already in double quotes stays as it is.
  HRESULT FormatModelIdentifier(const char16_t* identifier, BSTR* formatted);
  // One name as SQL needs it written: unchanged when it is a plain word
  // (ASCII letters of one case, digits and "_", not starting with a digit;
  // mixed case would be folded by the server) that is not a reserved word,
  // otherwise in double quotes with inner quotes doubled. Empty stays empty.
  HRESULT GetQuotedNameForObject(const char16_t* name, BSTR* quotedName);
  HRESULT RunParameterValueDialog(const char16_t* parametersXml, const char16_t* valuesXml,
                                  BSTR* chosenXml, BOOL* accepted);
  HRESULT RunProcedureScriptWizard(const char16_t* connectionXml, const char16_t* folder,
                                   const char16_t* settingsXml);
  HRESULT ModifyProcedureScriptWizard(const char16_t* wizardXml, BSTR* newWizardXml,
                                      BSTR* scriptText, BOOL* changed);
  // Drops the library's in-memory caches (a project closed): open database
  // connections that have no task running are closed.
  HRESULT CollectGarbage();
  // Installs the host's sink for task reports (an empty function removes
  // it). Reports reach it on the UI thread, through the UI dispatcher.
  HRESULT SetTaskReportSink(KV7TaskReportSink sink);
  // Tells the library about the deployments that follow: the project's
  // folder (a relative SQLite database path is taken from it) and whether
  // items whose text matches what was deployed run again (a rebuild, a
  // single-item compile; tables aside).
  HRESULT SetDeploymentContext(const char16_t* projectFolder, BOOL redeployUnchanged);
  // Interrupts every running deployment statement (Ctrl-C): the item rolls
  // back and fails; tasks still queued fail without running.
  HRESULT CancelTasks();
  // One build at a time per deployment target: takes the lock of the
  // database that the connection document names (a relative SQLite path is
  // taken from the project folder), waiting up to waitSeconds for another
  // process or connection document holding it. A SQLite database is locked
  // through the file "<database>.kv7lock" beside it; a PostgreSQL database
  // with a session advisory lock on a connection kept for it. The lock is
  // held until UnlockDeploymentTarget with the same two texts, or the
  // process's end; taking it again under them is S_OK at once.
  // KV7_E_LOCKED when the wait ran out, *holder then naming who holds it
  // ("kv7 pid 4711 on build1 since 12/06/2026 21:40:02", set although the
  // call failed); on any failure error information names the connection
  // and says why (a refused connection, a missing directory).
  HRESULT LockDeploymentTarget(const char16_t* connectionXml, const char16_t* projectFolder,
                               double waitSeconds, BSTR* holder);
  // Lets the lock go; S_FALSE when this process held none under the texts.
  HRESULT UnlockDeploymentTarget(const char16_t* connectionXml, const char16_t* projectFolder);
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
