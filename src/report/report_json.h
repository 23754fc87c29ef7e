#pragma once

#include <string>

#include "platform/kernel32.h"
#include "report/report_facts.h"

namespace tarnwick {

// "2026-12-08T15:21:07+01:00": the local time and how far it is ahead of UTC.
std::string iso_local_time(const LocalTime& time, int utc_offset_minutes);

// The report as one JSON document, described by docs/report.schema.json.
// Ends with a line break.
std::string report_json(const ReportFacts& facts, int utc_offset_minutes);

}  // namespace tarnwick
