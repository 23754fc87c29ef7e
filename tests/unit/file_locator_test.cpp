#include <gtest/gtest.h>

#include <algorithm>

#include "files/search_order.h"
#include "report/line_details.h"
#include "report/whatsnew.h"
#include "report/memory_controls.h"
#include "substitutes/fake_platform.h"

namespace tarnwick {
namespace {

// A window with its file-system object created, as after the load's start.
struct Locator : ::testing::Test {
  fake::FakePlatform fake;
  MemoryTextBox box;
  MemoryListBox list;
  Whatsnew form{fake.platform, box, list};
  fake::FileSystemObject* fs = fake.scripting.next.get();

  Locator() {
    fake.app.folder = "C:\\Program Files\\Tarnwick";
    fake.kernel32.current_folder = "D:\\Work";
    form.file_system = fake.scripting.create_file_system_object();
    form.windows_folder = "C:\\Windows";
    form.system_folder = "C:\\Windows\\system32";
  }
  void set_path(const std::string& value) { fake.kernel32.environment["PATH"] = value; }
};

TEST_F(Locator, ProgramFolderShadowsEveryLaterPlace) {
  fs->files = {"C:\\Program Files\\Tarnwick\\a.dll", "C:\\Windows\\system32\\a.dll",
               "C:\\Windows\\a.dll", "D:\\Work\\a.dll", "E:\\Bin\\a.dll"};
  set_path("E:\\Bin;");
  EXPECT_EQ(form.VBFindDLL("a.dll"), "C:\\Program Files\\Tarnwick\\a.dll");
  EXPECT_EQ(fs->tested.size(), 1u);
}

TEST_F(Locator, StagesAreTriedInOrderAndStopAtTheFirstHit) {
  set_path("E:\\Bin");
  fs->files = {"C:\\Windows\\system32\\b.dll", "C:\\Windows\\b.dll"};
  EXPECT_EQ(form.VBFindDLL("b.dll"), "C:\\Windows\\system32\\b.dll");

  fs->files = {"C:\\Windows\\c.dll", "D:\\Work\\c.dll"};
  EXPECT_EQ(form.VBFindDLL("c.dll"), "C:\\Windows\\c.dll");

  fs->files = {"D:\\Work\\d.dll", "E:\\Bin\\d.dll"};
  EXPECT_EQ(form.VBFindDLL("d.dll"), "D:\\Work\\d.dll");

  fs->tested.clear();
  fs->files = {"E:\\Bin\\e.dll"};
  EXPECT_EQ(form.VBFindDLL("e.dll"), "E:\\Bin\\e.dll");
  const std::vector<std::string> order = {
      "C:\\Program Files\\Tarnwick\\e.dll", "C:\\Windows\\system32\\e.dll",
      "C:\\Windows\\e.dll", "D:\\Work\\e.dll", "E:\\Bin\\e.dll"};
  EXPECT_EQ(fs->tested, order);
}

TEST_F(Locator, NotFoundAnywhereGivesEmptyText) {
  set_path("E:\\Bin;F:\\Lib");
  EXPECT_EQ(form.VBFindDLL("none.dll"), "");
  EXPECT_EQ(fs->tested.size(), 6u);
}

TEST_F(Locator, DriveRootDoublesTheSeparator) {
  fake.app.folder = "C:\\";
  fake.kernel32.current_folder = "D:\\";
  set_path("E:\\Bin");
  fs->files = {"D:\\\\x.dll"};
  EXPECT_EQ(form.VBFindDLL("x.dll"), "D:\\\\x.dll");
  EXPECT_EQ(fs->tested.front(), "C:\\\\x.dll");
}

TEST_F(Locator, EmptyFolderTextIsStillTried) {
  form.system_folder = "";
  set_path("E:\\Bin");
  form.VBFindDLL("y.dll");
  EXPECT_EQ(fs->tested[1], "\\y.dll");
}

TEST_F(Locator, ProgramFolderIsReadAfreshAtEveryLookup) {
  set_path("E:\\Bin");
  form.VBFindDLL("a.dll");
  fake.app.folder = "G:\\Moved";
  form.VBFindDLL("a.dll");
  EXPECT_EQ(fs->tested[5], "G:\\Moved\\a.dll");
}

TEST_F(Locator, FailureOfTheExistenceTestPassesOnUnchanged) {
  fs->failing_candidate = "C:\\Windows\\z.dll";
  try {
    form.VBFindDLL("z.dll");
    FAIL() << "expected the failure to pass on";
  } catch (const SystemError& error) {
    EXPECT_EQ(error.number(), fake::kInvalidName);
    EXPECT_EQ(error.description(), "The filename, directory name, or volume label syntax is incorrect.");
  }
}

// The PATH stage searches every folder PATH names, the last one included.
struct PathStage : Locator {};

TEST_F(PathStage, LastFolderOfThePathIsSearched) {
  set_path("A:\\One;B:\\Two;C:\\Three");
  fs->files = {"C:\\Three\\only.dll"};
  EXPECT_EQ(form.VBFindFileInPath("only.dll"), "C:\\Three\\only.dll");
  EXPECT_EQ(form.path_folder_count(), 3);
}

TEST_F(PathStage, SingleFolderIsSearchedWithoutNotice) {
  set_path("A:\\One");
  fs->files = {"A:\\One\\s.dll"};
  EXPECT_EQ(form.VBFindDLL("s.dll"), "A:\\One\\s.dll");
  EXPECT_EQ(form.VBFindDLL("t.dll"), "");
  EXPECT_TRUE(fake.window_system.messages.empty());
}

TEST_F(PathStage, EmptyPiecesNameNoFolder) {
  set_path(";A:\\One;;B:\\Two;");
  form.VBFindFileInPath("n.dll");
  const std::vector<std::string> tried = {"A:\\One\\n.dll", "B:\\Two\\n.dll"};
  EXPECT_EQ(fs->tested, tried);
  EXPECT_EQ(form.path_folder_count(), 2);
}

TEST_F(PathStage, PiecesAreKeptAsWrittenApartFromTheTrailingBackslash) {
  set_path("A:\\Ends\\; B:\\Spaced ;\"C:\\Quoted\";D:/Slash/;  ");
  form.VBFindFileInPath("k.dll");
  const std::vector<std::string> tried = {
      "A:\\Ends\\k.dll", " B:\\Spaced \\k.dll", "\"C:\\Quoted\"\\k.dll",
      "D:/Slash/\\k.dll", "  \\k.dll"};
  EXPECT_EQ(fs->tested, tried);
}

TEST_F(PathStage, FoundNameIsTheFolderWithItsBackslashAndTheName) {
  set_path("A:\\One;B:\\Two\\");
  fs->files = {"B:\\Two\\f.dll"};
  EXPECT_EQ(form.VBFindDLL("f.dll"), "B:\\Two\\f.dll");
}

TEST_F(PathStage, UnsetPathShowsTheNoticeOnceAndFindsNothing) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(form.VBFindDLL("u.dll"), "");
  EXPECT_EQ(fake.window_system.messages,
            std::vector<std::string>{"The path is undefined"});
  EXPECT_EQ(form.path_folder_count(), -1);
}

TEST_F(PathStage, PathOfOnlySeparatorsCountsAsUndefined) {
  set_path(";;;");
  EXPECT_EQ(form.VBFindFileInPath("u.dll"), "");
  EXPECT_EQ(form.VBFindFileInPath("u.dll"), "");
  EXPECT_EQ(fake.window_system.messages.size(), 1u);
  EXPECT_EQ(fs->tested.size(), 0u);
}

TEST_F(PathStage, ListIsBuiltOnceAndSharedBetweenBothOperations) {
  set_path("A:\\One");
  form.VBFindFileInPath("a.dll");
  set_path("B:\\Changed");
  fs->files = {"A:\\One\\late.dll", "B:\\Changed\\late.dll"};
  EXPECT_EQ(form.VBFindDLL("late.dll"), "A:\\One\\late.dll");
  EXPECT_EQ(fake.kernel32.environment_reads, 1);
}

TEST_F(PathStage, PathIsNotReadWhenEarlierStagesFindEverything) {
  fs->files = {"C:\\Windows\\w.dll"};
  form.VBFindDLL("w.dll");
  EXPECT_EQ(fake.kernel32.environment_reads, 0);
  EXPECT_EQ(form.path_folder_count(), 0);
}

// Every copy of a name along the search. A made-up machine: the program
// runs from its own folder, which is also the current folder and on PATH;
// PATH names one folder twice, spelt two ways; one of its folders cannot be
// read.
struct Copies : ::testing::Test {
  fake::FakePlatform fake;
  MemoryTextBox box;
  MemoryListBox list;
  Whatsnew form{fake.platform, box, list};
  fake::FileSystemObject& fs = *fake.scripting.next;

  static constexpr const char* kProgram = "C:\\Program Files\\Tarnwick\\zlib1.dll";
  static constexpr const char* kSystem = "C:\\Windows\\system32\\zlib1.dll";
  static constexpr const char* kOnPath = "E:\\Bin\\zlib1.dll";

  Copies() {
    fake.kernel32.platform = 1;
    fake.app.folder = "C:\\Program Files\\Tarnwick";
    fake.kernel32.current_folder = "c:\\program files\\tarnwick\\";
    fake.kernel32.environment["PATH"] =
        "E:\\Bin;F:\\Locked;e:\\bin\\;C:\\Program Files\\Tarnwick";
    fs.files = {kProgram, kSystem, kOnPath, "F:\\Locked\\zlib1.dll"};
    fs.failing_candidate = "F:\\Locked\\zlib1.dll";
    fake.version.files[kProgram] = {0x00010000, 0};
    fake.version.files[kSystem] = {0x00020000, 0};
    fake.version.files[kOnPath] = {0x00030000, 0};
    fs.starts[kProgram] = image_start(0x014C);
    fs.starts[kSystem] = image_start(0x8664);
    fs.starts[kOnPath] = {'n', 'o', ' ', 'i', 'm', 'a', 'g', 'e'};
    form.Form_Load();
  }
  // "MZ", the new header at 0x40: "PE", two zeros, the machine, and the rest
  // of the file header.
  static std::vector<std::uint8_t> image_start(std::uint16_t machine) {
    std::vector<std::uint8_t> bytes(0x40 + 24, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = 0x40;
    bytes[0x40] = 'P';
    bytes[0x41] = 'E';
    bytes[0x44] = static_cast<std::uint8_t>(machine & 0xFF);
    bytes[0x45] = static_cast<std::uint8_t>(machine >> 8);
    return bytes;
  }
  const EntryFacts& zlib() const { return form.facts().entries.back(); }
  std::string zlib_line() const {
    return "zlib1.dll    Path:  C:\\Program Files\\Tarnwick\\zlib1.dll Version:  1.0.0.0 DLL cannot "
           "be loaded";
  }
};

TEST_F(Copies, EveryCopyInSearchOrderEachFolderOnceWithoutABox) {
  ASSERT_EQ(zlib().name, "zlib1.dll");
  EXPECT_FALSE(zlib().copies) << "looked for before anyone asked";
  const std::size_t tested_by_the_report = fs.tested.size();
  form.find_copies();
  ASSERT_TRUE(zlib().copies);
  const std::vector<FileCopy>& copies = *zlib().copies;
  ASSERT_EQ(copies.size(), 3u);
  EXPECT_EQ(copies[0].path, kProgram);
  EXPECT_EQ(copies[0].version, "1.0.0.0");
  EXPECT_EQ(copies[1].path, kSystem);
  EXPECT_EQ(copies[1].version, "2.0.0.0");
  EXPECT_EQ(copies[2].path, kOnPath);
  EXPECT_EQ(copies[2].version, "3.0.0.0");
  EXPECT_EQ(copies[0].machine, "x86");
  EXPECT_EQ(copies[1].machine, "x64");
  EXPECT_EQ(copies[2].machine, "unknown");
  EXPECT_EQ(copies[0].path, zlib().path);
  // Program, system, Windows, then two of PATH's four: the current folder
  // and the last PATH folder are the program's, E:\Bin is there twice.
  const std::vector<std::string> tested(fs.tested.begin() + tested_by_the_report, fs.tested.end());
  const std::vector<std::string> zlib_tests(
      std::find(tested.begin(), tested.end(), kProgram), tested.end());
  EXPECT_EQ(zlib_tests, (std::vector<std::string>{kProgram, kSystem, "C:\\Windows\\zlib1.dll",
                                                  kOnPath, "F:\\Locked\\zlib1.dll"}));
  EXPECT_TRUE(fake.window_system.messages.empty());
  // Not found, no copies to look for.
  EXPECT_FALSE(form.facts().entries.front().copies);
}

TEST_F(Copies, DetailsLineCountsTheOthersAndNamesTheNewest) {
  EXPECT_EQ(details_for_line(form.facts(), zlib_line()), "zlib1.dll cannot be loaded. Error 126.");
  EXPECT_EQ(copies_tooltip_for_line(form.facts(), zlib_line()), "");
  EXPECT_TRUE(form.find_copies_for_line(zlib_line()));
  EXPECT_FALSE(form.find_copies_for_line(zlib_line())) << "looked for twice";
  EXPECT_FALSE(form.find_copies_for_line("Program Modules for Pelko_Files"));
  EXPECT_EQ(details_for_line(form.facts(), zlib_line()),
            "zlib1.dll cannot be loaded. Error 126. 2 other copies; newer 3.0.0.0 at "
            "E:\\Bin\\zlib1.dll.");
  EXPECT_EQ(copies_tooltip_for_line(form.facts(), zlib_line()),
            "Every copy along the search, in its order:\r\n"
            "C:\\Program Files\\Tarnwick\\zlib1.dll  1.0.0.0  x86  (the one the system takes)\r\n"
            "C:\\Windows\\system32\\zlib1.dll  2.0.0.0  x64\r\n"
            "E:\\Bin\\zlib1.dll  3.0.0.0  unknown");
}

// The copy the system takes is the newest, or the only one: nothing newer to
// name.
TEST(CopiesWords, NoNewerCopyIsNamedWhereTheOneTakenIsNewest) {
  EntryFacts entry{"zlib1.dll", "C:\\App\\zlib1.dll", "1.0.0.0", LoadState::loaded, {}};
  entry.load_details.loaded_from = "c:\\bin\\ZLIB1.DLL";
  entry.copies = std::vector<FileCopy>{{"C:\\App\\zlib1.dll", "1.0.0.0", "x86"},
                                       {"C:\\Bin\\zlib1.dll", "1.10.0.0", "x86"},
                                       {"D:\\Old\\zlib1.dll", "1.9.9.9", ""}};
  EXPECT_EQ(copies_words(entry), "2 other copies");
  entry.load_details.loaded_from.clear();  // then the line's own copy is the one
  EXPECT_EQ(copies_words(entry), "2 other copies; newer 1.10.0.0 at C:\\Bin\\zlib1.dll");
  entry.copies->resize(2);
  entry.copies->back().version.clear();  // no version is older than any
  EXPECT_EQ(copies_words(entry), "1 other copy");
  entry.copies->resize(1);
  EXPECT_EQ(copies_words(entry), "");
}

TEST(SplitPathFolders, EmptyValueNamesNoFolder) {
  EXPECT_TRUE(split_path_folders("").empty());
}

}  // namespace
}  // namespace tarnwick
