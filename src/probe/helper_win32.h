#pragma once

#include <windows.h>

namespace tarnwick::win32 {

// The load-probe helper: a copy of the program's own file, started with a
// private switch, in the same current folder and with the same environment,
// so that a load by bare name searches exactly where the program's own would.

// The switch, followed by the handle values of the helper's input, its
// output and the program it watches.
inline constexpr const wchar_t* kHelperSwitch = L"--tarnwick-load-probe-helper";

// The exit codes of a helper ended by its program once its last answer was
// in, and of one that saw its program end first.
inline constexpr UINT kHelperEndedByProgram = 0x7E4D;
inline constexpr UINT kHelperEndedWithProgram = 0x7E4E;

// Whether this start of the program is a load-probe helper: its command line
// ends in the private switch and the three handle values.
bool is_load_probe_helper(const wchar_t* command_line);

// The helper: takes its token, then answers the questions until its input
// closes or its program ends, and ends itself without running any library's
// unload code. Makes no window.
int run_load_probe_helper();

}  // namespace tarnwick::win32
