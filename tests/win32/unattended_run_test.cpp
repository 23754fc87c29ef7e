// The run without a window, in-process against substitutes: how a load that
// stops at a failure is written and what it exits with.

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/unattended.h"
#include "report/report_lines.h"
#include "report/system_files.h"
#include "substitutes/fake_platform.h"
#include "support/lines.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The module listing fails (the process-status library lacks an entry point):
// the file lines are written, the failure is a notice, and the exit says the
// report stopped. No message box is asked for.
TEST(UnattendedRun, StoppedLoadWritesWhatItFoundAndEndsWithOne) {
  fake::FakePlatform fake;
  fake.kernel32.environment["PATH"] = "C:\\Suite;C:\\Windows;";
  fake.psapi.add(fake.kernel32, fake.kernel32.own_id, {"C:\\Tools\\Pelko_Files.exe"});
  fake.psapi.missing_entry_point = "EnumProcessModules";
  testing::TempFolder temp;
  CommandLine line;
  line.report_file = (temp.path() / L"report.txt").wstring();
  line.json_file = (temp.path() / L"report.json").wstring();

  EXPECT_EQ(run_unattended(line, fake.platform), kReportStopped);
  EXPECT_TRUE(fake.window_system.messages.empty()) << "a message box was asked for";

  const nlohmann::json report = nlohmann::json::parse(contents(temp.path() / L"report.json"));
  EXPECT_FALSE(report["complete"].get<bool>());
  EXPECT_EQ(report["notices"],
            nlohmann::json::array({"An error occurred while locating the file: ProcessInfo"}));
  EXPECT_EQ(report["modules"], nlohmann::json::array());

  const std::string text = contents(temp.path() / L"report.txt");
  ASSERT_TRUE(text.starts_with("\xEF\xBB\xBF"));
  EXPECT_TRUE(text.ends_with("\r\n" + file_not_found_line(std::string(kSystemFileTable.back()))))
      << "the file lines are not all there";
}

}  // namespace
}  // namespace tarnwick
