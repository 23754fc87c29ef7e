#pragma once

#include <cstdint>
#include <string>

#include "platform/version_library.h"

namespace tarnwick {

// The file version as "major.minor.build.revision", or "" when the file has
// no readable version information. Never raises.
std::string get_file_version(VersionLibrary& version, const std::string& path);

}  // namespace tarnwick
