#include "probe/api_set_map_win32.h"

#include <windows.h>

#include <winternl.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win32/system_calls.h"

namespace tarnwick::win32 {

namespace {

// Where the process environment block keeps the map's address: after four
// flag bytes, nine pointers, two 32-bit fields and another pointer, laid out
// as the word size pads them.
constexpr std::size_t kApiSetMapAt = sizeof(void*) == 8 ? 0x68 : 0x38;

// The readable bytes from `address` to the end of its region.
std::size_t readable_from(const void* address) {
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(address, &region, sizeof(region)) != sizeof(region)) return 0;
  constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                              PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  if (region.State != MEM_COMMIT || (region.Protect & kReadable) == 0 ||
      (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0)
    return 0;
  const auto start = reinterpret_cast<std::uintptr_t>(region.BaseAddress);
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  return start + region.RegionSize - at;
}

// The map's bytes: as many as its header says where it says (versions 4
// and 6), never more than its memory region holds.
std::vector<unsigned char> read_map() {
  auto* query = system_calls::NtQueryInformationProcess.find();
  PROCESS_BASIC_INFORMATION basic{};
  if (query == nullptr ||
      query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) < 0 ||
      basic.PebBaseAddress == nullptr)
    return {};
  const auto* environment = reinterpret_cast<const unsigned char*>(basic.PebBaseAddress);
  const void* map = nullptr;
  std::memcpy(&map, environment + kApiSetMapAt, sizeof(map));
  if (map == nullptr) return {};
  std::size_t size = readable_from(map);
  if (size < 8) return {};
  const auto* bytes = static_cast<const unsigned char*>(map);
  std::uint32_t version = 0;
  std::uint32_t stated = 0;
  std::memcpy(&version, bytes, 4);
  std::memcpy(&stated, bytes + 4, 4);
  if (version != 2 && stated < size) size = stated;
  return std::vector<unsigned char>(bytes, bytes + size);
}

}  // namespace

const image::ApiSetSchema& process_api_set_schema() {
  static const image::ApiSetSchema schema(read_map());
  return schema;
}

bool schema_resolves(const std::string& name) {
  if (!image::is_api_set_name(name)) return false;
  const image::ApiSetSchema::Lookup found = process_api_set_schema().find(name);
  return found.answer == image::ApiSetSchema::Answer::unknown || !found.host.empty();
}

}  // namespace tarnwick::win32
