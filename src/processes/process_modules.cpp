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

SystemError overflow() {
  return SystemError(win32_error::kArithmeticOverflow, kSource, "Overflow");
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

std::vector<std::string> list_process_modules(Kernel32& kernel32, Psapi& psapi) {
  try {
    if (kernel32.platform_id() != kPlatformNt) return {};
    // The process is known by its id: its file name, whatever it is, says
    // nothing more, and another copy of the program is another process.
    OpenProcessHandle process(
        kernel32, kernel32.open_process(kProcessAccess, false, kernel32.current_process_id()));
    if (!process) return {};
    const auto modules = list_modules(psapi, process.get());
    if (!modules) return {};
    return dll_modules(psapi, process.get(), *modules);
  } catch (const SystemError& failure) {
    throw SystemError(failure.number(), failure.source(), kFailureDescription);
  } catch (const std::exception& failure) {
    throw SystemError(trapped_number(failure), kSource, kFailureDescription);
  }
}

}  // namespace tarnwick
