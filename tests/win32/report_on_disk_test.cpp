#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/trim_and_upper.h"
#include "files/file_version.h"
#include "platform/win32/component_win32.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/kernel32_win32.h"
#include "probe/load_probe_win32.h"
#include "platform/win32/psapi_win32.h"
#include "platform/win32/version_library_win32.h"
#include "report/system_files.h"
#include "report/whatsnew.h"
#include "report/memory_controls.h"
#include "substitutes/fake_platform.h"
#include "substitutes/report_reading.h"
#include "platform/win32/utf16.h"
#include "support/build_paths.h"
#include "support/temp_folder.h"

namespace tarnwick {
namespace {

using testing::TempFolder;

std::string utf8(const std::wstring& text) { return win32::to_utf8(text); }

// Places a copy of a fixture at `relative` below the temporary folder.
void place(const TempFolder& temp, const wchar_t* fixture, const std::wstring& relative) {
  std::filesystem::copy_file(testing::fixture_file(fixture), temp.path() / relative);
}

// Sets a process environment variable for one test and restores it after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[32768];
    const DWORD length = GetEnvironmentVariableW(name, old, 32768);
    had_ = length != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    old_.assign(old, length);
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::wstring old_;
  bool had_ = false;
};

class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::wstring& folder) {
    wchar_t old[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, old);
    old_ = old;
    SetCurrentDirectoryW(folder.c_str());
  }
  ~ScopedCurrentFolder() { SetCurrentDirectoryW(old_.c_str()); }

 private:
  std::wstring old_;
};

std::wstring own_exe_name() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
  std::wstring name = path;
  name = name.substr(name.find_last_of(L'\\') + 1);
  return name.substr(0, name.find_last_of(L'.'));
}

// The real platform layer, with the program folder and name under the test's
// control and message boxes recorded instead of shown.
struct ReportOnDisk : ::testing::Test {
  TempFolder temp;
  struct {
    win32::Win32Kernel32 kernel32;
    win32::Win32Psapi psapi;
    win32::Win32VersionLibrary version;
    win32::Win32ScriptingRuntime scripting;
    win32::Win32ComponentLibrary component;
    // A system that starts no helper, when a test says so.
    bool refuse_helpers = false;
    win32::Win32LoadProbe load_probe{[this](const std::wstring& program, std::wstring& line,
                                            const std::vector<HANDLE>& inherited,
                                            PROCESS_INFORMATION& started) {
      return !refuse_helpers && win32::start_helper_process(program, line, inherited, started);
    }};
  } real;
  fake::WindowSystem window_system;
  fake::Application app;
  Platform platform{real.kernel32,   real.psapi,    real.version, real.scripting, real.component,
                    real.load_probe, window_system, app};
  MemoryTextBox box;
  MemoryListBox list;
  Whatsnew form{platform, box, list};

  std::vector<std::string> lines() const { return testing::report_lines(box.contents()); }
  std::string line_of(const std::string& name) const {
    return testing::report_line_of(box.contents(), name);
  }
};

TEST_F(ReportOnDisk, LibrariesAlongTheSearchOrderAndTheirStates) {
  const std::wstring program = temp.folder(L"Program");
  const std::wstring current = temp.folder(L"Current");
  const std::wstring first = temp.folder(L"First");
  const std::wstring last = temp.folder(L"Last Ωμέγα");
  place(temp, L"fixture_v1234.dll", L"Program\\KTR_Imaging32.DLL");
  place(temp, L"fixture_v5126000.dll", L"Current\\PelkoCore32.dll");
  place(temp, L"KTR_Intel_Win32.dll", L"Current\\KTR_Intel_Win32.dll");
  temp.folder(L"Program\\PELKOVIEW.DLL");  // a folder, not a library
  place(temp, L"fixture_v2050727.dll", L"Last Ωμέγα\\PELKOVIEW.DLL");
  place(temp, L"fixture_noversion.dll", L"Last Ωμέγα\\KTR_Scan32.dll");
  place(temp, L"fixture_initfails.dll", L"Last Ωμέγα\\PelkoOcr32.dll");
  place(temp, L"fixture_missingimport.dll", L"Last Ωμέγα\\PelkoPrint32.DLL");
  place(temp, L"fixture_text.dll", L"Last Ωμέγα\\pelkotwain.dll");

  app.folder = utf8(program);
  app.name = utf8(own_exe_name());
  ScopedCurrentFolder in(current);
  ScopedEnvironment path(L"PATH", first + L";" + last + L";C:\\windows\\system32");
  form.Form_Load();

  EXPECT_TRUE(window_system.messages.empty());
  const auto l = lines();
  ASSERT_GT(l.size(), 2u);
  EXPECT_EQ(l[0].rfind("System files for " + app.name + " Version 1.0.13 Date: ", 0), 0u);
  EXPECT_EQ(l[2], "KTR DLL version 4.7");

  const std::string p = utf8(program), c = utf8(current), z = utf8(last);
  EXPECT_EQ(line_of("KTR_Imaging32.DLL"),
            "KTR_Imaging32.DLL    Path:  " + p + "\\KTR_Imaging32.DLL Version:  1.2.3.4"
            " DLL cannot be loaded");
  EXPECT_EQ(line_of("PelkoCore32.dll"),
            "PelkoCore32.dll    Path:  " + c + "\\PelkoCore32.dll Version:  5.1.2600.0"
            " DLL can be loaded");
  EXPECT_EQ(line_of("PELKOVIEW.DLL"),
            "PELKOVIEW.DLL    Path:  " + z + "\\PELKOVIEW.DLL Version:  2.0.50727.42"
            " DLL can be loaded");
  EXPECT_EQ(line_of("KTR_Scan32.dll"),
            "KTR_Scan32.dll    Path:  " + z + "\\KTR_Scan32.dll Version:  N/A"
            " DLL can be loaded");
  EXPECT_EQ(line_of("PelkoOcr32.dll"),
            "PelkoOcr32.dll    Path:  " + z + "\\PelkoOcr32.dll Version:  3.0.0.1"
            " DLL cannot be loaded");
  EXPECT_EQ(line_of("PelkoPrint32.DLL"),
            "PelkoPrint32.DLL    Path:  " + z + "\\PelkoPrint32.DLL Version:  3.0.0.2"
            " DLL cannot be loaded");
  EXPECT_EQ(line_of("pelkotwain.dll"),
            "pelkotwain.dll    Path:  " + z + "\\pelkotwain.dll Version:  N/A"
            " DLL cannot be loaded");
  EXPECT_EQ(line_of("KTR_Intel_Win32.dll"),
            "KTR_Intel_Win32.dll    Path:  " + c + "\\KTR_Intel_Win32.dll Version:  4.7.0.12"
            " DLL is loaded");
  EXPECT_EQ(line_of("pelko_forms32.dll"), " pelko_forms32.dll :   File not found");
}

// Where the system starts no helper, the libraries are loaded in this
// process, and the user is told so once, beside the report.
TEST_F(ReportOnDisk, LoadsInsideTheProgramAreToldWhereNoHelperStarts) {
  real.refuse_helpers = true;
  const std::wstring current = temp.folder(L"Current");
  place(temp, L"fixture_v5126000.dll", L"Current\\PelkoCore32.dll");
  place(temp, L"fixture_initfails.dll", L"Current\\PelkoOcr32.dll");
  app.folder = utf8(temp.folder(L"Program"));
  ScopedCurrentFolder in(current);
  EXPECT_TRUE(form.Form_Load());
  const std::vector<std::string> told{
      "No helper process could be started, so the libraries were loaded inside this program"};
  EXPECT_EQ(window_system.messages, told);
  EXPECT_EQ(form.facts().notices, told);
  const std::string c = utf8(current);
  EXPECT_EQ(line_of("PelkoCore32.dll"),
            "PelkoCore32.dll    Path:  " + c + "\\PelkoCore32.dll Version:  5.1.2600.0"
            " DLL can be loaded");
  EXPECT_EQ(line_of("PelkoOcr32.dll"),
            "PelkoOcr32.dll    Path:  " + c + "\\PelkoOcr32.dll Version:  3.0.0.1"
            " DLL cannot be loaded");
}

TEST_F(ReportOnDisk, SystemLibrariesAreFoundInTheSystemFolder) {
  app.folder = utf8(temp.folder(L"Program"));
  form.Form_Load();
  const std::string system = form.system_folder;
  ASSERT_FALSE(system.empty());
  const std::string msvcrt = line_of("msvcrt.dll");
  const std::string version =
      get_file_version(real.version, system + "\\msvcrt.dll");
  EXPECT_EQ(msvcrt, "msvcrt.dll    Path:  " + system + "\\msvcrt.dll Version:  " +
                        (version.empty() ? "N/A" : version) + " DLL is loaded");
}

TEST_F(ReportOnDisk, ModuleSectionListsThisProcessInUpperCase) {
  app.folder = utf8(temp.folder(L"Program"));
  app.name = utf8(own_exe_name());
  const std::wstring current = temp.folder(L"Current");
  place(temp, L"KTR_Intel_Win32.dll", L"Current\\KTR_Intel_Win32.dll");
  ScopedCurrentFolder in(current);
  form.Form_Load();
  const auto l = lines();
  const std::string heading = "Program Modules for " + app.name;
  auto at = std::find(l.begin(), l.end(), heading);
  ASSERT_NE(at, l.end()) << box.contents();
  EXPECT_EQ(*(at + 1), "");
  // The component library stays loaded once bound, so in a process that ran
  // an earlier report it is the copy that report found, not this folder's.
  const HMODULE library = GetModuleHandleW(L"KTR_Intel_Win32.dll");
  ASSERT_NE(library, nullptr) << "the report did not load the component library";
  wchar_t loaded[MAX_PATH + 1] = {};
  ASSERT_GT(GetModuleFileNameW(library, loaded, MAX_PATH + 1), 0u);
  bool ntdll = false, component = false;
  for (auto it = at + 2; it != l.end(); ++it) {
    EXPECT_EQ(*it, to_upper(*it));
    EXPECT_EQ(it->substr(it->size() - 4), ".DLL");
    ntdll = ntdll || it->ends_with("\\NTDLL.DLL");
    component = component || *it == to_upper(utf8(loaded));
  }
  EXPECT_TRUE(ntdll) << box.contents();
  EXPECT_TRUE(component) << box.contents();
  EXPECT_EQ(list.items(), std::vector<std::string>(at + 2, l.end()));
}

TEST_F(ReportOnDisk, NamesOutsideTheAnsiCodePageAreFoundAndProbed) {
  const std::wstring folder = temp.folder(L"Ünïcödé 日本");
  place(temp, L"fixture_v1234.dll", L"Ünïcödé 日本\\Ωmega_библиотека.dll");
  app.folder = utf8(folder);
  form.file_system = real.scripting.create_file_system_object();
  const std::string name = utf8(L"Ωmega_библиотека.dll");
  const std::string found = form.VBFindDLL(name);
  EXPECT_EQ(found, utf8(folder) + "\\" + name);
  EXPECT_EQ(get_file_version(real.version, found), "1.2.3.4");
  EXPECT_TRUE(real.load_probe.try_load(found).loads);
  EXPECT_FALSE(real.load_probe.loads_in_process());
}

TEST_F(ReportOnDisk, FolderNamedLikeALibraryIsNotAFile) {
  const std::wstring program = temp.folder(L"Program");
  temp.folder(L"Program\\gdiplus_named.dll");
  app.folder = utf8(program);
  form.file_system = real.scripting.create_file_system_object();
  ScopedEnvironment path(L"PATH", program);
  EXPECT_EQ(form.VBFindDLL("gdiplus_named.dll"), "");
}

}  // namespace
}  // namespace tarnwick
