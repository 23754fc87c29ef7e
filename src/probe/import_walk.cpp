#include "probe/import_walk.h"

#include <windows.h>

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

#include "platform/win32/utf16.h"

namespace tarnwick::win32 {

namespace {

// Bounds of one walk of the imports: a loop of imports, a chain of
// libraries or a table of absurd length ends here, not in the walk's time.
constexpr int kDeepest = 6;                     // levels below the library asked about
constexpr std::size_t kMostFilesWalked = 64;    // libraries whose imports are read
constexpr std::size_t kMostExportTables = 128;  // libraries whose exports are read
constexpr std::size_t kMostMissing = 32;
// The walk runs while the program waits for the helper's answer, whose
// patience is 4 s: a long PATH, or a slow folder on it, must not use it up.
constexpr ULONGLONG kWalkBudget = 1500;  // milliseconds

}  // namespace

void ImportWalk::run(const std::wstring& name) {
  const Resolved top = search_.find(name);
  if (top.kind == Resolved::Kind::missing) tell(to_utf8(name));
  if (top.kind != Resolved::Kind::file) return;
  std::deque<std::pair<std::wstring, int>> waiting{{top.path, 0}};
  std::set<std::wstring> queued{folded(top.path)};
  std::size_t walked = 0;
  const ULONGLONG deadline = GetTickCount64() + kWalkBudget;
  while (!waiting.empty() && walked < kMostFilesWalked && details_.missing.size() < kMostMissing &&
         GetTickCount64() < deadline) {
    const auto [path, depth] = waiting.front();
    waiting.pop_front();
    ++walked;
    std::vector<ImportedLibrary> imports;
    {
      const MappedFile file(path);
      imports = read_imports(ImageFile(file, helpers_));
    }
    if (imports.empty()) continue;
    const ManifestContext context(path);
    for (const ImportedLibrary& library : imports) {
      const Resolved found = search_.find(to_wide(library.name), context);
      if (found.kind == Resolved::Kind::missing) {
        tell(library.name);
        continue;
      }
      if (const ExportTable* exports = exports_of(found.path))
        for (const std::string& entry : library.entries)
          if (!exports->has(entry)) tell(library.name + "!" + entry);
      if (found.kind == Resolved::Kind::file && depth + 1 < kDeepest &&
          queued.insert(folded(found.path)).second)
        waiting.emplace_back(found.path, depth + 1);
    }
  }
}

void ImportWalk::tell(const std::string& what) {
  if (details_.missing.size() < kMostMissing && told_.insert(what).second)
    details_.missing.push_back(what);
}

const ExportTable* ImportWalk::exports_of(const std::wstring& path) {
  if (path.empty()) return nullptr;
  const std::wstring key = folded(path);
  auto known = exports_.find(key);
  if (known == exports_.end()) {
    if (exports_.size() >= kMostExportTables) return nullptr;
    const MappedFile file(path);
    known = exports_.emplace(key, read_exports(ImageFile(file, helpers_))).first;
  }
  return known->second ? &*known->second : nullptr;
}

}  // namespace tarnwick::win32
