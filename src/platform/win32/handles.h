#pragma once

#include <windows.h>

#include <utility>

namespace tarnwick::win32 {

// One owner for a Win32 handle: released once, when the owner goes or takes
// another. `Traits` says which values mean "none" and how to release.
template <typename Handle, typename Traits>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, Handle{});
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return Traits::valid(handle_); }
  void reset() {
    if (Traits::valid(handle_)) Traits::release(handle_);
    handle_ = Handle{};
  }
  // Gives the handle up to a new owner, such as the system.
  Handle release() { return std::exchange(handle_, Handle{}); }

 private:
  Handle handle_{};
};

// Kernel handles come back as NULL or INVALID_HANDLE_VALUE, depending on the
// call, when there is none.
struct KernelHandleTraits {
  static bool valid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  static void release(HANDLE handle) { CloseHandle(handle); }
};

struct FontTraits {
  static bool valid(HFONT font) { return font != nullptr; }
  static void release(HFONT font) { DeleteObject(font); }
};

struct LibraryTraits {
  static bool valid(HMODULE module) { return module != nullptr; }
  static void release(HMODULE module) { FreeLibrary(module); }
};

struct GlobalMemoryTraits {
  static bool valid(HGLOBAL memory) { return memory != nullptr; }
  static void release(HGLOBAL memory) { GlobalFree(memory); }
};

struct ViewTraits {
  static bool valid(const void* view) { return view != nullptr; }
  static void release(const void* view) { UnmapViewOfFile(view); }
};

using ScopedHandle = Owned<HANDLE, KernelHandleTraits>;
using ScopedFont = Owned<HFONT, FontTraits>;
using ScopedLibrary = Owned<HMODULE, LibraryTraits>;
using GlobalMemory = Owned<HGLOBAL, GlobalMemoryTraits>;
// A view of a file mapping.
using ScopedView = Owned<const void*, ViewTraits>;

}  // namespace tarnwick::win32
