#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// Removes spaces (code 32) only, at both ends.
std::string trim_spaces(std::string_view text);

// Upper-cases UTF-8 text: ASCII and the Latin, Greek and Cyrillic letters
// that have a single upper-case form. Anything else is kept as it is, and
// invalid UTF-8 passes through unchanged.
std::string to_upper(std::string_view text);

}  // namespace tarnwick
