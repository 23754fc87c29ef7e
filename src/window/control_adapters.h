#pragma once

// The small adapters through which the logic reaches the window's report box
// and module list, and the rich-text control they rest on.

#include <windows.h>

#include <string>

#include "platform/report_controls.h"
#include "window/layout.h"

namespace tarnwick {

// Rich edit 4.1 where the system has it, else 2.0; both take plain text.
// Loads its library (kept for the process's life) and gives the control's
// class name. Raises when neither loads.
const wchar_t* load_rich_edit();

// Gives the box the table's font as its default character format.
void set_default_char_format(HWND box, const FontStyle& style, UINT scale, UINT dpi);

// The report box: a RichEdit control in plain-text mode, read and replaced
// whole. Lines are kept apart by a lone CR, which the control shows as a line
// break and gives back unchanged.
class RichTextBox : public TextBox {
 public:
  explicit RichTextBox(HWND box) : box_(box) {}
  std::string text() override;
  void set_text(const std::string& text) override;
  void append(const std::string& piece) override;
  void show_start();
  // The line that holds the start of the selection (the caret), without its
  // line break.
  std::string caret_line();

 private:
  HWND box_;
};

// The module list: an unsorted list box, so entries stay in the order added.
class Win32ListBox : public ListBox {
 public:
  explicit Win32ListBox(HWND list) : list_(list) {}
  void clear() override;
  void add_item(const std::string& item) override;
  int count() override;
  std::string item(int index) override;

 private:
  HWND list_;
};

}  // namespace tarnwick
