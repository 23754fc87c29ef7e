// The run without a window, in-process against substitutes: which command
// lines it takes, how a load that stops at a failure is written and what it
// exits with, and how an existing file is replaced.

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/command_line.h"
#include "app/unattended.h"
#include "platform/win32/utf16.h"
#include "report/report_lines.h"
#include "report/system_files.h"
#include "substitutes/fake_platform.h"
#include "support/lines.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

CommandLine parsed(std::vector<std::wstring> arguments) {
  return parse_command_line(arguments);
}

// Accepted: switch names in any case, "-" for the standard output, a FILE
// that starts with "/" but holds a further separator. Without a report
// switch anything else is ignored and the window opens.
TEST(CommandLineParse, AcceptedForms) {
  CommandLine line = parsed({});
  EXPECT_FALSE(line.unattended());
  EXPECT_FALSE(line.help);

  line = parsed({L"/REPORT", L"r.txt", L"/Json", L"-"});
  EXPECT_EQ(line.report_file, L"r.txt");
  EXPECT_EQ(line.json_file, L"-");
  EXPECT_EQ(line.error, L"");
  EXPECT_TRUE(line.unattended());

  line = parsed({L"/json", L"/tmp/out/r.json"});
  EXPECT_EQ(line.json_file, L"/tmp/out/r.json");
  EXPECT_FALSE(line.report_file);
  EXPECT_EQ(line.error, L"");

  line = parsed({L"/report", L"a.txt", L"/json", L"a.json"});
  EXPECT_EQ(line.error, L"");

  line = parsed({L"stray", L"/jsn", L"x"});
  EXPECT_FALSE(line.unattended()) << "stray arguments without a report switch open the window";

  line = parsed({L"/?"});
  EXPECT_TRUE(line.help);
  EXPECT_FALSE(line.unattended());
}

// Refused, each with the one line the standard error gets.
TEST(CommandLineParse, RefusedFormsSayWhy) {
  const struct {
    std::vector<std::wstring> arguments;
    const wchar_t* error;
  } refused[] = {
      {{L"/json"}, L"/json needs a file name, or - for the standard output"},
      {{L"/report", L""}, L"/report needs a file name, or - for the standard output"},
      {{L"/report", L"/json", L"x.json"}, L"/report needs a file name, or - for the standard output"},
      {{L"/report", L"/jsn"}, L"/report needs a file name, or - for the standard output"},
      {{L"/json", L"a", L"/JSON", L"b"}, L"/JSON is given twice"},
      {{L"/jsn", L"f", L"/report", L"r"}, L"\"/jsn\" is not understood beside /report or /json"},
      {{L"/report", L"r", L"stray"}, L"\"stray\" is not understood beside /report or /json"},
      {{L"/?", L"/report", L"-"}, L"/? cannot be combined with /report or /json"},
      {{L"/report", L"-", L"/json", L"-"},
       L"/report and /json cannot both write to the standard output"},
      // One file however spelt: the full paths are compared, letter case aside.
      {{L"/report", L"report.txt", L"/json", L"sub\\..\\REPORT.TXT"},
       L"/report and /json name the same file"},
      {{L"/report", L"C:\\Reports\\r.txt", L"/json", L"c:/Reports/./R.txt"},
       L"/report and /json name the same file"},
  };
  for (const auto& [arguments, error] : refused) {
    const CommandLine line = parse_command_line(arguments);
    EXPECT_EQ(line.error, error) << win32::to_utf8(arguments[0] + L" " + arguments.back());
    EXPECT_TRUE(line.unattended());
  }
}

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

// A refused line asks nothing of the load probe: no helper starts, so no
// code of the suite runs.
TEST(UnattendedRun, RefusedSwitchesStartNoHelper) {
  fake::FakePlatform fake;
  EXPECT_EQ(run_unattended(parsed({L"/json"}), fake.platform), kNotWritten);
  EXPECT_TRUE(fake.log.empty()) << "a refused line started the probe: " << fake.log.front();
}

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// An existing FILE is replaced whole, with nothing left beside it. The
// system's replace keeps the file's attributes, where a rename over it would
// not; Wine's keeps none, so there that part is not checked.
TEST(UnattendedRun, ExistingFileIsReplacedWhole) {
  fake::FakePlatform fake;
  fake.kernel32.environment["PATH"] = "C:\\Suite;";
  testing::TempFolder temp;
  const fs::path file = temp.path() / L"report.txt";
  {
    std::ofstream old(file, std::ios::binary);
    old << std::string(100000, 'x');  // longer than the report: nothing of it may remain
  }
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  CommandLine line;
  line.report_file = file.wstring();

  EXPECT_EQ(run_unattended(line, fake.platform), kReportComplete);
  const std::string text = contents(file);
  EXPECT_TRUE(text.starts_with("\xEF\xBB\xBFSystem files for ")) << text.substr(0, 40);
  EXPECT_TRUE(text.ends_with("\r\n" + file_not_found_line(std::string(kSystemFileTable.back()))));
  EXPECT_EQ(text.find("xxxxxxxxxx"), std::string::npos) << "the old content remains";
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 1)
      << "a file was left beside it";
  if (running_under_wine()) {
    std::printf("[ NOT RUN  ] the attributes kept: Wine's replace keeps none\n");
    return;
  }
  EXPECT_NE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u) << "attributes lost";
}

}  // namespace
}  // namespace tarnwick
