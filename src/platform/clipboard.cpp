#include "kv7/platform/clipboard.h"

#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "kv7/platform/wstring.h"

namespace {

struct Clipboard {
  std::mutex lock;
  std::map<WString, UINT> formats;  // keyed by the case-folded name
  UINT nextFormat = 0xC000;
  std::map<UINT, std::string> data;
  std::optional<std::thread::id> owner;  // the thread that has it open

  bool OpenedHere() const { return owner == std::this_thread::get_id(); }
};

Clipboard& TheClipboard() {
  static Clipboard clipboard;
  return clipboard;
}

}  // namespace

UINT RegisterClipboardFormatW(const char16_t* name) {
  if (name == nullptr || *name == u'\0') return 0;
  Clipboard& clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  auto [entry, added] = clipboard.formats.try_emplace(kv7::FoldCase(name), clipboard.nextFormat);
  if (added) ++clipboard.nextFormat;
  return entry->second;
}

BOOL OpenClipboard(HWND) {
  Clipboard& clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (clipboard.owner && !clipboard.OpenedHere()) return FALSE;
  clipboard.owner = std::this_thread::get_id();
  return TRUE;
}

BOOL CloseClipboard() {
  Clipboard& clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (!clipboard.OpenedHere()) return FALSE;
  clipboard.owner.reset();
  return TRUE;
}

BOOL EmptyClipboard() {
  Clipboard& clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (!clipboard.OpenedHere()) return FALSE;
  clipboard.data.clear();
  return TRUE;
}

BOOL SetClipboardData(UINT format, std::string bytes) {
  Clipboard& clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (!clipboard.OpenedHere()) return FALSE;
  clipboard.data[format] = std::move(bytes);
  return TRUE;
}

BOOL GetClipboardData(UINT format, std::string* bytes) {
  Clipboard& clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  if (!clipboard.OpenedHere()) return FALSE;
  auto found = clipboard.data.find(format);
  if (found == clipboard.data.end()) return FALSE;
  *bytes = found->second;
  return TRUE;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  Clipboard& clipboard = TheClipboard();
  std::lock_guard<std::mutex> guard(clipboard.lock);
  return clipboard.data.contains(format) ? TRUE : FALSE;
}
