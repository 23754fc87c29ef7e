#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// The switches the program understands. Without a report switch anything
// else on the command line is ignored, so that a shortcut with stray
// arguments still opens the window; beside one, anything else is an error.
struct CommandLine {
  // "-" stands for the standard output handle.
  std::optional<std::wstring> report_file;  // /report FILE: the text report
  std::optional<std::wstring> json_file;    // /json FILE: the same as JSON
  bool help = false;                        // /?
  // Set when the switches cannot be followed; the run then writes nothing.
  std::wstring error;

  // A run without a window: a report was asked for, or asked for wrongly.
  bool unattended() const { return report_file || json_file || !error.empty(); }
};

constexpr const wchar_t* kStandardStreamName = L"-";

// The arguments after the program's name. Wrong switches set `error`: a
// report switch without its file or given twice, /? or an argument it does
// not know beside a report switch, both reports to the standard output, or
// both to one file.
CommandLine parse_command_line(const std::vector<std::wstring>& arguments);

// This process's command line, split by the system's own rules. When it
// cannot be split, a line that mentions a report switch is treated as wrong
// rather than opening a window nobody may be there to close.
CommandLine read_command_line();

// The text of the /? box.
std::wstring command_line_help();

}  // namespace tarnwick
