// The window from the keyboard, and the ways the program ends.

#include <string>
#include <vector>

#include "driver.h"

namespace tarnwick::e2e {
namespace {

class Keyboard : public ProgramTest {
 protected:
  bool focus_reaches(HWND control) const {
    return wait_until([&] { return focused_control(*program_) == control; });
  }
  // Tab from the focused control; true once the focus has arrived at `next`.
  bool tab_to(HWND next) const {
    post_key(focused_control(*program_), VK_TAB);
    return focus_reaches(next);
  }
};

// The details line takes no focus: Tab passes from the module list straight
// to "Copy Text".
TEST_F(Keyboard, TabWalksDoneReportListCopyTextAndRoundAgain) {
  start();
  ASSERT_NE(window(), nullptr);
  ASSERT_TRUE(focus_reaches(controls_.done));
  EXPECT_TRUE(tab_to(controls_.report)) << "Done -> report";
  EXPECT_TRUE(tab_to(controls_.list)) << "report -> module list";
  EXPECT_TRUE(tab_to(controls_.copy_text)) << "module list -> Copy Text";
  EXPECT_TRUE(tab_to(controls_.done)) << "Copy Text -> Done";
}

TEST_F(Keyboard, SpaceOnDoneEndsTheProgramWithExitCodeZero) {
  start();
  ASSERT_NE(window(), nullptr);
  ASSERT_TRUE(focus_reaches(controls_.done));
  post_key(controls_.done, VK_SPACE);
  EXPECT_EQ(program_->wait_for_exit(), 0u);
}

TEST_F(Keyboard, EnterOnDoneEndsTheProgramWithExitCodeZero) {
  start();
  ASSERT_NE(window(), nullptr);
  ASSERT_TRUE(focus_reaches(controls_.done));
  post_key(controls_.done, VK_RETURN);
  EXPECT_EQ(program_->wait_for_exit(), 0u);
}

TEST_F(Keyboard, EnterOnCopyTextCopiesTheReport) {
  start();
  ASSERT_NE(window(), nullptr);
  ASSERT_TRUE(focus_reaches(controls_.done));
  ASSERT_TRUE(tab_to(controls_.report));
  ASSERT_TRUE(tab_to(controls_.list));
  ASSERT_TRUE(tab_to(controls_.copy_text));
  put_driver_data_on_clipboard(L"before");
  const DWORD before = GetClipboardSequenceNumber();
  post_key(controls_.copy_text, VK_RETURN);
  ASSERT_TRUE(wait_until([&] { return GetClipboardSequenceNumber() != before; }));
  const auto copied = clipboard_unicode_text();
  ASSERT_TRUE(copied.has_value());
  EXPECT_TRUE(copied->starts_with(L"System files for Pelko_Files")) << to_utf8(*copied);
  EXPECT_TRUE(program_->running());
}

// Each Escape is followed by a Tab: once the Tab has moved the focus, the
// program has dealt with the Escape before it.
TEST_F(Keyboard, EscapeDoesNothingOnTheButtonsTheListOrInTheReport) {
  start();
  ASSERT_NE(window(), nullptr);
  ASSERT_TRUE(focus_reaches(controls_.done));
  const std::wstring report = report_text(*program_, controls_.report);

  post_key(controls_.done, VK_ESCAPE);
  EXPECT_TRUE(tab_to(controls_.report));
  post_key(controls_.report, VK_ESCAPE);
  EXPECT_TRUE(tab_to(controls_.list));
  post_key(controls_.list, VK_ESCAPE);
  EXPECT_TRUE(tab_to(controls_.copy_text));
  post_key(controls_.copy_text, VK_ESCAPE);
  EXPECT_TRUE(tab_to(controls_.done));

  EXPECT_TRUE(program_->running());
  EXPECT_TRUE(IsWindowVisible(window()));
  EXPECT_EQ(program_->message_box(), nullptr);
  EXPECT_EQ(report_text(*program_, controls_.report), report);
}

// Typed on the keyboard, not posted: the box reads the Ctrl key's state,
// which only real input sets. The window must be in the foreground for that.
TEST_F(Keyboard, CtrlAThenCtrlCInTheReportCopiesAllOfIt) {
  start();
  ASSERT_NE(window(), nullptr);
  ASSERT_TRUE(focus_reaches(controls_.done));
  ASSERT_TRUE(tab_to(controls_.report));
  SetForegroundWindow(window());
  if (!wait_until([&] { return GetForegroundWindow() == window(); }))
    GTEST_SKIP() << "the window cannot be brought to the foreground here";

  const DWORD before = GetClipboardSequenceNumber();
  std::vector<INPUT> keys;
  for (auto [key, up] : {std::pair{VK_CONTROL, false}, {'A', false}, {'A', true}, {'C', false},
                         {'C', true}, {VK_CONTROL, true}}) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(key);
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    keys.push_back(input);
  }
  ASSERT_EQ(SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT)), keys.size());
  ASSERT_TRUE(wait_until([&] { return GetClipboardSequenceNumber() != before; }))
      << "nothing was copied";
  const auto copied = clipboard_unicode_text();
  ASSERT_TRUE(copied.has_value());
  EXPECT_EQ(*copied, with_crlf(report_text(*program_, controls_.report)));
}

using Ending = ProgramTest;

TEST_F(Ending, DoneEndsTheProgramWithExitCodeZero) {
  start();
  ASSERT_NE(window(), nullptr);
  PostMessageW(controls_.done, BM_CLICK, 0, 0);
  EXPECT_EQ(program_->wait_for_exit(), 0u);
}

TEST_F(Ending, ClosingTheWindowEndsTheProgram) {
  start();
  ASSERT_NE(window(), nullptr);
  PostMessageW(window(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(program_->wait_for_exit(), 0u);
}

}  // namespace
}  // namespace tarnwick::e2e
