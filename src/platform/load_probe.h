#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Why a load attempt went as it did, for a support engineer who must not
// have to reach for other tools. Every member is empty when not known; none
// of it ever changes the report's text.
struct LoadDetails {
  // The full path of the module the system loaded (loaded, or can be loaded).
  std::string loaded_from;
  // The system's error code of a failed load, and its own text for it.
  std::optional<std::uint32_t> error;
  std::string message;
  // The file's machine from its header, when it is of the other word size or
  // not a library at all: "x86", "x64", "arm64", "arm" or "unknown".
  std::string machine;
  // What cannot be resolved, nearest first: "library.dll" or
  // "library.dll!function".
  std::vector<std::string> missing;
  // The attempt ended its process (with its exit code when known), or kept
  // it past its patience.
  bool ended = false;
  std::optional<std::uint32_t> exit_code;
  bool timed_out = false;
};

struct LoadAnswer {
  bool loads = false;
  LoadDetails details;
};

// The questions about foreign libraries that run their code: what a load by
// bare name does, and whether the component library answers its version
// query. A library's initialisation may fault, end the process or never
// return, so the real probe asks them in a helper process; the program's own
// process only judges what it has already loaded.
//
// Questions may be put ahead of their turn, so that the helper works while
// the program does; their answers are taken in the order they were put.
class LoadProbe {
 public:
  virtual ~LoadProbe() = default;

  // Starts the helper and puts the component question to it at once. Safe
  // to call again.
  virtual void start() {}
  // Puts the question about `name` ahead of its turn; `try_load(name)` takes
  // its answer. Never waits.
  virtual void ask_ahead(const std::string& /*name*/) {}
  // What a load of `name` by the system's own search does; a library that
  // loads is released again at once. A question put ahead and passed over by
  // a later `try_load` is withdrawn.
  virtual LoadAnswer try_load(const std::string& name) = 0;
  // True when KTR_Intel_Win32.dll loads and its KTR_DLL_VERSION returns.
  virtual bool component_answers() = 0;
  // True once an answer came from a load in this process because the system
  // would start no helper: the safety the helper gives is gone, and the user
  // must be told.
  virtual bool loads_in_process() const { return false; }
  // No question follows: whatever the probe started has ended on return.
  virtual void finish() {}
};

}  // namespace tarnwick
