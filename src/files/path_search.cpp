#include "files/path_search.h"

namespace tarnwick {

std::string candidate_path(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

std::vector<std::string> split_path_folders(const std::string& path_value) {
  std::vector<std::string> folders;
  std::size_t start = 0;
  while (start <= path_value.size()) {
    std::size_t end = path_value.find(';', start);
    if (end == std::string::npos) end = path_value.size();
    std::string piece = path_value.substr(start, end - start);
    // ";;" and a trailing ";" name no folder; searching them would only
    // probe the root of the current drive.
    if (!piece.empty()) {
      if (piece.back() != '\\') piece += '\\';
      folders.push_back(std::move(piece));
    }
    start = end + 1;
  }
  return folders;
}

}  // namespace tarnwick
