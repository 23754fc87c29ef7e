// The tables the loader reads to join an image to its libraries: what it
// imports at load time, what it imports when first called, what it exports.

#include <algorithm>
#include <charconv>

#include "image/pe_image.h"

namespace tarnwick::image {

namespace {

constexpr std::size_t kExportDirectory = 0;
constexpr std::size_t kImportDirectory = 1;
constexpr std::size_t kDelayImportDirectory = 13;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::size_t kDelayDescriptorSize = 32;
// Bounds of one table, far above any real library's: a table of absurd
// length ends here, not in the reader's time or memory.
constexpr std::size_t kMostImportedEntries = 16384;  // over all libraries of a table
constexpr std::size_t kMostImportedLibraries = 4096;
constexpr std::uint32_t kMostExports = 65536;  // ordinals are 16 bits wide

// The relative address of element `index` of a table of `width`-byte
// elements at `rva`, where it can still be one.
std::optional<std::uint32_t> element(std::uint32_t rva, std::size_t index, std::size_t width) {
  const std::uint64_t at = std::uint64_t{rva} + std::uint64_t{index} * width;
  if (at > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(at);
}

}  // namespace

bool Image::read_thunks(std::uint32_t rva, bool addresses, std::vector<std::string>& entries,
                        std::size_t& budget) const {
  const bool wide = format_ == Format::pe32_plus;
  const std::uint64_t by_ordinal = wide ? std::uint64_t{1} << 63 : std::uint64_t{1} << 31;
  for (std::size_t i = 0;; ++i) {
    const std::optional<std::uint32_t> at = element(rva, i, wide ? 8 : 4);
    if (!at || budget == 0) return false;
    const std::optional<std::uint64_t> thunk =
        wide ? u64_at(*at) : std::optional<std::uint64_t>(u32_at(*at));
    if (!thunk) return false;
    if (*thunk == 0) return true;
    --budget;
    if (*thunk & by_ordinal) {
      entries.push_back("#" + std::to_string(*thunk & 0xFFFF));
      continue;
    }
    // A hint of two bytes, then the name.
    const std::optional<std::uint32_t> hint = rva_of(*thunk, addresses);
    if (!hint || *hint > INT32_MAX) return false;
    const std::optional<std::string> name = name_at(*hint + 2);
    if (!name) return false;
    entries.push_back(*name);
  }
}

Imports Image::read_import_table(std::size_t entry) const {
  Imports imports;
  const std::optional<Directory> table = directory(entry);
  if (!table) return imports;
  const bool delayed = entry == kDelayImportDirectory;
  const std::size_t width = delayed ? kDelayDescriptorSize : kImportDescriptorSize;
  std::size_t budget = kMostImportedEntries;
  for (std::size_t i = 0;; ++i) {
    // The system walks a load-time table to its empty entry alone; a delayed
    // one, read by the program's own code, may also end where its size says.
    if (delayed && table->size != 0 && (i + 1) * width > table->size) return imports;
    const std::optional<std::uint32_t> at = element(table->rva, i, width);
    if (!at || i == kMostImportedLibraries || from_rva(*at).size() < width) {
      imports.cut_short = true;
      return imports;
    }
    const Bytes descriptor = from_rva(*at).first(width);
    std::optional<std::uint32_t> name;
    std::optional<std::uint32_t> thunks;
    // Old linkers wrote full addresses in a delayed table whose attributes
    // have bit 0 clear, its name table's entries included.
    const bool addresses = delayed && (*read_u32(descriptor, 0) & 1) == 0;
    if (delayed) {
      // Attributes, name, module handle, address table, name table.
      if (*read_u32(descriptor, 4) == 0) return imports;
      name = rva_of(*read_u32(descriptor, 4), addresses);
      thunks = rva_of(*read_u32(descriptor, 16), addresses);
    } else {
      // Name table, time stamp, forwarder chain, name, address table.
      if (*read_u32(descriptor, 12) == 0) return imports;
      name = *read_u32(descriptor, 12);
      const std::uint32_t name_table = *read_u32(descriptor, 0);
      thunks = name_table != 0 ? name_table : *read_u32(descriptor, 16);
    }
    const std::optional<std::string> library = name ? name_at(*name) : std::nullopt;
    if (!library) {
      imports.cut_short = true;
      continue;
    }
    ImportedLibrary read{*library, {}};
    if (!thunks || !read_thunks(*thunks, addresses, read.entries, budget))
      imports.cut_short = true;
    imports.libraries.push_back(std::move(read));
  }
}

Imports Image::imports() const { return read_import_table(kImportDirectory); }

Imports Image::delay_imports() const { return read_import_table(kDelayImportDirectory); }

Exports Image::exports() const {
  Exports exports;
  const std::optional<Directory> table = directory(kExportDirectory);
  if (!table) return exports;
  exports.cut_short = true;  // until read whole
  const Bytes header = from_rva(table->rva);
  if (header.size() < 40) return exports;
  const std::uint32_t base = *read_u32(header, 16);
  const std::uint32_t functions = *read_u32(header, 20);
  const std::uint32_t names = *read_u32(header, 24);
  if (functions > kMostExports || names > kMostExports) return exports;
  const Bytes addresses = from_rva(*read_u32(header, 28));
  const Bytes name_addresses = from_rva(*read_u32(header, 32));
  const Bytes name_ordinals = from_rva(*read_u32(header, 36));
  if ((functions != 0 && addresses.size() / 4 < functions) ||
      (names != 0 && (name_addresses.size() / 4 < names || name_ordinals.size() / 2 < names)))
    return exports;

  std::vector<std::vector<std::string>> names_of(functions);
  for (std::size_t i = 0; i < names; ++i) {
    const std::uint16_t index = *read_u16(name_ordinals, 2 * i);
    const std::optional<std::string> name = name_at(*read_u32(name_addresses, 4 * i));
    if (index >= functions || !name) return exports;
    names_of[index].push_back(*name);
  }
  for (std::size_t i = 0; i < functions; ++i) {
    const std::uint32_t address = *read_u32(addresses, 4 * i);
    if (address == 0) continue;
    const std::uint64_t ordinal = std::uint64_t{base} + i;
    if (ordinal > UINT32_MAX) return exports;
    Export entry{static_cast<std::uint32_t>(ordinal), {}, {}};
    // An address inside the export table is the text of a forwarder.
    if (address >= table->rva && address - table->rva < table->size) {
      const std::optional<std::string> forwarder = name_at(address);
      if (!forwarder) return exports;
      entry.forwarder = *forwarder;
    }
    if (names_of[i].empty()) exports.entries.push_back(entry);
    for (std::string& name : names_of[i]) {
      entry.name = std::move(name);
      exports.entries.push_back(entry);
    }
  }
  exports.cut_short = false;
  return exports;
}

const Export* Exports::find(std::string_view entry) const {
  if (entry.size() > 1 && entry.front() == '#') {
    std::uint32_t ordinal = 0;
    const char* end = entry.data() + entry.size();
    const auto [stop, error] = std::from_chars(entry.data() + 1, end, ordinal);
    if (error != std::errc() || stop != end) return nullptr;
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const Export& e) { return e.ordinal == ordinal; });
    return found == entries.end() ? nullptr : &*found;
  }
  const auto found =
      std::find_if(entries.begin(), entries.end(), [&](const Export& e) { return e.name == entry; });
  return found == entries.end() ? nullptr : &*found;
}

}  // namespace tarnwick::image
