#include "kv7/document/debugging_info.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "kv7/helper/helper.h"
#include "kv7/options/global_options.h"
#include "kv7/trace/trace.h"
#include "kv7/util/utilities.h"
#include "kv7/util/xml_helpers.h"

namespace {

// Reads a number as "%lu" does: blanks, an optional sign, decimal digits,
// the result taken modulo 2^32 (a value too large for 32 bits reads as the
// largest). False, with `out` untouched, when no digit follows.
bool ReadUnsignedLong(WStringView text, LONG& out) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = i < text.size() && text[i] == u'-';
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
  if (i == text.size() || text[i] < u'0' || text[i] > u'9') return false;
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    value = std::min<std::uint64_t>(value * 10 + (text[i] - u'0'), UINT32_MAX);
  auto magnitude = static_cast<std::uint32_t>(value);
  out = static_cast<LONG>(negative ? 0u - magnitude : magnitude);
  return true;
}

// The content of the child element on the path as the file writes it (the
// DOM escapes its text again as it serialises), with one level of
// escaping undone by DenormalizeXML: exactly what the writer's NormalizeXML
// added. Reading the DOM's text and unescaping that again would turn a
// parameter value's "&lt;" into a bare "<".
HRESULT GetEscapedNodeValue(IXMLDOMNode* node, const char16_t* path, WString& value) {
  ComPtr<IXMLDOMNode> element;
  HRESULT hr = GetSingleNode(node, path, element.Put());
  if (hr != S_OK || !element) return hr;
  ComPtr<IXMLDOMNodeList> children;
  hr = element->get_childNodes(children.Put());
  if (FAILED(hr) || !children) return hr;
  WString content;
  ComPtr<IXMLDOMNode> child;
  while (children->nextNode(child.Put()) == S_OK && child) {
    CComBSTR xml;
    if (SUCCEEDED(child->get_xml(xml.Put()))) content += xml.ToString();
  }
  DenormalizeXML(content);
  value = std::move(content);
  return S_OK;
}

// <name>value</name> on its own line at the indent.
void AppendTextElement(WString& out, WStringView indent, WStringView name, WStringView value) {
  out.append(indent).append(u"<").append(name).append(u">").append(value);
  out.append(u"</").append(name).append(u">\r\n");
}

WString Escaped(WStringView text, bool escape) {
  WString result(text);
  if (escape) NormalizeXML(result);
  return result;
}

WString Quoted(CCommandHelperHook& helper, const WString& name) {
  CComBSTR quoted;
  (void)helper.GetQuotedNameForObject(name.c_str(), quoted.Put());
  return quoted.ToString();
}

}  // namespace

CKV7DebuggingInfo::CKV7DebuggingInfo() {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::CKV7DebuggingInfo", 6, "KV7DebuggingInfo");
}

CKV7DebuggingInfo::~CKV7DebuggingInfo() {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::~CKV7DebuggingInfo", 6, "KV7DebuggingInfo");
}

HRESULT CKV7DebuggingInfo::LoadFromXML(IXMLDOMNode* debuggingInfoElement) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::LoadFromXML", 2, "KV7DebuggingInfo");
  using Read = HRESULT (*)(IXMLDOMNode*, const char16_t*, WString&);
  using Apply = void (*)(CKV7DebuggingInfo&, const WString&);
  static constexpr struct {
    const char16_t* element;
    Read read;
    Apply apply;
  } kElements[] = {
      {u"BuildForDebug", GetBasicNodeValue,
       [](CKV7DebuggingInfo& info, const WString& text) {
         StringToBool(text.c_str(), info.build_for_debug_);
       }},
      {u"DebugSessionTimeout", GetBasicNodeValue,
       [](CKV7DebuggingInfo& info, const WString& text) {
         ReadUnsignedLong(text, info.debug_session_timeout_);
       }},
      {u"MaxVariableLengthDisplay", GetBasicNodeValue,
       [](CKV7DebuggingInfo& info, const WString& text) {
         ReadUnsignedLong(text, info.max_variable_length_display_);
       }},
      {u"ParametersXML", GetEscapedNodeValue,
       [](CKV7DebuggingInfo& info, const WString& text) {
         (void)info.startup_procedure_.SetXml(text.c_str());
       }},
      {u"ProcName", GetBasicNodeValue,
       [](CKV7DebuggingInfo& info, const WString& text) { info.startup_procedure_.SetName(text); }},
      {u"ProcSchema", GetBasicNodeValue,
       [](CKV7DebuggingInfo& info, const WString& text) {
         info.startup_procedure_.SetSchema(text);
       }},
  };
  if (debuggingInfoElement == nullptr) return KV7_TRACE_RETURN(S_OK);
  for (const auto& element : kElements) {
    WString text;
    (void)element.read(debuggingInfoElement, element.element, text);
    if (!text.empty()) element.apply(*this, text);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7DebuggingInfo::SaveAsXML(WStringView indent, WString& out, bool escape) const {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SaveAsXML", 2, "KV7DebuggingInfo");
  WString inner = WString(indent) + u"\t";
  BOOL log_xml = FALSE;
  (void)GetKV7GlobalOptions()->GetDebuggingLoggingEnabled(&log_xml);
  WString build_for_debug, log_text;
  BoolToString(build_for_debug_, build_for_debug);
  BoolToString(log_xml, log_text);

  out.append(indent).append(u"<DebuggingInfo>\r\n");
  if (!extra_settings_.empty()) out.append(inner).append(extra_settings_).append(u"\r\n");
  AppendTextElement(out, inner, u"BuildForDebug", build_for_debug);
  AppendTextElement(out, inner, u"DebugSessionTimeout",
                    kv7::FormatW(u"%ld", static_cast<long>(debug_session_timeout_)));
  AppendTextElement(out, inner, u"MaxVariableLengthDisplay",
                    kv7::FormatW(u"%ld", static_cast<long>(max_variable_length_display_)));
  AppendTextElement(out, inner, u"LogXML", log_text);
  AppendTextElement(out, inner, u"ParametersXML", Escaped(GetParametersXML(), escape));
  AppendTextElement(out, inner, u"ProcName", Escaped(GetProcName(), escape));
  AppendTextElement(out, inner, u"ProcSchema", Escaped(GetProcSchema(), escape));
  out.append(indent).append(u"</DebuggingInfo>\r\n");
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7DebuggingInfo::AsXmlDocument(WString& out) const {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::AsXmlDocument", 2, "KV7DebuggingInfo");
  WString document;
  (void)GetXMLEncoding(document);
  document.append(u"\r\n");
  HRESULT hr = SaveAsXML(u"", document, true);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  out = std::move(document);
  return KV7_TRACE_RETURN(S_OK);
}

void CKV7DebuggingInfo::CopyFrom(const CKV7DebuggingInfo& other) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::CopyFrom", 2, "KV7DebuggingInfo");
  build_for_debug_ = other.build_for_debug_;
  debug_session_timeout_ = other.debug_session_timeout_;
  max_variable_length_display_ = other.max_variable_length_display_;
  extra_settings_ = other.extra_settings_;
  startup_procedure_ = other.startup_procedure_;
}

int CKV7DebuggingInfo::Compare(const CKV7DebuggingInfo& other) const {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::Compare", 2, "KV7DebuggingInfo");
  bool equal = build_for_debug_ == other.build_for_debug_ &&
               debug_session_timeout_ == other.debug_session_timeout_ &&
               max_variable_length_display_ == other.max_variable_length_display_ &&
               extra_settings_ == other.extra_settings_ &&
               startup_procedure_ == other.startup_procedure_;
  return KV7_TRACE_RETURN(equal ? 0 : 1);
}

void CKV7DebuggingInfo::SetBuildForDebug(BOOL value) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SetBuildForDebug", 2, "KV7DebuggingInfo");
  build_for_debug_ = value;
}

void CKV7DebuggingInfo::SetDebugSessionTimeout(LONG value) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SetDebugSessionTimeout", 2, "KV7DebuggingInfo");
  debug_session_timeout_ = value;
}

void CKV7DebuggingInfo::SetMaxVariableLengthDisplay(LONG value) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SetMaxVariableLengthDisplay", 2, "KV7DebuggingInfo");
  max_variable_length_display_ = value;
}

void CKV7DebuggingInfo::SetExtraSettings(WStringView text) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SetExtraSettings", 2, "KV7DebuggingInfo");
  extra_settings_ = text;
}

void CKV7DebuggingInfo::SetProcName(WStringView name) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SetProcName", 2, "KV7DebuggingInfo");
  startup_procedure_.SetName(name);
}

void CKV7DebuggingInfo::SetProcSchema(WStringView schema) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SetProcSchema", 2, "KV7DebuggingInfo");
  startup_procedure_.SetSchema(schema);
}

bool CKV7DebuggingInfo::HasProcName() const {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::HasProcName", 2, "KV7DebuggingInfo");
  return KV7_TRACE_RETURN(!GetProcName().empty());
}

HRESULT CKV7DebuggingInfo::SetParametersXML(const char16_t* xml) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SetParametersXML", 2, "KV7DebuggingInfo");
  return KV7_TRACE_RETURN(startup_procedure_.SetXml(xml));
}

HRESULT CKV7DebuggingInfo::SetParameterValue(const char16_t* name, const char16_t* value) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SetParameterValue", 2, "KV7DebuggingInfo");
  return KV7_TRACE_RETURN(startup_procedure_.SetParameterValue(name, value));
}

void CKV7DebuggingInfo::SetStoredProcedure(const CStoredProcedure& procedure) {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::SetStoredProcedure", 2, "KV7DebuggingInfo");
  startup_procedure_ = procedure;
}

bool CKV7DebuggingInfo::NeedsParameters() const {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::NeedsParameters", 2, "KV7DebuggingInfo");
  return KV7_TRACE_RETURN(startup_procedure_.HasInParameters());
}

bool CKV7DebuggingInfo::HasParameters() const {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::HasParameters", 2, "KV7DebuggingInfo");
  return KV7_TRACE_RETURN(startup_procedure_.AllInParametersHaveValues());
}

void CKV7DebuggingInfo::GetStartupProcedure(WString& out) const {
  KV7_TRACE_ENTRY("CKV7DebuggingInfo::GetStartupProcedure", 2, "KV7DebuggingInfo");
  out.clear();
  if (!HasProcName()) return;
  CCommandHelperHook helper;
  out = Quoted(helper, GetProcName());
  if (!GetProcSchema().empty()) out = Quoted(helper, GetProcSchema()) + u"." + out;
}
