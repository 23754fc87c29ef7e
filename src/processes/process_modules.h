#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/kernel32.h"
#include "platform/psapi.h"

namespace tarnwick {

constexpr std::int32_t kPlatformNt = 2;

// The upper-case paths of the ".DLL" modules of this process, in its module
// order. The process is found among the running processes by its id, and
// counts only when its executable has the file name `exe_file_name`. Nothing
// outside the NT family, or when the process cannot be opened or listed.
// Failures are raised again with the description "ProcessInfo".
std::vector<std::string> list_process_modules(Kernel32& kernel32, Psapi& psapi,
                                              std::string exe_file_name);

std::string get_file_name_upper(const std::string& path);
std::int16_t count_fields(const std::string& text, const std::string& delimiter);
std::string get_field(const std::string& text, const std::string& delimiter,
                      std::int32_t row, std::int32_t row_width,
                      std::int32_t column);

}  // namespace tarnwick
