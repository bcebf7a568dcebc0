#include "kv7/build/procedure_metadata.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "kv7/helper/helper.h"
#include "kv7/platform/xmldom.h"
#include "kv7/trace/trace.h"
#include "kv7/util/xml_helpers.h"
#include "util/text_input.h"

namespace {

// One "child path -> field" read of a record.
template <class Record>
struct FieldElement {
  const char16_t* path;
  WString Record::*field;
};

constexpr FieldElement<CKV7StoredProcInfo> kProcFields[] = {
    {u"PROCSCHEMA", &CKV7StoredProcInfo::schema},
    {u"PROCNAME", &CKV7StoredProcInfo::procName},
    {u"SPECIFICNAME", &CKV7StoredProcInfo::specificName},
    {u"PARM_COUNT", &CKV7StoredProcInfo::parmCount},
    {u"FENCED", &CKV7StoredProcInfo::fenced},
    {u"LANGUAGE", &CKV7StoredProcInfo::language},
    {u"PARM_STYLE", &CKV7StoredProcInfo::parmStyle},
    {u"CONTAINS_SQL", &CKV7StoredProcInfo::containsSql},
    {u"PROGRAM_TYPE", &CKV7StoredProcInfo::programType},
    {u"RESULT_SETS", &CKV7StoredProcInfo::resultSets},
    {u"SOURCE", &CKV7StoredProcInfo::source},
    {u"START_LINE", &CKV7StoredProcInfo::startLine},
};

constexpr FieldElement<CKV7StoredProcParmInfo> kProcParmFields[] = {
    {u"PARMNAME", &CKV7StoredProcParmInfo::name},
    {u"TYPENAME", &CKV7StoredProcParmInfo::typeName},
    {u"PARM_MODE", &CKV7StoredProcParmInfo::mode},
    {u"AS_LOCATOR", &CKV7StoredProcParmInfo::asLocator},
};

constexpr FieldElement<CKV7CLRProcInfo> kClrProcFields[] = {
    {u"CLR_NAME", &CKV7CLRProcInfo::clrName},
    {u"CLR_MODULE", &CKV7CLRProcInfo::clrModule},
    {u"CLR_CLASS_NAME", &CKV7CLRProcInfo::className},
    {u"ASSEMBLY_FILE_NAME", &CKV7CLRProcInfo::assemblyFileName},
    {u"CLR_LANGUAGE", &CKV7CLRProcInfo::clrLanguage},
    {u"CLR_DOTNET_PROC_SIGNATURE", &CKV7CLRProcInfo::dotNetSignature},
    {u"CLR_KV7_PROC_SIGNATURE", &CKV7CLRProcInfo::databaseSignature},
    {u"KV7_PROCNAME", &CKV7CLRProcInfo::procName},
    {u"KV7_SPECIFICIC_NAME", &CKV7CLRProcInfo::specificName},
    {u"SQL_USAGE", &CKV7CLRProcInfo::sqlUsage},
    {u"NUM_RESULT_SETS", &CKV7CLRProcInfo::resultSetCount},
    {u"KV7_SCHEMA_NAME", &CKV7CLRProcInfo::schema},
    {u"KV7_PROC_COMMENTS", &CKV7CLRProcInfo::comments},
    {u"KV7_OS_PLATFORM", &CKV7CLRProcInfo::serverPlatform},
    {u"KV7_DBVERSION", &CKV7CLRProcInfo::serverVersion},
    {u"CLR_PROC_GUID", &CKV7CLRProcInfo::procGuid},
};

constexpr FieldElement<CKV7CLRParmInfo> kClrParmFields[] = {
    {u"CLR_NAME", &CKV7CLRParmInfo::clrName},
    {u"CLR_MODE", &CKV7CLRParmInfo::clrMode},
    {u"ORDER", &CKV7CLRParmInfo::order},
    {u"CLR_TYPE", &CKV7CLRParmInfo::clrType},
    {u"KV7_PARAM_NAME", &CKV7CLRParmInfo::paramName},
    {u"KV7_PARAM_NODE", &CKV7CLRParmInfo::paramNode},
    {u"KV7_PARAM_TYPE_DECL", &CKV7CLRParmInfo::paramTypeDecl},
};

// Read from the CLR_PARAM element, through its KV7_DATA_TYPE_SPECIFICS.
constexpr FieldElement<CKV7CLRDataTypeSpecifics> kClrSpecificsFields[] = {
    {u"KV7_DATA_TYPE_SPECIFICS/NAME", &CKV7CLRDataTypeSpecifics::name},
    {u"KV7_DATA_TYPE_SPECIFICS/LENGTH", &CKV7CLRDataTypeSpecifics::length},
    {u"KV7_DATA_TYPE_SPECIFICS/PRECISION", &CKV7CLRDataTypeSpecifics::precision},
    {u"KV7_DATA_TYPE_SPECIFICS/SCALE", &CKV7CLRDataTypeSpecifics::scale},
    {u"KV7_DATA_TYPE_SPECIFICS/FOR_BIT_DATA", &CKV7CLRDataTypeSpecifics::forBitData},
    {u"KV7_DATA_TYPE_SPECIFICS/FOR_SBCS_DATA", &CKV7CLRDataTypeSpecifics::forSbcsData},
    {u"KV7_DATA_TYPE_SPECIFICS/FOR_MIXED_DATA", &CKV7CLRDataTypeSpecifics::forMixedData},
    {u"KV7_DATA_TYPE_SPECIFICS/EBCDIC_SCHEMA", &CKV7CLRDataTypeSpecifics::ebcdicSchema},
    {u"KV7_DATA_TYPE_SPECIFICS/ASCII_SCHEMA", &CKV7CLRDataTypeSpecifics::asciiSchema},
    {u"KV7_DATA_TYPE_SPECIFICS/CCSID", &CKV7CLRDataTypeSpecifics::ccsid},
    {u"KV7_DATA_TYPE_SPECIFICS/CCSID_LENGTH", &CKV7CLRDataTypeSpecifics::ccsidLength},
};

constexpr FieldElement<CParameter> kColumnFields[] = {
    {u"TYPENAME", &CParameter::type},      {u"LENGTH", &CParameter::length},
    {u"SCALE", &CParameter::scale},        {u"PARM_MODE", &CParameter::mode},
    {u"PARMNAME", &CParameter::name},      {u"PARAM_VALUE", &CParameter::value},
};

// Reads every field of the table with GetBasicNodeValue, so a missing
// element leaves its field empty. Returns the first failing look-up's
// status (a query the DOM refuses), else S_OK.
template <class Record, size_t N>
HRESULT ReadFields(IXMLDOMNode* element, const FieldElement<Record> (&fields)[N], Record& record) {
  HRESULT result = S_OK;
  for (const FieldElement<Record>& field : fields) {
    HRESULT hr = GetBasicNodeValue(element, field.path, record.*field.field);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

// Calls visit(node) for every node on the path, in document order, and
// returns how many there are (0 when the query fails).
template <class Visit>
LONG ForEachNode(IXMLDOMNode* node, const char16_t* path, Visit visit) {
  ComPtr<IXMLDOMNodeList> list;
  LONG length = 0;
  if (GetMultiNodes(node, path, list.Put()) != S_OK || !list) return 0;
  if (FAILED(list->get_length(&length))) return 0;
  ComPtr<IXMLDOMNode> item;
  while (list->nextNode(item.Put()) == S_OK && item) visit(item.Get());
  return length;
}

// A new document holding the text. S_OK; E_FAIL when no document can be
// made; the load's status when the text does not load (S_FALSE).
HRESULT LoadDocument(const char16_t* text, ComPtr<IXMLDOMDocument>& document) {
  if (FAILED(CreateXMLDOMDocument(document.Put())) || !document) return E_FAIL;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  HRESULT hr = document->loadXML(text ? text : u"", &loaded);
  if (hr == S_OK && loaded != VARIANT_TRUE) return S_FALSE;
  return hr;
}

// ---- Type mapping -------------------------------------------------------------

// A CLR type that the table lists is valid only with the database types
// listed beside it.
struct TypeMapping {
  const char16_t* clrType;
  const char16_t* databaseType;
};

constexpr TypeMapping kTypeMappings[] = {
    {u"Int64", u"BIGINT"},        {u"Int16", u"SMALLINT"},     {u"Int32", u"INTEGER"},
    {u"string", u"CHARACTER"},    {u"string", u"VARCHAR"},     {u"string", u"VARGRAPHIC"},
    {u"string", u"GRAPHIC"},      {u"string", u"DBCLOB"},      {u"string", u"CLOB"},
    {u"Byte", u"BLOB"},           {u"Byte", u"VARCHAR"},       {u"Byte", u"CHARACTER"},
    {u"double", u"DOUBLE"},       {u"double", u"FLOAT"},       {u"Decimal", u"DECIMAL"},
    {u"DateTime", u"DATE"},       {u"DateTime", u"TIMESTAMP"}, {u"TimeSpan", u"TIME"},
    {u"Single", u"REAL"},
};

// The CLR type without its namespace: what follows the first dot, unless
// there is none or it comes first.
WStringView WithoutNamespace(WStringView clrType) {
  size_t dot = clrType.find(u'.');
  if (dot == WStringView::npos || dot == 0) return clrType;
  return clrType.substr(dot + 1);
}

// ---- Server model ---------------------------------------------------------------

struct ModeName {
  const char16_t* parmMode;  // as the document writes it
  const char16_t* mode;      // as a CParameter holds it
};
constexpr ModeName kModes[] = {
    {u"Input", u"IN"}, {u"InputOutput", u"INOUT"}, {u"Output", u"OUT"}};

WString ModeOf(const WString& parmMode) {
  for (const ModeName& mode : kModes)
    if (kv7::EqualsNoCase(parmMode, mode.parmMode)) return mode.mode;
  return parmMode;
}

// Types whose values a parameter value list passes unquoted.
constexpr const char16_t* kNumericTypes[] = {
    u"BIGINT", u"INTEGER", u"INT", u"REAL", u"SMALLINT", u"DOUBLE", u"FLOAT", u"DECIMAL", u"DEC",
};

bool IsNumericType(WStringView type) {
  return std::any_of(std::begin(kNumericTypes), std::end(kNumericTypes),
                     [type](const char16_t* numeric) { return kv7::EqualsNoCase(type, numeric); });
}

bool IsInMode(WStringView mode) {
  return kv7::EqualsNoCase(mode, u"IN") || kv7::EqualsNoCase(mode, u"INOUT");
}

// How much of a character value a parameter value list passes.
constexpr size_t kMaxQuotedValue = 80;

// The first `count` code units of the text, one fewer when the cut would
// split a surrogate pair.
WStringView Prefix(WStringView text, size_t count) {
  if (text.size() <= count) return text;
  if (count > 0 && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF) --count;
  return text.substr(0, count);
}

WString ValueForList(const CParameter& parameter) {
  if (parameter.value.empty() || parameter.value == u"(null)") return u"(null)";
  if (IsNumericType(parameter.type)) return parameter.value;
  return u"'" + WString(Prefix(parameter.value, kMaxQuotedValue)) + u"'";
}

// "(" + entry(p) for every parameter, separated by ", ", + ")".
template <class Entry>
WString Parenthesised(const CParameterList& parameters, Entry entry) {
  WString text = u"(";
  for (size_t i = 0; i < parameters.size(); ++i) {
    if (i > 0) text += u", ";
    text += entry(parameters[i]);
  }
  return text + u")";
}

WString FormatIdentifier(CCommandHelperHook& helper, const WString& identifier) {
  CComBSTR formatted;
  (void)helper.FormatModelIdentifier(identifier.c_str(), formatted.Put());
  return formatted.ToString();
}

// The text the parameter values document starts from when there is none.
constexpr char16_t kEmptyParametersXml[] = u"<SP><COLUMNS></COLUMNS></SP>";

// Replaces the text of the parent's child element `name`, creating the
// child when it is missing. The document escapes the text as it serialises.
HRESULT SetChildText(IXMLDOMDocument* document, IXMLDOMNode* parent, const char16_t* name,
                     const char16_t* text) {
  ComPtr<IXMLDOMNode> child, text_node;
  HRESULT hr = S_OK;
  if (GetSingleNode(parent, name, child.Put()) != S_OK || !child) {
    hr = document->createElement(name, child.Put());
    if (SUCCEEDED(hr)) hr = parent->appendChild(child.Get(), nullptr);
  }
  if (SUCCEEDED(hr)) hr = RemoveAllChildNodes(child.Get());
  if (SUCCEEDED(hr)) hr = document->createTextNode(text, text_node.Put());
  if (SUCCEEDED(hr)) hr = child->appendChild(text_node.Get(), nullptr);
  return hr;
}

// The first COLUMN under SP/COLUMNS whose PARMNAME equals the name
// ignoring case, or null.
ComPtr<IXMLDOMNode> FindColumn(IXMLDOMNode* sp, WStringView name) {
  ComPtr<IXMLDOMNode> found;
  ForEachNode(sp, u"COLUMNS/COLUMN", [&](IXMLDOMNode* column) {
    WString parm_name;
    (void)GetBasicNodeValue(column, u"PARMNAME", parm_name);
    if (!found && kv7::EqualsNoCase(parm_name, name)) found = column;
  });
  return found;
}

// Appends to SP/COLUMNS (made when missing) an input parameter of no
// declared type with the name and the value.
HRESULT AppendColumn(IXMLDOMDocument* document, IXMLDOMNode* sp, const char16_t* name,
                     const char16_t* value) {
  const struct {
    const char16_t* element;
    const char16_t* text;
  } children[] = {{u"TYPENAME", u""},       {u"LENGTH", u""},    {u"SCALE", u""},
                  {u"PARM_MODE", u"Input"}, {u"PARMNAME", name}, {u"PARAM_VALUE", value}};
  ComPtr<IXMLDOMNode> columns, column;
  HRESULT hr = S_OK;
  if (GetSingleNode(sp, u"COLUMNS", columns.Put()) != S_OK || !columns) {
    hr = document->createElement(u"COLUMNS", columns.Put());
    if (SUCCEEDED(hr)) hr = sp->appendChild(columns.Get(), nullptr);
  }
  if (SUCCEEDED(hr)) hr = document->createElement(u"COLUMN", column.Put());
  for (const auto& child : children)
    if (SUCCEEDED(hr)) hr = SetChildText(document, column.Get(), child.element, child.text);
  if (SUCCEEDED(hr)) hr = columns->appendChild(column.Get(), nullptr);
  return hr;
}

}  // namespace

// ---- CKV7StoredProcInfoParser ---------------------------------------------------

CKV7StoredProcInfoParser::CKV7StoredProcInfoParser(const char16_t* descriptionXml) {
  KV7_TRACE_ENTRY("CKV7StoredProcInfoParser::CKV7StoredProcInfoParser", 6, "KV7ProcMetadata");
  status_ = Parse(descriptionXml);
}

CKV7StoredProcInfoParser::~CKV7StoredProcInfoParser() {
  KV7_TRACE_ENTRY("CKV7StoredProcInfoParser::~CKV7StoredProcInfoParser", 6, "KV7ProcMetadata");
}

HRESULT CKV7StoredProcInfoParser::Parse(const char16_t* descriptionXml) {
  KV7_TRACE_ENTRY("CKV7StoredProcInfoParser::Parse", 2, "KV7ProcMetadata");
  ComPtr<IXMLDOMDocument> document;
  HRESULT hr = LoadDocument(descriptionXml, document);
  if (hr != S_OK) return KV7_TRACE_RETURN(hr);
  count_ = ForEachNode(document.Get(), u"KV7PROJECTITEM/SOURCEINFO/SPS/SP", [&](IXMLDOMNode* sp) {
    CKV7StoredProcInfo& procedure = procedures_.emplace_back();
    (void)ReadFields(sp, kProcFields, procedure);
    ForEachNode(sp, u"PARAMETERS/PARAM", [&](IXMLDOMNode* parameter) {
      (void)ReadFields(parameter, kProcParmFields, procedure.parameters.emplace_back());
    });
  });
  return KV7_TRACE_RETURN(S_OK);
}

bool CKV7StoredProcInfoParser::CompareWithCLR(const CKV7CLRXMLParser& clrParser,
                                              WString& procedureName, WString& clrName) const {
  KV7_TRACE_ENTRY("CKV7StoredProcInfoParser::CompareWithCLR", 2, "KV7ProcMetadata");
  for (const CKV7StoredProcInfo& procedure : procedures_) {
    for (const CKV7CLRProcInfo& clr : clrParser.GetProcedures()) {
      if (!kv7::EqualsNoCase(procedure.schema, clr.schema) ||
          !kv7::EqualsNoCase(procedure.procName, clr.procName))
        continue;
      if (procedure.parameters.size() != clr.parameters.size()) return KV7_TRACE_RETURN(false);
      for (size_t i = 0; i < procedure.parameters.size(); ++i) {
        if (IsValidDataTypeMapping(procedure.parameters[i].typeName.c_str(),
                                   clr.parameters[i].clrType.c_str(), clr.clrLanguage.c_str()))
          continue;
        procedureName = procedure.schema.empty() ? procedure.procName
                                                 : procedure.schema + u"." + procedure.procName;
        clrName = clr.clrName;
        return KV7_TRACE_RETURN(false);
      }
    }
  }
  return KV7_TRACE_RETURN(true);
}

// ---- CKV7CLRXMLParser -----------------------------------------------------------

CKV7CLRXMLParser::CKV7CLRXMLParser(const char16_t* clrXml) {
  KV7_TRACE_ENTRY("CKV7CLRXMLParser::CKV7CLRXMLParser", 6, "KV7ProcMetadata");
  status_ = Parse(clrXml);
}

CKV7CLRXMLParser::~CKV7CLRXMLParser() {
  KV7_TRACE_ENTRY("CKV7CLRXMLParser::~CKV7CLRXMLParser", 6, "KV7ProcMetadata");
}

HRESULT CKV7CLRXMLParser::Parse(const char16_t* clrXml) {
  KV7_TRACE_ENTRY("CKV7CLRXMLParser::Parse", 2, "KV7ProcMetadata");
  ComPtr<IXMLDOMDocument> document;
  if (LoadDocument(clrXml, document) != S_OK) return KV7_TRACE_RETURN(E_FAIL);
  (void)GetBasicNodeValue(document.Get(),
                          u"KV7_CLR_DESC/PROJECT_SELECTION_OPTIONS/USERSELECTION_FILE",
                          user_selection_file_);
  (void)GetBasicNodeValue(document.Get(), u"KV7_CLR_DESC/KV7_CLR_SPECIFICS/VS_SOLUTION_NAME",
                          solution_name_);
  proc_count_ = ForEachNode(
      document.Get(), u"KV7_CLR_DESC/KV7_CLR_SPECIFICS/CLR_PROCS/CLR_PROC", [&](IXMLDOMNode* proc) {
        CKV7CLRProcInfo& procedure = procedures_.emplace_back();
        (void)ReadFields(proc, kClrProcFields, procedure);
        ForEachNode(proc, u"CLR_PARAMETERS/CLR_PARAM", [&](IXMLDOMNode* param) {
          CKV7CLRParmInfo& parameter = procedure.parameters.emplace_back();
          (void)ReadFields(param, kClrParmFields, parameter);
          (void)ReadFields(param, kClrSpecificsFields, parameter.dataTypeSpecifics);
        });
      });
  if (proc_count_ == 1) proc_name_ = procedures_.front().procName;
  if (proc_count_ >= 1) assembly_file_name_ = procedures_.front().assemblyFileName;
  return KV7_TRACE_RETURN(S_OK);
}

bool IsValidDataTypeMapping(const char16_t* databaseType, const char16_t* clrType,
                            const char16_t* clrLanguage) {
  KV7_TRACE_ENTRY("IsValidDataTypeMapping", 2, "KV7ProcMetadata");
  if (!kv7::EqualsNoCase(TextOf(clrLanguage), u"CSharp")) return KV7_TRACE_RETURN(true);
  WStringView type = WithoutNamespace(TextOf(clrType));
  bool listed = false;
  for (const TypeMapping& mapping : kTypeMappings) {
    if (!kv7::EqualsNoCase(type, mapping.clrType)) continue;
    if (kv7::EqualsNoCase(TextOf(databaseType), mapping.databaseType))
      return KV7_TRACE_RETURN(true);
    listed = true;
  }
  return KV7_TRACE_RETURN(!listed);
}

// ---- CParameter -------------------------------------------------------------------

bool CParameter::ValueIsDefined() const {
  KV7_TRACE_ENTRY("CParameter::ValueIsDefined", 2, "KV7ProcMetadata");
  return KV7_TRACE_RETURN(!value.empty());
}

// ---- CStoredProcedure -------------------------------------------------------------

CStoredProcedure::CStoredProcedure() {
  KV7_TRACE_ENTRY("CStoredProcedure::CStoredProcedure", 6, "KV7ProcMetadata");
}

CStoredProcedure::CStoredProcedure(WStringView schema, WStringView name)
    : schema_(schema), name_(name) {
  KV7_TRACE_ENTRY("CStoredProcedure::CStoredProcedure", 6, "KV7ProcMetadata");
}

CStoredProcedure::~CStoredProcedure() {
  KV7_TRACE_ENTRY("CStoredProcedure::~CStoredProcedure", 6, "KV7ProcMetadata");
}

void CStoredProcedure::SetSchema(WStringView schema) {
  KV7_TRACE_ENTRY("CStoredProcedure::SetSchema", 2, "KV7ProcMetadata");
  schema_ = schema;
}

void CStoredProcedure::SetName(WStringView name) {
  KV7_TRACE_ENTRY("CStoredProcedure::SetName", 2, "KV7ProcMetadata");
  name_ = name;
}

HRESULT CStoredProcedure::SetXml(const char16_t* xml) {
  KV7_TRACE_ENTRY("CStoredProcedure::SetXml", 2, "KV7ProcMetadata");
  xml_ = TextOf(xml);
  parameters_.clear();
  ComPtr<IXMLDOMDocument> document;
  HRESULT hr = LoadDocument(xml_.c_str(), document);
  if (hr != S_OK) return KV7_TRACE_RETURN(hr);
  // The DOM's paths start at the document, whose first step is the root:
  // "SP/COLUMNS/COLUMN" is the document's /SP/COLUMNS/COLUMN.
  ForEachNode(document.Get(), u"SP/COLUMNS/COLUMN", [&](IXMLDOMNode* column) {
    CParameter parameter;
    if (FAILED(ReadFields(column, kColumnFields, parameter))) return;
    parameter.mode = ModeOf(parameter.mode);
    parameters_.push_back(std::move(parameter));
  });
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CStoredProcedure::SetParameterValue(const char16_t* name, const char16_t* value) {
  KV7_TRACE_ENTRY("CStoredProcedure::SetParameterValue", 2, "KV7ProcMetadata");
  ComPtr<IXMLDOMDocument> document;
  ComPtr<IXMLDOMNode> sp;
  if (LoadDocument(xml_.empty() ? kEmptyParametersXml : xml_.c_str(), document) != S_OK ||
      GetSingleNode(document.Get(), u"SP", sp.Put()) != S_OK || !sp)
    return KV7_TRACE_RETURN(E_FAIL);
  ComPtr<IXMLDOMNode> column = FindColumn(sp.Get(), TextOf(name));
  const char16_t* text = value ? value : u"";
  HRESULT hr = column ? SetChildText(document.Get(), column.Get(), u"PARAM_VALUE", text)
                      : AppendColumn(document.Get(), sp.Get(), name ? name : u"", text);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  // The root alone: a declaration the document may carry says nothing
  // that the parameters need.
  CComBSTR xml;
  hr = sp->get_xml(xml.Put());
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  return KV7_TRACE_RETURN(SetXml(xml.ToString().c_str()));
}

void CStoredProcedure::GetDisplayName(WString& out) const {
  KV7_TRACE_ENTRY("CStoredProcedure::GetDisplayName", 2, "KV7ProcMetadata");
  CCommandHelperHook helper;
  WString name = FormatIdentifier(helper, name_);
  out = schema_.empty() ? name : FormatIdentifier(helper, schema_) + u"." + name;
  if (out.empty()) return;
  out += Parenthesised(parameters_, [](const CParameter& parameter) {
    return parameter.mode + u" " + parameter.name + u" " + parameter.type;
  });
}

void CStoredProcedure::GetParameterValueList(WString& out) const {
  KV7_TRACE_ENTRY("CStoredProcedure::GetParameterValueList", 2, "KV7ProcMetadata");
  out = Parenthesised(parameters_, [](const CParameter& parameter) {
    if (kv7::EqualsNoCase(parameter.mode, u"OUT")) return parameter.name;
    return parameter.name + u"=" + ValueForList(parameter);
  });
}

bool CStoredProcedure::HasInParameters() const {
  KV7_TRACE_ENTRY("CStoredProcedure::HasInParameters", 2, "KV7ProcMetadata");
  return KV7_TRACE_RETURN(std::any_of(parameters_.begin(), parameters_.end(),
                                      [](const CParameter& p) { return IsInMode(p.mode); }));
}

bool CStoredProcedure::AllInParametersHaveValues() const {
  KV7_TRACE_ENTRY("CStoredProcedure::AllInParametersHaveValues", 2, "KV7ProcMetadata");
  return KV7_TRACE_RETURN(
      std::none_of(parameters_.begin(), parameters_.end(),
                   [](const CParameter& p) { return IsInMode(p.mode) && !p.ValueIsDefined(); }));
}

bool CStoredProcedure::operator==(const CStoredProcedure& other) const {
  KV7_TRACE_ENTRY("CStoredProcedure::operator==", 2, "KV7ProcMetadata");
  return KV7_TRACE_RETURN(schema_ == other.schema_ && name_ == other.name_ && xml_ == other.xml_);
}

// ---- CStoredProcedureList ---------------------------------------------------------

CStoredProcedureList::CStoredProcedureList(WStringView connectionXml)
    : connection_xml_(connectionXml) {
  KV7_TRACE_ENTRY("CStoredProcedureList::CStoredProcedureList", 6, "KV7ProcMetadata");
}

CStoredProcedureList::~CStoredProcedureList() {
  KV7_TRACE_ENTRY("CStoredProcedureList::~CStoredProcedureList", 6, "KV7ProcMetadata");
}

HRESULT CStoredProcedureList::LoadFromModelXml(const char16_t* modelXml) {
  KV7_TRACE_ENTRY("CStoredProcedureList::LoadFromModelXml", 2, "KV7ProcMetadata");
  ComPtr<IXMLDOMDocument> document;
  HRESULT hr = LoadDocument(modelXml, document);
  if (hr != S_OK) return KV7_TRACE_RETURN(hr);
  ForEachNode(document.Get(), u"DATACONNECTIONS/DATACONNECTION/SPS/SP", [&](IXMLDOMNode* sp) {
    WString schema, name;
    (void)GetBasicNodeValue(sp, u"PROCSCHEMA", schema);
    (void)GetBasicNodeValue(sp, u"PROCNAME", name);
    CComBSTR xml;
    (void)sp->get_xml(xml.Put());
    CStoredProcedure& procedure = procedures_.emplace_back(schema, name);
    (void)procedure.SetXml(xml.ToString().c_str());
  });
  return KV7_TRACE_RETURN(S_OK);
}

const CStoredProcedure* CStoredProcedureList::FindByDisplayName(WStringView displayName) const {
  KV7_TRACE_ENTRY("CStoredProcedureList::FindByDisplayName", 2, "KV7ProcMetadata");
  for (const CStoredProcedure& procedure : procedures_) {
    WString name;
    procedure.GetDisplayName(name);
    if (name == displayName) return &procedure;
  }
  return nullptr;
}
