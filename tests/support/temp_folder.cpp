#include "support/temp_folder.h"

#include <windows.h>

#include <string>
#include <system_error>

namespace tarnwick::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  wchar_t base[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, base);
  // Wine reuses process ids, and a folder an earlier run could not remove may
  // still be there: look for a free name.
  static int serial = 0;
  for (;;) {
    path_ = fs::path(base) / (L"tarnwick_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::to_wstring(++serial));
    if (fs::create_directory(path_)) break;
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path TempFolder::folder(const fs::path& relative) const {
  const fs::path folder = path_ / relative;
  fs::create_directories(folder);
  return folder;
}

}  // namespace tarnwick::testing
