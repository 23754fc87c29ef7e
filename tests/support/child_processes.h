#pragma once

#include <windows.h>

#include <vector>

namespace tarnwick::testing {

// The running processes whose parent is `parent`, as the system lists them:
// how a test finds the helpers a program started, and what those started.
std::vector<DWORD> child_processes(DWORD parent);

}  // namespace tarnwick::testing
