#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

// Handles travel through the logic as plain numbers; 0 means "none".
using ModuleHandle = std::uintptr_t;
using ProcessHandle = std::uintptr_t;

struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The kernel functions the logic calls. Text is UTF-8 here; the Win32
// implementation uses the UTF-16 entry points so that names outside the
// ANSI code page survive.
class Kernel32 {
 public:
  virtual ~Kernel32() = default;

  // Handle of a module already loaded in this process, or 0.
  virtual ModuleHandle module_handle(const std::string& name) = 0;
  // The full path of the file a module of this process was loaded from; ""
  // when it cannot be read.
  virtual std::string module_path(ModuleHandle module) = 0;

  // 0 when the process cannot be opened. This process's own id gives a
  // handle through which it is read from within; closing that one is a no-op.
  virtual ProcessHandle open_process(std::uint32_t access, bool inherit,
                                     std::uint32_t process_id) = 0;
  virtual void close_handle(ProcessHandle handle) = 0;
  virtual std::uint32_t current_process_id() = 0;
  // The platform identifier of the version query (2 for the NT family),
  // or 0 when the query fails.
  virtual std::int32_t platform_id() = 0;

  // "" when the variable is not set.
  virtual std::string environment_variable(const std::string& name) = 0;
  virtual std::string current_directory() = 0;

  virtual LocalTime local_time() = 0;
  // The user's regional short date and long time forms.
  virtual std::string short_date(const LocalTime& time) = 0;
  virtual std::string long_time(const LocalTime& time) = 0;
};

}  // namespace tarnwick
