#pragma once

#include <string>
#include <vector>

#include "support/lines.h"

namespace tarnwick::testing {

// The report's lines, split at the lone CRs the report is written with.
inline std::vector<std::string> report_lines(const std::string& text) {
  return split(text, '\r');
}

// The file line a library's name starts, found or not.
inline std::string report_line_of(const std::string& text, const std::string& name) {
  for (const std::string& line : report_lines(text))
    if (line.rfind(name + "    ", 0) == 0 || line.rfind(" " + name + " :", 0) == 0)
      return line;
  return "(no line for " + name + ")";
}

}  // namespace tarnwick::testing
