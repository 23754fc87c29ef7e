#include "image/pe_image.h"

#include <algorithm>

namespace tarnwick::image {

namespace {

// Offsets of the format, counted from the start of their header.
constexpr std::size_t kDosSize = 64;
constexpr std::size_t kNewHeaderPointer = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;  // after the four bytes "PE\0\0"
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kMostDirectories = 16;

bool fits(Bytes bytes, std::size_t at, std::size_t length) {
  return at <= bytes.size() && length <= bytes.size() - at;
}

template <typename Number>
std::optional<Number> read_number(Bytes bytes, std::size_t at) {
  if (!fits(bytes, at, sizeof(Number))) return std::nullopt;
  Number value = 0;
  for (std::size_t i = sizeof(Number); i-- > 0;) value = static_cast<Number>(value << 8 | bytes[at + i]);
  return value;
}

}  // namespace

std::optional<std::uint16_t> read_u16(Bytes bytes, std::size_t at) {
  return read_number<std::uint16_t>(bytes, at);
}
std::optional<std::uint32_t> read_u32(Bytes bytes, std::size_t at) {
  return read_number<std::uint32_t>(bytes, at);
}
std::optional<std::uint64_t> read_u64(Bytes bytes, std::size_t at) {
  return read_number<std::uint64_t>(bytes, at);
}

const char* machine_name(std::uint16_t machine) {
  switch (machine) {
    case kMachineX86:
      return "x86";
    case kMachineX64:
      return "x64";
    case kMachineArm64:
      return "arm64";
    case kMachineArm:
    case kMachineThumb:
    case kMachineArmNt:
      return "arm";
    default:
      return "unknown";
  }
}

std::optional<Image> Image::read(Bytes bytes) {
  if (!fits(bytes, 0, kDosSize) || bytes[0] != 'M' || bytes[1] != 'Z') return std::nullopt;
  const std::size_t pe = *read_u32(bytes, kNewHeaderPointer);
  if (!fits(bytes, pe, 4 + kFileHeaderSize) || bytes[pe] != 'P' || bytes[pe + 1] != 'E' ||
      bytes[pe + 2] != 0 || bytes[pe + 3] != 0)
    return std::nullopt;
  Image image(bytes);
  const std::size_t file_header = pe + 4;
  image.machine_ = *read_u16(bytes, file_header);
  const std::size_t sections = *read_u16(bytes, file_header + 2);
  const std::size_t optional_size = *read_u16(bytes, file_header + 16);
  const std::size_t optional_at = file_header + kFileHeaderSize;
  image.read_optional_header(optional_at, optional_size);
  // Both terms are small: the sum cannot wrap.
  image.read_sections(optional_at + optional_size, sections);
  return image;
}

void Image::read_optional_header(std::size_t at, std::size_t length) {
  // The header as far as it says it goes, and as far as the file holds it.
  if (!fits(bytes_, at, length)) return;
  const Bytes header = bytes_.subspan(at, length);
  const std::optional<std::uint16_t> magic = read_u16(header, 0);
  std::optional<std::uint64_t> base;
  std::size_t count_at = 0;
  if (magic == kMagicPe32) {
    base = read_u32(header, 28);
    count_at = 92;
  } else if (magic == kMagicPe32Plus) {
    base = read_u64(header, 24);
    count_at = 108;
  } else {
    return;
  }
  const std::optional<std::uint32_t> headers_size = read_u32(header, 60);
  const std::optional<std::uint32_t> count = read_u32(header, count_at);
  if (!base || !headers_size || !count) return;
  format_ = *magic == kMagicPe32 ? Format::pe32 : Format::pe32_plus;
  image_base_ = *base;
  size_of_headers_ = *headers_size;
  const std::size_t first = count_at + 4;
  const std::size_t room = (header.size() - first) / 8;
  const std::size_t entries = std::min<std::size_t>({*count, room, kMostDirectories});
  for (std::size_t i = 0; i < entries; ++i)
    directories_.push_back({*read_u32(header, first + 8 * i), *read_u32(header, first + 8 * i + 4)});
}

void Image::read_sections(std::size_t at, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t start = at + i * kSectionHeaderSize;
    if (!fits(bytes_, start, kSectionHeaderSize)) {
      sections_cut_short_ = true;
      return;
    }
    Section section;
    for (std::size_t c = 0; c < 8 && bytes_[start + c] != 0; ++c)
      section.name.push_back(static_cast<char>(bytes_[start + c]));
    section.virtual_size = *read_u32(bytes_, start + 8);
    section.virtual_address = *read_u32(bytes_, start + 12);
    section.raw_size = *read_u32(bytes_, start + 16);
    section.raw_offset = *read_u32(bytes_, start + 20);
    sections_.push_back(std::move(section));
  }
}

std::optional<Image::Directory> Image::directory(std::size_t entry) const {
  if (entry >= directories_.size() || directories_[entry].rva == 0) return std::nullopt;
  return directories_[entry];
}

Bytes Image::from_rva(std::uint32_t rva) const {
  if (format_ == Format::unreadable) return {};
  // The headers are mapped as they lie in the file.
  if (rva < size_of_headers_) {
    const std::size_t end = std::min<std::size_t>(size_of_headers_, bytes_.size());
    return rva < end ? bytes_.subspan(rva, end - rva) : Bytes{};
  }
  for (const Section& section : sections_) {
    if (rva < section.virtual_address) continue;
    const std::uint64_t into = rva - section.virtual_address;
    // In memory the section spans its virtual size; the file holds at most
    // its raw size of it, the rest being zeros nobody wrote.
    const std::uint64_t spans = section.virtual_size != 0 ? section.virtual_size : section.raw_size;
    if (into >= spans) continue;
    const std::uint64_t held = std::min<std::uint64_t>(spans, section.raw_size);
    if (into >= held) return {};
    const std::uint64_t start = std::uint64_t{section.raw_offset} + into;
    if (start >= bytes_.size()) return {};
    const std::uint64_t length = std::min<std::uint64_t>(held - into, bytes_.size() - start);
    return bytes_.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
  }
  return {};
}

std::optional<std::size_t> Image::offset_of(std::uint32_t rva, std::size_t length) const {
  const Bytes found = from_rva(rva);
  if (found.empty() || found.size() < length) return std::nullopt;
  return static_cast<std::size_t>(found.data() - bytes_.data());
}

std::optional<std::uint16_t> Image::u16_at(std::uint32_t rva) const {
  return read_u16(from_rva(rva), 0);
}
std::optional<std::uint32_t> Image::u32_at(std::uint32_t rva) const {
  return read_u32(from_rva(rva), 0);
}
std::optional<std::uint64_t> Image::u64_at(std::uint32_t rva) const {
  return read_u64(from_rva(rva), 0);
}

std::optional<std::string> Image::name_at(std::uint32_t rva) const {
  if (rva == 0) return std::nullopt;
  const Bytes text = from_rva(rva);
  const std::size_t longest = std::min(text.size(), kLongestName + 1);
  for (std::size_t i = 0; i < longest; ++i)
    if (text[i] == 0)
      return i == 0 ? std::nullopt
                    : std::optional<std::string>(std::in_place,
                                                 reinterpret_cast<const char*>(text.data()), i);
  return std::nullopt;
}

std::optional<std::uint32_t> Image::rva_of(std::uint64_t value, bool is_address) const {
  if (is_address) {
    if (value < image_base_) return std::nullopt;
    value -= image_base_;
  }
  if (value > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace tarnwick::image
