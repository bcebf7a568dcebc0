#include "helper_trace.h"
#include "kv7/helper/helper.h"
#include "kv7/resources/strings.h"

HRESULT CNLSStringHelperHook::DoLoadString(UINT key, BSTR* text) {
  KV7_HELPER_TRACE_ENTRY("CNLSStringHelperHook::DoLoadString", "NLSStringHelperHook");
  if (text == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  const char16_t* found = KV7UIGetString(key);
  if (found == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  *text = SysAllocString(found);
  return KV7_TRACE_RETURN(S_OK);
}
