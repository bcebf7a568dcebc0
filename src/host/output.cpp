#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "services.h"

namespace kv7::host {
namespace {

// Whether stdout and stderr are terminals, asked once: a build writes a line
// or more per item.
bool IsTerminal(int descriptor) {
  static const bool terminals[] = {false, isatty(STDOUT_FILENO) != 0, isatty(STDERR_FILENO) != 0};
  return terminals[descriptor];
}

}  // namespace

HRESULT OutputPane::OutputString(const char16_t* text) {
  if (text == nullptr) return E_POINTER;
  text_ += text;
  if (streams_->quiet) return S_OK;
  std::FILE* out = build_pane_ && !streams_->build_to_stderr ? stdout : stderr;
  // A build writes a line or more per item: into a file or a pipe stdout
  // keeps them buffered, and is flushed before anything reaches stderr so
  // that the two stay in order.
  if (out == stderr) std::fflush(stdout);
  std::fputs(ToUtf8(text).c_str(), out);
  if (out == stderr || IsTerminal(STDOUT_FILENO)) std::fflush(out);
  return S_OK;
}

const OutputPane* OutputWindowService::Pane(REFGUID pane) const {
  auto found = std::ranges::find(panes_, pane, &std::pair<GUID, ComPtr<OutputPane>>::first);
  return found == panes_.end() ? nullptr : found->second.Get();
}

HRESULT OutputWindowService::GetPane(REFGUID pane, IVsOutputWindowPane** found) {
  if (found == nullptr) return E_POINTER;
  *found = nullptr;
  const OutputPane* existing = Pane(pane);
  if (existing == nullptr) return E_INVALIDARG;
  return ComPtr<IVsOutputWindowPane>(const_cast<OutputPane*>(existing)).CopyTo(found);
}

HRESULT OutputWindowService::CreatePane(REFGUID pane, const char16_t*, BOOL, BOOL) {
  if (Pane(pane) != nullptr) return S_OK;
  panes_.emplace_back(pane, MakeCom<OutputPane>(pane == GUID_BuildOutputWindowPane, &streams_));
  return S_OK;
}

HRESULT OutputWindowService::DeletePane(REFGUID pane) {
  return std::erase_if(panes_, [&pane](const auto& entry) { return entry.first == pane; }) == 1
             ? S_OK
             : E_INVALIDARG;
}

HRESULT StatusbarService::Clear() {
  text_.clear();
  progress_ = {0, 0};
  if (shown_) std::fputs("\r\033[K", stderr);
  shown_ = false;
  return S_OK;
}

HRESULT StatusbarService::SetText(const char16_t* text) {
  text_ = text ? text : u"";
  return S_OK;
}

// Progress is for a person watching: shown only on a terminal, one line
// rewritten in place, cleared when it ends.
HRESULT StatusbarService::Progress(DWORD* cookie, BOOL inProgress, const char16_t* label,
                                   ULONG complete, ULONG total) {
  if (cookie == nullptr) return E_POINTER;
  if (*cookie == 0) *cookie = 1;
  if (!inProgress) return Clear();
  progress_ = {complete, total};
  if (quiet_ || !IsTerminal(STDERR_FILENO)) return S_OK;
  std::fflush(stdout);
  std::fprintf(stderr, "\r\033[K[%lu/%lu] %s", static_cast<unsigned long>(complete),
               static_cast<unsigned long>(total), label ? ToUtf8(label).c_str() : "");
  std::fflush(stderr);
  shown_ = true;
  return S_OK;
}

}  // namespace kv7::host
