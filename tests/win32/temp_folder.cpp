#include "win32/temp_folder.h"

#include <windows.h>

#include <stdexcept>

#include "platform/win32/text.h"

namespace tarnwick::testing {

namespace {

void remove_tree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        remove_tree(full);
      else
        DeleteFileW(full.c_str());  // a library still loaded stays behind
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

TempFolder::TempFolder() {
  wchar_t base[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, base);
  // A library a test left loaded can keep an earlier folder alive, and Wine
  // reuses process ids, so look for a free name.
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    path_ = std::wstring(base) + L"tarnwick_" + std::to_wstring(GetCurrentProcessId()) +
            L"_" + std::to_wstring(++counter);
    if (CreateDirectoryW(path_.c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() { remove_tree(path_); }

std::wstring TempFolder::folder(const std::wstring& relative) const {
  std::wstring full = path_;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find(L'\\', start);
    if (end == std::wstring::npos) end = relative.size();
    full += L"\\" + relative.substr(start, end - start);
    CreateDirectoryW(full.c_str(), nullptr);
    start = end + 1;
  }
  return full;
}

std::wstring TempFolder::copy_fixture(const std::wstring& fixture,
                                      const std::wstring& relative) const {
  const std::wstring target = path_ + L"\\" + relative;
  if (!CopyFileW(fixture_path(fixture).c_str(), target.c_str(), FALSE))
    throw std::runtime_error("cannot copy fixture " + utf8(fixture));
  return target;
}

std::wstring fixture_path(const std::wstring& name) {
  return std::wstring(TARNWICK_FIXTURE_DIR) + L"\\" + name;
}

std::string utf8(const std::wstring& wide) { return win32::to_utf8(wide); }

}  // namespace tarnwick::testing
