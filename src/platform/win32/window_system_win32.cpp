#include "platform/win32/window_system_win32.h"

#include <cstring>

#include "common/program_identity.h"
#include "platform/error.h"
#include "platform/win32/handles.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

namespace {

constexpr const char* kClipboardSource = "Clipboard";
// Another program may hold the clipboard for a moment (a clipboard viewer, a
// remote-desktop client); give it about half a second before giving up.
constexpr int kClipboardAttempts = 10;
constexpr DWORD kClipboardRetryPause = 50;  // milliseconds
// A pass ends when the queue is empty; the bound only guards against a
// message that keeps posting itself.
constexpr int kMaxMessagesPerPass = 1000;

SystemError clipboard_error(const std::string& what) {
  if (GetLastError() == ERROR_SUCCESS)
    return SystemError(ERROR_ACCESS_DENIED, kClipboardSource, what);
  return last_error(kClipboardSource, what);
}

// The clipboard, open for as long as the owner lives.
class ScopedClipboard {
 public:
  ScopedClipboard() = default;
  ScopedClipboard(const ScopedClipboard&) = delete;
  ScopedClipboard& operator=(const ScopedClipboard&) = delete;
  ~ScopedClipboard() {
    if (open_) CloseClipboard();
  }

  bool acquire(HWND owner) {
    for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
      if (attempt > 0) Sleep(kClipboardRetryPause);
      if (OpenClipboard(owner)) {
        open_ = true;
        return true;
      }
    }
    return false;
  }

 private:
  bool open_ = false;
};

}  // namespace

void Win32WindowSystem::message_box(const std::string& text) {
  MessageBoxW(owner_, to_wide(text).c_str(), to_wide(kApplicationTitle).c_str(), MB_OK);
}

void Win32WindowSystem::pump_pending_messages() {
  MSG message;
  for (int handled = 0; handled < kMaxMessagesPerPass &&
                        PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
       ++handled) {
    if (message.message == WM_QUIT) {
      // Leave it for the message loop, which ends the program.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Win32WindowSystem::set_clipboard_text(const std::string& text) {
  if (owner_ == nullptr)
    throw SystemError(ERROR_INVALID_WINDOW_HANDLE, kClipboardSource,
                      "There is no window to own the clipboard");

  const std::wstring wide = to_wide(text);
  const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  // Freed here unless the clipboard takes it over.
  GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (memory.get() == nullptr)
    throw last_error(kClipboardSource, "No memory for the clipboard text");
  void* target = GlobalLock(memory.get());
  if (target == nullptr)
    throw last_error(kClipboardSource, "No memory for the clipboard text");
  std::memcpy(target, wide.c_str(), bytes);
  GlobalUnlock(memory.get());

  SetLastError(ERROR_SUCCESS);
  ScopedClipboard clipboard;
  if (!clipboard.acquire(owner_))
    throw clipboard_error("Another program is using the clipboard");
  if (!EmptyClipboard()) throw clipboard_error("The clipboard cannot be emptied");
  if (SetClipboardData(CF_UNICODETEXT, memory.get()) == nullptr)
    throw clipboard_error("The clipboard does not take the text");
  // The system owns the memory now.
  memory.release();
}

}  // namespace tarnwick::win32
