#include "kv7/build/output.h"

#include "kv7/package/package_site.h"
#include "kv7/trace/trace.h"
#include "kv7/util/ui_strings.h"

namespace {

struct PaneKind {
  GUID id;
  UINT title;
};

constexpr PaneKind kPanes[] = {
    {kv7::MakeGuid("6ABCA4B1-D72E-44C9-8A24-B9139BFD0EAD"), 770},
    {GUID_BuildOutputWindowPane, 771},
    {kv7::MakeGuid("58B84905-7074-11D3-8F3E-006097C9A866"), 772},
    {kv7::MakeGuid("FC076020-078A-11D1-A7DF-00A0C9110051"), 773},
    {kv7::MakeGuid("CBF36220-3F6F-11D1-8631-006008184050"), 774},
};

const PaneKind* KindOf(LONG type) {
  return type >= 0 && type < static_cast<LONG>(std::size(kPanes)) ? &kPanes[type] : nullptr;
}

}  // namespace

// ---- CKV7OutputWindow -----------------------------------------------------

CKV7OutputWindow::CKV7OutputWindow(bool activate, LONG paneType, bool flag, bool deleteOnCleanup)
    : type_(paneType), flag_(flag), delete_on_cleanup_(deleteOnCleanup) {
  KV7_TRACE_ENTRY("CKV7OutputWindow::CKV7OutputWindow", 6, "KV7OutputWindow");
  if (SUCCEEDED(Initialize()) && activate) (void)Activate();
}

CKV7OutputWindow::~CKV7OutputWindow() {
  KV7_TRACE_ENTRY("CKV7OutputWindow::~CKV7OutputWindow", 6, "KV7OutputWindow");
  Cleanup();
}

HRESULT CKV7OutputWindow::TypeToGUID(LONG paneType, GUID* pane) {
  KV7_TRACE_ENTRY("CKV7OutputWindow::TypeToGUID", 2, "KV7OutputWindow");
  const PaneKind* kind = KindOf(paneType);
  if (kind == nullptr || pane == nullptr) return KV7_TRACE_RETURN(E_FAIL);
  *pane = kind->id;
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7OutputWindow::TypeToTitle(LONG paneType, WString* title) {
  KV7_TRACE_ENTRY("CKV7OutputWindow::TypeToTitle", 2, "KV7OutputWindow");
  const PaneKind* kind = KindOf(paneType);
  if (kind == nullptr || title == nullptr) return KV7_TRACE_RETURN(E_FAIL);
  *title = LoadUIString(kind->title);
  return KV7_TRACE_RETURN(S_OK);
}

HRESULT CKV7OutputWindow::Initialize() {
  KV7_TRACE_ENTRY("CKV7OutputWindow::Initialize", 2, "KV7OutputWindow");
  GUID id;
  WString title;
  HRESULT hr = TypeToGUID(type_, &id);
  if (SUCCEEDED(hr)) hr = TypeToTitle(type_, &title);
  if (SUCCEEDED(hr)) hr = QueryPackageService(SID_SVsOutputWindow, &window_);
  if (FAILED(hr)) return KV7_TRACE_RETURN(hr);
  if (FAILED(window_->GetPane(id, pane_.Put()))) {
    hr = window_->CreatePane(id, title.c_str(), TRUE, TRUE);
    if (SUCCEEDED(hr)) hr = window_->GetPane(id, pane_.Put());
  }
  return KV7_TRACE_RETURN(hr);
}

HRESULT CKV7OutputWindow::OutputString(const char16_t* text) {
  KV7_TRACE_ENTRY("CKV7OutputWindow::OutputString", 2, "KV7OutputWindow");
  if (!pane_) return KV7_TRACE_RETURN(E_FAIL);
  return KV7_TRACE_RETURN(pane_->OutputString(text ? text : u""));
}

HRESULT CKV7OutputWindow::Activate() {
  KV7_TRACE_ENTRY("CKV7OutputWindow::Activate", 2, "KV7OutputWindow");
  if (!pane_) return KV7_TRACE_RETURN(E_FAIL);
  return KV7_TRACE_RETURN(pane_->Activate());
}

HRESULT CKV7OutputWindow::Show() {
  KV7_TRACE_ENTRY("CKV7OutputWindow::Show", 2, "KV7OutputWindow");
  if (!window_) return KV7_TRACE_RETURN(E_FAIL);
  return KV7_TRACE_RETURN(window_->Show());
}

HRESULT CKV7OutputWindow::ShowFrame() {
  KV7_TRACE_ENTRY("CKV7OutputWindow::ShowFrame", 2, "KV7OutputWindow");
  return KV7_TRACE_RETURN(Show());
}

void CKV7OutputWindow::Cleanup() {
  KV7_TRACE_ENTRY("CKV7OutputWindow::Cleanup", 2, "KV7OutputWindow");
  GUID id;
  if (pane_ && window_ && delete_on_cleanup_ && SUCCEEDED(TypeToGUID(type_, &id)))
    (void)window_->DeletePane(id);
  pane_.Reset();
  window_.Reset();
}

// ---- CKV7Statusbar ------------------------------------------------------------

HRESULT CKV7Statusbar::Initialize() {
  KV7_TRACE_ENTRY("CKV7Statusbar::Initialize", 2, "KV7Statusbar");
  return KV7_TRACE_RETURN(QueryPackageService(SID_SVsStatusbar, &bar_));
}

HRESULT CKV7Statusbar::Clear() {
  KV7_TRACE_ENTRY("CKV7Statusbar::Clear", 2, "KV7Statusbar");
  return KV7_TRACE_RETURN(bar_ ? bar_->Clear() : E_FAIL);
}

HRESULT CKV7Statusbar::SetText(const char16_t* text) {
  KV7_TRACE_ENTRY("CKV7Statusbar::SetText", 2, "KV7Statusbar");
  return KV7_TRACE_RETURN(bar_ ? bar_->SetText(text) : E_FAIL);
}

HRESULT CKV7Statusbar::Progress(DWORD* cookie, BOOL inProgress, const char16_t* label,
                                ULONG complete, ULONG total) {
  KV7_TRACE_ENTRY("CKV7Statusbar::Progress", 2, "KV7Statusbar");
  return KV7_TRACE_RETURN(bar_ ? bar_->Progress(cookie, inProgress, label, complete, total)
                               : E_FAIL);
}

HRESULT CKV7Statusbar::Animation(BOOL on, LONG index) {
  KV7_TRACE_ENTRY("CKV7Statusbar::Animation", 2, "KV7Statusbar");
  if (!bar_ || index < 0 || index > 6) return KV7_TRACE_RETURN(E_FAIL);
  return KV7_TRACE_RETURN(bar_->Animation(on, static_cast<short>(index)));
}

HRESULT CKV7Statusbar::SetInsMode(LONG mode) {
  KV7_TRACE_ENTRY("CKV7Statusbar::SetInsMode", 2, "KV7Statusbar");
  if (!bar_ || (mode != 0 && mode != 1)) return KV7_TRACE_RETURN(E_FAIL);
  return KV7_TRACE_RETURN(bar_->SetInsMode(static_cast<short>(mode)));
}

HRESULT CKV7Statusbar::SetLineChar(LONG line, LONG column) {
  KV7_TRACE_ENTRY("CKV7Statusbar::SetLineChar", 2, "KV7Statusbar");
  return KV7_TRACE_RETURN(bar_ ? bar_->SetLineChar(line, column) : E_FAIL);
}

HRESULT CKV7Statusbar::SetColorText(const char16_t* text, DWORD foreground, DWORD background) {
  KV7_TRACE_ENTRY("CKV7Statusbar::SetColorText", 2, "KV7Statusbar");
  return KV7_TRACE_RETURN(bar_ ? bar_->SetColorText(text, foreground, background) : E_FAIL);
}

// ---- CKV7StatusAni ------------------------------------------------------------

namespace {

CKV7Statusbar& ProcessStatusbar() {
  static CKV7Statusbar bar;
  static bool initialized = false;
  // Asked again while the IDE has none (a process that has not been sited).
  if (!initialized) initialized = SUCCEEDED(bar.Initialize());
  return bar;
}

}  // namespace

CKV7StatusAni::CKV7StatusAni(LONG index) : index_(index) {
  KV7_TRACE_ENTRY("CKV7StatusAni::CKV7StatusAni", 6, "KV7StatusAni");
  (void)ProcessStatusbar().Animation(TRUE, index_);
}

CKV7StatusAni::~CKV7StatusAni() {
  KV7_TRACE_ENTRY("CKV7StatusAni::~CKV7StatusAni", 6, "KV7StatusAni");
  (void)ProcessStatusbar().Animation(FALSE, index_);
}
