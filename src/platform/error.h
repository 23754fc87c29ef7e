#pragma once

#include <stdexcept>
#include <string>

namespace tarnwick {

// Every failure carries a number. Where the failure has a Win32 error code,
// the number is that code: the one the system reported, or one of the few
// named below for failures the portable code detects itself (it includes no
// <windows.h>, so they are spelled out here). Failures with no Win32 code
// take one of our own. Ours have bit 29 set, the bit Win32 leaves to
// applications, so no number means two things.
namespace win32_error {
inline constexpr long kNotEnoughMemory = 8;       // ERROR_NOT_ENOUGH_MEMORY
inline constexpr long kArithmeticOverflow = 534;  // ERROR_ARITHMETIC_OVERFLOW
}  // namespace win32_error

enum class OwnError : long {
  // The file search ran before its file-system object was made.
  kNoFileSystem = 0x20000001,
  // A control refused to take or give back its contents.
  kControlRefused,
  // A routine failed in a way it has no name for.
  kInternal,
};

// The one failure type of the system. It is raised where a failure happens
// and caught by the load sequence's trap or at a window-procedure boundary.
// what() is the description, so a handler that catches std::exception shows
// the same text for this type as for any other.
class SystemError : public std::runtime_error {
 public:
  SystemError(long number, std::string source, std::string description)
      : std::runtime_error(description),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}
  SystemError(OwnError number, std::string source, std::string description)
      : SystemError(static_cast<long>(number), std::move(source), std::move(description)) {}

  long number() const { return number_; }
  const std::string& source() const { return source_; }
  const std::string& description() const { return description_; }

 private:
  long number_;
  std::string source_;
  std::string description_;
};

}  // namespace tarnwick
