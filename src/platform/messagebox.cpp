#include "kv7/platform/messagebox.h"

#include <cstdio>
#include <mutex>

namespace kv7 {
namespace {

std::mutex presenter_lock;

MessageBoxPresenter& Presenter() {
  static MessageBoxPresenter presenter;
  return presenter;
}

int PrintToStderr(WStringView caption, WStringView text, UINT style) {
  std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
  return DefaultMessageBoxButton(style);
}

}  // namespace

int DefaultMessageBoxButton(UINT style) {
  // The buttons of each style, in order; the default-button bits pick one.
  static constexpr int kButtons[][3] = {
      {IDOK, IDOK, IDOK},        // MB_OK
      {IDOK, IDCANCEL, IDCANCEL},  // MB_OKCANCEL
      {IDOK, IDOK, IDOK},        // (abort/retry/ignore: not used)
      {IDYES, IDNO, IDCANCEL},   // MB_YESNOCANCEL
      {IDYES, IDNO, IDNO},       // MB_YESNO
  };
  UINT buttons = style & 0xF;
  UINT which = (style >> 8) & 0xF;
  if (buttons >= std::size(kButtons) || which > 2) return IDOK;
  return kButtons[buttons][which];
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  std::lock_guard<std::mutex> guard(presenter_lock);
  MessageBoxPresenter old = std::move(Presenter());
  Presenter() = std::move(presenter);
  return old;
}

}  // namespace kv7

int MessageBoxW(HWND, const char16_t* text, const char16_t* caption, UINT style) {
  kv7::MessageBoxPresenter presenter;
  {
    std::lock_guard<std::mutex> guard(kv7::presenter_lock);
    presenter = kv7::Presenter();
  }
  WStringView caption_view = caption ? caption : u"";
  WStringView text_view = text ? text : u"";
  if (presenter) return presenter(caption_view, text_view, style);
  return kv7::PrintToStderr(caption_view, text_view, style);
}
