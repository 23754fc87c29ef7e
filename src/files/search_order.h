#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

// The one model of a search for a library named without a folder: where it
// looks, in what order, how a folder and the name make a candidate, and when
// two folder texts name the same folder. The report's search and the
// loader's, as the failed-load explanation retraces it, both take it from
// here.

enum class SearchPlace {
  program_folder,
  system_folder,
  system16_folder,  // the Windows folder's "System": the loader's alone
  windows_folder,
  current_folder,
  path_folders,
};

// The report's five stages.
inline constexpr SearchPlace kReportOrder[] = {
    SearchPlace::program_folder, SearchPlace::system_folder, SearchPlace::windows_folder,
    SearchPlace::current_folder, SearchPlace::path_folders};
// The loader's standard order with safe search on, for a load by name.
inline constexpr SearchPlace kLoaderOrder[] = {
    SearchPlace::program_folder, SearchPlace::system_folder,  SearchPlace::system16_folder,
    SearchPlace::windows_folder, SearchPlace::current_folder, SearchPlace::path_folders};

// The places of `order` as the user reads them: "the program's folder, the
// system folder, ..., PATH's folders".
std::string order_words(std::span<const SearchPlace> order);

// What each place is on one machine. PATH's folders as split_path_folders
// gives them.
struct SearchFolders {
  std::string program;
  std::string system;
  std::string windows;
  std::string current;
  std::vector<std::string> path;

  std::vector<std::string> at(SearchPlace place) const;
};

// The folders of one place, asked for only when the search reaches it.
using FoldersAt = std::function<std::vector<std::string>(SearchPlace)>;
// Whether a file exists at exactly this candidate path; may raise.
using FileExists = std::function<bool(const std::string&)>;

// Folder, a backslash, the name: plain concatenation, so a folder that
// already ends in "\" (a drive root) doubles the separator.
std::string candidate_path(std::string_view folder, std::string_view name);

// The folders a PATH value names: every non-empty piece between ";", in
// order, nothing trimmed or unquoted. One trailing backslash is taken off,
// since the candidate adds it back: "C:\Bin\" and "C:\Bin" search alike.
std::vector<std::string> split_path_folders(std::string_view path_value);

// The text under which two spellings of one folder are equal: folded as the
// file system folds names, without a trailing backslash.
std::string folder_key(std::string_view folder);

// The first existing candidate along `order`, or "". A failure of `exists`
// passes on: the first copy is the one a search must not guess at.
std::string first_found(std::span<const SearchPlace> order, std::string_view name,
                        const FoldersAt& folders_at, const FileExists& exists);

// Every existing candidate along `order`, a folder named twice (however
// spelt, see folder_key) searched once. A place whose folders cannot be
// told, or a folder whose test raises, is passed over: what cannot be read
// is no copy to tell of.
std::vector<std::string> every_found(std::span<const SearchPlace> order, std::string_view name,
                                     const FoldersAt& folders_at, const FileExists& exists);

}  // namespace tarnwick
