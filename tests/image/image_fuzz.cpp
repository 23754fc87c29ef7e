// Whatever the bytes, reading them as an image answers: no read outside
// them, no overflow, no hang.

#include <cstddef>
#include <cstdint>

#include "image/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarnwick::image;
  const std::optional<Image> image = Image::read(Bytes(data, size));
  if (!image) return 0;
  machine_name(image->machine());
  for (const Section& section : image->sections()) {
    image->offset_of(section.virtual_address, 1);
    image->offset_of(section.virtual_address + section.virtual_size, 4);
  }
  image->offset_of(0, size);
  for (const Imports& table : {image->imports(), image->delay_imports()})
    for (const ImportedLibrary& library : table.libraries)
      if (library.name.empty()) __builtin_trap();
  // Every entry read is found again by its ordinal, and by its name where
  // that cannot be taken for an ordinal.
  const Exports exports = image->exports();
  for (const Export& entry : exports.entries) {
    if (exports.find("#" + std::to_string(entry.ordinal)) == nullptr) __builtin_trap();
    if (!entry.name.empty() && entry.name[0] != '#' && exports.find(entry.name) == nullptr)
      __builtin_trap();
  }
  image->manifest();
  return 0;
}
