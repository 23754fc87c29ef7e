#pragma once

#include <cstdint>

namespace tarnwick {

// The maker's component library, KTR_Intel_Win32.dll.
class ComponentLibrary {
 public:
  virtual ~ComponentLibrary() = default;

  // Raises when the library or its entry point cannot be found.
  virtual void KTR_DLL_VERSION(std::int32_t* verBytes, std::int32_t* verMajor,
                               std::int32_t* verMinor) = 0;
};

}  // namespace tarnwick
