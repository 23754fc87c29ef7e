#include "probe/protocol.h"

#include <charconv>

#include <nlohmann/json.hpp>

#include "probe/load_details_json.h"

namespace tarnwick::probe {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kComponent = "component";
constexpr std::string_view kLoad = "load ";

Json signed_object(std::string_view token) {
  Json line = Json::object();
  line["token"] = token;
  return line;
}

Json with_details(Json line, const LoadDetails& details) {
  const Json members = load_details_json(details);
  for (const auto& [key, value] : members.items()) line[key] = value;
  return line;
}

// A path need not be valid text; a stray byte must not cost the line.
std::string dumped(const Json& line) {
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool is_true(const Json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_boolean() && found->get<bool>();
}

}  // namespace

std::string request_line(const Request& request) {
  std::string line = std::to_string(request.id) + " ";
  if (request.ask == Ask::component) return line + std::string(kComponent);
  return line + std::string(kLoad) + request.name;
}

std::optional<Request> read_request(std::string_view line) {
  Request request;
  const char* end = line.data() + line.size();
  const auto [after, error] = std::from_chars(line.data(), end, request.id);
  if (error != std::errc() || after == line.data() || after == end || *after != ' ')
    return std::nullopt;
  const std::string_view rest = line.substr(static_cast<std::size_t>(after - line.data()) + 1);
  if (rest == kComponent) {
    request.ask = Ask::component;
    return request;
  }
  if (!rest.starts_with(kLoad) || rest.size() == kLoad.size()) return std::nullopt;
  request.ask = Ask::load;
  request.name = rest.substr(kLoad.size());
  return request;
}

std::string greeting_line(std::string_view token) {
  Json line = signed_object(token);
  line["ready"] = true;
  return dumped(line);
}

std::string answer_line(std::string_view token, std::uint64_t id, const LoadAnswer& answer) {
  Json line = signed_object(token);
  line["id"] = id;
  line["loads"] = answer.loads;
  return dumped(with_details(std::move(line), answer.details));
}

std::string done_line(std::string_view token, std::uint64_t id, const LoadDetails& explanation) {
  Json line = signed_object(token);
  line["id"] = id;
  line["done"] = true;
  return dumped(with_details(std::move(line), explanation));
}

std::optional<HelperLine> read_helper_line(std::string_view line, std::string_view token) {
  if (token.empty()) return std::nullopt;
  const Json parsed = Json::parse(line.begin(), line.end(), nullptr, false);
  if (!parsed.is_object()) return std::nullopt;
  const auto signature = parsed.find("token");
  if (signature == parsed.end() || !signature->is_string() ||
      signature->get_ref<const std::string&>() != token)
    return std::nullopt;
  HelperLine heard;
  if (is_true(parsed, "ready")) return heard;
  const auto id = parsed.find("id");
  if (id == parsed.end() || !id->is_number_unsigned()) return std::nullopt;
  heard.id = id->get<std::uint64_t>();
  heard.answer.details = load_details_from_json(parsed);
  if (is_true(parsed, "done")) {
    heard.kind = HelperLine::Kind::done;
    return heard;
  }
  const auto loads = parsed.find("loads");
  if (loads == parsed.end() || !loads->is_boolean()) return std::nullopt;
  heard.kind = HelperLine::Kind::answer;
  heard.answer.loads = loads->get<bool>();
  return heard;
}

std::string token_text(const unsigned char* bytes, std::size_t count) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

void LineReader::feed(std::string_view bytes) {
  // What was given out already goes before more comes in.
  received_.erase(0, taken_);
  taken_ = 0;
  for (;;) {
    const std::size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (dropping_) {
      if (end == std::string_view::npos) return;
      dropping_ = false;
    } else {
      const std::size_t line_start = received_.rfind('\n') + 1;  // npos + 1 == 0
      if (received_.size() - line_start + piece.size() > longest_) {
        received_.resize(line_start);
        dropping_ = end == std::string_view::npos;
        if (dropping_) return;
      } else {
        received_.append(piece);
        if (end == std::string_view::npos) return;
        received_ += '\n';
      }
    }
    bytes.remove_prefix(end + 1);
  }
}

std::optional<std::string> LineReader::next() {
  const std::size_t end = received_.find('\n', taken_);
  if (end == std::string::npos) return std::nullopt;
  std::string line = received_.substr(taken_, end - taken_);
  taken_ = end + 1;
  return line;
}

}  // namespace tarnwick::probe
