#include "support/build_paths.h"

#include "platform/win32/text.h"

namespace tarnwick::testing {

std::wstring native_path(std::string_view build_path) {
  std::wstring path = win32::to_wide(build_path);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  if (path.size() > 1 && path[0] == L'\\' && path[1] != L'\\') path = L"Z:" + path;
  return path;
}

std::filesystem::path fixture_file(const wchar_t* name) {
  const std::string_view folder = TARNWICK_FIXTURE_FOLDER;
  if (folder.empty()) return {};
  return std::filesystem::path(native_path(folder)) / name;
}

}  // namespace tarnwick::testing
