#include "platform/win32/lazy_binding.h"

#include "platform/win32/system_library.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

FARPROC LazyLibrary::entry_point(const char* name) {
  const std::string library = to_utf8(file_name_);
  if (module_ == nullptr) {
    module_ = search_ == LibrarySearch::kSystemFolder ? load_system_library(file_name_)
                                                      : LoadLibraryW(file_name_);
    if (module_ == nullptr) throw last_error(library, "File not found: " + library);
  }
  FARPROC proc = GetProcAddress(module_, name);
  if (proc == nullptr)
    throw last_error(library, std::string("Can't find DLL entry point ") + name +
                                  " in " + library);
  return proc;
}

}  // namespace tarnwick::win32
