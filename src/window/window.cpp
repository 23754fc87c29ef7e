#include "window/window.h"

#include <commctrl.h>
#include <richedit.h>

#include <utility>

#include "platform/error.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/utf16.h"
#include "report/line_details.h"

namespace tarnwick {

namespace {

constexpr const wchar_t* kWindowClass = L"Whatsnew";

// The report may grow past the RichEdit's default limit of 32K characters.
constexpr LPARAM kReportTextLimit = 16 * 1024 * 1024;

void register_window_class(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  window_class.hIconSm = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                 GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR | LR_SHARED));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw win32::last_error("Whatsnew", "The window class cannot be registered");
}

}  // namespace

WhatsnewWindow::WhatsnewWindow(Platform& platform, win32::Win32WindowSystem& window_system)
    : window_system_(window_system),
      whatsnew_(std::make_unique<Whatsnew>(platform, report_box_, module_list_)) {}

WhatsnewWindow::~WhatsnewWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

std::unique_ptr<WhatsnewWindow> WhatsnewWindow::create(HINSTANCE instance, Platform& platform,
                                                       win32::Win32WindowSystem& window_system) {
  // Loads common controls 6, which the manifest asks for, for themed buttons
  // and the details line's tooltip; without them the buttons are plain and
  // the line has no tooltip, and the window works all the same.
  INITCOMMONCONTROLSEX common_controls{sizeof(common_controls),
                                       ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  if (auto* init = win32::system_calls::InitCommonControlsEx.find()) init(&common_controls);

  register_window_class(instance, window_procedure);

  std::unique_ptr<WhatsnewWindow> window(new WhatsnewWindow(platform, window_system));
  // The files are looked for before the window is made, so that the helper
  // has every name it must test while the window is made. The rich-text
  // library comes first: the search then finds it loaded, as the report will,
  // and does not put it to the helper.
  window->rich_edit_class_ = load_rich_edit();
  window->whatsnew_->search_ahead();
  HWND handle = CreateWindowExW(kWindowExStyle, kWindowClass, kTitle, kWindowStyle, 0, 0, 0, 0,
                                nullptr, nullptr, instance, window.get());
  if (handle == nullptr) {
    if (window->create_failure_) std::rethrow_exception(window->create_failure_);
    throw win32::last_error("Whatsnew", "The window cannot be created");
  }
  return window;
}

void WhatsnewWindow::load() {
  try {
    whatsnew_->Form_Load();
    // Appending leaves the caret after the last line; the report is read
    // from its top.
    report_box_.show_start();
  } catch (const std::exception& error) {
    report_failure(error.what());
  }
  // From now on, not while the report is written line by line.
  HWND report = controls_[kReport];
  const LRESULT events = SendMessageW(report, EM_GETEVENTMASK, 0, 0);
  SendMessageW(report, EM_SETEVENTMASK, 0, events | ENM_SELCHANGE);
  show_caret_line_details();
}

void WhatsnewWindow::show(int show_command) {
  ShowWindow(window_, show_command);
  UpdateWindow(window_);
  // Only a shown window keeps the focus it is given.
  focus_ = controls_[kDone];
  SetFocus(controls_[kDone]);
}

bool WhatsnewWindow::translate_message(MSG& message) {
  if (window_ == nullptr) return false;
  if (message.hwnd != window_ && !IsChild(window_, message.hwnd)) return false;
  const bool key = message.message == WM_KEYDOWN || message.message == WM_KEYUP ||
                   message.message == WM_CHAR;
  // Escape does nothing here. Left alone it would reach the report box, which
  // closes its parent on Escape as a dialog's edit control does.
  if (key && message.wParam == VK_ESCAPE) return true;
  // Tab moves the focus, from the report box too. The box would otherwise
  // take the character that follows the key and type it over its selection.
  // Ctrl+Tab is left to the box, which types a tab.
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB &&
      (GetKeyState(VK_CONTROL) & 0x8000) == 0) {
    move_focus((GetKeyState(VK_SHIFT) & 0x8000) != 0);
    return true;
  }
  return IsDialogMessageW(window_, &message) != FALSE;
}

void WhatsnewWindow::move_focus(bool backwards) {
  HWND next = GetNextDlgTabItem(window_, GetFocus(), backwards);
  if (next != nullptr) SetFocus(next);
}

LRESULT CALLBACK WhatsnewWindow::window_procedure(HWND window, UINT message, WPARAM wparam,
                                                  LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* creation = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<WhatsnewWindow*>(creation->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<WhatsnewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  // No failure may unwind into the system's code that called us.
  try {
    return self->handle_message(message, wparam, lparam);
  } catch (const std::exception& error) {
    self->report_failure(error.what());
  } catch (...) {
    self->report_failure("An unexpected failure occurred");
  }
  return 0;
}

LRESULT WhatsnewWindow::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return on_create(*reinterpret_cast<CREATESTRUCTW*>(lparam)) ? 0 : -1;
    case WM_COMMAND:
      on_command(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_NOTIFY:
      on_notify(*reinterpret_cast<const NMHDR*>(lparam));
      return 0;
    case WM_NEXTDLGCTL:
      on_next_dialog_control(wparam, lparam);
      return 0;
    case WM_ACTIVATE:
      on_activate(wparam);
      break;  // the default handling activates the window itself
    case WM_SETFOCUS:
      on_set_focus();
      return 0;
    case WM_DPICHANGED:
      on_dpi_changed(LOWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_DESTROY:
      on_destroy();
      return 0;
    case WM_NCDESTROY: {
      const LRESULT result = DefWindowProcW(window_, message, wparam, lparam);
      on_nc_destroy();
      return result;
    }
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

bool WhatsnewWindow::on_create(const CREATESTRUCTW& creation) {
  try {
    create_controls(creation.hInstance);
    report_box_ = RichTextBox(controls_[kReport]);
    module_list_ = Win32ListBox(controls_[kList]);
    details_.attach(creation.hInstance, window_, controls_[kDetails]);
    // At start-up the window goes where the table puts it, on that monitor.
    const UINT dpi = dpi_of(window_);
    apply_layout(dpi, work_area_at(client_origin(dpi)));
    place_on_screen();
    focus_ = controls_[kDone];
    window_system_.set_owner(window_);
    return true;
  } catch (...) {
    // Raised again by create(), outside the window procedure.
    create_failure_ = std::current_exception();
    return false;
  }
}

void WhatsnewWindow::create_controls(HINSTANCE instance) {
  for (std::size_t index : creation_order()) {
    const ControlLayout& layout = kControls[index];
    const wchar_t* window_class = L"BUTTON";
    if (layout.kind == ControlKind::rich_text) window_class = rich_edit_class_;
    if (layout.kind == ControlKind::list) window_class = L"LISTBOX";
    if (layout.kind == ControlKind::details) window_class = L"STATIC";
    HWND control = CreateWindowExW(
        control_ex_style(layout.kind), window_class, layout.text, control_style(layout.kind),
        0, 0, 0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)),
        instance, nullptr);
    if (control == nullptr)
      throw win32::last_error("Whatsnew", "The control " + win32::to_utf8(layout.name) +
                                              " cannot be created");
    controls_[index] = control;
  }

  // Plain text only, before the box holds anything: it never shows formatting.
  HWND report = controls_[kReport];
  SendMessageW(report, EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
  SendMessageW(report, EM_EXLIMITTEXT, 0, kReportTextLimit);
}

void WhatsnewWindow::apply_layout(UINT dpi, const RECT& work) {
  dpi_ = dpi;
  scale_ = fitting_dpi(dpi, work);
  const UINT scale = scale_;
  const ControlLayout& frame = kControls[kFrame];
  std::array<ScopedFont, kControlCount> fonts;
  for (std::size_t i = 0; i < kControls.size(); ++i) {
    const ControlLayout& layout = kControls[i];
    const int left = layout.left + (layout.in_frame ? frame.left : 0);
    const int top = layout.top + (layout.in_frame ? frame.top : 0);
    SetWindowPos(controls_[i], nullptr, twips_to_pixels(left, scale), twips_to_pixels(top, scale),
                 twips_to_pixels(layout.width, scale), twips_to_pixels(layout.height, scale),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    fonts[i] = make_font(layout.font, scale);
    SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(fonts[i].get()), TRUE);
    if (layout.kind == ControlKind::rich_text)
      set_default_char_format(controls_[i], layout.font, scale, dpi);
  }
  // The controls have let go of the old fonts; they may be deleted now.
  fonts_ = std::move(fonts);
  details_.refit();

  const SIZE size = window_size(scale_, dpi_);
  SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WhatsnewWindow::place_on_screen() {
  const POINT corner = window_corner(scale_, dpi_);
  SetWindowPos(window_, nullptr, corner.x, corner.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WhatsnewWindow::on_command(int id, int code) {
  switch (id) {
    case IDOK:
      // Enter, as the dialog manager reports it for a window without a
      // default button.
      press_focused_button();
      break;
    case kControls[kCopyText].id:
      if (code == BN_CLICKED) on_copy_text();
      break;
    case kControls[kDone].id:
      if (code == BN_CLICKED) on_done();
      break;
    default:
      // IDCANCEL (Escape) among others: nothing to do.
      break;
  }
}

void WhatsnewWindow::on_notify(const NMHDR& notice) {
  if (notice.hwndFrom == controls_[kReport] && notice.code == EN_SELCHANGE)
    show_caret_line_details();
}

void WhatsnewWindow::show_caret_line_details() {
  details_.show(details_for_line(whatsnew_->facts(), report_box_.caret_line()), {});
}

void WhatsnewWindow::press_focused_button() {
  const HWND focus = GetFocus();
  if (focus == controls_[kCopyText]) on_copy_text();
  else if (focus == controls_[kDone]) on_done();
}

// A request to move the focus, as a dialog would answer it. The RichEdit
// sends one for a Tab that reaches it past translate_message; unanswered,
// the focus would stay in the box.
void WhatsnewWindow::on_next_dialog_control(WPARAM wparam, LPARAM lparam) {
  if (LOWORD(lparam) != 0)
    SetFocus(reinterpret_cast<HWND>(wparam));
  else
    move_focus(wparam != 0);
}

void WhatsnewWindow::on_activate(WPARAM wparam) {
  if (LOWORD(wparam) != WA_INACTIVE) return;
  const HWND focus = GetFocus();
  if (focus != nullptr && IsChild(window_, focus)) focus_ = focus;
}

void WhatsnewWindow::on_set_focus() {
  if (focus_ != nullptr && IsWindow(focus_)) SetFocus(focus_);
}

void WhatsnewWindow::on_dpi_changed(UINT dpi, const RECT& suggested) {
  // The same table at the new monitor's resolution, fitted to the work area
  // of the monitor the suggested rectangle lies on: the window goes to the
  // suggested place and takes the size the table gives.
  apply_layout(dpi, work_area_of(suggested));
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WhatsnewWindow::on_destroy() {
  window_system_.set_owner(nullptr);
  // The program ends with its window; a window that never came to be has no
  // message loop to end, and the quit would swallow the failure's message.
  if (!create_failure_) PostQuitMessage(0);
}

void WhatsnewWindow::on_nc_destroy() {
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  window_ = nullptr;
  controls_ = {};
  focus_ = nullptr;
}

void WhatsnewWindow::on_copy_text() { whatsnew_->Command_copy_text_Click(); }

// Ends the program at once: the window goes, and with it the message loop.
void WhatsnewWindow::on_done() { DestroyWindow(window_); }

void WhatsnewWindow::report_failure(const std::string& description) noexcept {
  try {
    window_system_.message_box(description);
  } catch (...) {
    // Nothing is left to tell the user with.
  }
}

}  // namespace tarnwick
