#pragma once

// The test driver's view of Pelko_Files.exe: start it in folders of the test's
// choosing, find its window and message boxes, read its controls, press its
// buttons and keys, read the clipboard, and see how it ends. Everything here
// works from outside the program's process, as a user would.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "common/program_identity.h"
#include "platform/win32/handles.h"
#include "platform/win32/utf16.h"
#include "support/build_paths.h"
#include "support/lines.h"
#include "support/temp_folder.h"
#include "support/window_reading.h"

namespace tarnwick::e2e {

constexpr const wchar_t* kWindowTitle = L"" TARNWICK_WINDOW_TITLE;
constexpr const wchar_t* kApplicationTitle = L"" TARNWICK_APPLICATION_TITLE;
// How long the driver waits for the program to do something before the test
// fails. Generous: a cold Wine start can take seconds.
constexpr std::chrono::milliseconds kPatience{30000};

// The built program, as CMake told the driver.
std::filesystem::path program_file();
using testing::fixture_file;
using testing::native_path;

// Whether windows can be made at all; without a display (Wine outside an X
// server) every window test fails with kNoDisplay.
bool display_available();
using testing::kNoDisplay;

using win32::ScopedHandle;

using testing::TempFolder;

// Where and how the program is started.
struct Setting {
  std::filesystem::path program_folder;  // a copy of Pelko_Files.exe goes here
  std::filesystem::path current_folder;
  std::wstring path_variable;            // the whole PATH the program gets
  std::wstring exe_name = L"Pelko_Files.exe";  // the copy's file name
  bool path_defined = true;              // false: no PATH in the environment at all
  std::wstring arguments{};              // after the program's name
  // Handed to the program as its standard output and error when set.
  HANDLE standard_output = nullptr;
  HANDLE standard_error = nullptr;
};

// A started copy of the program. Ended by force when the owner goes, so no
// test leaves a process behind for the next one.
class Program {
 public:
  explicit Program(const Setting& setting);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  DWORD process_id() const { return process_id_; }
  DWORD thread_id() const { return thread_id_; }
  HANDLE process() const { return process_.get(); }

  // The program's window, titled with the window title, shown or not.
  HWND window() const;
  // Waits until the window is visible; null when it does not appear.
  HWND wait_for_window() const;
  // A message box "#32770" of this program, titled with the application title.
  HWND message_box() const;
  HWND wait_for_message_box() const;
  // The exit code, once the process has ended within the driver's patience.
  std::optional<DWORD> wait_for_exit() const;
  bool running() const;

 private:
  ScopedHandle process_;
  ScopedHandle thread_;
  DWORD process_id_ = 0;
  DWORD thread_id_ = 0;
};

// A run of the program that ends by itself (a report written without a
// window), its standard output and error read through pipes.
struct Finished {
  std::optional<DWORD> exit_code;  // none when it did not end in time
  std::string output;
  std::string error;
  bool showed_message_box = false;  // it then ended by force
};
Finished run_to_end(Setting setting);

// A file's bytes; none when it cannot be read.
std::optional<std::string> file_bytes(const std::filesystem::path& file);

// Controls of the window, told apart by class and caption.
struct Controls {
  HWND frame = nullptr;
  HWND report = nullptr;
  HWND list = nullptr;
  HWND copy_text = nullptr;
  HWND done = nullptr;
  HWND details = nullptr;  // the line that tells about the caret's report line
  std::vector<HWND> all;
};
Controls find_controls(HWND window);

using testing::class_name;
using testing::screen_dpi;
using testing::window_text;
// The report box's text as the program reads it (EM_GETTEXTEX, GT_DEFAULT):
// lines apart by a lone CR. The request lives in the program's memory.
std::wstring report_text(const Program& program, HWND report);
// The control that has the keyboard focus in the program's thread.
HWND focused_control(const Program& program);
// The static text of a message box.
std::wstring message_box_text(HWND box);

// Posts a key press (down and up) to a control, as the keyboard would.
void post_key(HWND control, WPARAM key);
// Lets the driver's own window answer what the system sends it (the
// clipboard tells its previous owner when it is emptied) while it waits.
void pump_driver_messages();
// Waits until `condition` holds; false when the driver's patience runs out.
template <typename Condition>
bool wait_until(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pump_driver_messages();
    Sleep(10);
  }
  return true;
}

// The clipboard, opened by the driver for as long as the owner lives.
class HeldClipboard {
 public:
  HeldClipboard();
  ~HeldClipboard();
  HeldClipboard(const HeldClipboard&) = delete;
  HeldClipboard& operator=(const HeldClipboard&) = delete;
  bool is_open() const { return open_; }

 private:
  bool open_ = false;
};

// Fills the clipboard with things that "Copy Text" must remove: a text and a
// format private to the driver.
void put_driver_data_on_clipboard(const std::wstring& text);
UINT driver_private_format();
std::vector<UINT> clipboard_formats();
std::optional<std::wstring> clipboard_unicode_text();
std::optional<std::string> clipboard_ansi_text();
// Clicks "Copy Text" without waiting for its handler and waits until the
// clipboard has changed and been closed again. False when it never changes.
bool click_copy_text(HWND copy_text);

using testing::split;
using testing::with_crlf;
using win32::to_utf8;
using win32::to_wide;

// Folders for one start of the program: its own folder (the copy of the
// program goes there), a current folder and a folder for PATH that holds the
// stand-in component library when it is built.
struct Layout {
  Layout();
  // PATH names the suite folder and the system folder, so it is defined.
  Setting setting() const;

  TempFolder temp;
  std::filesystem::path program_folder;
  std::filesystem::path current_folder;
  std::filesystem::path path_folder;
};

// The fixture of checks that press buttons, type or end the program: each
// check lays out its folders and starts its own copy. Fails without a
// display.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;

  Setting setting() const { return layout_.setting(); }
  // Starts the program and waits for its window; fails the test when it
  // does not appear.
  Program& start();
  HWND window() const { return window_; }
  const Controls& controls() const { return controls_; }

  Layout layout_;
  std::optional<Program> program_;
  HWND window_ = nullptr;
  Controls controls_;
};

// The fixture of read-only checks: a suite starts the program once, in one
// layout, and all its checks read that window. A check here must leave the
// window as it found it. A suite starts its copy in SetUpTestSuite with
// start_shared(); the copy ends after the suite's last check.
class SharedProgramTest : public ::testing::Test {
 public:
  static void TearDownTestSuite();

 protected:
  // Lays out the folders, lets `prepare` add to them, starts the program and
  // waits for its window.
  static void start_shared(void (*prepare)(Layout&) = nullptr);
  // Fails without a display, and when the window did not appear.
  void SetUp() override;

  static const Layout& layout();
  static const Program& program();
  static HWND window();
  static const Controls& controls();
  // The local time just before the start, and the report box's text the
  // moment the window was first seen.
  static const SYSTEMTIME& started_at();
  static const std::wstring& report_at_first_sight();
};

}  // namespace tarnwick::e2e
