// The API set schema reader on maps of each layout laid out by hand here,
// offset by offset, and on those maps cut short or lying.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/api_set_schema.h"

namespace tarnwick {
namespace {

using image::ApiSetSchema;
using Answer = ApiSetSchema::Answer;

// A map written field by field at the offsets each test states.
class Map {
 public:
  explicit Map(std::size_t size) : bytes_(size, 0) {}
  Map& u32(std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<unsigned char>(value >> (8 * i));
    return *this;
  }
  Map& text(std::size_t at, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) bytes_.at(at + 2 * i) = static_cast<unsigned char>(text[i]);
    return *this;
  }
  std::vector<unsigned char> bytes() const { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
};

// Version 2, as Windows 7 has it: names without "api-", a value array per
// entry; the second contract lists an importer's own host before the default.
Map version_2() {
  Map map(240);
  map.u32(0, 2).u32(4, 2);
  map.u32(8, 32).u32(12, 52).u32(16, 132);   // entry 0
  map.u32(20, 84).u32(24, 48).u32(28, 176);  // entry 1
  map.text(32, "ms-win-core-console-l1-1-0").text(84, "MS-Win-Core-Synch-L1-1-0");
  map.u32(132, 1).u32(136, 0).u32(140, 0).u32(144, 152).u32(148, 24);
  map.text(152, "kernel32.dll");
  map.u32(176, 2);
  map.u32(180, 152).u32(184, 24).u32(188, 212).u32(192, 28);  // kernel32.dll -> kernelbase.dll
  map.u32(196, 0).u32(200, 0).u32(204, 152).u32(208, 24);     // anyone else -> kernel32.dll
  map.text(212, "kernelbase.dll");
  return map;
}

// Version 4, as Windows 8.1 has it: a size in the header, flags in each
// entry and value array; the second contract has no host.
Map version_4() {
  Map map(232);
  map.u32(0, 4).u32(4, 232).u32(8, 0).u32(12, 2);
  map.u32(16, 1).u32(20, 64).u32(24, 46).u32(28, 0).u32(32, 0).u32(36, 168);   // entry 0
  map.u32(40, 1).u32(44, 110).u32(48, 56).u32(52, 0).u32(56, 0).u32(60, 196);  // entry 1
  map.text(64, "MS-WIN-CORE-FILE-L2-1-1").text(110, "ms-win-tarnwick-empty-l1-1-0");
  map.u32(168, 0).u32(172, 1);
  map.u32(176, 0).u32(180, 0).u32(184, 0).u32(188, 204).u32(192, 28);
  map.u32(196, 0).u32(200, 0);
  map.text(204, "kernelbase.dll");
  return map;
}

// Version 6, as Windows 10 has it: names with their prefix, a table of
// hashes (factor 31, worked out by hand) of each name up to its last hyphen.
Map version_6() {
  Map map(396);
  map.u32(0, 6).u32(4, 396).u32(8, 0).u32(12, 3).u32(16, 28).u32(20, 100).u32(24, 31);
  map.u32(28, 1).u32(32, 124).u32(36, 56).u32(40, 52).u32(44, 304).u32(48, 1);  // synch
  map.u32(52, 1).u32(56, 180).u32(60, 64).u32(64, 60).u32(68, 0).u32(72, 0);    // empty
  map.u32(76, 1).u32(80, 244).u32(84, 58).u32(88, 54).u32(92, 352).u32(96, 1);  // crt
  map.u32(100, 0x621b3327).u32(104, 1);  // ext-ms-win-tarnwick-empty-l1-1
  map.u32(108, 0xd8853fb3).u32(112, 0);  // api-ms-win-core-synch-l1-2
  map.u32(116, 0xe7dd824b).u32(120, 2);  // api-ms-win-crt-runtime-l1-1
  map.text(124, "api-ms-win-core-synch-l1-2-0");
  map.text(180, "ext-ms-win-tarnwick-empty-l1-1-0");
  map.text(244, "api-ms-win-crt-runtime-l1-1-0");
  map.u32(304, 0).u32(308, 0).u32(312, 0).u32(316, 324).u32(320, 28);
  map.text(324, "kernelbase.dll");
  map.u32(352, 0).u32(356, 0).u32(360, 0).u32(364, 372).u32(368, 24);
  map.text(372, "ucrtbase.dll");
  return map;
}

void expect(const ApiSetSchema& schema, std::string_view name, Answer answer,
            std::string_view host = "") {
  const ApiSetSchema::Lookup found = schema.find(name);
  EXPECT_EQ(found.answer, answer) << name;
  EXPECT_EQ(found.host, host) << name;
}

TEST(ApiSetSchema, Version2KeepsWholeNamesWithoutTheirPrefix) {
  const ApiSetSchema schema(version_2().bytes());
  EXPECT_EQ(schema.version(), 2u);
  expect(schema, "api-ms-win-core-console-l1-1-0.dll", Answer::defined, "kernel32.dll");
  expect(schema, "API-MS-WIN-CORE-CONSOLE-L1-1-0.DLL", Answer::defined, "kernel32.dll");
  // The default host, not the one an importer is sent to.
  expect(schema, "api-ms-win-core-synch-l1-1-0", Answer::defined, "kernel32.dll");
  expect(schema, "api-ms-win-core-console-l1-1-1.dll", Answer::undefined);
  expect(schema, "api-ms-win-crt-runtime-l1-1-0.dll", Answer::undefined);
  expect(schema, "kernel32.dll", Answer::undefined);
}

TEST(ApiSetSchema, Version4KnowsAContractWithNoHost) {
  const ApiSetSchema schema(version_4().bytes());
  EXPECT_EQ(schema.version(), 4u);
  expect(schema, "api-ms-win-core-file-l2-1-1.dll", Answer::defined, "kernelbase.dll");
  expect(schema, "Ext-MS-Win-Tarnwick-Empty-L1-1-0.dll", Answer::defined, "");
  expect(schema, "api-ms-win-core-file-l2-1-0.dll", Answer::undefined);
}

TEST(ApiSetSchema, Version6MatchesTheNameUpToItsLastHyphen) {
  const ApiSetSchema schema(version_6().bytes());
  EXPECT_EQ(schema.version(), 6u);
  expect(schema, "api-ms-win-core-synch-l1-2-0.dll", Answer::defined, "kernelbase.dll");
  // Another minor version of the same contract is the same contract.
  expect(schema, "API-MS-Win-Core-Synch-L1-2-3.DLL", Answer::defined, "kernelbase.dll");
  expect(schema, "api-ms-win-crt-runtime-l1-1-0.dll", Answer::defined, "ucrtbase.dll");
  expect(schema, "ext-ms-win-tarnwick-empty-l1-1-0.dll", Answer::defined, "");
  expect(schema, "api-ms-win-core-synch-l1-3-0.dll", Answer::undefined);
  expect(schema, "api-ms-win-tarnwick-absent-l1-1-0.dll", Answer::undefined);
}

TEST(ApiSetSchema, NoMapOrAnUnknownLayoutKnowsNothing) {
  expect(ApiSetSchema(), "api-ms-win-core-synch-l1-2-0.dll", Answer::unknown);
  expect(ApiSetSchema(std::vector<unsigned char>{}), "api-ms-win-core-synch-l1-2-0.dll", Answer::unknown);
  expect(ApiSetSchema(std::vector<unsigned char>{6, 0, 0}), "api-ms-win-core-synch-l1-2-0.dll", Answer::unknown);
  for (std::uint32_t version : {0u, 3u, 5u, 7u, 0xFFFFFFFFu}) {
    const ApiSetSchema schema(version_6().u32(0, version).bytes());
    EXPECT_EQ(schema.version(), 0u) << version;
    expect(schema, "api-ms-win-core-synch-l1-2-0.dll", Answer::unknown);
  }
}

// A map cut anywhere never answers wrongly: versions 4 and 6 say their size,
// so any cut is seen; version 2 answers what lies before the cut.
TEST(ApiSetSchema, MapCutShortAnswersUnknownOrWhatItStillHolds) {
  for (const Map& whole : {version_4(), version_6()}) {
    const std::vector<unsigned char> bytes = whole.bytes();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
      const ApiSetSchema schema(std::vector<unsigned char>(bytes.begin(), bytes.begin() + size));
      EXPECT_EQ(schema.version(), 0u) << size;
      expect(schema, "api-ms-win-core-synch-l1-2-0.dll", Answer::unknown);
    }
  }
  const std::vector<unsigned char> bytes = version_2().bytes();
  int defined = 0;
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    const ApiSetSchema schema(std::vector<unsigned char>(bytes.begin(), bytes.begin() + size));
    const ApiSetSchema::Lookup found = schema.find("api-ms-win-core-console-l1-1-0.dll");
    EXPECT_NE(found.answer, Answer::undefined) << size;
    if (found.answer == Answer::defined) {
      EXPECT_EQ(found.host, "kernel32.dll") << size;
      ++defined;
    }
    EXPECT_NE(schema.find("api-ms-win-tarnwick-absent-l1-1-0.dll").answer, Answer::defined);
  }
  // Entry 0's name, value array and host all end by byte 176.
  EXPECT_EQ(defined, 240 - 176);
}

TEST(ApiSetSchema, FieldsThatPointOutsideTheMapGiveUnknown) {
  struct Lie {
    const char* what;
    std::size_t at;
    std::uint32_t value;
  };
  for (const Lie& lie : {Lie{"count", 12, 0xFFFFFFFF}, Lie{"entries", 16, 390},
                         Lie{"hashes", 20, 0xFFFFFFF0}, Lie{"index", 112, 3},
                         Lie{"name", 32, 396}, Lie{"odd hashed length", 40, 51},
                         Lie{"hashed length", 40, 0x80000000}, Lie{"values", 44, 390},
                         Lie{"value count", 48, 0x40000000}, Lie{"host", 316, 0xFFFFFFFE},
                         Lie{"host length", 320, 74}}) {
    SCOPED_TRACE(lie.what);
    const ApiSetSchema schema(version_6().u32(lie.at, lie.value).bytes());
    expect(schema, "api-ms-win-core-synch-l1-2-0.dll", Answer::unknown);
  }
  for (const Lie& lie : {Lie{"count", 4, 0x20000000}, Lie{"name", 8, 239},
                         Lie{"values", 16, 0xFFFFFFFC}, Lie{"value count", 132, 100}}) {
    SCOPED_TRACE(lie.what);
    const ApiSetSchema schema(version_2().u32(lie.at, lie.value).bytes());
    expect(schema, "api-ms-win-core-console-l1-1-0.dll", Answer::unknown);
  }
}

}  // namespace
}  // namespace tarnwick
