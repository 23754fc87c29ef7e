#pragma once

#include <string>

#include "platform/load_probe.h"

namespace tarnwick::win32 {

// Says why a load of `name` (a bare name, searched as the system searches,
// or a path) failed with the system's `error`, from the files alone: the
// error's code and the system's text for it where `details` has none yet; the
// machine of the file the system would take, when that file is of another
// machine or no image at all; and, for a dependency that cannot be resolved
// (126, 127 and the like), the libraries and `library!function` entry points
// that cannot be, nearest first. Runs no code of the files it reads. The
// files are broken by definition: what cannot be read costs only the details
// it would have given, and nothing escapes from here.
void explain_failed_load(const std::wstring& name, unsigned long error, LoadDetails& details);

}  // namespace tarnwick::win32
