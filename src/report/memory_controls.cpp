#include "report/memory_controls.h"

namespace tarnwick {

std::string MemoryTextBox::text() {
  ++reads_;
  return text_;
}

void MemoryTextBox::set_text(const std::string& text) {
  text_ = text;
  ++writes_;
}

void MemoryTextBox::append(const std::string& piece) {
  text_ += piece;
  ++writes_;
}

void MemoryListBox::clear() { items_.clear(); }

void MemoryListBox::add_item(const std::string& item) { items_.push_back(item); }

int MemoryListBox::count() { return static_cast<int>(items_.size()); }

std::string MemoryListBox::item(int index) { return items_.at(static_cast<std::size_t>(index)); }

}  // namespace tarnwick
