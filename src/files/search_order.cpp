#include "files/search_order.h"

#include <exception>
#include <set>

#include "common/trim_and_upper.h"

namespace tarnwick {

namespace {

std::string_view place_words(SearchPlace place) {
  switch (place) {
    case SearchPlace::program_folder:
      return "the program's folder";
    case SearchPlace::system_folder:
      return "the system folder";
    case SearchPlace::system16_folder:
      return "the 16-bit system folder";
    case SearchPlace::windows_folder:
      return "the Windows folder";
    case SearchPlace::current_folder:
      return "the current folder";
    case SearchPlace::path_folders:
      break;
  }
  return "PATH's folders";
}

}  // namespace

std::string order_words(std::span<const SearchPlace> order) {
  std::string words;
  for (SearchPlace place : order) {
    if (!words.empty()) words += ", ";
    words += place_words(place);
  }
  return words;
}

std::vector<std::string> SearchFolders::at(SearchPlace place) const {
  switch (place) {
    case SearchPlace::program_folder:
      return {program};
    case SearchPlace::system_folder:
      return {system};
    case SearchPlace::system16_folder:
      return {windows.empty() ? std::string() : candidate_path(windows, "System")};
    case SearchPlace::windows_folder:
      return {windows};
    case SearchPlace::current_folder:
      return {current};
    case SearchPlace::path_folders:
      break;
  }
  return path;
}

std::string candidate_path(std::string_view folder, std::string_view name) {
  std::string candidate;
  candidate.reserve(folder.size() + 1 + name.size());
  return candidate.append(folder).append("\\").append(name);
}

std::vector<std::string> split_path_folders(std::string_view path_value) {
  std::vector<std::string> folders;
  std::size_t start = 0;
  while (start <= path_value.size()) {
    std::size_t end = path_value.find(';', start);
    if (end == std::string_view::npos) end = path_value.size();
    std::string_view piece = path_value.substr(start, end - start);
    // ";;" and a trailing ";" name no folder; searching them would only
    // probe the root of the current drive.
    if (!piece.empty()) {
      if (piece.back() == '\\') piece.remove_suffix(1);
      folders.emplace_back(piece);
    }
    start = end + 1;
  }
  return folders;
}

std::string folder_key(std::string_view folder) {
  if (!folder.empty() && folder.back() == '\\') folder.remove_suffix(1);
  return to_upper(folder);
}

std::string first_found(std::span<const SearchPlace> order, std::string_view name,
                        const FoldersAt& folders_at, const FileExists& exists) {
  for (SearchPlace place : order)
    for (const std::string& folder : folders_at(place)) {
      std::string candidate = candidate_path(folder, name);
      if (exists(candidate)) return candidate;
    }
  return "";
}

std::vector<std::string> every_found(std::span<const SearchPlace> order, std::string_view name,
                                     const FoldersAt& folders_at, const FileExists& exists) {
  std::vector<std::string> found;
  std::set<std::string> searched;
  for (SearchPlace place : order) {
    std::vector<std::string> folders;
    try {
      folders = folders_at(place);
    } catch (const std::exception&) {
      continue;
    }
    for (const std::string& folder : folders) {
      if (!searched.insert(folder_key(folder)).second) continue;
      std::string candidate = candidate_path(folder, name);
      try {
        if (exists(candidate)) found.push_back(std::move(candidate));
      } catch (const std::exception&) {
      }
    }
  }
  return found;
}

}  // namespace tarnwick
