#pragma once

#include <windows.h>

namespace tarnwick::win32 {

// Runs `call(context)` so that a processor fault inside it (an access
// violation, an illegal instruction, a division by zero, any structured
// exception nobody below handles) ends the call instead of the process.
// Returns 0 when the call returned, else the exception code that ended it.
// An exception the callee handles itself stays its own: the guard is only
// asked once no handler of the callee has taken it. Not re-entrant; the
// callee's C++ objects on the abandoned stack are not destroyed, so guard
// only foreign code that owns nothing of ours.
DWORD run_guarded(void (*call)(void*), void* context);

}  // namespace tarnwick::win32
