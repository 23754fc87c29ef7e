#pragma once

#include <string>
#include <vector>

namespace tarnwick {

// A search candidate: folder, a backslash, the name. Plain concatenation,
// so a folder that already ends in "\" (a drive root) doubles the separator.
std::string candidate_path(const std::string& folder, const std::string& name);

// The folders named by a PATH value: every non-empty piece between ";", in
// order, each ending in "\". Nothing is trimmed or unquoted.
std::vector<std::string> split_path_folders(const std::string& path_value);

}  // namespace tarnwick
