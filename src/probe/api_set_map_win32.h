#pragma once

#include <string>

#include "image/api_set_schema.h"

namespace tarnwick::win32 {

// This process's API set schema, read once from the map the system gives
// every process (its process environment block's ApiSetMap). A process
// without one, or whose map cannot be read, gets a schema that answers
// "unknown" to every name.
const image::ApiSetSchema& process_api_set_schema();

// Whether the system resolves `name`, a library name as a load or an import
// gives it, through its API set schema: a contract the schema defines with a
// library behind it. Where the schema cannot be read, every contract's name
// counts as resolved, so that only the system's own schema makes one
// missing. A contract it does not define is searched for as a file, as the
// system's loader does.
bool schema_resolves(const std::string& name);

}  // namespace tarnwick::win32
