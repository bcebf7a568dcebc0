#include "options_store.h"

#include <iterator>

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/files.h"

namespace kv7::helper {
namespace {

struct OptionSeed {
  const char16_t* group;
  const char16_t* option;
  const char16_t* value;
};

// Every option of the document, grouped as the document groups them, with
// the value a new user starts with.
constexpr OptionSeed kOptionSeeds[] = {
    {u"Editor", u"StatementSeparator", u"@"},
    {u"Editor", u"IntellisenseEnabled", u"true"},
    {u"Project", u"HideExtensions", u"false"},
    {u"Project", u"PromptConnOnNew", u"true"},
    {u"Project", u"ValidateCLROnBuild", u"false"},
    {u"Environment", u"FontName", u"Arial"},
    {u"Environment", u"FontSize", u"9.00"},
    {u"CodeGen", u"UsePrimaryKeys", u"false"},
    {u"DBAccess", u"MaxRows", u"100"},
    {u"DBAccess", u"Timeout", u"30"},
    {u"DBAccess", u"PrefetchCache", u"true"},
    {u"DBAccess", u"SaveUserInfo", u"true"},
    {u"DBAccess", u"DefaultOwner", u""},
    {u"DBAccess", u"DefaultCurrentSchema", u""},
    {u"SettingsM77", u"WLMEnv", u"WLMENV1"},
    {u"SettingsM77", u"BuildUtility", u"SYSPROC.QRBLDPRC"},
    {u"SettingsM77", u"CollectionID", u""},
    {u"SettingsM77", u"DefaultExternalSecurity", u"KV7"},
    {u"SettingsM77", u"DefaultStayResident", u"false"},
    {u"SettingsM77", u"DefaultRuntimeOptions", u""},
    {u"SettingsM77", u"DefaultPrecompileOptions", u""},
    {u"SettingsM77", u"DefaultCompileOptions", u""},
    {u"SettingsM77", u"DefaultPrelinkOptions", u""},
    {u"SettingsM77", u"DefaultLinkOptions", u""},
    {u"SettingsM77", u"DefaultBindOptions", u""},
    {u"SettingsM77", u"DefaultBuildOwner", u""},
    {u"Debugger", u"EnableLogging", u"false"},
};

WString OptionsPath() { return Kv7HomeDirectory() + u"/options.xml"; }

}  // namespace

WString DefaultOptionsDocument() {
  WString text = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<userOptions>\r\n";
  WStringView open_group;
  for (const OptionSeed& seed : kOptionSeeds) {
    if (open_group != seed.group) {
      if (!open_group.empty()) text += FormatW(u"\t</%s>\r\n", open_group.data());
      open_group = seed.group;
      text += FormatW(u"\t<%s>\r\n", seed.group);
    }
    text += FormatW(u"\t\t<%s val=\"%s\"/>\r\n", seed.option, seed.value);
  }
  text += FormatW(u"\t</%s>\r\n</userOptions>\r\n", open_group.data());
  return text;
}

HRESULT ReadOptionsDocument(WString* text) {
  std::string bytes;
  HRESULT hr = ReadFileBytes(OptionsPath(), &bytes);
  if (FAILED(hr) && !FileExists(OptionsPath())) bytes.clear();
  else if (FAILED(hr)) return ReportFileError(hr, u"read", OptionsPath());
  if (bytes.empty()) {
    WString seed = DefaultOptionsDocument();
    hr = WriteOptionsDocument(seed);
    if (FAILED(hr)) return hr;
    *text = std::move(seed);
    return S_OK;
  }
  *text = FromUtf8(bytes);
  return S_OK;
}

HRESULT WriteOptionsDocument(WStringView text) {
  HRESULT hr = CreateDirectories(Kv7HomeDirectory());
  if (FAILED(hr)) return ReportFileError(hr, u"create", Kv7HomeDirectory());
  hr = WriteFileBytes(OptionsPath(), ToUtf8(text));
  return FAILED(hr) ? ReportFileError(hr, u"write", OptionsPath()) : S_OK;
}

}  // namespace kv7::helper
