#include "kv7/options/global_options.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string>

#include "kv7/helper/helper.h"
#include "kv7/hierarchy/project_hierarchy.h"
#include "kv7/hierarchy/sel_helper.h"
#include "kv7/package/package_site.h"
#include "kv7/platform/xmldom.h"
#include "kv7/trace/trace.h"
#include "kv7/util/utilities.h"
#include "kv7/util/xml_helpers.h"

namespace kv7 {

using Options = ::CKV7GlobalOptionsClass;

// The options as data, so that loading, saving, copying and access by name
// walk one list instead of repeating each option. The list is in the order
// in which the options document is read and written (which decides where a
// failing read or write stops); `position` gives each member's place among
// the class's members.
struct GlobalOptionsTable {
  enum class Encoding { kBoolean, kString, kReal, kInteger };

  struct Field {
    const char16_t* name;  // the getter and setter stem
    const char16_t* path;  // its element; null when it lives only in memory
    Encoding encoding;
    int position;
    BOOL Options::*flag;
    CComBSTR Options::*text;
    double Options::*number;
    const char16_t* fallback;  // a string's value when a load leaves it unset
  };

  static const Field kFields[];

  static const Field* Find(const char16_t* name);
  static void ApplyStringDefaults(Options& options);
  static void Copy(Options& to, const Options& from);
  static HRESULT Read(Options& options, IXMLDOMNode* document, const Field& field);
  static HRESULT Write(const Options& options, IXMLDOMNode* document, const Field& field);
  // The value as `val` holds it; false for a string without a value.
  static bool Encode(const Options& options, const Field& field, WString* text);
  // Sets the value from a tool's text; false when the text does not read.
  static bool Decode(Options& options, const Field& field, WStringView text);
};

namespace {

using Field = GlobalOptionsTable::Field;
using Encoding = GlobalOptionsTable::Encoding;

constexpr Field Flag(const char16_t* name, const char16_t* path, int position,
                     BOOL Options::*member) {
  return {name, path, Encoding::kBoolean, position, member, nullptr, nullptr, nullptr};
}
constexpr Field Text(const char16_t* name, const char16_t* path, int position,
                     CComBSTR Options::*member, const char16_t* fallback = nullptr) {
  return {name, path, Encoding::kString, position, nullptr, member, nullptr, fallback};
}
constexpr Field Number(const char16_t* name, const char16_t* path, Encoding encoding,
                       int position, double Options::*member) {
  return {name, path, encoding, position, nullptr, nullptr, member, nullptr};
}

// Reads as the C library's wide-string-to-integer conversion does: leading
// white space, a sign and digits; 0 when there are none. Values beyond the
// 32-bit range stop at its ends.
int ReadInteger(WStringView text) {
  long value = std::strtol(ToUtf8(text).c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

double ReadReal(WStringView text) { return std::strtod(ToUtf8(text).c_str(), nullptr); }

// The value truncated toward zero; values beyond the 32-bit range (which a
// plain conversion leaves undefined) stop at its ends.
int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(value);
}

// A new document holding the options text; the status of the parse, S_OK
// only when the text is well formed.
HRESULT ParseOptions(const char16_t* text, ComPtr<IXMLDOMDocument>* document) {
  HRESULT hr = CreateXMLDOMDocument(document->Put());
  if (FAILED(hr)) return hr;
  VARIANT_BOOL parsed = VARIANT_FALSE;
  return (*document)->loadXML(text, &parsed);
}

// Has every open database project re-read its items, so that the Solution
// Explorer shows captions as the options now say.
void RefreshOpenProjects() {
  ComPtr<IVsSolution> solution;
  if (FAILED(QueryPackageService(SID_SVsSolution, &solution))) return;
  ComPtr<IEnumHierarchies> projects;
  if (FAILED(solution->GetProjectEnum(EPF_ALLPROJECTS, GUID_NULL, projects.Put())) || !projects)
    return;
  // Re-reading the items loses the window's selection: keep it across.
  CKV7SelHelper selection;
  (void)selection.Remember();
  for (ComPtr<IVsHierarchy> hierarchy; projects->Next(1, hierarchy.Put(), nullptr) == S_OK &&
                                       hierarchy;) {
    if (!IsThisMyProjectHierarchy(hierarchy.Get())) continue;
    auto* project = dynamic_cast<CMyProjectHierarchy*>(hierarchy.Get());
    if (project != nullptr && project->GetProjectNode() != nullptr)
      project->NotifyInvalidateItems(project->GetProjectNode());
  }
  (void)selection.Restore();
}

}  // namespace

const GlobalOptionsTable::Field GlobalOptionsTable::kFields[] = {
    Text(u"StatementSeparator", u"userOptions/Editor/StatementSeparator", 2,
         &Options::statement_separator_, u"@"),
    Flag(u"IntellisenseEnabled", u"userOptions/Editor/IntellisenseEnabled", 8,
         &Options::intellisense_enabled_),
    Flag(u"HideExt", u"userOptions/Project/HideExtensions", 1, &Options::hide_ext_),
    Flag(u"PromptConnOnNew", u"userOptions/Project/PromptConnOnNew", 5,
         &Options::prompt_conn_on_new_),
    Text(u"DialogFontName", u"userOptions/Environment/FontName", 6, &Options::dialog_font_name_,
         u"Arial"),
    Number(u"DialogFontSize", u"userOptions/Environment/FontSize", Encoding::kReal, 7,
           &Options::dialog_font_size_),
    Flag(u"UsePrimaryKeys", u"userOptions/CodeGen/UsePrimaryKeys", 9,
         &Options::use_primary_keys_),
    Number(u"MaxRowsToPreview", u"userOptions/DBAccess/MaxRows", Encoding::kInteger, 10,
           &Options::max_rows_to_preview_),
    Number(u"Timeout", u"userOptions/DBAccess/Timeout", Encoding::kInteger, 11,
           &Options::timeout_),
    Flag(u"PrefetchCache", u"userOptions/DBAccess/PrefetchCache", 12, &Options::prefetch_cache_),
    Flag(u"SaveUserInfo", u"userOptions/DBAccess/SaveUserInfo", 13, &Options::save_user_info_),
    Text(u"DefaultOwner", u"userOptions/DBAccess/DefaultOwner", 14, &Options::default_owner_),
    Text(u"DefaultCurrentSchema", u"userOptions/DBAccess/DefaultCurrentSchema", 15,
         &Options::default_current_schema_),
    Text(u"WLMEnv", u"userOptions/SettingsM77/WLMEnv", 16, &Options::wlm_env_, u"WLMENV1"),
    Text(u"BuildUtility", u"userOptions/SettingsM77/BuildUtility", 17, &Options::build_utility_,
         u"SYSPROC.QRBLDPRC"),
    Flag(u"ValidateCLROnBuild", u"userOptions/Project/ValidateCLROnBuild", 18,
         &Options::validate_clr_on_build_),
    Text(u"CollectionID", u"userOptions/SettingsM77/CollectionID", 19, &Options::collection_id_),
    Text(u"ExternalSecurity", u"userOptions/SettingsM77/DefaultExternalSecurity", 20,
         &Options::external_security_, u"KV7"),
    Flag(u"StayResident", u"userOptions/SettingsM77/DefaultStayResident", 21,
         &Options::stay_resident_),
    Text(u"RuntimeOptions", u"userOptions/SettingsM77/DefaultRuntimeOptions", 22,
         &Options::runtime_options_),
    Text(u"PrecompileOptions", u"userOptions/SettingsM77/DefaultPrecompileOptions", 23,
         &Options::precompile_options_),
    Text(u"CompileOptions", u"userOptions/SettingsM77/DefaultCompileOptions", 24,
         &Options::compile_options_),
    Text(u"PrelinkOptions", u"userOptions/SettingsM77/DefaultPrelinkOptions", 25,
         &Options::prelink_options_),
    Text(u"LinkOptions", u"userOptions/SettingsM77/DefaultLinkOptions", 26,
         &Options::link_options_),
    Text(u"BindOptions", u"userOptions/SettingsM77/DefaultBindOptions", 27,
         &Options::bind_options_),
    Text(u"BuildOwner", u"userOptions/SettingsM77/DefaultBuildOwner", 28,
         &Options::build_owner_),
    Flag(u"SaveUserAndPassword", u"userOptions/DBAccess/SaveUserInfo", 29,
         &Options::save_user_and_password_),
    Flag(u"DebuggingLoggingEnabled", u"userOptions/Debugger/EnableLogging", 30,
         &Options::debugging_logging_enabled_),
    Flag(u"PromptForConfig", nullptr, 3, &Options::prompt_for_config_),
};

const GlobalOptionsTable::Field* GlobalOptionsTable::Find(const char16_t* name) {
  if (name == nullptr) return nullptr;
  auto found = std::find_if(std::begin(kFields), std::end(kFields),
                            [&](const Field& field) { return EqualsNoCase(field.name, name); });
  return found == std::end(kFields) ? nullptr : found;
}

void GlobalOptionsTable::ApplyStringDefaults(Options& options) {
  for (const Field& field : kFields) {
    if (field.fallback != nullptr && (options.*field.text).IsNull())
      options.*field.text = CComBSTR(field.fallback);
  }
}

void GlobalOptionsTable::Copy(Options& to, const Options& from) {
  for (const Field& field : kFields) {
    if (field.flag) to.*field.flag = from.*field.flag;
    if (field.text) to.*field.text = from.*field.text;
    if (field.number) to.*field.number = from.*field.number;
  }
  to.loaded_ = from.loaded_;
}

HRESULT GlobalOptionsTable::Read(Options& options, IXMLDOMNode* document, const Field& field) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::ReadOption", 3, "KV7GlobalOptions");
  ComPtr<IXMLDOMNode> element;
  HRESULT hr = GetSingleNode(document, field.path, element.Put());
  WString value;
  if (element) hr = GetAttrFromNode(element.Get(), u"val", value);
  else if (SUCCEEDED(hr)) hr = S_FALSE;
  switch (field.encoding) {
    case Encoding::kInteger:
      // The row limit and the timeout take what they read, 0 when nothing.
      options.*field.number = ReadInteger(value);
      break;
    case Encoding::kReal:
      if (!value.empty()) options.*field.number = ReadReal(value);
      break;
    case Encoding::kBoolean:
      if (!value.empty()) options.*field.flag = EqualsNoCase(value, u"true") ? TRUE : FALSE;
      break;
    case Encoding::kString:
      if (!value.empty()) options.*field.text = CComBSTR(WStringView(value));
      break;
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT GlobalOptionsTable::Write(const Options& options, IXMLDOMNode* document,
                                  const Field& field) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::WriteOption", 3, "KV7GlobalOptions");
  WString value;
  // A string without a value leaves the document's text as it is.
  if (!Encode(options, field, &value)) return KV7_TRACE_RETURN(S_OK);
  ComPtr<IXMLDOMNode> element;
  HRESULT hr = GetSingleNode(document, field.path, element.Put());
  if (!element) return KV7_TRACE_RETURN(FAILED(hr) ? hr : S_FALSE);
  return KV7_TRACE_RETURN(SetAttrIntoNode(element.Get(), u"val", value.c_str()));
}

bool GlobalOptionsTable::Encode(const Options& options, const Field& field, WString* text) {
  switch (field.encoding) {
    case Encoding::kBoolean:
      *text = options.*field.flag ? u"true" : u"false";
      return true;
    case Encoding::kReal:
      *text = FormatW(u"%.2f", options.*field.number);
      return true;
    case Encoding::kInteger:
      *text = FormatW(u"%d", TruncateToInt(options.*field.number));
      return true;
    case Encoding::kString:
      if ((options.*field.text).IsNull()) return false;
      *text = (options.*field.text).ToString();
      return true;
  }
  return false;
}

bool GlobalOptionsTable::Decode(Options& options, const Field& field, WStringView text) {
  switch (field.encoding) {
    case Encoding::kBoolean:
      if (!EqualsNoCase(text, u"true") && !EqualsNoCase(text, u"false")) return false;
      options.*field.flag = EqualsNoCase(text, u"true") ? TRUE : FALSE;
      return true;
    case Encoding::kString:
      options.*field.text = CComBSTR(text);
      return true;
    case Encoding::kReal:
    case Encoding::kInteger: {
      std::string narrow = ToUtf8(text);
      char* end = nullptr;
      double value = std::strtod(narrow.c_str(), &end);
      bool whole = !narrow.empty() && end == narrow.c_str() + narrow.size();
      bool fits = field.encoding == Encoding::kReal ||
                  (value > static_cast<double>(INT_MIN) - 1.0 &&
                   value < static_cast<double>(INT_MAX) + 1.0);
      // Sizes, row counts and timeouts are never negative.
      if (!whole || !std::isfinite(value) || !fits || value < 0) return false;
      options.*field.number = value;
      return true;
    }
  }
  return false;
}

}  // namespace kv7

namespace {

using kv7::GlobalOptionsTable;

// The package's own instance, constructed when the library loads and read
// on first use; the switch says whether it has been read.
CKV7GlobalOptionsClass g_globalOptions;
bool g_globalOptionsLoaded = false;

}  // namespace

CKV7GlobalOptionsClass* GetKV7GlobalOptions() {
  KV7_TRACE_ENTRY("GetKV7GlobalOptions", 2, "KV7GlobalOptions");
  if (!g_globalOptionsLoaded) {
    g_globalOptionsLoaded = true;
    (void)g_globalOptions.LoadFromRegistry();
  }
  return &g_globalOptions;
}

CKV7GlobalOptionsClass* GetKV7GlobalOptionsNoLoad() {
  KV7_TRACE_ENTRY("GetKV7GlobalOptionsNoLoad", 2, "KV7GlobalOptions");
  return &g_globalOptions;
}

// ---- Life -----------------------------------------------------------------

CKV7GlobalOptionsClass::CKV7GlobalOptionsClass(BOOL load) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::CKV7GlobalOptionsClass", 6, "KV7GlobalOptions");
  GlobalOptionsTable::ApplyStringDefaults(*this);
  if (load) (void)LoadFromRegistry();
}

CKV7GlobalOptionsClass::CKV7GlobalOptionsClass(const CKV7GlobalOptionsClass& other) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::CKV7GlobalOptionsClass", 6, "KV7GlobalOptions");
  GlobalOptionsTable::Copy(*this, other);
}

CKV7GlobalOptionsClass& CKV7GlobalOptionsClass::operator=(const CKV7GlobalOptionsClass& other) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::operator=", 2, "KV7GlobalOptions");
  GlobalOptionsTable::Copy(*this, other);
  return *this;
}

CKV7GlobalOptionsClass::~CKV7GlobalOptionsClass() {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::~CKV7GlobalOptionsClass", 6, "KV7GlobalOptions");
}

HRESULT CKV7GlobalOptionsClass::IsLoaded(BOOL* loaded) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::IsLoaded", 2, "KV7GlobalOptions");
  if (loaded != nullptr) *loaded = loaded_;
  return KV7_TRACE_RETURN(S_OK);
}

// ---- Getters and setters --------------------------------------------------

#define KV7_VALUE_OPTION(Stem, Type, member)                                      \
  HRESULT CKV7GlobalOptionsClass::Get##Stem(Type* value) {                       \
    KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::Get" #Stem, 2, "KV7GlobalOptions"); \
    if (value != nullptr) *value = member;                                        \
    return KV7_TRACE_RETURN(S_OK);                                                \
  }                                                                               \
  HRESULT CKV7GlobalOptionsClass::Set##Stem(Type value) {                        \
    KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::Set" #Stem, 2, "KV7GlobalOptions"); \
    member = value;                                                               \
    return KV7_TRACE_RETURN(S_OK);                                                \
  }

#define KV7_TEXT_OPTION(Stem, member)                                             \
  HRESULT CKV7GlobalOptionsClass::Get##Stem(BSTR* value) {                       \
    KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::Get" #Stem, 2, "KV7GlobalOptions"); \
    if (value != nullptr && !member.IsNull()) *value = member.Copy();             \
    return KV7_TRACE_RETURN(S_OK);                                                \
  }                                                                               \
  HRESULT CKV7GlobalOptionsClass::Set##Stem(const char16_t* value) {             \
    KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::Set" #Stem, 2, "KV7GlobalOptions"); \
    member = CComBSTR(value ? value : u"");                                       \
    return KV7_TRACE_RETURN(S_OK);                                                \
  }

KV7_VALUE_OPTION(HideExt, BOOL, hide_ext_)
KV7_TEXT_OPTION(StatementSeparator, statement_separator_)
KV7_VALUE_OPTION(PromptForConfig, BOOL, prompt_for_config_)
KV7_VALUE_OPTION(PromptConnOnNew, BOOL, prompt_conn_on_new_)
KV7_TEXT_OPTION(DialogFontName, dialog_font_name_)
KV7_VALUE_OPTION(DialogFontSize, double, dialog_font_size_)
KV7_VALUE_OPTION(IntellisenseEnabled, BOOL, intellisense_enabled_)
KV7_VALUE_OPTION(UsePrimaryKeys, BOOL, use_primary_keys_)
KV7_VALUE_OPTION(MaxRowsToPreview, double, max_rows_to_preview_)
KV7_VALUE_OPTION(Timeout, double, timeout_)
KV7_VALUE_OPTION(PrefetchCache, BOOL, prefetch_cache_)
KV7_VALUE_OPTION(SaveUserInfo, BOOL, save_user_info_)
KV7_TEXT_OPTION(DefaultOwner, default_owner_)
KV7_TEXT_OPTION(DefaultCurrentSchema, default_current_schema_)
KV7_TEXT_OPTION(WLMEnv, wlm_env_)
KV7_TEXT_OPTION(BuildUtility, build_utility_)
KV7_VALUE_OPTION(ValidateCLROnBuild, BOOL, validate_clr_on_build_)
KV7_TEXT_OPTION(CollectionID, collection_id_)
KV7_TEXT_OPTION(ExternalSecurity, external_security_)
KV7_VALUE_OPTION(StayResident, BOOL, stay_resident_)
KV7_TEXT_OPTION(RuntimeOptions, runtime_options_)
KV7_TEXT_OPTION(PrecompileOptions, precompile_options_)
KV7_TEXT_OPTION(CompileOptions, compile_options_)
KV7_TEXT_OPTION(PrelinkOptions, prelink_options_)
KV7_TEXT_OPTION(LinkOptions, link_options_)
KV7_TEXT_OPTION(BindOptions, bind_options_)
KV7_TEXT_OPTION(BuildOwner, build_owner_)
KV7_VALUE_OPTION(SaveUserAndPassword, BOOL, save_user_and_password_)

#undef KV7_VALUE_OPTION
#undef KV7_TEXT_OPTION

HRESULT CKV7GlobalOptionsClass::GetDebuggingLoggingEnabled(BOOL* value) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::GetDebuggingLoggingEnabled", 2, "KV7GlobalOptions");
  if (value == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *value = debugging_logging_enabled_ != 0 ? 1 : 0;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7GlobalOptionsClass::SetDebuggingLoggingEnabled(BOOL value) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::SetDebuggingLoggingEnabled", 2, "KV7GlobalOptions");
  debugging_logging_enabled_ = value != 0 ? 1 : 0;
  return KV7_TRACE_RETURN(S_OK);
}

// ---- The options document -------------------------------------------------

HRESULT CKV7GlobalOptionsClass::LoadFromRegistry() {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::LoadFromRegistry", 2, "KV7GlobalOptions");
  hide_ext_ = FALSE;
  prompt_for_config_ = TRUE;
  prompt_conn_on_new_ = TRUE;
  loaded_ = FALSE;
  for (const GlobalOptionsTable::Field& field : GlobalOptionsTable::kFields) {
    if (field.text) (this->*field.text).Reset();
  }
  CCommandHelperHook helper;
  CComBSTR text;
  HRESULT hr = helper.GetOptionsFileXML(text.Put());
  if (SUCCEEDED(hr) && !text.IsNull()) {
    ComPtr<IXMLDOMDocument> document;
    hr = kv7::ParseOptions(text.Get(), &document);
    if (hr == S_OK) {
      for (const GlobalOptionsTable::Field& field : GlobalOptionsTable::kFields) {
        if (field.path == nullptr) continue;
        hr = GlobalOptionsTable::Read(*this, document.Get(), field);
        if (FAILED(hr)) break;
      }
      loaded_ = SUCCEEDED(hr) ? TRUE : FALSE;
    } else {
      KV7_TRACE_ERROR("the options document does not parse", hr);
    }
  }
  GlobalOptionsTable::ApplyStringDefaults(*this);
  return KV7_TRACE_RETURN(hr);
}

HRESULT CKV7GlobalOptionsClass::SaveToRegistry() {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::SaveToRegistry", 2, "KV7GlobalOptions");
  CCommandHelperHook helper;
  CComBSTR text;
  if (FAILED(helper.GetOptionsFileXML(text.Put())) || text.IsNull())
    return KV7_TRACE_RETURN(S_OK);
  ComPtr<IXMLDOMDocument> document;
  if (kv7::ParseOptions(text.Get(), &document) != S_OK) {
    // Handing back the text of a document that did not parse would store an
    // empty document: start again from a complete one.
    KV7_TRACE_TEXT("the stored options do not parse; saving over the default document");
    CComBSTR seed;
    if (FAILED(helper.GetDefaultOptionsFileXML(seed.Put())) || seed.IsNull() ||
        kv7::ParseOptions(seed.Get(), &document) != S_OK)
      return KV7_TRACE_RETURN(S_OK);
  }
  for (const GlobalOptionsTable::Field& field : GlobalOptionsTable::kFields) {
    if (field.path == nullptr) continue;
    HRESULT hr = GlobalOptionsTable::Write(*this, document.Get(), field);
    if (FAILED(hr)) {
      KV7_TRACE_ERROR("writing an option failed", hr);
      break;
    }
  }
  CComBSTR xml;
  if (SUCCEEDED(document->get_xml(xml.Put())) && !xml.IsNull()) {
    HRESULT hr = helper.SetOptionsFileXML(xml.Get());
    if (FAILED(hr)) KV7_TRACE_ERROR("SetOptionsFileXML failed", hr);
  }
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7GlobalOptionsClass::GlobalOptionsChanged() {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::GlobalOptionsChanged", 2, "KV7GlobalOptions");
  g_globalOptionsLoaded = true;
  (void)g_globalOptions.LoadFromRegistry();
  kv7::RefreshOpenProjects();
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7GlobalOptionsClass::MyChooseFont(const char16_t* fontName, float fontSize,
                                             BSTR* chosenName, float* chosenSize) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::MyChooseFont", 2, "KV7GlobalOptions");
  CCommandHelperHook helper;
  (void)helper.MyChooseFont(fontName, fontSize, chosenName, chosenSize);
  return KV7_TRACE_RETURN(S_OK);
}

// ---- Options by name ------------------------------------------------------

std::span<const char16_t* const> CKV7GlobalOptionsClass::GetOptionNames() {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::GetOptionNames", 2, "KV7GlobalOptions");
  static const auto names = [] {
    constexpr size_t kCount = std::size(GlobalOptionsTable::kFields);
    std::array<const GlobalOptionsTable::Field*, kCount> fields;
    for (size_t i = 0; i < kCount; ++i) fields[i] = &GlobalOptionsTable::kFields[i];
    std::sort(fields.begin(), fields.end(),
              [](auto* a, auto* b) { return a->position < b->position; });
    std::array<const char16_t*, kCount> sorted;
    std::transform(fields.begin(), fields.end(), sorted.begin(),
                   [](auto* field) { return field->name; });
    return sorted;
  }();
  return names;
}

HRESULT CKV7GlobalOptionsClass::GetOptionPath(const char16_t* name, const char16_t** path) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::GetOptionPath", 2, "KV7GlobalOptions");
  const GlobalOptionsTable::Field* field = GlobalOptionsTable::Find(name);
  if (field == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  if (path == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  *path = field->path;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7GlobalOptionsClass::GetOptionText(const char16_t* name, BSTR* text) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::GetOptionText", 2, "KV7GlobalOptions");
  const GlobalOptionsTable::Field* field = GlobalOptionsTable::Find(name);
  if (field == nullptr) return KV7_TRACE_RETURN(E_INVALIDARG);
  if (text == nullptr) return KV7_TRACE_RETURN(E_POINTER);
  WString value;
  if (!GlobalOptionsTable::Encode(*this, *field, &value)) return KV7_TRACE_RETURN(S_FALSE);
  *text = SysAllocWString(value);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7GlobalOptionsClass::SetOptionText(const char16_t* name, const char16_t* text) {
  KV7_TRACE_ENTRY("CKV7GlobalOptionsClass::SetOptionText", 2, "KV7GlobalOptions");
  const GlobalOptionsTable::Field* field = GlobalOptionsTable::Find(name);
  if (field == nullptr || text == nullptr ||
      !GlobalOptionsTable::Decode(*this, *field, WStringView(text)))
    return KV7_TRACE_RETURN(E_INVALIDARG);
  return KV7_TRACE_RETURN(S_OK);
}
