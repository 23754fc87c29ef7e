#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::image {

// Whether a library name is an API set contract's name: "api-" or "ext-"
// first, in any case. Only such names are looked up in the schema.
bool is_api_set_name(std::string_view name);

// The API set schema of a process, read from the bytes of its API set map in
// any of the three layouts the system has used: version 2 (Windows 7),
// version 4 (Windows 8.1) and version 6 (Windows 10 and later). The map is
// foreign bytes: every offset, count and length is checked against its size,
// and a map that cannot be read answers "unknown", never with a fault.
class ApiSetSchema {
 public:
  enum class Answer {
    unknown,    // no map, a layout not known, or a map that lies
    undefined,  // the schema has no such contract
    defined,
  };
  struct Lookup {
    Answer answer = Answer::unknown;
    // The library the contract resolves to by default; empty where the
    // schema defines the contract with no library behind it, which the
    // system cannot load either.
    std::string host;
  };

  ApiSetSchema() = default;
  explicit ApiSetSchema(std::vector<unsigned char> map);

  // 2, 4 or 6; 0 for a map whose header cannot be read.
  std::uint32_t version() const { return version_; }

  // `name` as a library is imported ("api-ms-win-core-synch-l1-2-0.dll", in
  // any case, with or without ".dll"), matched as the system matches it:
  // versions 2 and 4 keep the whole name, version 6 only the name up to its
  // last hyphen, so that any minor version of a contract resolves.
  Lookup find(std::string_view name) const;

 private:
  Lookup find_v2_v4(std::string_view name) const;
  Lookup find_v6(std::string_view name) const;

  std::vector<unsigned char> map_;
  std::uint32_t version_ = 0;
};

}  // namespace tarnwick::image
