#pragma once

#include <windows.h>

#include "platform/window_system.h"

namespace tarnwick::win32 {

// Message boxes, the event pass and the clipboard, for the program's window.
class Win32WindowSystem : public WindowSystem {
 public:
  // The window that owns message boxes and the clipboard; none until the
  // program's window exists.
  void set_owner(HWND owner) { owner_ = owner; }

  void message_box(const std::string& text) override;
  void pump_pending_messages() override;
  // Places `text` as CF_UNICODETEXT; the system offers it as CF_TEXT as well.
  // Raises SystemError, saying why, when the clipboard cannot be had.
  void set_clipboard_text(const std::string& text) override;

 private:
  HWND owner_ = nullptr;
};

}  // namespace tarnwick::win32
