#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

// The version information library.
class VersionLibrary {
 public:
  virtual ~VersionLibrary() = default;

  // Size in bytes of the file's version information; 0 when there is none
  // or the file cannot be read.
  virtual std::uint32_t file_version_info_size(const std::string& path) = 0;
  // Fills `buffer` with up to `size` bytes; false on failure.
  virtual bool file_version_info(const std::string& path, std::uint32_t size,
                                 void* buffer) = 0;
  // Locates the root block's fixed file information inside `block`.
  virtual bool query_root(const void* block, const void*& record,
                          std::uint32_t& length) = 0;
};

}  // namespace tarnwick
