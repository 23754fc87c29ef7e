// The window driven in-process: what cannot be seen from outside (the GDI
// fonts of the controls, the control adapters the logic writes through, the
// clipboard failure as the window system raises it) and the load sequence
// against substitutes, where a failure can be arranged.

#include <windows.h>
#include <richedit.h>

#include <memory>
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
       done_ = nullptr;
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
  window_->report_box().set_text("System files\rsecond line");
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
  window_->report_box().set_text(report);
  EXPECT_EQ(window_->report_box().text(), report);
  // Each CR is a line of its own on screen, the trailing one too.
  EXPECT_EQ(SendMessageW(report_, EM_GETLINECOUNT, 0, 0), 5);
}

TEST_F(WhatsnewWindowInProcess, ReportBoxAppendsAtItsEndWhereverTheCaretIs) {
  TextBox& box = window_->report_box();
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
  window_->report_box().set_text("an old report\rwith two lines");
  window_->report_box().set_text("new");
  EXPECT_EQ(window_->report_box().text(), "new");
  window_->report_box().set_text("");
  EXPECT_EQ(window_->report_box().text(), "");
}

TEST_F(WhatsnewWindowInProcess, ReportBoxKeepsLongTextAndLettersBeyondAscii) {
  std::string report;
  for (int i = 0; i < 3000; ++i)
    report += "C:\\Programme\\Gr\xC3\xBC\xC3\x9F" "e\\\xCE\xA9mega\\library" + std::to_string(i) +
              ".dll\r";
  ASSERT_GT(report.size(), 64u * 1024u);
  window_->report_box().set_text(report);
  EXPECT_EQ(window_->report_box().text(), report);
}

TEST_F(WhatsnewWindowInProcess, ReportBoxShowsItsStartAfterEachWrite) {
  std::string report;
  for (int i = 0; i < 200; ++i) report += "line " + std::to_string(i) + "\r";
  window_->report_box().set_text(report);
  EXPECT_EQ(SendMessageW(report_, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(report_, EM_GETSEL, 0, 0), 0);
}

// --- The module list adapter ---------------------------------------------------

TEST_F(WhatsnewWindowInProcess, ModuleListKeepsEntriesInTheOrderAdded) {
  ListBox& list = window_->module_list();
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
}

// --- Buttons and the load, against substitutes ----------------------------------

TEST_F(WhatsnewWindowInProcess, CopyTextHandsTheBoxTextAtTheClickToTheLogic) {
  window_->report_box().set_text("typed by the user\rsecond");
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
  const std::string report = window_->report_box().text();
  EXPECT_NE(report.find(std::string(kSystemFileTable[2])), std::string::npos);
  EXPECT_EQ(report.find(std::string(kSystemFileTable[3])), std::string::npos);
  EXPECT_EQ(GetFocus(), done_);
}

// The module listing fails for real when the process-status library cannot
// be bound; the program loads that library from the system folder only, so
// the failure is arranged with a substitute.
TEST_F(WhatsnewWindowInProcess, ModuleListingFailureIsToldAndTheFileLinesStay) {
  fake_.psapi.missing_entry_point = "EnumProcesses";
  window_->load();
  ASSERT_EQ(fake_.window_system.messages.size(), 1u);
  EXPECT_EQ(fake_.window_system.messages[0],
            "An error occurred while locating the file: ProcessInfo");
  EXPECT_FALSE(IsWindowVisible(window_->handle()));

  window_->show(SW_SHOWNORMAL);
  EXPECT_TRUE(window_->report_box().text().ends_with(
      file_not_found_line(std::string(kSystemFileTable.back()))));
  EXPECT_EQ(SendMessageW(list_, LB_GETCOUNT, 0, 0), 0);
}

TEST_F(WhatsnewWindowInProcess, LoadedReportIsShownFromItsTop) {
  std::vector<std::string> modules{"C:\\Tarnwick\\Pelko_Files.exe"};
  for (int i = 0; i < 300; ++i) modules.push_back("C:\\Suite\\m" + std::to_string(i) + ".dll");
  fake_.psapi.add(fake_.kernel32, fake_.kernel32.own_id, modules);
  window_->load();
  EXPECT_TRUE(window_->report_box().text().ends_with("\rC:\\SUITE\\M299.DLL"));
  EXPECT_EQ(SendMessageW(report_, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  EXPECT_EQ(SendMessageW(report_, EM_GETSEL, 0, 0), 0);
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
