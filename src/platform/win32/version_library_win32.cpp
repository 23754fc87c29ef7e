#include "platform/win32/version_library_win32.h"

#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

std::uint32_t Win32VersionLibrary::file_version_info_size(const std::string& path) {
  DWORD ignored = 0;
  return size_(to_wide(path).c_str(), &ignored);
}

bool Win32VersionLibrary::file_version_info(const std::string& path,
                                            std::uint32_t size, void* buffer) {
  return info_(to_wide(path).c_str(), 0, size, buffer) != FALSE;
}

bool Win32VersionLibrary::query_root(const void* block, const void*& record,
                                     std::uint32_t& length) {
  void* found = nullptr;
  UINT found_length = 0;
  if (!query_(block, L"\\", &found, &found_length)) return false;
  record = found;
  length = found_length;
  return true;
}

}  // namespace tarnwick::win32
