#include "platform/win32/error_win32.h"

#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

SystemError last_error(const std::string& source, const std::string& what) {
  const DWORD code = GetLastError();
  wchar_t* message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::string reason;
  if (length != 0 && message != nullptr) {
    reason = to_utf8(std::wstring_view(message, length));
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' '))
      reason.pop_back();
  }
  if (message != nullptr) LocalFree(message);
  if (reason.empty()) reason = "error " + std::to_string(code);
  return SystemError(static_cast<long>(code), source, what + ": " + reason);
}

}  // namespace tarnwick::win32
