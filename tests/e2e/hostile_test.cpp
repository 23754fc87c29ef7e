// The program on a hostile machine: broken, damaged, foreign and hanging
// libraries under the suite's names, a component library that faults or ends
// its caller, long and odd PATHs, odd program folders and names, a held
// clipboard, a second copy, a very long report. Each case is one thing such
// a machine does to the program; it survives when its report lines are
// exactly as stated, the window appeared and the process is still alive.
// Several cases share one layout and one start of the program.
//
// The whole suite runs in one process, which ends by printing
//   hostile inputs: N tried, M survived

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include "driver.h"
#include "report/system_files.h"

namespace tarnwick::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFirstFileLine = 4;
constexpr std::size_t kTableSize = kSystemFileTable.size();

int tried = 0;
int survived = 0;

class Tally : public ::testing::Environment {
 public:
  void TearDown() override { std::printf("hostile inputs: %d tried, %d survived\n", tried, survived); }
};
const auto* const kTally = ::testing::AddGlobalTestEnvironment(new Tally);

// One hostile input: counted, and failed with its name when it did not
// survive.
void judge(const std::string& name, bool ok, const std::string& detail = {}) {
  ++tried;
  if (ok) ++survived;
  else ADD_FAILURE() << "did not survive: " << name << (detail.empty() ? "" : "\n  ") << detail;
}

// A case the platform cannot set up: told, never counted as survived.
void cannot_express(const std::string& name, const std::string& why) {
  std::printf("[ NOT RUN  ] %s: %s\n", name.c_str(), why.c_str());
}

std::wstring system_folder() {
  wchar_t folder[MAX_PATH + 1] = {};
  GetSystemDirectoryW(folder, MAX_PATH + 1);
  return folder;
}

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool built(const wchar_t* fixture) {
  const fs::path file = fixture_file(fixture);
  return !file.empty() && fs::exists(file);
}

bool all_built(std::initializer_list<const wchar_t*> fixtures) {
  return std::all_of(fixtures.begin(), fixtures.end(), built);
}

constexpr const char* kNotBuilt = "the hostile fixtures are not built";

void plant(const wchar_t* fixture, const fs::path& where) {
  fs::copy_file(fixture_file(fixture), where, fs::copy_options::overwrite_existing);
}

std::size_t table_index(const std::string& name) {
  const auto at = std::find(kSystemFileTable.begin(), kSystemFileTable.end(), name);
  return static_cast<std::size_t>(at - kSystemFileTable.begin());
}

// What one start of the program showed.
struct Outcome {
  bool window = false;
  bool alive = false;
  std::vector<std::wstring> lines;

  std::string line(const std::string& name) const {
    const std::size_t at = kFirstFileLine + table_index(name);
    return at < lines.size() ? to_utf8(lines[at]) : "(no line)";
  }
  std::vector<std::wstring> modules(const std::wstring& heading) const {
    const auto at = std::find(lines.begin(), lines.end(), heading);
    if (at == lines.end() || lines.end() - at < 2) return {};
    return {at + 2, lines.end()};
  }
  std::vector<std::wstring> modules_in(const fs::path& folder) const {
    std::wstring prefix = folder.wstring() + L"\\";
    std::transform(prefix.begin(), prefix.end(), prefix.begin(), towupper);
    std::vector<std::wstring> in_folder;
    for (const std::wstring& line : lines)
      if (line.starts_with(prefix)) in_folder.push_back(line);
    return in_folder;
  }
  bool lists_module_in(const fs::path& folder) const { return !modules_in(folder).empty(); }
  std::string modules_text(const fs::path& folder) const {
    std::string text;
    for (const std::wstring& m : modules_in(folder)) text += to_utf8(m) + " ";
    return text;
  }
  bool sound() const { return window && alive; }
};

Outcome observe(Program& program) {
  Outcome outcome;
  const HWND window = program.wait_for_window();
  outcome.window = window != nullptr;
  if (window != nullptr)
    outcome.lines = split(report_text(program, find_controls(window).report), L'\r');
  outcome.alive = program.running();
  if (!outcome.window) {
    DWORD code = 0;
    GetExitCodeProcess(program.process(), &code);
    ADD_FAILURE() << "no window; the program " << (outcome.alive ? "runs" : "ended with ")
                  << (outcome.alive ? "" : std::to_string(code));
  }
  return outcome;
}

std::string found(const std::string& name, const fs::path& folder, const std::string& tail) {
  return name + "    Path:  " + to_utf8(folder.wstring()) + "\\" + name + " Version:  " + tail;
}

void judge_line(const Outcome& outcome, const std::string& case_name, const std::string& name,
                const std::string& expected) {
  const std::string actual = outcome.line(name);
  judge(case_name, outcome.sound() && actual == expected,
        "want: " + expected + "\n  have: " + actual);
}

class HostileMachine : public ProgramTest {
 protected:
  Setting on_path(const fs::path& suite) const {
    Setting s = setting();
    s.path_variable = suite.wstring() + L";" + system_folder() + L";";
    return s;
  }
};

// --- Libraries that attack the process loading them --------------------------

TEST_F(HostileMachine, BrokenLibrariesUnderSuiteNames) {
  if (!all_built({L"fixture_exits.dll", L"fixture_throws.dll", L"fixture_faults.dll",
                  L"fixture_hangs.dll", L"fixture_empty.dll", L"fixture_ktr_fault1.dll"}))
    GTEST_SKIP() << kNotBuilt;
  const fs::path suite = layout_.path_folder;
  plant(L"fixture_ktr_fault1.dll", suite / L"KTR_Intel_Win32.dll");
  plant(L"fixture_exits.dll", suite / L"KTR_Imaging32.DLL");
  plant(L"fixture_throws.dll", suite / L"PelkoCore32.dll");
  plant(L"fixture_faults.dll", suite / L"PELKOVIEW.DLL");
  plant(L"fixture_hangs.dll", suite / L"pelko_forms32.dll");
  plant(L"fixture_empty.dll", suite / L"KTR_Barcode32.dll");
  plant(L"fixture_truncated_pe.dll", suite / L"KTR_Pdf32.DLL");
  plant(L"fixture_bad_version.dll", suite / L"libpng16.dll");
  plant(L"fixture_bad_version_length.dll", suite / L"libtiff.dll");
  plant(L"fixture_truncated_version.dll", suite / L"jpeg62.dll");
  plant(L"fixture_missingimport.dll", suite / L"PelkoOcr32.dll");
  plant(L"fixture_text.dll", suite / L"PelkoPrint32.DLL");
  plant(L"fixture_v1234.dll", suite / L"pelkotwain.dll");  // after all of the above
  const bool other_word_size = built(L"fixture_other_word_size.dll");
  if (other_word_size) plant(L"fixture_other_word_size.dll", suite / L"KTR_Scan32.dll");
  // A library held open by another process that shares nothing.
  plant(L"fixture_v1234.dll", suite / L"MFC42.DLL");
  ScopedHandle lock(CreateFileW((suite / L"MFC42.DLL").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock) << "the driver cannot lock its own file";
  // A folder under a table name in every stage the test may write to (the
  // system and Windows folders belong to the machine). Not a name of Wine's
  // own libraries: Wine's loader does not start a program whose folder holds
  // a folder under the name of a library it loads itself.
  for (const fs::path& folder : {layout_.program_folder, layout_.current_folder, suite})
    fs::create_directory(folder / L"MSVBVM60.DLL");

  Program program(on_path(suite));
  const Outcome o = observe(program);
  judge("KTR_DLL_VERSION faults (null write)", o.sound() && o.lines.size() > 2 &&
                                                   o.lines[2] == L"KTR DLL version not found.",
        o.lines.size() > 2 ? to_utf8(o.lines[2]) : "no line");
  judge_line(o, "DllMain calls ExitProcess", "KTR_Imaging32.DLL",
             found("KTR_Imaging32.DLL", suite, "6.0.0.1 DLL cannot be loaded"));
  judge_line(o, "DllMain throws past its own C++ runtime", "PelkoCore32.dll",
             found("PelkoCore32.dll", suite, "N/A DLL cannot be loaded"));
  judge_line(o, "DllMain faults", "PELKOVIEW.DLL",
             found("PELKOVIEW.DLL", suite, "6.0.0.3 DLL cannot be loaded"));
  judge_line(o, "DllMain never returns", "pelko_forms32.dll",
             found("pelko_forms32.dll", suite, "6.0.0.2 DLL cannot be loaded"));
  judge_line(o, "zero-byte DLL", "KTR_Barcode32.dll",
             found("KTR_Barcode32.dll", suite, "N/A DLL cannot be loaded"));
  judge_line(o, "truncated PE", "KTR_Pdf32.DLL",
             found("KTR_Pdf32.DLL", suite, "N/A DLL cannot be loaded"));
  judge_line(o, "version record without its signature", "libpng16.dll",
             found("libpng16.dll", suite, "1.2.3.4 DLL can be loaded"));
  judge_line(o, "version record with a lying length", "libtiff.dll",
             found("libtiff.dll", suite, "0.0.0.0 DLL can be loaded"));
  judge_line(o, "file cut inside its version resource", "jpeg62.dll",
             found("jpeg62.dll", suite, "N/A DLL cannot be loaded"));
  judge_line(o, "DLL importing a missing library", "PelkoOcr32.dll",
             found("PelkoOcr32.dll", suite, "3.0.0.2 DLL cannot be loaded"));
  judge_line(o, "text file under a DLL name", "PelkoPrint32.DLL",
             found("PelkoPrint32.DLL", suite, "N/A DLL cannot be loaded"));
  judge_line(o, "good DLL after the hostile ones (fresh helper)", "pelkotwain.dll",
             found("pelkotwain.dll", suite, "1.2.3.4 DLL can be loaded"));
  if (other_word_size)
    judge_line(o, "DLL of the other word size", "KTR_Scan32.dll",
               found("KTR_Scan32.dll", suite, "N/A DLL cannot be loaded"));
  else
    cannot_express("DLL of the other word size", "the other MinGW compiler is not installed");
  judge_line(o, "locked file", "MFC42.DLL", found("MFC42.DLL", suite, "N/A DLL cannot be loaded"));
  judge_line(o, "folder named like a table entry in every stage", "MSVBVM60.DLL",
             " MSVBVM60.DLL :   File not found");
  judge("none of the hostile libraries stays in the process",
        o.sound() && !o.modules(L"Program Modules for Pelko_Files").empty() &&
            !o.lists_module_in(suite));
}

// --- Deaths that come late; a component whose own load faults ------------------

// A library whose thread takes its process down a moment after it loaded,
// while the next name is loaded, costs that name nothing. Each is followed in
// the table by a sound library that takes a second to load. The late one's
// own line says what its helper saw: loaded, or ended while it was tested.
TEST_F(HostileMachine, LibrariesThatEndTheirProcessLaterAndAComponentWhoseLoadFaults) {
  if (!all_built({L"fixture_exits_later.dll", L"fixture_unmapped_thread.dll",
                  L"fixture_next.dll", L"fixture_ktr_fault4.dll"}))
    GTEST_SKIP() << kNotBuilt;
  const fs::path suite = layout_.path_folder;
  plant(L"fixture_ktr_fault4.dll", suite / L"KTR_Intel_Win32.dll");
  plant(L"fixture_unmapped_thread.dll", suite / L"KTR_Imaging32.DLL");
  plant(L"fixture_next.dll", suite / L"PelkoCore32.dll");
  plant(L"fixture_exits_later.dll", suite / L"PELKOVIEW.DLL");
  plant(L"fixture_next.dll", suite / L"pelko_forms32.dll");

  Program program(on_path(suite));
  const Outcome o = observe(program);
  judge("DllMain of the component library faults only in the program",
        o.sound() && o.lines.size() > kFirstFileLine + kTableSize &&
            o.lines[2] == L"KTR DLL version not found." && !o.lists_module_in(suite),
        o.lines.size() > 2 ? to_utf8(o.lines[2]) + " " + o.modules_text(suite) : "no line");
  judge_line(o, "sound DLL loaded as a thread runs into unloaded code", "PelkoCore32.dll",
             found("PelkoCore32.dll", suite, "6.0.0.7 DLL can be loaded"));
  judge_line(o, "sound DLL loaded as a thread calls ExitProcess", "pelko_forms32.dll",
             found("pelko_forms32.dll", suite, "6.0.0.7 DLL can be loaded"));
  for (const auto& [case_name, name, version] :
       {std::tuple{"DLL whose thread runs on in its unloaded code", "KTR_Imaging32.DLL", "6.0.0.6"},
        std::tuple{"DLL whose thread ends its process a moment later", "PELKOVIEW.DLL",
                   "6.0.0.5"}}) {
    const std::string line = o.line(name);
    const std::string start = found(name, suite, std::string(version) + " DLL ");
    judge(case_name,
          o.sound() && (line == start + "can be loaded" || line == start + "cannot be loaded"),
          line);
  }
}

// Libraries whose import tables lie or loop: the report's answer for them is
// explained from their files, and the explanation may cost nothing more than
// itself.
TEST_F(HostileMachine, ImportTablesThatLieOrLoop) {
  if (!all_built({L"fixture_imports_cut.dll", L"fixture_loop_a.dll"}))
    GTEST_SKIP() << kNotBuilt;
  const fs::path suite = layout_.path_folder;
  plant(L"fixture_imports_cut.dll", suite / L"KTR_Imaging32.DLL");
  plant(L"fixture_imports_outside.dll", suite / L"PelkoCore32.dll");
  plant(L"fixture_loop_a.dll", suite / L"PELKOVIEW.DLL");
  for (const wchar_t* f : {L"fixture_loop_a.dll", L"fixture_loop_b.dll"}) plant(f, suite / f);
  plant(L"fixture_v1234.dll", suite / L"pelko_forms32.dll");  // after all of the above

  Program program(on_path(suite));
  const Outcome o = observe(program);
  judge_line(o, "import table cut short by the file's end", "KTR_Imaging32.DLL",
             found("KTR_Imaging32.DLL", suite, "3.0.0.2 DLL cannot be loaded"));
  judge_line(o, "import entry pointing outside the file", "PelkoCore32.dll",
             found("PelkoCore32.dll", suite, "N/A DLL cannot be loaded"));
  judge_line(o, "loop of imports, one of them missing a library", "PELKOVIEW.DLL",
             found("PELKOVIEW.DLL", suite, "N/A DLL cannot be loaded"));
  judge_line(o, "good DLL after the lying import tables", "pelko_forms32.dll",
             found("pelko_forms32.dll", suite, "1.2.3.4 DLL can be loaded"));
}

// --- Odd PATHs, folders and names ---------------------------------------------

TEST_F(HostileMachine, OddPathPiecesAndAProgramFolderWithAnEmojiAndAnotherName) {
  if (!built(L"fixture_ktr_fault2.dll")) GTEST_SKIP() << kNotBuilt;
  // About 32 000 characters of folders that do not exist, then the odd
  // pieces, then the folder that holds the libraries.
  std::wstring path;
  int folders = 0;
  for (; folders < 2000 || path.size() < 31000; ++folders)
    path += L"C:\\n\\f" + std::to_wstring(folders) + L";";
  const fs::path quoted = layout_.temp.folder(L"quoted");
  const fs::path relative = layout_.current_folder / L"rel";
  fs::create_directory(relative);
  path += L"\"" + quoted.wstring() + L"\";rel;C:\\in|va<lid>;\\\\nohost\\noshare;" +
          layout_.path_folder.wstring() + L";" + system_folder();
  plant(L"fixture_v1234.dll", quoted / L"KTR_Imaging32.DLL");
  plant(L"fixture_v5126000.dll", relative / L"PelkoCore32.dll");
  plant(L"fixture_v2050727.dll", layout_.path_folder / L"PELKOVIEW.DLL");
  plant(L"fixture_ktr_fault2.dll", layout_.path_folder / L"KTR_Intel_Win32.dll");

  Setting s = setting();
  s.program_folder = layout_.temp.folder(L"Tarnwick \U0001F600 Files");
  s.exe_name = L"Support Tool.exe";
  s.path_variable = path;
  ASSERT_GT(s.path_variable.size(), 31000u);
  ASSERT_LT(s.path_variable.size(), 32767u) << "longer than the system keeps";
  Program program(s);
  const Outcome o = observe(program);
  judge("KTR_DLL_VERSION ends its process",
        o.sound() && o.lines.size() > 2 && o.lines[2] == L"KTR DLL version not found.");
  judge_line(o, "PATH of about 32 000 characters in over 2 000 folders", "PELKOVIEW.DLL",
             found("PELKOVIEW.DLL", layout_.path_folder, "2.0.50727.42 DLL can be loaded"));
  // The program takes PATH's pieces as written: a quoted one names no folder.
  judge_line(o, "quoted PATH piece", "KTR_Imaging32.DLL", " KTR_Imaging32.DLL :   File not found");
  judge_line(o, "relative PATH piece", "PelkoCore32.dll",
             "PelkoCore32.dll    Path:  rel\\PelkoCore32.dll Version:  5.1.2600.0 DLL can be loaded");
  judge("invalid-character and UNC PATH pieces", o.sound() && o.lines.size() > kFirstFileLine + kTableSize);
  judge("program folder with an emoji", o.sound() && !o.lists_module_in(layout_.path_folder) &&
                                            !o.modules(L"Program Modules for Support Tool").empty());
  judge("renamed exe", o.sound() && !o.lines.empty() &&
                           o.lines[0].starts_with(L"System files for Support Tool Version 1.0.13 Date: "));
}

TEST_F(HostileMachine, ProgramFolderLongerThan260Characters) {
  fs::path deep = layout_.temp.path();
  while (deep.wstring().size() <= 300) deep /= L"a_rather_long_folder_name_for_depth";
  std::error_code error;
  fs::create_directories(deep, error);
  if (error) {
    cannot_express("program folder over 260 characters", "the folder cannot be made: " + error.message());
    return;
  }
  Setting s = setting();
  s.program_folder = deep;
  const fs::path copy = deep / s.exe_name;
  fs::copy_file(program_file(), copy, error);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  std::wstring command = L"\"" + copy.wstring() + L"\"";
  if (!CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      layout_.current_folder.c_str(), &startup, &started)) {
    cannot_express("program folder over 260 characters",
                   "the system cannot start a program there (CreateProcess error " +
                       std::to_string(GetLastError()) + ")");
    return;
  }
  TerminateProcess(started.hProcess, 1);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  // The helper starts through the short form of the program's path: no
  // notice that the libraries were loaded inside the program comes first.
  Program program(s);
  const Outcome o = observe(program);
  judge("program folder over 260 characters",
        o.sound() && program.message_box() == nullptr &&
            o.lines.size() > kFirstFileLine + kTableSize);
}

// --- The component library faults only in the program's own call -------------

TEST_F(HostileMachine, ComponentFaultingInTheProgramAndLibrariesPlantedBesideIt) {
  if (!built(L"fixture_ktr_fault3.dll")) GTEST_SKIP() << kNotBuilt;
  plant(L"fixture_ktr_fault3.dll", layout_.path_folder / L"KTR_Intel_Win32.dll");
  // System libraries the program binds at run time, planted beside it.
  for (const wchar_t* name : {L"psapi.dll", L"msftedit.dll"})
    plant(L"fixture_v1234.dll", layout_.program_folder / name);
  Program program(on_path(layout_.path_folder));
  const Outcome o = observe(program);
  judge("KTR_DLL_VERSION faults only in the program's own call",
        o.sound() && o.lines.size() > 2 && o.lines[2] == L"KTR DLL version not found.");
  judge("psapi.dll and msftedit.dll planted beside the program",
        o.sound() && !o.lists_module_in(layout_.program_folder) &&
            !o.modules(L"Program Modules for Pelko_Files").empty(),
        o.modules_text(layout_.program_folder));

  // A clipboard held by another program throughout "Copy Text": the user is
  // told why, and the window, its report and what the clipboard held stay;
  // the next click copies.
  const HWND window = program.wait_for_window();
  const Controls controls = find_controls(window);
  put_driver_data_on_clipboard(L"held by the driver");
  const std::wstring report = report_text(program, controls.report);
  std::wstring told;
  {
    HeldClipboard held;
    ASSERT_TRUE(held.is_open());
    PostMessageW(controls.copy_text, BM_CLICK, 0, 0);
    const HWND box = program.wait_for_message_box();
    told = box != nullptr ? message_box_text(box) : L"(no message)";
    if (box != nullptr) PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    wait_until([&] { return program.message_box() == nullptr; });
  }
  const std::vector<UINT> formats = clipboard_formats();
  const bool kept = std::find(formats.begin(), formats.end(), driver_private_format()) != formats.end();
  const bool same_report = report_text(program, controls.report) == report;
  const bool copied_next = click_copy_text(controls.copy_text) &&
                           clipboard_unicode_text() == with_crlf(report);
  // A reason follows the statement.
  const std::wstring statement = L"The report could not be copied to the clipboard: ";
  judge("clipboard held throughout Copy Text",
        told.starts_with(statement) && told.size() > statement.size() && program.running() &&
            IsWindowVisible(window) && kept && same_report && copied_next,
        to_utf8(told) + (kept ? "" : "; the clipboard was emptied") +
            (same_report ? "" : "; the report changed") +
            (copied_next ? "" : "; the next click did not copy"));

  // A second copy from another folder, while the first runs.
  const fs::path second_suite = layout_.temp.folder(L"second\\suite");
  plant(L"KTR_Intel_Win32.dll", second_suite / L"KTR_Intel_Win32.dll");
  Program second({layout_.temp.folder(L"second\\program"), layout_.temp.folder(L"second\\work"),
                  second_suite.wstring() + L";" + system_folder()});
  // It lists its own component library: a copy that took the first's
  // modules would not.
  const Outcome two = observe(second);
  judge("second copy running from another folder",
        two.sound() && program.running() && two.lists_module_in(second_suite) &&
            two.lines.size() > 2 && two.lines[2].starts_with(L"KTR DLL version "),
        two.modules_text(second_suite));

  // And "Done" still ends the first copy cleanly.
  PostMessageW(controls.done, BM_CLICK, 0, 0);
  judge("Done after all of it ends with exit code 0", program.wait_for_exit() == DWORD{0});
}

// The program binds version.dll only from the system folder, and riched20.dll
// only when msftedit.dll is missing. Wine's own libraries import both by
// name (its msftedit.dll imports riched20.dll), and Wine's loader resolves
// those imports from the program's folder first: there the planted copies
// are loaded by Wine, not by the program, and the case cannot be shown.
TEST_F(HostileMachine, VersionAndRichEditLibrariesPlantedBesideTheProgram) {
  for (const wchar_t* name : {L"version.dll", L"riched20.dll"})
    plant(L"fixture_v1234.dll", layout_.program_folder / name);
  // In the same start: a component library whose initialisation ends the
  // process, found in the current folder, and a PATH of separators only.
  plant(L"fixture_exits.dll", layout_.current_folder / L"KTR_Intel_Win32.dll");
  Setting s = setting();
  s.path_variable = L";;;";
  // The notice comes while the report is built, before the window shows;
  // once it is read the window opens with the whole report, and no second
  // notice follows.
  Program program(s);
  const HWND notice = program.wait_for_message_box();
  const std::wstring notice_text = notice != nullptr ? message_box_text(notice) : L"";
  const HWND hidden = program.window();
  const bool shown_early = hidden == nullptr || IsWindowVisible(hidden);
  if (notice != nullptr) PostMessageW(GetDlgItem(notice, IDOK), BM_CLICK, 0, 0);
  const Outcome o = observe(program);
  const bool second_notice = program.message_box() != nullptr;
  judge("PATH of separators only",
        o.sound() && notice_text == L"The path is undefined" && !shown_early && !second_notice &&
            !o.modules(L"Program Modules for Pelko_Files").empty(),
        to_utf8(notice_text) + (shown_early ? "; the window was not there, hidden, first" : "") +
            (second_notice ? "; a second notice came up" : ""));
  judge("component library whose initialisation ends the process",
        o.sound() && o.lines.size() > 2 && o.lines[2] == L"KTR DLL version not found.");
  const std::string name = "version.dll and riched20.dll planted beside the program";
  if (o.sound() && o.lists_module_in(layout_.program_folder) && running_under_wine()) {
    cannot_express(name, "Wine's own libraries import them by name from the program's folder: " +
                             o.modules_text(layout_.program_folder));
    return;
  }
  judge(name, o.sound() && !o.lists_module_in(layout_.program_folder) && o.lines.size() > 5,
        o.modules_text(layout_.program_folder));
}

// --- A report over 32 000 characters --------------------------------------------

// The stand-in component library loads 160 more libraries: every one of them
// is listed, and none of that work is left for after the window is shown,
// where it would keep the window from answering. The folder's long name
// (over 150 characters) makes the report long with no more libraries than that:
// each costs a load in the helper's component question first, whose 10 s a
// busy machine outlasts at a few hundred.
TEST_F(HostileMachine, ReportLongerThan32000Characters) {
  const fs::path suite = layout_.temp.folder(
      L"many modules, each listed under a folder name long enough that a hundred and "
      L"sixty of them make a report of over 32 000 characters, all of it written out full");
  const std::vector<fs::path> extras = testing::lay_out_many_modules(suite, 160);
  if (extras.empty()) GTEST_SKIP() << "the many-modules stand-in is not built";
  Program program(on_path(suite));
  const HWND shown = program.wait_for_window();
  // A program that asks the window something gives up after a short wait
  // rather than hang with it; a busy window would not answer in time.
  DWORD_PTR answer = 0;
  const bool answers = shown != nullptr &&
                       SendMessageTimeoutW(shown, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                           1000, &answer) != 0;
  const Outcome o = observe(program);
  std::size_t length = 0;
  for (const std::wstring& line : o.lines) length += line.size() + 1;
  const std::vector<std::wstring> listed = o.modules_in(suite);
  std::size_t missing = 0;
  for (const fs::path& extra : extras) {
    std::wstring upper = extra.wstring();
    std::transform(upper.begin(), upper.end(), upper.begin(), towupper);
    missing += std::count(listed.begin(), listed.end(), upper) == 1 ? 0 : 1;
  }
  judge("report over 32 000 characters, 160 modules, all listed",
        o.sound() && answers && length > 32000 && missing == 0,
        "length " + std::to_string(length) + ", " + std::to_string(missing) + " of " +
            std::to_string(extras.size()) + " not listed" +
            (answers ? "" : ", the shown window does not answer") +
            (o.lines.size() > 2 ? "; " + to_utf8(o.lines[2]) : ""));

  const Controls controls = find_controls(program.wait_for_window());
  const bool copied = click_copy_text(controls.copy_text);
  const std::optional<std::wstring> clipboard = clipboard_unicode_text();
  const std::wstring box = report_text(program, controls.report);
  judge("Copy Text of a report over 32 000 characters",
        copied && clipboard.has_value() && box.size() > 32000 && *clipboard == with_crlf(box) &&
            program.running());
}

}  // namespace
}  // namespace tarnwick::e2e
