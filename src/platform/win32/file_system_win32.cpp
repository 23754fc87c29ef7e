#include "platform/win32/file_system_win32.h"

#include <windows.h>

#include "platform/error.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

std::string Win32FileSystemObject::special_folder_path(int folder) {
  wchar_t buffer[MAX_PATH + 1] = {};
  UINT length = 0;
  if (folder == kWindowsFolder)
    length = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
  else if (folder == kSystemFolder)
    length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  else
    throw SystemError(ERROR_INVALID_PARAMETER, "FileSystemObject", "There is no special folder of that number");
  if (length == 0 || length > MAX_PATH)
    throw last_error("FileSystemObject", "The special folder cannot be read");
  return to_utf8(std::wstring_view(buffer, length));
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
