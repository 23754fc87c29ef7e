// The start-up floor: the work any report of this kind cannot avoid, done
// plainly and once. It loads the component library and asks its version,
// tries each table name as the report does (already loaded? can it be
// loaded?), lists its own modules, puts the whole text into one RichEdit in
// one write and shows the window. The start-up benchmark compares
// Pelko_Files.exe with it.
//
// Built with SAFE_FLOOR it is the safe floor: the plain floor plus the least
// that protecting the program from foreign code costs. At its first
// instruction it starts a kernel32-only helper (safe_floor_helper.c) that
// loads and asks the component and tries the names it has not loaded itself
// while this process makes its window; then it loads the component itself,
// takes the helper's answers for the names it has not loaded, and ends the
// helper at once.

#include <windows.h>
#include <psapi.h>
#include <richedit.h>

#include <cstdint>
#include <string>
#include <vector>

#include "report/system_files.h"

namespace {

using VersionFn = void WINAPI(std::int32_t*, std::int32_t*, std::int32_t*);

std::wstring widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

#ifdef SAFE_FLOOR
// The helper and the two ends of its pipes that stay here.
struct Helper {
  HANDLE process = nullptr;
  HANDLE answers = nullptr;

  // Starts the helper beside this program and hands it every table name.
  void start() {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE helper_input = nullptr, questions = nullptr, helper_output = nullptr;
    if (!CreatePipe(&helper_input, &questions, &inheritable, 0)) return;
    if (!CreatePipe(&answers, &helper_output, &inheritable, 0)) return;
    SetHandleInformation(questions, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(answers, HANDLE_FLAG_INHERIT, 0);
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring program = own;
    program = program.substr(0, program.find_last_of(L'\\') + 1) + L"safe_floor_helper.exe";
    std::wstring command = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = helper_input;
    startup.hStdOutput = helper_output;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &started)) {
      process = started.hProcess;
      CloseHandle(started.hThread);
    }
    CloseHandle(helper_input);
    CloseHandle(helper_output);
    std::string names;
    for (std::string_view name : tarnwick::kSystemFileTable) names.append(name).append("\n");
    DWORD written = 0;
    WriteFile(questions, names.data(), static_cast<DWORD>(names.size()), &written, nullptr);
    CloseHandle(questions);
  }
  // The next answer byte; 'n' when the helper is gone.
  char next() {
    char byte = 'n';
    DWORD read = 0;
    if (answers == nullptr || !ReadFile(answers, &byte, 1, &read, nullptr) || read != 1) return 'n';
    return byte;
  }
  void end() {
    if (process != nullptr) TerminateProcess(process, 0);
  }
};
Helper helper;
#endif

std::wstring build_text() {
  std::wstring text = L"Start-up floor\r\r";
  std::int32_t bytes = 0, major = 0, minor = 0;
#ifdef SAFE_FLOOR
  const bool component_answers = helper.next() == 'y';
#else
  const bool component_answers = true;
#endif
  if (HMODULE component = component_answers ? LoadLibraryW(L"KTR_Intel_Win32.dll") : nullptr) {
    if (auto* version = reinterpret_cast<VersionFn*>(
            reinterpret_cast<void*>(GetProcAddress(component, "KTR_DLL_VERSION"))))
      version(&bytes, &major, &minor);
  }
  text += L"KTR DLL version " + std::to_wstring(major) + L"." + std::to_wstring(minor) + L"\r\r";

  for (std::string_view name : tarnwick::kSystemFileTable) {
    const std::wstring wide = widen(name);
    const wchar_t* state = L"DLL is loaded";
#ifdef SAFE_FLOOR
    const char answer = helper.next();
    if (GetModuleHandleW(wide.c_str()) == nullptr)
      state = answer == 'n' ? L"DLL cannot be loaded" : L"DLL can be loaded";
#else
    if (GetModuleHandleW(wide.c_str()) == nullptr) {
      HMODULE module = LoadLibraryW(wide.c_str());
      state = module != nullptr ? L"DLL can be loaded" : L"DLL cannot be loaded";
      if (module != nullptr) FreeLibrary(module);
    }
#endif
    text += wide + L"    " + state + L"\r";
  }
#ifdef SAFE_FLOOR
  helper.end();
#endif

  text += L"\rProgram Modules\r";
  std::vector<HMODULE> modules(256);
  DWORD needed = 0;
  for (;;) {
    const DWORD bytes_given = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
    if (!EnumProcessModules(GetCurrentProcess(), modules.data(), bytes_given, &needed)) break;
    if (needed <= bytes_given) {
      modules.resize(needed / sizeof(HMODULE));
      break;
    }
    modules.resize(needed / sizeof(HMODULE));
  }
  wchar_t path[MAX_PATH];
  for (HMODULE module : modules) {
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length > 0) text.append(path, length).append(L"\r");
  }
  return text;
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
#ifdef SAFE_FLOOR
  helper.start();
#endif
  LoadLibraryW(L"msftedit.dll");
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = window_procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = L"StartupFloor";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, L"StartupFloor", L"Start-up floor", WS_OVERLAPPEDWINDOW,
                                0, 0, 600, 400, nullptr, nullptr, instance, nullptr);
  HWND box = CreateWindowExW(0, MSFTEDIT_CLASS, L"",
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY,
                             8, 8, 560, 340, window, nullptr, instance, nullptr);
  if (window == nullptr || box == nullptr) return 1;
  SendMessageW(box, EM_EXLIMITTEXT, 0, 16 * 1024 * 1024);
  const std::wstring text = build_text();
  SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  ShowWindow(window, show_command);
  UpdateWindow(window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
