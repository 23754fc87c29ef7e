#include "app/application_win32.h"

#include <windows.h>

#include <string_view>

#include "common/path_text.h"
#include "common/program_identity.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/kernel32_win32.h"
#include "platform/win32/utf16.h"

namespace tarnwick {

using win32::last_error;
using win32::to_utf8;

namespace {

// The version record's text form, derived from the numbers, so the two
// definitions in program_identity.h cannot drift apart unnoticed.
constexpr bool version_text_matches_numbers() {
  constexpr std::string_view text = TARNWICK_VERSION_TEXT;
  constexpr int numbers[] = {TARNWICK_VERSION_MAJOR, TARNWICK_VERSION_MINOR,
                             TARNWICK_VERSION_REVISION};
  constexpr int widths[] = {1, 2, 4};
  std::size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
    int value = 0;
    int digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      value = value * 10 + (text[at++] - '0');
      ++digits;
    }
    if (value != numbers[part] || digits < widths[part]) return false;
  }
  return at == text.size();
}
static_assert(version_text_matches_numbers(),
              "TARNWICK_VERSION_TEXT must spell the version numbers");

std::wstring module_file_name() {
  std::wstring file = win32::own_file_name();
  if (file.empty()) throw last_error("Application", "The program's file name cannot be read");
  return file;
}

}  // namespace

std::string Win32Application::exe_name() {
  const std::wstring file = module_file_name();
  std::wstring name(file_name_part(file));
  const std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return to_utf8(name);
}

std::string Win32Application::path() {
  const std::wstring file = module_file_name();
  std::wstring folder(folder_part(file));
  // A drive root keeps its backslash: "C:\", not "C:".
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return to_utf8(folder);
}

AppVersion Win32Application::version() {
  return {TARNWICK_VERSION_MAJOR, TARNWICK_VERSION_MINOR, TARNWICK_VERSION_REVISION};
}

}  // namespace tarnwick
