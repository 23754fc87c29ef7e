#pragma once

#include "image/api_set_schema.h"

namespace tarnwick::win32 {

// This process's API set schema, read once from the map the system gives
// every process (its process environment block's ApiSetMap). A process
// without one, or whose map cannot be read, gets a schema that answers
// "unknown" to every name.
const image::ApiSetSchema& process_api_set_schema();

}  // namespace tarnwick::win32
