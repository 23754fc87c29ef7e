#pragma once

#include <nlohmann/json.hpp>

#include "platform/load_probe.h"

namespace tarnwick {

// The one JSON form of why a load went as it did: the report's `load` object
// and the helper's answers both carry it. Only what is known is written, so
// that a reader takes a member's presence as the fact itself.
nlohmann::ordered_json load_details_json(const LoadDetails& details);

// The details an object of that form gives. Members of the wrong type, or
// numbers out of range, are left out rather than trusted: the object may
// come from a process whose libraries wrote what they liked.
LoadDetails load_details_from_json(const nlohmann::ordered_json& object);

}  // namespace tarnwick
