#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/pe_image.h"

namespace tarnwick::win32 {

// The machine this process is built for, whose images it can load.
#if defined(__x86_64__) || defined(_M_AMD64)
inline constexpr std::uint16_t kOwnMachine = image::kMachineX64;
inline constexpr image::Format kOwnFormat = image::Format::pe32_plus;
#elif defined(__aarch64__) || defined(_M_ARM64)
inline constexpr std::uint16_t kOwnMachine = image::kMachineArm64;
inline constexpr image::Format kOwnFormat = image::Format::pe32_plus;
#else
inline constexpr std::uint16_t kOwnMachine = image::kMachineX86;
inline constexpr image::Format kOwnFormat = image::Format::pe32;
#endif

// A file's bytes, read into memory with bounded reads and shared with every
// other reader and writer, so that looking never stands in anybody's way,
// and read as an image. No part of it is mapped: a file that shrinks while
// it is read is only read shorter.
class FileImage {
 public:
  // `most`: the bytes read at most; a longer file is read cut short.
  explicit FileImage(const std::wstring& path, std::size_t most = kLargest);
  FileImage(const FileImage&) = delete;
  FileImage& operator=(const FileImage&) = delete;

  // Whether the file could be opened and read (an empty one can).
  bool read() const { return bytes_.has_value(); }
  // The image, or null where the bytes hold no image header.
  const image::Image* image() const { return image_ ? &*image_ : nullptr; }
  // An image this process could load, whose tables say what it needs.
  bool loadable_here() const {
    return image_ && image_->machine() == kOwnMachine && image_->format() == kOwnFormat;
  }

  static constexpr std::size_t kLargest = std::size_t{256} << 20;
  // Enough for the headers of any image a linker writes.
  static constexpr std::size_t kHeaders = std::size_t{64} << 10;

 private:
  std::optional<std::vector<std::uint8_t>> bytes_;
  std::optional<image::Image> image_;  // refers to bytes_
};

}  // namespace tarnwick::win32
