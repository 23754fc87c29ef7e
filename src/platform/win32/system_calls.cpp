#include "platform/win32/system_calls.h"

#include <array>
#include <string>

#include "platform/win32/error_win32.h"
#include "platform/win32/kernel32_win32.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

namespace {

constexpr const wchar_t* kLibraryFiles[] = {L"psapi.dll",    L"version.dll", L"user32.dll",
                                            L"shell32.dll",  L"ntdll.dll",   L"msftedit.dll",
                                            L"riched20.dll", L"comctl32.dll"};
constexpr std::size_t kLibraryCount = std::size(kLibraryFiles);

const wchar_t* file_of(SystemLibrary library) {
  return kLibraryFiles[static_cast<std::size_t>(library)];
}

std::string name_of(SystemLibrary library) { return to_utf8(file_of(library)); }

HMODULE load_from_system_folder(const wchar_t* file_name) {
  if (HMODULE module = LoadLibraryExW(file_name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    return module;
  // Systems without the search flags (Windows 7 before its update) refuse
  // the flag itself; a full path in the system folder means the same there.
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  const std::wstring folder = system_folder();
  if (folder.empty()) return nullptr;
  const std::wstring path = folder + L"\\" + file_name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

struct LoadedLibrary {
  std::once_flag loaded;
  HMODULE module = nullptr;
  DWORD error = ERROR_SUCCESS;
};

std::array<LoadedLibrary, kLibraryCount>& loaded_libraries() {
  static std::array<LoadedLibrary, kLibraryCount> libraries;
  return libraries;
}

}  // namespace

HMODULE system_library(SystemLibrary library) {
  LoadedLibrary& entry = loaded_libraries()[static_cast<std::size_t>(library)];
  std::call_once(entry.loaded, [&] {
    entry.module = load_from_system_folder(file_of(library));
    if (entry.module == nullptr) entry.error = GetLastError();
  });
  if (entry.module == nullptr) SetLastError(entry.error);
  return entry.module;
}

FARPROC SystemEntryPoint::find() {
  std::call_once(looked_up_, [&] {
    HMODULE module = system_library(library_);
    if (module != nullptr) address_ = GetProcAddress(module, name_);
    if (address_ == nullptr) missing_error_ = GetLastError();
  });
  if (address_ == nullptr) SetLastError(missing_error_);
  return address_;
}

FARPROC SystemEntryPoint::require() {
  if (FARPROC address = find()) return address;
  const std::string library = name_of(library_);
  if (system_library(library_) == nullptr)
    throw last_error(library, "The system library " + library + " cannot be loaded");
  SetLastError(missing_error_);
  throw last_error(library, library + " has no entry point " + name_);
}

namespace system_calls {
#define TARNWICK_DEFINE_SYSTEM_CALL(library, name, ...) \
  SystemCall<__VA_ARGS__> name{SystemLibrary::library, #name};
TARNWICK_SYSTEM_CALLS(TARNWICK_DEFINE_SYSTEM_CALL)
#undef TARNWICK_DEFINE_SYSTEM_CALL
}  // namespace system_calls

}  // namespace tarnwick::win32
