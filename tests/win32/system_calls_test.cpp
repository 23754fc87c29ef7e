// The table of late-bound system entry points.

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/win32/system_calls.h"

namespace tarnwick {
namespace {

using win32::SystemCall;
using win32::SystemLibrary;

TEST(SystemCalls, EntryPointOfTheSystemFolderLibraryIsFoundOnce) {
  void* found = reinterpret_cast<void*>(win32::system_calls::VerQueryValueW.find());
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(win32::system_calls::VerQueryValueW.find()), found);
  // The library is the system folder's copy.
  wchar_t loaded[MAX_PATH + 1] = {}, system[MAX_PATH + 1] = {};
  ASSERT_GT(GetModuleFileNameW(win32::system_library(SystemLibrary::version), loaded, MAX_PATH), 0u);
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  EXPECT_EQ(CompareStringOrdinal(loaded, static_cast<int>(wcslen(system)), system, -1, TRUE),
            CSTR_EQUAL)
      << "loaded from elsewhere";
}

// Missing: absent to a caller that can do without it, and each call of a
// caller that cannot fails with the system's error, naming what is missing.
TEST(SystemCalls, MissingEntryPointIsAbsentOrRaisesTheSystemsError) {
  SystemCall<void WINAPI()> missing{SystemLibrary::user32, "NoSuchEntryPointAnywhere"};
  EXPECT_EQ(missing.find(), nullptr);
  for (int call = 0; call < 2; ++call) {
    try {
      missing();
      ADD_FAILURE() << "no failure raised";
    } catch (const SystemError& error) {
      EXPECT_EQ(error.number(), ERROR_PROC_NOT_FOUND);
      EXPECT_EQ(error.source(), "user32.dll");
      EXPECT_EQ(error.description().rfind("user32.dll has no entry point NoSuchEntryPointAnywhere", 0),
                0u)
          << error.description();
    }
  }
}

}  // namespace
}  // namespace tarnwick
