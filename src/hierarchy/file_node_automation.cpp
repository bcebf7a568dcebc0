// What an item offers beyond its place in the tree: its automation
// properties (the Properties window's browse object), its commands, and the
// opening of its document.
#include <iterator>

#include "kv7/hierarchy/object_nodes.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"
#include "kv7/platform/localtime.h"
#include "kv7/trace/trace.h"

namespace {

struct MemberName {
  const char16_t* name;
  DISPID id;
};

constexpr MemberName kFileMembers[] = {
    {u"FileName", DISPID_KV7FileName},       {u"FilePath", DISPID_KV7FilePath},
    {u"ModifiedDate", DISPID_KV7ModifiedDate}, {u"Size", DISPID_KV7Size},
    {u"FileType", DISPID_KV7FileType},       {u"ReadOnly", DISPID_KV7ReadOnly},
    {u"Extender", DISPID_KV7Extender},       {u"ExtenderNames", DISPID_KV7ExtenderNames},
    {u"ExtenderCATID", DISPID_KV7ExtenderCATID},
};

// The text argument of a put or an indexed get; empty when there is none.
const char16_t* TextArgument(const VARIANT* args, UINT argCount) {
  if (argCount < 1 || args[0].vt() != VT_BSTR) return nullptr;
  return args[0].bstrVal();
}

// Hands a getter's text to the caller as a variant, freeing the text.
HRESULT StringResult(HRESULT status, BSTR text, VARIANT* result) {
  if (SUCCEEDED(status) && result)
    *result = VARIANT::FromString(text ? WStringView(text, SysStringLen(text)) : WStringView());
  SysFreeString(text);
  return status;
}

}  // namespace

HRESULT CFileVwFileNode::QueryInterface(REFIID riid, void** object) {
  KV7_TRACE_ENTRY("CFileVwFileNode::QueryInterface", 5, "FileVwFileNode");
  if (object == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  if (kv7::InterfaceMatches<IDispatch>(riid) && riid != IUnknown::iid()) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return KV7_TRACE_RETURN(S_OK);
  }
  return KV7_TRACE_RETURN(CFileVwBaseNode::QueryInterface(riid, object));
}

HRESULT CFileVwFileNode::GetProperty(VSHPROPID property, VARIANT* value) {
  KV7_TRACE_ENTRY("CFileVwFileNode::GetProperty", 2, "FileVwFileNode");
  if (property == VSHPROPID_BrowseObject) {
    *value = VARIANT::FromDispatch(this);
    return KV7_TRACE_RETURN(S_OK);
  }
  return KV7_TRACE_RETURN(CFileVwBaseNode::GetProperty(property, value));
}

// ---- Commands ---------------------------------------------------------------

HRESULT CFileVwFileNode::QueryStatus(const GUID* group, ULONG count, OLECMD* commands) {
  KV7_TRACE_ENTRY("CFileVwFileNode::QueryStatus", 2, "FileVwFileNode");
  if (group == nullptr || *group != CMDSETID_StandardCommandSet97)
    return KV7_TRACE_RETURN(CFileVwBaseNode::QueryStatus(group, count, commands));
  HRESULT hr = OLECMDERR_E_NOTSUPPORTED;
  for (ULONG i = 0; i < count; ++i) {
    switch (commands[i].cmdID) {
      case cmdidOpen:
      case cmdidOpenWith:
      case cmdidViewCode:
      case cmdidViewForm:
        commands[i].cmdf = OLECMDF_SUPPORTED | OLECMDF_ENABLED;
        hr = S_OK;
        break;
      default:
        break;
    }
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT CFileVwFileNode::Exec(const GUID* group, DWORD command, DWORD options, const VARIANT* in,
                              VARIANT* out) {
  KV7_TRACE_ENTRY("CFileVwFileNode::Exec", 2, "FileVwFileNode");
  if (group == nullptr || *group != CMDSETID_StandardCommandSet97)
    return KV7_TRACE_RETURN(CFileVwBaseNode::Exec(group, command, options, in, out));
  switch (command) {
    case cmdidOpen: return KV7_TRACE_RETURN(OnCmdOpen());
    case cmdidOpenWith: return KV7_TRACE_RETURN(OnCmdOpenWith());
    case cmdidViewCode: return KV7_TRACE_RETURN(OnCmdViewCode());
    case cmdidViewForm: return KV7_TRACE_RETURN(OnCmdViewForm());
    default: return KV7_TRACE_RETURN(OLECMDERR_E_NOTSUPPORTED);
  }
}

HRESULT CFileVwFileNode::OpenDocument(REFGUID logicalView) {
  ComPtr<IVsUIShellOpenDocument> opener;
  HRESULT hr = QueryPackageService(SID_SVsUIShellOpenDocument, &opener);
  if (FAILED(hr)) return hr;
  return opener->OpenDocumentViaProject(GetFullPath().c_str(), logicalView, GetCVsHierarchy(),
                                        GetVsItemID());
}

HRESULT CFileVwFileNode::OnCmdOpen() {
  KV7_TRACE_ENTRY("CFileVwFileNode::OnCmdOpen", 2, "FileVwFileNode");
  return KV7_TRACE_RETURN(OpenDocument(LOGVIEWID_Primary));
}

// Without a choice of editors to offer, Open With opens the default one.
HRESULT CFileVwFileNode::OnCmdOpenWith() {
  KV7_TRACE_ENTRY("CFileVwFileNode::OnCmdOpenWith", 2, "FileVwFileNode");
  return KV7_TRACE_RETURN(OpenDocument(LOGVIEWID_Primary));
}

HRESULT CFileVwFileNode::OnCmdViewCode() {
  KV7_TRACE_ENTRY("CFileVwFileNode::OnCmdViewCode", 2, "FileVwFileNode");
  return KV7_TRACE_RETURN(OpenDocument(LOGVIEWID_Code));
}

HRESULT CFileVwFileNode::OnCmdViewForm() {
  KV7_TRACE_ENTRY("CFileVwFileNode::OnCmdViewForm", 2, "FileVwFileNode");
  return KV7_TRACE_RETURN(OpenDocument(LOGVIEWID_Designer));
}

HRESULT CFileVwFileNode::SetupF1KeywordContext(const char16_t* keyword,
                                                IVsUserContext** context) {
  ComPtr<IVsMonitorUserContext> help;
  HRESULT hr = QueryPackageService(SID_SVsMonitorUserContext, &help);
  if (FAILED(hr)) return hr;
  hr = help->CreateEmptyContext(context);
  if (FAILED(hr) || *context == nullptr) return FAILED(hr) ? hr : E_FAIL;
  return (*context)->AddAttribute(0, u"keyword", keyword);
}

// ---- Automation ---------------------------------------------------------------

HRESULT CFileVwFileNode::GetIDsOfNames(const char16_t* name, DISPID* id) {
  KV7_TRACE_ENTRY("CFileVwFileNode::GetIDsOfNames", 2, "FileVwFileNode");
  if (name == nullptr || id == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  for (const MemberName& member : kFileMembers) {
    if (kv7::EqualsNoCase(member.name, name)) {
      *id = member.id;
      return KV7_TRACE_RETURN(S_OK);
    }
  }
  return KV7_TRACE_RETURN(DISP_E_UNKNOWNNAME);
}

HRESULT CFileVwFileNode::Invoke(DISPID id, WORD flags, const VARIANT* args, UINT argCount,
                                VARIANT* result) {
  KV7_TRACE_ENTRY("CFileVwFileNode::Invoke", 2, "FileVwFileNode");
  return KV7_TRACE_RETURN(InvokeFileProperty(id, flags, args, argCount, result));
}

HRESULT CFileVwFileNode::InvokeFileProperty(DISPID id, WORD flags, const VARIANT* args,
                                            UINT argCount, VARIANT* result) {
  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  BSTR text = nullptr;
  HRESULT hr = S_OK;
  switch (id) {
    case DISPID_KV7FileName:
      if (put) {
        const char16_t* name = TextArgument(args, argCount);
        return name ? put_FileName(name) : DISP_E_TYPEMISMATCH;
      }
      hr = get_FileName(&text);
      return StringResult(hr, text, result);
    case DISPID_KV7FilePath:
      hr = get_FilePath(&text);
      return StringResult(hr, text, result);
    case DISPID_KV7FileType:
      hr = get_FileType(&text);
      return StringResult(hr, text, result);
    case DISPID_KV7ExtenderCATID:
      hr = get_ExtenderCATID(&text);
      return StringResult(hr, text, result);
    case DISPID_KV7ModifiedDate: {
      VARIANT date;
      hr = get_ModifiedDate(&date);
      if (SUCCEEDED(hr) && result) *result = date;
      return hr;
    }
    case DISPID_KV7Size: {
      double size = 0;
      hr = get_Size(&size);
      if (SUCCEEDED(hr) && result) *result = VARIANT::FromDouble(size);
      return hr;
    }
    case DISPID_KV7ReadOnly: {
      if (put) {
        if (argCount < 1 || args[0].vt() != VT_BOOL) return DISP_E_TYPEMISMATCH;
        return put_ReadOnly(args[0].boolVal());
      }
      VARIANT_BOOL read_only = VARIANT_FALSE;
      hr = get_ReadOnly(&read_only);
      if (SUCCEEDED(hr) && result) *result = VARIANT::FromBool(read_only == VARIANT_TRUE);
      return hr;
    }
    case DISPID_KV7Extender: {
      ComPtr<IDispatch> extender;
      hr = get_Extender(TextArgument(args, argCount), extender.Put());
      if (SUCCEEDED(hr) && result) *result = VARIANT::FromDispatch(extender.Get());
      return hr;
    }
    case DISPID_KV7ExtenderNames: {
      VARIANT names;
      hr = get_ExtenderNames(&names);
      if (SUCCEEDED(hr) && result) *result = names;
      return hr;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT CFileVwFileNode::get_FileName(BSTR* name) {
  KV7_TRACE_ENTRY("CFileVwFileNode::get_FileName", 2, "FileVwFileNode");
  if (name == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *name = SysAllocWString(GetFileName());
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwFileNode::put_FileName(const char16_t* name) {
  KV7_TRACE_ENTRY("CFileVwFileNode::put_FileName", 2, "FileVwFileNode");
  CMyProjectHierarchy* hierarchy = GetCVsHierarchy();
  if (hierarchy == nullptr || name == nullptr) return KV7_TRACE_RETURN(E_UNEXPECTED);
  return KV7_TRACE_RETURN(
      hierarchy->SetProperty(GetVsItemID(), VSHPROPID_EditLabel, VARIANT::FromString(name)));
}

HRESULT CFileVwFileNode::get_FilePath(BSTR* path) {
  KV7_TRACE_ENTRY("CFileVwFileNode::get_FilePath", 2, "FileVwFileNode");
  if (path == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *path = SysAllocWString(GetFullPath());
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwFileNode::get_ModifiedDate(VARIANT* date) {
  KV7_TRACE_ENTRY("CFileVwFileNode::get_ModifiedDate", 2, "FileVwFileNode");
  if (date == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  FILETIME written;
  HRESULT hr = kv7::GetLastWriteTime(GetFullPath(), &written);
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
  DATE value = 0;
  if (!SystemTimeToVariantTime(kv7::ToSystemTime(written, kv7::TimeZone::Local), &value))
    return KV7_TRACE_RETURN(E_FAIL);
  *date = VARIANT::FromDate(value);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwFileNode::get_Size(double* size) {
  KV7_TRACE_ENTRY("CFileVwFileNode::get_Size", 2, "FileVwFileNode");
  if (size == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  std::uint64_t bytes = 0;
  HRESULT hr = kv7::GetFileSize(GetFullPath(), &bytes);
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
  *size = static_cast<double>(bytes);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwFileNode::get_FileType(BSTR* type) {
  KV7_TRACE_ENTRY("CFileVwFileNode::get_FileType", 2, "FileVwFileNode");
  if (type == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *type = SysAllocString(ItemKindName(this));
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwFileNode::get_ReadOnly(VARIANT_BOOL* readOnly) {
  KV7_TRACE_ENTRY("CFileVwFileNode::get_ReadOnly", 2, "FileVwFileNode");
  if (readOnly == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  DWORD attributes = 0;
  HRESULT hr = kv7::GetFileAttributes(GetFullPath(), &attributes);
  if (FAILED(hr)) return KV7_TRACE_RETURN(kv7::ReportError(hr));
  *readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwFileNode::put_ReadOnly(VARIANT_BOOL readOnly) {
  KV7_TRACE_ENTRY("CFileVwFileNode::put_ReadOnly", 2, "FileVwFileNode");
  DWORD attributes = 0;
  HRESULT hr = kv7::GetFileAttributes(GetFullPath(), &attributes);
  if (SUCCEEDED(hr)) {
    attributes = readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                          : attributes & ~FILE_ATTRIBUTE_READONLY;
    hr = kv7::SetFileAttributes(GetFullPath(), attributes);
  }
  return KV7_TRACE_RETURN(FAILED(hr) ? kv7::ReportError(hr) : S_OK);
}

HRESULT CFileVwFileNode::get_Extender(const char16_t*, IDispatch** extender) {
  KV7_TRACE_ENTRY("CFileVwFileNode::get_Extender", 2, "FileVwFileNode");
  if (extender == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *extender = nullptr;
  return KV7_TRACE_RETURN(E_INVALIDARG);
}

HRESULT CFileVwFileNode::get_ExtenderNames(VARIANT* names) {
  KV7_TRACE_ENTRY("CFileVwFileNode::get_ExtenderNames", 2, "FileVwFileNode");
  if (names == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *names = VARIANT::FromStringArray({});
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CFileVwFileNode::get_ExtenderCATID(BSTR* catid) {
  KV7_TRACE_ENTRY("CFileVwFileNode::get_ExtenderCATID", 2, "FileVwFileNode");
  if (catid == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *catid = SysAllocString(u"");
  return KV7_TRACE_RETURN(S_OK);
}
