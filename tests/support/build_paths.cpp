#include "support/build_paths.h"

#include <cwchar>

#include "platform/win32/utf16.h"

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

std::vector<std::filesystem::path> lay_out_many_modules(const std::filesystem::path& folder,
                                                        int count) {
  namespace fs = std::filesystem;
  const fs::path standin = fixture_file(L"ktr_standin_many.dll");
  const fs::path extra = fixture_file(L"many_extra.dll");
  if (standin.empty() || !fs::exists(standin) || !fs::exists(extra)) return {};
  fs::copy_file(standin, folder / L"KTR_Intel_Win32.dll", fs::copy_options::overwrite_existing);
  // Copies, not links: the loader takes two names of one file for one module.
  std::vector<fs::path> extras;
  for (int i = 0; i < count; ++i) {
    wchar_t name[32];
    std::swprintf(name, 32, L"many_extra_%04d.dll", i);
    extras.push_back(folder / name);
    fs::copy_file(extra, extras.back(), fs::copy_options::overwrite_existing);
  }
  return extras;
}

}  // namespace tarnwick::testing
