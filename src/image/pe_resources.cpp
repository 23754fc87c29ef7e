// The one resource the loader itself reads: an image's manifest.

#include "image/pe_image.h"

namespace tarnwick::image {

namespace {

constexpr std::size_t kResourceDirectory = 2;
constexpr std::uint32_t kManifestType = 24;
constexpr std::uint32_t kDirectoryHeaderSize = 16;
constexpr std::uint32_t kSubdirectory = 0x80000000;
constexpr std::uint32_t kLargestManifest = 1 << 20;

}  // namespace

// The relative address of the child of the resource directory at
// `directory_rva` with the number `id` (the first child, without one), where
// it is a directory or a data entry as asked. Offsets inside the tree count
// from its root.
std::optional<std::uint32_t> Image::resource_child(std::uint32_t directory_rva, std::uint32_t root,
                                                   std::optional<std::uint32_t> id,
                                                   bool subdirectory) const {
  const Bytes header = from_rva(directory_rva);
  if (header.size() < kDirectoryHeaderSize) return std::nullopt;
  const std::size_t named = *read_u16(header, 12);
  const std::size_t numbered = *read_u16(header, 14);
  // Named entries come first; a number is looked for among the others.
  const std::size_t first = id ? named : 0;
  for (std::size_t i = first; i < named + numbered; ++i) {
    const std::optional<std::uint32_t> key = read_u32(header, kDirectoryHeaderSize + 8 * i);
    const std::optional<std::uint32_t> child = read_u32(header, kDirectoryHeaderSize + 8 * i + 4);
    if (!key || !child) return std::nullopt;
    if (id && *key != *id) continue;
    if (((*child & kSubdirectory) != 0) != subdirectory) return std::nullopt;
    const std::uint64_t at = std::uint64_t{root} + (*child & ~kSubdirectory);
    if (at > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(at);
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> Image::manifest() const {
  const std::optional<Directory> resources = directory(kResourceDirectory);
  if (!resources) return std::nullopt;
  const std::uint32_t root = resources->rva;
  const std::optional<std::uint32_t> type = resource_child(root, root, kManifestType, true);
  if (!type) return std::nullopt;
  // Type, then name (the number), then language: the first one there is.
  std::optional<std::uint32_t> name = resource_child(*type, root, 2, true);
  if (!name) name = resource_child(*type, root, 1, true);
  if (!name) return std::nullopt;
  const std::optional<std::uint32_t> entry = resource_child(*name, root, std::nullopt, false);
  if (!entry) return std::nullopt;
  const std::optional<std::uint32_t> data = u32_at(*entry);
  const Bytes size_field = from_rva(*entry);
  const std::optional<std::uint32_t> size = read_u32(size_field, 4);
  if (!data || !size || *size > kLargestManifest) return std::nullopt;
  const Bytes bytes = from_rva(*data);
  if (bytes.size() < *size) return std::nullopt;
  return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + *size);
}

}  // namespace tarnwick::image
