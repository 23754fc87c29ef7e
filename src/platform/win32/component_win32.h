#pragma once

#include "platform/component.h"
#include "platform/win32/lazy_binding.h"

namespace tarnwick::win32 {

// Found by the system's own library search, like any other load by name.
class Win32ComponentLibrary : public ComponentLibrary {
 public:
  void KTR_DLL_VERSION(std::int32_t* verBytes, std::int32_t* verMajor,
                       std::int32_t* verMinor) override;

 private:
  LazyLibrary library_{L"KTR_Intel_Win32.dll"};
  LazyProc<void WINAPI(std::int32_t*, std::int32_t*, std::int32_t*)> version_{
      library_, "KTR_DLL_VERSION"};
};

}  // namespace tarnwick::win32
