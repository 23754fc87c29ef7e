// The image reader on real libraries of both word sizes (reader_fixture.c,
// built by both MinGW compilers), and on copies damaged the ways files on a
// support case are: cut short, or lying about where their parts are.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/pe_image.h"

namespace tarnwick::image {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::string>;

std::vector<std::uint8_t> file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Fixture {
  int bits;
  const char* machine;
  Format format;
};

// Names the case in test listings by its word size alone.
void PrintTo(const Fixture& fixture, std::ostream* out) { *out << fixture.bits << "-bit"; }

class ReaderFixture : public ::testing::TestWithParam<Fixture> {
 protected:
  void SetUp() override {
    bytes_ = file_bytes(fs::path(READER_FIXTURE_DIR) /
                        ("reader_fixture" + std::to_string(GetParam().bits) + ".dll"));
    ASSERT_GT(bytes_.size(), 4096u) << "the fixture library was not built";
  }
  Image image() const {
    std::optional<Image> read = Image::read(bytes_);
    if (!read) throw std::runtime_error("not read as an image");
    return *read;
  }
  // Puts a little-endian number into the bytes, as a damaged file has it.
  void put_u32(std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
  void put_u16(std::size_t at, std::uint16_t value) {
    bytes_.at(at) = static_cast<std::uint8_t>(value);
    bytes_.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
  }
  std::size_t pe() const { return *read_u32(bytes_, 0x3C); }
  // The data directory entry `index`: its address, then its size.
  std::size_t directory(int index) const {
    const std::size_t optional = pe() + 24;
    return optional + (GetParam().bits == 32 ? 96 : 112) + 8 * index;
  }

  std::vector<std::uint8_t> bytes_;
};

TEST_P(ReaderFixture, HeadersGiveTheMachineTheFormatAndWhereSectionsLie) {
  const Image read = image();
  EXPECT_STREQ(machine_name(read.machine()), GetParam().machine);
  EXPECT_EQ(read.format(), GetParam().format);
  EXPECT_FALSE(read.sections_cut_short());
  ASSERT_FALSE(read.sections().empty());
  EXPECT_EQ(read.sections().front().name, ".text");
  // Both linkers put the code at 0x1000 in memory and 0x400 in the file.
  EXPECT_EQ(read.offset_of(0x1000, 1), std::optional<std::size_t>(0x400));
  EXPECT_EQ(read.offset_of(0x1003, 1), std::optional<std::size_t>(0x403));
  // The headers are where they lie in the file; past the last section is
  // nothing.
  EXPECT_EQ(read.offset_of(0x3C, 4), std::optional<std::size_t>(0x3C));
  EXPECT_FALSE(read.offset_of(0x7FFFFFF0, 1));
  EXPECT_FALSE(read.offset_of(0x1000, bytes_.size()));
}

TEST_P(ReaderFixture, ImportsNameEachLibraryAndItsEntriesByNameOrOrdinal) {
  const Imports imports = image().imports();
  EXPECT_FALSE(imports.cut_short);
  ASSERT_EQ(imports.libraries.size(), 2u);
  // The linker decides the table's order; each library is found by its name.
  const auto named = [&](const std::string& name) -> const Entries* {
    for (const auto& library : imports.libraries)
      if (library.name == name) return &library.entries;
    return nullptr;
  };
  const Entries* kernel32 = named("KERNEL32.dll");
  ASSERT_NE(kernel32, nullptr);
  EXPECT_NE(std::find(kernel32->begin(), kernel32->end(), "GetTickCount"), kernel32->end());
  const Entries* ordinals = named("reader_ordinals.dll");
  ASSERT_NE(ordinals, nullptr);
  EXPECT_EQ(*ordinals, Entries{"#21"});
}

TEST_P(ReaderFixture, DelayedImportsAreReadApartFromTheLoadTimeOnes) {
  const Imports delayed = image().delay_imports();
  EXPECT_FALSE(delayed.cut_short);
  ASSERT_EQ(delayed.libraries.size(), 1u);
  EXPECT_EQ(delayed.libraries[0].name, "reader_delayed.dll");
  EXPECT_EQ(delayed.libraries[0].entries, Entries{"reader_delayed_call"});
}

TEST_P(ReaderFixture, ExportsGiveOrdinalsNamesAndForwarders) {
  const Exports exports = image().exports();
  EXPECT_FALSE(exports.cut_short);
  ASSERT_EQ(exports.entries.size(), 4u);
  const Export* named = exports.find("reader_named_export");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->ordinal, 3u);
  EXPECT_EQ(named->forwarder, "");
  const Export* forwarded = exports.find("reader_forwarded");
  ASSERT_NE(forwarded, nullptr);
  EXPECT_EQ(forwarded->ordinal, 4u);
  EXPECT_EQ(forwarded->forwarder, "reader_target.TargetFunction");
  const Export* by_ordinal = exports.find("#5");
  ASSERT_NE(by_ordinal, nullptr);
  EXPECT_EQ(by_ordinal->name, "reader_forwarded_by_ordinal");
  EXPECT_EQ(by_ordinal->forwarder, "reader_target.#12");
  // Exported by ordinal alone: found by its number, never by its name.
  const Export* hidden = exports.find("#9");
  ASSERT_NE(hidden, nullptr);
  EXPECT_EQ(hidden->name, "");
  EXPECT_EQ(exports.find("reader_hidden_export"), nullptr);
  // Gaps in the ordinals, and what is no number, are nothing.
  EXPECT_EQ(exports.find("#6"), nullptr);
  EXPECT_EQ(exports.find("#9x"), nullptr);
  EXPECT_EQ(exports.find("#"), nullptr);
}

TEST_P(ReaderFixture, ManifestIsTheResourceAsWritten) {
  const std::optional<std::vector<std::uint8_t>> manifest = image().manifest();
  ASSERT_TRUE(manifest);
  const std::string text(manifest->begin(), manifest->end());
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\"", 0), 0u) << text;
  EXPECT_NE(text.find("name=\"Tarnwick.Reader.Fixture\" version=\"1.2.3.4\""), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 12), "</assembly>\n");
}

// Cut anywhere, the file answers: what lies before the cut is read, what
// lies after it is "cut short", and nothing is read past the end (the host
// tests run under the address sanitizer).
TEST_P(ReaderFixture, CutAnywhereGivesAnswers) {
  const std::vector<std::uint8_t> whole = bytes_;
  for (std::size_t length = 0; length < whole.size(); length += 13) {
    const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + length);
    const std::optional<Image> read = Image::read(cut);
    if (length < 0x40) {
      EXPECT_FALSE(read) << length;
      continue;
    }
    if (!read) continue;
    EXPECT_STREQ(machine_name(read->machine()), GetParam().machine);
    // Without its whole optional header no table can be found at all.
    if (read->format() == Format::unreadable) continue;
    const Imports imports = read->imports();
    const Exports exports = read->exports();
    // A table that was there in the whole file is never read as absent.
    EXPECT_TRUE(imports.cut_short || imports.libraries.size() == 2u) << length;
    EXPECT_TRUE(exports.cut_short || exports.entries.size() == 4u) << length;
    read->delay_imports();
    read->manifest();
  }
}

TEST_P(ReaderFixture, CutInsideTheSectionTableKeepsTheSectionsBeforeTheCut) {
  const std::size_t sections = pe() + 24 + *read_u16(bytes_, pe() + 20);
  bytes_.resize(sections + 40 + 20);
  const Image read = image();
  EXPECT_TRUE(read.sections_cut_short());
  ASSERT_EQ(read.sections().size(), 1u);
  EXPECT_EQ(read.sections()[0].name, ".text");
}

TEST_P(ReaderFixture, LyingOffsetsAndCountsAreAnswers) {
  {
    SCOPED_TRACE("the first header points past the end");
    const std::vector<std::uint8_t> good = bytes_;
    put_u32(0x3C, 0xFFFFFFF0);
    EXPECT_FALSE(Image::read(bytes_));
    bytes_ = good;
  }
  {
    SCOPED_TRACE("the optional header is said to be longer than the file");
    const std::vector<std::uint8_t> good = bytes_;
    put_u16(pe() + 20, 0xFFFF);
    const Image read = image();
    EXPECT_EQ(read.format(), Format::unreadable);
    EXPECT_TRUE(read.sections().empty());
    EXPECT_TRUE(read.sections_cut_short());
    EXPECT_TRUE(read.imports().libraries.empty());
    bytes_ = good;
  }
  {
    SCOPED_TRACE("65535 sections");
    const std::vector<std::uint8_t> good = bytes_;
    put_u16(pe() + 6, 0xFFFF);
    EXPECT_TRUE(image().sections_cut_short());
    bytes_ = good;
  }
  {
    SCOPED_TRACE("the tables lie at the top of the address space");
    const std::vector<std::uint8_t> good = bytes_;
    for (int entry : {0, 1, 2, 13}) put_u32(directory(entry), 0xFFFFFFFC);
    const Image read = image();
    EXPECT_TRUE(read.imports().cut_short);
    EXPECT_TRUE(read.delay_imports().cut_short);
    EXPECT_TRUE(read.exports().cut_short);
    EXPECT_FALSE(read.manifest());
    bytes_ = good;
  }
  {
    SCOPED_TRACE("the export table counts four billion functions");
    const std::size_t table = *image().offset_of(*read_u32(bytes_, directory(0)), 40);
    put_u32(table + 20, 0xFFFFFFFF);
    EXPECT_TRUE(image().exports().cut_short);
    put_u32(table + 20, 7);
    put_u32(table + 24, 0x10000);  // names beyond the table's bytes
    EXPECT_TRUE(image().exports().cut_short);
  }
}

TEST_P(ReaderFixture, AnImportNamedWhereNoBytesAreIsCutShortAndTheRestStillRead) {
  // The first descriptor's name moved to an address no section holds: the
  // second library, whichever the linker put there, is still read.
  const Imports whole = image().imports();
  ASSERT_EQ(whole.libraries.size(), 2u);
  const std::string second = whole.libraries[1].name;
  EXPECT_TRUE(second == "KERNEL32.dll" || second == "reader_ordinals.dll") << second;
  const std::size_t table = *image().offset_of(*read_u32(bytes_, directory(1)), 40);
  put_u32(table + 12, 0x7FFF0000);
  const Imports imports = image().imports();
  EXPECT_TRUE(imports.cut_short);
  ASSERT_EQ(imports.libraries.size(), 1u);
  EXPECT_EQ(imports.libraries[0].name, second);
}

INSTANTIATE_TEST_SUITE_P(BothWordSizes, ReaderFixture,
                         ::testing::Values(Fixture{32, "x86", Format::pe32},
                                           Fixture{64, "x64", Format::pe32_plus}),
                         [](const auto& info) { return std::to_string(info.param.bits) + "bit"; });

TEST(MachineName, NamesTheMachinesTheReportKnows) {
  EXPECT_STREQ(machine_name(0x014C), "x86");
  EXPECT_STREQ(machine_name(0x8664), "x64");
  EXPECT_STREQ(machine_name(0xAA64), "arm64");
  EXPECT_STREQ(machine_name(0x01C4), "arm");
  EXPECT_STREQ(machine_name(0x0200), "unknown");  // Itanium
  EXPECT_STREQ(machine_name(0), "unknown");
}

// The committed fuzz corpus, read the way the fuzz target reads it, so that a
// fault it once found stays found without the fuzzer.
TEST(FuzzCorpus, EveryImageInItIsReadWithoutFault) {
  std::size_t images = 0;
  for (const auto& entry : fs::directory_iterator(READER_CORPUS_DIR)) {
    const std::vector<std::uint8_t> bytes = file_bytes(entry.path());
    const std::optional<Image> read = Image::read(bytes);
    if (!read) continue;
    ++images;
    read->imports();
    read->delay_imports();
    read->exports();
    read->manifest();
  }
  EXPECT_GE(images, 4u);
}

}  // namespace
}  // namespace tarnwick::image
