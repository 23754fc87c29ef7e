// The load probe's lines, both ways, and what becomes of anything else on the
// pipe: a helper's libraries may write there too, so a line counts only when
// it is whole, signed with the token and about a question.

#include "probe/protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probe/load_details_json.h"

namespace tarnwick::probe {
namespace {

TEST(ProbeRequest, LinesReadBackAsWritten) {
  EXPECT_EQ(request_line({12, Ask::component, {}}), "12 component");
  EXPECT_EQ(request_line({7, Ask::load, "C:\\A b\\lib.dll"}), "7 load C:\\A b\\lib.dll");
  const auto load = read_request("7 load C:\\A b\\lib.dll");
  ASSERT_TRUE(load);
  EXPECT_EQ(load->id, 7u);
  EXPECT_EQ(load->ask, Ask::load);
  EXPECT_EQ(load->name, "C:\\A b\\lib.dll");
  const auto component = read_request("0 component");
  ASSERT_TRUE(component);
  EXPECT_EQ(component->id, 0u);
  EXPECT_EQ(component->ask, Ask::component);
}

TEST(ProbeRequest, AnythingElseIsNoQuestion) {
  for (const char* junk : {"", "load x.dll", "component", "x 1 load a.dll", "-1 component",
                           "+1 component", "3 load ", "3 loadx.dll", "3  component",
                           "3 component ", "3\tload a.dll", "99999999999999999999999 component",
                           "3 Component"})
    EXPECT_FALSE(read_request(junk)) << junk;
}

TEST(ProbeHelperLine, WrittenAsOneSignedObject) {
  EXPECT_EQ(greeting_line("ab12"), R"({"token":"ab12","ready":true})");
  LoadAnswer failed;
  failed.details.error = 126;
  failed.details.message = "Module not found.";
  EXPECT_EQ(answer_line("ab12", 4, failed),
            R"({"token":"ab12","id":4,"loads":false,"error":126,"message":"Module not found."})");
  LoadAnswer loaded{true, {}};
  loaded.details.loaded_from = "C:\\S\\a.dll";
  EXPECT_EQ(answer_line("ab12", 0, loaded),
            R"({"token":"ab12","id":0,"loads":true,"loaded_from":"C:\\S\\a.dll"})");
  LoadDetails why;
  why.machine = "x64";
  why.missing = {"b.dll", "c.dll!F"};
  EXPECT_EQ(done_line("ab12", 4, why),
            R"({"token":"ab12","id":4,"done":true,"machine":"x64","missing":["b.dll","c.dll!F"]})");
  EXPECT_EQ(done_line("ab12", 5, {}), R"({"token":"ab12","id":5,"done":true})");
}

TEST(ProbeHelperLine, SignedLinesAreReadForWhatTheySay) {
  const auto greeting = read_helper_line(R"({"token":"ab12","ready":true})", "ab12");
  ASSERT_TRUE(greeting);
  EXPECT_EQ(greeting->kind, HelperLine::Kind::greeting);

  const auto answer = read_helper_line(
      R"({"token":"ab12","id":4,"loads":false,"error":126,"message":"Module not found."})", "ab12");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->kind, HelperLine::Kind::answer);
  EXPECT_EQ(answer->id, 4u);
  EXPECT_FALSE(answer->answer.loads);
  EXPECT_EQ(answer->answer.details.error, 126u);
  EXPECT_EQ(answer->answer.details.message, "Module not found.");

  const auto done =
      read_helper_line(R"({"token":"ab12","id":4,"done":true,"missing":["b.dll"]})", "ab12");
  ASSERT_TRUE(done);
  EXPECT_EQ(done->kind, HelperLine::Kind::done);
  EXPECT_EQ(done->id, 4u);
  EXPECT_EQ(done->answer.details.missing, std::vector<std::string>{"b.dll"});
}

// What a library could write on the helper's pipe, and what a garbled line
// looks like: none of it is a line of the helper's.
TEST(ProbeHelperLine, GarbledForgedOrUnsignedLinesAreNothing) {
  for (const char* junk :
       {"", "{", "{\"loads\":true}", "{\"ready\":true}", "no\nyes",
        R"({"token":"ab13","id":1,"loads":true})",     // another token
        R"({"token":"ab1","id":1,"loads":true})",      // a token's beginning
        R"({"token":"ab12","loads":true})",            // no question named
        R"({"token":"ab12","id":-1,"loads":true})", R"({"token":"ab12","id":"1","loads":true})",
        R"({"token":"ab12","id":1.5,"loads":true})", R"({"token":"ab12","id":1,"loads":"yes"})",
        R"({"token":"ab12","id":1})", R"({"token":["ab12"],"id":1,"loads":true})",
        R"({"token":"ab12","id":1,"loads":true)", R"(["ab12",1,true])",
        "{\"token\":\"ab12\",\"id\":1,\"loads\":true,\"loaded_from\":\"\xC3\"}",
        "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["})
    EXPECT_FALSE(read_helper_line(junk, "ab12")) << junk;
  // A helper without a token signs nothing.
  EXPECT_FALSE(read_helper_line(R"({"token":"","ready":true})", ""));
}

TEST(ProbeToken, BytesInHexadecimal) {
  const unsigned char bytes[] = {0x00, 0x0F, 0xAB, 0xFF, 0x10};
  EXPECT_EQ(token_text(bytes, sizeof(bytes)), "000fabff10");
  EXPECT_EQ(token_text(bytes, 0), "");
}

std::vector<std::string> lines_of(LineReader& reader) {
  std::vector<std::string> lines;
  while (auto line = reader.next()) lines.push_back(*line);
  return lines;
}

TEST(ProbeLineReader, LinesWholeWhateverTheReadsCutThem) {
  LineReader reader;
  reader.feed("ab");
  EXPECT_EQ(lines_of(reader), std::vector<std::string>{});
  reader.feed("c\nd");
  EXPECT_EQ(lines_of(reader), std::vector<std::string>{"abc"});
  reader.feed("\n\nef\ng");
  EXPECT_EQ(lines_of(reader), (std::vector<std::string>{"d", "", "ef"}));
  reader.feed("h\n");
  EXPECT_EQ(lines_of(reader), std::vector<std::string>{"gh"});
}

// A half line a library left is ended by the line break the helper writes
// before its own line, which therefore comes through whole.
TEST(ProbeLineReader, HalfLineBeforeTheHelpersLineStaysApart) {
  LineReader reader;
  reader.feed("{\"loads\":fal");
  reader.feed("\n{\"token\":\"t\",\"ready\":true}\n");
  EXPECT_EQ(lines_of(reader),
            (std::vector<std::string>{"{\"loads\":fal", "{\"token\":\"t\",\"ready\":true}"}));
}

TEST(ProbeLineReader, LineOverTheBoundIsDroppedWholeAndTheNextKept) {
  LineReader reader(4);
  reader.feed("abcd\nabcde\nxy\n");
  EXPECT_EQ(lines_of(reader), (std::vector<std::string>{"abcd", "xy"}));
  // Over the bound across several reads, before and after a line given out.
  reader.feed("ab");
  reader.feed("cd");
  reader.feed("ef");
  reader.feed("gh\nz");
  reader.feed("\n");
  EXPECT_EQ(lines_of(reader), std::vector<std::string>{"z"});
  reader.feed("q\nlonger than four");
  EXPECT_EQ(lines_of(reader), std::vector<std::string>{"q"});
  reader.feed(" still\nok\n");
  EXPECT_EQ(lines_of(reader), std::vector<std::string>{"ok"});
}

TEST(LoadDetailsJson, EveryMemberReadsBackAndWrongTypesAreLeftOut) {
  LoadDetails details;
  details.loaded_from = "C:\\a.dll";
  details.error = 4294967295u;
  details.message = "m";
  details.machine = "arm64";
  details.missing = {"x.dll", "y.dll!#12"};
  details.ended = true;
  details.exit_code = 7;
  details.timed_out = true;
  const LoadDetails back = load_details_from_json(load_details_json(details));
  EXPECT_EQ(back.loaded_from, "C:\\a.dll");
  EXPECT_EQ(back.error, 4294967295u);
  EXPECT_EQ(back.message, "m");
  EXPECT_EQ(back.machine, "arm64");
  EXPECT_EQ(back.missing, (std::vector<std::string>{"x.dll", "y.dll!#12"}));
  EXPECT_TRUE(back.ended);
  EXPECT_EQ(back.exit_code, 7u);
  EXPECT_TRUE(back.timed_out);

  const auto odd = nlohmann::ordered_json::parse(
      R"({"loaded_from":1,"error":-5,"exit_code":4294967296,"message":null,)"
      R"("missing":["a.dll",2,null],"ended":"yes","timed_out":1})");
  const LoadDetails read = load_details_from_json(odd);
  EXPECT_EQ(read.loaded_from, "");
  EXPECT_FALSE(read.error);
  EXPECT_FALSE(read.exit_code);
  EXPECT_EQ(read.message, "");
  EXPECT_EQ(read.missing, std::vector<std::string>{"a.dll"});
  EXPECT_FALSE(read.ended);
  EXPECT_FALSE(read.timed_out);
}

}  // namespace
}  // namespace tarnwick::probe
