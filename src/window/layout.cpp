#include "window/layout.h"

#include <richedit.h>

#include <climits>
#include <cwchar>

#include "platform/win32/error_win32.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/utf16.h"

namespace tarnwick {

namespace {

RECT work_area_of_monitor(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) {
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return screen;
  }
  return info.rcWork;
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

}  // namespace

int twips_to_pixels(int twips, UINT dpi) {
  return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch);
}

// Creation order is tab order (each new child goes below its siblings); the
// controls that take no focus follow, and the frame goes last, beneath the
// controls it surrounds, which would otherwise be painted over. A group box
// passes no notifications on, so the frame's children are its siblings here,
// placed at the frame's corner plus their own offset.
std::array<std::size_t, kControlCount> creation_order() {
  auto rank = [](std::size_t i) {
    if (kControls[i].kind == ControlKind::frame) return INT_MAX;
    return kControls[i].tab_index == 0 ? INT_MAX - 1 : kControls[i].tab_index;
  };
  std::array<std::size_t, kControlCount> order{};
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return rank(a) < rank(b); });
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
    case ControlKind::details:
      // One line, cut with an ellipsis where it is too long (its tooltip then
      // holds it whole); SS_NOTIFY lets the mouse reach it for the tooltip. A
      // path's "&" is no access key.
      return kChild | SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS | SS_CENTERIMAGE | SS_NOPREFIX |
             SS_NOTIFY;
    case ControlKind::push_button:
      return kChild | kFocusable | BS_PUSHBUTTON;
  }
  return kChild;
}

DWORD control_ex_style(ControlKind kind) {
  return kind == ControlKind::rich_text || kind == ControlKind::list ||
                 kind == ControlKind::details
             ? WS_EX_CLIENTEDGE
             : 0;
}


UINT dpi_of(HWND window) {
  // A system older than per-window DPI: the screen's answers.
  auto* get_dpi_for_window = win32::system_calls::GetDpiForWindow.find();
  if (window != nullptr && get_dpi_for_window != nullptr) {
    const UINT dpi = get_dpi_for_window(window);
    if (dpi != 0) return dpi;
  }
  ScreenDC screen;
  const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

RECT window_rect_for_client(int width, int height, UINT dpi) {
  RECT rect{0, 0, width, height};
  // Where the system lacks it, the frame at the screen's own resolution.
  if (auto* adjust_for_dpi = win32::system_calls::AdjustWindowRectExForDpi.find())
    adjust_for_dpi(&rect, kWindowStyle, FALSE, kWindowExStyle, dpi);
  else
    AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
  return rect;
}

RECT work_area_at(POINT point) {
  return work_area_of_monitor(MonitorFromPoint(point, MONITOR_DEFAULTTOPRIMARY));
}

RECT work_area_of(const RECT& rect) {
  return work_area_of_monitor(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST));
}

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


POINT client_origin(UINT dpi) {
  return {twips_to_pixels(kClientLeft, dpi), twips_to_pixels(kClientTop, dpi)};
}

SIZE window_size(UINT scale, UINT dpi) {
  const RECT rect = window_rect_for_client(twips_to_pixels(kClientWidth, scale),
                                           twips_to_pixels(kClientHeight, scale), dpi);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

POINT window_corner(UINT scale, UINT dpi) {
  const SIZE size = window_size(scale, dpi);
  const RECT frame = window_rect_for_client(0, 0, dpi);
  const POINT client = client_origin(dpi);
  // Kept within the work area; where the window is larger, its title bar
  // stays on screen.
  const RECT work = work_area_at(client);
  return {std::max<LONG>(std::min<LONG>(client.x + frame.left, work.right - size.cx), work.left),
          std::max<LONG>(std::min<LONG>(client.y + frame.top, work.bottom - size.cy), work.top)};
}

win32::ScopedFont make_font(const FontStyle& spec, UINT dpi) {
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
  return win32::ScopedFont(handle);
}

}  // namespace tarnwick
