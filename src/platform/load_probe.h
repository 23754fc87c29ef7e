#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel32.h"

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

// The questions about foreign libraries that run their code: whether a load
// by bare name succeeds, and whether the component library answers its
// version query. A library's initialisation may fault, end the process or
// never return, so the real probe asks them in a helper process; the
// program's own process only judges what it has already loaded.
class LoadProbe {
 public:
  virtual ~LoadProbe() = default;

  // Gets ready for the questions to come (the real probe starts its helper),
  // so that the answers cost little when they are asked. Safe to call again.
  virtual void start() {}
  // True when a load of `name` by the system's own search succeeds; the
  // library is released again at once.
  virtual bool can_load(const std::string& name) = 0;
  // True when KTR_Intel_Win32.dll loads and its KTR_DLL_VERSION returns.
  virtual bool component_answers() = 0;
  // No question follows: whatever the probe started has ended on return.
  virtual void finish() {}
};

// The load attempt made in this process, as a last resort where no helper
// can be had: load by name, then undo it.
class InProcessLoadProbe : public LoadProbe {
 public:
  explicit InProcessLoadProbe(Kernel32& kernel32) : kernel32_(kernel32) {}
  bool can_load(const std::string& name) override {
    const ModuleHandle module = kernel32_.load_library(name);
    if (module == 0) return false;
    kernel32_.free_library(module);
    return true;
  }
  // Nothing can be asked beforehand here: the program's own call decides.
  bool component_answers() override { return true; }

 private:
  Kernel32& kernel32_;
};

}  // namespace tarnwick
