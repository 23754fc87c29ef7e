#pragma once

#include <array>
#include <string_view>

namespace tarnwick {

// The suite's libraries, shown exactly as stored: five core libraries first,
// then the rest in alphabetical order with letter case ignored.
extern const std::array<std::string_view, 37> kSystemFileTable;

}  // namespace tarnwick
