#pragma once

#include <string>

#include "platform/file_system.h"

namespace tarnwick::win32 {

// True when a file, not a folder, exists at exactly this path.
bool is_file(const std::wstring& path);

class Win32FileSystemObject : public FileSystemObject {
 public:
  std::string special_folder_path(int folder) override;
  bool file_exists(const std::string& path) override;
  std::optional<std::vector<std::uint8_t>> read_start(const std::string& path,
                                                      std::size_t most) override;
};

class Win32ScriptingRuntime : public ScriptingRuntime {
 public:
  std::unique_ptr<FileSystemObject> create_file_system_object() override;
};

}  // namespace tarnwick::win32
