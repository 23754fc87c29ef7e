// Waits for the report window, then on request clicks "Copy Text", prints the
// clipboard's text and clicks "Done". Used by ./run where no one can click.
//   capture_report wait   - returns once the window is shown (exit 1 on timeout)
//   capture_report copy   - copies, prints the report as UTF-8, ends the program

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/program_identity.h"
#include "platform/win32/utf16.h"

namespace {

constexpr const wchar_t* kWindowTitle = L"" TARNWICK_WINDOW_TITLE;
constexpr int kWaitSteps = 600;  // 60 s in 100 ms steps

HWND find_report_window() {
  for (int i = 0; i < kWaitSteps; ++i) {
    HWND window = FindWindowW(nullptr, kWindowTitle);
    if (window != nullptr && IsWindowVisible(window)) return window;
    Sleep(100);
  }
  return nullptr;
}

struct ButtonSearch {
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK match_caption(HWND child, LPARAM param) {
  auto* search = reinterpret_cast<ButtonSearch*>(param);
  wchar_t text[64] = {};
  GetWindowTextW(child, text, 64);
  if (lstrcmpW(text, search->caption) != 0) return TRUE;
  search->found = child;
  return FALSE;
}

// Buttons may sit inside the frame, so search every descendant.
HWND find_button(HWND window, const wchar_t* caption) {
  ButtonSearch search{caption, nullptr};
  EnumChildWindows(window, match_caption, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring clipboard_text() {
  std::wstring text;
  for (int i = 0; i < 50 && !OpenClipboard(nullptr); ++i) Sleep(20);
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

void print_utf8(const std::wstring& text) {
  const std::string utf8 = tarnwick::win32::to_utf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"wait";
  HWND window = find_report_window();
  if (window == nullptr) {
    std::fputs("The report window did not appear.\n", stderr);
    return 1;
  }
  if (mode == L"wait") return 0;

  HWND copy = find_button(window, L"Copy Text");
  HWND done = find_button(window, L"Done");
  if (copy == nullptr || done == nullptr) {
    std::fputs("The window's buttons were not found.\n", stderr);
    return 1;
  }
  SendMessageW(copy, BM_CLICK, 0, 0);
  print_utf8(clipboard_text());
  PostMessageW(done, BM_CLICK, 0, 0);
  return 0;
}
