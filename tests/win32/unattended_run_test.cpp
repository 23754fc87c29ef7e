// The run without a window, in-process against substitutes: how a load that
// stops at a failure is written and what it exits with.

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/command_line.h"
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
  EXPECT_EQ(report["modules"], nlohmann::json::array());

  const std::string text = contents(temp.path() / L"report.txt");
  ASSERT_TRUE(text.starts_with("\xEF\xBB\xBF"));
  EXPECT_TRUE(text.ends_with("\r\n" + file_not_found_line(std::string(kSystemFileTable.back()))))
      << "the file lines are not all there";
}

// The switches as the program reads them, in process: what is accepted,
// what is refused, and that a refused line asks nothing of the load probe.
TEST(CommandLineInProcess, AcceptsTheReportSwitchesAndRefusesTheRest) {
  const CommandLine both = parse_command_line({L"/REPORT", L"r.txt", L"/json", L"-"});
  EXPECT_EQ(both.report_file, std::optional<std::wstring>(L"r.txt"));
  EXPECT_EQ(both.json_file, std::optional<std::wstring>(L"-"));
  EXPECT_EQ(both.error, L"");
  const CommandLine help = parse_command_line({L"/?"});
  EXPECT_TRUE(help.help);
  EXPECT_FALSE(help.unattended());
  const CommandLine stray = parse_command_line({L"stray", L"words"});
  EXPECT_FALSE(stray.unattended()) << "a window start ignores what it does not know";
  EXPECT_EQ(parse_command_line({L"/json"}).error, L"/json needs a file name, or - for the standard output");
  EXPECT_EQ(parse_command_line({L"/report", L"/jsn"}).error,
            L"/report needs a file name, or - for the standard output");
  EXPECT_EQ(parse_command_line({L"/json", L"a", L"/json", L"b"}).error, L"/json is given twice");
  EXPECT_EQ(parse_command_line({L"/report", L"r", L"stray"}).error,
            L"\"stray\" is not understood beside /report or /json");
  EXPECT_EQ(parse_command_line({L"/?", L"/report", L"-"}).error,
            L"/? cannot be combined with /report or /json");
  EXPECT_EQ(parse_command_line({L"/report", L"-", L"/json", L"-"}).error,
            L"/report and /json cannot both write to the standard output");
  EXPECT_EQ(parse_command_line({L"/report", L"a.txt", L"/json", L"sub\\..\\A.TXT"}).error,
            L"/report and /json name the same file");

  fake::FakePlatform fake;
  EXPECT_EQ(run_unattended(parse_command_line({L"/json"}), fake.platform), kNotWritten);
  EXPECT_TRUE(fake.log.empty()) << "a refused line started the probe: " << fake.log.front();
}

}  // namespace
}  // namespace tarnwick
