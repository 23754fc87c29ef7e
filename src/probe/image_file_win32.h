#pragma once

#include <windows.h>

#include <dbghelp.h>

#include <cstddef>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/system_calls.h"

namespace tarnwick::win32 {

#if defined(__x86_64__) || defined(_M_AMD64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#elif defined(__aarch64__) || defined(_M_ARM64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_ARM64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

// A longer "name" is not one.
constexpr std::size_t kLongestName = 1024;

const char* machine_name(WORD machine);

// dbghelp's image helpers, loaded from the system folder for one explanation
// and let go after it, so that the process keeps the modules it had: in the
// last-resort load inside the program, its module section is in the report.
class ImageHelpers {
 public:
  ImageHelpers() : library_(load_system_library_for_a_while(L"dbghelp.dll")) {
    if (!library_) return;
    nt_header_ = bind<decltype(ImageNtHeader)>("ImageNtHeader");
    directory_ = bind<decltype(ImageDirectoryEntryToDataEx)>("ImageDirectoryEntryToDataEx");
    rva_to_va_ = bind<decltype(ImageRvaToVa)>("ImageRvaToVa");
  }
  bool ready() const { return nt_header_ && directory_ && rva_to_va_; }

  // Each is called only on bytes already checked to lie inside the file.
  PIMAGE_NT_HEADERS nt_header(const void* base) const;
  const void* directory(const void* base, USHORT entry, ULONG& size) const;
  const void* rva_to_va(PIMAGE_NT_HEADERS nt, const void* base, ULONG rva) const;

 private:
  template <typename Signature>
  Signature* bind(const char* name) {
    return reinterpret_cast<Signature*>(
        reinterpret_cast<void*>(GetProcAddress(library_.get(), name)));
  }

  ScopedLibrary library_;
  decltype(ImageNtHeader)* nt_header_ = nullptr;
  decltype(ImageDirectoryEntryToDataEx)* directory_ = nullptr;
  decltype(ImageRvaToVa)* rva_to_va_ = nullptr;
};

// A whole file, read-only, as one view; shared with other readers and
// writers, so that looking never stands in anybody's way.
class MappedFile {
 public:
  explicit MappedFile(const std::wstring& path);

  // Whether its bytes are at hand (an empty file's are).
  bool read() const { return read_; }
  const unsigned char* bytes() const { return static_cast<const unsigned char*>(view_.get()); }

  // The `length` bytes at `offset`, or null when any of them lies outside.
  const unsigned char* at(std::size_t offset, std::size_t length) const;
  // Whether `length` bytes from `pointer` (say, a helper's answer) all lie
  // inside. Compared as numbers: an address the helpers made by adding a
  // file's lying offset may have wrapped around.
  bool holds(const void* pointer, std::size_t length) const;

 private:
  ScopedHandle file_;
  ScopedHandle mapping_;
  ScopedView view_;
  std::size_t size_ = 0;
  bool read_ = false;
};

// A file's headers and tables as the system's image helpers find them. Each
// header the helpers read is checked to lie inside the file before they are
// asked, and each pointer they give back before it is read.
class ImageFile {
 public:
  enum class Table { absent, unreadable, present };

  ImageFile(const MappedFile& file, const ImageHelpers& helpers);

  // An image header at all; its machine.
  bool image() const { return machine_.has_value(); }
  WORD machine() const { return machine_.value_or(0); }
  // An image this process could load, whose tables are read below.
  bool walkable() const { return nt_ != nullptr; }

  // The table of `entry` (IMAGE_DIRECTORY_ENTRY_...), at least `length`
  // bytes of it inside the file.
  Table table(USHORT entry, std::size_t length, const unsigned char*& start) const;

  // `length` bytes at the relative address `rva`, or null.
  const unsigned char* at_rva(ULONG rva, std::size_t length) const;
  // A pointer to `length` bytes at `pointer` inside the file, or null.
  template <typename T>
  const T* inside(const void* pointer) const {
    return file_.holds(pointer, sizeof(T)) ? static_cast<const T*>(pointer) : nullptr;
  }

  // The text at `rva`, ending before the file does and within a name's length.
  std::optional<std::string> text_at_rva(ULONG rva) const;

 private:
  const MappedFile& file_;
  const ImageHelpers& helpers_;
  std::optional<WORD> machine_;
  PIMAGE_NT_HEADERS nt_ = nullptr;
};

// What one import descriptor names: the library and its entries, by name or
// as "#ordinal".
struct ImportedLibrary {
  std::string name;
  std::vector<std::string> entries;
};

// The libraries a file imports at load time (delayed ones are the program's
// business later), in table order. A table cut short or pointing outside the
// file gives what could be read before the cut.
std::vector<ImportedLibrary> read_imports(const ImageFile& image);

// What a library exports: its names (a forwarded one counts: the system
// follows it) and its ordinals.
struct ExportTable {
  std::unordered_set<std::string> names;
  std::set<unsigned long> ordinals;

  bool has(const std::string& entry) const {
    if (entry.size() > 1 && entry[0] == '#')
      return ordinals.count(std::strtoul(entry.c_str() + 1, nullptr, 10)) != 0;
    return names.count(entry) != 0;
  }
};

// None when the table cannot be read: then nothing is said about the
// library's entries. A library with no table exports nothing.
std::optional<ExportTable> read_exports(const ImageFile& image);

}  // namespace tarnwick::win32
