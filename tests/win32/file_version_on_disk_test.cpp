#include <gtest/gtest.h>

#include "files/file_version.h"
#include "platform/win32/version_library_win32.h"
#include "platform/win32/utf16.h"
#include "support/build_paths.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using testing::fixture_file;
using win32::to_utf8;

struct RealFileVersion : ::testing::Test {
  win32::Win32VersionLibrary version;
  std::string of(const wchar_t* fixture) {
    return get_file_version(version, to_utf8(fixture_file(fixture).wstring()));
  }
};

TEST_F(RealFileVersion, ReadsTheFileVersionNotTheProductVersion) {
  EXPECT_EQ(of(L"fixture_v1234.dll"), "1.2.3.4");
}

TEST_F(RealFileVersion, ZeroAndLargePartsAreWrittenPlainly) {
  EXPECT_EQ(of(L"fixture_v5126000.dll"), "5.1.2600.0");
  EXPECT_EQ(of(L"fixture_v2050727.dll"), "2.0.50727.42");
  EXPECT_EQ(of(L"fixture_v65535.dll"), "65535.0.65535.1");
}

TEST_F(RealFileVersion, NoVersionResourceGivesEmptyText) {
  EXPECT_EQ(of(L"fixture_noversion.dll"), "");
  EXPECT_EQ(of(L"fixture_text.dll"), "");
  EXPECT_EQ(of(L"no_such_file.dll"), "");
}

TEST_F(RealFileVersion, CallsInARowDoNotLeakIntoEachOther) {
  EXPECT_EQ(of(L"fixture_v1234.dll"), "1.2.3.4");
  EXPECT_EQ(of(L"fixture_noversion.dll"), "");
  EXPECT_EQ(of(L"fixture_v5126000.dll"), "5.1.2600.0");
}

TEST_F(RealFileVersion, PathOutsideTheAnsiCodePage) {
  testing::TempFolder temp;
  const auto copy = temp.folder(L"Ωμέγα 日本") / L"библиотека.dll";
  std::filesystem::copy_file(fixture_file(L"fixture_v1234.dll"), copy);
  EXPECT_EQ(get_file_version(version, to_utf8(copy.wstring())), "1.2.3.4");
}

}  // namespace
}  // namespace tarnwick
