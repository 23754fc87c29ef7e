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
  fake.psapi.missing_entry_point = "EnumProcesses";
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
  EXPECT_EQ(report["files"].size(), kSystemFileTable.size());
  EXPECT_EQ(report["modules"], nlohmann::json::array());
  EXPECT_EQ(report["program"]["name"], "Pelko_Files");

  const std::string text = contents(temp.path() / L"report.txt");
  ASSERT_TRUE(text.starts_with("\xEF\xBB\xBF"));
  const auto lines = testing::split(text.substr(3), '\n');
  ASSERT_EQ(lines.size(), 4u + kSystemFileTable.size());
  EXPECT_EQ(lines.back(), file_not_found_line(std::string(kSystemFileTable.back())));
  for (std::size_t i = 0; i + 1 < lines.size(); ++i)
    EXPECT_TRUE(lines[i].ends_with("\r")) << "line " << i << " does not end in CR LF";
}

// A load that fails before its first line still writes a document that
// says so, naming the program and the time it ran.
TEST(UnattendedRun, LoadThatFailsAtOnceStillWritesItsDocument) {
  fake::FakePlatform fake;
  fake.scripting.fails = true;
  testing::TempFolder temp;
  CommandLine line;
  line.json_file = (temp.path() / L"report.json").wstring();
  EXPECT_EQ(run_unattended(line, fake.platform), kReportStopped);
  const nlohmann::json report = nlohmann::json::parse(contents(temp.path() / L"report.json"));
  EXPECT_FALSE(report["complete"].get<bool>());
  EXPECT_EQ(report["files"], nlohmann::json::array());
  EXPECT_FALSE(report["component"]["found"].get<bool>());
  EXPECT_EQ(report["notices"].size(), 1u);
  EXPECT_EQ(report["program"]["version"], "1.0.13");
  const std::string date = report["date"].get<std::string>();
  EXPECT_TRUE(date.starts_with("2026-12-08T14:05:09")) << date;
  EXPECT_EQ(date.size(), 25u) << date;  // and a UTC offset "+hh:mm"
}

}  // namespace
}  // namespace tarnwick
