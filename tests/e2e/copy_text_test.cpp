// "Copy Text": the report on the clipboard as plain text, whatever the
// clipboard held and whoever holds it for a moment. One start of the program
// serves every check; the last one edits the report. (A clipboard held
// throughout is one of the hostile-machine suite's inputs.)

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

// The usual layout, with a library that refuses to initialise on PATH as
// PelkoOcr32.dll, so that the details line has a reason to tell.
class CopyText : public SharedProgramTest {
 public:
  static void SetUpTestSuite() {
    start_shared([](Layout& layout) {
      std::filesystem::copy_file(fixture_file(L"fixture_initfails.dll"),
                                 layout.path_folder / L"PelkoOcr32.dll");
    });
  }

 protected:
  static std::wstring box_text() { return report_text(program(), controls().report); }
};

TEST_F(CopyText, PutsTheBoxTextWithCrLfBreaksAsUnicodeAndPlainTextAndNothingElse) {
  put_driver_data_on_clipboard(L"left over from before");
  ASSERT_TRUE(has_format(clipboard_formats(), driver_private_format()));
  const std::wstring expected = with_crlf(box_text());
  ASSERT_TRUE(expected.starts_with(L"System files for Pelko_Files"));

  ASSERT_TRUE(click_copy_text(controls().copy_text)) << "the clipboard never changed";
  EXPECT_EQ(clipboard_unicode_text(), expected);
  EXPECT_EQ(clipboard_ansi_text(), ansi(expected)) << "format 1 (CF_TEXT) differs";
  const std::vector<UINT> formats = clipboard_formats();
  EXPECT_FALSE(has_format(formats, driver_private_format()))
      << "what the clipboard held before is still there";
  // Only the text and what the system makes of it on its own.
  for (UINT format : formats)
    EXPECT_TRUE(format == CF_UNICODETEXT || format == CF_TEXT || format == CF_OEMTEXT ||
                format == CF_LOCALE)
        << "unexpected clipboard format " << format;

  // A second click leaves the same.
  ASSERT_TRUE(click_copy_text(controls().copy_text));
  EXPECT_EQ(clipboard_unicode_text(), expected);
  EXPECT_EQ(clipboard_formats(), formats);
}

TEST_F(CopyText, LeavesTheReportItsCaretAndScrollPositionAsTheyWere) {
  HWND report = controls().report;
  SendMessageW(report, EM_SETSEL, 120, 135);
  SendMessageW(report, EM_LINESCROLL, 0, 6);
  const std::wstring text = box_text();
  const LRESULT selection = SendMessageW(report, EM_GETSEL, 0, 0);
  const LRESULT first_line = SendMessageW(report, EM_GETFIRSTVISIBLELINE, 0, 0);
  ASSERT_GT(first_line, 0);

  ASSERT_TRUE(click_copy_text(controls().copy_text));
  EXPECT_EQ(box_text(), text);
  EXPECT_EQ(SendMessageW(report, EM_GETSEL, 0, 0), selection);
  EXPECT_EQ(SendMessageW(report, EM_GETFIRSTVISIBLELINE, 0, 0), first_line);
  SendMessageW(report, WM_VSCROLL, SB_TOP, 0);
}

// The details line tells why the library on the caret's line cannot be
// loaded; the report's text, and what Copy Text takes, stay as they were.
TEST_F(CopyText, DetailsLineTellsWhyWhileTheCopyIsTheReportAlone) {
  const std::wstring before = box_text();
  const std::vector<std::wstring> lines = split(before, L'\r');
  const auto line = std::find_if(lines.begin(), lines.end(), [](const std::wstring& l) {
    return l.starts_with(L"PelkoOcr32.dll    Path:  ");
  });
  ASSERT_NE(line, lines.end());
  ASSERT_TRUE(line->ends_with(L" DLL cannot be loaded"));
  const LRESULT at =
      SendMessageW(controls().report, EM_LINEINDEX, static_cast<WPARAM>(line - lines.begin()), 0);
  SendMessageW(controls().report, EM_SETSEL, static_cast<WPARAM>(at), at + 3);
  std::wstring details;
  EXPECT_TRUE(wait_until([&] {
    details = window_text(controls().details);
    return details.starts_with(L"PelkoOcr32.dll cannot be loaded. Error 1114: ");
  })) << to_utf8(details);

  ASSERT_TRUE(click_copy_text(controls().copy_text));
  EXPECT_EQ(box_text(), before);
  EXPECT_EQ(clipboard_unicode_text(), with_crlf(before));
}

// A clipboard viewer or a remote-desktop client holds the clipboard for a
// moment only: the click waits for it instead of giving up at once.
TEST_F(CopyText, ClipboardHeldForAMomentIsWaitedFor) {
  put_driver_data_on_clipboard(L"held for a moment");
  const DWORD before = GetClipboardSequenceNumber();
  // The program answers at once once it has dealt with all it was sent so
  // far, so the click below reaches it while the clipboard is still held.
  DWORD_PTR answer = 0;
  ASSERT_NE(SendMessageTimeoutW(window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer), 0);
  {
    HeldClipboard held;
    ASSERT_TRUE(held.is_open());
    PostMessageW(controls().copy_text, BM_CLICK, 0, 0);
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
    return GetClipboardSequenceNumber() != before || program().message_box() != nullptr;
  }));
  EXPECT_EQ(program().message_box(), nullptr) << to_utf8(message_box_text(program().message_box()));
  // Opening succeeds only once the program has closed the clipboard again.
  { HeldClipboard settled; }
  EXPECT_EQ(clipboard_unicode_text(), with_crlf(box_text()));
}

// Last: it edits the report.
TEST_F(CopyText, CopiesTheTextAsEditedAtTheMomentOfTheClick) {
  // A note typed at the top of the report, then the click: posted in this
  // order, so the program sees the keys before the click.
  SendMessageW(controls().report, EM_SETSEL, 0, 0);
  for (wchar_t c : std::wstring(L"Note")) PostMessageW(controls().report, WM_CHAR, c, 1);
  post_key(controls().report, VK_RETURN);
  ASSERT_TRUE(click_copy_text(controls().copy_text));

  const std::wstring edited = box_text();
  ASSERT_TRUE(edited.starts_with(L"Note\rSystem files for")) << to_utf8(edited.substr(0, 40));
  EXPECT_EQ(clipboard_unicode_text(), with_crlf(edited));
}

}  // namespace
}  // namespace tarnwick::e2e
