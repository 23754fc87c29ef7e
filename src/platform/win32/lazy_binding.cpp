#include "platform/win32/lazy_binding.h"

#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

FARPROC LazyLibrary::entry_point(const char* name) {
  const std::string library = to_utf8(file_name_);
  if (module_ == nullptr) {
    module_ = LoadLibraryW(file_name_);
    if (module_ == nullptr) throw last_error(library, library + " cannot be loaded");
  }
  FARPROC proc = GetProcAddress(module_, name);
  if (proc == nullptr)
    throw last_error(library, library + " has no entry point " + name);
  return proc;
}

}  // namespace tarnwick::win32
