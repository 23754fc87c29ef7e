// Waits for the report window, then on request clicks "Copy Text", prints the
// clipboard's text and clicks "Done". Used by ./run where no one can click.
//   capture_report wait        - returns once the window is shown (exit 1 on timeout)
//   capture_report caret TEXT  - puts the caret on the first report line holding
//                                TEXT, so that the details line tells about it
//   capture_report copy        - copies, prints the report as UTF-8, ends the program

#include <windows.h>

#include <cstdio>
#include <cwchar>
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

BOOL CALLBACK match_rich_edit(HWND child, LPARAM param) {
  wchar_t name[64] = {};
  GetClassNameW(child, name, 64);
  if (_wcsnicmp(name, L"RichEdit", 8) != 0) return TRUE;
  *reinterpret_cast<HWND*>(param) = child;
  return FALSE;
}

// The first line of the report box that holds `text`, as the box counts its
// lines; -1 when none does. WM_GETTEXT ends each of them with CR LF.
LRESULT line_holding(HWND box, const std::wstring& text) {
  std::wstring report(static_cast<std::size_t>(SendMessageW(box, WM_GETTEXTLENGTH, 0, 0)) + 1,
                      L'\0');
  report.resize(static_cast<std::size_t>(
      SendMessageW(box, WM_GETTEXT, report.size(), reinterpret_cast<LPARAM>(report.data()))));
  LRESULT line = 0;
  for (std::size_t start = 0; start <= report.size(); ++line) {
    std::size_t end = report.find(L"\r\n", start);
    if (end == std::wstring::npos) end = report.size();
    if (report.substr(start, end - start).find(text) != std::wstring::npos) return line;
    start = end + 2;
  }
  return -1;
}

bool put_caret_on(HWND window, const std::wstring& text) {
  HWND box = nullptr;
  EnumChildWindows(window, match_rich_edit, reinterpret_cast<LPARAM>(&box));
  const LRESULT line = box != nullptr ? line_holding(box, text) : -1;
  if (line < 0) return false;
  const LRESULT at = SendMessageW(box, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
  SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(at), at);
  SendMessageW(box, EM_SCROLLCARET, 0, 0);
  return true;
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
  if (mode == L"caret") {
    if (argc > 2 && put_caret_on(window, argv[2])) return 0;
    std::fputs("No report line holds that text.\n", stderr);
    return 1;
  }

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
