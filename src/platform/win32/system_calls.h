#pragma once

// Every entry point of a system library that the program binds at run time,
// in one table, so that where the program reaches past its static imports
// can be read in one place. The libraries come from the system folder only,
// never by the search that starts in the program's folder: a library of that
// name planted beside the program (in a downloads folder, say) must not run.
//
// An entry point is looked up the first time it is asked for, and the answer
// is kept either way: a required one that is missing fails each call that
// needs it with the system's error, without asking again; an optional one,
// which older systems lack, is found absent once and the caller takes its
// other way.

#include <windows.h>
#include <commctrl.h>

#include <mutex>

namespace tarnwick::win32 {

// The system libraries the program loads at run time.
enum class SystemLibrary { psapi, version, user32, shell32, ntdll, msftedit, riched20, comctl32 };

// The library, loaded on first need and kept for the process's life; null,
// with the system's error, when it cannot be loaded.
HMODULE system_library(SystemLibrary library);

// One entry point of a system library, looked up once.
class SystemEntryPoint {
 public:
  constexpr SystemEntryPoint(SystemLibrary library, const char* name)
      : library_(library), name_(name) {}
  SystemEntryPoint(const SystemEntryPoint&) = delete;
  SystemEntryPoint& operator=(const SystemEntryPoint&) = delete;

  // The entry point, or null when the system lacks it.
  FARPROC find();
  // The entry point; raises, with the system's error, when it is missing.
  FARPROC require();

 private:
  SystemLibrary library_;
  const char* name_;
  std::once_flag looked_up_;
  FARPROC address_ = nullptr;
  DWORD missing_error_ = ERROR_SUCCESS;
};

template <typename Signature>
class SystemCall : public SystemEntryPoint {
 public:
  using SystemEntryPoint::SystemEntryPoint;

  // Null when the system lacks it: for entry points the program can do
  // without.
  Signature* find() { return cast(SystemEntryPoint::find()); }
  // Calls it; raises when the system lacks it.
  template <typename... Args>
  auto operator()(Args... args) {
    return cast(require())(args...);
  }

 private:
  static Signature* cast(FARPROC address) {
    return reinterpret_cast<Signature*>(reinterpret_cast<void*>(address));
  }
};

// The table: library, entry point, signature.
#define TARNWICK_SYSTEM_CALLS(X)                                                          \
  /* The process listing. */                                                            \
  X(psapi, EnumProcessModules, BOOL WINAPI(HANDLE, HMODULE*, DWORD, DWORD*))            \
  X(psapi, GetModuleFileNameExW, DWORD WINAPI(HANDLE, HMODULE, LPWSTR, DWORD))          \
  /* The file version. */                                                               \
  X(version, GetFileVersionInfoSizeW, DWORD WINAPI(LPCWSTR, LPDWORD))                   \
  X(version, GetFileVersionInfoW, BOOL WINAPI(LPCWSTR, DWORD, DWORD, LPVOID))           \
  X(version, VerQueryValueW, BOOL WINAPI(LPCVOID, LPCWSTR, LPVOID*, PUINT))             \
  /* Per-window DPI, Windows 10 1607 and later: optional. */                            \
  X(user32, GetDpiForWindow, UINT WINAPI(HWND))                                         \
  X(user32, AdjustWindowRectExForDpi, BOOL WINAPI(LPRECT, DWORD, BOOL, DWORD, UINT))    \
  /* Common controls 6 for themed buttons, which the manifest selects. Bound late, so  \
     that the load-probe helper, the same program, starts without them. */            \
  X(comctl32, InitCommonControlsEx, BOOL WINAPI(const INITCOMMONCONTROLSEX*))           \
  /* The command line, split by the system's own rules. */                              \
  X(shell32, CommandLineToArgvW, LPWSTR* WINAPI(LPCWSTR, int*))                         \
  /* The known libraries' sections, for the explanation of a failed load. */            \
  X(ntdll, NtOpenSection, LONG NTAPI(PHANDLE, ACCESS_MASK, PVOID))                       \
  /* The process environment block, which holds the API set map's address. */          \
  X(ntdll, NtQueryInformationProcess, LONG NTAPI(HANDLE, ULONG, PVOID, ULONG, PULONG))

namespace system_calls {
#define TARNWICK_DECLARE_SYSTEM_CALL(library, name, ...) extern SystemCall<__VA_ARGS__> name;
TARNWICK_SYSTEM_CALLS(TARNWICK_DECLARE_SYSTEM_CALL)
#undef TARNWICK_DECLARE_SYSTEM_CALL
}  // namespace system_calls

}  // namespace tarnwick::win32
