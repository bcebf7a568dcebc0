// Message boxes. Without a display a message box is a record of what was
// shown: the process-wide presenter receives caption, text and style and
// answers with a button. The default presenter prints "caption: text" to
// stderr and answers with the box's default button; the host installs its
// own presenter (scripted answers, a record for tests).
#pragma once

#include <functional>

#include "kv7/platform/types.h"
#include "kv7/platform/wstring.h"

using HWND = void*;

// Styles: buttons in the low nibble, icon in the next, default button above.
inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONEXCLAMATION = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr UINT MB_DEFBUTTON2 = 0x100;
inline constexpr UINT MB_DEFBUTTON3 = 0x200;

// Answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Shows a message box; returns the button chosen.
int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT style);

namespace kv7 {

using MessageBoxPresenter =
    std::function<int(WStringView caption, WStringView text, UINT style)>;

// Installs the presenter of every message box of the process and returns
// the previous one; an empty presenter restores the default.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

// The button a box of this style answers with when nobody chooses.
int DefaultMessageBoxButton(UINT style);

}  // namespace kv7
