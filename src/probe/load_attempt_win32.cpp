#include "probe/load_attempt_win32.h"

#include <windows.h>

#include <cstdint>
#include <exception>

#include "platform/win32/component_win32.h"
#include "platform/win32/error_win32.h"
#include "platform/win32/kernel32_win32.h"
#include "probe/explanation.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

LoadDetails attempt_load(const std::string& name,
                         const std::function<void(const LoadAnswer&)>& answered) {
  const std::wstring wide_name = to_wide(name);
  const HMODULE module = LoadLibraryW(wide_name.c_str());
  const DWORD error = GetLastError();
  LoadAnswer answer;
  if (module == nullptr) {
    answer.details.error = error;
    answer.details.message = system_message(error);
    answered(answer);
    // The file's own analysis (its machine, what it cannot resolve) belongs
    // to the side that made the attempt.
    LoadDetails why = answer.details;
    explain_failed_load(wide_name, error, why);
    return why;
  }
  answer.loads = true;
  answer.details.loaded_from = to_utf8(module_file_name(module));
  answered(answer);
  FreeLibrary(module);
  return {};
}

LoadAnswer load_here(const std::string& name) {
  LoadAnswer answer;
  LoadDetails why = attempt_load(name, [&](const LoadAnswer& first) { answer = first; });
  if (!answer.loads) answer.details = std::move(why);
  return answer;
}

bool component_answers_here() {
  Win32ComponentLibrary component;
  std::int32_t bytes = 0, major = 0, minor = 0;
  try {
    component.KTR_DLL_VERSION(&bytes, &major, &minor);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace tarnwick::win32
