#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "report/report_lines.h"
#include "report/system_files.h"
#include "report/whatsnew.h"
#include "report/memory_controls.h"
#include "substitutes/fake_platform.h"

namespace tarnwick {
namespace {

// The whole load sequence, so that the section is seen where it lands: after
// the file lines. No library of the table is found on this machine.
class ModuleSection : public ::testing::Test {
 protected:
  fake::FakePlatform fake;
  MemoryTextBox box;
  MemoryListBox list;

  ModuleSection() {
    with_path(fake);
    fake.kernel32.own_id = 2;
  }
  // Spares the notice of an undefined PATH, which is not what is tested here.
  static void with_path(fake::FakePlatform& platform) {
    platform.kernel32.environment["PATH"] = "C:\\Windows";
  }
  void add_process(std::uint32_t id, std::vector<std::string> modules) {
    fake.psapi.add(fake.kernel32, id, std::move(modules));
  }
  // The report with no module section, as a load that finds no process of
  // this program's name writes it.
  MemoryTextBox report_without_section() {
    fake::FakePlatform bare;
    MemoryTextBox bare_box;
    MemoryListBox bare_list;
    with_path(bare);
    Whatsnew(bare.platform, bare_box, bare_list).Form_Load();
    return bare_box;
  }
  void load() {
    form.emplace(fake.platform, box, list);
    form->Form_Load();
  }
  std::optional<Whatsnew> form;
};

TEST_F(ModuleSection, FollowsTheFileLinesAfterAnEmptyLine) {
  add_process(1, {"C:\\Other\\Pelko_Files", "C:\\X\\NOT_THIS.DLL"});
  add_process(2, {"C:\\Program Files\\Tarnwick\\Pelko_Files.exe",
                  "C:\\WINDOWS\\system32\\ntdll.dll", "C:\\App\\grid.ocx",
                  "C:\\App\\Viewer.Dll"});
  load();
  const MemoryTextBox before = report_without_section();
  EXPECT_EQ(box.contents(), before.contents() +
                           "\r\rProgram Modules for Pelko_Files\r"
                           "\rC:\\WINDOWS\\SYSTEM32\\NTDLL.DLL"
                           "\rC:\\APP\\VIEWER.DLL");
  // The whole section is one write, and no write read the box back.
  EXPECT_EQ(box.writes(), before.writes() + 1);
  EXPECT_EQ(box.reads(), 0);
  EXPECT_TRUE(fake.window_system.messages.empty());
  EXPECT_EQ(form->facts().modules,
            (std::vector<std::string>{"C:\\WINDOWS\\SYSTEM32\\NTDLL.DLL",
                                      "C:\\APP\\VIEWER.DLL"}));
  EXPECT_TRUE(form->facts().complete);
}

TEST_F(ModuleSection, NothingIsAppendedWithoutDllModules) {
  add_process(2, {"C:\\Program Files\\Tarnwick\\Pelko_Files.exe", "C:\\App\\grid.ocx"});
  load();
  const std::string last_line =
      file_not_found_line(std::string(kSystemFileTable.back()));
  EXPECT_TRUE(box.contents().ends_with("\r" + last_line)) << box.contents();
  EXPECT_EQ(box.contents(), report_without_section().contents());
  EXPECT_TRUE(fake.window_system.messages.empty());
}

TEST_F(ModuleSection, ListingFailureShowsProcessInfoAndWritesNoSection) {
  add_process(2, {"C:\\Program Files\\Tarnwick\\Pelko_Files.exe", "C:\\A.DLL"});
  fake.psapi.missing_entry_point = "GetModuleFileNameExW";
  load();
  EXPECT_EQ(fake.window_system.messages,
            std::vector<std::string>{
                "An error occurred while locating the file: ProcessInfo"});
  EXPECT_EQ(box.contents(), report_without_section().contents());
  EXPECT_TRUE(form->facts().modules.empty());
  EXPECT_FALSE(form->facts().complete);
}

}  // namespace
}  // namespace tarnwick
