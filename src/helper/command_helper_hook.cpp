#include "connection_catalogue.h"
#include "helper_trace.h"
#include "kv7/helper/helper.h"
#include "kv7/platform/files.h"
#include "options_store.h"

namespace {

constexpr char16_t kXmlDeclaration[] = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

}  // namespace

HRESULT CCommandHelperHook::SelectConnection(const char16_t* connectionXml, BSTR* chosenXml) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::SelectConnection", "CommandHelperHook");
  if (chosenXml == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  kv7::helper::ConnectionCatalogue catalogue;
  HRESULT hr = catalogue.Load();
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  kv7::helper::Connection preset;
  const kv7::helper::Connection* chosen = nullptr;
  if (SUCCEEDED(kv7::helper::ReadConnectionElement(connectionXml ? connectionXml : u"", &preset)))
    chosen = catalogue.Find(preset.Name());
  if (chosen == nullptr) chosen = catalogue.Default();
  if (chosen == nullptr) return KV7_TRACE_RETURN(S_FALSE);
  *chosenXml = CComBSTR(kv7::helper::ConnectionsDocumentText({chosen, 1}, u"", false)).Detach();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::AddConnection(const char16_t* connectionXml, BOOL makeDefault) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::AddConnection", "CommandHelperHook");
  kv7::helper::Connection connection;
  if (FAILED(kv7::helper::ReadConnectionElement(connectionXml ? connectionXml : u"", &connection)))
    return KV7_TRACE_RETURN(E_INVALIDARG);
  kv7::helper::CompleteConnection(&connection);
  connection.Set(u"DBCONNSTRING", u"");
  kv7::helper::ConnectionCatalogue catalogue;
  HRESULT hr = catalogue.Load();
  if (SUCCEEDED(hr)) hr = catalogue.Add(std::move(connection), makeDefault != FALSE);
  if (SUCCEEDED(hr)) hr = catalogue.Save();
  return KV7_TRACE_RETURN(hr);
}

HRESULT CCommandHelperHook::RemoveConnection(const char16_t* connectionName) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::RemoveConnection", "CommandHelperHook");
  kv7::helper::ConnectionCatalogue catalogue;
  HRESULT hr = catalogue.Load();
  if (SUCCEEDED(hr)) hr = catalogue.Remove(connectionName ? connectionName : u"");
  if (SUCCEEDED(hr)) hr = catalogue.Save();
  return KV7_TRACE_RETURN(hr);
}

HRESULT CCommandHelperHook::IsAddinAvailable(BOOL* available) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::IsAddinAvailable", "CommandHelperHook");
  if (available == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  // The connection services need the library's home for their catalogue.
  *available = SUCCEEDED(kv7::CreateDirectories(kv7::Kv7HomeDirectory()))
                   ? TRUE
                   : FALSE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::GetXMLEncoding(BSTR* declaration) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::GetXMLEncoding", "CommandHelperHook");
  if (declaration == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *declaration = SysAllocString(kXmlDeclaration);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::GetOptionsFileXML(BSTR* optionsXml) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::GetOptionsFileXML", "CommandHelperHook");
  if (optionsXml == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  WString text;
  HRESULT hr = kv7::helper::ReadOptionsDocument(&text);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  *optionsXml = SysAllocWString(text);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::SetOptionsFileXML(const char16_t* optionsXml) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::SetOptionsFileXML", "CommandHelperHook");
  if (optionsXml == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  return KV7_TRACE_RETURN(kv7::helper::WriteOptionsDocument(optionsXml));
}

HRESULT CCommandHelperHook::GetDefaultOptionsFileXML(BSTR* optionsXml) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::GetDefaultOptionsFileXML", "CommandHelperHook");
  if (optionsXml == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  WString text = kv7::helper::DefaultOptionsDocument();
  *optionsXml = SysAllocWString(text);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::MyChooseFont(const char16_t* fontName, float fontSize,
                                         BSTR* chosenName, float* chosenSize) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::MyChooseFont", "CommandHelperHook");
  if (chosenName == nullptr || chosenSize == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  // Without a display the chooser closes on its default button: the preset.
  *chosenName = SysAllocString(fontName ? fontName : u"");
  *chosenSize = fontSize;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::ConvertConnectionXML(const char16_t* fromVersion,
                                                 const char16_t* toVersion,
                                                 const char16_t* connectionXml,
                                                 BSTR* convertedXml) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::ConvertConnectionXML", "CommandHelperHook");
  if (convertedXml == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  if (fromVersion == nullptr || toVersion == nullptr || WStringView(fromVersion) != u"1" ||
      WStringView(toVersion) != u"2")
    return KV7_TRACE_RETURN(E_INVALIDARG);
  kv7::helper::Connection connection;
  HRESULT hr = kv7::helper::ReadConnectionElement(connectionXml ? connectionXml : u"", &connection);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  kv7::helper::CompleteConnection(&connection);
  *convertedXml = CComBSTR(kv7::helper::ConnectionElementText(connection, false)).Detach();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CCommandHelperHook::GetModelXML(const char16_t*, BSTR*) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::GetModelXML", "CommandHelperHook");
  KV7_HELPER_NOT_AVAILABLE("the server model");
}

HRESULT CCommandHelperHook::RunParameterValueDialog(const char16_t*, const char16_t*, BSTR*,
                                                    BOOL*) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::RunParameterValueDialog", "CommandHelperHook");
  KV7_HELPER_NOT_AVAILABLE("the parameter value dialog");
}

HRESULT CCommandHelperHook::RunProcedureScriptWizard(const char16_t*, const char16_t*,
                                                     const char16_t*) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::RunProcedureScriptWizard", "CommandHelperHook");
  KV7_HELPER_NOT_AVAILABLE("the procedure script wizard");
}

HRESULT CCommandHelperHook::ModifyProcedureScriptWizard(const char16_t*, BSTR*, BSTR*, BOOL*) {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::ModifyProcedureScriptWizard",
                         "CommandHelperHook");
  KV7_HELPER_NOT_AVAILABLE("the procedure script wizard");
}

// The library writes its stores through on every change, so a closing
// project leaves nothing to save.
HRESULT CCommandHelperHook::ForceCacheSave() {
  KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::ForceCacheSave", "CommandHelperHook");
  return KV7_TRACE_RETURN(S_OK);
}

#define KV7_COMPANION_TOOL(n)                                                      \
  HRESULT CCommandHelperHook::LaunchCompanionTool##n() {                            \
    KV7_HELPER_TRACE_ENTRY("CCommandHelperHook::LaunchCompanionTool" #n,            \
                           "CommandHelperHook");                                    \
    KV7_HELPER_NOT_AVAILABLE("companion tool " #n);                                 \
  }
KV7_COMPANION_TOOL(1)
KV7_COMPANION_TOOL(2)
KV7_COMPANION_TOOL(3)
KV7_COMPANION_TOOL(4)
KV7_COMPANION_TOOL(5)
KV7_COMPANION_TOOL(6)
KV7_COMPANION_TOOL(7)
KV7_COMPANION_TOOL(8)
KV7_COMPANION_TOOL(10)
#undef KV7_COMPANION_TOOL
