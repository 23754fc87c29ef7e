#include "report/window.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <utility>

#include "platform/error.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/text.h"

namespace tarnwick {

namespace {

// ---------------------------------------------------------------------------
// Layout, in twips (1440 to the inch), converted to pixels at the window's DPI.

constexpr int kTwipsPerInch = 1440;
constexpr int kTenthsOfPointPerInch = 720;

constexpr int kClientWidth = 13320;
constexpr int kClientHeight = 12910;
// Where the client area's top-left corner goes on the screen.
constexpr int kClientLeft = 1140;
constexpr int kClientTop = 1520;

struct FontSpec {
  const wchar_t* face;
  int tenths_of_point;
  int weight;
  BYTE charset;
};

enum class ControlKind { frame, rich_text, list, push_button };

struct ControlLayout {
  const wchar_t* name;
  ControlKind kind;
  int id;
  // Positions of the frame's children are measured from the frame's corner.
  bool in_frame;
  int left, top, width, height;
  const wchar_t* text;
  FontSpec font;
  // 0: the frame, which takes no focus.
  int tab_index;
};

// The platform's default dialog font, regular weight, for controls that name
// no font of their own.
constexpr FontSpec kDialogFont{L"MS Shell Dlg", 80, FW_NORMAL, DEFAULT_CHARSET};

enum Control : std::size_t { kFrame, kReport, kList, kCopyText, kDone };

constexpr std::array<ControlLayout, WhatsnewWindow::kControlCount> kControls{{
    //  name                     kind                      id   frame  left   top    width  height text         font                                         tab
    {L"Frame_whats_new",        ControlKind::frame,       100, false, 0,     0,     13320, 12870, L"",          {L"Small Fonts", 25, FW_BOLD, ANSI_CHARSET},  0},
    {L"RichText_file_path",     ControlKind::rich_text,   101, true,  270,   270,   12740, 11870, L"",          {L"Arial", 100, FW_BOLD, ANSI_CHARSET},       2},
    {L"List_DLL",               ControlKind::list,        102, true,  390,   12360, 4485,  240,   L"",          kDialogFont,                                 3},
    {L"Command_copy_text",      ControlKind::push_button, 103, true,  9750,  12330, 1550,  315,   L"Copy Text", {L"Arial", 85, FW_BOLD, ANSI_CHARSET},        4},
    {L"Command_done_whats_new", ControlKind::push_button, 104, true,  11730, 12330, 1095,  330,   L"Done",      {L"Arial", 85, FW_BOLD, ANSI_CHARSET},        1},
}};

static_assert(kControls[kFrame].kind == ControlKind::frame &&
              kControls[kReport].kind == ControlKind::rich_text &&
              kControls[kList].kind == ControlKind::list &&
              kControls[kCopyText].kind == ControlKind::push_button &&
              kControls[kDone].kind == ControlKind::push_button);
// Control ids stay clear of IDOK and IDCANCEL, which the dialog manager sends
// for Enter and Escape.
static_assert(std::all_of(kControls.begin(), kControls.end(), [](const ControlLayout& c) {
  return c.id != IDOK && c.id != IDCANCEL;
}));

// No WS_CLIPCHILDREN: the frame leaves its inside unpainted, so the window's
// own background must show through it.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = 0;
constexpr const wchar_t* kWindowClass = L"Whatsnew";

// The report may grow past the RichEdit's default limit of 32K characters.
constexpr LPARAM kReportTextLimit = 16 * 1024 * 1024;
constexpr UINT kUnicodeCodePage = 1200;

int twips_to_pixels(int twips, UINT dpi) {
  return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

// Creation order is tab order (each new child goes below its siblings). The
// frame takes no focus and goes last, beneath the controls it surrounds. A
// group box passes no notifications on, so the frame's children are its
// siblings here, placed at the frame's corner plus their own offset.
std::array<std::size_t, WhatsnewWindow::kControlCount> creation_order() {
  std::array<std::size_t, WhatsnewWindow::kControlCount> order{};
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [](std::size_t a, std::size_t b) {
    const int ta = kControls[a].tab_index == 0 ? INT_MAX : kControls[a].tab_index;
    const int tb = kControls[b].tab_index == 0 ? INT_MAX : kControls[b].tab_index;
    return ta < tb;
  });
  return order;
}

DWORD control_style(ControlKind kind) {
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  constexpr DWORD kFocusable = WS_TABSTOP | WS_GROUP;  // arrows never jump between them
  switch (kind) {
    case ControlKind::frame:
      return kChild | BS_GROUPBOX;
    case ControlKind::rich_text:
      return kChild | kFocusable | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
             ES_WANTRETURN | ES_DISABLENOSCROLL;
    case ControlKind::list:
      return kChild | kFocusable | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    case ControlKind::push_button:
      return kChild | kFocusable | BS_PUSHBUTTON;
  }
  return kChild;
}

DWORD control_ex_style(ControlKind kind) {
  return kind == ControlKind::rich_text || kind == ControlKind::list ? WS_EX_CLIENTEDGE : 0;
}

template <typename Proc>
Proc user32_proc(const char* name) {
  // Entry points of newer systems; where they are missing, the older call does.
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

class ScreenDC {
 public:
  ScreenDC() : dc_(GetDC(nullptr)) {}
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  ~ScreenDC() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

UINT dpi_of(HWND window) {
  using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window = user32_proc<GetDpiForWindowProc>("GetDpiForWindow");
  if (get_dpi_for_window != nullptr && window != nullptr) {
    const UINT dpi = get_dpi_for_window(window);
    if (dpi != 0) return dpi;
  }
  ScreenDC screen;
  const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

RECT window_rect_for_client(int width, int height, UINT dpi) {
  using AdjustForDpiProc = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi =
      user32_proc<AdjustForDpiProc>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, width, height};
  if (adjust_for_dpi != nullptr)
    adjust_for_dpi(&rect, kWindowStyle, FALSE, kWindowExStyle, dpi);
  else
    AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
  return rect;
}

RECT work_area_at(POINT point) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return screen;
  }
  return monitor.rcWork;
}

ScopedFont make_font(const FontSpec& spec, UINT dpi) {
  LOGFONTW font{};
  // Negative: the character height, as a point size means it.
  font.lfHeight = -MulDiv(spec.tenths_of_point, static_cast<int>(dpi), kTenthsOfPointPerInch);
  font.lfWeight = spec.weight;
  font.lfCharSet = spec.charset;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  wcsncpy(font.lfFaceName, spec.face, LF_FACESIZE - 1);
  HFONT handle = CreateFontIndirectW(&font);
  if (handle == nullptr)
    throw win32::last_error("Whatsnew", "The font " + win32::to_utf8(spec.face) +
                                            " cannot be created");
  return ScopedFont(handle);
}

// WM_SETFONT leaves a RichEdit with the point size it reads back from the
// font's pixel height (13 px is 9.75 pt at 96 DPI); the default character
// format carries the table's exact size, in twips, which need no DPI.
// `scale` is the resolution the layout is drawn at, `dpi` the screen's: the
// box sizes its text in points at the screen's resolution.
void set_default_char_format(HWND box, const FontSpec& spec, UINT scale, UINT dpi) {
  CHARFORMAT2W format{};
  format.cbSize = sizeof(format);
  format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_FACE | CFM_SIZE |
                  CFM_CHARSET | CFM_WEIGHT;
  format.dwEffects = spec.weight >= FW_BOLD ? CFE_BOLD : 0;
  format.yHeight = MulDiv(spec.tenths_of_point * kTwipsPerInch / kTenthsOfPointPerInch,
                          static_cast<int>(scale), static_cast<int>(dpi));
  format.wWeight = static_cast<WORD>(spec.weight);
  format.bCharSet = spec.charset;
  wcsncpy(format.szFaceName, spec.face, LF_FACESIZE - 1);
  SendMessageW(box, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

// Rich edit 4.1 where the system has it, else 2.0; both take plain text.
std::pair<HMODULE, const wchar_t*> load_rich_edit() {
  if (HMODULE module = LoadLibraryW(L"msftedit.dll")) return {module, MSFTEDIT_CLASS};
  if (HMODULE module = LoadLibraryW(L"riched20.dll")) return {module, RICHEDIT_CLASSW};
  throw win32::last_error("RichText_file_path", "The rich-text control cannot be loaded");
}

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

// The resolution the table is drawn at: the screen's own, unless the window
// would then not fit the work area (a 768-line screen, or a 1080-line one at
// 125 % and more) and its buttons would sit past the screen's edge. Then the
// whole layout, fonts included, is drawn at the largest resolution that fits.
UINT fitting_dpi(UINT dpi, const RECT& work) {
  constexpr int kSmallestDpi = 48;
  const RECT frame = window_rect_for_client(0, 0, dpi);  // caption and borders alone
  const int spare_width = (work.right - work.left) - (frame.right - frame.left);
  const int spare_height = (work.bottom - work.top) - (frame.bottom - frame.top);
  const int fits = std::min(spare_width * kTwipsPerInch / kClientWidth,
                            spare_height * kTwipsPerInch / kClientHeight);
  return static_cast<UINT>(std::clamp(fits, kSmallestDpi, static_cast<int>(dpi)));
}


// ---------------------------------------------------------------------------
// Control adapters

std::string RichTextBox::text() {
  GETTEXTLENGTHEX length_query{GTL_NUMCHARS | GTL_PRECISE, kUnicodeCodePage};
  LRESULT length = SendMessageW(box_, EM_GETTEXTLENGTHEX,
                                reinterpret_cast<WPARAM>(&length_query), 0);
  if (length < 0) length = 0;
  // GT_DEFAULT keeps each line break as the lone CR it was written with. One
  // character to spare: a text that fills the buffer means the count was short.
  for (;;) {
    std::wstring buffer(static_cast<std::size_t>(length) + 2, L'\0');
    GETTEXTEX query{};
    query.cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    query.flags = GT_DEFAULT;
    query.codepage = kUnicodeCodePage;
    const LRESULT copied = SendMessageW(box_, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                        reinterpret_cast<LPARAM>(buffer.data()));
    if (copied <= length) {
      buffer.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
      return win32::to_utf8(buffer);
    }
    length = copied * 2 + 64;
  }
}

void RichTextBox::set_text(const std::string& text) {
  const std::wstring wide = win32::to_wide(text);
  SETTEXTEX settings{ST_DEFAULT, kUnicodeCodePage};
  if (SendMessageW(box_, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&settings),
                   reinterpret_cast<LPARAM>(wide.c_str())) == 0)
    throw SystemError(OwnError::kControlRefused, "RichText_file_path",
                      "The report box cannot take the text");
  show_start();
}

// Only the piece crosses to the control: the text already in the box is
// neither read nor converted again.
void RichTextBox::append(const std::string& piece) {
  GETTEXTLENGTHEX length_query{GTL_NUMCHARS, kUnicodeCodePage};
  const LRESULT length = SendMessageW(box_, EM_GETTEXTLENGTHEX,
                                      reinterpret_cast<WPARAM>(&length_query), 0);
  CHARRANGE end{static_cast<LONG>(std::max<LRESULT>(length, 0)),
                static_cast<LONG>(std::max<LRESULT>(length, 0))};
  SendMessageW(box_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
  const std::wstring wide = win32::to_wide(piece);
  // No undo record: the report is not the user's typing.
  SendMessageW(box_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
}

// The caret at the first character and the first line at the top, as a
// freshly set text box shows it.
void RichTextBox::show_start() {
  SendMessageW(box_, EM_SETSEL, 0, 0);
  SendMessageW(box_, EM_SCROLLCARET, 0, 0);
}

void Win32ListBox::clear() { SendMessageW(list_, LB_RESETCONTENT, 0, 0); }

void Win32ListBox::add_item(const std::string& item) {
  const std::wstring wide = win32::to_wide(item);
  const LRESULT index =
      SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  if (index == LB_ERR || index == LB_ERRSPACE)
    throw SystemError(ERROR_NOT_ENOUGH_MEMORY, "List_DLL", "Out of memory");
}

std::int16_t Win32ListBox::count() {
  const LRESULT count = SendMessageW(list_, LB_GETCOUNT, 0, 0);
  if (count == LB_ERR) throw SystemError(OwnError::kControlRefused, "List_DLL", "The list cannot be read");
  return static_cast<std::int16_t>(count);
}

std::string Win32ListBox::item(int index) {
  const LRESULT length = SendMessageW(list_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (index < 0 || length == LB_ERR)
    throw SystemError(ERROR_INVALID_INDEX, "List_DLL", "Invalid property array index");
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(list_, LB_GETTEXT, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
  return win32::to_utf8(buffer);
}

// ---------------------------------------------------------------------------
// The window

WhatsnewWindow::WhatsnewWindow(Platform& platform, win32::Win32WindowSystem& window_system)
    : platform_(platform), window_system_(window_system) {}

WhatsnewWindow::~WhatsnewWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

std::unique_ptr<WhatsnewWindow> WhatsnewWindow::create(HINSTANCE instance, Platform& platform,
                                                       win32::Win32WindowSystem& window_system) {
  // Loads common controls 6, which the manifest asks for, for themed buttons.
  INITCOMMONCONTROLSEX common_controls{sizeof(common_controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common_controls);

  register_window_class(instance, window_procedure);

  std::unique_ptr<WhatsnewWindow> window(new WhatsnewWindow(platform, window_system));
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
    report_box_->show_start();
  } catch (const std::exception& error) {
    report_failure(error.what());
  }
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
    report_box_ = std::make_unique<RichTextBox>(controls_[kReport]);
    module_list_ = std::make_unique<Win32ListBox>(controls_[kList]);
    whatsnew_ = std::make_unique<Whatsnew>(platform_, *report_box_, *module_list_);
    const UINT dpi = dpi_of(window_);
    apply_layout(dpi);
    place_on_screen();
    focus_ = controls_[kDone];
    window_system_.set_owner(window_);
    created_ = true;
    return true;
  } catch (...) {
    // Raised again by create(), outside the window procedure.
    create_failure_ = std::current_exception();
    return false;
  }
}

void WhatsnewWindow::create_controls(HINSTANCE instance) {
  auto [library, rich_edit_class] = load_rich_edit();
  rich_edit_library_ = ScopedLibrary(library);

  for (std::size_t index : creation_order()) {
    const ControlLayout& layout = kControls[index];
    const wchar_t* window_class = L"BUTTON";
    if (layout.kind == ControlKind::rich_text) window_class = rich_edit_class;
    if (layout.kind == ControlKind::list) window_class = L"LISTBOX";
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

void WhatsnewWindow::apply_layout(UINT dpi) {
  dpi_ = dpi;
  scale_ = fitting_dpi(dpi, work_area_at(client_origin()));
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

  const SIZE size = window_size();
  SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

POINT WhatsnewWindow::client_origin() const {
  return {twips_to_pixels(kClientLeft, dpi_), twips_to_pixels(kClientTop, dpi_)};
}

SIZE WhatsnewWindow::window_size() const {
  const RECT rect = window_rect_for_client(twips_to_pixels(kClientWidth, scale_),
                                           twips_to_pixels(kClientHeight, scale_), dpi_);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

void WhatsnewWindow::place_on_screen() {
  const SIZE size = window_size();
  const RECT frame = window_rect_for_client(0, 0, dpi_);
  const POINT client = client_origin();
  // Kept within the work area; where the window is larger, its title bar
  // stays on screen.
  const RECT work = work_area_at(client);
  const int left = std::max<int>(std::min<int>(client.x + frame.left, work.right - size.cx),
                                 work.left);
  const int top = std::max<int>(std::min<int>(client.y + frame.top, work.bottom - size.cy),
                                work.top);
  SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WhatsnewWindow::on_command(int id, int code) {
  switch (id) {
    case IDOK:
      // Enter, as the dialog manager reports it for a window without a
      // default button.
      press_focused_button();
      break;
    case kControls[kCopyText].id:
      if (code == BN_CLICKED) Command_copy_text_Click();
      break;
    case kControls[kDone].id:
      if (code == BN_CLICKED) Command_done_whats_new_Click();
      break;
    default:
      // IDCANCEL (Escape) among others: nothing to do.
      break;
  }
}

void WhatsnewWindow::press_focused_button() {
  const HWND focus = GetFocus();
  if (focus == controls_[kCopyText]) Command_copy_text_Click();
  else if (focus == controls_[kDone]) Command_done_whats_new_Click();
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
  // The same table at the new monitor's resolution; the window keeps its
  // place and takes the size the table gives.
  apply_layout(dpi);
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WhatsnewWindow::on_destroy() {
  window_system_.set_owner(nullptr);
  // The program ends with its window; a window that never came to be has no
  // message loop to end, and the quit would swallow the failure's message.
  if (created_) PostQuitMessage(0);
}

void WhatsnewWindow::on_nc_destroy() {
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  window_ = nullptr;
  controls_ = {};
  focus_ = nullptr;
}

void WhatsnewWindow::Command_copy_text_Click() { whatsnew_->Command_copy_text_Click(); }

// Ends the program at once: the window goes, and with it the message loop.
void WhatsnewWindow::Command_done_whats_new_Click() { DestroyWindow(window_); }

void WhatsnewWindow::report_failure(const std::string& description) noexcept {
  try {
    window_system_.message_box(description);
  } catch (...) {
    // Nothing is left to tell the user with.
  }
}

}  // namespace tarnwick
