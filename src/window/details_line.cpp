#include "window/details_line.h"

#include <commctrl.h>

#include "platform/win32/utf16.h"
#include "report/report_lines.h"

namespace tarnwick {

namespace {

// The tool is the line itself, named by its handle; TTTOOLINFOW's full size
// is refused by the common controls before version 6.
TTTOOLINFOW tool_of(HWND owner, HWND line, wchar_t* text) {
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(line);
  tool.lpszText = text;
  return tool;
}

}  // namespace

void DetailsLine::attach(HINSTANCE instance, HWND owner, HWND line) {
  owner_ = owner;
  line_ = line;
  tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                         WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, instance, nullptr);
  if (tip_ == nullptr) return;
  TTTOOLINFOW tool = tool_of(owner_, line_, tip_text_.data());
  if (SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) == FALSE) {
    DestroyWindow(tip_);
    tip_ = nullptr;
  }
}

void DetailsLine::show(const std::string& text, const std::string& more) {
  text_ = win32::to_wide(text);
  // The tooltip breaks its lines where it finds CR LF.
  more_ = win32::to_wide(with_crlf_line_breaks(more));
  SetWindowTextW(line_, text_.c_str());
  refit();
}

void DetailsLine::refit() {
  if (line_ == nullptr) return;
  std::wstring tip = fits(text_) ? std::wstring() : text_;
  if (!more_.empty()) tip += (tip.empty() ? L"" : L"\r\n") + more_;
  set_tip(tip);
}

bool DetailsLine::fits(const std::wstring& text) const {
  RECT room{};
  GetClientRect(line_, &room);
  HDC dc = GetDC(line_);
  if (dc == nullptr) return true;
  auto font = reinterpret_cast<HFONT>(SendMessageW(line_, WM_GETFONT, 0, 0));
  HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  RECT needed{};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(line_, dc);
  return needed.right - needed.left <= room.right - room.left;
}

void DetailsLine::set_tip(const std::wstring& tip) {
  tip_text_ = tip;
  if (tip_ == nullptr) return;
  // A tip as wide as the window at most: a long path wraps rather than
  // running off the screen.
  RECT owner{};
  GetClientRect(owner_, &owner);
  SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, owner.right - owner.left);
  TTTOOLINFOW tool = tool_of(owner_, line_, tip_text_.data());
  SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  // Nothing to add: no tip comes up at all.
  SendMessageW(tip_, TTM_ACTIVATE, tip_text_.empty() ? FALSE : TRUE, 0);
}

}  // namespace tarnwick
