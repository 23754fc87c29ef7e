#pragma once

#include "platform/version_library.h"
#include "platform/win32/system_calls.h"

namespace tarnwick::win32 {

class Win32VersionLibrary : public VersionLibrary {
 public:
  std::uint32_t file_version_info_size(const std::string& path) override;
  bool file_version_info(const std::string& path, std::uint32_t size,
                         void* buffer) override;
  bool query_root(const void* block, const void*& record,
                  std::uint32_t& length) override;
};

}  // namespace tarnwick::win32
