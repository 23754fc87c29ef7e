#include "probe/helper_win32.h"

#include <stdlib.h>

#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

#include "probe/load_attempt_win32.h"
#include "probe/protocol.h"

namespace tarnwick::win32 {

namespace {

struct HelperEnds {
  HANDLE input;
  HANDLE output;
  HANDLE program;
};

// The handle values after the switch, which must end the command line.
std::optional<HelperEnds> helper_ends(const wchar_t* command_line) {
  if (command_line == nullptr) return std::nullopt;
  const std::wstring key = std::wstring(L" ") + kHelperSwitch + L" ";
  const std::wstring_view line(command_line);
  const std::size_t at = line.rfind(key);
  if (at == std::wstring_view::npos) return std::nullopt;
  const wchar_t* next = command_line + at + key.size();
  std::uintptr_t values[3] = {};
  for (std::uintptr_t& value : values) {
    while (*next == L' ') ++next;
    if (*next < L'0' || *next > L'9') return std::nullopt;
    wchar_t* end = nullptr;
    value = static_cast<std::uintptr_t>(std::wcstoull(next, &end, 10));
    next = end;
  }
  while (*next == L' ') ++next;
  if (*next != L'\0') return std::nullopt;
  return HelperEnds{reinterpret_cast<HANDLE>(values[0]), reinterpret_cast<HANDLE>(values[1]),
                    reinterpret_cast<HANDLE>(values[2])};
}

// Ends the helper where it stands: no library's unload code runs.
int end_now(UINT code) {
  TerminateProcess(GetCurrentProcess(), code);
  return static_cast<int>(code);
}

// A library that faults outside every handler ends the helper at once,
// quietly: no debugger, no crash box. The program counts the question lost.
LONG WINAPI end_quietly(EXCEPTION_POINTERS* exception) {
  end_now(exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

// The helper ends with its program even where the program's job could not
// take it in.
DWORD WINAPI end_with_program(void* program) {
  if (WaitForSingleObject(static_cast<HANDLE>(program), INFINITE) == WAIT_OBJECT_0)
    end_now(kHelperEndedWithProgram);
  return 0;
}

// One line of the helper's, on a line of its own whatever a library wrote
// before it; a helper that cannot be heard any more ends.
void say(HANDLE output, const std::string& text) {
  const std::string line = "\n" + text + "\n";
  DWORD written = 0;
  if (!WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size())
    end_now(1);
}

// The next line the program wrote; the helper's end when its input closes.
std::string next_line(HANDLE input, probe::LineReader& reader) {
  for (;;) {
    if (std::optional<std::string> line = reader.next()) return std::move(*line);
    char chunk[4096];
    DWORD read = 0;
    if (!ReadFile(input, chunk, sizeof(chunk), &read, nullptr) || read == 0) end_now(0);
    reader.feed(std::string_view(chunk, read));
  }
}

void answer(HANDLE output, const std::string& token, const probe::Request& request) {
  if (request.ask == probe::Ask::component) {
    LoadAnswer called;
    called.loads = component_answers_here();
    say(output, probe::answer_line(token, request.id, called));
    say(output, probe::done_line(token, request.id, {}));
    return;
  }
  const LoadDetails why = attempt_load(request.name, [&](const LoadAnswer& loaded) {
    say(output, probe::answer_line(token, request.id, loaded));
  });
  say(output, probe::done_line(token, request.id, why));
}

}  // namespace

bool is_load_probe_helper(const wchar_t* command_line) {
  return helper_ends(command_line).has_value();
}

int run_load_probe_helper() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(end_quietly);
  // A library whose C runtime aborts must not leave a box on the screen
  // waiting for a click: the runtime is shared, so this reaches it too.
  _set_error_mode(_OUT_TO_STDERR);

  const std::optional<HelperEnds> ends = helper_ends(GetCommandLineW());
  if (!ends) return 1;
  // Inherited so that this process has them; no process a library starts
  // from here may, or a helper's death would go unseen while it lives. The
  // helper's standard handles are none: a library that talks on them while
  // it loads is heard by nobody.
  for (HANDLE handle : {ends->input, ends->output, ends->program})
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  if (HANDLE watch = CreateThread(nullptr, 0, end_with_program, ends->program, 0, nullptr))
    CloseHandle(watch);

  probe::LineReader reader;
  // The program's first line is the secret that signs every line of ours.
  const std::string token = next_line(ends->input, reader);
  say(ends->output, probe::greeting_line(token));
  for (;;) {
    const std::string line = next_line(ends->input, reader);
    if (const std::optional<probe::Request> request = probe::read_request(line))
      answer(ends->output, token, *request);
  }
}

}  // namespace tarnwick::win32
