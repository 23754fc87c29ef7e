#pragma once

#include <windows.h>

#include "platform/psapi.h"
#include "platform/win32/lazy_binding.h"

namespace tarnwick::win32 {

// The process status functions of psapi.dll, bound at their first call so
// that a system without them fails only the process listing.
class Win32Psapi : public tarnwick::Psapi {
 public:
  bool enum_processes(std::uint32_t* ids, std::uint32_t byte_size,
                      std::uint32_t& bytes_returned) override;
  bool enum_process_modules(ProcessHandle process, ModuleHandle* modules,
                            std::uint32_t byte_size,
                            std::uint32_t& bytes_needed) override;
  std::string module_file_name(ProcessHandle process,
                               ModuleHandle module) override;

 private:
  using EnumProcessesFn = BOOL WINAPI(DWORD*, DWORD, DWORD*);
  using EnumProcessModulesFn = BOOL WINAPI(HANDLE, HMODULE*, DWORD, DWORD*);
  using GetModuleFileNameExWFn = DWORD WINAPI(HANDLE, HMODULE, wchar_t*, DWORD);

  LazyLibrary library_{L"psapi.dll", LibrarySearch::kSystemFolder};
  LazyProc<EnumProcessesFn> enum_processes_{library_, "EnumProcesses"};
  LazyProc<EnumProcessModulesFn> enum_process_modules_{library_,
                                                       "EnumProcessModules"};
  LazyProc<GetModuleFileNameExWFn> get_module_file_name_ex_{
      library_, "GetModuleFileNameExW"};
};

}  // namespace tarnwick::win32
