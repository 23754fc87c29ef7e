#pragma once

#include <cstdint>
#include <string>

#include "platform/kernel32.h"

namespace tarnwick {

// The process status functions. Byte counts are as the system reports them.
class Psapi {
 public:
  virtual ~Psapi() = default;

  // Fills `modules` in the process's module order (the executable first)
  // and sets `bytes_needed` to the size of all modules, also when that
  // exceeds `byte_size`.
  virtual bool enum_process_modules(ProcessHandle process,
                                    ModuleHandle* modules,
                                    std::uint32_t byte_size,
                                    std::uint32_t& bytes_needed) = 0;
  // Full path of the module's file; "" when it cannot be read. Through the
  // handle Kernel32::open_process gives for this process's own id it is read
  // within the process, which costs far less than reading another
  // process's memory.
  virtual std::string module_file_name(ProcessHandle process,
                                       ModuleHandle module) = 0;
};

}  // namespace tarnwick
