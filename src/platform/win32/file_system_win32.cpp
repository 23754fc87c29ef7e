#include "platform/win32/file_system_win32.h"

#include <windows.h>

#include "platform/error.h"
#include "platform/win32/error_win32.h"
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

std::unique_ptr<FileSystemObject> Win32ScriptingRuntime::create_file_system_object() {
  return std::make_unique<Win32FileSystemObject>();
}

}  // namespace tarnwick::win32
