#pragma once

// Reading windows the way both Win32 test programs do, in-process or across
// processes.

#include <windows.h>

#include <string>

namespace tarnwick::testing {

// Why a window test fails where Wine has no X server to make windows on.
constexpr const char* kNoDisplay =
    "no display: windows cannot be created here, run the tests inside Xvfb";

// The screen's resolution, as a program that is DPI aware sees it.
int screen_dpi();
std::wstring class_name(HWND window);
// WM_GETTEXT, which the system carries across processes; empty when the
// window does not answer in time.
std::wstring window_text(HWND window);

}  // namespace tarnwick::testing
