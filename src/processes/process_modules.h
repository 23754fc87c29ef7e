#pragma once

#include <cstdint>
#include <string>

#include "platform/controls.h"
#include "platform/kernel32.h"
#include "platform/psapi.h"
#include "platform/window_system.h"

namespace tarnwick {

constexpr std::int32_t kPlatformNt = 2;

// Fills `list` with the upper-case paths of the ".DLL" modules of this
// process, found among the running processes by its id, when its executable
// has the file name `exe_file_name`.
// Returns true when `list` ends up empty. Failures are raised again with the
// description "ProcessInfo".
bool list_process_modules(Kernel32& kernel32, Psapi& psapi,
                          WindowSystem& window_system,
                          std::string exe_file_name, ListBox& list);

std::int32_t get_platform_id(Kernel32& kernel32);
std::string get_file_name_upper(const std::string& path);
std::int16_t count_fields(const std::string& text, const std::string& delimiter);
std::string get_field(const std::string& text, const std::string& delimiter,
                      std::int32_t row, std::int32_t row_width,
                      std::int32_t column);

}  // namespace tarnwick
