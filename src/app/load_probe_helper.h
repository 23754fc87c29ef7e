#pragma once

namespace tarnwick {

// Whether this start of the program is a load-probe helper: the command line
// ends in the private switch the program itself passes.
bool is_load_probe_helper(const wchar_t* command_line);

// The helper: answers load questions on its standard input and output until
// the input closes, then returns its exit code. It makes no window.
int run_load_probe_helper();

}  // namespace tarnwick
