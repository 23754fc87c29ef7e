#include "platform/win32/kernel32_win32.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/error_win32.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

namespace {

// The longest path the system's wide entry points can hand out.
constexpr DWORD kLongestPath = 32768;

// Calls a query that reports the size it needs, growing the buffer until the
// answer fits. `query(buffer, capacity)` returns the length it stored, or the
// size it needs (terminator included) when the buffer was too small.
template <typename Query>
std::wstring grow_and_query(Query query) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD result = query(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (result < buffer.size()) {
      buffer.resize(result);
      return buffer;
    }
    buffer.resize(result);
  }
}

SYSTEMTIME to_system_time(const LocalTime& time) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(time.year);
  st.wMonth = static_cast<WORD>(time.month);
  st.wDay = static_cast<WORD>(time.day);
  st.wHour = static_cast<WORD>(time.hour);
  st.wMinute = static_cast<WORD>(time.minute);
  st.wSecond = static_cast<WORD>(time.second);
  return st;
}

}  // namespace

ModuleHandle Win32Kernel32::module_handle(const std::string& name) {
  return reinterpret_cast<ModuleHandle>(GetModuleHandleW(to_wide(name).c_str()));
}

std::string Win32Kernel32::module_path(ModuleHandle module) {
  return module == 0 ? std::string() : to_utf8(module_file_name(reinterpret_cast<HMODULE>(module)));
}

ProcessHandle Win32Kernel32::open_process(std::uint32_t access, bool inherit,
                                          std::uint32_t process_id) {
  // A real handle to this very process makes the process status functions
  // read its module list through the cross-process path, entry by entry,
  // which Wine pays for with a server round trip per read. The pseudo handle
  // lets them walk the loader's list in place.
  if (process_id == GetCurrentProcessId())
    return reinterpret_cast<ProcessHandle>(GetCurrentProcess());
  return reinterpret_cast<ProcessHandle>(
      OpenProcess(access, inherit ? TRUE : FALSE, process_id));
}

void Win32Kernel32::close_handle(ProcessHandle handle) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  if (h != GetCurrentProcess()) CloseHandle(h);
}

std::uint32_t Win32Kernel32::current_process_id() { return GetCurrentProcessId(); }

std::int32_t Win32Kernel32::platform_id() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  // Deprecated for version numbers, which it may misstate; the platform
  // identifier it gives is still true.
#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  const BOOL answered = GetVersionExW(&info);
#if defined(_MSC_VER)
#pragma warning(pop)
#elif defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  if (!answered) return 0;
  return static_cast<std::int32_t>(info.dwPlatformId);
}

std::string Win32Kernel32::environment_variable(const std::string& name) {
  const std::wstring wide_name = to_wide(name);
  const std::wstring value = grow_and_query([&](wchar_t* buffer, DWORD capacity) {
    return GetEnvironmentVariableW(wide_name.c_str(), buffer, capacity);
  });
  return to_utf8(value);
}

std::string Win32Kernel32::current_directory() {
  const std::wstring folder = grow_and_query([](wchar_t* buffer, DWORD capacity) {
    const DWORD result = GetCurrentDirectoryW(capacity, buffer);
    if (result == 0) throw last_error("kernel32", "The current folder cannot be read");
    return result;
  });
  return to_utf8(folder);
}

LocalTime Win32Kernel32::local_time() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::string Win32Kernel32::short_date(const LocalTime& time) {
  const SYSTEMTIME st = to_system_time(time);
  wchar_t buffer[128] = {};
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 128) == 0)
    throw last_error("kernel32", "The date cannot be formatted");
  return to_utf8(buffer);
}

std::string Win32Kernel32::long_time(const LocalTime& time) {
  const SYSTEMTIME st = to_system_time(time);
  wchar_t buffer[128] = {};
  if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, 128) == 0)
    throw last_error("kernel32", "The time cannot be formatted");
  return to_utf8(buffer);
}

std::wstring module_file_name(HMODULE module, HANDLE process) {
  // Only the pseudo handle names this process without a question to the
  // system per module; a real handle to it still reads the same paths.
  const bool own = process == nullptr || process == GetCurrentProcess();
  // The query cuts a path that does not fit short and says only how much it
  // stored: a full buffer is asked again with twice the room.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = own ? GetModuleFileNameW(module, buffer.data(), size)
                             : system_calls::GetModuleFileNameExW(process, module,
                                                                  buffer.data(), size);
    if (length == 0) return {};
    if (length < size - 1 || size >= kLongestPath) {
      buffer.resize(std::min(length, size));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring own_file_name() { return module_file_name(nullptr); }

std::wstring system_folder() { return grow_and_query(GetSystemDirectoryW); }

std::wstring windows_folder() { return grow_and_query(GetWindowsDirectoryW); }

std::wstring full_path_name(const std::wstring& file) {
  return grow_and_query([&](wchar_t* buffer, DWORD capacity) {
    return GetFullPathNameW(file.c_str(), capacity, buffer, nullptr);
  });
}

std::wstring short_path_name(const std::wstring& file) {
  return grow_and_query([&](wchar_t* buffer, DWORD capacity) {
    return GetShortPathNameW(file.c_str(), buffer, capacity);
  });
}

int utc_offset_minutes(const LocalTime& time) {
  SYSTEMTIME local = to_system_time(time);
  SYSTEMTIME utc{};
  FILETIME local_file{}, utc_file{};
  if (TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) &&
      SystemTimeToFileTime(&local, &local_file) && SystemTimeToFileTime(&utc, &utc_file)) {
    const auto ticks = [](const FILETIME& t) {
      return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                    t.dwLowDateTime);
    };
    constexpr long long kTicksPerMinute = 60LL * 10000000LL;
    return static_cast<int>((ticks(local_file) - ticks(utc_file)) / kTicksPerMinute);
  }
  TIME_ZONE_INFORMATION zone{};
  const DWORD kind = GetTimeZoneInformation(&zone);
  if (kind == TIME_ZONE_ID_INVALID) return 0;
  LONG bias = zone.Bias;
  if (kind == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  return static_cast<int>(-bias);
}

}  // namespace tarnwick::win32
