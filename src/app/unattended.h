#pragma once

#include "app/command_line.h"
#include "platform/win32/win32_platform.h"

namespace tarnwick {

enum UnattendedExit : int {
  kReportComplete = 0,
  kReportStopped = 1,  // the load stopped at a failure; what it found is written
  kNotWritten = 2,     // wrong switches, or a FILE that could not be written
};

// Builds the report as the window's load would, with no window and no
// message box, writes what the command line asks for and returns the exit
// code. Never raises and never waits for a user.
int run_unattended(const CommandLine& command_line, win32::Win32Platform& platform);

}  // namespace tarnwick
