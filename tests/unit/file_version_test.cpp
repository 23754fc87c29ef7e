#include <gtest/gtest.h>

#include "files/file_version.h"
#include "substitutes/fake_platform.h"

namespace tarnwick {
namespace {

struct FileVersion : ::testing::Test {
  fake::VersionLibrary version;
  void add(const std::string& path, std::uint32_t ms, std::uint32_t ls) {
    version.files[path].ms = ms;
    version.files[path].ls = ls;
  }
};

TEST_F(FileVersion, FileVersionNotProductVersion) {
  add("a.dll", 0x00010002, 0x00030004);
  EXPECT_EQ(get_file_version(version, "a.dll"), "1.2.3.4");
}

TEST_F(FileVersion, ZeroPartIsWrittenAsOneDigit) {
  add("xp.dll", 0x00050001, 0x0A280000);
  EXPECT_EQ(get_file_version(version, "xp.dll"), "5.1.2600.0");
}

TEST_F(FileVersion, LargePartsAreUnsigned) {
  add("net.dll", 0x00020000, 0xC627002A);
  add("max.dll", 0xFFFF0000, 0xFFFF0001);
  EXPECT_EQ(get_file_version(version, "net.dll"), "2.0.50727.42");
  EXPECT_EQ(get_file_version(version, "max.dll"), "65535.0.65535.1");
}

TEST_F(FileVersion, NoVersionInformationGivesEmptyText) {
  EXPECT_EQ(get_file_version(version, "missing.dll"), "");
}

TEST_F(FileVersion, ReadFailureAfterSizeGivesEmptyText) {
  add("locked.dll", 0x00010000, 0);
  version.files["locked.dll"].read_fails = true;
  EXPECT_EQ(get_file_version(version, "locked.dll"), "");
}

TEST_F(FileVersion, FailedRootQueryGivesEmptyText) {
  add("odd.dll", 0x00010002, 0x00030004);
  version.files["odd.dll"].query_fails = true;
  EXPECT_EQ(get_file_version(version, "odd.dll"), "");
}

TEST_F(FileVersion, RecordLengthBeyondTheRecordCopiesOnlyTheRecord) {
  add("long.dll", 0x00070008, 0x00090000);
  version.files["long.dll"].reported_length = 96;
  EXPECT_EQ(get_file_version(version, "long.dll"), "7.8.9.0");
}

TEST_F(FileVersion, ZeroRecordLengthReadsAsAllZero) {
  add("empty.dll", 0x00070008, 0x00090001);
  version.files["empty.dll"].reported_length = 0;
  EXPECT_EQ(get_file_version(version, "empty.dll"), "0.0.0.0");
}

TEST_F(FileVersion, ShortRecordLeavesTheRestZero) {
  add("short.dll", 0x00070008, 0x00090001);
  version.files["short.dll"].reported_length = 12;  // ends before the LS field
  EXPECT_EQ(get_file_version(version, "short.dll"), "7.8.0.0");
}

TEST_F(FileVersion, CallsAreIndependent) {
  add("first.dll", 0x00040003, 0x00020001);
  add("second.dll", 0x00010000, 0x00000000);
  version.files["second.dll"].reported_length = 10;
  EXPECT_EQ(get_file_version(version, "first.dll"), "4.3.2.1");
  EXPECT_EQ(get_file_version(version, "second.dll"), "0.0.0.0");
}

}  // namespace
}  // namespace tarnwick
