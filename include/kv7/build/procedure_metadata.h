// Procedure metadata: the three XML vocabularies that describe stored
// procedures to the system, read into plain records.
//
//  1. CKV7StoredProcInfoParser reads a source item's procedure description
//     (its metadata document, "KV7PROJECTITEM/SOURCEINFO/SPS/SP"): each
//     procedure's schema, name, routine attributes and parameters with
//     their database types.
//  2. CKV7CLRXMLParser reads the CLR description of a procedure written in
//     a .NET language ("KV7_CLR_DESC"): the assembly, class and method of
//     each procedure and the CLR type of every parameter. CompareWithCLR
//     checks 1 against 2 before a CLR procedure is deployed.
//  3. CStoredProcedure reads the server model of one procedure with its
//     parameter values ("SP/COLUMNS/COLUMN") into CParameter records; that
//     text is also a configuration's startup-procedure parameter values
//     document (debugging_info.h).
//
// Every value is kept as a wide string exactly as read: no trimming, no
// number conversion; a missing element reads as an empty string and never
// fails a parse. Each parse creates its own DOM document. Records are plain
// values owned by their parser or procedure; everything lives on the UI
// thread.
#pragma once

#include <vector>

#include "kv7/platform/hresult.h"
#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"

// ---- Procedure description (CKV7StoredProcInfoParser) ------------------------

// One PARAMETERS/PARAM of a described procedure.
struct CKV7StoredProcParmInfo {
  WString name;       // PARMNAME
  WString typeName;   // TYPENAME, the database type
  WString mode;       // PARM_MODE
  WString asLocator;  // AS_LOCATOR
};
using CKV7StoredProcParmInfoList = std::vector<CKV7StoredProcParmInfo>;

// One SPS/SP of a procedure description.
struct CKV7StoredProcInfo {
  WString schema;        // PROCSCHEMA
  WString procName;      // PROCNAME
  WString specificName;  // SPECIFICNAME
  WString parmCount;     // PARM_COUNT
  WString fenced;        // FENCED
  WString language;      // LANGUAGE
  WString parmStyle;     // PARM_STYLE
  WString containsSql;   // CONTAINS_SQL
  WString programType;   // PROGRAM_TYPE
  WString resultSets;    // RESULT_SETS
  WString source;        // SOURCE
  WString startLine;     // START_LINE
  CKV7StoredProcParmInfoList parameters;  // in document order
};
using CKV7StoredProcInfoList = std::vector<CKV7StoredProcInfo>;

class CKV7CLRXMLParser;

// Parses a procedure description at construction. GetStatus() is S_OK after
// a parse; E_FAIL when no DOM document could be made; the load's own status
// (S_FALSE) for text that is not well-formed XML, which leaves the count 0
// and the list empty.
class CKV7StoredProcInfoParser {
 public:
  explicit CKV7StoredProcInfoParser(const char16_t* descriptionXml);
  ~CKV7StoredProcInfoParser();
  CKV7StoredProcInfoParser(const CKV7StoredProcInfoParser&) = delete;
  CKV7StoredProcInfoParser& operator=(const CKV7StoredProcInfoParser&) = delete;

  HRESULT GetStatus() const { return status_; }
  // The number of SP elements matched; the list holds one record each.
  LONG GetCount() const { return count_; }
  const CKV7StoredProcInfoList& GetProcedures() const { return procedures_; }

  // Checks every described procedure against its CLR counterpart: the one
  // whose schema and procedure name equal it ignoring case (procedures
  // without one are not checked). True when every matched pair has as many
  // parameters on both sides and every pair of parameters, by position,
  // passes IsValidDataTypeMapping with the CLR procedure's language.
  // False at the first pair that differs in its parameter count, with both
  // outputs untouched; false at the first failing type pair, with
  // procedureName set to "schema.name" (the name alone without a schema)
  // and clrName to the CLR method name.
  bool CompareWithCLR(const CKV7CLRXMLParser& clrParser, WString& procedureName,
                      WString& clrName) const;

 private:
  HRESULT Parse(const char16_t* descriptionXml);

  HRESULT status_ = S_OK;
  LONG count_ = 0;
  CKV7StoredProcInfoList procedures_;
};

// ---- CLR description (CKV7CLRXMLParser) --------------------------------------

// The KV7_DATA_TYPE_SPECIFICS of a CLR parameter.
struct CKV7CLRDataTypeSpecifics {
  WString name;          // NAME
  WString length;        // LENGTH
  WString precision;     // PRECISION
  WString scale;         // SCALE
  WString forBitData;    // FOR_BIT_DATA
  WString forSbcsData;   // FOR_SBCS_DATA
  WString forMixedData;  // FOR_MIXED_DATA
  WString ebcdicSchema;  // EBCDIC_SCHEMA
  WString asciiSchema;   // ASCII_SCHEMA
  WString ccsid;         // CCSID
  WString ccsidLength;   // CCSID_LENGTH
};

// One CLR_PARAMETERS/CLR_PARAM.
struct CKV7CLRParmInfo {
  WString clrName;         // CLR_NAME
  WString clrMode;         // CLR_MODE
  WString order;           // ORDER, the position
  WString clrType;         // CLR_TYPE
  WString paramName;       // KV7_PARAM_NAME, the database parameter name
  WString paramNode;       // KV7_PARAM_NODE
  WString paramTypeDecl;   // KV7_PARAM_TYPE_DECL
  CKV7CLRDataTypeSpecifics dataTypeSpecifics;
};
using CKV7CLRParmInfoList = std::vector<CKV7CLRParmInfo>;

// One CLR_PROC.
struct CKV7CLRProcInfo {
  WString clrName;               // CLR_NAME, the method
  WString clrModule;             // CLR_MODULE
  WString className;             // CLR_CLASS_NAME
  WString assemblyFileName;      // ASSEMBLY_FILE_NAME
  WString clrLanguage;           // CLR_LANGUAGE
  WString dotNetSignature;       // CLR_DOTNET_PROC_SIGNATURE
  WString databaseSignature;     // CLR_KV7_PROC_SIGNATURE
  WString procName;              // KV7_PROCNAME
  WString specificName;          // KV7_SPECIFICIC_NAME (so spelt in the vocabulary)
  WString sqlUsage;              // SQL_USAGE
  WString resultSetCount;        // NUM_RESULT_SETS
  WString schema;                // KV7_SCHEMA_NAME
  WString comments;              // KV7_PROC_COMMENTS
  WString serverPlatform;        // KV7_OS_PLATFORM
  WString serverVersion;         // KV7_DBVERSION
  WString procGuid;              // CLR_PROC_GUID
  CKV7CLRParmInfoList parameters;  // in document order
};
using CKV7CLRProcInfoList = std::vector<CKV7CLRProcInfo>;

// Parses a CLR description at construction. GetStatus() is S_OK after a
// parse, E_FAIL (every field empty) when the text does not load.
class CKV7CLRXMLParser {
 public:
  explicit CKV7CLRXMLParser(const char16_t* clrXml);
  ~CKV7CLRXMLParser();
  CKV7CLRXMLParser(const CKV7CLRXMLParser&) = delete;
  CKV7CLRXMLParser& operator=(const CKV7CLRXMLParser&) = delete;

  HRESULT GetStatus() const { return status_; }
  // PROJECT_SELECTION_OPTIONS/USERSELECTION_FILE.
  const WString& GetUserSelectionFile() const { return user_selection_file_; }
  // KV7_CLR_SPECIFICS/VS_SOLUTION_NAME.
  const WString& GetSolutionName() const { return solution_name_; }
  LONG GetProcCount() const { return proc_count_; }
  // The first procedure's KV7_PROCNAME, only when there is exactly one.
  const WString& GetProcName() const { return proc_name_; }
  // The first procedure's ASSEMBLY_FILE_NAME, when there is one.
  const WString& GetAssemblyFileName() const { return assembly_file_name_; }
  const CKV7CLRProcInfoList& GetProcedures() const { return procedures_; }

 private:
  HRESULT Parse(const char16_t* clrXml);

  HRESULT status_ = S_OK;
  WString user_selection_file_;
  WString solution_name_;
  LONG proc_count_ = 0;
  WString proc_name_;
  WString assembly_file_name_;
  CKV7CLRProcInfoList procedures_;
};

// Whether a parameter's database type agrees with its CLR type. Any pair is
// valid unless the language is "CSharp" (ignoring case). The CLR type loses
// its namespace up to the first dot ("System.Int32" is "Int32",
// "System.Data.SqlTypes.SqlInt32" is "Data.SqlTypes.SqlInt32"); a type the
// mapping table knows is valid only with its database types, any other
// with every database type. Comparisons ignore case.
bool IsValidDataTypeMapping(const char16_t* databaseType, const char16_t* clrType,
                            const char16_t* clrLanguage);

// ---- Server model (CStoredProcedure) -----------------------------------------

// One parameter of a server-model procedure.
struct CParameter {
  WString name;      // PARMNAME
  WString type;      // TYPENAME
  WString length;    // LENGTH
  WString scale;     // SCALE
  WString reserved;  // nothing fills it
  // "IN", "INOUT" or "OUT" for PARM_MODE "Input", "InputOutput", "Output"
  // (ignoring case); any other PARM_MODE is kept as read.
  WString mode;
  WString value;     // PARAM_VALUE

  // True when the value is not empty.
  bool ValueIsDefined() const;
};
using CParameterList = std::vector<CParameter>;

// One stored procedure of a connection's server model: schema, name, and
// the parameter values document it was set from with the parameters read
// from it. The document text is authoritative: the parameter list is
// always what SetXml read from it. A value type; copies are independent.
class CStoredProcedure {
 public:
  CStoredProcedure();
  CStoredProcedure(WStringView schema, WStringView name);
  ~CStoredProcedure();
  CStoredProcedure(const CStoredProcedure&) = default;
  CStoredProcedure& operator=(const CStoredProcedure&) = default;
  CStoredProcedure(CStoredProcedure&&) = default;
  CStoredProcedure& operator=(CStoredProcedure&&) = default;

  const WString& GetSchema() const { return schema_; }
  void SetSchema(WStringView schema);
  const WString& GetName() const { return name_; }
  void SetName(WStringView name);
  // The parameter values document as last set.
  const WString& GetXml() const { return xml_; }
  const CParameterList& GetParameters() const { return parameters_; }

  // Keeps the text and reads one parameter per SP/COLUMNS/COLUMN from it,
  // replacing the list. S_OK; E_FAIL when no DOM document could be made;
  // the load's status (S_FALSE) for text that is not well-formed, the empty
  // text included, which leaves the list empty.
  HRESULT SetXml(const char16_t* xml);
  // Sets the PARAM_VALUE of the COLUMN whose PARMNAME equals `name`
  // ignoring case (the first such), creating PARAM_VALUE when the column
  // has none; without such a column, appends one with an empty type,
  // length and scale, PARM_MODE "Input", the name and the value. An empty
  // document starts as <SP><COLUMNS></COLUMNS></SP>. The value may hold any
  // text: the document escapes it. The new document is then set as SetXml
  // sets one. S_OK; E_FAIL, with nothing changed, when the document does
  // not load or its root is not SP.
  HRESULT SetParameterValue(const char16_t* name, const char16_t* value);

  // The formatted schema (helper library's FormatModelIdentifier), ".",
  // and the formatted name; the formatted name alone without a schema.
  // When that is not empty, "(" + each parameter as "mode name type",
  // separated by ", ", + ")" follows.
  void GetDisplayName(WString& out) const;
  // "(" + one entry per parameter, separated by ", ", + ")": the name
  // alone for mode OUT, else name=value with the value "(null)" when empty
  // or "(null)", unchanged for a numeric type, else its first 80
  // characters in single quotes (inner quotes not doubled).
  void GetParameterValueList(WString& out) const;
  // Whether some parameter's mode is IN or INOUT (ignoring case).
  bool HasInParameters() const;
  // False when an IN or INOUT parameter has no value; true otherwise, also
  // without parameters.
  bool AllInParametersHaveValues() const;

  // Schema, name and document text equal, exactly.
  bool operator==(const CStoredProcedure& other) const;

 private:
  WString schema_;
  WString name_;
  WString xml_;
  CParameterList parameters_;
};

// A connection's procedures, as the helper library's model document lists
// them, with the connection text they were asked for.
class CStoredProcedureList {
 public:
  explicit CStoredProcedureList(WStringView connectionXml);
  ~CStoredProcedureList();

  const WString& GetConnectionXml() const { return connection_xml_; }
  const std::vector<CStoredProcedure>& GetProcedures() const { return procedures_; }

  // Appends one procedure per DATACONNECTIONS/DATACONNECTION/SPS/SP of the
  // model document: schema PROCSCHEMA, name PROCNAME, and the SP element's
  // own text as its parameter values document. S_OK; E_FAIL when no DOM
  // document could be made; the load's status (S_FALSE, nothing appended)
  // for text that is not well-formed.
  HRESULT LoadFromModelXml(const char16_t* modelXml);
  // The procedure whose display name (CStoredProcedure::GetDisplayName) is
  // exactly `displayName`, or null.
  const CStoredProcedure* FindByDisplayName(WStringView displayName) const;

 private:
  WString connection_xml_;
  std::vector<CStoredProcedure> procedures_;
};
