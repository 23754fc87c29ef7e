#include "platform/win32/component_win32.h"

#include <cstdio>
#include <exception>

#include "platform/win32/fault_guard.h"

namespace tarnwick::win32 {

namespace {

using VersionQuery = LazyProc<void WINAPI(std::int32_t*, std::int32_t*, std::int32_t*)>;

struct VersionCall {
  VersionQuery& query;
  std::int32_t* bytes;
  std::int32_t* major;
  std::int32_t* minor;
  std::exception_ptr not_bound;
};

// The library's first load runs its initialisation, foreign code as much as
// the call: both happen in here.
void load_and_call(void* context) {
  auto* call = static_cast<VersionCall*>(context);
  decltype(call->query.bind()) query = nullptr;
  try {
    query = call->query.bind();
  } catch (...) {
    call->not_bound = std::current_exception();
    return;
  }
  query(call->bytes, call->major, call->minor);
}

}  // namespace

// The library is foreign code: a fault inside it is a failure of the query,
// not the end of the program.
void Win32ComponentLibrary::KTR_DLL_VERSION(std::int32_t* verBytes,
                                            std::int32_t* verMajor,
                                            std::int32_t* verMinor) {
  VersionCall call{version_, verBytes, verMajor, verMinor, nullptr};
  if (const DWORD code = run_guarded(load_and_call, &call)) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(code));
    throw SystemError(static_cast<long>(code), "KTR_Intel_Win32.dll",
                      std::string("Loading or asking KTR_Intel_Win32.dll ended with exception ") + hex);
  }
  if (call.not_bound) std::rethrow_exception(call.not_bound);
}

}  // namespace tarnwick::win32
