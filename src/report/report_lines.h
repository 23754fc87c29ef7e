#pragma once

#include <cstdint>
#include <string>

#include "common/program_identity.h"
#include "platform/kernel32.h"

namespace tarnwick {

// Every line of the report is formed here, one function per kind of line.

enum class LoadState { loaded, can_be_loaded, cannot_be_loaded };

// Every word said of a load state, in one place.
struct LoadStateWords {
  const char* state;      // as the JSON report names it
  const char* line_end;   // how the report's line ends
  const char* sentence;   // the details line's verb, after the name
  const char* found_at;   // joins that verb to the file the system took
};
const LoadStateWords& load_state_words(LoadState state);

// Short date, a space, long time; exactly midnight shows the date alone.
std::string general_date(Kernel32& kernel32, const LocalTime& time);

// "major.minor.revision", as the header shows the program's version.
std::string version_text(const AppVersion& version);
std::string header_line(const std::string& exe_name, const AppVersion& version,
                        const std::string& date);
std::string component_version_line(std::int32_t verBytes, std::int32_t verMajor,
                                   std::int32_t verMinor);
std::string file_not_found_line(const std::string& name);
std::string file_line(const std::string& name, const std::string& path,
                      const std::string& version, LoadState state);
std::string module_section_heading(const std::string& exe_name);

// The box keeps lines apart with a lone CR; the clipboard wants CR LF so the
// report pastes as separate lines anywhere.
std::string with_crlf_line_breaks(const std::string& text);

}  // namespace tarnwick
