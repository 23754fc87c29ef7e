#include "platform/win32/system_library.h"

#include <string>

namespace tarnwick::win32 {

HMODULE load_system_library(const wchar_t* file_name) {
  if (HMODULE module = LoadLibraryExW(file_name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    return module;
  // Systems without the search flags (Windows 7 before its update) refuse
  // the flag itself; a full path in the system folder means the same there.
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + file_name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace tarnwick::win32
