#include "app/unattended.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "platform/win32/error_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/kernel32_win32.h"
#include "platform/win32/utf16.h"
#include "report/memory_controls.h"
#include "report/report_json.h"
#include "report/report_lines.h"
#include "report/whatsnew.h"

namespace tarnwick {

namespace {

using win32::ScopedHandle;
using win32::to_utf8;
using win32::to_wide;

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

HANDLE standard_handle(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

bool write_all(HANDLE handle, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    DWORD piece = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1 << 20));
    if (!WriteFile(handle, bytes.data() + written, wanted, &piece, nullptr) || piece == 0)
      return false;
    written += piece;
  }
  return true;
}

// Text for a person: a console gets it as UTF-16 so that any name shows;
// a pipe or a file gets UTF-8.
bool write_text(HANDLE handle, const std::string& text) {
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring wide = to_wide(text);
    DWORD written = 0;
    return WriteConsoleW(handle, wide.c_str(), static_cast<DWORD>(wide.size()), &written,
                         nullptr) != FALSE;
  }
  return write_all(handle, text);
}

// Where the user would have seen a message box: the standard error handle,
// when the program was given one, and the JSON document's notices.
class UnattendedWindowSystem : public WindowSystem {
 public:
  void message_box(const std::string& text) override { tell(text); }
  void pump_pending_messages() override {}
  void set_clipboard_text(const std::string&) override {
    throw SystemError(ERROR_INVALID_WINDOW_HANDLE, "Clipboard",
                      "There is no window to own the clipboard");
  }

  static void tell(const std::string& text) {
    if (HANDLE error = standard_handle(STD_ERROR_HANDLE))
      write_text(error, with_crlf_line_breaks(std::string(kApplicationTitle) + ": " + text + "\n"));
  }
};

// Writes `bytes` to FILE: beside it first, then renamed over it, so that a
// reader never sees half a report under FILE's name. "-" is the standard
// output handle. Raises, saying why, when it cannot.
void write_output(const std::wstring& file, const std::string& bytes, bool console_text) {
  if (file == kStandardStreamName) {
    HANDLE output = standard_handle(STD_OUTPUT_HANDLE);
    if (output == nullptr)
      throw SystemError(ERROR_INVALID_HANDLE, "Output", "The program was given no standard output");
    const bool written = console_text ? write_text(output, bytes) : write_all(output, bytes);
    if (!written) throw win32::last_error("Output", "The standard output does not take the report");
    return;
  }
  std::wstring target(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(file.c_str(), static_cast<DWORD>(target.size()),
                                          target.data(), nullptr);
    if (length == 0) throw win32::last_error("Output", "The file name is not usable");
    if (length < target.size()) {
      target.resize(length);
      break;
    }
    target.resize(length);
  }
  const std::wstring beside = target + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  {
    ScopedHandle handle(CreateFileW(beside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) throw win32::last_error("Output", "The file cannot be created");
    if (!write_all(handle.get(), bytes) || !FlushFileBuffers(handle.get())) {
      const SystemError error = win32::last_error("Output", "The file cannot be written");
      handle.reset();
      DeleteFileW(beside.c_str());
      throw error;
    }
  }
  if (!MoveFileExW(beside.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const SystemError error = win32::last_error("Output", "The file cannot be put in place");
    DeleteFileW(beside.c_str());
    throw error;
  }
}

// One output; false, after saying why on the standard error, when it failed.
bool write_requested(const std::wstring& file, const std::string& bytes, const char* what,
                     bool console_text) {
  try {
    write_output(file, bytes, console_text);
    return true;
  } catch (const std::exception& error) {
    UnattendedWindowSystem::tell(std::string("The ") + what + " cannot be written to " +
                                 to_utf8(file) + ": " + error.what());
    return false;
  }
}

}  // namespace

int run_unattended(const CommandLine& command_line, const Platform& real) {
  try {
    if (!command_line.error.empty()) {
      UnattendedWindowSystem::tell(to_utf8(command_line.error) + "\r\n" +
                                   to_utf8(command_line_help()));
      return kNotWritten;
    }
    UnattendedWindowSystem window_system;
    Platform platform{real.kernel32,   real.psapi,    real.version, real.scripting,
                      real.component,  real.load_probe, window_system, real.app};
    MemoryTextBox box;
    MemoryListBox list;
    Whatsnew whatsnew(platform, box, list);
    const bool complete = whatsnew.Form_Load();

    bool written = true;
    if (command_line.report_file) {
      // A file carries its encoding in a byte-order mark; a stream is read
      // as it comes and gets the text alone.
      const bool to_stream = *command_line.report_file == kStandardStreamName;
      const std::string text = with_crlf_line_breaks(box.contents());
      written &= write_requested(*command_line.report_file,
                                 to_stream ? text : kByteOrderMark + text, "report", true);
    }
    if (command_line.json_file) {
      const ReportFacts& facts = whatsnew.facts();
      written &= write_requested(*command_line.json_file,
                                 report_json(facts, win32::utc_offset_minutes(facts.time)),
                                 "JSON report", false);
    }
    if (!written) return kNotWritten;
    return complete ? kReportComplete : kReportStopped;
  } catch (const std::exception& error) {
    UnattendedWindowSystem::tell(error.what());
  } catch (...) {
    UnattendedWindowSystem::tell("The report failed for an unknown reason");
  }
  return kNotWritten;
}

}  // namespace tarnwick
