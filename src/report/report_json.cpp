#include "report/report_json.h"

#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "probe/load_details_json.h"
#include "report/report_lines.h"

namespace tarnwick {

namespace {

const char* state_name(const std::optional<LoadState>& load) {
  return load ? load_state_words(*load).state : "not found";
}

// Empty text means "none" in the facts; the document says null.
nlohmann::ordered_json text_or_null(const std::string& text) {
  if (text.empty()) return nullptr;
  return text;
}

}  // namespace

std::string iso_local_time(const LocalTime& time, int utc_offset_minutes) {
  const int offset = std::abs(utc_offset_minutes);
  char text[40] = {};
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", time.year,
                time.month, time.day, time.hour, time.minute, time.second,
                utc_offset_minutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

std::string report_json(const ReportFacts& facts, int utc_offset_minutes) {
  using Json = nlohmann::ordered_json;
  Json document;
  document["program"] = {{"name", facts.program_name},
                         {"version", version_text(facts.program_version)}};
  // A load that failed before it asked the clock has no date to give.
  if (facts.time.year == 0) document["date"] = nullptr;
  else document["date"] = iso_local_time(facts.time, utc_offset_minutes);
  Json component = {{"found", facts.component.has_value()}};
  if (facts.component) {
    component["major"] = facts.component->major;
    component["minor"] = facts.component->minor;
  }
  document["component"] = component;
  Json files = Json::array();
  for (const EntryFacts& entry : facts.entries) {
    Json file = {{"name", entry.name},
                 {"path", text_or_null(entry.path)},
                 {"version", text_or_null(entry.version)},
                 {"state", state_name(entry.load)}};
    if (entry.load) file["load"] = load_details_json(entry.load_details);
    if (entry.copies) {
      Json copies = Json::array();
      for (const FileCopy& copy : *entry.copies)
        copies.push_back({{"path", copy.path},
                          {"version", text_or_null(copy.version)},
                          {"machine", text_or_null(copy.machine)}});
      file["copies"] = copies;
    }
    files.push_back(file);
  }
  document["files"] = files;
  document["modules"] = facts.modules;
  document["notices"] = facts.notices;
  document["complete"] = facts.complete;
  // Paths come from the file system and need not be valid text; a stray
  // byte becomes U+FFFD rather than costing the whole document.
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace tarnwick
