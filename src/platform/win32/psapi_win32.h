#pragma once

#include <windows.h>

#include "platform/psapi.h"

namespace tarnwick::win32 {

// The process status functions of psapi.dll, bound at their first call
// (system_calls.h), so that a system without them fails only the process
// listing.
class Win32Psapi : public tarnwick::Psapi {
 public:
  bool enum_process_modules(ProcessHandle process, ModuleHandle* modules,
                            std::uint32_t byte_size,
                            std::uint32_t& bytes_needed) override;
  std::string module_file_name(ProcessHandle process,
                               ModuleHandle module) override;
};

}  // namespace tarnwick::win32
