#pragma once

// The window's layout: one table in twips (1440 to the inch) for the controls,
// converted to pixels at the window's DPI, drawn smaller where the screen's
// work area cannot hold it, and the fonts the table names.

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "platform/win32/handles.h"

namespace tarnwick {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kTenthsOfPointPerInch = 720;

inline constexpr int kClientWidth = 13320;
inline constexpr int kClientHeight = 12910;
// Where the client area's top-left corner goes on the screen.
inline constexpr int kClientLeft = 1140;
inline constexpr int kClientTop = 1520;

inline constexpr std::size_t kControlCount = 6;

struct FontStyle {
  const wchar_t* face;
  int tenths_of_point;
  int weight;
  BYTE charset;
};

enum class ControlKind { frame, rich_text, list, push_button, details };

struct ControlLayout {
  const wchar_t* name;
  ControlKind kind;
  int id;
  // Positions of the frame's children are measured from the frame's corner.
  bool in_frame;
  int left, top, width, height;
  const wchar_t* text;
  FontStyle font;
  // 0: takes no focus (the frame, the details line).
  int tab_index;
};

// The platform's default dialog font, regular weight, for controls that name
// no font of their own.
inline constexpr FontStyle kDialogFont{L"MS Shell Dlg", 80, FW_NORMAL, DEFAULT_CHARSET};

enum Control : std::size_t { kFrame, kReport, kList, kCopyText, kDone, kDetails };

// The details line is ours, not the report's: it takes the bottom strip's
// free space, 120 twips clear of the module list on its left and of "Copy
// Text" on its right, centred on the buttons' height.

inline constexpr std::array<ControlLayout, kControlCount> kControls{{
    //  name                     kind                      id   frame  left   top    width  height text         font                                         tab
    {L"Frame_whats_new",        ControlKind::frame,       100, false, 0,     0,     13320, 12870, L"",          {L"Small Fonts", 25, FW_BOLD, ANSI_CHARSET},  0},
    {L"RichText_file_path",     ControlKind::rich_text,   101, true,  270,   270,   12740, 11870, L"",          {L"Arial", 100, FW_BOLD, ANSI_CHARSET},       2},
    {L"List_DLL",               ControlKind::list,        102, true,  390,   12360, 4485,  240,   L"",          kDialogFont,                                 3},
    {L"Command_copy_text",      ControlKind::push_button, 103, true,  9750,  12330, 1550,  315,   L"Copy Text", {L"Arial", 85, FW_BOLD, ANSI_CHARSET},        4},
    {L"Command_done_whats_new", ControlKind::push_button, 104, true,  11730, 12330, 1095,  330,   L"Done",      {L"Arial", 85, FW_BOLD, ANSI_CHARSET},        1},
    {L"Label_load_details",     ControlKind::details,     105, true,  4995,  12345, 4635,  285,   L"",          kDialogFont,                                 0},
}};

static_assert(kControls[kFrame].kind == ControlKind::frame &&
              kControls[kReport].kind == ControlKind::rich_text &&
              kControls[kList].kind == ControlKind::list &&
              kControls[kCopyText].kind == ControlKind::push_button &&
              kControls[kDone].kind == ControlKind::push_button &&
              kControls[kDetails].kind == ControlKind::details);
// Control ids stay clear of IDOK and IDCANCEL, which the dialog manager sends
// for Enter and Escape.
static_assert(std::all_of(kControls.begin(), kControls.end(), [](const ControlLayout& c) {
  return c.id != IDOK && c.id != IDCANCEL;
}));

// No WS_CLIPCHILDREN: the frame leaves its inside unpainted, so the window's
// own background must show through it.
inline constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr DWORD kWindowExStyle = 0;

int twips_to_pixels(int twips, UINT dpi);
// Creation order is tab order; see layout.cpp.
std::array<std::size_t, kControlCount> creation_order();
DWORD control_style(ControlKind kind);
DWORD control_ex_style(ControlKind kind);

// The resolution of the screen the window is on (of the primary screen for a
// window that does not exist yet, or on systems without per-window DPI).
UINT dpi_of(HWND window);
// The window rectangle around a client area of `width` x `height` at `dpi`.
RECT window_rect_for_client(int width, int height, UINT dpi);
// The work area of the monitor that holds `point`, or of the one that most
// of `rect` lies on.
RECT work_area_at(POINT point);
RECT work_area_of(const RECT& rect);
// The resolution the table is drawn at on a screen of `dpi` whose work area
// is `work`: the screen's own where the window fits.
UINT fitting_dpi(UINT dpi, const RECT& work);
// Where the client area's corner goes at `dpi`, and the window's outer size
// when the table is drawn at `scale` on a screen of `dpi`.
POINT client_origin(UINT dpi);
SIZE window_size(UINT scale, UINT dpi);
// Where the window's top-left corner goes at start-up: the client area where
// the table puts it, moved into the work area where it would stick out.
POINT window_corner(UINT scale, UINT dpi);

win32::ScopedFont make_font(const FontStyle& style, UINT dpi);

}  // namespace tarnwick
