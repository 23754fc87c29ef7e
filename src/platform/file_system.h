#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
  // Up to `most` bytes from the file's start, shared with anyone who has it
  // open; none when it cannot be read.
  virtual std::optional<std::vector<std::uint8_t>> read_start(const std::string& path,
                                                              std::size_t most) = 0;
};

class ScriptingRuntime {
 public:
  virtual ~ScriptingRuntime() = default;
  virtual std::unique_ptr<FileSystemObject> create_file_system_object() = 0;
};

}  // namespace tarnwick
