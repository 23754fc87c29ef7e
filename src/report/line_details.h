#pragma once

#include <string>

#include "report/report_facts.h"

namespace tarnwick {

// What the window shows beside the report for the line that holds the caret:
// why that library loads or not. It is never part of the report's text.

// The table entry whose line `line` is, exactly as the report wrote it; null
// for any other line, and for one edited since.
const EntryFacts* entry_of_line(const ReportFacts& facts, const std::string& line);

// Why the entry's load went as it did, in one line that starts with its name.
std::string load_details_line(const EntryFacts& entry);

// The details for the report line `line`: the entry's, or, on any other
// line, where to put the caret to see them.
std::string details_for_line(const ReportFacts& facts, const std::string& line);

}  // namespace tarnwick
