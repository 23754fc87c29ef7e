#include "report/report_lines.h"

namespace tarnwick {

std::string general_date(Kernel32& kernel32, const LocalTime& time) {
  const std::string date = kernel32.short_date(time);
  if (time.hour == 0 && time.minute == 0 && time.second == 0) return date;
  return date + " " + kernel32.long_time(time);
}

std::string version_text(const AppVersion& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.revision);
}

std::string header_line(const std::string& exe_name, const AppVersion& version,
                        const std::string& date) {
  return "System files for " + exe_name + " Version " + version_text(version) + " Date: " + date;
}

std::string component_version_line(std::int32_t verBytes, std::int32_t verMajor,
                                   std::int32_t verMinor) {
  if (verBytes < 1) return "KTR DLL version not found.";
  return "KTR DLL version " + std::to_string(verMajor) + "." +
         std::to_string(verMinor);
}

std::string file_not_found_line(const std::string& name) {
  return " " + name + " :   File not found";
}

std::string file_line(const std::string& name, const std::string& path,
                      const std::string& version, LoadState state) {
  std::string line = name + "    Path:  " + path + " Version:  " +
                     (version.empty() ? std::string("N/A") : version);
  return line + load_state_words(state).line_end;
}

const LoadStateWords& load_state_words(LoadState state) {
  static constexpr LoadStateWords kWords[] = {
      {"loaded", " DLL is loaded", " is loaded", " from "},
      {"can be loaded", " DLL can be loaded", " loads", "; the system takes "},
      {"cannot be loaded", " DLL cannot be loaded", " cannot be loaded", ""},
  };
  return kWords[static_cast<int>(state)];
}

std::string module_section_heading(const std::string& exe_name) {
  return "\r\rProgram Modules for " + exe_name + "\r";
}

std::string with_crlf_line_breaks(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace tarnwick
