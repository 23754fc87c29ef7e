#pragma once

#include <string_view>

namespace tarnwick {

// A path's last component and the folder before it, at its last backslash
// or slash: the file system takes either. Narrow and wide, one rule.

namespace path_text_detail {

template <typename Char>
std::size_t last_separator(std::basic_string_view<Char> path) {
  constexpr Char kSeparators[] = {Char('\\'), Char('/'), Char(0)};
  return path.find_last_of(kSeparators);
}

template <typename Char>
std::basic_string_view<Char> file_name_part(std::basic_string_view<Char> path) {
  const std::size_t at = last_separator(path);
  return at == std::basic_string_view<Char>::npos ? path : path.substr(at + 1);
}

template <typename Char>
std::basic_string_view<Char> folder_part(std::basic_string_view<Char> path) {
  const std::size_t at = last_separator(path);
  return at == std::basic_string_view<Char>::npos ? std::basic_string_view<Char>() : path.substr(0, at);
}

}  // namespace path_text_detail

// The text after the last separator; the whole path when it has none.
inline std::string_view file_name_part(std::string_view path) {
  return path_text_detail::file_name_part(path);
}
inline std::wstring_view file_name_part(std::wstring_view path) {
  return path_text_detail::file_name_part(path);
}

// The text before the last separator; "" when there is none.
inline std::string_view folder_part(std::string_view path) {
  return path_text_detail::folder_part(path);
}
inline std::wstring_view folder_part(std::wstring_view path) {
  return path_text_detail::folder_part(path);
}

}  // namespace tarnwick
