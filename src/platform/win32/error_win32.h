#pragma once

#include <windows.h>

#include <string>

#include "platform/error.h"

namespace tarnwick::win32 {

static_assert(win32_error::kNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY &&
              win32_error::kArithmeticOverflow == ERROR_ARITHMETIC_OVERFLOW);

// The system's own wording for an error code, without its trailing line
// break; empty when the system has none.
std::string system_message(DWORD code);

// The error the system reports for the calling thread, as our failure type:
// its code, and `what` followed by the system's own wording.
SystemError last_error(const std::string& source, const std::string& what);

}  // namespace tarnwick::win32
