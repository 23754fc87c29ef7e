#pragma once

// Line helpers every test build shares, narrow or wide: the report keeps its
// lines apart by a lone CR; the clipboard gets CR LF.

#include <string>
#include <vector>

namespace tarnwick::testing {

// "a\rb" -> {"a", "b"}; a text ending in the separator ends in an empty part.
template <typename Char>
std::vector<std::basic_string<Char>> split(const std::basic_string<Char>& text, Char separator) {
  std::vector<std::basic_string<Char>> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::basic_string<Char>::npos) return parts;
    start = end + 1;
  }
}

// Each CR followed by an LF, as the report reaches the clipboard.
template <typename Char>
std::basic_string<Char> with_crlf(const std::basic_string<Char>& text) {
  std::basic_string<Char> out;
  for (Char c : text) {
    out += c;
    if (c == Char('\r')) out += Char('\n');
  }
  return out;
}

}  // namespace tarnwick::testing
