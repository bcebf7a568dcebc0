#include "connection_catalogue.h"
#include "helper_trace.h"
#include "kv7/helper/helper.h"
#include "kv7/platform/errorinfo.h"

CTaskHelperHook::CTaskHelperHook() = default;
CTaskHelperHook::~CTaskHelperHook() = default;

HRESULT CTaskHelperHook::setTaskExecutionListener(ITaskExecutionListener* listener) {
  KV7_HELPER_TRACE_ENTRY("CTaskHelperHook::setTaskExecutionListener", "TaskHelperHook");
  listener_ = listener;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CTaskHelperHook::getTaskExecutionListener(ITaskExecutionListener** listener) {
  KV7_HELPER_TRACE_ENTRY("CTaskHelperHook::getTaskExecutionListener", "TaskHelperHook");
  return KV7_TRACE_RETURN(listener_.CopyTo(listener));
}

HRESULT CTaskHelperHook::InstallCLRAssembly(const char16_t*, const char16_t*, const char16_t*,
                                            const char16_t*, BSTR*, BSTR*, LONG*, BSTR*) {
  KV7_HELPER_TRACE_ENTRY("CTaskHelperHook::InstallCLRAssembly", "TaskHelperHook");
  // The engines this library deploys to run no .NET code, so an assembly
  // has nowhere to go; the outputs stay untouched, as on every failure.
  constexpr HRESULT kNotSupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
  kv7::SetErrorInfo(kNotSupported, u"neither SQLite nor PostgreSQL hosts .NET assemblies");
  return KV7_TRACE_RETURN(kNotSupported);
}

HRESULT CTaskHelperHook::GetConnXML(const char16_t* connectionName, BSTR* connectionXml) {
  KV7_HELPER_TRACE_ENTRY("CTaskHelperHook::GetConnXML", "TaskHelperHook");
  if (connectionXml == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  kv7::helper::ConnectionCatalogue catalogue;
  HRESULT hr = catalogue.Load();
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  WStringView name = connectionName ? connectionName : u"";
  const kv7::helper::Connection* found = catalogue.Find(name);
  if (found == nullptr) return KV7_TRACE_RETURN(kv7::helper::ConnectionNotFound(name));
  *connectionXml = CComBSTR(kv7::helper::ConnectionElementText(*found, false)).Detach();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CTaskHelperHook::GetAllConnectionInfo(BSTR* connectionsXml) {
  KV7_HELPER_TRACE_ENTRY("CTaskHelperHook::GetAllConnectionInfo", "TaskHelperHook");
  if (connectionsXml == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  kv7::helper::ConnectionCatalogue catalogue;
  HRESULT hr = catalogue.Load();
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  *connectionsXml = CComBSTR(catalogue.Document()).Detach();
  return KV7_TRACE_RETURN(S_OK);
}
