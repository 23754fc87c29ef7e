#include "probe/import_walk.h"

#include <windows.h>

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/win32/utf16.h"
#include "probe/file_image.h"
#include "probe/side_by_side_win32.h"

namespace tarnwick::win32 {

namespace {

// Bounds of one walk of the imports: a loop of imports, a chain of
// libraries or forwarders, or a table of absurd length ends here, not in the
// walk's time.
constexpr int kDeepest = 6;                     // levels below the library asked about
constexpr int kLongestForwarding = 8;           // forwarders followed from one import
constexpr std::size_t kMostFilesWalked = 64;    // libraries whose imports are read
constexpr std::size_t kMostExportTables = 128;  // libraries whose exports are read
constexpr std::size_t kMostMissing = 32;
// The walk runs while the program waits for the helper's answer, whose
// patience is 4 s: a long PATH, or a slow folder on it, must not use it up.
constexpr ULONGLONG kWalkBudget = 1500;  // milliseconds

std::string with_machine(const std::string& library, const Resolved& found) {
  return library + " (" + found.machine + ")";
}

}  // namespace

void ImportWalk::run(const std::wstring& name, Tables tables) {
  const Resolved top = search_.find(name);
  if (top.kind == Resolved::Kind::missing) tell(to_utf8(name));
  if (top.kind != Resolved::Kind::file) return;
  queue(top.path, 0);
  const ULONGLONG deadline = GetTickCount64() + kWalkBudget;
  while (next_ < waiting_.size() && next_ < kMostFilesWalked &&
         details_.missing.size() < kMostMissing && GetTickCount64() < deadline) {
    const Waiting walked = waiting_[next_++];
    image::Imports imports;
    std::vector<std::string> assemblies;
    {
      const FileImage file(walked.path);
      if (!file.loadable_here()) continue;
      // What its manifest requires comes first: the system makes the
      // library's activation context before it resolves any import.
      assemblies = assemblies_not_provided(walked.path, *file.image());
      imports = file.image()->imports();
      if (tables == Tables::with_delayed) {
        image::Imports delayed = file.image()->delay_imports();
        for (image::ImportedLibrary& library : delayed.libraries)
          imports.libraries.push_back(std::move(library));
      }
    }
    for (const std::string& assembly : assemblies) tell(assembly);
    if (imports.libraries.empty()) continue;
    const ManifestContext context(walked.path);
    for (const image::ImportedLibrary& library : imports.libraries)
      resolve(library, context, walked.depth);
  }
}

void ImportWalk::resolve(const image::ImportedLibrary& library, const ManifestContext& context,
                         int depth) {
  const Resolved found = search_.find(to_wide(library.name), context);
  if (found.kind == Resolved::Kind::missing) return tell(library.name);
  if (found.kind == Resolved::Kind::other_machine) return tell(with_machine(library.name, found));
  for (const std::string& entry : library.entries)
    check_entry(library.name, found.path, entry, depth, 0);
  if (found.kind == Resolved::Kind::file) queue(found.path, depth + 1);
}

void ImportWalk::check_entry(const std::string& library, const std::wstring& path,
                             const std::string& entry, int depth, int forwards) {
  const image::Exports* exports = exports_of(path);
  if (exports == nullptr) return;
  const image::Export* found = exports->find(entry);
  if (found == nullptr) return tell(library + "!" + entry);
  if (!found->forwarder.empty() && forwards < kLongestForwarding)
    follow(found->forwarder, depth, forwards + 1);
}

// A forwarder names its target library without its extension, then the
// entry by name or as "#ordinal", after the last dot.
void ImportWalk::follow(const std::string& forwarder, int depth, int forwards) {
  const std::size_t dot = forwarder.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == forwarder.size()) return;
  const std::string library = forwarder.substr(0, dot) + ".dll";
  const std::string entry = forwarder.substr(dot + 1);
  const Resolved found = search_.find(to_wide(library));
  if (found.kind == Resolved::Kind::missing) return tell(library);
  if (found.kind == Resolved::Kind::other_machine) return tell(with_machine(library, found));
  check_entry(library, found.path, entry, depth, forwards);
  // The system loads the target, and so what it imports.
  if (found.kind == Resolved::Kind::file) queue(found.path, depth + 1);
}

void ImportWalk::queue(const std::wstring& path, int depth) {
  if (depth < kDeepest && queued_.insert(folded(path)).second) waiting_.push_back({path, depth});
}

void ImportWalk::tell(const std::string& what) {
  if (details_.missing.size() < kMostMissing && told_.insert(what).second)
    details_.missing.push_back(what);
}

const image::Exports* ImportWalk::exports_of(const std::wstring& path) {
  if (path.empty()) return nullptr;
  const std::wstring key = folded(path);
  auto known = exports_.find(key);
  if (known == exports_.end()) {
    if (exports_.size() >= kMostExportTables) return nullptr;
    std::optional<image::Exports> read;
    const FileImage file(path);
    if (file.loadable_here()) {
      read = file.image()->exports();
      if (read->cut_short) read.reset();
    }
    known = exports_.emplace(key, std::move(read)).first;
  }
  return known->second ? &*known->second : nullptr;
}

}  // namespace tarnwick::win32
