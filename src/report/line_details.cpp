#include "report/line_details.h"

#include <vector>

#include "common/trim_and_upper.h"
#include "files/file_copies.h"
#include "files/search_order.h"
#include "report/report_lines.h"

namespace tarnwick {

namespace {

constexpr const char* kHint = "Put the caret on a library's line to see why it loads or not.";

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += separator;
    text += part;
  }
  return text;
}

// The system's text names the file "%1" where it is meant to be filled in.
std::string filled_in(std::string message, const std::string& name) {
  for (std::size_t at = message.find("%1"); at != std::string::npos;
       at = message.find("%1", at + name.size()))
    message.replace(at, 2, name);
  return message;
}

// One sentence, ended as a sentence is.
std::string sentence(std::string text) {
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

std::string why_it_cannot(const EntryFacts& entry) {
  const LoadDetails& details = entry.load_details;
  std::vector<std::string> reasons;
  if (details.ended) {
    std::string ended = "The attempt ended the process that made it";
    if (details.exit_code) ended += " (exit code " + std::to_string(*details.exit_code) + ")";
    reasons.push_back(sentence(ended));
  }
  if (details.timed_out)
    reasons.push_back("The attempt did not return in time and was given up.");
  if (details.error) {
    std::string error = "Error " + std::to_string(*details.error);
    if (!details.message.empty()) error += ": " + filled_in(details.message, entry.name);
    reasons.push_back(sentence(error));
  }
  if (details.machine == "unknown") reasons.push_back("The file is not a Windows image.");
  else if (!details.machine.empty()) reasons.push_back("The file is for " + details.machine + ".");
  if (!details.missing.empty())
    reasons.push_back(sentence("Missing: " + joined(details.missing, ", ")));
  if (reasons.empty()) return "Why is not known.";
  return joined(reasons, " ");
}

// The copy a load by name takes: the module the system took where that is
// known, else the line's own; null when it is none of the copies.
const FileCopy* copy_in_use(const EntryFacts& entry) {
  const std::string& from = entry.load_details.loaded_from;
  const std::string used = to_upper(from.empty() ? entry.path : from);
  for (const FileCopy& copy : *entry.copies)
    if (to_upper(copy.path) == used) return &copy;
  return nullptr;
}

}  // namespace

const EntryFacts* entry_of_line(const ReportFacts& facts, const std::string& line) {
  for (const EntryFacts& entry : facts.entries) {
    const std::string written = entry.load
                                    ? file_line(entry.name, entry.path, entry.version, *entry.load)
                                    : file_not_found_line(entry.name);
    if (line == written) return &entry;
  }
  return nullptr;
}

std::string load_details_line(const EntryFacts& entry) {
  if (!entry.load)
    return entry.name + " is in none of the places searched: " + order_words(kReportOrder) + ".";
  const LoadStateWords& words = load_state_words(*entry.load);
  if (*entry.load == LoadState::cannot_be_loaded)
    return entry.name + words.sentence + ". " + why_it_cannot(entry);
  const std::string& from = entry.load_details.loaded_from;
  return entry.name + words.sentence + (from.empty() ? "." : words.found_at + from);
}

std::string copies_words(const EntryFacts& entry) {
  if (!entry.copies || entry.copies->size() < 2) return "";
  const std::vector<FileCopy>& copies = *entry.copies;
  const std::size_t others = copies.size() - 1;
  std::string words = std::to_string(others) + (others == 1 ? " other copy" : " other copies");
  const FileCopy* used = copy_in_use(entry);
  const FileCopy* newest = newest_copy(copies);
  const std::string& used_version = used != nullptr ? used->version : entry.version;
  if (newest != nullptr && newest != used && compare_versions(newest->version, used_version) > 0)
    words += "; newer " + newest->version + " at " + newest->path;
  return words;
}

std::string copies_list(const EntryFacts& entry) {
  if (!entry.copies || entry.copies->empty()) return "";
  const FileCopy* used = copy_in_use(entry);
  std::string list = "Every copy along the search, in its order:";
  for (const FileCopy& copy : *entry.copies) {
    list += "\r\n" + copy.path + "  " + (copy.version.empty() ? "no version" : copy.version);
    if (!copy.machine.empty()) list += "  " + copy.machine;
    if (&copy == used) list += "  (the one the system takes)";
  }
  return list;
}

std::string details_for_line(const ReportFacts& facts, const std::string& line) {
  const EntryFacts* entry = entry_of_line(facts, line);
  if (entry == nullptr) return kHint;
  const std::string copies = copies_words(*entry);
  if (copies.empty()) return load_details_line(*entry);
  return sentence(load_details_line(*entry)) + " " + sentence(copies);
}

std::string copies_tooltip_for_line(const ReportFacts& facts, const std::string& line) {
  const EntryFacts* entry = entry_of_line(facts, line);
  return entry != nullptr ? copies_list(*entry) : "";
}

}  // namespace tarnwick
