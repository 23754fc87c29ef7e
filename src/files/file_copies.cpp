#include "files/file_copies.h"

#include <cstdint>
#include <exception>
#include <optional>

#include "image/pe_image.h"

namespace tarnwick {

namespace {

// The numbers of a dotted version text; a part that is not a number counts
// as 0, so text that is no version still orders the same way every time.
std::vector<std::uint32_t> version_parts(const std::string& version) {
  std::vector<std::uint32_t> parts;
  std::uint32_t part = 0;
  for (char c : version) {
    if (c == '.') {
      parts.push_back(part);
      part = 0;
    } else if (c >= '0' && c <= '9' && part < 100000) {
      part = part * 10 + static_cast<std::uint32_t>(c - '0');
    }
  }
  parts.push_back(part);
  return parts;
}

}  // namespace

std::string file_machine(FileSystemObject& fs, const std::string& path) {
  // The headers sit at the file's start; an image whose headers lie further
  // in than this is no image the system would load either.
  constexpr std::size_t kHeadersWithin = 64 * 1024;
  std::optional<std::vector<std::uint8_t>> start;
  try {
    start = fs.read_start(path, kHeadersWithin);
  } catch (const std::exception&) {
    return "";
  }
  if (!start) return "";
  const std::optional<image::Image> read = image::Image::read(*start);
  return read ? image::machine_name(read->machine()) : "unknown";
}

int compare_versions(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : a.empty() ? -1 : 1;
  const std::vector<std::uint32_t> left = version_parts(a);
  const std::vector<std::uint32_t> right = version_parts(b);
  for (std::size_t i = 0; i < left.size() || i < right.size(); ++i) {
    const std::uint32_t l = i < left.size() ? left[i] : 0;
    const std::uint32_t r = i < right.size() ? right[i] : 0;
    if (l != r) return l < r ? -1 : 1;
  }
  return 0;
}

const FileCopy* newest_copy(const std::vector<FileCopy>& copies) {
  const FileCopy* newest = nullptr;
  for (const FileCopy& copy : copies)
    if (!copy.version.empty() && (newest == nullptr || compare_versions(copy.version, newest->version) > 0))
      newest = &copy;
  return newest;
}

}  // namespace tarnwick
