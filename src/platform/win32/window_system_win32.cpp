#include "platform/win32/window_system_win32.h"

#include <cstring>
#include <string_view>

#include "app/version.h"
#include "platform/error.h"
#include "platform/win32/handles.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/text.h"

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

// The version record's text form, derived from the numbers, so the two
// definitions in version.h cannot drift apart unnoticed.
constexpr bool version_text_matches_numbers() {
  constexpr std::string_view text = TARNWICK_VERSION_TEXT;
  constexpr int numbers[] = {TARNWICK_VERSION_MAJOR, TARNWICK_VERSION_MINOR,
                             TARNWICK_VERSION_REVISION};
  constexpr int widths[] = {1, 2, 4};
  std::size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
    int value = 0;
    int digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      value = value * 10 + (text[at++] - '0');
      ++digits;
    }
    if (value != numbers[part] || digits < widths[part]) return false;
  }
  return at == text.size();
}
static_assert(version_text_matches_numbers(),
              "TARNWICK_VERSION_TEXT must spell the version numbers");

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

std::wstring module_file_name() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0)
      throw last_error("Application", "The program's file name cannot be read");
    if (length < size) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

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

std::string Win32Application::exe_name() {
  const std::wstring file = module_file_name();
  std::wstring name = file.substr(file.find_last_of(L"\\/") + 1);
  const std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return to_utf8(name);
}

std::string Win32Application::path() {
  const std::wstring file = module_file_name();
  const std::size_t slash = file.find_last_of(L"\\/");
  std::wstring folder = slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
  // A drive root keeps its backslash: "C:\", not "C:".
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return to_utf8(folder);
}

AppVersion Win32Application::version() {
  return {TARNWICK_VERSION_MAJOR, TARNWICK_VERSION_MINOR, TARNWICK_VERSION_REVISION};
}

}  // namespace tarnwick::win32
