#include "platform/win32/component_win32.h"

namespace tarnwick::win32 {

void Win32ComponentLibrary::KTR_DLL_VERSION(std::int32_t* verBytes,
                                            std::int32_t* verMajor,
                                            std::int32_t* verMinor) {
  version_(verBytes, verMajor, verMinor);
}

}  // namespace tarnwick::win32
