#include "platform/win32/component_win32.h"

#include <cstdio>

#include "platform/win32/fault_guard.h"

namespace tarnwick::win32 {

namespace {

struct VersionCall {
  void(WINAPI* query)(std::int32_t*, std::int32_t*, std::int32_t*);
  std::int32_t* bytes;
  std::int32_t* major;
  std::int32_t* minor;
};

void call_version(void* context) {
  auto* call = static_cast<VersionCall*>(context);
  call->query(call->bytes, call->major, call->minor);
}

}  // namespace

// The library is foreign code: a fault inside it is a failure of the query,
// not the end of the program.
void Win32ComponentLibrary::KTR_DLL_VERSION(std::int32_t* verBytes,
                                            std::int32_t* verMajor,
                                            std::int32_t* verMinor) {
  VersionCall call{version_.bind(), verBytes, verMajor, verMinor};
  if (const DWORD code = run_guarded(call_version, &call)) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(code));
    throw SystemError(static_cast<long>(code), "KTR_Intel_Win32.dll",
                      std::string("KTR_DLL_VERSION ended with exception ") + hex);
  }
}

}  // namespace tarnwick::win32
