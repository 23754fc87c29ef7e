#pragma once

// A reader of Windows images (PE32 and PE32+) from bytes that are not
// trusted: every offset, count, relative address and sum is checked against
// the bytes at hand before it is used, so a file cut short or lying about
// its own layout gives an answer ("cut short", or nothing), never a fault.
// It runs no code and asks the system nothing: the same on every platform.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::image {

using Bytes = std::span<const std::uint8_t>;

// The machines a header names, as the file format numbers them.
inline constexpr std::uint16_t kMachineX86 = 0x014C;
inline constexpr std::uint16_t kMachineX64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;
inline constexpr std::uint16_t kMachineArm = 0x01C0;
inline constexpr std::uint16_t kMachineThumb = 0x01C2;
inline constexpr std::uint16_t kMachineArmNt = 0x01C4;

// "x86", "x64", "arm64", "arm" or "unknown".
const char* machine_name(std::uint16_t machine);

// A text longer than this is not a name.
inline constexpr std::size_t kLongestName = 1024;

enum class Format { unreadable, pe32, pe32_plus };

struct Section {
  std::string name;
  std::uint32_t virtual_address = 0;
  std::uint32_t virtual_size = 0;
  std::uint32_t raw_offset = 0;
  std::uint32_t raw_size = 0;
};

// One library a table names, with its entries by name or as "#ordinal".
struct ImportedLibrary {
  std::string name;
  std::vector<std::string> entries;
};

// What could be read of an import table, in table order. `cut_short`: the
// table went on past the bytes, past a name's length or past a bound, so
// there may be more than `libraries` holds.
struct Imports {
  std::vector<ImportedLibrary> libraries;
  bool cut_short = false;
};

// One exported entry point. A function exported under several names appears
// once per name; one exported by ordinal alone has no name. A forwarded one
// carries the forwarder's text, "target.Function" or "target.#12".
struct Export {
  std::uint32_t ordinal = 0;
  std::string name;
  std::string forwarder;
};

struct Exports {
  std::vector<Export> entries;
  // The table could not be read whole: what it lacks cannot be told.
  bool cut_short = false;

  // The entry a load asks for, "Function" or "#12"; null when there is none.
  const Export* find(std::string_view entry) const;
};

// An image's headers, read at once; its tables, read when asked for. It
// refers to the bytes it was read from, which must outlive it.
class Image {
 public:
  // None when the bytes hold no image header at all: no "MZ", no "PE" where
  // the first header points, or the file header cut short.
  static std::optional<Image> read(Bytes bytes);

  std::uint16_t machine() const { return machine_; }
  // Unreadable where the optional header is of neither kind, or cut short:
  // then no table can be found.
  Format format() const { return format_; }
  const std::vector<Section>& sections() const { return sections_; }
  // The section table went past the end of the bytes.
  bool sections_cut_short() const { return sections_cut_short_; }

  // Where `length` bytes at the relative address `rva` lie in the file,
  // when all of them are there.
  std::optional<std::size_t> offset_of(std::uint32_t rva, std::size_t length) const;

  Imports imports() const;
  Imports delay_imports() const;
  Exports exports() const;
  // The image's own manifest (resource type 24, id 2, else id 1), as bytes.
  // None where it has none, or it cannot be read whole.
  std::optional<std::vector<std::uint8_t>> manifest() const;

 private:
  struct Directory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
  };

  explicit Image(Bytes bytes) : bytes_(bytes) {}
  void read_optional_header(std::size_t at, std::size_t length);
  void read_sections(std::size_t at, std::size_t count);
  std::optional<Directory> directory(std::size_t entry) const;

  // The bytes from `rva` up to the end of what the file holds of the place
  // it falls in (the headers, or its section); empty where it falls nowhere.
  Bytes from_rva(std::uint32_t rva) const;
  // Little-endian numbers and NUL-ended names at relative addresses.
  std::optional<std::uint16_t> u16_at(std::uint32_t rva) const;
  std::optional<std::uint32_t> u32_at(std::uint32_t rva) const;
  std::optional<std::uint64_t> u64_at(std::uint32_t rva) const;
  std::optional<std::string> name_at(std::uint32_t rva) const;
  // A table's entries, by name or ordinal, from its first thunk at `rva`;
  // `addresses`: its names are found by full addresses. False where it was
  // cut short.
  bool read_thunks(std::uint32_t rva, bool addresses, std::vector<std::string>& entries,
                   std::size_t& budget) const;
  // A relative address from a table that may hold full addresses instead.
  std::optional<std::uint32_t> rva_of(std::uint64_t value, bool is_address) const;
  Imports read_import_table(std::size_t entry) const;
  std::optional<std::uint32_t> resource_child(std::uint32_t directory_rva, std::uint32_t root,
                                              std::optional<std::uint32_t> id,
                                              bool subdirectory) const;

  Bytes bytes_;
  std::uint16_t machine_ = 0;
  Format format_ = Format::unreadable;
  std::uint64_t image_base_ = 0;
  std::uint32_t size_of_headers_ = 0;
  std::vector<Directory> directories_;
  std::vector<Section> sections_;
  bool sections_cut_short_ = false;
};

// Numbers at an offset of bytes, little-endian; none where they run past
// the end.
std::optional<std::uint16_t> read_u16(Bytes bytes, std::size_t at);
std::optional<std::uint32_t> read_u32(Bytes bytes, std::size_t at);
std::optional<std::uint64_t> read_u64(Bytes bytes, std::size_t at);

}  // namespace tarnwick::image
