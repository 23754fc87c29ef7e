#pragma once

#include <functional>
#include <string>

#include "platform/load_probe.h"

namespace tarnwick::win32 {

// The one load attempt, in the process that calls it: a load of `name` by the
// system's own search. It runs the library's code. `answered` is told the
// answer the moment the load returns, before the library is freed (its
// unload code runs) and before a failure is explained; the explanation is
// returned (empty for a load that succeeded).
LoadDetails attempt_load(const std::string& name,
                         const std::function<void(const LoadAnswer&)>& answered);

// The attempt with its explanation in the answer, for a load in this very
// process where no helper can be had.
LoadAnswer load_here(const std::string& name);

// The component library loaded and asked as the program asks it, through the
// same guarded load and call; true means only that the call came back. The
// library stays loaded.
bool component_answers_here();

}  // namespace tarnwick::win32
