// "Copy Text": the report on the clipboard as plain text, and what happens
// when another program holds the clipboard.

#include <richedit.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "driver.h"

namespace tarnwick::e2e {
namespace {

std::string ansi(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

bool has_format(const std::vector<UINT>& formats, UINT format) {
  return std::find(formats.begin(), formats.end(), format) != formats.end();
}

class CopyText : public ProgramTest {
 protected:
  std::wstring box_text() const { return report_text(*program_, controls_.report); }
};

TEST_F(CopyText, PutsTheBoxTextWithCrLfBreaksAsUnicodeAndPlainText) {
  start();
  ASSERT_NE(window(), nullptr);
  put_driver_data_on_clipboard(L"left over from before");
  const std::wstring expected = with_crlf(box_text());
  ASSERT_TRUE(expected.starts_with(L"System files for Pelko_Files"));

  ASSERT_TRUE(click_copy_text(controls_.copy_text)) << "the clipboard never changed";
  EXPECT_EQ(clipboard_unicode_text(), expected);
  EXPECT_EQ(clipboard_ansi_text(), ansi(expected)) << "format 1 (CF_TEXT) differs";
}

// The details line tells why the library on the caret's line cannot be
// loaded; the report's text, and what Copy Text takes, stay as they were.
TEST_F(CopyText, DetailsLineTellsWhyWhileTheCopyIsTheReportAlone) {
  const std::filesystem::path refuses = fixture_file(L"fixture_initfails.dll");
  if (refuses.empty() || !std::filesystem::exists(refuses))
    GTEST_SKIP() << "the fixture libraries are not built";
  std::filesystem::copy_file(refuses, layout_.path_folder / L"PelkoOcr32.dll");
  start();
  ASSERT_NE(window(), nullptr);
  const std::wstring before = box_text();
  const std::vector<std::wstring> lines = split(before, L'\r');
  const auto line = std::find_if(lines.begin(), lines.end(), [](const std::wstring& l) {
    return l.starts_with(L"PelkoOcr32.dll    Path:  ");
  });
  ASSERT_NE(line, lines.end());
  ASSERT_TRUE(line->ends_with(L" DLL cannot be loaded"));
  const LRESULT at =
      SendMessageW(controls_.report, EM_LINEINDEX, static_cast<WPARAM>(line - lines.begin()), 0);
  SendMessageW(controls_.report, EM_SETSEL, static_cast<WPARAM>(at), at + 3);
  std::wstring details;
  EXPECT_TRUE(wait_until([&] {
    details = window_text(controls_.details);
    return details.starts_with(L"PelkoOcr32.dll cannot be loaded. Error 1114: ");
  })) << to_utf8(details);

  ASSERT_TRUE(click_copy_text(controls_.copy_text));
  EXPECT_EQ(box_text(), before);
  EXPECT_EQ(clipboard_unicode_text(), with_crlf(before));
  EXPECT_EQ(clipboard_unicode_text().value_or(L"").find(L"Error 1114"), std::wstring::npos);
}

TEST_F(CopyText, LeavesNothingButTheTextOnTheClipboard) {
  start();
  ASSERT_NE(window(), nullptr);
  put_driver_data_on_clipboard(L"left over from before");
  ASSERT_TRUE(has_format(clipboard_formats(), driver_private_format()));

  ASSERT_TRUE(click_copy_text(controls_.copy_text));
  const std::vector<UINT> formats = clipboard_formats();
  EXPECT_FALSE(has_format(formats, driver_private_format()))
      << "what the clipboard held before is still there";
  EXPECT_TRUE(has_format(formats, CF_UNICODETEXT));
  EXPECT_TRUE(has_format(formats, CF_TEXT));
  // Only the text and what the system makes of it on its own.
  for (UINT format : formats)
    EXPECT_TRUE(format == CF_UNICODETEXT || format == CF_TEXT || format == CF_OEMTEXT ||
                format == CF_LOCALE)
        << "unexpected clipboard format " << format;
}

TEST_F(CopyText, TwiceLeavesTheSameContentsAsOnce) {
  start();
  ASSERT_NE(window(), nullptr);
  ASSERT_TRUE(click_copy_text(controls_.copy_text));
  const auto once_text = clipboard_unicode_text();
  const auto once_formats = clipboard_formats();
  ASSERT_TRUE(click_copy_text(controls_.copy_text));
  EXPECT_EQ(clipboard_unicode_text(), once_text);
  EXPECT_EQ(clipboard_formats(), once_formats);
}

TEST_F(CopyText, CopiesTheTextAsEditedAtTheMomentOfTheClick) {
  start();
  ASSERT_NE(window(), nullptr);
  // A note typed at the top of the report, then the click: posted in this
  // order, so the program sees the keys before the click.
  SendMessageW(controls_.report, EM_SETSEL, 0, 0);
  for (wchar_t c : std::wstring(L"Note")) PostMessageW(controls_.report, WM_CHAR, c, 1);
  post_key(controls_.report, VK_RETURN);
  ASSERT_TRUE(click_copy_text(controls_.copy_text));

  const std::wstring edited = box_text();
  ASSERT_TRUE(edited.starts_with(L"Note\rSystem files for")) << to_utf8(edited.substr(0, 40));
  EXPECT_EQ(clipboard_unicode_text(), with_crlf(edited));
}

TEST_F(CopyText, LeavesTheReportItsCaretAndScrollPositionAsTheyWere) {
  start();
  ASSERT_NE(window(), nullptr);
  SendMessageW(controls_.report, EM_SETSEL, 120, 135);
  SendMessageW(controls_.report, EM_LINESCROLL, 0, 6);
  const std::wstring text = box_text();
  const LRESULT selection = SendMessageW(controls_.report, EM_GETSEL, 0, 0);
  const LRESULT first_line = SendMessageW(controls_.report, EM_GETFIRSTVISIBLELINE, 0, 0);
  ASSERT_GT(first_line, 0);

  ASSERT_TRUE(click_copy_text(controls_.copy_text));
  EXPECT_EQ(box_text(), text);
  EXPECT_EQ(SendMessageW(controls_.report, EM_GETSEL, 0, 0), selection);
  EXPECT_EQ(SendMessageW(controls_.report, EM_GETFIRSTVISIBLELINE, 0, 0), first_line);
}

// Another program holding the clipboard must not end this one: the user is
// told why the report was not copied, and can try again.
using CopyTextWhileClipboardIsHeld = CopyText;

TEST_F(CopyTextWhileClipboardIsHeld, ExplainsAndKeepsTheWindowAndReport) {
  start();
  ASSERT_NE(window(), nullptr);
  put_driver_data_on_clipboard(L"held by the driver");
  const std::wstring report = box_text();
  {
    HeldClipboard held;
    ASSERT_TRUE(held.is_open());
    PostMessageW(controls_.copy_text, BM_CLICK, 0, 0);
    HWND box = program_->wait_for_message_box();
    ASSERT_NE(box, nullptr) << "no message came up";
    const std::wstring message = message_box_text(box);
    EXPECT_NE(message.find(L"could not be copied"), std::wstring::npos) << to_utf8(message);
    // The reason follows the statement.
    const std::size_t colon = message.find(L": ");
    ASSERT_NE(colon, std::wstring::npos) << to_utf8(message);
    EXPECT_GT(message.size(), colon + 2) << to_utf8(message);
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(wait_until([&] { return program_->message_box() == nullptr; }));
  }
  EXPECT_TRUE(program_->running());
  EXPECT_TRUE(IsWindowVisible(window()));
  EXPECT_EQ(box_text(), report);
  EXPECT_TRUE(has_format(clipboard_formats(), driver_private_format()))
      << "the failed copy emptied the clipboard";

  ASSERT_TRUE(click_copy_text(controls_.copy_text)) << "the next click did not copy";
  EXPECT_EQ(clipboard_unicode_text(), with_crlf(report));
}

// A clipboard viewer or a remote-desktop client holds the clipboard for a
// moment only: the click waits for it instead of giving up at once.
TEST_F(CopyTextWhileClipboardIsHeld, ForAMomentWaitsAndCopies) {
  start();
  ASSERT_NE(window(), nullptr);
  put_driver_data_on_clipboard(L"held for a moment");
  const DWORD before = GetClipboardSequenceNumber();
  // The program answers at once once it has dealt with all it was sent so
  // far, so the click below reaches it while the clipboard is still held.
  DWORD_PTR answer = 0;
  ASSERT_NE(SendMessageTimeoutW(window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer), 0);
  {
    HeldClipboard held;
    ASSERT_TRUE(held.is_open());
    PostMessageW(controls_.copy_text, BM_CLICK, 0, 0);
    // Long enough for the program to find the clipboard taken, far shorter
    // than the program is willing to wait. The driver answers what the
    // program sends it meanwhile, as the holder of the clipboard would.
    const ULONGLONG until = GetTickCount64() + 150;
    while (GetTickCount64() < until) {
      pump_driver_messages();
      Sleep(5);
    }
  }
  ASSERT_TRUE(wait_until([&] {
    return GetClipboardSequenceNumber() != before || program_->message_box() != nullptr;
  }));
  EXPECT_EQ(program_->message_box(), nullptr) << to_utf8(message_box_text(program_->message_box()));
  // Opening succeeds only once the program has closed the clipboard again.
  { HeldClipboard settled; }
  EXPECT_EQ(clipboard_unicode_text(), with_crlf(box_text()));
}

}  // namespace
}  // namespace tarnwick::e2e
