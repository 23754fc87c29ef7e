#include "image/api_set_schema.h"

#include <optional>
#include <utility>

namespace tarnwick::image {

namespace {

// Longer names than this (in bytes of UTF-16) are not names: a contract
// name is a few dozen characters.
constexpr std::uint64_t kLongestName = 1024;

char16_t folded(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool starts_with_folded(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (folded(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(prefix[i]))
      return false;
  return true;
}

// Case-insensitive as the system compares contract names, which are ASCII.
bool same_name(std::u16string_view stored, std::string_view name) {
  if (stored.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (folded(stored[i]) != folded(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

// The map's bytes up to its own idea of its size, read only through
// checked reads: an offset or length outside gives nothing.
class MapReader {
 public:
  MapReader(const std::vector<unsigned char>& bytes, std::uint64_t size)
      : bytes_(bytes), size_(size < bytes.size() ? size : bytes.size()) {}

  bool holds(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  std::optional<std::uint32_t> u32(std::uint64_t offset) const {
    if (!holds(offset, 4)) return std::nullopt;
    const unsigned char* at = bytes_.data() + offset;
    return static_cast<std::uint32_t>(at[0] | at[1] << 8 | at[2] << 16) |
           static_cast<std::uint32_t>(at[3]) << 24;
  }
  // `length` bytes of UTF-16 at `offset`.
  std::optional<std::u16string> text(std::uint64_t offset, std::uint64_t length) const {
    if (length % 2 != 0 || length > kLongestName || !holds(offset, length)) return std::nullopt;
    std::u16string text(static_cast<std::size_t>(length / 2), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      const unsigned char* at = bytes_.data() + offset + 2 * i;
      text[i] = static_cast<char16_t>(at[0] | at[1] << 8);
    }
    return text;
  }

 private:
  const std::vector<unsigned char>& bytes_;
  std::uint64_t size_;
};

// Where each field lies in the layouts of versions 2 and 4, which differ
// only in their headers and in the flags each entry carries.
struct Layout {
  std::uint64_t count_at;     // in the header
  std::uint64_t entries_at;   // first namespace entry
  std::uint64_t entry_size;
  std::uint64_t name_at;      // in an entry: name offset, then its length
  std::uint64_t values_at;    // in an entry: the offset of its value array
  std::uint64_t value_count;  // in a value array
  std::uint64_t first_value;
  std::uint64_t value_size;
  std::uint64_t value_name;   // in a value: the importer's name's length, then the host's offset and length
};
constexpr Layout kVersion2{4, 8, 12, 0, 8, 0, 4, 16, 4};
constexpr Layout kVersion4{12, 16, 24, 4, 20, 4, 8, 20, 8};

// The map's own size, where its header says it: versions 4 and 6.
std::optional<std::uint64_t> stated_size(const std::vector<unsigned char>& map,
                                         std::uint32_t version) {
  if (version == 2) return map.size();
  return MapReader(map, map.size()).u32(4);
}

using Lookup = ApiSetSchema::Lookup;
using Answer = ApiSetSchema::Answer;

// The default host among `count` values of `size` bytes from `first`: the
// first one no importer is named for, else the first one.
Lookup default_host(const MapReader& map, std::uint64_t first, std::uint64_t count,
                    std::uint64_t size, std::uint64_t name_length_at) {
  if (!map.holds(first, count * size)) return {};
  if (count == 0) return {Answer::defined, {}};
  std::uint64_t chosen = first;
  for (std::uint64_t value = first; value < first + count * size; value += size) {
    const auto importer_length = map.u32(value + name_length_at);
    if (!importer_length) return {};
    if (*importer_length == 0) {
      chosen = value;
      break;
    }
  }
  const auto host_at = map.u32(chosen + name_length_at + 4);
  const auto host_length = map.u32(chosen + name_length_at + 8);
  if (!host_at || !host_length) return {};
  const auto host = map.text(*host_at, *host_length);
  if (!host) return {};
  std::string narrow;
  for (char16_t c : *host) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return {Answer::defined, narrow};
}

}  // namespace

bool is_api_set_name(std::string_view name) {
  return starts_with_folded(name, "api-") || starts_with_folded(name, "ext-");
}

ApiSetSchema::ApiSetSchema(std::vector<unsigned char> map) : map_(std::move(map)) {
  const std::optional<std::uint32_t> version = MapReader(map_, map_.size()).u32(0);
  if (!version || (*version != 2 && *version != 4 && *version != 6)) return;
  // A map that says it is longer than the bytes at hand was cut short.
  const std::optional<std::uint64_t> size = stated_size(map_, *version);
  if (!size || *size > map_.size()) return;
  map_.resize(static_cast<std::size_t>(*size));
  version_ = *version;
}

ApiSetSchema::Lookup ApiSetSchema::find(std::string_view name) const {
  if (version_ == 0) return {};
  if (!is_api_set_name(name)) return {Answer::undefined, {}};
  if (name.size() > 4 && starts_with_folded(name.substr(name.size() - 4), ".dll"))
    name.remove_suffix(4);
  return version_ == 6 ? find_v6(name) : find_v2_v4(name);
}

// Versions 2 and 4 keep whole names, without the "api-" or "ext-" before
// them, in an array sorted by name; every entry is compared, so that an
// array out of order still answers.
ApiSetSchema::Lookup ApiSetSchema::find_v2_v4(std::string_view name) const {
  const Layout& layout = version_ == 2 ? kVersion2 : kVersion4;
  const MapReader map(map_, map_.size());
  const auto count = map.u32(layout.count_at);
  if (!count || !map.holds(layout.entries_at, std::uint64_t{*count} * layout.entry_size)) return {};
  const std::string_view unprefixed = name.substr(4);
  for (std::uint64_t i = 0; i < *count; ++i) {
    const std::uint64_t entry = layout.entries_at + i * layout.entry_size;
    const auto name_at = map.u32(entry + layout.name_at);
    const auto name_length = map.u32(entry + layout.name_at + 4);
    const auto values_at = map.u32(entry + layout.values_at);
    if (!name_at || !name_length || !values_at) return {};
    const auto stored = map.text(*name_at, *name_length);
    if (!stored) return {};
    if (!same_name(*stored, unprefixed) && !same_name(*stored, name)) continue;
    const auto value_count = map.u32(*values_at + layout.value_count);
    if (!value_count) return {};
    return default_host(map, *values_at + layout.first_value, *value_count, layout.value_size,
                        layout.value_name);
  }
  return {Answer::undefined, {}};
}

// Version 6 finds a contract by a hash of its name up to the last hyphen,
// in a table sorted by hash, then compares that much of the name.
ApiSetSchema::Lookup ApiSetSchema::find_v6(std::string_view name) const {
  constexpr std::uint64_t kEntrySize = 24;
  constexpr std::uint64_t kHashEntrySize = 8;
  constexpr std::uint64_t kValueSize = 20;
  const MapReader map(map_, map_.size());
  const auto count = map.u32(12);
  const auto entries_at = map.u32(16);
  const auto hashes_at = map.u32(20);
  const auto factor = map.u32(24);
  if (!count || !entries_at || !hashes_at || !factor ||
      !map.holds(*entries_at, std::uint64_t{*count} * kEntrySize) ||
      !map.holds(*hashes_at, std::uint64_t{*count} * kHashEntrySize))
    return {};

  const std::size_t hyphen = name.find_last_of('-');
  const std::string_view hashed = name.substr(0, hyphen);
  std::uint32_t hash = 0;
  for (char c : hashed) hash = hash * *factor + folded(static_cast<unsigned char>(c));

  // The first entry of the table whose hash is not below the name's.
  std::uint64_t low = 0;
  std::uint64_t high = *count;
  while (low < high) {
    const std::uint64_t middle = low + (high - low) / 2;
    const auto at_middle = map.u32(*hashes_at + middle * kHashEntrySize);
    if (!at_middle) return {};
    if (*at_middle < hash) low = middle + 1;
    else high = middle;
  }
  // Names whose hashes collide sit side by side.
  for (std::uint64_t i = low; i < *count; ++i) {
    const auto entry_hash = map.u32(*hashes_at + i * kHashEntrySize);
    const auto index = map.u32(*hashes_at + i * kHashEntrySize + 4);
    if (!entry_hash || !index) return {};
    if (*entry_hash != hash) break;
    if (*index >= *count) return {};
    const std::uint64_t entry = *entries_at + std::uint64_t{*index} * kEntrySize;
    const auto name_at = map.u32(entry + 4);
    const auto hashed_length = map.u32(entry + 12);
    const auto values_at = map.u32(entry + 16);
    const auto value_count = map.u32(entry + 20);
    if (!name_at || !hashed_length || !values_at || !value_count) return {};
    const auto stored = map.text(*name_at, *hashed_length);
    if (!stored) return {};
    if (same_name(*stored, hashed))
      return default_host(map, *values_at, *value_count, kValueSize, 8);
  }
  return {Answer::undefined, {}};
}

}  // namespace tarnwick::image
