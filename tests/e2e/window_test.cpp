// The window driven in-process: what cannot be seen from outside (the GDI
// fonts of the controls, the control adapters the logic writes through, the
// clipboard failure as the window system raises it) and the load sequence
// against substitutes, where a failure can be arranged.

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/win32/utf16.h"
#include "app/application_win32.h"
#include "platform/win32/window_system_win32.h"
#include "report/report_lines.h"
#include "report/system_files.h"
#include "window/window.h"
#include "substitutes/fake_platform.h"
#include "support/lines.h"
#include "support/window_reading.h"

namespace tarnwick {
namespace {

bool can_make_windows() {
  static const bool can = [] {
    SetProcessDPIAware();
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
  }();
  return can;
}

using testing::class_name;
using testing::screen_dpi;
using testing::window_text;

BOOL CALLBACK collect(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}

class WhatsnewWindowInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(can_make_windows()) << testing::kNoDisplay;
    fake_.kernel32.environment["PATH"] = "C:\\Suite;C:\\Windows;";
    open_window();
  }

  void TearDown() override { close_window(); }

  // The window looks for the files as it is made: a test that changes what
  // the search meets makes it again.
  void open_window() {
    close_window();
    window_ = WhatsnewWindow::create(GetModuleHandleW(nullptr), fake_.platform, window_system_);
    std::vector<HWND> children;
    EnumChildWindows(window_->handle(), collect, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
      const std::wstring kind = class_name(child);
      const std::wstring caption = window_text(child);
      if (_wcsnicmp(kind.c_str(), L"RichEdit", 8) == 0) report_ = child;
      else if (_wcsicmp(kind.c_str(), L"ListBox") == 0) list_ = child;
      else if (_wcsicmp(kind.c_str(), L"Static") == 0) details_ = child;
      else if (caption == L"Copy Text") copy_text_ = child;
      else if (caption == L"Done") done_ = child;
      else if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX) frame_ = child;
    }
  }

  void close_window() {
    window_.reset();
    // Destroying the window asks the thread to quit; this thread goes on.
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  LOGFONTW font_of(HWND control) const {
    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    EXPECT_NE(handle, nullptr);
    if (handle != nullptr) GetObjectW(handle, sizeof(font), &font);
    return font;
  }

  fake::FakePlatform fake_;
  win32::Win32WindowSystem window_system_;
  std::unique_ptr<WhatsnewWindow> window_;
  HWND frame_ = nullptr, report_ = nullptr, list_ = nullptr, copy_text_ = nullptr,
       done_ = nullptr, details_ = nullptr;
};

// --- Fonts --------------------------------------------------------------------

TEST_F(WhatsnewWindowInProcess, FontsHaveTheTablesFacesPointSizesAndWeights) {
  struct Expected {
    HWND control;
    const wchar_t* face;
    int tenths_of_point;
  };
  const Expected named[] = {
      {frame_, L"Small Fonts", 25},
      {copy_text_, L"Arial", 85},
      {done_, L"Arial", 85},
  };
  const int dpi = screen_dpi();
  for (const Expected& expected : named) {
    const LOGFONTW font = font_of(expected.control);
    EXPECT_STREQ(font.lfFaceName, expected.face);
    EXPECT_EQ(font.lfHeight, -MulDiv(expected.tenths_of_point, dpi, 720)) << font.lfFaceName;
    EXPECT_EQ(font.lfWeight, FW_BOLD) << font.lfFaceName;
    EXPECT_EQ(font.lfCharSet, ANSI_CHARSET) << font.lfFaceName;
    EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut) << font.lfFaceName;
  }
  // The report box's font shows in its character format (see below); the
  // list names no font and gets the dialog font, regular weight.
  EXPECT_EQ(font_of(list_).lfWeight, FW_NORMAL);
}

TEST_F(WhatsnewWindowInProcess, ReportTextShowsInBoldArialTenPoint) {
  RichTextBox(report_).set_text("System files\rsecond line");
  SendMessageW(report_, EM_SETSEL, 0, -1);
  CHARFORMAT2W format{};
  format.cbSize = sizeof(format);
  SendMessageW(report_, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  EXPECT_TRUE(format.dwMask & CFM_BOLD);
  EXPECT_TRUE(format.dwEffects & CFE_BOLD);
  EXPECT_EQ(format.yHeight, 200);  // twips: 10 pt
  EXPECT_STREQ(format.szFaceName, L"Arial");
  EXPECT_TRUE(SendMessageW(report_, EM_GETTEXTMODE, 0, 0) & TM_PLAINTEXT);
}

// --- The report box adapter --------------------------------------------------

TEST_F(WhatsnewWindowInProcess, ReportBoxGivesBackTheLoneCarriageReturnsItWasGiven) {
  const std::string report = "first\rsecond\r\rfourth\r";
  RichTextBox box(report_);
  box.set_text(report);
  EXPECT_EQ(box.text(), report);
  // Each CR is a line of its own on screen, the trailing one too.
  EXPECT_EQ(SendMessageW(report_, EM_GETLINECOUNT, 0, 0), 5);
}

TEST_F(WhatsnewWindowInProcess, ReportBoxAppendsAtItsEndWhereverTheCaretIs) {
  RichTextBox box(report_);
  box.set_text("header\r");  // leaves the caret at the start
  box.append("\rKTR DLL version 4.7");
  SendMessageW(report_, EM_SETSEL, 3, 5);  // a selection must not be replaced
  box.append("\r");
  box.append("\r\xCE\xA9mega.dll    Path:  C:\\Gr\xC3\xBC\xC3\x9F" "e\\\xCE\xA9mega.dll");
  EXPECT_EQ(box.text(), "header\r\rKTR DLL version 4.7\r\r\xCE\xA9mega.dll    Path:  "
                        "C:\\Gr\xC3\xBC\xC3\x9F" "e\\\xCE\xA9mega.dll");
  EXPECT_EQ(SendMessageW(report_, EM_GETLINECOUNT, 0, 0), 5);
}

TEST_F(WhatsnewWindowInProcess, ReportBoxReplacesItsWholeText) {
  RichTextBox box(report_);
  box.set_text("an old report\rwith two lines");
  box.set_text("new");
  EXPECT_EQ(box.text(), "new");
  box.set_text("");
  EXPECT_EQ(box.text(), "");
}

TEST_F(WhatsnewWindowInProcess, ReportBoxKeepsLongTextAndLettersBeyondAscii) {
  std::string report;
  for (int i = 0; i < 3000; ++i)
    report += "C:\\Programme\\Gr\xC3\xBC\xC3\x9F" "e\\\xCE\xA9mega\\library" + std::to_string(i) +
              ".dll\r";
  ASSERT_GT(report.size(), 64u * 1024u);
  RichTextBox box(report_);
  box.set_text(report);
  EXPECT_EQ(box.text(), report);
}

TEST_F(WhatsnewWindowInProcess, ReportBoxShowsItsStartAfterEachWrite) {
  std::string report;
  for (int i = 0; i < 200; ++i) report += "line " + std::to_string(i) + "\r";
  RichTextBox(report_).set_text(report);
  EXPECT_EQ(SendMessageW(report_, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(report_, EM_GETSEL, 0, 0), 0);
}

// --- The module list adapter ---------------------------------------------------

// Entries go in through the adapter and are read back by the list's own
// messages, and the other way round.
TEST_F(WhatsnewWindowInProcess, ModuleListKeepsEntriesInTheOrderAddedAndGivesThemBack) {
  Win32ListBox list(list_);
  for (const char* entry : {"C:\\B\\ZETA.DLL", "C:\\A\\ALPHA.DLL", "C:\\C\\MU.DLL"})
    list.add_item(entry);
  auto entry = [&](int index) {
    wchar_t text[64] = {};
    SendMessageW(list_, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return std::wstring(text);
  };
  ASSERT_EQ(SendMessageW(list_, LB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(entry(0), L"C:\\B\\ZETA.DLL");
  EXPECT_EQ(entry(1), L"C:\\A\\ALPHA.DLL");
  EXPECT_EQ(entry(2), L"C:\\C\\MU.DLL");
  list.clear();
  EXPECT_EQ(SendMessageW(list_, LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(list.count(), 0);

  for (const wchar_t* path : {L"C:\\GR\u00dc\u00dfE\\\u03a9MEGA.DLL", L""})
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
  ASSERT_EQ(list.count(), 2);
  EXPECT_EQ(list.item(0), "C:\\GR\xC3\x9C\xC3\x9F" "E\\\xCE\xA9MEGA.DLL");
  EXPECT_EQ(list.item(1), "");
  EXPECT_THROW(list.item(2), SystemError);
}

// --- Buttons and the load, against substitutes ----------------------------------

TEST_F(WhatsnewWindowInProcess, CopyTextHandsTheBoxTextAtTheClickToTheLogic) {
  RichTextBox(report_).set_text("typed by the user\rsecond");
  SendMessageW(copy_text_, BM_CLICK, 0, 0);
  EXPECT_EQ(fake_.window_system.clipboard, "typed by the user\r\nsecond");
}

TEST_F(WhatsnewWindowInProcess, DoneDestroysTheWindowAndEndsTheMessageLoopWithZero) {
  HWND window = window_->handle();
  SendMessageW(done_, BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindow(window));
  MSG quit{};
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 0u);
}

TEST_F(WhatsnewWindowInProcess, LoadFailureIsToldWhileHiddenAndThePartialReportIsShown) {
  // The search fails at the fourth table entry's first candidate.
  auto file_system = std::make_unique<fake::FileSystemObject>();
  file_system->failing_candidate = fake_.app.folder + "\\" + std::string(kSystemFileTable[3]);
  fake_.scripting.next = std::move(file_system);
  open_window();
  EXPECT_TRUE(fake_.window_system.messages.empty());  // told by the load event, not before
  window_->load();
  ASSERT_EQ(fake_.window_system.messages.size(), 1u);
  EXPECT_EQ(fake_.window_system.messages[0],
            "An error occurred while locating the file: "
                "The filename, directory name, or volume label syntax is incorrect.");
  EXPECT_FALSE(IsWindowVisible(window_->handle()));

  window_->show(SW_SHOWNORMAL);
  EXPECT_TRUE(IsWindowVisible(window_->handle()));
  const std::string report = RichTextBox(report_).text();
  EXPECT_NE(report.find(std::string(kSystemFileTable[2])), std::string::npos);
  EXPECT_EQ(report.find(std::string(kSystemFileTable[3])), std::string::npos);
  EXPECT_EQ(GetFocus(), done_);
}

// The module listing fails for real when the process-status library cannot
// be bound; the program loads that library from the system folder only, so
// the failure is arranged with a substitute.
TEST_F(WhatsnewWindowInProcess, ModuleListingFailureIsToldAndTheFileLinesStay) {
  fake_.psapi.add(fake_.kernel32, fake_.kernel32.own_id, {"C:\\Tools\\Pelko_Files.exe"});
  fake_.psapi.missing_entry_point = "EnumProcessModules";
  window_->load();
  ASSERT_EQ(fake_.window_system.messages.size(), 1u);
  EXPECT_EQ(fake_.window_system.messages[0],
            "An error occurred while locating the file: ProcessInfo");
  EXPECT_FALSE(IsWindowVisible(window_->handle()));

  window_->show(SW_SHOWNORMAL);
  EXPECT_TRUE(RichTextBox(report_).text().ends_with(
      file_not_found_line(std::string(kSystemFileTable.back()))));
  EXPECT_EQ(SendMessageW(list_, LB_GETCOUNT, 0, 0), 0);
}

TEST_F(WhatsnewWindowInProcess, LoadedReportIsShownFromItsTop) {
  std::vector<std::string> modules{"C:\\Tarnwick\\Pelko_Files.exe"};
  for (int i = 0; i < 300; ++i) modules.push_back("C:\\Suite\\m" + std::to_string(i) + ".dll");
  fake_.psapi.add(fake_.kernel32, fake_.kernel32.own_id, modules);
  window_->load();
  EXPECT_TRUE(RichTextBox(report_).text().ends_with("\rC:\\SUITE\\M299.DLL"));
  EXPECT_EQ(SendMessageW(report_, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(report_, EM_GETSEL, 0, 0), 0);
}

// --- The details line and its tooltip -------------------------------------------

struct TooltipSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK find_tooltip(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TooltipSearch*>(param);
  if (_wcsicmp(class_name(window).c_str(), TOOLTIPS_CLASSW) != 0 ||
      GetWindow(window, GW_OWNER) != search->owner)
    return TRUE;
  search->found = window;
  return FALSE;
}

// What the tooltip of `owner` holds for the tool `tool`; none without a tooltip.
std::optional<std::wstring> tooltip_text(HWND owner, HWND tool) {
  TooltipSearch search{owner, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), find_tooltip, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return std::nullopt;
  std::wstring text(4096, L'\0');
  TTTOOLINFOW tool_info{};
  tool_info.cbSize = TTTOOLINFOW_V2_SIZE;
  tool_info.hwnd = owner;
  tool_info.uId = reinterpret_cast<UINT_PTR>(tool);
  tool_info.lpszText = text.data();
  SendMessageW(search.found, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool_info));
  text.resize(wcslen(text.c_str()));
  return text;
}

// A line 300 pixels wide in the system font, on a window of its own.
TEST_F(WhatsnewWindowInProcess, DetailsTooltipHoldsWhatTheLineCannotShow) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 60, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  HWND line = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 0, 300,
                              20, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(line, nullptr);
  DetailsLine details;
  details.attach(GetModuleHandleW(nullptr), owner, line);
  // About a hundred and eighty characters: several hundred pixels in any font.
  const std::string cut =
      "zlib1.dll cannot be loaded. Error 126: Module not found. Missing: "
      "api-ms-win-crt-runtime-l1-1-0.dll, api-ms-win-crt-heap-l1-1-0.dll, "
      "vcruntime140.dll, msvcp140.dll.";
  const std::wstring cut_wide = win32::to_wide(cut);

  details.show("zlib1.dll loads.", "");
  EXPECT_EQ(window_text(line), L"zlib1.dll loads.");
  EXPECT_EQ(tooltip_text(owner, line), std::wstring()) << "a tip for a line shown whole";

  details.show(cut, "");
  EXPECT_EQ(window_text(line), cut_wide) << "the line holds its whole text";
  EXPECT_EQ(tooltip_text(owner, line), cut_wide);

  // A fuller text given beside the line: on lines of its own, after the
  // line's own text where that is cut.
  details.show("zlib1.dll loads.", "C:\\App\\zlib1.dll 1.0\nC:\\Tools\\zlib1.dll 3.0");
  EXPECT_EQ(tooltip_text(owner, line), L"C:\\App\\zlib1.dll 1.0\r\nC:\\Tools\\zlib1.dll 3.0");
  details.show(cut, "C:\\Tools\\zlib1.dll 3.0");
  EXPECT_EQ(tooltip_text(owner, line), cut_wide + L"\r\nC:\\Tools\\zlib1.dll 3.0");

  details.show("zlib1.dll loads.", "");
  EXPECT_EQ(tooltip_text(owner, line), std::wstring());
  DestroyWindow(owner);
}

// The window's own line follows the caret; the not-found line of a library
// is too long for it, so its tooltip holds it whole.
TEST_F(WhatsnewWindowInProcess, CaretOnALongLineGivesTheDetailsLineItsTooltip) {
  window_->load();
  const int last_file_line = 4 + static_cast<int>(kSystemFileTable.size()) - 1;
  const LRESULT at = SendMessageW(report_, EM_LINEINDEX, last_file_line, 0);
  ASSERT_GE(at, 0);
  SendMessageW(report_, EM_SETSEL, static_cast<WPARAM>(at), at);
  const std::wstring shown = window_text(details_);
  EXPECT_TRUE(shown.starts_with(win32::to_wide(std::string(kSystemFileTable.back())) + L" "))
      << win32::to_utf8(shown);
  EXPECT_GT(shown.size(), 100u);
  EXPECT_EQ(tooltip_text(window_->handle(), details_), shown);
}

// --- A change of resolution ------------------------------------------------------

RECT client_rect_of(HWND control, HWND window) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The window moves to the rectangle the system suggests and lays its table
// out again at the new resolution: at 72 DPI, 20 twips to the pixel, halves
// rounded up; then back at 96, 15 twips to the pixel.
TEST_F(WhatsnewWindowInProcess, ResolutionChangeMovesTheWindowAndScalesTheLayout) {
  HWND window = window_->handle();
  struct Expected {
    const char* name;
    HWND control;
    int left, top, width, height;
  };
  auto check = [&](const Expected& e) {
    const RECT rect = client_rect_of(e.control, window);
    EXPECT_EQ(rect.left, e.left) << e.name;
    EXPECT_EQ(rect.top, e.top) << e.name;
    EXPECT_EQ(rect.right - rect.left, e.width) << e.name;
    EXPECT_EQ(rect.bottom - rect.top, e.height) << e.name;
  };
  auto client_size = [&] {
    RECT client{};
    GetClientRect(window, &client);
    return std::pair{client.right, client.bottom};
  };

  RECT suggested{100, 50, 800, 750};
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(72, 72), reinterpret_cast<LPARAM>(&suggested));
  RECT placed{};
  GetWindowRect(window, &placed);
  EXPECT_EQ(placed.left, 100);
  EXPECT_EQ(placed.top, 50);
  // The client area is not checked here: the system keeps drawing the
  // window's frame at the screen's real resolution, which this message does
  // not change.
  for (const Expected& e : {
           Expected{"frame", frame_, 0, 0, 666, 644},             // 13320 x 12870
           Expected{"report", report_, 14, 14, 637, 594},         // 270, 270, 12740 x 11870
           Expected{"list", list_, 20, 618, 224, 12},             // 390, 12360, 4485 x 240
           Expected{"details", details_, 250, 617, 232, 14},      // 4995, 12345, 4635 x 285
           Expected{"Copy Text", copy_text_, 488, 617, 78, 16},   // 9750, 12330, 1550 x 315
           Expected{"Done", done_, 587, 617, 55, 17}})            // 11730, 12330, 1095 x 330
    check(e);
  EXPECT_EQ(font_of(done_).lfHeight, -9);  // 8.5 pt

  suggested = RECT{30, 40, 930, 940};
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
  GetWindowRect(window, &placed);
  EXPECT_EQ(placed.left, 30);
  EXPECT_EQ(placed.top, 40);
  EXPECT_EQ(client_size(), (std::pair<LONG, LONG>{888, 861}));
  check({"details", details_, 333, 823, 309, 19});
  check({"Done", done_, 782, 822, 73, 22});
  EXPECT_EQ(font_of(done_).lfHeight, -11);
}

// --- The window system -----------------------------------------------------------

class ClipboardHolder {
 public:
  ClipboardHolder() {
    thread_ = std::thread([this] {
      opened_ = OpenClipboard(nullptr) != FALSE;
      SetEvent(holding_);
      WaitForSingleObject(release_, INFINITE);
      if (opened_) CloseClipboard();
    });
    WaitForSingleObject(holding_, INFINITE);
  }
  ~ClipboardHolder() {
    release();
    CloseHandle(holding_);
    CloseHandle(release_);
  }
  void release() {
    if (!thread_.joinable()) return;
    SetEvent(release_);
    thread_.join();
  }
  bool opened() const { return opened_; }

 private:
  HANDLE holding_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool opened_ = false;
  std::thread thread_;
};

TEST_F(WhatsnewWindowInProcess, ClipboardHeldElsewhereRaisesSayingWhyAndLaterWorks) {
  ClipboardHolder holder;
  ASSERT_TRUE(holder.opened());
  try {
    window_system_.set_clipboard_text("report");
    ADD_FAILURE() << "no failure raised";
  } catch (const SystemError& error) {
    EXPECT_NE(error.description().find("clipboard"), std::string::npos) << error.description();
  }
  holder.release();

  window_system_.set_clipboard_text("report\r\nline \xE2\x82\xAC");
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_STREQ(static_cast<const wchar_t*>(GlobalLock(data)), L"report\r\nline \u20AC");
  GlobalUnlock(data);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
  CloseClipboard();
}

TEST(Win32WindowSystem, ClipboardWithoutAnOwningWindowRaises) {
  win32::Win32WindowSystem window_system;
  EXPECT_THROW(window_system.set_clipboard_text("report"), SystemError);
}

TEST(Win32Application, NamesTheExecutableWithoutFolderOrExtension) {
  Win32Application app;
  EXPECT_EQ(app.exe_name(), "e2e_window_tests");
}

// The window's outer size when its client area in twips is drawn at `scale`
// on a screen of `dpi`.
SIZE outer_size(UINT scale, UINT dpi) {
  RECT rect{0, 0, MulDiv(kClientWidth, scale, 1440), MulDiv(kClientHeight, scale, 1440)};
  using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = reinterpret_cast<AdjustForDpi>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  if (adjust == nullptr) return {rect.right, rect.bottom};
  adjust(&rect, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, FALSE, 0, dpi);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

TEST(WindowFit, ScreenThatHoldsTheWindowKeepsItsOwnResolution) {
  EXPECT_EQ(fitting_dpi(96, RECT{0, 0, 1280, 1024}), 96u);
  EXPECT_EQ(fitting_dpi(144, RECT{0, 0, 2560, 1400}), 144u);
}

TEST(WindowFit, ScreenTooSmallGetsTheLargestLayoutThatFits) {
  struct Case {
    UINT dpi;
    RECT work;
  };
  // A 1366 x 768 laptop; a 1080-line screen at 125 % and 150 %; a work area
  // that starts below a taskbar at the top.
  for (const Case& c : {Case{96, {0, 0, 1366, 728}}, Case{120, {0, 0, 1920, 1040}},
                        Case{144, {0, 0, 1920, 1040}}, Case{96, {0, 40, 1366, 768}}}) {
    const UINT scale = fitting_dpi(c.dpi, c.work);
    EXPECT_LT(scale, c.dpi);
    const SIZE fits = outer_size(scale, c.dpi);
    const SIZE larger = outer_size(scale + 1, c.dpi);
    EXPECT_LE(fits.cx, c.work.right - c.work.left);
    EXPECT_LE(fits.cy, c.work.bottom - c.work.top);
    EXPECT_TRUE(larger.cx > c.work.right - c.work.left ||
                larger.cy > c.work.bottom - c.work.top)
        << "a larger layout would still fit at " << scale + 1;
  }
}

}  // namespace
}  // namespace tarnwick
