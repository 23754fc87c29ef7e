#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace tarnwick {

// One file of a library's name along the search.
struct FileCopy {
  std::string path;
  std::string version;  // "" when the file has none
  std::string machine;  // as the image's header names it; "" when it cannot be read
};

// The machine the file's image header names ("x86", "x64", "arm64", "arm"),
// "unknown" for a file that is no image, "" when it cannot be read.
std::string file_machine(FileSystemObject& fs, const std::string& path);

// Orders two version texts by their numbers, part by part; a missing
// version sorts below any. Negative, zero or positive.
int compare_versions(const std::string& a, const std::string& b);

// The copy with the highest version, the earliest of equals; null when no
// copy has a version.
const FileCopy* newest_copy(const std::vector<FileCopy>& copies);

}  // namespace tarnwick
