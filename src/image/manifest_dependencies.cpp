#include "image/manifest_dependencies.h"

#include <array>
#include <cstdint>
#include <optional>

namespace tarnwick::image {

namespace {

constexpr std::size_t kMostAssemblies = 64;
constexpr std::size_t kDeepest = 64;
constexpr std::size_t kLongestValue = 256;  // an identity's attribute; longer is not one

void append_utf8(std::string& text, std::uint32_t code) {
  if (code < 0x80) {
    text.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    text.push_back(static_cast<char>(0xC0 | code >> 6));
    text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    // Surrogates stay as they are: no name the report uses needs them.
    text.push_back(static_cast<char>(0xE0 | code >> 12));
    text.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// The manifest as UTF-8: UTF-16 of either byte order is recognised by its
// byte-order mark, or by a first character '<' followed by a zero byte.
std::string as_utf8(std::string_view bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF)
    return std::string(bytes.substr(3));
  const bool little = bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) ||
                                            (byte(0) == '<' && byte(1) == 0));
  const bool big = bytes.size() >= 2 && ((byte(0) == 0xFE && byte(1) == 0xFF) ||
                                         (byte(0) == 0 && byte(1) == '<'));
  if (!little && !big) return std::string(bytes);
  std::string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const std::uint32_t code = little ? byte(i) | byte(i + 1) << 8 : byte(i) << 8 | byte(i + 1);
    if (code != 0xFEFF) append_utf8(text, code);
  }
  return text;
}

// The five entities XML predefines and character references.
std::optional<std::string> decoded(std::string_view raw) {
  std::string text;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '&') {
      text.push_back(raw[i]);
      continue;
    }
    const std::size_t end = raw.find(';', i);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view entity = raw.substr(i + 1, end - i - 1);
    if (entity == "lt") text.push_back('<');
    else if (entity == "gt") text.push_back('>');
    else if (entity == "amp") text.push_back('&');
    else if (entity == "quot") text.push_back('"');
    else if (entity == "apos") text.push_back('\'');
    else if (entity.size() > 1 && entity.size() < 8 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      std::uint32_t code = 0;
      for (char c : entity.substr(hex ? 2 : 1)) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                        : -1;
        if (digit < 0) return std::nullopt;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
      }
      if (code == 0 || code > 0xFFFF) return std::nullopt;
      append_utf8(text, code);
    } else {
      return std::nullopt;
    }
    i = end;
  }
  return text;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// An element's name without its namespace prefix ("asmv1:dependency").
std::string_view local_name(std::string_view name) {
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

struct Attribute {
  std::string_view name;
  std::string value;
};

// One start tag's name and attributes, from after its '<' to its '>'.
struct StartTag {
  std::string_view name;
  std::vector<Attribute> attributes;
  bool closed = false;  // "<x/>": no element to wait for the end of

  const std::string* find(std::string_view attribute) const {
    for (const Attribute& a : attributes)
      if (local_name(a.name) == attribute) return &a.value;
    return nullptr;
  }
};

std::optional<StartTag> read_start_tag(std::string_view tag) {
  StartTag read;
  if (!tag.empty() && tag.back() == '/') {
    read.closed = true;
    tag.remove_suffix(1);
  }
  std::size_t at = 0;
  while (at < tag.size() && !is_space(tag[at])) ++at;
  read.name = tag.substr(0, at);
  while (true) {
    while (at < tag.size() && is_space(tag[at])) ++at;
    if (at == tag.size()) break;
    const std::size_t name_start = at;
    while (at < tag.size() && tag[at] != '=' && !is_space(tag[at])) ++at;
    const std::string_view name = tag.substr(name_start, at - name_start);
    while (at < tag.size() && is_space(tag[at])) ++at;
    if (at == tag.size() || tag[at] != '=') return std::nullopt;
    ++at;
    while (at < tag.size() && is_space(tag[at])) ++at;
    if (at == tag.size() || (tag[at] != '"' && tag[at] != '\'')) return std::nullopt;
    const std::size_t value_end = tag.find(tag[at], at + 1);
    if (value_end == std::string_view::npos) return std::nullopt;
    std::optional<std::string> value = decoded(tag.substr(at + 1, value_end - at - 1));
    if (!value) return std::nullopt;
    read.attributes.push_back({name, std::move(*value)});
    at = value_end + 1;
  }
  if (read.name.empty()) return std::nullopt;
  return read;
}

// The '>' that ends the tag opened at `start`: one inside a quoted
// attribute value does not.
std::size_t tag_end(std::string_view xml, std::size_t start) {
  char quote = 0;
  for (std::size_t at = start + 1; at < xml.size(); ++at) {
    const char c = xml[at];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return at;
    }
  }
  return std::string_view::npos;
}

struct Open {
  std::string_view name;  // local name
  bool optional = false;
};

// An identity's attributes as a manifest spells them, with their fields.
template <typename Identity>
auto fields_of(Identity& identity) {
  using Field = decltype(&identity.name);
  return std::array<std::pair<const char*, Field>, 6>{{{"type", &identity.type},
                                                       {"name", &identity.name},
                                                       {"version", &identity.version},
                                                       {"processorArchitecture", &identity.architecture},
                                                       {"publicKeyToken", &identity.public_key_token},
                                                       {"language", &identity.language}}};
}

std::string escaped(const std::string& value) {
  std::string text;
  for (char c : value) {
    switch (c) {
      case '&': text += "&amp;"; break;
      case '<': text += "&lt;"; break;
      case '>': text += "&gt;"; break;
      case '"': text += "&quot;"; break;
      case '\'': text += "&apos;"; break;
      default: text.push_back(c);
    }
  }
  return text;
}

std::optional<AssemblyIdentity> identity_of(const StartTag& tag) {
  AssemblyIdentity identity;
  for (const auto& [attribute, field] : fields_of(identity))
    if (const std::string* value = tag.find(attribute)) {
      if (value->size() > kLongestValue) return std::nullopt;
      *field = *value;
    }
  if (identity.name.empty()) return std::nullopt;
  return identity;
}

}  // namespace

std::vector<AssemblyIdentity> dependent_assemblies(std::string_view manifest) {
  const std::string text = as_utf8(manifest);
  const std::string_view xml = text;
  std::vector<AssemblyIdentity> found;
  std::vector<Open> open;
  std::size_t at = 0;
  while (found.size() < kMostAssemblies) {
    const std::size_t start = xml.find('<', at);
    if (start == std::string_view::npos) break;
    const std::string_view rest = xml.substr(start);
    // What holds no elements, to its own end: comments, sections of plain
    // text, declarations and processing instructions.
    const std::pair<std::string_view, std::string_view> skipped[] = {
        {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}, {"<!", ">"}};
    bool was_skipped = false;
    for (const auto& [opening, closing] : skipped) {
      if (rest.substr(0, opening.size()) != opening) continue;
      const std::size_t end = xml.find(closing, start + opening.size());
      if (end == std::string_view::npos) return found;
      at = end + closing.size();
      was_skipped = true;
      break;
    }
    if (was_skipped) continue;
    const std::size_t end = tag_end(xml, start);
    if (end == std::string_view::npos) break;
    at = end + 1;
    const std::string_view tag = xml.substr(start + 1, end - start - 1);
    if (!tag.empty() && tag[0] == '/') {
      // An end tag closes its element and whatever was left open inside it.
      const std::string_view name = local_name(tag.substr(1, tag.find_first_of(" \t\r\n") - 1));
      while (!open.empty()) {
        const bool match = open.back().name == name;
        open.pop_back();
        if (match) break;
      }
      continue;
    }
    const std::optional<StartTag> start_tag = read_start_tag(tag);
    if (!start_tag) break;
    const std::string_view name = local_name(start_tag->name);
    if (name == "assemblyIdentity" && open.size() >= 2 &&
        open[open.size() - 1].name == "dependentAssembly" &&
        open[open.size() - 2].name == "dependency" && !open[open.size() - 2].optional) {
      if (std::optional<AssemblyIdentity> identity = identity_of(*start_tag))
        found.push_back(std::move(*identity));
    }
    if (start_tag->closed) continue;
    if (open.size() == kDeepest) break;
    const std::string* optional = start_tag->find("optional");
    open.push_back({name, optional != nullptr && *optional == "yes"});
  }
  return found;
}

std::string manifest_requiring(const AssemblyIdentity& assembly) {
  std::string identity;
  for (const auto& [attribute, value] : fields_of(assembly))
    if (!value->empty()) identity += std::string(" ") + attribute + "=\"" + escaped(*value) + "\"";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
         "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
         "<dependency><dependentAssembly><assemblyIdentity" +
         identity + "/></dependentAssembly></dependency></assembly>\r\n";
}

std::string assembly_label(const AssemblyIdentity& assembly) {
  std::string label = "assembly " + assembly.name;
  if (!assembly.version.empty()) label += " " + assembly.version;
  if (!assembly.architecture.empty() && assembly.architecture != "*")
    label += " (" + assembly.architecture + ")";
  return label;
}

}  // namespace tarnwick::image
