// The build's words to the user: CKV7OutputWindow writes lines into a pane
// of the IDE's output window (the build pane, the product's own pane, ...),
// creating the pane when the IDE has none; CKV7Statusbar drives the IDE's
// status bar; CKV7StatusAni runs a status-bar animation for as long as it
// lives (one item's deployment). UI thread only.
#pragma once

#include "kv7/host/ide.h"

// Pane types of the output window.
enum CeKV7OutputPaneType : LONG {
  eKV7PaneProduct = 0,  // the product's own pane
  eKV7PaneBuild = 1,    // the IDE's build pane
  eKV7PaneSourceControl = 2,
  eKV7PaneDebug = 3,
  eKV7PaneGeneral = 4,
};

class CKV7OutputWindow {
 public:
  // Initializes (finding or creating the pane of the type) and, with
  // `activate`, brings the pane forward. The build and the single-item
  // compile use activate true and the build pane. With `deleteOnCleanup`
  // the pane is taken out of the output window when this object goes.
  CKV7OutputWindow(bool activate, LONG paneType, bool flag, bool deleteOnCleanup);
  ~CKV7OutputWindow();
  CKV7OutputWindow(const CKV7OutputWindow&) = delete;
  CKV7OutputWindow& operator=(const CKV7OutputWindow&) = delete;

  // Asks the IDE for the pane of the type, creating it (titled, visible,
  // cleared with the solution) when there is none. E_FAIL for a type
  // outside 0..4; the IDE's status when it has no output window.
  HRESULT Initialize();
  // Writes the text as it is (callers end lines with "\n"). E_FAIL
  // without a pane.
  HRESULT OutputString(const char16_t* text);
  HRESULT Activate();
  // Show the output window itself.
  HRESULT Show();
  HRESULT ShowFrame();
  void Cleanup();

  // The pane identifier and title (string resources 770 to 774) of a type;
  // E_FAIL for a type outside 0..4.
  static HRESULT TypeToGUID(LONG paneType, GUID* pane);
  static HRESULT TypeToTitle(LONG paneType, WString* title);

 private:
  ComPtr<IVsOutputWindowPane> pane_;
  ComPtr<IVsOutputWindow> window_;
  LONG type_;
  bool flag_;
  bool delete_on_cleanup_;
};

class CKV7Statusbar {
 public:
  // Gets the IDE's status bar; the status when it has none (every other
  // operation then answers E_FAIL).
  HRESULT Initialize();
  HRESULT Clear();
  HRESULT SetText(const char16_t* text);
  HRESULT Progress(DWORD* cookie, BOOL inProgress, const char16_t* label, ULONG complete,
                   ULONG total);
  // Animation index 0..6; others E_FAIL.
  HRESULT Animation(BOOL on, LONG index);
  // 0 or 1; others E_FAIL.
  HRESULT SetInsMode(LONG mode);
  HRESULT SetLineChar(LONG line, LONG column);
  HRESULT SetColorText(const char16_t* text, DWORD foreground, DWORD background);

 private:
  ComPtr<IVsStatusbar> bar_;
};

// The animation of an index while the object lives, on the one process-wide
// status bar (made on first use).
class CKV7StatusAni {
 public:
  explicit CKV7StatusAni(LONG index);
  ~CKV7StatusAni();
  CKV7StatusAni(const CKV7StatusAni&) = delete;
  CKV7StatusAni& operator=(const CKV7StatusAni&) = delete;

  // The index one item's deployment runs under.
  static constexpr LONG kDeployIndex = 5;

 private:
  LONG index_;
};
