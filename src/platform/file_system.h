#pragma once

#include <memory>
#include <string>

namespace tarnwick {

// The scripting runtime's file-system object.
class FileSystemObject {
 public:
  virtual ~FileSystemObject() = default;

  static constexpr int kWindowsFolder = 0;
  static constexpr int kSystemFolder = 1;

  // Path of a special folder; a drive root is reported with its backslash.
  virtual std::string special_folder_path(int folder) = 0;
  // True when a file, not a folder, exists at exactly this path.
  virtual bool file_exists(const std::string& path) = 0;
};

class ScriptingRuntime {
 public:
  virtual ~ScriptingRuntime() = default;
  virtual std::unique_ptr<FileSystemObject> create_file_system_object() = 0;
};

}  // namespace tarnwick
