#include "app/command_line.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>

#include "platform/win32/kernel32_win32.h"
#include "platform/win32/system_calls.h"

namespace tarnwick {

namespace {

bool is_switch(const std::wstring& argument, const wchar_t* name) {
  return _wcsicmp(argument.c_str(), name) == 0;
}

// "/jsn" after /report is a misspelt switch, not a file at the drive's root:
// a switch-like word with no further path separator is never taken as FILE.
bool looks_like_switch(const std::wstring& argument) {
  return argument.size() > 1 && argument[0] == L'/' &&
         argument.find_first_of(L"/\\", 1) == std::wstring::npos;
}

// Takes the file name after a switch into `target`; false, with the reason in
// `error`, when there is none or the switch came twice.
bool take_file(const std::vector<std::wstring>& arguments, std::size_t& at,
               std::optional<std::wstring>& target, std::wstring& error) {
  const std::wstring& name = arguments[at];
  if (target) {
    error = name + L" is given twice";
    return false;
  }
  if (at + 1 >= arguments.size() || arguments[at + 1].empty() ||
      looks_like_switch(arguments[at + 1])) {
    error = name + L" needs a file name, or - for the standard output";
    return false;
  }
  target = arguments[++at];
  return true;
}

// Whether two names given for output are one file, however spelt: the same
// full path, letter case aside. ("." and ".." pieces, "/" for "\" and a
// relative name are all resolved by the full path.)
bool same_file(const std::wstring& first, const std::wstring& second) {
  if (first == kStandardStreamName || second == kStandardStreamName) return false;
  std::wstring a = win32::full_path_name(first), b = win32::full_path_name(second);
  if (a.empty()) a = first;
  if (b.empty()) b = second;
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The lower-cased line, to look for a switch in a line that could not be split.
std::wstring lowered(const wchar_t* text) {
  std::wstring out(text != nullptr ? text : L"");
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::wstring>& arguments) {
  CommandLine line;
  std::vector<std::wstring> unknown;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const std::wstring& argument = arguments[at];
    bool taken = true;
    if (is_switch(argument, L"/report")) taken = take_file(arguments, at, line.report_file, line.error);
    else if (is_switch(argument, L"/json")) taken = take_file(arguments, at, line.json_file, line.error);
    else if (is_switch(argument, L"/?")) line.help = true;
    else unknown.push_back(argument);
    if (!taken) return line;
  }
  if (!line.report_file && !line.json_file) return line;
  // A run meant for nobody does what it was told or nothing: a misspelt
  // switch, or a file name cut at a space, would otherwise be dropped
  // without a word, and a box that waits for a click would wait forever.
  if (!unknown.empty())
    line.error = L"\"" + unknown.front() + L"\" is not understood beside /report or /json";
  else if (line.help)
    line.error = L"/? cannot be combined with /report or /json";
  else if (line.report_file && line.json_file && *line.report_file == kStandardStreamName &&
           *line.json_file == kStandardStreamName)
    line.error = L"/report and /json cannot both write to the standard output";
  else if (line.report_file && line.json_file && same_file(*line.report_file, *line.json_file))
    line.error = L"/report and /json name the same file";
  return line;
}

CommandLine read_command_line() {
  const wchar_t* raw = GetCommandLineW();
  LPWSTR* parts = nullptr;
  int count = 0;
  if (auto* split_line = win32::system_calls::CommandLineToArgvW.find())
    parts = split_line(raw, &count);
  if (parts == nullptr) {
    CommandLine line;
    const std::wstring text = lowered(raw);
    if (text.find(L"/report") != std::wstring::npos || text.find(L"/json") != std::wstring::npos)
      line.error = L"The command line cannot be read";
    return line;
  }
  std::vector<std::wstring> arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(parts[i]);
  LocalFree(parts);
  return parse_command_line(arguments);
}

std::wstring command_line_help() {
  return L"Pelko_Files [/report FILE] [/json FILE]\n"
         L"\n"
         L"With no switch the report is shown in the window.\n"
         L"\n"
         L"/report FILE\tWrite the report as text (UTF-8) to FILE, with no window.\n"
         L"/json FILE\tWrite the same report as JSON to FILE, with no window.\n"
         L"\t\tFILE - writes to the standard output.\n"
         L"/?\t\tShow this message.\n"
         L"\n"
         L"Exit codes: 0 the report is complete; 1 the report stopped at a failure "
         L"(what was found is still written); 2 wrong switches, or FILE could not "
         L"be written.";
}

}  // namespace tarnwick
