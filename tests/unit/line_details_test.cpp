// The details line beside the report: which table entry a report line is,
// and what it says about that entry's load.

#include "report/line_details.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

ReportFacts three_entries() {
  ReportFacts facts;
  LoadDetails loaded;
  loaded.loaded_from = "C:\\Suite\\KTR_Intel_Win32.dll";
  LoadDetails refused;
  refused.error = 193;
  refused.message = "%1 is not a valid Win32 application.";
  refused.machine = "x64";
  facts.entries = {
      {"KTR_Intel_Win32.dll", "C:\\Suite\\KTR_Intel_Win32.dll", "4.7.0.12", LoadState::loaded, loaded},
      {"KTR_Imaging32.DLL", "", "", std::nullopt, {}},
      {"KTR_Scan32.dll", "C:\\Suite\\KTR_Scan32.dll", "", LoadState::cannot_be_loaded, refused},
  };
  return facts;
}

TEST(EntryOfLine, EachEntryByItsLineAsWrittenAndNoOtherLine) {
  const ReportFacts facts = three_entries();
  EXPECT_EQ(entry_of_line(facts, "KTR_Intel_Win32.dll    Path:  C:\\Suite\\KTR_Intel_Win32.dll "
                                 "Version:  4.7.0.12 DLL is loaded"),
            &facts.entries[0]);
  EXPECT_EQ(entry_of_line(facts, " KTR_Imaging32.DLL :   File not found"), &facts.entries[1]);
  EXPECT_EQ(entry_of_line(facts, "KTR_Scan32.dll    Path:  C:\\Suite\\KTR_Scan32.dll Version:  N/A "
                                 "DLL cannot be loaded"),
            &facts.entries[2]);
  EXPECT_EQ(entry_of_line(facts, ""), nullptr);
  EXPECT_EQ(entry_of_line(facts, "KTR DLL version 4.7"), nullptr);
  EXPECT_EQ(entry_of_line(facts, "C:\\WINDOWS\\SYSTEM32\\NTDLL.DLL"), nullptr);
  // A line the user has edited in the box is no longer the entry's.
  EXPECT_EQ(entry_of_line(facts, "KTR_Scan32.dll    Path:  C:\\Suite\\KTR_Scan32.dll Version:  N/A "
                                 "DLL can be loaded"),
            nullptr);
  EXPECT_EQ(entry_of_line(facts, "KTR_Imaging32.DLL :   File not found"), nullptr);
}

TEST(LoadDetailsLine, CannotBeLoadedGivesEveryReasonKnownInTheSystemsOwnWords) {
  EntryFacts entry{"PelkoOcr32.dll", "C:\\Suite\\PelkoOcr32.dll", "", LoadState::cannot_be_loaded, {}};
  EXPECT_EQ(load_details_line(entry), "PelkoOcr32.dll cannot be loaded. Why is not known.");
  entry.load_details.error = 193;
  entry.load_details.message = "%1 is not a valid Win32 application.";
  entry.load_details.machine = "x64";
  EXPECT_EQ(load_details_line(entry),
            "PelkoOcr32.dll cannot be loaded. Error 193: PelkoOcr32.dll is not a valid Win32 "
            "application. The file is for x64.");
  entry.load_details = {};
  entry.load_details.error = 126;
  entry.load_details.message = "Module not found.";
  entry.load_details.missing = {"tarnwick_absent.dll", "fixture_v1234.dll!NoSuchFunction"};
  EXPECT_EQ(load_details_line(entry),
            "PelkoOcr32.dll cannot be loaded. Error 126: Module not found. Missing: "
            "tarnwick_absent.dll, fixture_v1234.dll!NoSuchFunction.");
  entry.load_details = {};
  entry.load_details.ended = true;
  entry.load_details.exit_code = 7;
  EXPECT_EQ(load_details_line(entry),
            "PelkoOcr32.dll cannot be loaded. The attempt ended the process that made it (exit "
            "code 7).");
  entry.load_details = {};
  entry.load_details.timed_out = true;
  entry.load_details.machine = "unknown";
  EXPECT_EQ(load_details_line(entry),
            "PelkoOcr32.dll cannot be loaded. The attempt did not return in time and was given up. "
            "The file is not a Windows image.");
}

TEST(LoadDetailsLine, LoadedAndLoadableNameTheFileTheSystemTook) {
  const ReportFacts facts = three_entries();
  EXPECT_EQ(load_details_line(facts.entries[0]),
            "KTR_Intel_Win32.dll is loaded from C:\\Suite\\KTR_Intel_Win32.dll");
  EntryFacts loads{"atl.dll", "C:\\Suite\\atl.dll", "", LoadState::can_be_loaded, {}};
  loads.load_details.loaded_from = "C:\\Windows\\System32\\atl.dll";
  EXPECT_EQ(load_details_line(loads), "atl.dll loads; the system takes C:\\Windows\\System32\\atl.dll");
}

TEST(DetailsForLine, AnyOtherLineSaysWhereToPutTheCaret) {
  const ReportFacts facts = three_entries();
  EXPECT_EQ(details_for_line(facts, " KTR_Imaging32.DLL :   File not found"),
            "KTR_Imaging32.DLL is in none of the places searched: the program's folder, the "
            "system folder, the Windows folder, the current folder, PATH's folders.");
  EXPECT_EQ(details_for_line(facts, "Program Modules for Pelko_Files"),
            "Put the caret on a library's line to see why it loads or not.");
}

}  // namespace
}  // namespace tarnwick
