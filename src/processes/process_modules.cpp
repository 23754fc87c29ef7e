#include "processes/process_modules.h"

#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "common/trim_and_upper.h"
#include "platform/error.h"

namespace tarnwick {

namespace {

constexpr const char* kSource = "list_process_modules";
constexpr const char* kFailureDescription = "ProcessInfo";

// Query information (0x400) and read process memory (0x10): the least that
// lets the module list and the module paths be read.
constexpr std::uint32_t kProcessAccess = 0x410;
constexpr std::size_t kFirstModuleTableEntries = 200;
constexpr std::int32_t kFirstIdBufferBytes = 8;
// Large enough that the first enumeration attempt always runs.
constexpr std::uint32_t kFirstReportedBytes = 96;
constexpr std::uint32_t kIdBytes = sizeof(std::uint32_t);

SystemError overflow() {
  return SystemError(win32_error::kArithmeticOverflow, kSource, "Overflow");
}

// Arithmetic on 32-bit numbers fails rather than wraps.
std::int32_t checked_int32(std::int64_t value) {
  if (value > std::numeric_limits<std::int32_t>::max() ||
      value < std::numeric_limits<std::int32_t>::min())
    throw overflow();
  return static_cast<std::int32_t>(value);
}

// Closes the process handle on every way out, a raised failure included.
class OpenProcessHandle {
 public:
  OpenProcessHandle(Kernel32& kernel32, ProcessHandle handle)
      : kernel32_(kernel32), handle_(handle) {}
  OpenProcessHandle(const OpenProcessHandle&) = delete;
  OpenProcessHandle& operator=(const OpenProcessHandle&) = delete;
  ~OpenProcessHandle() {
    if (handle_ == 0) return;
    try {
      kernel32_.close_handle(handle_);
    } catch (...) {
      // Nothing depends on the close succeeding, and a destructor that
      // raises while a failure unwinds would end the program.
    }
  }

  ProcessHandle get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }

 private:
  Kernel32& kernel32_;
  ProcessHandle handle_;
};

// The ids of the running processes. The buffer doubles until an attempt
// leaves room to spare, so a full buffer never hides a process.
std::vector<std::uint32_t> collect_process_ids(Psapi& psapi) {
  std::int32_t buffer_bytes = kFirstIdBufferBytes;
  std::uint32_t reported_bytes = kFirstReportedBytes;
  std::vector<std::uint32_t> ids;
  while (static_cast<std::uint32_t>(buffer_bytes) <= reported_bytes) {
    if (buffer_bytes > std::numeric_limits<std::int32_t>::max() / 2)
      throw overflow();
    buffer_bytes *= 2;
    ids.assign(static_cast<std::size_t>(buffer_bytes) / kIdBytes, 0);
    psapi.enum_processes(ids.data(), static_cast<std::uint32_t>(buffer_bytes),
                         reported_bytes);
  }
  ids.resize(reported_bytes / kIdBytes);
  return ids;
}

// The module handles of a process in its module order, the executable
// first; nothing when the modules cannot be listed. The table grows to what
// the system reports, and is asked again while the process keeps loading
// modules between the queries.
std::optional<std::vector<ModuleHandle>> list_modules(Psapi& psapi,
                                                      ProcessHandle process) {
  std::vector<ModuleHandle> table(kFirstModuleTableEntries, 0);
  for (;;) {
    const std::size_t table_bytes = table.size() * sizeof(ModuleHandle);
    if (table_bytes > std::numeric_limits<std::uint32_t>::max()) throw overflow();
    std::uint32_t needed_bytes = 0;
    if (!psapi.enum_process_modules(process, table.data(),
                                    static_cast<std::uint32_t>(table_bytes),
                                    needed_bytes))
      return std::nullopt;
    if (needed_bytes <= table_bytes) {
      table.resize(needed_bytes / sizeof(ModuleHandle));
      return table;
    }
    table.assign((needed_bytes + sizeof(ModuleHandle) - 1) / sizeof(ModuleHandle), 0);
  }
}

std::string remove_nuls(std::string text) {
  std::erase(text, '\0');
  return text;
}

// The file name of the process's executable, upper case; "" when its path
// cannot be read.
std::string executable_file_name(Psapi& psapi, ProcessHandle process,
                                 ModuleHandle executable) {
  const std::string path = trim_spaces(remove_nuls(
      to_upper(trim_spaces(psapi.module_file_name(process, executable)))));
  const std::int16_t fields = count_fields(path, "\\");
  return get_field(path, "\\", 0, 0, fields - 1);
}

bool ends_with_dll(const std::string& path) { return path.ends_with(".DLL"); }

// The ".DLL" modules of the matching process, upper case.
std::vector<std::string> dll_modules(Psapi& psapi, ProcessHandle process,
                                     const std::vector<ModuleHandle>& modules) {
  std::vector<std::string> paths;
  for (ModuleHandle module : modules) {
    std::string path = to_upper(trim_spaces(psapi.module_file_name(process, module)));
    if (ends_with_dll(path)) paths.push_back(std::move(path));
  }
  return paths;
}

long trapped_number(const std::exception& failure) {
  if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr)
    return win32_error::kNotEnoughMemory;
  return static_cast<long>(OwnError::kInternal);
}

}  // namespace

std::vector<std::string> list_process_modules(Kernel32& kernel32, Psapi& psapi,
                                              std::string exe_file_name) {
  try {
    if (kernel32.platform_id() != kPlatformNt) return {};
    const std::string wanted = get_file_name_upper(trim_spaces(exe_file_name));
    const std::uint32_t own_id = kernel32.current_process_id();
    for (std::uint32_t id : collect_process_ids(psapi)) {
      // Only this process is ours to list: another copy of the program,
      // started from another folder, has the same file name.
      if (id != own_id) continue;
      OpenProcessHandle process(kernel32, kernel32.open_process(kProcessAccess, false, id));
      if (!process) continue;
      const auto modules = list_modules(psapi, process.get());
      if (!modules) continue;
      // An empty module list leaves a null module handle, which the
      // system reads as the process's own executable.
      const ModuleHandle executable = modules->empty() ? 0 : modules->front();
      if (executable_file_name(psapi, process.get(), executable) != wanted) continue;
      return dll_modules(psapi, process.get(), *modules);
    }
    return {};
  } catch (const SystemError& failure) {
    throw SystemError(failure.number(), failure.source(), kFailureDescription);
  } catch (const std::exception& failure) {
    throw SystemError(trapped_number(failure), kSource, kFailureDescription);
  }
}

std::string get_file_name_upper(const std::string& path) {
  const std::size_t last = path.rfind('\\');
  return to_upper(last == std::string::npos ? path : path.substr(last + 1));
}

std::int16_t count_fields(const std::string& text, const std::string& delimiter) {
  if (text.empty()) return 0;
  std::string rest = text + delimiter;
  std::int16_t count = 0;
  // Searching on one character past the start of each occurrence counts
  // overlapping occurrences of a longer delimiter.
  for (;;) {
    const std::size_t position = rest.find(delimiter);
    if (rest.empty() || position == std::string::npos) break;
    if (count == std::numeric_limits<std::int16_t>::max()) throw overflow();
    ++count;
    rest.erase(0, position + 1);
  }
  return count;
}

std::string get_field(const std::string& text, const std::string& delimiter,
                      std::int32_t row, std::int32_t row_width,
                      std::int32_t column) {
  const std::int32_t k = checked_int32(
      checked_int32(std::int64_t{row} * row_width) + std::int64_t{column});
  // An empty delimiter occurs at the very start, so every field is empty.
  if (delimiter.empty()) return {};
  std::string rest = text + delimiter;
  for (std::int32_t i = 0; i < k; ++i) {
    const std::size_t position = rest.find(delimiter);
    if (position == std::string::npos) return {};
    rest.erase(0, position + delimiter.size());
    if (rest.empty()) return {};
  }
  return rest.substr(0, rest.find(delimiter));
}

}  // namespace tarnwick
