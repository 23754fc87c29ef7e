#include "platform/win32/psapi_win32.h"

#include <algorithm>
#include <vector>

#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

namespace {

// The longest path the system's wide entry points can hand out.
constexpr DWORD kLongestPath = 32768;

HANDLE as_handle(ProcessHandle process) { return reinterpret_cast<HANDLE>(process); }
HMODULE as_module(ModuleHandle module) { return reinterpret_cast<HMODULE>(module); }

// Byte counts pass through unchanged only while both sides agree on this.
static_assert(sizeof(ModuleHandle) == sizeof(HMODULE));

}  // namespace

bool Win32Psapi::enum_processes(std::uint32_t* ids, std::uint32_t byte_size,
                                std::uint32_t& bytes_returned) {
  std::vector<DWORD> buffer(byte_size / sizeof(DWORD), 0);
  DWORD stored = 0;
  const BOOL ok = enum_processes_(buffer.data(),
                                  static_cast<DWORD>(buffer.size() * sizeof(DWORD)),
                                  &stored);
  stored = std::min<DWORD>(stored, static_cast<DWORD>(buffer.size() * sizeof(DWORD)));
  std::copy_n(buffer.begin(), stored / sizeof(DWORD), ids);
  bytes_returned = stored;
  return ok != FALSE;
}

bool Win32Psapi::enum_process_modules(ProcessHandle process, ModuleHandle* modules,
                                      std::uint32_t byte_size,
                                      std::uint32_t& bytes_needed) {
  std::vector<HMODULE> buffer(byte_size / sizeof(ModuleHandle), nullptr);
  DWORD needed = 0;
  const BOOL ok = enum_process_modules_(
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
  // Only the pseudo handle names this process without a question to the
  // system per module; a real handle to it still reads the same paths.
  const bool own = as_handle(process) == GetCurrentProcess();
  // A path that fills the buffer may have been cut short: ask again with
  // more room.
  for (DWORD capacity = MAX_PATH;; capacity *= 2) {
    std::wstring buffer(capacity, L'\0');
    const DWORD length =
        own ? GetModuleFileNameW(as_module(module), buffer.data(), capacity)
            : get_module_file_name_ex_(as_handle(process), as_module(module),
                                       buffer.data(), capacity);
    if (length == 0) return {};
    if (length + 1 < capacity || capacity >= kLongestPath) {
      buffer.resize(std::min(length, capacity));
      return to_utf8(buffer);
    }
  }
}

}  // namespace tarnwick::win32
