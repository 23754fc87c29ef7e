// Times program starts under one Wine server: from just before CreateProcess
// until the started process has a visible top-level window, then closes it
// and waits for it to end before the next start.
//
//   start_timer.exe RUNS PATH_FOLDER CURRENT_FOLDER PROGRAM...
//
// The programs start alternately, RUNS times each, with PATH set to
// PATH_FOLDER and the system folder. One line per start on standard output:
// "<program index> <milliseconds>". A message box instead of a window, or no
// window within ten minutes, ends the timing with exit code 1.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Search {
  DWORD process_id = 0;
  HWND window = nullptr;
  bool message_box = false;
};

BOOL CALLBACK find_window(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id || !IsWindowVisible(window)) return TRUE;
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  if (std::wcscmp(class_name, L"#32770") == 0) {
    search->message_box = true;
    return TRUE;
  }
  search->window = window;
  return FALSE;
}

double milliseconds_since(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 /
         static_cast<double>(frequency.QuadPart);
}

// Milliseconds until the window shows; negative when it never does.
double time_start(const std::wstring& program, const std::wstring& current_folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + program + L"\"";
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      current_folder.c_str(), &startup, &process)) {
    std::fwprintf(stderr, L"cannot start %ls (error %lu)\n", program.c_str(), GetLastError());
    return -1;
  }
  Search search;
  search.process_id = process.dwProcessId;
  double elapsed = -1;
  for (;;) {
    EnumWindows(find_window, reinterpret_cast<LPARAM>(&search));
    if (search.window != nullptr) {
      elapsed = milliseconds_since(start);
      break;
    }
    if (search.message_box) {
      std::fwprintf(stderr, L"%ls showed a message box\n", program.c_str());
      break;
    }
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
      std::fwprintf(stderr, L"%ls ended without a window\n", program.c_str());
      break;
    }
    if (milliseconds_since(start) > 600000) {
      std::fwprintf(stderr, L"%ls showed no window in ten minutes\n", program.c_str());
      break;
    }
    Sleep(1);
  }
  if (search.window != nullptr) PostMessageW(search.window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, 1);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return elapsed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) {
    std::fwprintf(stderr, L"usage: start_timer RUNS PATH_FOLDER CURRENT_FOLDER PROGRAM...\n");
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  wchar_t system[MAX_PATH + 1] = {};
  GetSystemDirectoryW(system, MAX_PATH + 1);
  const std::wstring path = std::wstring(argv[2]) + L";" + system + L";";
  SetEnvironmentVariableW(L"PATH", path.c_str());
  const std::vector<std::wstring> programs(argv + 4, argv + argc);
  for (int run = 0; run < runs; ++run) {
    for (std::size_t i = 0; i < programs.size(); ++i) {
      const double ms = time_start(programs[i], argv[3]);
      if (ms < 0) return 1;
      std::printf("%zu %.1f\n", i, ms);
      std::fflush(stdout);
    }
  }
  return 0;
}
