#pragma once

#include "app/command_line.h"
#include "platform/platform.h"

namespace tarnwick {

enum UnattendedExit : int {
  kReportComplete = 0,
  kReportStopped = 1,  // the load stopped at a failure; what it found is written
  kNotWritten = 2,     // wrong switches, or a FILE that could not be written
};

// Builds the report as the window's load would, on `platform` with its
// window system replaced by one that shows nothing and tells the standard
// error instead, writes what the command line asks for and returns the exit
// code. Never raises and never waits for a user.
int run_unattended(const CommandLine& command_line, const Platform& platform);

}  // namespace tarnwick
