#include "window/control_adapters.h"

#include <richedit.h>

#include <algorithm>
#include <cwchar>

#include "platform/error.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/utf16.h"

namespace tarnwick {

namespace {
constexpr UINT kUnicodeCodePage = 1200;
}  // namespace

// WM_SETFONT leaves a RichEdit with the point size it reads back from the
// font's pixel height (13 px is 9.75 pt at 96 DPI); the default character
// format carries the table's exact size, in twips, which need no DPI.
// `scale` is the resolution the layout is drawn at, `dpi` the screen's: the
// box sizes its text in points at the screen's resolution.
void set_default_char_format(HWND box, const FontStyle& spec, UINT scale, UINT dpi) {
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

const wchar_t* load_rich_edit() {
  if (win32::system_library(win32::SystemLibrary::msftedit) != nullptr) return MSFTEDIT_CLASS;
  if (win32::system_library(win32::SystemLibrary::riched20) != nullptr) return RICHEDIT_CLASSW;
  throw win32::last_error("RichText_file_path", "The rich-text control cannot be loaded");
}


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

std::string RichTextBox::caret_line() {
  CHARRANGE selection{};
  SendMessageW(box_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  const LRESULT line = SendMessageW(box_, EM_EXLINEFROMCHAR, 0, selection.cpMin);
  const LRESULT start = SendMessageW(box_, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
  if (start < 0) return {};
  const LRESULT length = SendMessageW(box_, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
  std::wstring buffer(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
  TEXTRANGEW range{{static_cast<LONG>(start), static_cast<LONG>(start + length)}, buffer.data()};
  const LRESULT copied = SendMessageW(box_, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
  buffer.resize(static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
  while (!buffer.empty() && (buffer.back() == L'\r' || buffer.back() == L'\n')) buffer.pop_back();
  return win32::to_utf8(buffer);
}

void Win32ListBox::clear() { SendMessageW(list_, LB_RESETCONTENT, 0, 0); }

void Win32ListBox::add_item(const std::string& item) {
  const std::wstring wide = win32::to_wide(item);
  const LRESULT index =
      SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  if (index == LB_ERRSPACE)
    throw SystemError(ERROR_NOT_ENOUGH_MEMORY, "List_DLL",
                      "The module list has no room for another entry");
  if (index == LB_ERR)
    throw SystemError(OwnError::kControlRefused, "List_DLL",
                      "The module list does not take the entry");
}

int Win32ListBox::count() {
  const LRESULT count = SendMessageW(list_, LB_GETCOUNT, 0, 0);
  return count == LB_ERR ? 0 : static_cast<int>(count);
}

std::string Win32ListBox::item(int index) {
  const LRESULT length = SendMessageW(list_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == LB_ERR)
    throw SystemError(OwnError::kControlRefused, "List_DLL",
                      "The module list has no entry " + std::to_string(index));
  std::wstring entry(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(list_, LB_GETTEXT, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(entry.data()));
  entry.resize(static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
  return win32::to_utf8(entry);
}

}  // namespace tarnwick
