#pragma once

#include <string>
#include <string_view>

namespace tarnwick::win32 {

// The logic keeps UTF-8; the platform speaks UTF-16 at the boundary.
std::wstring to_wide(std::string_view utf8);
std::string to_utf8(std::wstring_view wide);

}  // namespace tarnwick::win32
