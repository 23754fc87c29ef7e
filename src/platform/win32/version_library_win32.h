#pragma once

#include "platform/version_library.h"
#include "platform/win32/lazy_binding.h"

namespace tarnwick::win32 {

class Win32VersionLibrary : public VersionLibrary {
 public:
  std::uint32_t file_version_info_size(const std::string& path) override;
  bool file_version_info(const std::string& path, std::uint32_t size,
                         void* buffer) override;
  bool query_root(const void* block, const void*& record,
                  std::uint32_t& length) override;

 private:
  LazyLibrary library_{L"version.dll", LibrarySearch::kSystemFolder};
  LazyProc<DWORD WINAPI(LPCWSTR, LPDWORD)> size_{library_, "GetFileVersionInfoSizeW"};
  LazyProc<BOOL WINAPI(LPCWSTR, DWORD, DWORD, LPVOID)> info_{library_,
                                                             "GetFileVersionInfoW"};
  LazyProc<BOOL WINAPI(LPCVOID, LPCWSTR, LPVOID*, PUINT)> query_{library_,
                                                                 "VerQueryValueW"};
};

}  // namespace tarnwick::win32
