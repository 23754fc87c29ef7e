#pragma once

// The real window `Whatsnew` (Win32 only): it creates its controls from the
// layout table, hands the logic the adapters, and routes the two buttons and
// the dialog keyboard to the logic.

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "platform/report_controls.h"
#include "platform/platform.h"
#include "common/program_identity.h"
#include "platform/win32/handles.h"
#include "platform/win32/window_system_win32.h"
#include "report/whatsnew.h"
#include "window/control_adapters.h"
#include "window/details_line.h"
#include "window/layout.h"

namespace tarnwick {

using win32::ScopedFont;

// The window `Whatsnew`. It owns its controls, their fonts and one `Whatsnew`
// (the logic); the logic reaches the controls only through the adapters.
class WhatsnewWindow {
 public:
  static constexpr const wchar_t* kTitle = L"" TARNWICK_WINDOW_TITLE;

  // Creates the window with its controls, laid out at the screen's DPI and
  // still hidden, after the logic has looked for the files (Whatsnew::
  // search_ahead). Raises SystemError when the window cannot be made.
  static std::unique_ptr<WhatsnewWindow> create(HINSTANCE instance, Platform& platform,
                                                win32::Win32WindowSystem& window_system);
  ~WhatsnewWindow();
  WhatsnewWindow(const WhatsnewWindow&) = delete;
  WhatsnewWindow& operator=(const WhatsnewWindow&) = delete;

  HWND handle() const { return window_; }
  // The load event: builds the report while the window is still hidden.
  void load();
  // Shows the finished window and puts the keyboard focus on "Done".
  void show(int show_command);
  // The dialog keyboard (Tab, Space, Enter) for this window's controls. True
  // when the message was dealt with and must not be dispatched.
  bool translate_message(MSG& message);

 private:
  WhatsnewWindow(Platform& platform, win32::Win32WindowSystem& window_system);

  static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam);
  LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);

  bool on_create(const CREATESTRUCTW& creation);
  void on_command(int id, int code);
  void on_notify(const NMHDR& notice);
  void on_next_dialog_control(WPARAM wparam, LPARAM lparam);
  void on_activate(WPARAM wparam);
  void on_set_focus();
  void on_dpi_changed(UINT dpi, const RECT& suggested);
  void on_destroy();
  void on_nc_destroy();

  void on_copy_text();
  // The details line tells about the report line that holds the caret.
  void show_caret_line_details();
  void on_done();
  void press_focused_button();
  void move_focus(bool backwards);

  void create_controls(HINSTANCE instance);
  // Lays the table out for a screen of `dpi`, drawn smaller where it would
  // not fit `work`, the work area of the monitor the window goes to.
  void apply_layout(UINT dpi, const RECT& work);
  void place_on_screen();
  void report_failure(const std::string& description) noexcept;

  win32::Win32WindowSystem& window_system_;
  std::array<ScopedFont, kControlCount> fonts_;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;  // the screen's
  UINT scale_ = USER_DEFAULT_SCREEN_DPI;  // what the layout is drawn at
  // The report box's class, from the rich-text library loaded before the
  // window is made.
  const wchar_t* rich_edit_class_ = nullptr;
  HWND window_ = nullptr;
  std::array<HWND, kControlCount> controls_{};
  // The control that had the focus when the window was last deactivated.
  HWND focus_ = nullptr;
  // Made with the window object, before its controls, so that the logic can
  // search ahead; they are given their controls when those are made.
  RichTextBox report_box_{nullptr};
  Win32ListBox module_list_{nullptr};
  DetailsLine details_;
  std::unique_ptr<Whatsnew> whatsnew_;
  // Set when the window could not be made: it then has no message loop to end.
  std::exception_ptr create_failure_;
};

}  // namespace tarnwick
