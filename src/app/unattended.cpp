#include "app/unattended.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "common/path_text.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/file_system_win32.h"
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

// The parent's console, for a program typed at a command prompt: a windowed
// program is given no standard handles there, and would print nothing.
// Null when the parent has none.
HANDLE parent_console() {
  static const HANDLE console = [] {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return HANDLE{nullptr};
    const HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    return output == INVALID_HANDLE_VALUE ? HANDLE{nullptr} : output;
  }();
  return console;
}

// The standard output or error the program was given (a pipe, a file), else
// the console it was typed at; null when there is neither.
HANDLE standard_handle(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) return handle;
  return parent_console();
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

// A console gets the text as UTF-16, so that any name shows; a pipe or a
// file gets the UTF-8 bytes as they are.
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

// The form of a full path that the file functions take at any length, so
// that the temporary file beside a target that fits the old path limit
// fits too. Device names ("\\.\NUL") are left as they are.
std::wstring without_length_limit(const std::wstring& full) {
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Puts the written file `temporary` in `target`'s place. An existing file
// is replaced, which keeps its permissions, attributes and creation time; a
// rename over it would give it the new file's.
bool put_in_place(const std::wstring& temporary, const std::wstring& target) {
  if (win32::is_file(target)) {
    if (ReplaceFileW(target.c_str(), temporary.c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
      return true;
    // Gone since it was looked at: it is put in place as a new file.
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  }
  return MoveFileExW(temporary.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// Writes `bytes` to FILE: beside it first, then put in its place, so that a
// reader never sees half a report under FILE's name. "-" is the standard
// output. Raises, saying why, when it cannot.
void write_output(const std::wstring& file, const std::string& bytes) {
  if (file == kStandardStreamName) {
    HANDLE output = standard_handle(STD_OUTPUT_HANDLE);
    if (output == nullptr)
      throw SystemError(ERROR_INVALID_HANDLE, "Output", "The program was given no standard output");
    if (!write_text(output, bytes))
      throw win32::last_error("Output", "The standard output does not take the report");
    return;
  }
  const std::wstring full = win32::full_path_name(file);
  if (full.empty()) throw win32::last_error("Output", "The file name is not usable");
  const std::wstring target = without_length_limit(full);
  // A short name in the same folder: the rename stays on one volume, and a
  // target name near the length a folder entry may have leaves room for it.
  const std::wstring beside = std::wstring(folder_part(target)) + L"\\~tarnwick" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
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
  if (!put_in_place(beside, target)) {
    const SystemError error = win32::last_error("Output", "The file cannot be put in place");
    DeleteFileW(beside.c_str());
    throw error;
  }
}

// One output; false, after saying why on the standard error, when it failed.
bool write_requested(const std::wstring& file, const std::string& bytes, const char* what) {
  try {
    write_output(file, bytes);
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
      UnattendedWindowSystem::tell(to_utf8(command_line.error) + "; /? lists the switches");
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
                                 to_stream ? text : kByteOrderMark + text, "report");
    }
    if (command_line.json_file) {
      whatsnew.find_copies();
      const ReportFacts& facts = whatsnew.facts();
      written &= write_requested(*command_line.json_file,
                                 report_json(facts, win32::utc_offset_minutes(facts.time)),
                                 "JSON report");
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
