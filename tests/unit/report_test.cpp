#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "report/system_files.h"
#include "report/whatsnew.h"
#include "report/memory_controls.h"
#include "substitutes/fake_platform.h"
#include "substitutes/report_reading.h"

namespace tarnwick {
namespace {

// A machine described for the report: the program in its folder, a few
// libraries placed along the search order, no process listing.
struct Report : ::testing::Test {
  fake::FakePlatform fake;
  MemoryTextBox box;
  MemoryListBox list;
  Whatsnew form{fake.platform, box, list};
  fake::FileSystemObject& fs = *fake.scripting.next;

  Report() {
    fake.kernel32.platform = 1;  // no module section unless a test wants one
    fake.kernel32.environment["PATH"] = "E:\\Suite";
  }

  std::vector<std::string> lines() const { return testing::report_lines(box.contents()); }
  std::string file_line_of(const std::string& name) const {
    return testing::report_line_of(box.contents(), name);
  }
};

TEST_F(Report, HeaderComponentLineAndBlankLines) {
  form.Form_Load();
  const auto l = lines();
  ASSERT_GE(l.size(), 4u);
  EXPECT_EQ(l[0], "System files for Pelko_Files Version 1.0.13 Date: 08/12/2026 14:05:09");
  EXPECT_EQ(l[1], "");
  EXPECT_EQ(l[2], "KTR DLL version 4.7");
  EXPECT_EQ(l[3], "");
  EXPECT_EQ(box.contents().find('\n'), std::string::npos);
}

TEST_F(Report, MidnightShowsTheDateAlone) {
  fake.kernel32.now = {2027, 1, 2, 0, 0, 0};
  form.Form_Load();
  EXPECT_EQ(lines()[0], "System files for Pelko_Files Version 1.0.13 Date: 02/01/2027");
}

TEST_F(Report, OneSecondPastMidnightShowsTheTime) {
  fake.kernel32.now = {2027, 1, 2, 0, 0, 1};
  form.Form_Load();
  EXPECT_EQ(lines()[0],
            "System files for Pelko_Files Version 1.0.13 Date: 02/01/2027 00:00:01");
}

TEST_F(Report, ComponentVersionNeedsAPositiveByteCount) {
  fake.component.bytes = 0;
  fake.component.major = 3;
  fake.component.minor = 9;
  form.Form_Load();
  EXPECT_EQ(lines()[2], "KTR DLL version not found.");

  box.set_text("");
  fake.component.bytes = 1;
  fake.component.major = -2;
  Whatsnew again{fake.platform, box, list};
  fake.scripting.next = std::make_unique<fake::FileSystemObject>();
  again.Form_Load();
  EXPECT_EQ(lines()[2], "KTR DLL version -2.9");
}

TEST_F(Report, MissingComponentLibraryIsNoFailure) {
  fake.component.present = false;
  form.Form_Load();
  EXPECT_EQ(lines()[2], "KTR DLL version not found.");
  EXPECT_TRUE(fake.window_system.messages.empty());
  EXPECT_TRUE(form.facts().complete);
}

TEST_F(Report, ComponentTheHelperCannotAskIsNeverCalledHere) {
  fake.load_probe.component_ok = false;
  form.Form_Load();
  EXPECT_EQ(lines()[2], "KTR DLL version not found.");
  EXPECT_EQ(fake.component.calls, 0);
  EXPECT_TRUE(form.facts().complete);
}

TEST_F(Report, ComponentCallThatFailsHalfwayGivesNoVersion) {
  // Values written before the failure are no answer.
  struct HalfWay : fake::ComponentLibrary {
    void KTR_DLL_VERSION(std::int32_t* bytes, std::int32_t* major, std::int32_t* minor) override {
      *bytes = 1;
      *major = 9;
      *minor = 9;
      throw SystemError(0xC0000005L, "KTR_Intel_Win32.dll", "faulted");
    }
  } halfway;
  Platform platform = fake.platform;
  Platform with_halfway{platform.kernel32, platform.psapi,      platform.version,
                        platform.scripting, halfway,           platform.load_probe,
                        platform.window_system, platform.app};
  Whatsnew other{with_halfway, box, list};
  other.Form_Load();
  EXPECT_EQ(lines()[2], "KTR DLL version not found.");
  EXPECT_TRUE(fake.window_system.messages.empty());
}

// A found name is put to the helper as soon as it is found, so that the
// helper loads while the program searches; its answer is taken when its
// line is written, after the component's.
TEST_F(Report, LoadAttemptsGoToTheProbeAheadAndItEndsBeforeTheModuleListing) {
  fake.kernel32.platform = 2;
  fs.files = {"C:\\Windows\\system32\\msvcrt.dll", "C:\\Windows\\system32\\gdiplus.dll"};
  fake.kernel32.loaded = {"msvcrt.dll"};
  fake.psapi.add(fake.kernel32, fake.kernel32.own_id, {"C:\\Tools\\Pelko_Files.exe"});
  form.Form_Load();
  EXPECT_EQ(fake.log,
            (std::vector<std::string>{"start", "ask gdiplus.dll", "component", "load gdiplus.dll",
                                      "finish", "events", "list modules"}));
}

// A name the component library brought in after the name was put to the
// helper is "loaded": its line tells this process's state when it is written.
TEST_F(Report, LibraryTheComponentLoadsReadsLoadedThoughAskedAhead) {
  struct Loading : fake::ComponentLibrary {
    explicit Loading(fake::Kernel32& kernel32) : kernel32(kernel32) {}
    void KTR_DLL_VERSION(std::int32_t* bytes, std::int32_t* major, std::int32_t* minor) override {
      kernel32.loaded.insert("PelkoCore32.dll");
      fake::ComponentLibrary::KTR_DLL_VERSION(bytes, major, minor);
    }
    fake::Kernel32& kernel32;
  } loading{fake.kernel32};
  const Platform& p = fake.platform;
  Platform with_loading{p.kernel32,  p.psapi,         p.version, p.scripting, loading,
                        p.load_probe, p.window_system, p.app};
  fs.files = {"E:\\Suite\\PelkoCore32.dll"};
  Whatsnew other{with_loading, box, list};
  other.Form_Load();
  EXPECT_EQ(file_line_of("PelkoCore32.dll"),
            "PelkoCore32.dll    Path:  E:\\Suite\\PelkoCore32.dll Version:  N/A DLL is loaded");
  EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), "load PelkoCore32.dll"), 0);
}

TEST_F(Report, OneLinePerTableEntryInTableOrder) {
  form.Form_Load();
  const auto l = lines();
  ASSERT_EQ(l.size(), 4u + 37u);
  for (std::size_t i = 0; i < kSystemFileTable.size(); ++i)
    EXPECT_EQ(l[4 + i], " " + std::string(kSystemFileTable[i]) + " :   File not found");
  EXPECT_EQ(box.contents().back(), 'd');  // no CR after the last file line
}

TEST_F(Report, FoundLinesTellPathVersionAndLoadState) {
  fs.files = {"C:\\Program Files\\Tarnwick\\PelkoCore32.dll",
              "C:\\Windows\\system32\\msvcrt.dll", "C:\\Windows\\system32\\gdiplus.dll",
              "E:\\Suite\\PelkoOcr32.dll", "C:\\Work\\zlib1.dll"};
  fake.version.files["C:\\Windows\\system32\\msvcrt.dll"] = {0x00070000, 0x0A280000};
  fake.version.files["C:\\Windows\\system32\\gdiplus.dll"] = {0x00050001, 0x00030004};
  fake.kernel32.loaded = {"msvcrt.dll"};
  fake.load_probe.loadable = {"gdiplus.dll", "msvcrt.dll", "PelkoCore32.dll"};
  EXPECT_TRUE(form.Form_Load());

  EXPECT_EQ(file_line_of("PelkoCore32.dll"),
            "PelkoCore32.dll    Path:  C:\\Program Files\\Tarnwick\\PelkoCore32.dll "
            "Version:  N/A DLL can be loaded");
  EXPECT_EQ(file_line_of("msvcrt.dll"),
            "msvcrt.dll    Path:  C:\\Windows\\system32\\msvcrt.dll Version:  7.0.2600.0 "
            "DLL is loaded");
  EXPECT_EQ(file_line_of("gdiplus.dll"),
            "gdiplus.dll    Path:  C:\\Windows\\system32\\gdiplus.dll Version:  5.1.3.4 "
            "DLL can be loaded");
  EXPECT_EQ(file_line_of("PelkoOcr32.dll"),
            "PelkoOcr32.dll    Path:  E:\\Suite\\PelkoOcr32.dll Version:  N/A "
            "DLL cannot be loaded");
  EXPECT_EQ(file_line_of("zlib1.dll"),
            "zlib1.dll    Path:  C:\\Work\\zlib1.dll Version:  N/A DLL cannot be loaded");
  EXPECT_EQ(file_line_of("atl.dll"), " atl.dll :   File not found");

  // The same story as data, entry by entry in table order.
  const ReportFacts& facts = form.facts();
  EXPECT_TRUE(facts.complete);
  ASSERT_TRUE(facts.component);
  EXPECT_EQ(facts.component->major, 4);
  EXPECT_EQ(facts.component->minor, 7);
  ASSERT_EQ(facts.entries.size(), kSystemFileTable.size());
  auto entry = [&](std::string_view name) {
    return *std::find_if(facts.entries.begin(), facts.entries.end(),
                         [&](const EntryFacts& e) { return e.name == name; });
  };
  EXPECT_EQ(entry("msvcrt.dll").load, LoadState::loaded);
  EXPECT_EQ(entry("msvcrt.dll").version, "7.0.2600.0");
  EXPECT_EQ(entry("gdiplus.dll").load, LoadState::can_be_loaded);
  EXPECT_EQ(entry("PelkoOcr32.dll").load, LoadState::cannot_be_loaded);
  EXPECT_EQ(entry("PelkoOcr32.dll").path, "E:\\Suite\\PelkoOcr32.dll");
  EXPECT_EQ(entry("PelkoOcr32.dll").version, "");
  EXPECT_EQ(entry("atl.dll").load, std::nullopt);
  EXPECT_EQ(entry("atl.dll").path, "");
  // Why, as the probe told it, beside the state it decided.
  EXPECT_EQ(entry("gdiplus.dll").load_details.loaded_from, "C:\\Loaded\\gdiplus.dll");
  EXPECT_EQ(entry("PelkoOcr32.dll").load_details.error, 126u);
  // A loaded one's from this process's own module.
  EXPECT_EQ(entry("msvcrt.dll").load_details.loaded_from, "C:\\Modules\\msvcrt.dll");
}

TEST_F(Report, LoadedLibraryIsNotAskedAbout) {
  fs.files = {"C:\\Windows\\system32\\msvcrt.dll", "C:\\Windows\\system32\\gdiplus.dll",
              "C:\\Windows\\system32\\lz32.dll"};
  fake.kernel32.loaded = {"msvcrt.dll"};
  fake.load_probe.loadable = {"gdiplus.dll"};
  form.Form_Load();
  std::vector<std::string> questions;
  for (const std::string& entry : fake.log)
    if (entry.starts_with("ask ") || entry.starts_with("load ")) questions.push_back(entry);
  EXPECT_EQ(questions, (std::vector<std::string>{"ask gdiplus.dll", "ask lz32.dll",
                                                 "load gdiplus.dll", "load lz32.dll"}));
}

// Where the system would start no helper, the loads ran in this process: the
// user is told once, in the report's notices, however many loads there were.
TEST_F(Report, LoadsInsideTheProgramAreToldOnce) {
  fs.files = {"C:\\Windows\\system32\\gdiplus.dll", "C:\\Windows\\system32\\lz32.dll"};
  fake.load_probe.in_process = true;
  fake.kernel32.environment.erase("PATH");
  EXPECT_TRUE(form.Form_Load());
  const std::vector<std::string> told{
      "The path is undefined",
      "No helper process could be started, so the libraries were loaded inside this program"};
  EXPECT_EQ(fake.window_system.messages, told);
  EXPECT_EQ(form.facts().notices, told);
}

TEST_F(Report, PathIsTrimmedOfSpacesBeforeUse) {
  fake.kernel32.environment["PATH"] = " E:\\Suite ;x";
  fs.files = {" E:\\Suite \\atl.dll"};
  form.Form_Load();
  EXPECT_EQ(file_line_of("atl.dll"),
            "atl.dll    Path:  E:\\Suite \\atl.dll Version:  N/A DLL cannot be loaded");
  EXPECT_EQ(fake.version.size_queries, std::vector<std::string>{"E:\\Suite \\atl.dll"});
}

// The load's one trap: a failure shows its message and keeps the report as
// far as it got. The window searches for the files before it is made; what
// that search has to tell waits for the load event and comes in the same
// place as from a search made by the load event itself.
struct ReportFailure : Report, ::testing::WithParamInterface<bool> {
  bool load() {
    if (GetParam()) {
      const int writes = box.writes();
      form.search_ahead();
      EXPECT_TRUE(fake.window_system.messages.empty());
      EXPECT_EQ(box.writes(), writes);
    }
    return form.Form_Load();
  }
};
INSTANTIATE_TEST_SUITE_P(Search, ReportFailure, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Ahead" : "AtLoad"; });

TEST_P(ReportFailure, UndefinedPathNoticeDoesNotStopTheReport) {
  fake.kernel32.environment.erase("PATH");
  EXPECT_TRUE(load());
  EXPECT_EQ(fake.window_system.messages,
            std::vector<std::string>{"The path is undefined"});
  EXPECT_EQ(form.facts().notices, fake.window_system.messages);
  // Told after the header is written and before the component is asked.
  EXPECT_EQ(lines().size(), 4u + 37u);
  const auto component = std::find(fake.log.begin(), fake.log.end(), "component");
  const auto told = std::find(fake.log.begin(), fake.log.end(), "message The path is undefined");
  EXPECT_LT(told, component);
}

TEST_P(ReportFailure, HelperEndsBeforeTheFailureIsTold) {
  fake.scripting.fails = true;
  load();
  ASSERT_GE(fake.log.size(), 2u);
  EXPECT_EQ(fake.log[fake.log.size() - 2], "finish");
  EXPECT_EQ(fake.log.back(), "message An error occurred while locating the file: "
                             "The file-system object cannot be made");
  EXPECT_EQ(fake.window_system.messages.size(), 1u);
}

TEST_P(ReportFailure, NoFileSystemObjectLeavesTheReportEmpty) {
  fake.scripting.fails = true;
  box.set_text("left over");
  load();
  EXPECT_EQ(fake.window_system.messages,
            std::vector<std::string>{
                "An error occurred while locating the file: "
                "The file-system object cannot be made"});
  EXPECT_EQ(box.contents(), "left over");
  // Who and when are known before the first step: even this report says
  // which program it came from and when it ran.
  EXPECT_EQ(form.facts().program_name, "Pelko_Files");
  EXPECT_EQ(form.facts().time.second, fake.kernel32.now.second);
  EXPECT_FALSE(form.facts().complete);
}

TEST_P(ReportFailure, SpecialFolderFailureStopsBeforeTheHeader) {
  fs.special_folders.erase(1);
  load();
  EXPECT_EQ(fake.window_system.messages,
            std::vector<std::string>{"An error occurred while locating the file: "
                "The system cannot find the path specified."});
  EXPECT_EQ(box.writes(), 0);
}

TEST_P(ReportFailure, LookupFailureKeepsTheLinesBeforeIt) {
  fs.failing_candidate = "C:\\Windows\\system32\\gdiplus.dll";
  fs.files = {"C:\\Windows\\system32\\comdlg32.dll"};
  EXPECT_FALSE(load());
  EXPECT_EQ(fake.window_system.messages,
            std::vector<std::string>{
                "An error occurred while locating the file: "
                "The filename, directory name, or volume label syntax is incorrect."});
  const auto l = lines();
  ASSERT_EQ(l.size(), 4u + 7u);  // the seven entries before gdiplus.dll
  EXPECT_EQ(l[2], "KTR DLL version 4.7");
  EXPECT_EQ(l.back(),
            "comdlg32.dll    Path:  C:\\Windows\\system32\\comdlg32.dll Version:  N/A "
            "DLL cannot be loaded");
  EXPECT_FALSE(form.facts().complete);
  EXPECT_EQ(form.facts().entries.size(), 7u);
  EXPECT_EQ(form.facts().notices, fake.window_system.messages);
}

// "Copy Text" hands the box's text over with CR LF line breaks (checked on
// the real clipboard by the end-to-end tests).
struct CopyText : Report {};

// The box's text as the user left it, not the report the load wrote.
TEST_F(CopyText, CopiesWhatTheBoxHoldsAtTheClick) {
  form.Form_Load();
  box.set_text("edited by the engineer\rKTR DLL version 9.9");
  form.Command_copy_text_Click();
  EXPECT_EQ(fake.window_system.clipboard, "edited by the engineer\r\nKTR DLL version 9.9");
}

TEST_F(CopyText, HeldClipboardShowsWhyAndKeepsTheReport) {
  box.set_text("report");
  fake.window_system.clipboard_failures_left = 1;
  form.Command_copy_text_Click();
  EXPECT_EQ(fake.window_system.messages,
            std::vector<std::string>{
                "The report could not be copied to the clipboard: Access is denied."});
  EXPECT_EQ(box.contents(), "report");
  EXPECT_EQ(fake.window_system.clipboard, "(something from another program)");
  form.Command_copy_text_Click();
  EXPECT_EQ(fake.window_system.clipboard, "report");
}

TEST(CrLf, LineBreaksOfAnyKindBecomeCrLfOnce) {
  EXPECT_EQ(with_crlf_line_breaks("a\rb\r\nc\nd"), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(with_crlf_line_breaks(""), "");
  EXPECT_EQ(with_crlf_line_breaks("\r\r"), "\r\n\r\n");
}

TEST(SystemFileTable, CoreLibrariesFirstThenAlphabeticalIgnoringCase) {
  const std::vector<std::string_view> core = {"KTR_Intel_Win32.dll", "KTR_Imaging32.DLL",
                                              "PelkoCore32.dll", "PELKOVIEW.DLL",
                                              "pelko_forms32.dll"};
  EXPECT_EQ(std::vector<std::string_view>(kSystemFileTable.begin(), kSystemFileTable.begin() + 5),
            core);
  auto folded = [](std::string_view name) {
    std::string out(name);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return out;
  };
  for (std::size_t i = core.size() + 1; i < kSystemFileTable.size(); ++i)
    EXPECT_LT(folded(kSystemFileTable[i - 1]), folded(kSystemFileTable[i]))
        << kSystemFileTable[i - 1] << " / " << kSystemFileTable[i];
}

}  // namespace
}  // namespace tarnwick
