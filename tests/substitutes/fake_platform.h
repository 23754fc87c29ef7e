#pragma once

// Small substitutes of the platform with scripted answers. Each records what
// the logic asked of it so tests can check calls as well as results.

#include <algorithm>
#include <cstring>
#include <optional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/platform.h"

namespace tarnwick::fake {

// The Win32 codes the real platform would raise for the scripted failures.
inline constexpr long kAccessDenied = 5;          // ERROR_ACCESS_DENIED
inline constexpr long kPathNotFound = 3;          // ERROR_PATH_NOT_FOUND
inline constexpr long kInvalidName = 123;         // ERROR_INVALID_NAME
inline constexpr long kModuleNotFound = 126;      // ERROR_MOD_NOT_FOUND
inline constexpr long kProcedureNotFound = 127;   // ERROR_PROC_NOT_FOUND

class Kernel32 : public tarnwick::Kernel32 {
 public:
  // Names already loaded in the process.
  std::set<std::string> loaded;

  ModuleHandle module_handle(const std::string& name) override {
    return loaded.count(name) ? handle_for(name) : 0;
  }
  // A loaded module's file is in C:\Modules.
  std::string module_path(ModuleHandle module) override {
    for (const std::string& name : loaded)
      if (handle_for(name) == module) return "C:\\Modules\\" + name;
    return "";
  }

  // Processes: ids that can be opened, and the handles given out.
  std::map<std::uint32_t, ProcessHandle> openable;
  std::vector<std::uint32_t> open_attempts;
  std::vector<ProcessHandle> opened;
  std::vector<ProcessHandle> closed;
  std::int32_t platform = 2;
  int platform_queries = 0;
  // The id of the process the logic runs in.
  std::uint32_t own_id = 7;

  ProcessHandle open_process(std::uint32_t access, bool inherit,
                             std::uint32_t process_id) override {
    last_access = access;
    last_inherit = inherit;
    open_attempts.push_back(process_id);
    auto it = openable.find(process_id);
    if (it == openable.end()) return 0;
    opened.push_back(it->second);
    return it->second;
  }
  void close_handle(ProcessHandle handle) override { closed.push_back(handle); }
  std::uint32_t current_process_id() override { return own_id; }
  std::int32_t platform_id() override {
    ++platform_queries;
    return platform;
  }
  std::uint32_t last_access = 0;
  bool last_inherit = true;

  // Environment.
  std::map<std::string, std::string> environment;
  std::string current_folder = "C:\\Work";
  int environment_reads = 0;

  std::string environment_variable(const std::string& name) override {
    ++environment_reads;
    auto it = environment.find(name);
    return it == environment.end() ? std::string() : it->second;
  }
  std::string current_directory() override { return current_folder; }

  // Clock: a fixed time, rendered as day/month/year and 24-hour time.
  LocalTime now{2026, 12, 8, 14, 5, 9};
  LocalTime local_time() override { return now; }
  std::string short_date(const LocalTime& t) override {
    return two(t.day) + "/" + two(t.month) + "/" + std::to_string(t.year);
  }
  std::string long_time(const LocalTime& t) override {
    return two(t.hour) + ":" + two(t.minute) + ":" + two(t.second);
  }

  static ModuleHandle handle_for(const std::string& name) {
    return 0x10000 + std::hash<std::string>{}(name) % 0x1000 * 0x10;
  }

 private:
  static std::string two(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
  }
};

// Version information: a file's whole block is its fixed record, so the
// root query points at the start of the buffer.
class VersionLibrary : public tarnwick::VersionLibrary {
 public:
  struct Record {
    std::uint32_t ms = 0;
    std::uint32_t ls = 0;
    std::uint32_t reported_length = 52;
    bool read_fails = false;
    bool query_fails = false;
  };
  std::map<std::string, Record> files;
  std::vector<std::string> size_queries;

  static constexpr std::uint32_t kBlockSize = 96;

  std::uint32_t file_version_info_size(const std::string& path) override {
    size_queries.push_back(path);
    return files.count(path) ? kBlockSize : 0;
  }
  bool file_version_info(const std::string& path, std::uint32_t size,
                         void* buffer) override {
    const Record& r = files.at(path);
    if (r.read_fails) return false;
    std::vector<std::uint32_t> block(kBlockSize / 4, 0xEEEEEEEE);
    block[0] = 0xFEEF04BD;
    block[1] = 0x00010000;
    block[2] = r.ms;
    block[3] = r.ls;
    block[4] = 0x00090008;  // product version, which must never show
    block[5] = 0x00070006;
    std::memcpy(buffer, block.data(), size < kBlockSize ? size : kBlockSize);
    current_ = &r;
    return true;
  }
  bool query_root(const void* block, const void*& record,
                  std::uint32_t& length) override {
    if (current_ == nullptr || current_->query_fails) return false;
    record = block;
    length = current_->reported_length;
    return true;
  }

 private:
  const Record* current_ = nullptr;
};

class FileSystemObject : public tarnwick::FileSystemObject {
 public:
  std::map<int, std::string> special_folders{{0, "C:\\Windows"},
                                             {1, "C:\\Windows\\system32"}};
  std::set<std::string> files;
  std::vector<std::string> tested;
  // When set, the existence test of this candidate raises.
  std::string failing_candidate;

  std::string special_folder_path(int folder) override {
    auto it = special_folders.find(folder);
    if (it == special_folders.end())
      throw SystemError(kPathNotFound, "FileSystemObject",
                        "The system cannot find the path specified.");
    return it->second;
  }
  bool file_exists(const std::string& path) override {
    tested.push_back(path);
    if (!failing_candidate.empty() && path == failing_candidate)
      throw SystemError(kInvalidName, "FileSystemObject",
                        "The filename, directory name, or volume label syntax is incorrect.");
    return files.count(path) != 0;
  }
  // The bytes a file starts with; files not named here cannot be read.
  std::map<std::string, std::vector<std::uint8_t>> starts;
  std::optional<std::vector<std::uint8_t>> read_start(const std::string& path,
                                                      std::size_t most) override {
    auto it = starts.find(path);
    if (it == starts.end()) return std::nullopt;
    return std::vector<std::uint8_t>(it->second.begin(),
                                     it->second.begin() + std::min(most, it->second.size()));
  }
};

// Hands out one file-system object and keeps a pointer to it for the test.
class ScriptingRuntime : public tarnwick::ScriptingRuntime {
 public:
  bool fails = false;
  std::unique_ptr<FileSystemObject> next = std::make_unique<FileSystemObject>();
  FileSystemObject* created = nullptr;

  std::unique_ptr<tarnwick::FileSystemObject> create_file_system_object() override {
    if (fails)
      throw SystemError(kModuleNotFound, "ScriptingRuntime",
                        "The file-system object cannot be made");
    created = next.get();
    return std::move(next);
  }
};

class ComponentLibrary : public tarnwick::ComponentLibrary {
 public:
  bool present = true;
  std::int32_t bytes = 12, major = 4, minor = 7;
  int calls = 0;
  void KTR_DLL_VERSION(std::int32_t* verBytes, std::int32_t* verMajor,
                       std::int32_t* verMinor) override {
    ++calls;
    if (!present)
      throw SystemError(kModuleNotFound, "KTR_Intel_Win32.dll",
                        "KTR_Intel_Win32.dll cannot be loaded");
    *verBytes = bytes;
    *verMajor = major;
    *verMinor = minor;
  }
};

class WindowSystem : public tarnwick::WindowSystem {
 public:
  std::vector<std::string> messages;
  std::string clipboard = "(something from another program)";
  int clipboard_failures_left = 0;

  // Where the event passes and the boxes are noted, when set.
  std::vector<std::string>* log = nullptr;

  void message_box(const std::string& text) override {
    messages.push_back(text);
    if (log != nullptr) log->push_back("message " + text);
  }
  void pump_pending_messages() override {
    if (log != nullptr) log->push_back("events");
  }
  void set_clipboard_text(const std::string& text) override {
    if (clipboard_failures_left > 0) {
      --clipboard_failures_left;
      throw SystemError(kAccessDenied, "Clipboard", "Access is denied.");
    }
    clipboard = text;
  }
};

class Application : public tarnwick::Application {
 public:
  std::string name = "Pelko_Files";
  std::string folder = "C:\\Program Files\\Tarnwick";
  AppVersion numbers{1, 0, 13};
  std::string exe_name() override { return name; }
  std::string path() override { return folder; }
  AppVersion version() override { return numbers; }
};

// Scripted processes: each has an id, the handle OpenProcess gives for it
// (see Kernel32::openable) and its module paths, the executable first.
class Psapi : public tarnwick::Psapi {
 public:
  struct Process {
    std::uint32_t id = 0;
    ProcessHandle handle = 0;
    std::vector<std::string> modules;
    bool modules_fail = false;
    // Modules the process loads right after a module query, one batch per
    // query, so the next query finds more than the last one reported.
    std::vector<std::vector<std::string>> loads_after_query = {};
  };
  std::vector<Process> processes;
  // When set to "EnumProcessModules" or
  // "GetModuleFileNameExW", that call raises as an unbound entry point does.
  std::string missing_entry_point;
  std::vector<std::uint32_t> module_table_sizes;  // bytes, per query
  int file_name_queries = 0;

  // Registers a process that can be opened and returns it for tweaking.
  Process& add(Kernel32& kernel32, std::uint32_t id,
               std::vector<std::string> modules) {
    ProcessHandle handle = 0x7000 + id;
    kernel32.openable[id] = handle;
    processes.push_back({id, handle, std::move(modules), false});
    return processes.back();
  }

  // Where the listing notes its start, when set.
  std::vector<std::string>* log = nullptr;

  bool enum_process_modules(ProcessHandle process, ModuleHandle* modules,
                            std::uint32_t byte_size,
                            std::uint32_t& bytes_needed) override {
    if (log != nullptr) log->push_back("list modules");
    raise_if_missing("EnumProcessModules");
    module_table_sizes.push_back(byte_size);
    const Process* p = find(process);
    if (p == nullptr || p->modules_fail) return false;
    const std::size_t fits = byte_size / sizeof(ModuleHandle);
    for (std::size_t i = 0; i < p->modules.size() && i < fits; ++i)
      modules[i] = module_handle(i);
    bytes_needed =
        static_cast<std::uint32_t>(p->modules.size() * sizeof(ModuleHandle));
    load_next_batch(process);
    return true;
  }
  std::string module_file_name(ProcessHandle process,
                               ModuleHandle module) override {
    raise_if_missing("GetModuleFileNameExW");
    ++file_name_queries;
    const Process* p = find(process);
    if (p == nullptr) return "";
    const std::size_t index = (module - 0x400000) / 0x10000;
    return index < p->modules.size() ? p->modules[index] : std::string();
  }

  static ModuleHandle module_handle(std::size_t index) {
    return 0x400000 + index * 0x10000;
  }

 private:
  const Process* find(ProcessHandle handle) const {
    for (const Process& p : processes)
      if (p.handle == handle) return &p;
    return nullptr;
  }
  void load_next_batch(ProcessHandle handle) {
    for (Process& p : processes) {
      if (p.handle != handle || p.loads_after_query.empty()) continue;
      const std::vector<std::string>& batch = p.loads_after_query.front();
      p.modules.insert(p.modules.end(), batch.begin(), batch.end());
      p.loads_after_query.erase(p.loads_after_query.begin());
    }
  }
  void raise_if_missing(const std::string& entry_point) const {
    if (missing_entry_point == entry_point)
      throw SystemError(kProcedureNotFound, "psapi.dll",
                        "psapi.dll has no entry point " + entry_point);
  }
};

// The load questions as a helper process would answer them: a load succeeds
// for the names in `loadable`, the component library answers unless told
// otherwise. Every question, and the helper's start and end, goes to `log`
// (shared with the process listing, so their order shows).
class LoadProbe : public tarnwick::LoadProbe {
 public:
  explicit LoadProbe(std::vector<std::string>& log) : log_(log) {}
  std::set<std::string> loadable;
  bool component_ok = true;
  // As after the system refused every helper.
  bool in_process = false;

  void start() override { log_.push_back("start"); }
  void ask_ahead(const std::string& name) override { log_.push_back("ask " + name); }
  LoadAnswer try_load(const std::string& name) override {
    log_.push_back("load " + name);
    LoadAnswer answer;
    answer.loads = loadable.count(name) > 0;
    if (answer.loads) answer.details.loaded_from = "C:\\Loaded\\" + name;
    else answer.details.error = 126;
    return answer;
  }
  bool component_answers() override {
    log_.push_back("component");
    return component_ok;
  }
  bool loads_in_process() const override { return in_process; }
  void finish() override { log_.push_back("finish"); }

 private:
  std::vector<std::string>& log_;
};

// The whole platform built from the substitutes above.
struct FakePlatform {
  FakePlatform() {
    psapi.log = &log;
    window_system.log = &log;
  }
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  std::vector<std::string> log;
  Kernel32 kernel32;
  Psapi psapi;
  VersionLibrary version;
  ScriptingRuntime scripting;
  ComponentLibrary component;
  LoadProbe load_probe{log};
  WindowSystem window_system;
  Application app;
  tarnwick::Platform platform{kernel32,   psapi,         version, scripting, component,
                              load_probe, window_system, app};
};

}  // namespace tarnwick::fake
