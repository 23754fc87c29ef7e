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

// The module list box: the program's module paths go into it in the
// lister's order, and the module section reads them back from it.
class ListBox {
 public:
  virtual ~ListBox() = default;
  virtual void clear() = 0;
  virtual void add_item(const std::string& item) = 0;
  virtual int count() = 0;
  // The entry at zero-based `index`, below count().
  virtual std::string item(int index) = 0;
};

}  // namespace tarnwick
