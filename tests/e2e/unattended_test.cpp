// Reports written without a window: /report and /json as a script or a
// remote session starts them, compared with what the window shows.

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "driver.h"
#include "support/child_processes.h"
#include "report/system_files.h"

namespace tarnwick::e2e {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr const char* kMark = "\xEF\xBB\xBF";
constexpr const char* kModuleHeading = "Program Modules for Pelko_Files";

std::vector<std::string> crlf_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

bool only_crlf_breaks(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

std::string upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The header up to its date, which differs between any two runs.
std::string without_date(const std::string& header) {
  return header.substr(0, header.find(" Date: "));
}

// A suite folder with a library in each state the report can show.
class Unattended : public ProgramTest {
 protected:
  // The layout holds the component library on PATH; the rest of the suite
  // joins it. No display needed: only the comparison with the window asks.
  void SetUp() override {
    for (auto [fixture, name] : {std::pair{L"KTR_Intel_Win32.dll", L""},
                                 {L"fixture_v1234.dll", L"KTR_Imaging32.DLL"},
                                 {L"fixture_noversion.dll", L"KTR_Scan32.dll"},
                                 {L"fixture_initfails.dll", L"PelkoOcr32.dll"},
                                 {L"fixture_forward_user.dll", L"PelkoPrint32.DLL"},
                                 {L"fixture_needs_other.dll", L"pelkotwain.dll"},
                                 {L"fixture_delayinit.dll", L"KTR_Pdf32.DLL"}}) {
      const fs::path file = fixture_file(fixture);
      ASSERT_TRUE(!file.empty() && fs::exists(file)) << "the fixture libraries were not built";
      if (*name != L'\0') fs::copy_file(file, layout_.path_folder / name);
    }
    // What those import, under their own names.
    for (const wchar_t* fixture : {L"fixture_forwarder.dll", L"fixture_v1234.dll",
                                   L"fixture_other_only.dll"})
      fs::copy_file(fixture_file(fixture), layout_.path_folder / fixture);
  }

  Finished run(const std::wstring& arguments) {
    Setting unattended = setting();
    unattended.arguments = arguments;
    return run_to_end(unattended);
  }

  // FILE's text without its byte-order mark; fails the test without the mark.
  std::string text_file(const fs::path& file) {
    const std::optional<std::string> bytes = file_bytes(file);
    if (!bytes) {
      ADD_FAILURE() << "no file " << file.string();
      return {};
    }
    EXPECT_TRUE(bytes->starts_with(kMark)) << "no UTF-8 byte-order mark";
    EXPECT_TRUE(only_crlf_breaks(*bytes)) << "a line break other than CR LF";
    return bytes->starts_with(kMark) ? bytes->substr(3) : *bytes;
  }

  static std::wstring quoted(const fs::path& file) { return L"\"" + file.wstring() + L"\""; }
};

// The window's own libraries (the rich-text control and what it brings) are
// loaded in the window's process and only loadable without it; everything
// else is the same report.
TEST_F(Unattended, ReportFileIsWhatCopyTextGivesDateAside) {
  ASSERT_TRUE(display_available()) << kNoDisplay;
  start();
  ASSERT_NE(window(), nullptr);
  ASSERT_TRUE(click_copy_text(controls_.copy_text));
  const std::optional<std::wstring> copied = clipboard_unicode_text();
  ASSERT_TRUE(copied);
  const std::vector<std::string> window_lines = crlf_lines(to_utf8(*copied));
  program_.reset();  // its copy of the program is in use while it runs

  const fs::path file = layout_.current_folder / L"report.txt";
  const Finished finished = run(L"/report " + quoted(file));
  ASSERT_EQ(finished.exit_code, 0u) << finished.error;
  EXPECT_FALSE(finished.showed_message_box);
  const std::vector<std::string> lines = crlf_lines(text_file(file));

  ASSERT_GT(lines.size(), 4u + kSystemFileTable.size());
  ASSERT_GT(window_lines.size(), 4u + kSystemFileTable.size());
  EXPECT_EQ(without_date(lines[0]), without_date(window_lines[0]));
  const auto heading = std::find(lines.begin(), lines.end(), kModuleHeading);
  ASSERT_NE(heading, lines.end()) << "no module section";
  const std::size_t section = static_cast<std::size_t>(heading - lines.begin());
  for (std::size_t i = 1; i < section; ++i) {
    if (lines[i] == window_lines[i]) continue;
    // Only "is loaded" in the window against "can be loaded" here.
    const std::string mine = lines[i], theirs = window_lines[i];
    EXPECT_TRUE(mine.ends_with(" DLL can be loaded") && theirs.ends_with(" DLL is loaded") &&
                mine.substr(0, mine.size() - 18) == theirs.substr(0, theirs.size() - 14))
        << "line " << i << ":\n  " << mine << "\n  " << theirs;
  }
  EXPECT_EQ(window_lines[section], kModuleHeading);
  // Its own modules: a few system libraries, all of them in the window's
  // process too, none of the window's rich-text control.
  const std::set<std::string> window_modules(window_lines.begin() + section + 1,
                                             window_lines.end());
  for (std::size_t i = section + 1; i < lines.size(); ++i) {
    EXPECT_TRUE(window_modules.count(lines[i])) << lines[i];
    EXPECT_EQ(lines[i].find("RICHED"), std::string::npos) << lines[i];
  }
  EXPECT_LT(lines.size(), window_lines.size());
}

// The document names exactly what the text says, line by line, and every
// copy along the search; the text through a pipe is the file's without its
// byte-order mark, also from a copy of the program renamed to another
// extension, its own modules included. The program runs in its own folder,
// which holds a second copy of a library on PATH; PATH names its folder twice.
TEST_F(Unattended, JsonAndThePipeTellWhatTheTextReportSays) {
  fs::copy_file(fixture_file(L"fixture_v1234.dll"), layout_.program_folder / L"KTR_Scan32.dll");
  // Libraries whose load the system's own configuration decides: an API set
  // contract it does not define beside one it does, that defined one alone,
  // and a manifest requiring an assembly it does not have.
  for (auto [fixture, name] : {std::pair{L"fixture_absent_contract.dll", L"PelkoCore32.dll"},
                               {L"fixture_defined_contract.dll", L"PELKOVIEW.DLL"},
                               {L"fixture_sxs_missing.dll", L"pelko_forms32.dll"}})
    fs::copy_file(fixture_file(fixture), layout_.path_folder / name);
  const fs::path text = layout_.current_folder / L"report.txt";
  const fs::path data = layout_.current_folder / L"report.json";
  Setting both = setting();
  both.current_folder = layout_.program_folder;
  both.path_variable = layout_.path_folder.wstring() + L"\\;" + both.path_variable;
  both.arguments = L"/json " + quoted(data) + L" /REPORT " + quoted(text);
  const Finished finished = run_to_end(both);
  ASSERT_EQ(finished.exit_code, 0u) << finished.error;
  const std::vector<std::string> lines = crlf_lines(text_file(text));

  Setting renamed = both;
  renamed.exe_name = L"Pelko_Files.bin";
  renamed.arguments = L"/report -";
  const Finished to_pipe = run_to_end(renamed);
  ASSERT_EQ(to_pipe.exit_code, 0u) << to_pipe.error;
  EXPECT_EQ(to_pipe.error, "");
  EXPECT_TRUE(only_crlf_breaks(to_pipe.output));
  const std::vector<std::string> piped = crlf_lines(to_pipe.output);
  ASSERT_EQ(piped.size(), lines.size());
  EXPECT_EQ(without_date(piped[0]), without_date(lines[0]));
  EXPECT_TRUE(std::equal(piped.begin() + 1, piped.end(), lines.begin() + 1))
      << "the pipe's lines differ from the file's";
  const auto heading = std::find(piped.begin(), piped.end(), kModuleHeading);
  ASSERT_NE(heading, piped.end()) << "no module section";
  EXPECT_GT(piped.end() - heading, 2) << "a module section without modules";
  const std::optional<std::string> bytes = file_bytes(data);
  ASSERT_TRUE(bytes);
  const Json report = Json::parse(*bytes);

  std::vector<std::string> told;
  const std::string version = report["program"]["version"].get<std::string>();
  told.push_back("System files for " + report["program"]["name"].get<std::string>() +
                 " Version " + version);
  told.push_back("");
  const Json& component = report["component"];
  told.push_back(component["found"].get<bool>()
                     ? "KTR DLL version " + std::to_string(component["major"].get<int>()) + "." +
                           std::to_string(component["minor"].get<int>())
                     : "KTR DLL version not found.");
  told.push_back("");
  for (const Json& file : report["files"]) {
    const std::string name = file["name"].get<std::string>();
    const std::string state = file["state"].get<std::string>();
    if (state == "not found") {
      EXPECT_TRUE(file["path"].is_null());
      told.push_back(" " + name + " :   File not found");
      continue;
    }
    told.push_back(name + "    Path:  " + file["path"].get<std::string>() + " Version:  " +
                   (file["version"].is_null() ? "N/A" : file["version"].get<std::string>()) +
                   (state == "loaded" ? " DLL is loaded" : " DLL " + state));
  }
  told.push_back("");
  told.push_back(kModuleHeading);
  told.push_back("");
  for (const Json& module : report["modules"]) told.push_back(module.get<std::string>());

  ASSERT_EQ(lines.size(), told.size());
  EXPECT_EQ(without_date(lines[0]), told[0]);
  for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i], told[i]) << "line " << i;

  // Every state shows on this layout, and the facts behind the lines.
  EXPECT_EQ(report["files"].size(), kSystemFileTable.size());
  std::set<std::string> states;
  for (const Json& file : report["files"]) states.insert(file["state"].get<std::string>());
  EXPECT_EQ(states, (std::set<std::string>{"loaded", "can be loaded", "cannot be loaded",
                                           "not found"}));
  EXPECT_EQ(report["files"][0]["version"], "4.7.0.12");

  // Each copy once, the line's own first, in the search's order.
  for (const Json& file : report["files"]) {
    if (file["state"] == "not found") continue;
    const Json& copies = file["copies"];
    ASSERT_FALSE(copies.empty()) << file["name"];
    EXPECT_EQ(copies[0]["path"], file["path"]);
    EXPECT_EQ(copies[0]["version"], file["version"]);
    std::set<std::string> seen;
    for (const Json& copy : copies)
      EXPECT_TRUE(seen.insert(upper(copy["path"].get<std::string>())).second) << copy["path"];
  }
  const Json& scan = report["files"][std::distance(
      kSystemFileTable.begin(),
      std::find(kSystemFileTable.begin(), kSystemFileTable.end(), "KTR_Scan32.dll"))];
  ASSERT_EQ(scan["name"], "KTR_Scan32.dll");
  ASSERT_EQ(scan["copies"].size(), 2u) << scan.dump();
  EXPECT_EQ(upper(scan["copies"][0]["path"].get<std::string>()),
            upper((layout_.program_folder / L"KTR_Scan32.dll").string()));
  EXPECT_EQ(scan["copies"][0]["version"], "1.2.3.4");
  EXPECT_EQ(upper(scan["copies"][1]["path"].get<std::string>()),
            upper((layout_.path_folder / L"KTR_Scan32.dll").string()));
  EXPECT_TRUE(scan["copies"][1]["version"].is_null());
#if defined(_WIN64)
  const char* const own_machine = "x64";
#else
  const char* const own_machine = "x86";
#endif
  EXPECT_EQ(scan["copies"][0]["machine"], own_machine);
  EXPECT_EQ(scan["copies"][1]["machine"], own_machine);
  std::map<std::string, Json> loads;
  for (const Json& file : report["files"])
    if (file.contains("load")) loads[file["name"].get<std::string>()] = file["load"];
  EXPECT_EQ(loads["PelkoCore32.dll"]["error"], 126) << loads["PelkoCore32.dll"];
  EXPECT_EQ(loads["PelkoCore32.dll"]["missing"],
            Json::array({"api-ms-win-tarnwick-absent-l1-1-0.dll"}));
  EXPECT_TRUE(loads["PELKOVIEW.DLL"].value("loaded_from", "").ends_with("\\PELKOVIEW.DLL"))
      << loads["PELKOVIEW.DLL"];
  // Wine loads on past the missing assembly and fails on what it would
  // provide; Windows refuses the library for the assembly itself.
  const Json& manifest = loads["pelko_forms32.dll"];
  EXPECT_TRUE(manifest["error"] == 126 || manifest["error"] == 14001) << manifest;
  EXPECT_EQ(manifest["missing"][0], sizeof(void*) == 8
                                        ? "assembly Tarnwick.Absent.Assembly 1.0.0.0 (amd64)"
                                        : "assembly Tarnwick.Absent.Assembly 1.0.0.0 (x86)")
      << manifest;
  EXPECT_TRUE(report["complete"].get<bool>());
  EXPECT_EQ(report["notices"], Json::array());
  EXPECT_TRUE(std::regex_match(report["date"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
      << report["date"];
}

// Why a load fails, as the helper that made the attempt tells it: what its
// forwarded entries lead to, a dependency there only for another machine,
// and a late import its initialisation called.
TEST_F(Unattended, JsonNamesWhatAFailedLoadLacks) {
  const Finished finished = run(L"/json -");
  ASSERT_EQ(finished.exit_code, 0u) << finished.error;
  const Json report = Json::parse(finished.output);
  std::map<std::string, Json> load;
  for (const Json& file : report["files"])
    if (file.contains("load")) load[file["name"].get<std::string>()] = file["load"];

  const Json& forwarded = load["PelkoPrint32.DLL"];
  EXPECT_EQ(forwarded["error"], 126) << forwarded;
  EXPECT_EQ(forwarded["missing"], Json::array({"tarnwick_forward_target.dll",
                                               "fixture_v1234.dll!NoSuchExport",
                                               "tarnwick_absent.dll"}));
  const Json& other_machine = load["pelkotwain.dll"];
  EXPECT_EQ(other_machine["error"], 126) << other_machine;
  EXPECT_EQ(other_machine["missing"],
            Json::array({sizeof(void*) == 4 ? "fixture_other_only.dll (x64)"
                                            : "fixture_other_only.dll (x86)"}));
  EXPECT_FALSE(other_machine.contains("machine")) << other_machine;
  // Wine's loader fails the load with 317 for the delay-load exception.
  const Json& delayed = load["KTR_Pdf32.DLL"];
  EXPECT_EQ(delayed["error"], 317) << delayed;
  EXPECT_EQ(delayed["missing"], Json::array({"fixture_delay_gone.dll"}));
}

TEST_F(Unattended, UndefinedPathIsANoticeNotABox) {
  Setting no_path = setting();
  no_path.path_defined = false;
  no_path.arguments = L"/json -";
  const Finished finished = run_to_end(no_path);
  EXPECT_FALSE(finished.showed_message_box) << "a message box came up";
  ASSERT_EQ(finished.exit_code, 0u) << finished.error;
  const Json report = Json::parse(finished.output);
  EXPECT_EQ(report["notices"], Json::array({"The path is undefined"}));
  EXPECT_NE(finished.error.find("The path is undefined"), std::string::npos) << finished.error;
  EXPECT_TRUE(report["complete"].get<bool>());
  // The suite folder was on PATH only: nothing of it is found now.
  EXPECT_FALSE(report["component"]["found"].get<bool>());
}

// Nothing half-written under FILE's name, and nothing left beside it.
TEST_F(Unattended, UnwritableFileEndsWithTwoAndLeavesNoFile) {
  const fs::path missing_folder = layout_.current_folder / L"no such folder" / L"report.txt";
  Finished finished = run(L"/report " + quoted(missing_folder));
  EXPECT_EQ(finished.exit_code, 2u);
  EXPECT_FALSE(fs::exists(missing_folder.parent_path()));
  EXPECT_NE(finished.error.find("report.txt"), std::string::npos) << finished.error;

  // A folder in FILE's place: the text is written beside it, then cannot be
  // put in place. The other output still arrives.
  const fs::path folder = layout_.temp.folder(L"work/taken.json");
  const fs::path text = layout_.current_folder / L"report.txt";
  finished = run(L"/json " + quoted(folder) + L" /report " + quoted(text));
  EXPECT_EQ(finished.exit_code, 2u);
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_TRUE(fs::exists(text));

  for (const auto& entry : fs::directory_iterator(layout_.current_folder))
    EXPECT_TRUE(entry.path() == folder || entry.path() == text)
        << "left behind: " << entry.path().string();
}

// A target whose name is near the longest a folder entry may have: the file
// written beside it first must fit as well.
TEST_F(Unattended, TargetNameNearTheLongestAllowedIsWritten) {
  const fs::path file = layout_.current_folder / std::wstring(250, L'r');
  const Finished finished = run(L"/json " + quoted(file));
  EXPECT_EQ(finished.exit_code, 0u) << finished.error;
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(std::distance(fs::directory_iterator(layout_.current_folder), fs::directory_iterator()),
            1) << "a file was left beside it";
}

// Switches that cannot be honoured are refused before anything is done:
// exit code 2, one line on the standard error, no window, no box, no file.
// Which forms are refused, and the line for each, is checked in-process
// (tests/win32/unattended_run_test.cpp); here a misspelt switch, and one
// file named twice as the program's own current folder resolves it.
TEST_F(Unattended, WrongSwitchesAreRefusedWithOneLineAndWriteNothing) {
  for (const wchar_t* wrong :
       {L"/jsn f /report r", L"/report report.txt /json sub\\..\\REPORT.TXT"}) {
    const Finished finished = run(wrong);
    EXPECT_EQ(finished.exit_code, 2u) << to_utf8(wrong);
    EXPECT_FALSE(finished.showed_message_box) << to_utf8(wrong);
    EXPECT_EQ(finished.output, "") << to_utf8(wrong);
    EXPECT_TRUE(finished.error.ends_with("\r\n") &&
                finished.error.find('\n') == finished.error.size() - 1)
        << to_utf8(wrong) << ": " << finished.error;
  }
  EXPECT_TRUE(fs::is_empty(layout_.current_folder)) << "a switch that was refused wrote a file";
}

// /? alone is asked by a person: the switches in a box, no window, no
// helper (the suite's code does not run for help), and an ordinary end once
// it is read.
TEST_F(Unattended, QuestionMarkShowsTheSwitchesAndEnds) {
  ASSERT_TRUE(display_available()) << kNoDisplay;
  Setting asking = setting();
  asking.arguments = L"/?";
  Program program(asking);
  HWND box = program.wait_for_message_box();
  ASSERT_NE(box, nullptr) << "no box came up";
  const std::wstring text = message_box_text(box);
  for (const wchar_t* part : {L"/report FILE", L"/json FILE", L"Exit codes"})
    EXPECT_NE(text.find(part), std::wstring::npos) << to_utf8(text);
  EXPECT_EQ(program.window(), nullptr) << "the report window was made";
  EXPECT_TRUE(testing::child_processes(program.process_id()).empty()) << "a helper was started";
  SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  EXPECT_EQ(program.wait_for_exit(), std::optional<DWORD>(0));
}

}  // namespace
}  // namespace tarnwick::e2e
