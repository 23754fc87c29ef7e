#include "platform/win32/load_diagnosis.h"

#include <windows.h>

#include <dbghelp.h>
#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/win32/error_win32.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/kernel32_win32.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

namespace {

// Bounds of one walk of the imports: a loop of imports, a chain of
// libraries or a table of absurd length ends here, not in the walk's time.
constexpr int kDeepest = 6;                     // levels below the library asked about
constexpr std::size_t kMostFilesWalked = 64;    // libraries whose imports are read
constexpr std::size_t kMostExportTables = 128;  // libraries whose exports are read
constexpr std::size_t kMostImports = 8192;      // entries read from one import table
constexpr std::size_t kMostMissing = 32;
// The walk runs while the program waits for the helper's answer, whose
// patience is 4 s: a long PATH, or a slow folder on it, must not use it up.
constexpr ULONGLONG kWalkBudget = 1500;  // milliseconds
constexpr std::size_t kLongestName = 1024;      // a longer "name" is not one
constexpr LONGLONG kLargestFile = 1LL << 30;

#if defined(__x86_64__) || defined(_M_AMD64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#elif defined(__aarch64__) || defined(_M_ARM64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_ARM64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

const char* machine_name(WORD machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
      return "x86";
    case IMAGE_FILE_MACHINE_AMD64:
      return "x64";
    case 0xAA64:  // IMAGE_FILE_MACHINE_ARM64
      return "arm64";
    case IMAGE_FILE_MACHINE_ARM:
    case IMAGE_FILE_MACHINE_THUMB:
    case IMAGE_FILE_MACHINE_ARMNT:
      return "arm";
    default:
      return "unknown";
  }
}

// The errors of a load that could not resolve what the file imports.
bool is_unresolved_import(unsigned long error) {
  return error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND ||
         error == ERROR_INVALID_ORDINAL || error == ERROR_DLL_NOT_FOUND;
}

// Names and paths compared as the file system compares them.
std::wstring folded(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool starts_with_folded(const std::wstring& text, const wchar_t* prefix) {
  return folded(text.substr(0, std::wcslen(prefix))) == folded(prefix);
}

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
  PIMAGE_NT_HEADERS nt_header(const void* base) const {
    return nt_header_(const_cast<void*>(base));
  }
  const void* directory(const void* base, USHORT entry, ULONG& size) const {
    return directory_(const_cast<void*>(base), FALSE, entry, &size, nullptr);
  }
  const void* rva_to_va(PIMAGE_NT_HEADERS nt, const void* base, ULONG rva) const {
    return rva_to_va_(nt, const_cast<void*>(base), rva, nullptr);
  }

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
  explicit MappedFile(const std::wstring& path) {
    file_ = ScopedHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file_ || !GetFileSizeEx(file_.get(), &size) || size.QuadPart < 0 ||
        size.QuadPart > kLargestFile)
      return;
    size_ = static_cast<std::size_t>(size.QuadPart);
    if (size_ == 0) {
      read_ = true;  // read, and nothing in it
      return;
    }
    mapping_ = ScopedHandle(CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (mapping_) view_ = ScopedView(MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
    read_ = static_cast<bool>(view_);
  }

  // Whether its bytes are at hand (an empty file's are).
  bool read() const { return read_; }
  const unsigned char* bytes() const { return static_cast<const unsigned char*>(view_.get()); }

  // The `length` bytes at `offset`, or null when any of them lies outside.
  const unsigned char* at(std::size_t offset, std::size_t length) const {
    if (!view_ || offset > size_ || length > size_ - offset) return nullptr;
    return bytes() + offset;
  }
  // Whether `length` bytes from `pointer` (say, a helper's answer) all lie
  // inside. Compared as numbers: an address the helpers made by adding a
  // file's lying offset may have wrapped around.
  bool holds(const void* pointer, std::size_t length) const {
    const auto at_address = reinterpret_cast<std::uintptr_t>(pointer);
    const auto start = reinterpret_cast<std::uintptr_t>(bytes());
    return view_ && pointer != nullptr && at_address >= start &&
           at(static_cast<std::size_t>(at_address - start), length) != nullptr;
  }

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

  ImageFile(const MappedFile& file, const ImageHelpers& helpers) : file_(file), helpers_(helpers) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(file.at(0, sizeof(IMAGE_DOS_HEADER)));
    if (dos == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0) return;
    const auto nt_at = static_cast<std::size_t>(dos->e_lfanew);
    constexpr std::size_t kFixed = offsetof(IMAGE_NT_HEADERS, OptionalHeader);
    const unsigned char* headers = file.at(nt_at, kFixed);
    if (headers == nullptr) return;
    PIMAGE_NT_HEADERS nt = helpers.nt_header(file.bytes());
    if (reinterpret_cast<const unsigned char*>(nt) != headers) return;
    machine_ = nt->FileHeader.Machine;
    // The optional header and the section table, which the helpers read to
    // find a table's place in the file.
    const std::size_t optional = nt->FileHeader.SizeOfOptionalHeader;
    const std::size_t sections = nt->FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER);
    if (file.at(nt_at + kFixed, optional) == nullptr ||
        file.at(nt_at + kFixed + optional, sections) == nullptr)
      return;
    if (machine_ == kOwnMachine && optional >= offsetof(IMAGE_OPTIONAL_HEADER, DataDirectory) &&
        nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR_MAGIC)
      nt_ = nt;
  }

  // An image header at all; its machine.
  bool image() const { return machine_.has_value(); }
  WORD machine() const { return machine_.value_or(0); }
  // An image this process could load, whose tables are read below.
  bool walkable() const { return nt_ != nullptr; }

  // The table of `entry` (IMAGE_DIRECTORY_ENTRY_...), at least `length`
  // bytes of it inside the file.
  Table table(USHORT entry, std::size_t length, const unsigned char*& start) const {
    start = nullptr;
    if (!walkable()) return Table::unreadable;
    const std::size_t entries = nt_->OptionalHeader.NumberOfRvaAndSizes;
    const std::size_t needed =
        offsetof(IMAGE_OPTIONAL_HEADER, DataDirectory) + (entry + 1u) * sizeof(IMAGE_DATA_DIRECTORY);
    if (entry >= entries || needed > nt_->FileHeader.SizeOfOptionalHeader) return Table::absent;
    if (nt_->OptionalHeader.DataDirectory[entry].VirtualAddress == 0) return Table::absent;
    ULONG size = 0;
    const void* found = helpers_.directory(file_.bytes(), entry, size);
    if (!file_.holds(found, length)) return Table::unreadable;
    start = static_cast<const unsigned char*>(found);
    return Table::present;
  }

  // `length` bytes at the relative address `rva`, or null.
  const unsigned char* at_rva(ULONG rva, std::size_t length) const {
    if (!walkable() || rva == 0) return nullptr;
    const void* found = helpers_.rva_to_va(nt_, file_.bytes(), rva);
    return file_.holds(found, length) ? static_cast<const unsigned char*>(found) : nullptr;
  }
  // A pointer to `length` bytes at `pointer` inside the file, or null.
  template <typename T>
  const T* inside(const void* pointer) const {
    return file_.holds(pointer, sizeof(T)) ? static_cast<const T*>(pointer) : nullptr;
  }

  // The text at `rva`, ending before the file does and within a name's length.
  std::optional<std::string> text_at_rva(ULONG rva) const {
    const unsigned char* start = at_rva(rva, 1);
    if (start == nullptr) return std::nullopt;
    std::string text;
    for (const unsigned char* c = start; file_.holds(c, 1); ++c) {
      if (*c == 0) return text.empty() ? std::nullopt : std::optional<std::string>(text);
      if (text.size() == kLongestName) break;
      text.push_back(static_cast<char>(*c));
    }
    return std::nullopt;
  }

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
std::vector<ImportedLibrary> read_imports(const ImageFile& image) {
  std::vector<ImportedLibrary> libraries;
  const unsigned char* table = nullptr;
  if (image.table(IMAGE_DIRECTORY_ENTRY_IMPORT, sizeof(IMAGE_IMPORT_DESCRIPTOR), table) !=
      ImageFile::Table::present)
    return libraries;
  std::size_t read = 0;
  for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(table);
       read < kMostImports; ++entry, ++read) {
    const auto* descriptor = image.inside<IMAGE_IMPORT_DESCRIPTOR>(entry);
    if (descriptor == nullptr || descriptor->Name == 0) break;
    const std::optional<std::string> name = image.text_at_rva(descriptor->Name);
    if (!name) continue;
    ImportedLibrary library{*name, {}};
    const ULONG thunks = descriptor->OriginalFirstThunk != 0 ? descriptor->OriginalFirstThunk
                                                             : descriptor->FirstThunk;
    const auto* thunk =
        reinterpret_cast<const IMAGE_THUNK_DATA*>(image.at_rva(thunks, sizeof(IMAGE_THUNK_DATA)));
    for (; thunk != nullptr && read < kMostImports; ++thunk, ++read) {
      const auto* checked = image.inside<IMAGE_THUNK_DATA>(thunk);
      if (checked == nullptr || checked->u1.AddressOfData == 0) break;
      if (IMAGE_SNAP_BY_ORDINAL(checked->u1.Ordinal)) {
        library.entries.push_back("#" + std::to_string(IMAGE_ORDINAL(checked->u1.Ordinal)));
        continue;
      }
      // A hint of two bytes, then the name.
      const auto by_name = static_cast<ULONG>(checked->u1.AddressOfData);
      if (std::optional<std::string> entry_name = image.text_at_rva(by_name + 2))
        library.entries.push_back(*entry_name);
    }
    libraries.push_back(std::move(library));
  }
  return libraries;
}

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
std::optional<ExportTable> read_exports(const ImageFile& image) {
  ExportTable exports;
  const unsigned char* table = nullptr;
  switch (image.table(IMAGE_DIRECTORY_ENTRY_EXPORT, sizeof(IMAGE_EXPORT_DIRECTORY), table)) {
    case ImageFile::Table::absent:
      return exports;
    case ImageFile::Table::unreadable:
      return std::nullopt;
    case ImageFile::Table::present:
      break;
  }
  const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(table);
  constexpr std::size_t kMostOrdinals = 65536;  // ordinals are 16 bits wide
  if (directory->NumberOfFunctions > kMostOrdinals || directory->NumberOfNames > kMostOrdinals)
    return std::nullopt;
  const std::size_t functions = directory->NumberOfFunctions;
  const std::size_t names = directory->NumberOfNames;
  const auto* addresses = reinterpret_cast<const DWORD*>(
      image.at_rva(directory->AddressOfFunctions, functions * sizeof(DWORD)));
  if (functions != 0 && addresses == nullptr) return std::nullopt;
  for (std::size_t i = 0; i < functions; ++i)
    if (addresses[i] != 0) exports.ordinals.insert(directory->Base + static_cast<unsigned long>(i));
  const auto* name_addresses =
      reinterpret_cast<const DWORD*>(image.at_rva(directory->AddressOfNames, names * sizeof(DWORD)));
  if (names != 0 && name_addresses == nullptr) return std::nullopt;
  for (std::size_t i = 0; i < names; ++i)
    if (std::optional<std::string> name = image.text_at_rva(name_addresses[i]))
      exports.names.insert(*name);
  return exports;
}

// A library's own manifest (resource 2), which decides where the system
// takes the side-by-side libraries it imports from; without one, the
// process's own decides.
class ManifestContext {
 public:
  ManifestContext() = default;
  explicit ManifestContext(const std::wstring& path) {
    ACTCTXW context{};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(2);
    handle_ = CreateActCtxW(&context);
  }
  ~ManifestContext() {
    if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
  }
  ManifestContext(const ManifestContext&) = delete;
  ManifestContext& operator=(const ManifestContext&) = delete;

  // Whether `name` comes from an assembly: the library's own manifest's, or
  // failing that the process's (the system's common controls, say).
  bool redirects(const std::wstring& name) const {
    ULONG_PTR cookie = 0;
    const bool active = handle_ != INVALID_HANDLE_VALUE && ActivateActCtx(handle_, &cookie);
    ACTCTX_SECTION_KEYED_DATA data{};
    data.cbSize = sizeof(data);
    const bool found = FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                                name.c_str(), &data) != FALSE;
    if (active) DeactivateActCtx(0, cookie);
    return found;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Where the system takes a library from when a load names it.
struct Resolved {
  enum class Kind {
    missing,   // nowhere the system looks
    supplied,  // the system's own: an API set, an assembly, a known library, one loaded already
    file,      // found by the search; its own imports are looked at in turn
  };
  Kind kind = Kind::missing;
  std::wstring path;  // the file, where there is one to read
};

std::wstring folder_of(const std::wstring& path) {
  const std::size_t end = path.find_last_of(L"\\/");
  return end == std::wstring::npos ? std::wstring() : path.substr(0, end);
}

// The system's search for a library named without a folder, as a load by
// name makes it in this process: side-by-side assemblies, API sets,
// libraries loaded already, the known libraries, then the folders in the
// standard order with safe search on: the program's folder, the system
// folder, the 16-bit system folder, the Windows folder, the current folder,
// PATH's folders.
class SystemSearch {
 public:
  SystemSearch() {
    Win32Kernel32 kernel32;
    folders_.push_back(folder_of(own_file_name()));
    const std::wstring system = system_folder();
    const std::wstring windows = windows_folder();
    system_folder_ = system;
    folders_.push_back(system);
    folders_.push_back(windows.empty() ? windows : windows + L"\\System");
    folders_.push_back(windows);
    folders_.push_back(to_wide(kernel32.current_directory()));
    const std::wstring path = to_wide(kernel32.environment_variable("PATH"));
    for (std::size_t start = 0; start <= path.size();) {
      std::size_t end = path.find(L';', start);
      if (end == std::wstring::npos) end = path.size();
      if (end > start) folders_.push_back(path.substr(start, end - start));
      start = end + 1;
    }
    BOOL wow64 = FALSE;
    known_directory_ = IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? L"\\KnownDlls32\\"
                                                                           : L"\\KnownDlls\\";
  }

  // `context`: the manifest of the library that imports `name`.
  Resolved find(std::wstring name, const ManifestContext& context = ManifestContext()) const {
    // A name without an extension means a library: the system adds ".dll".
    const std::size_t base = name.find_last_of(L"\\/");
    const std::wstring file_part = base == std::wstring::npos ? name : name.substr(base + 1);
    if (file_part.find(L'.') == std::wstring::npos) name += L".dll";
    if (base != std::wstring::npos)
      return is_file(name) ? Resolved{Resolved::Kind::file, name} : Resolved{};
    if (starts_with_folded(name, L"api-ms-") || starts_with_folded(name, L"ext-ms-"))
      return {Resolved::Kind::supplied, {}};
    if (context.redirects(name)) return {Resolved::Kind::supplied, {}};
    // The rest does not depend on who imports the name: each name is searched
    // for once.
    const std::wstring key = folded(name);
    const auto searched = searched_.find(key);
    if (searched != searched_.end()) return searched->second;
    return searched_[key] = search(name);
  }

 private:
  Resolved search(const std::wstring& name) const {
    if (HMODULE loaded = GetModuleHandleW(name.c_str()))
      return {Resolved::Kind::supplied, module_file_name(loaded)};
    if (known(name)) return {Resolved::Kind::supplied, system_folder_ + L"\\" + name};
    for (const std::wstring& folder : folders_) {
      if (folder.empty()) continue;
      std::wstring candidate = folder;
      if (candidate.back() != L'\\' && candidate.back() != L'/') candidate += L'\\';
      candidate += name;
      if (is_file(candidate)) return {Resolved::Kind::file, candidate};
    }
    return {};
  }

  // A known library is one whose section the system keeps under its name.
  bool known(const std::wstring& name) const {
    auto* open_section = system_calls::NtOpenSection.find();
    if (open_section == nullptr) return false;
    std::wstring object = known_directory_ + name;
    if (object.size() > kLongestName) return false;
    UNICODE_STRING text{};
    text.Buffer = object.data();
    text.Length = static_cast<USHORT>(object.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(attributes);
    attributes.ObjectName = &text;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    HANDLE section = nullptr;
    if (open_section(&section, SECTION_QUERY, &attributes) < 0) return false;
    CloseHandle(section);
    return true;
  }

  std::vector<std::wstring> folders_;
  std::wstring system_folder_;
  std::wstring known_directory_;
  mutable std::unordered_map<std::wstring, Resolved> searched_;
};

// Walks the imports of the file the system would take for `name`, level by
// level, and lists what none of the places the system looks can give.
class ImportWalk {
 public:
  ImportWalk(const SystemSearch& search, const ImageHelpers& helpers, LoadDetails& details)
      : search_(search), helpers_(helpers), details_(details) {}

  void run(const std::wstring& name) {
    const Resolved top = search_.find(name);
    if (top.kind == Resolved::Kind::missing) tell(to_utf8(name));
    if (top.kind != Resolved::Kind::file) return;
    std::deque<std::pair<std::wstring, int>> waiting{{top.path, 0}};
    std::set<std::wstring> queued{folded(top.path)};
    std::size_t walked = 0;
    const ULONGLONG deadline = GetTickCount64() + kWalkBudget;
    while (!waiting.empty() && walked < kMostFilesWalked && details_.missing.size() < kMostMissing &&
           GetTickCount64() < deadline) {
      const auto [path, depth] = waiting.front();
      waiting.pop_front();
      ++walked;
      std::vector<ImportedLibrary> imports;
      {
        const MappedFile file(path);
        imports = read_imports(ImageFile(file, helpers_));
      }
      if (imports.empty()) continue;
      const ManifestContext context(path);
      for (const ImportedLibrary& library : imports) {
        const Resolved found = search_.find(to_wide(library.name), context);
        if (found.kind == Resolved::Kind::missing) {
          tell(library.name);
          continue;
        }
        if (const ExportTable* exports = exports_of(found.path))
          for (const std::string& entry : library.entries)
            if (!exports->has(entry)) tell(library.name + "!" + entry);
        if (found.kind == Resolved::Kind::file && depth + 1 < kDeepest &&
            queued.insert(folded(found.path)).second)
          waiting.emplace_back(found.path, depth + 1);
      }
    }
  }

 private:
  // Each thing once, in the order found: nearest first.
  void tell(const std::string& what) {
    if (details_.missing.size() < kMostMissing && told_.insert(what).second)
      details_.missing.push_back(what);
  }

  const ExportTable* exports_of(const std::wstring& path) {
    if (path.empty()) return nullptr;
    const std::wstring key = folded(path);
    auto known = exports_.find(key);
    if (known == exports_.end()) {
      if (exports_.size() >= kMostExportTables) return nullptr;
      const MappedFile file(path);
      known = exports_.emplace(key, read_exports(ImageFile(file, helpers_))).first;
    }
    return known->second ? &*known->second : nullptr;
  }

  const SystemSearch& search_;
  const ImageHelpers& helpers_;
  LoadDetails& details_;
  std::unordered_map<std::wstring, std::optional<ExportTable>> exports_;
  std::set<std::string> told_;
};

// The machine of the file the system would take, when it is not this
// process's: another word size, another processor, or no image at all.
void tell_machine(const std::wstring& name, const SystemSearch& search, const ImageHelpers& helpers,
                  LoadDetails& details) {
  const Resolved found = search.find(name);
  if (found.kind != Resolved::Kind::file) return;
  const MappedFile file(found.path);
  if (!file.read()) return;
  const ImageFile image(file, helpers);
  if (!image.image()) details.machine = "unknown";
  else if (image.machine() != kOwnMachine) details.machine = machine_name(image.machine());
}

}  // namespace

void explain_failed_load(const std::wstring& name, unsigned long error, LoadDetails& details) {
  if (!details.error) {
    details.error = static_cast<std::uint32_t>(error);
    details.message = system_message(error);
  }
  try {
    const ImageHelpers helpers;
    if (!helpers.ready()) return;
    const SystemSearch search;
    tell_machine(name, search, helpers, details);
    if (is_unresolved_import(error) && details.machine.empty())
      ImportWalk(search, helpers, details).run(name);
  } catch (...) {
    // Out of memory, or a folder that cannot be read: the details found so
    // far stand, and the load's answer is not touched.
  }
}

}  // namespace tarnwick::win32
