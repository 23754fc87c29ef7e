#pragma once

#include "platform/application.h"
#include "platform/component.h"
#include "platform/file_system.h"
#include "platform/kernel32.h"
#include "platform/load_probe.h"
#include "platform/psapi.h"
#include "platform/version_library.h"
#include "platform/window_system.h"

namespace tarnwick {

// Everything of the platform that the logic reaches, handed in as one bundle
// so that tests can substitute any part of it.
struct Platform {
  Kernel32& kernel32;
  Psapi& psapi;
  VersionLibrary& version;
  ScriptingRuntime& scripting;
  ComponentLibrary& component;
  LoadProbe& load_probe;
  WindowSystem& window_system;
  Application& app;
};

}  // namespace tarnwick
