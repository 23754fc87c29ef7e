#include "app/load_probe_helper.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdlib.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "platform/win32/load_probe_win32.h"
#include "platform/win32/utf16.h"

namespace tarnwick {

namespace protocol = win32::load_probe_protocol;

namespace {

// A library that faults outside every handler ends the helper at once,
// quietly: no debugger, no crash box. The program counts the question lost.
LONG WINAPI end_quietly(EXCEPTION_POINTERS* exception) {
  TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

bool can_load(const std::string& name) {
  HMODULE module = LoadLibraryW(win32::to_wide(name).c_str());
  if (module == nullptr) return false;
  FreeLibrary(module);
  return true;
}

// Loads the component library as the program would and asks its version;
// "yes" means only that the call came back. The library stays loaded: the
// helper ends soon, and unloading is one more piece of foreign code to run.
bool component_answers() {
  HMODULE module = LoadLibraryW(L"KTR_Intel_Win32.dll");
  if (module == nullptr) return false;
  using Query = void(WINAPI*)(std::int32_t*, std::int32_t*, std::int32_t*);
  auto query =
      reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(module, "KTR_DLL_VERSION")));
  if (query == nullptr) return false;
  std::int32_t bytes = 0, major = 0, minor = 0;
  query(&bytes, &major, &minor);
  return true;
}

bool write_line(HANDLE output, const std::string& text) {
  const std::string line = text + "\n";
  DWORD written = 0;
  return WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

// Takes the pipes to the program out of reach of the libraries under test:
// the conversation goes on private copies, and the standard handles, the
// system's and the C runtime's, lead nowhere. A library that writes to its
// standard output or reads its input while it loads, as some debug builds
// do, would otherwise put words in the helper's mouth or take the program's.
bool take_conversation(HANDLE& input, HANDLE& output) {
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, GetStdHandle(STD_INPUT_HANDLE), self, &input, 0, FALSE,
                       DUPLICATE_SAME_ACCESS) ||
      !DuplicateHandle(self, GetStdHandle(STD_OUTPUT_HANDLE), self, &output, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return false;
  const int nowhere = _open("NUL", _O_RDWR | _O_BINARY);
  if (nowhere >= 0) {
    for (int fd = 0; fd <= 2; ++fd) _dup2(nowhere, fd);
    _close(nowhere);
  }
  const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
    SetStdHandle(which, nul);
  return true;
}

}  // namespace

bool is_load_probe_helper(const wchar_t* command_line) {
  if (command_line == nullptr) return false;
  const std::size_t length = std::wcslen(command_line);
  const std::size_t switch_length = std::wcslen(win32::kLoadProbeHelperSwitch);
  std::size_t end = length;
  while (end > 0 && command_line[end - 1] == L' ') --end;
  return end >= switch_length + 1 && command_line[end - switch_length - 1] == L' ' &&
         std::wcsncmp(command_line + end - switch_length, win32::kLoadProbeHelperSwitch,
                      switch_length) == 0;
}

int run_load_probe_helper() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(end_quietly);
  // A library whose C runtime aborts must not leave a box on the screen
  // waiting for a click: the runtime is shared, so this reaches it too.
  _set_error_mode(_OUT_TO_STDERR);

  HANDLE input = nullptr, output = nullptr;
  if (!take_conversation(input, output)) return 1;
  if (!write_line(output, protocol::kReady)) return 1;

  std::string received;
  char chunk[512];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(input, chunk, sizeof(chunk), &read, nullptr) || read == 0) return 0;
    received.append(chunk, read);
    for (std::size_t end; (end = received.find('\n')) != std::string::npos;) {
      std::string request = received.substr(0, end);
      received.erase(0, end + 1);
      if (!request.empty() && request.back() == '\r') request.pop_back();
      bool yes = false;
      const std::string load = protocol::kLoad;
      if (request.compare(0, load.size(), load) == 0)
        yes = can_load(request.substr(load.size()));
      else if (request == protocol::kComponent)
        yes = component_answers();
      if (!write_line(output, yes ? protocol::kYes : protocol::kNo)) return 1;
    }
  }
}

}  // namespace tarnwick
