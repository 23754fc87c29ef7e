#include "files/file_version.h"

#include <cstring>
#include <exception>
#include <vector>

namespace tarnwick {

namespace {

// The published fixed file information record.
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::size_t kFileVersionMsOffset = 8;
constexpr std::size_t kFileVersionLsOffset = 12;

std::uint32_t field_at(const unsigned char* record, std::size_t offset) {
  return static_cast<std::uint32_t>(record[offset]) |
         static_cast<std::uint32_t>(record[offset + 1]) << 8 |
         static_cast<std::uint32_t>(record[offset + 2]) << 16 |
         static_cast<std::uint32_t>(record[offset + 3]) << 24;
}

std::uint16_t hi_word(std::uint32_t value) { return static_cast<std::uint16_t>(value >> 16); }

std::uint16_t lo_word(std::uint32_t value) {
  return static_cast<std::uint16_t>(value & 0xFFFF);
}

}  // namespace

std::string get_file_version(VersionLibrary& version, const std::string& path) {
  try {
    const std::uint32_t size = version.file_version_info_size(path);
    if (size == 0) return "";
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size) + 1, 0);
    if (!version.file_version_info(path, size, buffer.data())) return "";

    const void* found = nullptr;
    std::uint32_t length = 0;
    // A failed query supplies no record: reading one from whatever address
    // happened to be left would print a version the file does not have.
    if (!version.query_root(buffer.data(), found, length) || found == nullptr)
      return "";

    unsigned char record[kFixedInfoSize] = {};
    std::memcpy(record, found, length < kFixedInfoSize ? length : kFixedInfoSize);
    const std::uint32_t ms = field_at(record, kFileVersionMsOffset);
    const std::uint32_t ls = field_at(record, kFileVersionLsOffset);
    return std::to_string(hi_word(ms)) + "." + std::to_string(lo_word(ms)) + "." +
           std::to_string(hi_word(ls)) + "." + std::to_string(lo_word(ls));
  } catch (const std::exception&) {
    return "";  // a version that cannot be read shows as N/A, never as a failure
  }
}

}  // namespace tarnwick
