#include "platform/win32/psapi_win32.h"

#include <algorithm>
#include <vector>

#include "platform/win32/kernel32_win32.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

namespace {

namespace calls = system_calls;

HANDLE as_handle(ProcessHandle process) { return reinterpret_cast<HANDLE>(process); }
HMODULE as_module(ModuleHandle module) { return reinterpret_cast<HMODULE>(module); }

// Byte counts pass through unchanged only while both sides agree on this.
static_assert(sizeof(ModuleHandle) == sizeof(HMODULE));

}  // namespace

bool Win32Psapi::enum_process_modules(ProcessHandle process, ModuleHandle* modules,
                                      std::uint32_t byte_size,
                                      std::uint32_t& bytes_needed) {
  std::vector<HMODULE> buffer(byte_size / sizeof(ModuleHandle), nullptr);
  DWORD needed = 0;
  const BOOL ok = calls::EnumProcessModules(
      as_handle(process), buffer.data(),
      static_cast<DWORD>(buffer.size() * sizeof(HMODULE)), &needed);
  if (ok == FALSE) return false;
  const std::size_t stored = std::min<std::size_t>(buffer.size(), needed / sizeof(HMODULE));
  for (std::size_t i = 0; i < stored; ++i)
    modules[i] = reinterpret_cast<ModuleHandle>(buffer[i]);
  bytes_needed = needed;
  return true;
}

std::string Win32Psapi::module_file_name(ProcessHandle process, ModuleHandle module) {
  return to_utf8(win32::module_file_name(as_module(module), as_handle(process)));
}

}  // namespace tarnwick::win32
