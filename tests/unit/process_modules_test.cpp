#include "processes/process_modules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "substitutes/fake_platform.h"

namespace tarnwick {
namespace {

using Paths = std::vector<std::string>;

constexpr std::uint32_t kTableBytes = 200 * sizeof(ModuleHandle);

// An executable followed by `count` DLLs, numbered from 1.
Paths exe_with_dlls(const std::string& exe, int count) {
  Paths modules{exe};
  for (int i = 1; i <= count; ++i)
    modules.push_back("C:\\App\\m" + std::to_string(i) + ".dll");
  return modules;
}

Paths upper_dlls(int first, int last) {
  Paths paths;
  for (int i = first; i <= last; ++i)
    paths.push_back("C:\\APP\\M" + std::to_string(i) + ".DLL");
  return paths;
}

class ProcessLister : public ::testing::Test {
 protected:
  fake::Kernel32 kernel32;
  fake::Psapi psapi;

  fake::Psapi::Process& add(std::uint32_t id, Paths modules) {
    return psapi.add(kernel32, id, std::move(modules));
  }
  Paths run() { return list_process_modules(kernel32, psapi); }
};

// --- platform --------------------------------------------------------------

TEST_F(ProcessLister, OutsideTheNtFamilyNothingIsListed) {
  add(7, {"C:\\Tools\\REPORT.EXE", "C:\\A.DLL"});
  for (std::int32_t platform : {0, 1, 3}) {
    SCOPED_TRACE(platform);
    kernel32.platform = platform;
    EXPECT_TRUE(run().empty());
  }
  EXPECT_TRUE(psapi.module_table_sizes.empty());
  EXPECT_EQ(psapi.file_name_queries, 0);
  EXPECT_TRUE(kernel32.open_attempts.empty());
}

TEST_F(ProcessLister, OpensForQueryAndMemoryReadWithoutInheritance) {
  add(7, {"C:\\Tools\\REPORT.EXE"});
  run();
  EXPECT_EQ(kernel32.last_access, 0x410u);
  EXPECT_FALSE(kernel32.last_inherit);
}

// --- which process ---------------------------------------------------------

// Only this process is opened, by its id, and listed whatever its
// executable is called: a copy renamed to another extension, or started
// from anywhere, is still the program. Other copies are other processes.
TEST_F(ProcessLister, ThisProcessAloneIsListedByItsIdWhateverItsName) {
  add(2, {"C:\\First\\REPORT.EXE", "C:\\FIRST\\F.DLL"});
  add(7, {"D:\\Second\\Pelko_Files.bin", "D:\\Second\\s.dll"});
  add(9, {"E:\\Third\\REPORT.EXE", "E:\\THIRD\\T.DLL"});
  EXPECT_EQ(run(), Paths{"D:\\SECOND\\S.DLL"});
  EXPECT_EQ(kernel32.open_attempts, (std::vector<std::uint32_t>{7}));

  psapi.processes[1].modules[0] = "";  // its own path cannot be read
  EXPECT_EQ(run(), Paths{"D:\\SECOND\\S.DLL"});
}

TEST_F(ProcessLister, OwnProcessThatCannotBeOpenedOrListedGivesAnEmptyList) {
  add(2, {"C:\\Tools\\REPORT.EXE", "C:\\OTHER.DLL"});
  add(7, {"C:\\Tools\\REPORT.EXE", "C:\\DENIED.DLL"});
  kernel32.openable.erase(7);
  EXPECT_TRUE(run().empty());
  kernel32.openable[7] = psapi.processes.back().handle;
  psapi.processes.back().modules_fail = true;
  EXPECT_TRUE(run().empty());
  EXPECT_EQ(kernel32.closed, kernel32.opened);
}

TEST_F(ProcessLister, MatchWithoutDllModulesListsNothing) {
  add(7, {"C:\\Tools\\REPORT.EXE", "C:\\App\\grid.ocx"});
  EXPECT_TRUE(run().empty());
}

// --- which modules ---------------------------------------------------------

TEST_F(ProcessLister, ListsTheDllModulesUpperCasedInModuleOrder) {
  add(7, {"C:\\Tools\\report.exe", "C:\\WINDOWS\\system32\\ntdll.dll",
          "C:\\App\\grid.ocx", "C:\\App\\Viewer.Dll"});
  EXPECT_EQ(run(), (Paths{"C:\\WINDOWS\\SYSTEM32\\NTDLL.DLL", "C:\\APP\\VIEWER.DLL"}));
}

TEST_F(ProcessLister, OnlyPathsEndingInDotDllAreListedWithoutOuterSpaces) {
  add(7, {"C:\\Tools\\REPORT.EXE", " C:\\App\\spaced.dll ", "C:\\App\\x.dll.bak",
          "C:\\App\\nodotdll", "", "C:\\App\\last.DLL"});
  EXPECT_EQ(run(), (Paths{"C:\\APP\\SPACED.DLL", "C:\\APP\\LAST.DLL"}));
}

TEST_F(ProcessLister, SixtyModulesAreAllExamined) {
  add(7, exe_with_dlls("C:\\Tools\\REPORT.EXE", 59));
  EXPECT_EQ(run(), upper_dlls(1, 59));
  EXPECT_EQ(psapi.module_table_sizes, std::vector<std::uint32_t>{kTableBytes});
}

TEST_F(ProcessLister, MoreThanTwoHundredModulesAreAllListed) {
  add(7, exe_with_dlls("C:\\Tools\\REPORT.EXE", 249));
  EXPECT_EQ(run(), upper_dlls(1, 249));
  EXPECT_EQ(psapi.module_table_sizes,
            (std::vector<std::uint32_t>{kTableBytes, 250 * sizeof(ModuleHandle)}));
  EXPECT_EQ(kernel32.closed, kernel32.opened);
}

TEST_F(ProcessLister, ModulesLoadedWhileTheTableGrowsAreListed) {
  fake::Psapi::Process& p = add(7, exe_with_dlls("C:\\Tools\\REPORT.EXE", 209));
  Paths more;
  for (int i = 210; i <= 229; ++i) more.push_back("C:\\App\\m" + std::to_string(i) + ".dll");
  p.loads_after_query = {more};
  EXPECT_EQ(run(), upper_dlls(1, 229));
  EXPECT_EQ(psapi.module_table_sizes,
            (std::vector<std::uint32_t>{kTableBytes, 210 * sizeof(ModuleHandle),
                                        230 * sizeof(ModuleHandle)}));
}

// --- failures --------------------------------------------------------------

TEST_F(ProcessLister, MissingEntryPointIsRaisedAsProcessInfo) {
  add(7, {"C:\\Tools\\REPORT.EXE", "C:\\A.DLL"});
  for (const char* entry : {"EnumProcessModules", "GetModuleFileNameExW"}) {
    SCOPED_TRACE(entry);
    psapi.missing_entry_point = entry;
    try {
      run();
      ADD_FAILURE() << "no failure raised";
    } catch (const SystemError& e) {
      EXPECT_EQ(e.number(), fake::kProcedureNotFound);
      EXPECT_EQ(e.source(), "psapi.dll");
      EXPECT_EQ(e.description(), "ProcessInfo");
    }
    EXPECT_EQ(kernel32.closed, kernel32.opened);
  }
}

}  // namespace
}  // namespace tarnwick
