#pragma once

#include <windows.h>

#include <string>

#include "platform/kernel32.h"

namespace tarnwick::win32 {

class Win32Kernel32 : public Kernel32 {
 public:
  ModuleHandle module_handle(const std::string& name) override;
  std::string module_path(ModuleHandle module) override;
  ProcessHandle open_process(std::uint32_t access, bool inherit,
                             std::uint32_t process_id) override;
  void close_handle(ProcessHandle handle) override;
  std::uint32_t current_process_id() override;
  std::int32_t platform_id() override;
  std::string environment_variable(const std::string& name) override;
  std::string current_directory() override;
  LocalTime local_time() override;
  std::string short_date(const LocalTime& time) override;
  std::string long_time(const LocalTime& time) override;
};

// The full path of a loaded module's file, of this program's own with none,
// in `process` (this one with none); empty, with the system's error, when it
// cannot be read.
std::wstring module_file_name(HMODULE module, HANDLE process = nullptr);
std::wstring own_file_name();

// The system folder and the Windows folder; empty, with the system's error,
// when they cannot be read.
std::wstring system_folder();
std::wstring windows_folder();

// The full path the system makes of a file name (relative to the current
// folder, "." and ".." resolved, "/" read as "\\"); empty, with the
// system's error, when it makes none.
std::wstring full_path_name(const std::wstring& file);

// The short (8.3) form of an existing file's path; empty, with the system's
// error, when it has none.
std::wstring short_path_name(const std::wstring& file);

// Minutes the local time `time` is ahead of UTC, by the rules of the time
// zone at that date (summer time included).
int utc_offset_minutes(const LocalTime& time);

}  // namespace tarnwick::win32
