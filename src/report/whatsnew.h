#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "files/search_order.h"
#include "platform/report_controls.h"
#include "platform/platform.h"
#include "report/report_facts.h"
#include "report/report_lines.h"

namespace tarnwick {

// The window's logic: its fields, its public operations and its event
// handlers. The real window (win32 only) owns one and hands it its controls.
class Whatsnew {
 public:
  Whatsnew(Platform& platform, TextBox& rich_text_file_path, ListBox& list_dll);

  // Public operations.
  void get_KTR_version(std::int32_t& verBytes, std::int32_t& verMajor,
                       std::int32_t& verMinor);
  std::string VBFindDLL(const std::string& fname);
  std::string VBFindFileInPath(const std::string& fname);
  void VB_get_path_folders();

  // Searches for the table's files and reads their versions ahead of the
  // load event, putting each found name this process has not loaded to the
  // load probe, so that the helper tests them while the window is made.
  // Shows and raises nothing: what the search has to tell, and a failure,
  // are told in their place when Form_Load writes the report, which then
  // takes this search's findings instead of searching again.
  void search_ahead();

  // Event handlers. Form_Load tells whether the report was built to its end;
  // after a failure the box holds the report as far as it got.
  bool Form_Load();
  void Command_copy_text_Click();

  // Form fields.
  std::unique_ptr<FileSystemObject> file_system;
  std::string windows_folder;
  std::string system_folder;
  // Counted from the PATH folder list: 0 while it is not built, -1 once
  // built when PATH names no folder, else the number of folders.
  std::int32_t path_folder_count() const;

  // The report as data, recorded while its lines are written.
  const ReportFacts& facts() const { return facts_; }

  // Every copy of each found library's name along the search, with its
  // version and machine, into the facts: all of them at once (for the
  // document), or the one on the report line `line` (for the window, when
  // the caret reaches it; true when they were looked for now). Shows and
  // raises nothing: a folder that cannot be read holds no copy to tell of.
  void find_copies();
  bool find_copies_for_line(const std::string& line);

 private:
  // A table entry as the search found it: path "" when not found.
  struct FoundFile {
    std::string name;
    std::string path;
    std::string version;
  };

  // What a search found, and what it has to tell when the report reaches it.
  struct Search {
    // Raised before any file was looked for: nothing of the report follows.
    std::exception_ptr setup_failure;
    std::vector<FoundFile> found;
    // Raised while looking for the entry after the last one found.
    std::exception_ptr failure;
    std::vector<std::string> notices;
  };

  FileSystemObject& file_system_object();
  // The folders of one place of the search; PATH's are built on first need.
  std::vector<std::string> folders_at(SearchPlace place);
  std::string first_found(std::span<const SearchPlace> order, const std::string& fname);
  void build_report();
  void append_line(const std::string& line);
  FoundFile find_file(const std::string& name);
  void append_file_line(const FoundFile& file);
  void append_module_section();
  std::vector<std::string> copy_folders_at(SearchPlace place);
  void find_copies_of(EntryFacts& entry);
  // A message box for the user, remembered among the report's notices.
  void notify(const std::string& text);
  // Tells once that libraries were loaded in this process, when they were.
  void notify_if_loaded_in_process();

  Platform& platform_;
  TextBox& RichText_file_path;
  ListBox& List_DLL;
  ReportFacts facts_;
  // PATH's folders, once built; kept for the window's life.
  std::optional<std::vector<std::string>> path_folders_;
  bool told_loads_in_process_ = false;
  std::optional<Search> search_;  // made ahead, not yet taken by Form_Load
  bool holding_notices_ = false;  // while searching ahead
};

}  // namespace tarnwick
