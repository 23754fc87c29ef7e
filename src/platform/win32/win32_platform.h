#pragma once

#include "platform/platform.h"
#include "platform/win32/component_win32.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/kernel32_win32.h"
#include "probe/load_probe_win32.h"
#include "platform/win32/psapi_win32.h"
#include "platform/win32/version_library_win32.h"
#include "platform/win32/window_system_win32.h"

namespace tarnwick::win32 {

// The real platform, one object per library, as the logic sees it. The
// application object belongs to the program and is handed in.
struct Win32Platform {
  explicit Win32Platform(Application& app) : app(app) {}

  Win32Kernel32 kernel32;
  Win32Psapi psapi;
  Win32VersionLibrary version;
  Win32ScriptingRuntime scripting;
  Win32ComponentLibrary component;
  Win32LoadProbe load_probe;
  Win32WindowSystem window_system;
  Application& app;
  Platform platform{kernel32,   psapi,         version, scripting, component,
                    load_probe, window_system, app};
};

}  // namespace tarnwick::win32
