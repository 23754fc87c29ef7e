#include "report/line_details.h"

#include <vector>

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

std::string details_for_line(const ReportFacts& facts, const std::string& line) {
  const EntryFacts* entry = entry_of_line(facts, line);
  return entry != nullptr ? load_details_line(*entry) : kHint;
}

}  // namespace tarnwick
