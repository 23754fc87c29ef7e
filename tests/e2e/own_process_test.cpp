// The module section describes the program's own process, whatever else runs
// on the machine: a second copy of the program, started from another folder,
// has the same file name and must not lend it its modules.

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include "driver.h"

namespace tarnwick::e2e {
namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kModuleHeading = L"Program Modules for Pelko_Files";

std::wstring upper(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
  return text;
}

// The paths under the module heading of a running copy's report.
std::vector<std::wstring> module_section(const Program& program, HWND window) {
  const std::vector<std::wstring> lines =
      split(report_text(program, find_controls(window).report), L'\r');
  const auto heading = std::find(lines.begin(), lines.end(), kModuleHeading);
  if (heading == lines.end() || lines.end() - heading < 2) return {};
  return {heading + 2, lines.end()};
}

bool lists(const std::vector<std::wstring>& modules, const fs::path& file) {
  return std::find(modules.begin(), modules.end(), upper(file.wstring())) != modules.end();
}

class OwnProcess : public ProgramTest {};

TEST_F(OwnProcess, SecondCopyFromAnotherFolderListsOnlyItsOwnModules) {
  const fs::path component = fixture_file(L"KTR_Intel_Win32.dll");
  if (component.empty() || !fs::exists(component))
    GTEST_SKIP() << "the stand-in component library is not built";
  // Each copy loads the component library from its own suite folder, so the
  // library's path tells whose modules a section lists.
  Program& first = start();
  ASSERT_NE(window(), nullptr);

  const fs::path second_suite = layout_.temp.folder(L"second\\suite");
  fs::copy_file(component, second_suite / L"KTR_Intel_Win32.dll");
  wchar_t system[MAX_PATH + 1] = {};
  GetSystemDirectoryW(system, MAX_PATH + 1);
  Program second({layout_.temp.folder(L"second\\program"), layout_.temp.folder(L"second\\work"),
                  second_suite.wstring() + L";" + system + L";"});
  const HWND second_window = second.wait_for_window();
  ASSERT_NE(second_window, nullptr) << "the second copy's window did not appear";
  ASSERT_NE(second.process_id(), first.process_id());

  const std::vector<std::wstring> first_modules = module_section(first, window());
  const std::vector<std::wstring> second_modules = module_section(second, second_window);
  const fs::path first_library = layout_.path_folder / L"KTR_Intel_Win32.dll";
  const fs::path second_library = second_suite / L"KTR_Intel_Win32.dll";
  EXPECT_TRUE(lists(first_modules, first_library));
  EXPECT_FALSE(lists(first_modules, second_library));
  EXPECT_TRUE(lists(second_modules, second_library));
  EXPECT_FALSE(lists(second_modules, first_library)) << "the second copy lists the first's modules";
}

// A few hundred modules make the module section long; none of that work may
// be left for after the window is shown, where it would keep the window from
// answering.
TEST_F(OwnProcess, WithHundredsOfModulesTheShownWindowAnswersAndListsThemAll) {
  const fs::path suite = layout_.temp.folder(L"many");
  const std::vector<fs::path> extras = testing::lay_out_many_modules(suite, 300);
  if (extras.empty()) GTEST_SKIP() << "the many-modules stand-in is not built";
  wchar_t system[MAX_PATH + 1] = {};
  GetSystemDirectoryW(system, MAX_PATH + 1);
  Program program({layout_.program_folder, layout_.current_folder, suite.wstring() + L";" + system + L";"});
  const HWND shown = program.wait_for_window();
  ASSERT_NE(shown, nullptr) << "the window did not appear";

  // A program that asks the window something gives up after a short wait
  // rather than hang with it; a busy window would not answer in time.
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutW(shown, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000,
                                &answer),
            0)
      << "the shown window does not answer";

  const std::vector<std::wstring> modules = module_section(program, shown);
  std::size_t missing = 0;
  for (const fs::path& extra : extras) missing += lists(modules, extra) ? 0 : 1;
  EXPECT_EQ(missing, 0u) << "of " << extras.size() << " extra libraries, listed: "
                         << modules.size() << " modules in all";
  EXPECT_TRUE(lists(modules, suite / L"KTR_Intel_Win32.dll"));
}

}  // namespace
}  // namespace tarnwick::e2e
