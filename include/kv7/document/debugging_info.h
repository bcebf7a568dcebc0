// CKV7DebuggingInfo: a configuration's debugging settings, saved inside
// its Configuration element of the project file: whether items are built
// for debugging, the debug session limits, and the startup procedure that
// starting the project runs or debugs, with its parameter values.
//
// The startup procedure is a CStoredProcedure (procedure_metadata.h): its
// schema and name are ProcSchema and ProcName, and its parameter values
// document is ParametersXML, whose parameters the procedure reads whenever
// the document is set.
//
// Project file form, at the caller's indent, children one tab deeper, each
// line ending in CR LF:
//
//   <DebuggingInfo>
//   	(the extra settings text, when there is one)
//   	<BuildForDebug>TRUE|FALSE</BuildForDebug>
//   	<DebugSessionTimeout>60</DebugSessionTimeout>
//   	<MaxVariableLengthDisplay>80</MaxVariableLengthDisplay>
//   	<LogXML>TRUE|FALSE</LogXML>
//   	<ParametersXML>(the parameter values document)</ParametersXML>
//   	<ProcName>(name)</ProcName>
//   	<ProcSchema>(schema)</ProcSchema>
//   </DebuggingInfo>
//
// LogXML is not part of the record: it is the process-wide debugging
// logging option at the time of writing, and it is never read back.
//
// The element is always written, whatever the record holds (its three
// settings always have values), so the record is never "empty" for the
// configuration's writer.
//
// The record is owned by value by its configuration or property page and
// lives on the UI thread. Copies are made with CopyFrom.
#pragma once

#include "kv7/build/procedure_metadata.h"
#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"
#include "kv7/platform/xmldom.h"

class CKV7DebuggingInfo {
 public:
  static constexpr LONG kDefaultDebugSessionTimeout = 60;
  static constexpr LONG kDefaultMaxVariableLengthDisplay = 80;

  // Not built for debugging (a configuration named "Debug" sets it), the
  // default limits, no extra settings and no startup procedure.
  CKV7DebuggingInfo();
  ~CKV7DebuggingInfo();
  CKV7DebuggingInfo(const CKV7DebuggingInfo&) = delete;
  CKV7DebuggingInfo& operator=(const CKV7DebuggingInfo&) = delete;

  // Reads the children of a DebuggingInfo element: BuildForDebug (true
  // exactly for "TRUE", ignoring case), DebugSessionTimeout and
  // MaxVariableLengthDisplay (decimal, as "%lu" reads them), ParametersXML
  // (escaping undone, then read by the startup procedure), ProcName and
  // ProcSchema. A missing or empty element, or a number that does not
  // read, leaves its field as it was. Always S_OK.
  HRESULT LoadFromXML(IXMLDOMNode* debuggingInfoElement);
  // Appends the element in the form above to `out`. With `escape` (as the
  // project file is written) ParametersXML, ProcName and ProcSchema are
  // XML-escaped (NormalizeXML), so that any document and any name survive
  // a save and a load; without it they are inserted as held. S_OK.
  HRESULT SaveAsXML(WStringView indent, WString& out, bool escape) const;
  // The record as a standalone document: the declaration line that the
  // helper library supplies, then the element as SaveAsXML writes it with
  // `escape`, at no indent. LoadFromXML reads its document element back.
  // Replaces `out`. S_OK.
  HRESULT AsXmlDocument(WString& out) const;

  // Copies every field, the startup procedure with its document included.
  void CopyFrom(const CKV7DebuggingInfo& other);
  // 0 when every field and the startup procedure (schema, name, document)
  // are equal, exactly; 1 otherwise.
  int Compare(const CKV7DebuggingInfo& other) const;

  BOOL GetBuildForDebug() const { return build_for_debug_; }
  void SetBuildForDebug(BOOL value);
  LONG GetDebugSessionTimeout() const { return debug_session_timeout_; }
  void SetDebugSessionTimeout(LONG value);
  LONG GetMaxVariableLengthDisplay() const { return max_variable_length_display_; }
  void SetMaxVariableLengthDisplay(LONG value);
  // A line written as it is at the top of the element when not empty;
  // never read back.
  const WString& GetExtraSettings() const { return extra_settings_; }
  void SetExtraSettings(WStringView text);

  const WString& GetProcName() const { return startup_procedure_.GetName(); }
  void SetProcName(WStringView name);
  const WString& GetProcSchema() const { return startup_procedure_.GetSchema(); }
  void SetProcSchema(WStringView schema);
  bool HasProcName() const;
  // The startup procedure's parameter values document.
  const WString& GetParametersXML() const { return startup_procedure_.GetXml(); }
  // Sets the document and has the startup procedure read its parameters;
  // returns CStoredProcedure::SetXml's status (S_FALSE for a document that
  // does not load, the empty one included).
  HRESULT SetParametersXML(const char16_t* xml);
  // Sets one parameter's value in the document by name, adding the
  // parameter when the document has none of that name; see
  // CStoredProcedure::SetParameterValue.
  HRESULT SetParameterValue(const char16_t* name, const char16_t* value);
  // Makes a copy of the procedure (schema, name and document) the startup
  // procedure.
  void SetStoredProcedure(const CStoredProcedure& procedure);
  const CStoredProcedure& GetStoredProcedure() const { return startup_procedure_; }

  // Whether the startup procedure has input parameters.
  bool NeedsParameters() const;
  // Whether every input parameter of the startup procedure has a value.
  bool HasParameters() const;
  // The startup procedure as SQL names it: the schema and the name each
  // quoted by the helper library's GetQuotedNameForObject, joined by ".";
  // the quoted name alone without a schema; empty without a name.
  void GetStartupProcedure(WString& out) const;

 private:
  BOOL build_for_debug_ = FALSE;
  LONG debug_session_timeout_ = kDefaultDebugSessionTimeout;
  LONG max_variable_length_display_ = kDefaultMaxVariableLengthDisplay;
  WString extra_settings_;
  CStoredProcedure startup_procedure_;
};
