#pragma once

#include "platform/application.h"

namespace tarnwick {

// The application object: the executable's name and folder, and the version
// its version record shows.
class Win32Application : public Application {
 public:
  std::string exe_name() override;
  std::string path() override;
  AppVersion version() override;
};

}  // namespace tarnwick
