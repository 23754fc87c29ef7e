#include "probe/image_file_win32.h"

#include <cstdint>
#include <cstdlib>


namespace tarnwick::win32 {

namespace {

constexpr LONGLONG kLargestFile = 1LL << 30;
constexpr std::size_t kMostImports = 8192;  // entries read from one import table

}  // namespace

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

PIMAGE_NT_HEADERS ImageHelpers::nt_header(const void* base) const {
  return nt_header_(const_cast<void*>(base));
}
const void* ImageHelpers::directory(const void* base, USHORT entry, ULONG& size) const {
  return directory_(const_cast<void*>(base), FALSE, entry, &size, nullptr);
}
const void* ImageHelpers::rva_to_va(PIMAGE_NT_HEADERS nt, const void* base, ULONG rva) const {
  return rva_to_va_(nt, const_cast<void*>(base), rva, nullptr);
}

MappedFile::MappedFile(const std::wstring& path) {
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

const unsigned char* MappedFile::at(std::size_t offset, std::size_t length) const {
  if (!view_ || offset > size_ || length > size_ - offset) return nullptr;
  return bytes() + offset;
}

bool MappedFile::holds(const void* pointer, std::size_t length) const {
  const auto at_address = reinterpret_cast<std::uintptr_t>(pointer);
  const auto start = reinterpret_cast<std::uintptr_t>(bytes());
  return view_ && pointer != nullptr && at_address >= start &&
         at(static_cast<std::size_t>(at_address - start), length) != nullptr;
}

ImageFile::ImageFile(const MappedFile& file, const ImageHelpers& helpers)
    : file_(file), helpers_(helpers) {
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

ImageFile::Table ImageFile::table(USHORT entry, std::size_t length,
                                  const unsigned char*& start) const {
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

const unsigned char* ImageFile::at_rva(ULONG rva, std::size_t length) const {
  if (!walkable() || rva == 0) return nullptr;
  const void* found = helpers_.rva_to_va(nt_, file_.bytes(), rva);
  return file_.holds(found, length) ? static_cast<const unsigned char*>(found) : nullptr;
}

std::optional<std::string> ImageFile::text_at_rva(ULONG rva) const {
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

}  // namespace tarnwick::win32
