#include "platform/win32/file_system_win32.h"

#include <windows.h>

#include <algorithm>

#include "platform/error.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/kernel32_win32.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

std::string Win32FileSystemObject::special_folder_path(int folder) {
  std::wstring path;
  if (folder == kWindowsFolder)
    path = windows_folder();
  else if (folder == kSystemFolder)
    path = system_folder();
  else
    throw SystemError(ERROR_INVALID_PARAMETER, "FileSystemObject", "There is no special folder of that number");
  if (path.empty()) throw last_error("FileSystemObject", "The special folder cannot be read");
  return to_utf8(path);
}

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32FileSystemObject::file_exists(const std::string& path) {
  return is_file(to_wide(path));
}

std::optional<std::vector<std::uint8_t>> Win32FileSystemObject::read_start(const std::string& path,
                                                                          std::size_t most) {
  const ScopedHandle file(CreateFileW(to_wide(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes(most);
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + filled, wanted, &read, nullptr)) return std::nullopt;
    if (read == 0) break;
    filled += read;
  }
  bytes.resize(filled);
  return bytes;
}

std::unique_ptr<FileSystemObject> Win32ScriptingRuntime::create_file_system_object() {
  return std::make_unique<Win32FileSystemObject>();
}

}  // namespace tarnwick::win32
