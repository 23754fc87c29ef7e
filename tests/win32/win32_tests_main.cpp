// The Win32 tests' own entry: the load probe under test starts its helper
// from the running program's file, so this program answers as that helper
// when started with the helper's switch.

#include <windows.h>

#include <gtest/gtest.h>

#include "probe/helper_win32.h"

int main(int argc, char** argv) {
  if (tarnwick::win32::is_load_probe_helper(GetCommandLineW()))
    return tarnwick::win32::run_load_probe_helper();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
