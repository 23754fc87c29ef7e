#include "probe/load_details_json.h"

#include <cstdint>
#include <limits>

namespace tarnwick {

namespace {

using Json = nlohmann::ordered_json;

std::string text_member(const Json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::optional<std::uint32_t> code_member(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number_unsigned()) return std::nullopt;
  const auto value = found->get<std::uint64_t>();
  if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

bool flag_member(const Json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_boolean() && found->get<bool>();
}

}  // namespace

Json load_details_json(const LoadDetails& details) {
  Json load = Json::object();
  if (!details.loaded_from.empty()) load["loaded_from"] = details.loaded_from;
  if (details.error) load["error"] = *details.error;
  if (!details.message.empty()) load["message"] = details.message;
  if (!details.machine.empty()) load["machine"] = details.machine;
  if (!details.missing.empty()) load["missing"] = details.missing;
  if (details.ended) load["ended"] = true;
  if (details.exit_code) load["exit_code"] = *details.exit_code;
  if (details.timed_out) load["timed_out"] = true;
  return load;
}

LoadDetails load_details_from_json(const Json& object) {
  LoadDetails details;
  if (!object.is_object()) return details;
  details.loaded_from = text_member(object, "loaded_from");
  details.error = code_member(object, "error");
  details.message = text_member(object, "message");
  details.machine = text_member(object, "machine");
  if (const auto missing = object.find("missing"); missing != object.end() && missing->is_array())
    for (const Json& item : *missing)
      if (item.is_string()) details.missing.push_back(item.get<std::string>());
  details.ended = flag_member(object, "ended");
  details.exit_code = code_member(object, "exit_code");
  details.timed_out = flag_member(object, "timed_out");
  return details;
}

}  // namespace tarnwick
