#pragma once

#include <string>

#include "common/program_identity.h"

namespace tarnwick {

// The application object: what the running program knows of itself.
class Application {
 public:
  virtual ~Application() = default;

  // The executable's file name without its extension.
  virtual std::string exe_name() = 0;
  // The folder that holds the executable; a drive root keeps its backslash.
  virtual std::string path() = 0;
  virtual AppVersion version() = 0;
};

}  // namespace tarnwick
