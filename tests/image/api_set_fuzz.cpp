// Whatever the bytes, reading them as an API set map, or as a library's
// manifest, answers: no read outside them, no overflow, no hang. Both are
// foreign bytes the explanation of a failed load reads.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "image/api_set_schema.h"
#include "image/manifest_dependencies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarnwick::image;
  const ApiSetSchema schema(std::vector<unsigned char>(data, data + size));
  for (const char* name : {"api-ms-win-core-synch-l1-2-0.dll", "API-MS-WIN-CORE-SYNCH-L1-1-0",
                           "ext-ms-win-tarnwick-empty-l1-1-0.dll", "api-ms-win-crt-runtime-l1-1-0.dll",
                           "api-", "ext--.dll", "kernel32.dll"}) {
    const ApiSetSchema::Lookup found = schema.find(name);
    // Only a map that was read can tell anything.
    if (schema.version() == 0 && found.answer != ApiSetSchema::Answer::unknown) __builtin_trap();
  }
  for (const AssemblyIdentity& assembly :
       dependent_assemblies(std::string_view(reinterpret_cast<const char*>(data), size)))
    if (assembly.name.empty() || assembly_label(assembly).empty()) __builtin_trap();
  return 0;
}
