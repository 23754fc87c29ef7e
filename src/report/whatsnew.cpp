#include "report/whatsnew.h"

#include <exception>
#include <utility>
#include <vector>

#include "common/trim_and_upper.h"
#include "files/file_version.h"
#include "platform/error.h"
#include "report/system_files.h"

namespace tarnwick {

namespace {

constexpr const char* kLocateFailure = "An error occurred while locating the file: ";
constexpr const char* kPathUndefined = "The path is undefined";
constexpr const char* kCopyFailure = "The report could not be copied to the clipboard: ";
constexpr const char* kLoadsInProcess =
    "No helper process could be started, so the libraries were loaded inside this program";

}  // namespace

Whatsnew::Whatsnew(Platform& platform, TextBox& rich_text_file_path,
                   ListBox& list_dll)
    : platform_(platform),
      RichText_file_path(rich_text_file_path),
      List_DLL(list_dll) {}

void Whatsnew::get_KTR_version(std::int32_t& verBytes, std::int32_t& verMajor,
                               std::int32_t& verMinor) {
  verBytes = 0;
  verMajor = 0;
  verMinor = 0;
  // Checked at arm's length first: a library that faults, ends the process
  // or hangs when loaded or asked is not let into this process at all.
  const bool answers = platform_.load_probe.component_answers();
  notify_if_loaded_in_process();
  if (!answers) return;
  try {
    platform_.component.KTR_DLL_VERSION(&verBytes, &verMajor, &verMinor);
  } catch (const std::exception&) {
    // A machine without the component library, or with one that fails
    // inside the call, still gets its report. A call that faulted may have
    // written some of the values first: none of them is an answer.
    verBytes = 0;
    verMajor = 0;
    verMinor = 0;
  }
}

FileSystemObject& Whatsnew::file_system_object() {
  if (!file_system)
    throw SystemError(OwnError::kNoFileSystem, "Whatsnew",
                      "The file search ran before its file-system object was made");
  return *file_system;
}

std::vector<std::string> Whatsnew::folders_at(SearchPlace place) {
  switch (place) {
    case SearchPlace::program_folder:
      return {platform_.app.path()};  // read afresh at every lookup
    case SearchPlace::system_folder:
      return {system_folder};
    case SearchPlace::windows_folder:
      return {windows_folder};
    case SearchPlace::current_folder:
      return {platform_.kernel32.current_directory()};
    case SearchPlace::path_folders:
      if (!path_folders_) VB_get_path_folders();
      return *path_folders_;
    case SearchPlace::system16_folder:
      break;  // not a place of the report's search
  }
  return {};
}

std::string Whatsnew::first_found(std::span<const SearchPlace> order, const std::string& fname) {
  FileSystemObject& fs = file_system_object();
  return tarnwick::first_found(
      order, fname, [this](SearchPlace place) { return folders_at(place); },
      [&fs](const std::string& candidate) { return fs.file_exists(candidate); });
}

std::string Whatsnew::VBFindDLL(const std::string& fname) {
  return first_found(kReportOrder, fname);
}

std::string Whatsnew::VBFindFileInPath(const std::string& fname) {
  constexpr SearchPlace kPathStage[] = {SearchPlace::path_folders};
  return first_found(kPathStage, fname);
}

void Whatsnew::VB_get_path_folders() {
  path_folders_ = split_path_folders(platform_.kernel32.environment_variable("PATH"));
  if (path_folders_->empty()) notify(kPathUndefined);
}

std::int32_t Whatsnew::path_folder_count() const {
  if (!path_folders_) return 0;
  return path_folders_->empty() ? -1 : static_cast<std::int32_t>(path_folders_->size());
}

bool Whatsnew::Form_Load() {
  facts_ = ReportFacts{};
  told_loads_in_process_ = false;
  try {
    build_report();
    facts_.complete = true;
  } catch (const std::exception& error) {
    platform_.load_probe.finish();
    notify(kLocateFailure + std::string(error.what()));
  }
  return facts_.complete;
}

void Whatsnew::notify(const std::string& text) {
  if (holding_notices_) {
    search_->notices.push_back(text);
    return;
  }
  facts_.notices.push_back(text);
  platform_.window_system.message_box(text);
}

void Whatsnew::notify_if_loaded_in_process() {
  if (told_loads_in_process_ || !platform_.load_probe.loads_in_process()) return;
  told_loads_in_process_ = true;
  notify(kLoadsInProcess);
}

void Whatsnew::search_ahead() {
  Search& search = search_.emplace();
  platform_.load_probe.start();
  struct Holding {
    bool& holding;
    explicit Holding(bool& flag) : holding(flag) { holding = true; }
    ~Holding() { holding = false; }
  } holding_notices{holding_notices_};
  try {
    file_system = platform_.scripting.create_file_system_object();
    windows_folder = file_system->special_folder_path(FileSystemObject::kWindowsFolder);
    system_folder = file_system->special_folder_path(FileSystemObject::kSystemFolder);
  } catch (const std::exception&) {
    search.setup_failure = std::current_exception();
    return;
  }
  // A search that fails still leaves the entries before it to be written,
  // as they would have been, before the failure is told.
  try {
    for (std::string_view name : kSystemFileTable)
      search.found.push_back(find_file(std::string(name)));
  } catch (const std::exception&) {
    search.failure = std::current_exception();
  }
}

void Whatsnew::build_report() {
  // Who and when first, so that even a report that stops before its header
  // can say which program it came from.
  Application& app = platform_.app;
  Kernel32& kernel32 = platform_.kernel32;
  facts_.program_name = app.exe_name();
  facts_.program_version = app.version();
  facts_.time = kernel32.local_time();

  // The files are searched and their versions read while the helper loads
  // what it is asked; a search made ahead is used once.
  if (!search_) search_ahead();
  const Search search = std::move(*search_);
  search_.reset();
  if (search.setup_failure) std::rethrow_exception(search.setup_failure);
  RichText_file_path.set_text(
      header_line(facts_.program_name, facts_.program_version,
                  general_date(kernel32, facts_.time)) +
      "\r");
  for (const std::string& notice : search.notices) notify(notice);

  std::int32_t verBytes = 0, verMajor = 0, verMinor = 0;
  get_KTR_version(verBytes, verMajor, verMinor);
  append_line(component_version_line(verBytes, verMajor, verMinor));
  if (verBytes >= 1) facts_.component = ReportFacts::ComponentVersion{verMajor, verMinor};
  append_line("");

  for (const FoundFile& file : search.found) append_file_line(file);
  if (search.failure) std::rethrow_exception(search.failure);

  // The module section describes this process alone, with no helper left.
  platform_.load_probe.finish();
  append_module_section();
}

void Whatsnew::append_line(const std::string& line) {
  RichText_file_path.append("\r" + line);
}

Whatsnew::FoundFile Whatsnew::find_file(const std::string& name) {
  const std::string path = VBFindDLL(name);
  if (path.empty()) return {name, "", ""};
  FoundFile file{name, trim_spaces(path), ""};
  file.version = get_file_version(platform_.version, file.path);
  // Put to the helper now, so that its answer is ready when the line is
  // written. By the table name, not the found path: the system's own search
  // decides which copy a load would take.
  if (platform_.kernel32.module_handle(name) == 0) platform_.load_probe.ask_ahead(name);
  return file;
}

// "Loaded" is this process's own state when the line is written, after the
// component library has brought in what it needs; the load attempt runs the
// library's code and so is made at arm's length.
void Whatsnew::append_file_line(const FoundFile& file) {
  if (file.path.empty()) {
    append_line(file_not_found_line(file.name));
    facts_.entries.push_back({file.name, "", "", std::nullopt, {}});
    return;
  }
  EntryFacts entry{file.name, file.path, file.version, LoadState::loaded, {}};
  if (const ModuleHandle module = platform_.kernel32.module_handle(file.name); module != 0) {
    entry.load_details.loaded_from = platform_.kernel32.module_path(module);
  } else {
    LoadAnswer answer = platform_.load_probe.try_load(file.name);
    notify_if_loaded_in_process();
    entry.load = answer.loads ? LoadState::can_be_loaded : LoadState::cannot_be_loaded;
    entry.load_details = std::move(answer.details);
  }
  append_line(file_line(file.name, file.path, file.version, *entry.load));
  facts_.entries.push_back(std::move(entry));
}

void Whatsnew::Command_copy_text_Click() {
  try {
    platform_.window_system.set_clipboard_text(
        with_crlf_line_breaks(RichText_file_path.text()));
  } catch (const std::exception& error) {
    platform_.window_system.message_box(kCopyFailure + std::string(error.what()));
  }
}

}  // namespace tarnwick
