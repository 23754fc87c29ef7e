#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/kernel32.h"
#include "platform/psapi.h"

namespace tarnwick {

constexpr std::int32_t kPlatformNt = 2;

// The upper-case paths of the ".DLL" modules of this process, in its module
// order. Nothing outside the NT family, or when the process cannot be opened
// or listed. Failures are raised again with the description "ProcessInfo".
std::vector<std::string> list_process_modules(Kernel32& kernel32, Psapi& psapi);

}  // namespace tarnwick
