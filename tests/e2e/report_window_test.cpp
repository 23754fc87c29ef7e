// The report window as a user meets it: when it opens, what the report box
// holds and where the controls sit. (The notice that may come up while the
// report is built is one of the hostile-machine suite's inputs.)

#include <richedit.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "driver.h"
#include "report/system_files.h"
#include "window/layout.h"

namespace tarnwick::e2e {
namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kHeaderStart = L"System files for Pelko_Files Version 1.0.13 Date: ";
constexpr std::size_t kFirstFileLine = 4;  // header, empty, component line, empty
constexpr std::size_t kTableSize = kSystemFileTable.size();
constexpr std::size_t kModuleHeading = kFirstFileLine + kTableSize + 1;

RECT client_rect_of(HWND control, HWND window) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::wstring table_name(std::size_t index) { return to_wide(kSystemFileTable.at(index)); }

std::wstring system_folder() {
  wchar_t folder[MAX_PATH + 1] = {};
  GetSystemDirectoryW(folder, MAX_PATH + 1);
  return folder;
}

std::wstring windows_folder() {
  wchar_t folder[MAX_PATH + 1] = {};
  GetWindowsDirectoryW(folder, MAX_PATH + 1);
  return folder;
}

std::wstring today() {
  wchar_t date[128] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 128);
  return date;
}

bool is_upper_case(const std::wstring& text) {
  return std::none_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'a' && c <= L'z'; });
}

std::wstring date_of(const SYSTEMTIME& time) {
  wchar_t date[128] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 128);
  return date;
}

// A table name that neither the system nor the Windows folder holds, so the
// program folder is the only place it can be found and loaded from; the
// table's size when every name exists there.
std::size_t entry_found_in_the_program_folder_only() {
  for (std::size_t i = 1; i < kTableSize; ++i) {
    const std::wstring name = table_name(i);
    if (!fs::exists(fs::path(system_folder()) / name) &&
        !fs::exists(fs::path(windows_folder()) / name))
      return i;
  }
  return kTableSize;
}

// One start of the program serves every check of the usual layout: the
// component library on PATH, and a library without a version record in the
// program's folder under a table name.
class ReportWindow : public SharedProgramTest {
 public:
  static void SetUpTestSuite() {
    start_shared([](Layout& layout) {
      const fs::path library = fixture_file(L"fixture_noversion.dll");
      const std::size_t planted = entry_found_in_the_program_folder_only();
      if (!library.empty() && fs::exists(library) && planted < kTableSize)
        fs::copy_file(library, layout.program_folder / table_name(planted));
    });
  }

 protected:
  static std::vector<std::wstring> report_lines() {
    return split(report_text(program(), controls().report), L'\r');
  }
};

TEST_F(ReportWindow, OpensHoldingTheFinishedReport) {
  // Read the moment the window was seen: the load had already ended.
  const std::vector<std::wstring> lines = split(report_at_first_sight(), L'\r');
  ASSERT_GT(lines.size(), kModuleHeading);
  EXPECT_EQ(lines[kModuleHeading], L"Program Modules for Pelko_Files");
}

TEST_F(ReportWindow, HeaderNamesTheProgramItsVersionAndTheDate) {
  const std::wstring day_before = date_of(started_at());
  const std::wstring day_after = today();
  const std::vector<std::wstring> lines = report_lines();
  ASSERT_GT(lines.size(), 1u);
  ASSERT_TRUE(lines[0].starts_with(kHeaderStart)) << to_utf8(lines[0]);
  const std::wstring date = lines[0].substr(std::wcslen(kHeaderStart));
  EXPECT_TRUE(date.starts_with(day_before + L" ") || date.starts_with(day_after + L" ") ||
              date == day_before || date == day_after)
      << to_utf8(date);
  EXPECT_EQ(lines[1], L"");
}

TEST_F(ReportWindow, ComponentLineGivesTheVersionTheLibraryReports) {
  const fs::path component = fixture_file(L"KTR_Intel_Win32.dll");
  if (component.empty() || !fs::exists(component))
    GTEST_SKIP() << "the stand-in component library is not built";
  // Asked here, in the driver, so that the expected line does not come from
  // the program itself.
  HMODULE library = LoadLibraryW(component.c_str());
  ASSERT_NE(library, nullptr);
  using Query = void(WINAPI*)(std::int32_t*, std::int32_t*, std::int32_t*);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(library, "KTR_DLL_VERSION")));
  ASSERT_NE(query, nullptr);
  std::int32_t bytes = 0, major = 0, minor = 0;
  query(&bytes, &major, &minor);
  FreeLibrary(library);
  ASSERT_GE(bytes, 1);

  const std::vector<std::wstring> lines = report_lines();
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[2],
            L"KTR DLL version " + std::to_wstring(major) + L"." + std::to_wstring(minor));
  EXPECT_EQ(lines[3], L"");
}

TEST_F(ReportWindow, LibraryInTheProgramFolderIsReportedWithThatPath) {
  const fs::path library = fixture_file(L"fixture_noversion.dll");
  if (library.empty() || !fs::exists(library))
    GTEST_SKIP() << "the fixture libraries are not built";
  const std::size_t planted = entry_found_in_the_program_folder_only();
  ASSERT_LT(planted, kTableSize) << "every table name exists in the system folders";
  const std::wstring name = table_name(planted);

  const std::vector<std::wstring> lines = report_lines();
  ASSERT_GT(lines.size(), kFirstFileLine + planted);
  EXPECT_EQ(lines[kFirstFileLine + planted],
            name + L"    Path:  " + layout().program_folder.wstring() + L"\\" + name +
                L" Version:  N/A DLL can be loaded");
}

TEST_F(ReportWindow, EndsWithTheProgramsModulesAsTheListHoldsThem) {
  const std::vector<std::wstring> lines = report_lines();
  ASSERT_GT(lines.size(), kModuleHeading + 2);
  EXPECT_EQ(lines[kModuleHeading - 1], L"");
  EXPECT_EQ(lines[kModuleHeading], L"Program Modules for Pelko_Files");
  EXPECT_EQ(lines[kModuleHeading + 1], L"");
  const std::vector<std::wstring> modules(lines.begin() + kModuleHeading + 2, lines.end());
  for (const std::wstring& module : modules) {
    EXPECT_TRUE(module.ends_with(L".DLL")) << to_utf8(module);
    EXPECT_TRUE(is_upper_case(module)) << to_utf8(module);
  }
  EXPECT_TRUE(std::any_of(modules.begin(), modules.end(),
                          [](const std::wstring& m) { return m.ends_with(L"\\KERNEL32.DLL"); }));

  // The list box carried them into the report, in the same order.
  const LRESULT count = SendMessageW(controls().list, LB_GETCOUNT, 0, 0);
  ASSERT_EQ(count, static_cast<LRESULT>(modules.size()));
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t entry[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(controls().list, LB_GETTEXT, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(entry), SMTO_ABORTIFHUNG, 10000, &length);
    EXPECT_EQ(std::wstring(entry), modules[static_cast<std::size_t>(i)]);
  }
}

TEST_F(ReportWindow, ShowsEveryCarriageReturnAsALineBreak) {
  const std::wstring text = report_text(program(), controls().report);
  ASSERT_NE(text.find(L'\r'), std::wstring::npos);
  EXPECT_EQ(text.find(L'\n'), std::wstring::npos) << "the box holds line feeds";
  for (std::size_t at = text.find(L'\r'); at != std::wstring::npos;
       at = text.find(L'\r', at + 1)) {
    const LPARAM next = static_cast<LPARAM>(at + 1);
    const LRESULT line = SendMessageW(controls().report, EM_EXLINEFROMCHAR, 0, next);
    EXPECT_EQ(SendMessageW(controls().report, EM_LINEINDEX, static_cast<WPARAM>(line), 0), next)
        << "no line starts after the CR at " << at;
  }
}

TEST_F(ReportWindow, ScrollsSoThatTheLastLinesCanBeReached) {
  EXPECT_EQ(SendMessageW(controls().report, EM_GETFIRSTVISIBLELINE, 0, 0), 0)
      << "the report opens at its start";
  SendMessageW(controls().report, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_GT(SendMessageW(controls().report, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  EXPECT_NE(GetWindowLongW(controls().report, GWL_STYLE) & WS_VSCROLL, 0);
  SendMessageW(controls().report, WM_VSCROLL, SB_TOP, 0);
}

TEST_F(ReportWindow, ReportBoxStaysEditable) {
  EXPECT_EQ(GetWindowLongW(controls().report, GWL_STYLE) & ES_READONLY, 0);
}

// Focus is read, never moved, by the other checks of this layout.
TEST_F(ReportWindow, FocusStartsOnDone) {
  EXPECT_TRUE(wait_until([] { return focused_control(program()) == controls().done; }))
      << "focus is elsewhere";
}

using ReportWindowWithoutComponent = ProgramTest;

TEST_F(ReportWindowWithoutComponent, ComponentLineSaysNotFound) {
  fs::remove(layout_.path_folder / L"KTR_Intel_Win32.dll");
  start();
  ASSERT_NE(window(), nullptr);
  const std::vector<std::wstring> lines = split(report_text(*program_, controls_.report), L'\r');
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[2], L"KTR DLL version not found.");
}

// --- Layout ------------------------------------------------------------------

// Which of the controls the driver finds each row of the window's layout
// table describes.
constexpr HWND Controls::*kFoundAs[kControlCount] = {
    &Controls::frame, &Controls::report, &Controls::list,
    &Controls::copy_text, &Controls::done, &Controls::details};
static_assert(kFrame == 0 && kReport == 1 && kList == 2 && kCopyText == 3 && kDone == 4 &&
              kDetails == 5);

TEST_F(ReportWindow, HasExactlyTheTablesControlsAllShown) {
  EXPECT_EQ(controls().all.size(), kControlCount);
  for (std::size_t i = 0; i < kControlCount; ++i) {
    const ControlLayout& row = kControls[i];
    HWND control = controls().*kFoundAs[i];
    ASSERT_NE(control, nullptr) << to_utf8(row.name) << " is missing";
    EXPECT_TRUE(IsWindowVisible(control)) << to_utf8(row.name);
    if (row.kind == ControlKind::frame || row.kind == ControlKind::push_button) {
      EXPECT_EQ(window_text(control), row.text) << to_utf8(row.name);
    }
  }
}

// Only the report, the module list and the buttons take the focus: the
// frame and the details line are no tab stops.
TEST_F(ReportWindow, DetailsLineAndFrameAreNoTabStops) {
  for (HWND control : {controls().frame, controls().details})
    EXPECT_EQ(GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP, 0) << to_utf8(class_name(control));
  for (HWND control : {controls().report, controls().list, controls().copy_text, controls().done})
    EXPECT_NE(GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP, 0) << to_utf8(class_name(control));
}

// In the window's client area at 96 DPI (15 twips to the pixel, halves
// rounded up): the frame fills the top of the client area, the report box
// sits 270 twips in, and the bottom strip holds, left to right, the module
// list, the details line in the free space, "Copy Text" and "Done".
TEST_F(ReportWindow, ControlsSitAtTheirPixelsAt96Dpi) {
  ASSERT_EQ(screen_dpi(), 96) << "these pixels are worked out for 96 DPI, the tests' screen";
  struct Expected {
    const char* name;
    HWND Controls::*control;
    int left, top, width, height;
  };
  const Expected expected[] = {
      {"frame", &Controls::frame, 0, 0, 888, 858},            // 13320 x 12870
      {"report", &Controls::report, 18, 18, 849, 791},        // 270, 270, 12740 x 11870
      {"list", &Controls::list, 26, 824, 299, 16},            // 390, 12360, 4485 x 240
      {"details", &Controls::details, 333, 823, 309, 19},     // 4995, 12345, 4635 x 285
      {"Copy Text", &Controls::copy_text, 650, 822, 103, 21},  // 9750, 12330, 1550 x 315
      {"Done", &Controls::done, 782, 822, 73, 22},            // 11730, 12330, 1095 x 330
  };
  for (const Expected& e : expected) {
    HWND control = controls().*e.control;
    ASSERT_NE(control, nullptr) << e.name;
    const RECT rect = client_rect_of(control, window());
    EXPECT_EQ(rect.left, e.left) << e.name;
    EXPECT_EQ(rect.top, e.top) << e.name;
    EXPECT_EQ(rect.right - rect.left, e.width) << e.name;
    EXPECT_EQ(rect.bottom - rect.top, e.height) << e.name;
  }
}

// 13320 x 12910 twips, its corner at 1140, 1520 on the screen.
TEST_F(ReportWindow, ClientAreaHasTheTablesSizeAndPlace) {
  ASSERT_EQ(screen_dpi(), 96) << "these pixels are worked out for 96 DPI, the tests' screen";
  RECT client{};
  GetClientRect(window(), &client);
  EXPECT_EQ(client.right, 888);
  EXPECT_EQ(client.bottom, 861);

  POINT origin{0, 0};
  ClientToScreen(window(), &origin);
  RECT frame{};
  GetWindowRect(window(), &frame);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const POINT wanted{76, 101};
  const LONG left = wanted.x - (origin.x - frame.left);
  const LONG top = wanted.y - (origin.y - frame.top);
  const bool fits = left >= work.left && top >= work.top &&
                    left + (frame.right - frame.left) <= work.right &&
                    top + (frame.bottom - frame.top) <= work.bottom;
  if (fits) {
    EXPECT_EQ(origin.x, wanted.x);
    EXPECT_EQ(origin.y, wanted.y);
  } else {
    EXPECT_GE(frame.left, work.left);
    EXPECT_GE(frame.top, work.top);
  }
}

TEST_F(ReportWindow, WindowHasAFixedSizeAndNothingMovesWhenItChanges) {
  const LONG style = GetWindowLongW(window(), GWL_STYLE);
  EXPECT_EQ(style & WS_THICKFRAME, 0) << "resizable border";
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0) << "maximise box";
  EXPECT_NE(style & WS_SYSMENU, 0) << "no close box";

  std::vector<RECT> before;
  for (HWND control : controls().all) before.push_back(client_rect_of(control, window()));
  RECT frame{};
  GetWindowRect(window(), &frame);
  SetWindowPos(window(), nullptr, 0, 0, frame.right - frame.left + 120,
               frame.bottom - frame.top + 80, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  std::vector<RECT> after;
  for (HWND control : controls().all) after.push_back(client_rect_of(control, window()));
  // The other checks of this layout read the window at its own size.
  SetWindowPos(window(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (std::size_t i = 0; i < after.size(); ++i)
    EXPECT_TRUE(EqualRect(&after[i], &before[i])) << "control " << i << " moved";
}

}  // namespace
}  // namespace tarnwick::e2e
