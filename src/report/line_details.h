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

// How many other copies of the entry's name lie along the search, and the
// newest where it is newer than the one the system takes: "2 other copies;
// newer 5.2.0.1 at C:\Bin\zlib1.dll". "" before they are looked for, and
// when there is no other.
std::string copies_words(const EntryFacts& entry);

// Every copy, one a line, in the search's order; "" before they are looked
// for.
std::string copies_list(const EntryFacts& entry);

// The details for the report line `line`: the entry's, with its copies once
// they are known, or, on any other line, where to put the caret to see them.
std::string details_for_line(const ReportFacts& facts, const std::string& line);

// The full list of copies for the report line `line`, for a tooltip; "" on
// any other line.
std::string copies_tooltip_for_line(const ReportFacts& facts, const std::string& line);

}  // namespace tarnwick
