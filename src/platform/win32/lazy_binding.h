#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/error_win32.h"

namespace tarnwick::win32 {

// A library loaded on first need by its bare name, the system's own search,
// which is what the report describes, and kept loaded for the process's
// life: the component library. The system's libraries are bound through the
// table in system_calls.h instead, from the system folder only.
class LazyLibrary {
 public:
  explicit LazyLibrary(const wchar_t* file_name) : file_name_(file_name) {}
  LazyLibrary(const LazyLibrary&) = delete;
  LazyLibrary& operator=(const LazyLibrary&) = delete;

  // Raises when the library cannot be loaded or lacks the entry point.
  FARPROC entry_point(const char* name);

 private:
  const wchar_t* file_name_;
  HMODULE module_ = nullptr;
};

// One entry point, bound the first time it is called, so a missing library
// or function fails only the call that needs it.
template <typename Signature>
class LazyProc {
 public:
  LazyProc(LazyLibrary& library, const char* name) : library_(library), name_(name) {}

  template <typename... Args>
  auto operator()(Args... args) {
    return bind()(args...);
  }

  // The entry point itself, bound now if it was not yet.
  Signature* bind() {
    if (proc_ == nullptr)
      proc_ = reinterpret_cast<Signature*>(
          reinterpret_cast<void*>(library_.entry_point(name_)));
    return proc_;
  }

 private:
  LazyLibrary& library_;
  const char* name_;
  Signature* proc_ = nullptr;
};

}  // namespace tarnwick::win32
