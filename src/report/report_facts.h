#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/program_identity.h"
#include "files/file_copies.h"
#include "platform/kernel32.h"
#include "platform/load_probe.h"
#include "report/report_lines.h"

namespace tarnwick {

// What a finished (or stopped) report said, kept as data beside its text so
// that a machine-readable copy tells exactly the same story as the lines.

struct EntryFacts {
  std::string name;
  std::string path;     // "" when not found
  std::string version;  // "" when the file has none (the line says N/A)
  std::optional<LoadState> load;  // none when not found
  LoadDetails load_details;       // why, beside the state; empty when not found
  // Every file of the name along the search, the line's own first; none
  // until they are looked for, which the report itself never waits for.
  std::optional<std::vector<FileCopy>> copies = std::nullopt;
};

struct ReportFacts {
  std::string program_name;
  AppVersion program_version;
  LocalTime time;
  // The component library's version, when it answered with one.
  struct ComponentVersion {
    std::int32_t major = 0;
    std::int32_t minor = 0;
  };
  std::optional<ComponentVersion> component;
  // Table entries in table order, as far as the report got.
  std::vector<EntryFacts> entries;
  // The module section's paths, once the section is in the report.
  std::vector<std::string> modules;
  // What the user was told in message boxes, in order.
  std::vector<std::string> notices;
  bool complete = false;
};

}  // namespace tarnwick
