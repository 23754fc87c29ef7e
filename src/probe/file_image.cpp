#include "probe/file_image.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/handles.h"

namespace tarnwick::win32 {

namespace {

constexpr DWORD kChunk = 1 << 20;

std::optional<std::vector<std::uint8_t>> read_file_start(const std::wstring& path,
                                                         std::size_t most) {
  const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return std::nullopt;
  const auto wanted = static_cast<std::size_t>(
      std::min<unsigned long long>(static_cast<unsigned long long>(size.QuadPart), most));
  std::vector<std::uint8_t> bytes(wanted);
  std::size_t have = 0;
  while (have < wanted) {
    DWORD got = 0;
    const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(wanted - have, kChunk));
    if (!ReadFile(file.get(), bytes.data() + have, asked, &got, nullptr)) return std::nullopt;
    if (got == 0) break;  // the file has shrunk meanwhile
    have += got;
  }
  bytes.resize(have);
  return bytes;
}

}  // namespace

FileImage::FileImage(const std::wstring& path, std::size_t most)
    : bytes_(read_file_start(path, most)) {
  if (bytes_) image_ = image::Image::read(*bytes_);
}

}  // namespace tarnwick::win32
