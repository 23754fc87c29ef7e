#pragma once

#include <windows.h>

namespace tarnwick::win32 {

// Loads a library of the system from the system folder only, never by the
// search that starts in the program's folder: a library of that name planted
// beside the program (in a downloads folder, say) must not run. Null on
// failure, with the system's error.
HMODULE load_system_library(const wchar_t* file_name);

}  // namespace tarnwick::win32
