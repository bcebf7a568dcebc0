#include "kv7/helper/helper.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/clipboard.h"
#include "kv7/platform/registry.h"
#include "kv7/resources/strings.h"
#include "kv7/trace/trace.h"
#include "kv7/util/utilities.h"
#include "util/text_input.h"

namespace {

// The IDE's user registry root, from its local-registry service.
HRESULT GetLocalRegistryRoot(WString* root) {
  ComPtr<ILocalRegistry2> registry;
  HRESULT hr = QueryPackageService(SID_SLocalRegistry, &registry);
  if (FAILED(hr)) return hr;
  CComBSTR text;
  hr = registry->GetLocalRegistryRoot(text.Put());
  if (SUCCEEDED(hr)) *root = text.ToString();
  return hr;
}

// A resource text, empty when the table has none.
const char16_t* ResourceText(UINT id) {
  const char16_t* text = KV7UIGetString(id);
  return text ? text : u"";
}

}  // namespace

BOOL IsThisMyProjectHierarchy(IVsHierarchy* hierarchy) {
  KV7_TRACE_ENTRY("IsThisMyProjectHierarchy", 2, "Utilities");
  GUID type = GUID_NULL;
  BOOL mine = hierarchy != nullptr &&
              SUCCEEDED(hierarchy->GetGuidProperty(VSITEMID_ROOT, VSHPROPID_TypeGuid, &type)) &&
              type == GUID_KV7ProjectType;
  return KV7_TRACE_RETURN(mine);
}

BOOL ShouldCompileAlwaysBeEnabled() {
  KV7_TRACE_ENTRY("ShouldCompileAlwaysBeEnabled", 2, "Utilities");
  BOOL on = FALSE;
  GetRegistryFlag(kSwitchAlwaysEnableCompile, on);
  return KV7_TRACE_RETURN(on);
}

BOOL GetRegistryFlag(const char16_t* name, BOOL& out) {
  KV7_TRACE_ENTRY("GetRegistryFlag", 2, "Utilities");
  out = FALSE;
  WString root;
  if (FAILED(GetLocalRegistryRoot(&root))) return KV7_TRACE_RETURN(FALSE);
  CRegKey key;
  DWORD value = 0;
  if (key.Open(HKEY_CURRENT_USER, root, KEY_READ) != ERROR_SUCCESS ||
      key.QueryDWORDValue(TextOf(name), value) != ERROR_SUCCESS)
    return KV7_TRACE_RETURN(FALSE);
  out = value != 0 ? TRUE : FALSE;
  return KV7_TRACE_RETURN(TRUE);
}

BOOL IsAddinAvailable() {
  KV7_TRACE_ENTRY("IsAddinAvailable", 2, "Utilities");
  CCommandHelperHook helper;
  BOOL available = FALSE;
  if (FAILED(helper.IsAddinAvailable(&available))) available = FALSE;
  return KV7_TRACE_RETURN(available);
}

BOOL ClipboardHasDropFormat() {
  KV7_TRACE_ENTRY("ClipboardHasDropFormat", 2, "Utilities");
  static const UINT kReferenceItems = RegisterClipboardFormatW(u"CF_VSREFPROJECTITEMS");
  static const UINT kStorageItems = RegisterClipboardFormatW(u"CF_VSSTGPROJECTITEMS");
  BOOL has = IsClipboardFormatAvailable(kReferenceItems) ||
             IsClipboardFormatAvailable(kStorageItems) || IsClipboardFormatAvailable(CF_HDROP);
  return KV7_TRACE_RETURN(has);
}

void SimpleMessageBox(UINT textId, UINT captionId) {
  KV7_TRACE_ENTRY("SimpleMessageBox", 2, "Utilities");
  MessageBoxW(nullptr, ResourceText(textId), ResourceText(captionId), MB_OK | MB_ICONEXCLAMATION);
}

HFONT SetupDialogFont(HWND) {
  KV7_TRACE_ENTRY("SetupDialogFont", 2, "Utilities");
  return nullptr;
}

BOOL GetExistingTemplateFileNames(CVxStringArray&) {
  KV7_TRACE_ENTRY("GetExistingTemplateFileNames", 2, "Utilities");
  return KV7_TRACE_RETURN(FALSE);
}

CKV7ProjRefInfo::CKV7ProjRefInfo(const char16_t* reference) {
  KV7_TRACE_ENTRY("CKV7ProjRefInfo::CKV7ProjRefInfo", 6, "Utilities");
  WStringView text = TextOf(reference);
  size_t first = text.find(u'|');
  size_t second = first == WStringView::npos ? first : text.find(u'|', first + 1);
  if (second == WStringView::npos) return;
  size_t last = text.rfind(u'|');
  projectId = text.substr(0, first);
  projectPath = text.substr(first + 1, second - first - 1);
  itemPath = text.substr(last + 1);
}
