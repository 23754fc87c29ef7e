#include "report/report_json.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace tarnwick {
namespace {

using Json = nlohmann::ordered_json;

TEST(IsoLocalTime, OffsetsAheadOfAndBehindUtcInWholeAndPartHours) {
  const LocalTime time{2026, 1, 2, 3, 4, 5};
  EXPECT_EQ(iso_local_time(time, 0), "2026-01-02T03:04:05+00:00");
  EXPECT_EQ(iso_local_time(time, 60), "2026-01-02T03:04:05+01:00");
  EXPECT_EQ(iso_local_time(time, 330), "2026-01-02T03:04:05+05:30");   // India
  EXPECT_EQ(iso_local_time(time, 345), "2026-01-02T03:04:05+05:45");   // Nepal
  EXPECT_EQ(iso_local_time(time, -300), "2026-01-02T03:04:05-05:00");  // New York
  EXPECT_EQ(iso_local_time(time, -210), "2026-01-02T03:04:05-03:30");  // Newfoundland
  EXPECT_EQ(iso_local_time(time, -30), "2026-01-02T03:04:05-00:30");
  EXPECT_EQ(iso_local_time(time, -720), "2026-01-02T03:04:05-12:00");
  EXPECT_EQ(iso_local_time(time, 840), "2026-01-02T03:04:05+14:00");   // Kiribati
}

ReportFacts every_kind_of_entry() {
  ReportFacts facts;
  facts.program_name = "Pelko_Files";
  facts.program_version = {1, 0, 13};
  facts.time = {2026, 12, 8, 15, 21, 7};
  facts.component = ReportFacts::ComponentVersion{4, 7};
  LoadDetails loaded;
  loaded.loaded_from = "C:\\Suite\\KTR_Intel_Win32.dll";
  LoadDetails missing;
  missing.error = 126;
  missing.message = "The specified module could not be found.";
  missing.missing = {"tarnwick_absent.dll", "fixture_v1234.dll!NoSuchFunction"};
  LoadDetails other_machine;
  other_machine.error = 193;
  other_machine.message = "%1 is not a valid Win32 application.";
  other_machine.machine = "x64";
  LoadDetails ended;
  ended.ended = true;
  ended.exit_code = 7;
  LoadDetails stuck;
  stuck.timed_out = true;
  facts.entries = {
      {"KTR_Intel_Win32.dll", "C:\\Suite\\KTR_Intel_Win32.dll", "4.7.0.12", LoadState::loaded, loaded},
      // Details of a file that is not found are not its own: never written.
      {"KTR_Imaging32.DLL", "", "", std::nullopt, ended},
      {"KTR_Scan32.dll", "C:\\Suite\\KTR_Scan32.dll", "", LoadState::can_be_loaded, {}},
      {"PelkoOcr32.dll", "C:\\Suite\\PelkoOcr32.dll", "3.0.0.1", LoadState::cannot_be_loaded, missing},
      {"PelkoCore32.dll", "C:\\Suite\\PelkoCore32.dll", "", LoadState::cannot_be_loaded, other_machine},
      {"PELKOVIEW.DLL", "C:\\Suite\\PELKOVIEW.DLL", "", LoadState::cannot_be_loaded, ended},
      {"pelko_forms32.dll", "C:\\Suite\\pelko_forms32.dll", "", LoadState::cannot_be_loaded, stuck},
  };
  facts.entries[2].copies = std::vector<FileCopy>{{"C:\\Suite\\KTR_Scan32.dll", "", "x86"},
                                                 {"E:\\Bin\\KTR_Scan32.dll", "2.0.0.0", ""}};
  facts.modules = {"C:\\WINDOWS\\SYSTEM32\\NTDLL.DLL"};
  facts.notices = {"The path is undefined"};
  facts.complete = true;
  return facts;
}

TEST(ReportJson, EveryFieldInOrderWithNullForWhatIsNotKnown) {
  const std::string text = report_json(every_kind_of_entry(), -210);
  ASSERT_TRUE(text.ends_with("}\n"));
  const Json document = Json::parse(text);
  const Json expected = Json::parse(R"({
    "program": {"name": "Pelko_Files", "version": "1.0.13"},
    "date": "2026-12-08T15:21:07-03:30",
    "component": {"found": true, "major": 4, "minor": 7},
    "files": [
      {"name": "KTR_Intel_Win32.dll", "path": "C:\\Suite\\KTR_Intel_Win32.dll", "version": "4.7.0.12", "state": "loaded",
       "load": {"loaded_from": "C:\\Suite\\KTR_Intel_Win32.dll"}},
      {"name": "KTR_Imaging32.DLL", "path": null, "version": null, "state": "not found"},
      {"name": "KTR_Scan32.dll", "path": "C:\\Suite\\KTR_Scan32.dll", "version": null, "state": "can be loaded",
       "load": {},
       "copies": [{"path": "C:\\Suite\\KTR_Scan32.dll", "version": null, "machine": "x86"},
                  {"path": "E:\\Bin\\KTR_Scan32.dll", "version": "2.0.0.0", "machine": null}]},
      {"name": "PelkoOcr32.dll", "path": "C:\\Suite\\PelkoOcr32.dll", "version": "3.0.0.1", "state": "cannot be loaded",
       "load": {"error": 126, "message": "The specified module could not be found.",
                "missing": ["tarnwick_absent.dll", "fixture_v1234.dll!NoSuchFunction"]}},
      {"name": "PelkoCore32.dll", "path": "C:\\Suite\\PelkoCore32.dll", "version": null, "state": "cannot be loaded",
       "load": {"error": 193, "message": "%1 is not a valid Win32 application.", "machine": "x64"}},
      {"name": "PELKOVIEW.DLL", "path": "C:\\Suite\\PELKOVIEW.DLL", "version": null, "state": "cannot be loaded",
       "load": {"ended": true, "exit_code": 7}},
      {"name": "pelko_forms32.dll", "path": "C:\\Suite\\pelko_forms32.dll", "version": null, "state": "cannot be loaded",
       "load": {"timed_out": true}}
    ],
    "modules": ["C:\\WINDOWS\\SYSTEM32\\NTDLL.DLL"],
    "notices": ["The path is undefined"],
    "complete": true
  })");
  EXPECT_EQ(document, expected) << text;
}

// A load that stopped before it read the clock or asked the component.
TEST(ReportJson, StoppedLoadHasANullDateAndNoComponentNumbers) {
  ReportFacts facts;
  facts.program_name = "Pelko_Files";
  facts.notices = {"An error occurred while locating the file: "
                "The system cannot find the path specified."};
  const Json document = Json::parse(report_json(facts, 60));
  EXPECT_TRUE(document["date"].is_null());
  EXPECT_EQ(document["component"], Json::parse(R"({"found": false})"));
  EXPECT_EQ(document["files"], Json::array());
  EXPECT_EQ(document["modules"], Json::array());
  EXPECT_FALSE(document["complete"].get<bool>());
}

// Paths come from the file system as they are: quotes, backslashes and
// control characters are escaped, other scripts kept, and a byte that is not
// UTF-8 becomes U+FFFD instead of costing the document.
TEST(ReportJson, OddTextIsEscapedOrReplacedNeverLost) {
  ReportFacts facts = every_kind_of_entry();
  facts.entries[0].path = "C:\\\"quoted\"\\tab\there\\\x01\\日本\\Ωmega.dll";
  facts.entries[2].path = std::string("C:\\bad\xFF\xFE") + "\\KTR_Scan32.dll";
  facts.notices = {"line one\r\nline two"};
  const std::string text = report_json(facts, 0);
  EXPECT_NE(text.find("\\u0001"), std::string::npos) << text;
  EXPECT_NE(text.find("\\t"), std::string::npos) << text;
  const Json document = Json::parse(text);
  EXPECT_EQ(document["files"][0]["path"], facts.entries[0].path);
  EXPECT_EQ(document["files"][2]["path"], "C:\\bad\xEF\xBF\xBD\xEF\xBF\xBD\\KTR_Scan32.dll");
  EXPECT_EQ(document["notices"][0], "line one\r\nline two");
}

}  // namespace
}  // namespace tarnwick
