#pragma once

#include <cstdint>
#include <string>

#include "platform/titles.h"

namespace tarnwick {

constexpr const char* kApplicationTitle = TARNWICK_APPLICATION_TITLE;

// The parts of the window system that the logic uses directly.
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // A modal box with an OK button and the application title; returns when
  // the user closes it.
  virtual void message_box(const std::string& text) = 0;
  // One pass over the waiting user-interface events.
  virtual void pump_pending_messages() = 0;
  // Empties the clipboard and places `text` as its only plain-text entry.
  // Raises when the clipboard cannot be had.
  virtual void set_clipboard_text(const std::string& text) = 0;
};

struct AppVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t revision = 0;
};

// The application object.
class Application {
 public:
  virtual ~Application() = default;

  // The executable's file name without its extension.
  virtual std::string exe_name() = 0;
  // The folder that holds the executable; a drive root keeps its backslash.
  virtual std::string path() = 0;
  virtual AppVersion version() = 0;
};

}  // namespace tarnwick
