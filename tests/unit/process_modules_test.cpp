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
  Paths run(const std::string& exe_file_name = "report.exe") {
    return list_process_modules(kernel32, psapi, exe_file_name);
  }
};

// --- platform --------------------------------------------------------------

TEST_F(ProcessLister, OutsideTheNtFamilyNothingIsListed) {
  add(4, {"C:\\Tools\\REPORT.EXE", "C:\\A.DLL"});
  for (std::int32_t platform : {0, 1, 3}) {
    SCOPED_TRACE(platform);
    kernel32.platform = platform;
    EXPECT_TRUE(run().empty());
  }
  EXPECT_TRUE(psapi.enum_buffer_sizes.empty());
  EXPECT_EQ(psapi.file_name_queries, 0);
  EXPECT_TRUE(kernel32.open_attempts.empty());
}

TEST_F(ProcessLister, ThreeProcessesTakeOneAttempt) {
  for (std::uint32_t id : {30u, 10u, 7u}) add(id, {"C:\\Tools\\REPORT.EXE", "C:\\A.DLL"});
  EXPECT_FALSE(run().empty());
  EXPECT_EQ(psapi.enum_buffer_sizes, (std::vector<std::uint32_t>{16}));
  // Other processes are never opened, whatever their name.
  EXPECT_EQ(kernel32.open_attempts, (std::vector<std::uint32_t>{7}));
}

TEST_F(ProcessLister, FourProcessesFillTheFirstBufferAndTakeTwoAttempts) {
  for (std::uint32_t id : {1u, 2u, 3u}) add(id, {"C:\\OTHER.EXE"});
  add(7, {"C:\\Tools\\REPORT.EXE", "C:\\A.DLL"});
  EXPECT_EQ(run(), Paths{"C:\\A.DLL"});
  EXPECT_EQ(psapi.enum_buffer_sizes, (std::vector<std::uint32_t>{16, 32}));
}

TEST_F(ProcessLister, OpensForQueryAndMemoryReadWithoutInheritance) {
  add(7, {"C:\\Tools\\REPORT.EXE"});
  run();
  EXPECT_EQ(kernel32.last_access, 0x410u);
  EXPECT_FALSE(kernel32.last_inherit);
}

// --- which process ---------------------------------------------------------

TEST_F(ProcessLister, NameMatchesWhateverItsCaseAndSurroundingSpaces) {
  add(7, {"C:\\Tools\\REPORT.EXE", "C:\\A.DLL"});
  EXPECT_EQ(run(" report.exe "), Paths{"C:\\A.DLL"});
}

TEST_F(ProcessLister, OnlyTheArgumentsLastComponentCounts) {
  add(7, {"C:\\Tools\\REPORT.EXE", "C:\\A.DLL"});
  EXPECT_EQ(run("D:\\other\\Report.Exe"), Paths{"C:\\A.DLL"});
}

TEST_F(ProcessLister, ExecutablePathIsComparedUpperCased) {
  add(7, {"c:\\tools\\Report.exe", "C:\\A.DLL"});
  EXPECT_FALSE(run("REPORT.EXE").empty());
}

TEST_F(ProcessLister, NulsAndSpacesAroundTheExecutablePathAreIgnored) {
  add(7, {std::string(" C:\\Tools\\REPORT.EXE\0 ", 22), "C:\\A.DLL"});
  EXPECT_FALSE(run().empty());
}

TEST_F(ProcessLister, OnlyTheExecutablesFileNameIsCompared) {
  for (const char* executable : {"C:\\REPORT.EXE\\OTHER.EXE", "C:\\Tools\\REPORT.EXE.OLD",
                                 ""}) {  // "": the path cannot be read
    SCOPED_TRACE(executable);
    psapi.processes.clear();
    add(7, {executable, "C:\\X.DLL"});
    EXPECT_TRUE(run().empty());
  }
}

TEST_F(ProcessLister, AnotherCopyOfTheProgramIsNeverListed) {
  add(1, {"C:\\OTHER.EXE", "C:\\O.DLL"});
  add(2, {"C:\\First\\REPORT.EXE", "C:\\FIRST\\F.DLL"});
  add(7, {"D:\\Second\\report.exe", "D:\\SECOND\\S.DLL"});
  add(9, {"E:\\Third\\REPORT.EXE", "E:\\THIRD\\T.DLL"});
  EXPECT_EQ(run(), Paths{"D:\\SECOND\\S.DLL"});
  EXPECT_EQ(kernel32.open_attempts, (std::vector<std::uint32_t>{7}));
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
  for (const char* entry : {"EnumProcesses", "EnumProcessModules",
                            "GetModuleFileNameExW"}) {
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

// --- field routines --------------------------------------------------------

TEST(CountFields, CountsBackslashSeparatedFields) {
  EXPECT_EQ(count_fields("", "\\"), 0);
  EXPECT_EQ(count_fields("ABC", "\\"), 1);
  EXPECT_EQ(count_fields("A\\B\\C", "\\"), 3);
  EXPECT_EQ(count_fields("A\\", "\\"), 2);
  EXPECT_EQ(count_fields("\\", "\\"), 2);
}

TEST(CountFields, LongerDelimiterIsSearchedAgainOneCharacterOn) {
  EXPECT_EQ(count_fields("A--B", "--"), 2);
  EXPECT_EQ(count_fields("A---B", "--"), 3);
}

TEST(CountFields, MoreThan32767FieldsIsAnOverflow) {
  EXPECT_EQ(count_fields(std::string(32766, '\\'), "\\"), 32767);
  EXPECT_THROW(count_fields(std::string(32767, '\\'), "\\"), SystemError);
}

TEST(GetField, PicksFieldsCountedFromZero) {
  EXPECT_EQ(get_field("A\\B\\C", "\\", 0, 0, 0), "A");
  EXPECT_EQ(get_field("A\\B\\C", "\\", 0, 0, 2), "C");
  EXPECT_EQ(get_field("A\\B\\C\\D", "\\", 1, 2, 1), "D");
}

TEST(GetField, NegativeIndexGivesTheFirstField) {
  EXPECT_EQ(get_field("A\\B\\C", "\\", 0, 0, -1), "A");
}

TEST(GetField, BeyondTheLastFieldIsEmpty) {
  EXPECT_EQ(get_field("A\\B\\C", "\\", 0, 0, 3), "");
  EXPECT_EQ(get_field("A\\B\\C", "\\", 0, 0, 7), "");
  EXPECT_EQ(get_field("A\\", "\\", 0, 0, 1), "");
  EXPECT_EQ(get_field("", "\\", 0, 0, 0), "");
}

TEST(GetField, LongerDelimiterIsDroppedWhole) {
  EXPECT_EQ(get_field("A--B--C", "--", 0, 0, 1), "B");
  EXPECT_EQ(get_field("A---B", "--", 0, 0, 1), "-B");
}

TEST(GetField, IndexOverflowIsAFailure) {
  EXPECT_THROW(get_field("A", "\\", 65536, 65536, 0), SystemError);
  EXPECT_THROW(get_field("A", "\\", 1, 0x7FFFFFFF, 1), SystemError);
}

TEST(GetFileNameUpper, TakesTheTextAfterTheLastBackslash) {
  EXPECT_EQ(get_file_name_upper("c:\\dir\\name.exe"), "NAME.EXE");
  EXPECT_EQ(get_file_name_upper("name.exe"), "NAME.EXE");
  EXPECT_EQ(get_file_name_upper("c:\\dir\\"), "");
  EXPECT_EQ(get_file_name_upper(""), "");
}

}  // namespace
}  // namespace tarnwick
