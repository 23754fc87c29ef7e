#pragma once

#include <string>
#include <vector>

#include "platform/report_controls.h"

namespace tarnwick {

// The report box kept in memory: what a report without a window is written
// into, and what the tests read a report from. It holds exactly the text the
// window's box would hold. Writes and whole-text reads are counted, so that
// the cost of building a report can be seen.
class MemoryTextBox : public TextBox {
 public:
  std::string text() override;
  void set_text(const std::string& text) override;
  void append(const std::string& piece) override;

  // The text, without counting a read.
  const std::string& contents() const { return text_; }
  int writes() const { return writes_; }
  int reads() const { return reads_; }

 private:
  std::string text_;
  int writes_ = 0;
  int reads_ = 0;
};

// The module list kept in memory, in the order the entries were added.
class MemoryListBox : public ListBox {
 public:
  void clear() override;
  void add_item(const std::string& item) override;
  int count() override;
  std::string item(int index) override;

  const std::vector<std::string>& items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

}  // namespace tarnwick
