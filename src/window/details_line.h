#pragma once

// The details line under the report: one line of text beside the module
// list, cut with an ellipsis where it is too long for its place. Its tooltip
// holds what the line cannot show: the whole line where it is cut, and the
// fuller text the logic may give beside it, over as many lines as that has.

#include <windows.h>

#include <string>

namespace tarnwick {

class DetailsLine {
 public:
  // Gives `line`, a static control of `owner`, its tooltip. Where the common
  // controls offer no tooltip the line works all the same, without one.
  void attach(HINSTANCE instance, HWND owner, HWND line);
  // Shows `text` on the line; `more`, when not empty, goes in the tooltip
  // whether or not the line is cut.
  void show(const std::string& text, const std::string& more);
  // Decides again whether the line is cut, after its font or size changed.
  void refit();

 private:
  bool fits(const std::wstring& text) const;
  void set_tip(const std::wstring& tip);

  HWND owner_ = nullptr;
  HWND line_ = nullptr;
  HWND tip_ = nullptr;  // owned by `owner_`, which destroys it with itself
  std::wstring text_;
  std::wstring more_;
  std::wstring tip_text_;
};

}  // namespace tarnwick
