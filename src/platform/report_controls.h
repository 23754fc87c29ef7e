#pragma once

#include <string>

namespace tarnwick {

// The report box: its whole text can be read and replaced, and a piece can
// be added at its end. Appending costs in proportion to the piece, not to
// what the box already holds, so a long report builds in linear time.
class TextBox {
 public:
  virtual ~TextBox() = default;
  virtual std::string text() = 0;
  virtual void set_text(const std::string& text) = 0;
  virtual void append(const std::string& piece) = 0;
};

// The module list box, filled in the order of the module section.
class ListBox {
 public:
  virtual ~ListBox() = default;
  virtual void clear() = 0;
  virtual void add_item(const std::string& item) = 0;
};

}  // namespace tarnwick
