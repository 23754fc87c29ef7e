#pragma once

#include <string>

namespace tarnwick {

// The parts of the window system that the logic uses directly.
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // A modal box with an OK button and the application title; returns when
  // the user closes it.
  virtual void message_box(const std::string& text) = 0;
  // One pass over the waiting user-interface events. A long load makes one
  // now and then, so that the system and other programs never find the
  // window's thread unresponsive.
  virtual void pump_pending_messages() = 0;
  // Empties the clipboard and places `text` as its only plain-text entry.
  // Raises when the clipboard cannot be had.
  virtual void set_clipboard_text(const std::string& text) = 0;
};

}  // namespace tarnwick
