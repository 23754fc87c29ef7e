#pragma once

#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "image/pe_image.h"
#include "platform/load_probe.h"
#include "probe/loader_search.h"

namespace tarnwick::win32 {

// Walks the imports of the file the system would take for `name`, level by
// level, and lists what none of the places the system looks can give: a
// library nowhere ("library.dll"), found only as an image for another
// machine ("library.dll (x64)"), an entry point it lacks
// ("library.dll!Function", "library.dll!#12"), or a forwarder's target that
// is missing ("target.dll", "target.dll!Function").
class ImportWalk {
 public:
  enum class Tables {
    load_time,      // what the system resolves before the library runs
    with_delayed,   // and what the library's own code loads when first called
  };

  ImportWalk(const SystemSearch& search, LoadDetails& details) : search_(search), details_(details) {}

  void run(const std::wstring& name, Tables tables);

 private:
  struct Waiting {
    std::wstring path;
    int depth = 0;
  };

  // Looks up one imported library, and the entries asked of it.
  void resolve(const image::ImportedLibrary& library, const ManifestContext& context, int depth);
  // Whether `entry` of the library at `path`, imported as `library`, is
  // there; a forwarded one is followed to its target.
  void check_entry(const std::string& library, const std::wstring& path, const std::string& entry,
                   int depth, int forwards);
  void follow(const std::string& forwarder, int depth, int forwards);
  void queue(const std::wstring& path, int depth);
  // Each thing once, in the order found: nearest first.
  void tell(const std::string& what);
  // None where the table cannot be read whole: then nothing is said of what
  // the library lacks.
  const image::Exports* exports_of(const std::wstring& path);

  const SystemSearch& search_;
  LoadDetails& details_;
  std::unordered_map<std::wstring, std::optional<image::Exports>> exports_;
  std::set<std::string> told_;
  std::vector<Waiting> waiting_;
  std::size_t next_ = 0;
  std::set<std::wstring> queued_;
};

}  // namespace tarnwick::win32
