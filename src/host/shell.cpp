#include <algorithm>
#include <cstdio>

#include "kv7/platform/errorinfo.h"
#include "kv7/platform/guid.h"
#include "services.h"

namespace kv7::host {
namespace {

// The caption of a message box shown without a title.
constexpr char16_t kAppName[] = u"kv7";

}  // namespace

int ShellService::Present(WStringView caption, WStringView text, UINT style) {
  int answer = DefaultMessageBoxButton(style);
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  shown_.push_back({WString(caption), WString(text), style, answer});
  Print(WString(caption) + u": " + WString(text));
  return answer;
}

void ShellService::Print(WStringView line) const {
  if (quiet_) return;
  std::fflush(stdout);  // what the build pane wrote comes first
  std::fprintf(stderr, "%s\n", ToUtf8(line).c_str());
}

HRESULT ShellService::ShowMessageBox(const char16_t* title, const char16_t* text,
                                     OLEMSGBUTTON buttons, OLEMSGICON icon, LONG* result) {
  // The button values are the message box's button styles; the icon values
  // are its icon styles shifted down by four bits.
  UINT style = static_cast<UINT>(buttons) | (static_cast<UINT>(icon) << 4);
  const char16_t* caption = title && *title ? title : kAppName;
  // Through the platform, so that whoever presents message boxes sees it.
  LONG answer = MessageBoxW(nullptr, text, caption, style);
  if (result) *result = answer;
  return S_OK;
}

HRESULT ShellService::ReportErrorInfo(HRESULT status) {
  if (SUCCEEDED(status)) return S_OK;
  WString description;
  if (!GetErrorInfo(nullptr, &description) || description.empty())
    description = SystemMessageText(status);
  // Reporting consumes the information, so that a later failure that leaves
  // none is not reported with this one's text.
  ClearErrorInfo();
  errorReports_.push_back(description);
  Print(u"kv7: " + description);
  return S_OK;
}

HRESULT ShellService::ChooseFromList(const char16_t* title, ULONG count,
                                     const char16_t* const* entries, ULONG* chosen) {
  if (chosen == nullptr || (entries == nullptr && count > 0)) return E_POINTER;
  if (!choices_.empty()) {
    const WString wanted = std::move(choices_.front());
    choices_.pop_front();
    const auto end = entries + count;
    const auto found = std::find_if(entries, end, [&wanted](const char16_t* entry) {
      return entry != nullptr && wanted == entry;
    });
    if (found != end) *chosen = static_cast<ULONG>(found - entries);
  }
  if (*chosen >= count) return S_FALSE;
  Print(WString(title ? title : u"") + u" " + entries[*chosen]);
  return S_OK;
}

HRESULT DebuggerService::LaunchDebugTargets(ULONG count, VsDebugTargetInfo* targets) {
  if (targets == nullptr && count > 0) return E_POINTER;
  launched_.insert(launched_.end(), targets, targets + count);
  if (count == 0) return S_OK;
  const HRESULT refused = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
  SetErrorInfo(refused, u"no debug engine " + GuidToString(targets[0].debugEngine) +
                            u" is installed: procedures can be run (kv7 run), not debugged");
  return refused;
}

HRESULT DebuggerService::AdviseDebuggerEvents(IVsDebuggerEvents* sink, DWORD* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  *cookie = next_cookie_++;
  sinks_.emplace(*cookie, sink);
  return S_OK;
}

HRESULT DebuggerService::UnadviseDebuggerEvents(DWORD cookie) {
  return sinks_.erase(cookie) == 1 ? S_OK : E_INVALIDARG;
}

HRESULT RegistryService::GetLocalRegistryRoot(BSTR* root) {
  if (root == nullptr) return E_POINTER;
  *root = SysAllocString(kIdeRegistryRoot);
  return S_OK;
}

HRESULT UserContext::AddAttribute(LONG usage, const char16_t* name, const char16_t* value) {
  if (name == nullptr) return E_INVALIDARG;
  attributes_.push_back({usage, name, value ? value : u""});
  return S_OK;
}

HRESULT UserContext::GetAttribute(const char16_t* name, BSTR* value) {
  if (name == nullptr || value == nullptr) return E_POINTER;
  *value = nullptr;
  for (const Attribute& attribute : attributes_) {
    if (attribute.name != name) continue;
    *value = SysAllocString(attribute.value.c_str());
    return S_OK;
  }
  return S_FALSE;
}

HRESULT HelpService::CreateEmptyContext(IVsUserContext** context) {
  return ComPtr<IVsUserContext>(MakeCom<UserContext>()).CopyTo(context);
}

}  // namespace kv7::host
