#include "platform/win32/error_win32.h"

#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

std::string system_message(DWORD code) {
  wchar_t* message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::string text;
  if (length != 0 && message != nullptr) {
    text = to_utf8(std::wstring_view(message, length));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
      text.pop_back();
  }
  if (message != nullptr) LocalFree(message);
  return text;
}

SystemError last_error(const std::string& source, const std::string& what) {
  const DWORD code = GetLastError();
  std::string reason = system_message(code);
  if (reason.empty()) {
    reason = "error ";
    reason += std::to_string(code);
  }
  return SystemError(static_cast<long>(code), source, what + ": " + reason);
}

}  // namespace tarnwick::win32
