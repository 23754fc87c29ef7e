// Pelko_Files.exe: starting the program means creating its one window. The
// window is made hidden, its load event builds the report, and only then is
// it shown. /report and /json build the same report with no window and write
// it to a file; /? tells of them. Any other argument is ignored, save the
// private switch the program gives its own load-probe helper.

#include <windows.h>

#include <exception>
#include <memory>
#include <string>

#include "app/application_win32.h"
#include "app/command_line.h"
#include "app/unattended.h"
#include "common/program_identity.h"
#include "platform/win32/utf16.h"
#include "platform/win32/win32_platform.h"
#include "probe/helper_win32.h"
#include "window/window.h"

namespace {

int run_message_loop(tarnwick::WhatsnewWindow& window) {
  MSG message{};
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 1;
    if (window.translate_message(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// A box of the program's own, for the help text or a failure with no window.
void show_box(const std::wstring& text, UINT kind) {
  MessageBoxW(nullptr, text.c_str(), tarnwick::win32::to_wide(tarnwick::kApplicationTitle).c_str(),
              MB_OK | kind);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  // The program's own helper for load attempts: no window, no report.
  if (tarnwick::win32::is_load_probe_helper(GetCommandLineW()))
    return tarnwick::win32::run_load_probe_helper();
  // The report probes libraries that may be missing or broken; the system
  // must fail those loads quietly instead of asking the user about them.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  tarnwick::CommandLine command_line;
  try {
    try {
      command_line = tarnwick::read_command_line();
    } catch (const std::exception&) {
      // Unreadable switches: the window, as a start without any.
    }
    // Help, and switches the program refuses, run no code of the suite: the
    // helper starts only once the program knows that it will report.
    if (command_line.help && !command_line.unattended()) {
      show_box(tarnwick::command_line_help(), MB_ICONINFORMATION);
      return 0;
    }
    tarnwick::Win32Application app;
    auto platform = std::make_unique<tarnwick::win32::Win32Platform>(app);
    if (command_line.unattended())
      return tarnwick::run_unattended(command_line, platform->platform);
    // The helper starts first, with the component question, so that its
    // start and its loads overlap the making of the window.
    platform->load_probe.start();
    auto window = tarnwick::WhatsnewWindow::create(instance, platform->platform,
                                                   platform->window_system);
    window->load();
    window->show(show_command);
    return run_message_loop(*window);
  } catch (const std::exception& error) {
    // No box in a run meant for nobody: it would wait for a click forever.
    if (command_line.unattended()) return tarnwick::kNotWritten;
    show_box(tarnwick::win32::to_wide(error.what()), 0);
  }
  return 1;
}
