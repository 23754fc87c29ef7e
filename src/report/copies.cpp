#include <exception>
#include <string>
#include <vector>

#include "common/trim_and_upper.h"
#include "files/file_version.h"
#include "files/search_order.h"
#include "report/line_details.h"
#include "report/whatsnew.h"

namespace tarnwick {

// The copies are looked for after the report, never on its way: the
// document asks for all of them, the window for the caret's line.

void Whatsnew::find_copies() {
  for (EntryFacts& entry : facts_.entries) find_copies_of(entry);
}

bool Whatsnew::find_copies_for_line(const std::string& line) {
  const EntryFacts* entry = entry_of_line(facts_, line);
  if (entry == nullptr || !entry->load || entry->copies) return false;
  find_copies_of(facts_.entries[static_cast<std::size_t>(entry - facts_.entries.data())]);
  return true;
}

std::vector<std::string> Whatsnew::copy_folders_at(SearchPlace place) {
  // PATH as the report split it; read here, quietly, when the report never
  // reached it: an undefined PATH was told of in its place, or needs no
  // telling when every file was found before it.
  if (place == SearchPlace::path_folders && !path_folders_)
    return split_path_folders(platform_.kernel32.environment_variable("PATH"));
  return folders_at(place);
}

void Whatsnew::find_copies_of(EntryFacts& entry) {
  if (!entry.load || entry.copies) return;
  std::vector<FileCopy>& copies = entry.copies.emplace();
  if (!file_system) return;
  FileSystemObject& fs = *file_system;
  const std::vector<std::string> paths = every_found(
      kReportOrder, entry.name, [this](SearchPlace place) { return copy_folders_at(place); },
      [&fs](const std::string& candidate) { return fs.file_exists(candidate); });
  for (const std::string& found : paths) {
    FileCopy copy{trim_spaces(found), "", ""};
    copy.version =
        copy.path == entry.path ? entry.version : get_file_version(platform_.version, copy.path);
    copy.machine = file_machine(fs, copy.path);
    copies.push_back(std::move(copy));
  }
}

}  // namespace tarnwick
