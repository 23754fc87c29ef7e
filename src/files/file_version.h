#pragma once

#include <cstdint>
#include <string>

#include "platform/version_library.h"

namespace tarnwick {

std::uint16_t hi_word(std::uint32_t value);
std::uint16_t lo_word(std::uint32_t value);

// The file version as "major.minor.build.revision", or "" when the file has
// no readable version information. Never raises.
std::string get_file_version(VersionLibrary& version, const std::string& path);

}  // namespace tarnwick
