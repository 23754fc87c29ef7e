#pragma once

#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/load_probe.h"
#include "probe/image_file_win32.h"
#include "probe/loader_search.h"

namespace tarnwick::win32 {

// Walks the imports of the file the system would take for `name`, level by
// level, and lists what none of the places the system looks can give.
class ImportWalk {
 public:
  ImportWalk(const SystemSearch& search, const ImageHelpers& helpers, LoadDetails& details)
      : search_(search), helpers_(helpers), details_(details) {}

  void run(const std::wstring& name);

 private:
  // Each thing once, in the order found: nearest first.
  void tell(const std::string& what);
  const ExportTable* exports_of(const std::wstring& path);

  const SystemSearch& search_;
  const ImageHelpers& helpers_;
  LoadDetails& details_;
  std::unordered_map<std::wstring, std::optional<ExportTable>> exports_;
  std::set<std::string> told_;
};

}  // namespace tarnwick::win32
