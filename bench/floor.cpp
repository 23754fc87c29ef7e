// The start-up floor: the work any report of this kind cannot avoid, done
// plainly and once. It loads the component library and asks its version,
// tries each table name as the report does (already loaded? can it be
// loaded?), lists its own modules, puts the whole text into one RichEdit in
// one write and shows the window. The start-up benchmark compares
// Pelko_Files.exe with it.

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

std::wstring build_text() {
  std::wstring text = L"Start-up floor\r\r";
  std::int32_t bytes = 0, major = 0, minor = 0;
  if (HMODULE component = LoadLibraryW(L"KTR_Intel_Win32.dll")) {
    if (auto* version = reinterpret_cast<VersionFn*>(
            reinterpret_cast<void*>(GetProcAddress(component, "KTR_DLL_VERSION"))))
      version(&bytes, &major, &minor);
  }
  text += L"KTR DLL version " + std::to_wstring(major) + L"." + std::to_wstring(minor) + L"\r\r";

  for (std::string_view name : tarnwick::kSystemFileTable) {
    const std::wstring wide = widen(name);
    const wchar_t* state = L"DLL is loaded";
    if (GetModuleHandleW(wide.c_str()) == nullptr) {
      HMODULE module = LoadLibraryW(wide.c_str());
      state = module != nullptr ? L"DLL can be loaded" : L"DLL cannot be loaded";
      if (module != nullptr) FreeLibrary(module);
    }
    text += wide + L"    " + state + L"\r";
  }

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
